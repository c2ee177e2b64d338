#include "ui/unit_screen.h"

#include "ui_form_monitoring.h"

#include "ui/ErrorReport.h"
#include "ui/Look.h"
#include "ui/MainFormUnit.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QTimer>
#include <QWindow>

#include <algorithm>

namespace {

constexpr int CopyInterval = 1000;

int PlaceOnAxis(int start, int length, int areaStart, int areaLength)
{
    if (length >= areaLength)
        return areaStart;
    return std::clamp(start, areaStart, areaStart + areaLength - length);
}

} // namespace

Tform_monitoring* form_monitoring = nullptr;

QPoint PlaceOnScreen(const QRect& wanted, const QRect& available)
{
    return {PlaceOnAxis(wanted.x(), wanted.width(), available.x(), available.width()),
            PlaceOnAxis(wanted.y(), wanted.height(), available.y(), available.height())};
}

Tform_monitoring::Tform_monitoring(QWidget* parent) : QWidget(parent), ui(std::make_unique<Ui::form_monitoring>())
{
    ui->setupUi(this);
    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(CopyInterval);

    connect(Timer1, &QTimer::timeout, this, Guarded(this, &Tform_monitoring::Timer1Timer));
    connect(ui->b_pan, &QPushButton::clicked, this, Guarded(this, &Tform_monitoring::b_panClick));

    ApplyLook();
    Timer1->start();
}

Tform_monitoring::~Tform_monitoring() = default;

void Tform_monitoring::ApplyLook()
{
    setWindowFlag(Qt::WindowStaysOnTopHint);
    setFont(look::WindowFont());
    QPalette colours = palette();
    for (const auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        colours.setColor(group, QPalette::WindowText, look::Green);
        colours.setColor(group, QPalette::ButtonText, look::Green);
    }
    setPalette(colours);
    ui->ledTotalIN->setFont(look::ValueFont());
    ui->ledTotalOUT->setFont(look::ValueFont());
    ui->Label1->adjustSize();
    ui->Label2->adjustSize();
}

void Tform_monitoring::Timer1Timer()
{
    if (!MainForm)
        return;
    look::SetFieldText(ui->ledTotalIN, MainForm->TotalINText());
    look::SetFieldText(ui->ledTotalOUT, MainForm->TotalOUTText());
}

void Tform_monitoring::b_panClick()
{
    if (MainForm)
        look::ShowInFront(MainForm);
}

void Tform_monitoring::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (!m_placed) {
        m_placed = true;
        PlaceFirstTime();
    }
}

// Later shows keep the place the user left it at.
void Tform_monitoring::PlaceFirstTime()
{
    QScreen* display = QGuiApplication::screenAt(FirstPlace);
    if (!display)
        display = QGuiApplication::primaryScreen();
    const QRect wanted(FirstPlace, OuterSize);
    m_firstPlace = display ? PlaceOnScreen(wanted, display->availableGeometry()) : FirstPlace;
    move(m_firstPlace);
    if (QWindow* window = windowHandle())
        window->installEventFilter(this);
}

// A window manager frames a window before it first shows it, and only then is the frame's
// size known: at the first expose the client area shrinks so that frame and title bar
// stay within the outer size.
bool Tform_monitoring::eventFilter(QObject* watched, QEvent* event)
{
    QWindow* window = windowHandle();
    if (watched == window && event->type() == QEvent::Expose && window->isExposed()) {
        window->removeEventFilter(this);
        FitToFrame(window->frameMargins());
    }
    return QWidget::eventFilter(watched, event);
}

void Tform_monitoring::FitToFrame(const QMargins& frame)
{
    if (frame.isNull())
        return;
    // The client area's own place: Qt's idea of the frame may still be stale here.
    setGeometry(QRect(m_firstPlace + QPoint(frame.left(), frame.top()), OuterSize.shrunkBy(frame)));
}

// With the main window hidden this is the last way back to it, so closing brings it back
// rather than leave the program running with no window.
void Tform_monitoring::closeEvent(QCloseEvent* event)
{
    if (MainForm && !MainForm->isVisible())
        look::ShowInFront(MainForm);
    QWidget::closeEvent(event);
}
