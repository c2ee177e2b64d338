#include "ui/MainFormUnit.h"

#include "ui_MainForm.h"

#include "ifstats/IPHelper.h"
#include "traffic/TrafficUnit.h"
#include "ui/ErrorReport.h"
#include "ui/LocaleTexts.h"
#include "ui/Look.h"
#include "ui/unit_screen.h"

#include <QFontMetrics>
#include <QKeyEvent>
#include <QScreen>
#include <QTimer>

#include <optional>
#include <utility>

namespace {

constexpr int PollInterval = 1000;

void SetText(QLineEdit* field, const QString& text)
{
    look::SetFieldText(field, text);
}

void SetText(QLabel* label, const QString& text)
{
    if (label->text() != text)
        label->setText(text);
}

QString Text(const std::string& text)
{
    return QString::fromStdString(text);
}

} // namespace

TMainForm* MainForm = nullptr;

TMainForm::TMainForm(QWidget* parent) : QWidget(parent), ui(std::make_unique<Ui::MainForm>())
{
    ui->setupUi(this);
    Timer = new QTimer(this);
    Timer->setObjectName(QStringLiteral("Timer"));
    Timer->setTimerType(Qt::PreciseTimer);
    Timer->setInterval(PollInterval);

    connect(Timer, &QTimer::timeout, this, Guarded(this, &TMainForm::TimerTimer));
    // Unguarded: a failure here must reach the poll that selected a new record, which undoes it.
    connect(ui->TrafficTabs, &TTabSet::Change, this, &TMainForm::TrafficTabsChange);
    connect(ui->pc, &QTabWidget::currentChanged, this, Guarded(this, &TMainForm::pcChange));
    connect(ui->ledAdapterDescription, &QLineEdit::textChanged, this, Guarded(this, &TMainForm::ledAdapterDescriptionChange));
    connect(ui->FreezeButton, &QPushButton::clicked, this, Guarded(this, &TMainForm::FreezeButtonClick));
    connect(ui->UnFreezeButton, &QPushButton::clicked, this, Guarded(this, &TMainForm::UnFreezeButtonClick));
    connect(ui->ClearCountersButton, &QPushButton::clicked, this, Guarded(this, &TMainForm::ClearCountersButtonClick));
    connect(ui->RemoveInactiveButton, &QPushButton::clicked, this, Guarded(this, &TMainForm::RemoveInactiveButtonClick));
    connect(ui->ExitButton, &QPushButton::clicked, this, Guarded(this, &TMainForm::ExitButtonClick));
    connect(ui->cbOnTop, &QCheckBox::clicked, this, Guarded(this, &TMainForm::cbOnTopClick));
    connect(ui->b_mon, &QPushButton::clicked, this, Guarded(this, &TMainForm::b_monClick));

    ApplyLook();
    FormCreate();
}

TMainForm::~TMainForm()
{
    FormDestroy();
}

void TMainForm::ApplyLook()
{
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    setFixedSize(491, 381);
    const QIcon icon(QStringLiteral(":/app/webmonitor.png"));
    setWindowIcon(icon);
    ui->Image1->setPixmap(icon.pixmap(50, 50));

    setFont(look::WindowFont());
    const QFont valueFont = look::ValueFont();
    ui->TrafficTabs->setFont(valueFont);
    for (QLineEdit* field : {ui->ledSpeed, ui->ledStartedAt, ui->ledActiveFor, ui->ledOctInSec, ui->ledPeakINSec,
                             ui->ledAvgINSec, ui->ledTotalIN, ui->ledOctOUTSec, ui->ledPeakOUTSec,
                             ui->ledAvgOUTSec, ui->ledTotalOUT})
        field->setFont(valueFont);

    look::FillBackground(ui->StatusText, look::Cream);
    look::FillBackground(ui->Panel3, look::MedGray);

    // The view is disabled so it takes no input, yet it must not look greyed out.
    look::KeepEnabledColours(ui->GroupBox);
}

void TMainForm::FormCreate()
{
    Timer->setInterval(PollInterval);
    ClearAdapterView();
    CurrentTraffic = nullptr;
    pcChange();
    Timer->start();
}

void TMainForm::FormDestroy()
{
    disconnect(Timer, &QTimer::timeout, this, nullptr);
    Timer->stop();
    CurrentTraffic = nullptr;
    m_byIndex.clear();
    auto records = ui->TrafficTabs->Clear();
    for (auto& record : records)
        record.reset();
}

// A failed poll is reported and polling goes on; the box is modal and the timer stays
// stopped while it is open, so no poll runs inside it.
void TMainForm::TimerTimer()
{
    Timer->stop();
    try {
        PollInterfaces();
    } catch (...) {
        ReportCurrentException(this);
    }
    Timer->start();
}

