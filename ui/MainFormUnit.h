#pragma once
// The main window. Once a second it reads the interface table, keeps one tab per
// interface (the tab list owns the records) and shows the selected interface's record.

#include <QString>
#include <QWidget>

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <unordered_map>
#include <utility>

class QTimer;
class TTraffic;
template <class T>
class TTabOwned;

namespace Ui {
class MainForm;
}

class TMainForm : public QWidget {
    Q_OBJECT

public:
    explicit TMainForm(QWidget* parent = nullptr);
    ~TMainForm() override;

    // The poll timer; stopped while a poll runs, so ticks lie 1000 ms after each poll's end.
    QTimer* Timer = nullptr;

    // The record shown, or none.
    TTraffic* Current() const { return CurrentTraffic; }

    // The two totals as the view shows them, for the compact window to copy.
    QString TotalINText() const;
    QString TotalOUTText() const;

public Q_SLOTS:
    void TimerTimer();
    void TrafficTabsChange(int NewTab, bool& AllowChange);
    void pcChange();
    void ledAdapterDescriptionChange();
    void FreezeButtonClick();
    void UnFreezeButtonClick();
    void ClearCountersButtonClick();
    void RemoveInactiveButtonClick();
    void ExitButtonClick();
    void cbOnTopClick();
    void b_monClick();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void FormCreate();
    void FormDestroy();
    void ApplyLook();
    void PollInterfaces();
    TTraffic* FindTraffic(std::uint32_t index);
    void TrafficCreated(TTraffic* traffic);
    void ShowCurrentAdapter();
    void ClearAdapterView();
    // Freeze enabled while the record counts, Unfreeze while it does not.
    void ShowRunning(const TTraffic& traffic);
    void TrafficFrozen(TTraffic* traffic);
    void TrafficUnfrozen(TTraffic* traffic);

    std::unique_ptr<Ui::MainForm> ui;
    TTraffic* CurrentTraffic = nullptr;
    // In step with the tab list, so a poll finds each interface without a scan of the tabs.
    std::unordered_map<std::uint32_t, TTraffic*> m_byIndex;
    // The tab of the record under construction, until the poll gives it the record.
    TTabOwned<TTraffic>* m_announced = nullptr;
    bool m_placed = false;
    std::optional<std::pair<std::chrono::system_clock::time_point, QString>> m_startedAtText;
};

// The one main window, set by the application shell.
extern TMainForm* MainForm;
