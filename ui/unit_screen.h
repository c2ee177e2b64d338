#pragma once
// The compact totals window: small, always on top, mirroring the main window's two
// totals once a second whether shown or hidden. It holds no data of its own.

#include <QMargins>
#include <QPoint>
#include <QSize>
#include <QWidget>

#include <memory>

class QRect;
class QTimer;

namespace Ui {
class form_monitoring;
}

class Tform_monitoring : public QWidget {
    Q_OBJECT

public:
    explicit Tform_monitoring(QWidget* parent = nullptr);
    ~Tform_monitoring() override;

    // Frame and title bar included.
    static constexpr QSize OuterSize{189, 71};
    static constexpr QPoint FirstPlace{821, 666};

    // The copy timer: on from creation to destruction.
    QTimer* Timer1 = nullptr;

public Q_SLOTS:
    void Timer1Timer();
    void b_panClick();

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void ApplyLook();
    void PlaceFirstTime();
    void FitToFrame(const QMargins& frame);

    std::unique_ptr<Ui::form_monitoring> ui;
    bool m_placed = false;
    QPoint m_firstPlace;
};

// The one compact window, set by the application shell.
extern Tform_monitoring* form_monitoring;

// Where a window meant for `wanted` goes so it lies wholly on `available`, moved the least
// distance; one larger than the area keeps its top-left corner, and so its title bar, on it.
QPoint PlaceOnScreen(const QRect& wanted, const QRect& available);