void TMainForm::PollInterfaces()
{
    TMIBIfArray rows;
    GetIfTableRows(rows);

    TTabSet& tabs = *ui->TrafficTabs;
    for (int i = 0; i < tabs.count(); ++i)
        if (TTraffic* traffic = tabs.Object<TTraffic>(i); traffic && traffic->Connected)
            traffic->SeenInPoll = false;

    // Read at the first new interface and kept for the rest of the poll.
    std::optional<TMibIPAddrArray> addresses;
    for (const MIB_IFROW& row : rows) {
        if (TTraffic* found = FindTraffic(row.dwIndex)) {
            found->Update(row.dwInOctets, row.dwOutOctets, row.dwSpeed);
            continue;
        }
        if (!addresses) {
            addresses.emplace();
            GetIpAddrTableRows(*addresses);
        }
        auto owned =
            std::make_unique<TTraffic>(row, *addresses, [this](TTraffic* traffic) { TrafficCreated(traffic); });
        TTraffic* created = owned.get();
        // Not announced means no tab refers to it; it then simply goes with `owned`.
        if (auto* holder = std::exchange(m_announced, nullptr))
            holder->Adopt(std::move(owned));
        created->SeenInPoll = true;
        created->OnFreeze = [this](TTraffic* traffic) { TrafficFrozen(traffic); };
        created->OnUnfreeze = [this](TTraffic* traffic) { TrafficUnfrozen(traffic); };
    }

    for (int i = 0; i < tabs.count(); ++i)
        if (TTraffic* traffic = tabs.Object<TTraffic>(i); traffic && !traffic->SeenInPoll)
            traffic->MarkDisconnected();

    ShowCurrentAdapter();
}

TTraffic* TMainForm::FindTraffic(std::uint32_t index)
{
    const auto found = m_byIndex.find(index);
    if (found == m_byIndex.end())
        return nullptr;
    found->second->SeenInPoll = true;
    return found->second;
}

// Runs inside the record's constructor, before anyone owns the record: the tab holds it
// until the poll hands the tab the ownership.
void TMainForm::TrafficCreated(TTraffic* traffic)
{
    TTabSet& tabs = *ui->TrafficTabs;
    TTraffic* const previous = CurrentTraffic;
    auto holder = std::make_unique<TTabOwned<TTraffic>>(traffic);
    TTabOwned<TTraffic>* announced = holder.get();
    tabs.AddObject(Text(traffic->IpAddress), std::move(holder));
    try {
        m_byIndex.emplace(traffic->InterfaceIndex, traffic);
        tabs.setTabIndex(tabs.count() - 1);
    } catch (...) {
        // The record dies with its constructor: no tab or lookup may keep it, and the
        // selection, which never moved, keeps its record, or the next refresh would
        // clear the tab list and drop every record.
        m_byIndex.erase(traffic->InterfaceIndex);
        CurrentTraffic = previous;
        auto unowned = tabs.DeleteTab(tabs.count() - 1);
        throw;
    }
    m_announced = announced;
}

void TMainForm::TrafficTabsChange(int NewTab, bool& AllowChange)
{
    Q_UNUSED(AllowChange);
    CurrentTraffic = NewTab == -1 ? nullptr : ui->TrafficTabs->Object<TTraffic>(NewTab);
    ShowCurrentAdapter();
}

void TMainForm::ShowCurrentAdapter()
{
    if (!CurrentTraffic) {
        ClearAdapterView();
        return;
    }
    const TTraffic& r = *CurrentTraffic;
    ui->FreezeButton->setVisible(r.Connected);
    ui->UnFreezeButton->setVisible(r.Connected);
    ui->ClearCountersButton->setVisible(r.Connected);
    ui->RemoveInactiveButton->setVisible(!r.Connected);
    ShowRunning(r);
    SetText(ui->ledAdapterDescription, Text(r.Description));
    SetText(ui->ledMACAddress, Text(r.MacAddress));
    SetText(ui->ledSpeed, Text(BitsPerSecToStr(r.Speed)));
    SetText(ui->ledOctInSec, Text(BytesToStr(r.InPerSec)));
    SetText(ui->ledPeakINSec, Text(BytesToStr(r.PeakInPerSec)));
    SetText(ui->ledAvgINSec, Text(BytesToStr(r.AvgInPerSec)));
    SetText(ui->ledTotalIN, Text(BytesToStr(r.TotalIn)));
    SetText(ui->ledOctOUTSec, Text(BytesToStr(r.OutPerSec)));
    SetText(ui->ledPeakOUTSec, Text(BytesToStr(r.PeakOutPerSec)));
    SetText(ui->ledAvgOUTSec, Text(BytesToStr(r.AvgOutPerSec)));
    SetText(ui->ledTotalOUT, Text(BytesToStr(r.TotalOut)));
    // Formatting a local time reads the time zone, and the start changes only on a clear.
    if (!m_startedAtText || m_startedAtText->first != r.StartedAt)
        m_startedAtText.emplace(r.StartedAt, DateTimeText(r.StartedAt, QLocale()));
    SetText(ui->ledStartedAt, m_startedAtText->second);
    SetText(ui->ledActiveFor, Text(r.GetActiveForText()));
    SetText(ui->StatusText, Text(r.GetStatusText()));
}

void TMainForm::ClearAdapterView()
{
    // Records the tabs still held here (none, as Remove always leaves a tab selected) go now.
    auto dropped = ui->TrafficTabs->Clear();
    m_byIndex.clear();
    SetText(ui->StatusText, QString());
    for (QLineEdit* field : ui->GroupBox->findChildren<QLineEdit*>(QString(), Qt::FindDirectChildrenOnly))
        SetText(field, QString());
}

void TMainForm::ShowRunning(const TTraffic& traffic)
{
    ui->FreezeButton->setEnabled(traffic.Running);
    ui->UnFreezeButton->setEnabled(!traffic.Running);
}

void TMainForm::TrafficFrozen(TTraffic* traffic)
{
    ShowRunning(*traffic);
}

void TMainForm::TrafficUnfrozen(TTraffic* traffic)
{
    ShowRunning(*traffic);
}

void TMainForm::pcChange()
{
    ui->pnlBottom->setVisible(ui->pc->currentWidget() == ui->tsTraffic);
}

void TMainForm::ledAdapterDescriptionChange()
{
    TLabeledEdit& field = *ui->ledAdapterDescription;
    field.setHint(field.text());
    // The field's client width: its flat border takes one pixel on either side.
    const int clientWidth = field.width() - 2;
    field.setShowHint(QFontMetrics(font()).horizontalAdvance(field.text()) > clientWidth);
}

void TMainForm::FreezeButtonClick()
{
    if (CurrentTraffic)
        CurrentTraffic->Freeze();
}

void TMainForm::UnFreezeButtonClick()
{
    if (CurrentTraffic)
        CurrentTraffic->Unfreeze();
}

void TMainForm::ClearCountersButtonClick()
{
    if (!CurrentTraffic)
        return;
    CurrentTraffic->ClearCounters();
    ShowCurrentAdapter();
}

void TMainForm::RemoveInactiveButtonClick()
{
    if (!CurrentTraffic)
        return;
    if (!CurrentTraffic->Connected) {
        TTabSet& tabs = *ui->TrafficTabs;
        m_byIndex.erase(CurrentTraffic->InterfaceIndex);
        CurrentTraffic = nullptr;
        auto removed = tabs.DeleteTab(tabs.TabIndex());
        removed.reset();
        tabs.SelectPrevious();
        // Stepping back needs two tabs; the one tab left must not lose its record to the
        // clearing of an empty view, so it is made current here.
        if (!CurrentTraffic && tabs.count() > 0) {
            bool allow = true;
            TrafficTabsChange(tabs.TabIndex(), allow);
        }
    }
    ShowCurrentAdapter();
}

void TMainForm::ExitButtonClick()
{
    close();
}

void TMainForm::cbOnTopClick()
{
    const bool shown = isVisible();
    setWindowFlag(Qt::WindowStaysOnTopHint, ui->cbOnTop->isChecked());
    // Changing a window flag hides the window.
    if (shown)
        show();
}

// Without the compact window, hiding would leave no window to come back from.
void TMainForm::b_monClick()
{
    if (!form_monitoring)
        return;
    look::ShowInFront(form_monitoring);
    hide();
}

QString TMainForm::TotalINText() const
{
    return ui->ledTotalIN->text();
}

QString TMainForm::TotalOUTText() const
{
    return ui->ledTotalOUT->text();
}

// Enter goes to the focused button, else to the default button Exit.
void TMainForm::keyPressEvent(QKeyEvent* event)
{
    if (event->key() != Qt::Key_Return && event->key() != Qt::Key_Enter) {
        QWidget::keyPressEvent(event);
        return;
    }
    if (auto* focused = qobject_cast<QPushButton*>(focusWidget()); focused && focused->isVisible())
        focused->click();
    else if (ui->ExitButton->isVisible() && ui->ExitButton->isEnabled())
        ui->ExitButton->click();
}

// Centred the first time only; shown again later, it comes back where it was.
void TMainForm::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (m_placed)
        return;
    m_placed = true;
    if (QScreen* display = screen())
        move(display->availableGeometry().center() - frameGeometry().center() + pos());
}
