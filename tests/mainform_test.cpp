// The monitor window driven by a fake interface table, one tick at a time.

#include "ifstats/IPHLPAPI.h"
#include "ifstats/IPHelper.h"
#include "traffic/TrafficUnit.h"
#include "ui/LabeledEdit.h"
#include "ui/LocaleTexts.h"
#include "ui/MainFormUnit.h"
#include "ui/TabSet.h"
#include "support/FakeRows.h"

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <QTimer>

#include <cstring>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

std::vector<MIB_IFROW> g_ifRows;
TMibIPAddrArray g_addrRows;
int g_addrCalls = 0;
bool g_ifThrows = false;
bool g_addrThrows = false;
const TMainForm* g_polling = nullptr;
bool g_timerActiveInPoll = false;

std::uint32_t FakeGetIfTable(MIB_IFTABLE* table, std::uint32_t* size, bool)
{
    if (g_ifThrows)
        throw std::runtime_error("interface table exploded");
    if (g_polling)
        g_timerActiveInPoll = g_polling->Timer->isActive();
    return WriteTable(table, size, g_ifRows);
}

std::uint32_t FakeGetIpAddrTable(MIB_IPADDRTABLE* table, std::uint32_t* size, bool)
{
    ++g_addrCalls;
    if (g_addrThrows)
        throw std::runtime_error("address table exploded");
    return WriteTable(table, size, g_addrRows);
}

using fakerows::Addr;
using fakerows::Row;

QString IpText(std::uint32_t index)
{
    return QString::fromStdString(IpAddrToStr(Addr(index).dwAddr));
}

} // namespace

class MainFormTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void beforeTheFirstTick();
    void firstPollMakesATabPerInterfaceAndShowsTheLast();
    void newInterfaceTakesTheView();
    void vanishedInterfaceIsDisconnectedAndItsReturnAddsNoTab();
    void emptyTableDisconnectsEveryRecord();
    void valueFieldsAfterKnownSteps();
    void timerIsStoppedDuringAPollOnly();
    void freezeAndUnfreeze();
    void clearCountersRefreshesAtOnce();
    void remove_data();
    void remove();
    void removeOnlyTabLeavesEmptyViewWithLastTexts();
    void removedInterfaceReturnsAsAFreshTab();
    void removeOfConnectedRecordReleasesNothing();
    void failingPollIsReportedAndPollingGoesOn();
    void failureWhileCreatingARecordLeavesNoTab();
    void clickOnTabShowsItsRecordAtOnce();
    void descriptionHint();
    void bottomPanelFollowsThePage();
    void stayOnTopSwitchesTheWindowFlag();
    void enterGoesToFocusedButtonElseExit();
    void layoutAsDesigned();
    void dateTimeText_data();
    void dateTimeText();
    void separatorsFromTheLocale();

private:
    template <class T>
    T* Find(const char* name)
    {
        T* widget = form->findChild<T*>(QString::fromLatin1(name));
        if (!widget)
            qFatal("no control %s", name);
        return widget;
    }
    QString TextOf(const char* name) { return Find<QLineEdit>(name)->text(); }
    TTabSet* Tabs() { return Find<TTabSet>("TrafficTabs"); }
    void Tick() { form->TimerTimer(); }
    // Polls with interfaces 1..n, then marks `gone` as vanished; selects `selected` in between.
    void Disconnect(std::uint32_t gone);
    void Click(const char* button) { QTest::mouseClick(Find<QPushButton>(button), Qt::LeftButton); }
    std::uint32_t ShownIndex() { return form->Current() ? form->Current()->InterfaceIndex : 0; }

    std::unique_ptr<TMainForm> form;
};

void MainFormTest::initTestCase()
{
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    FormatSettings = TFormatSettings{};
}

void MainFormTest::init()
{
    g_ifRows.clear();
    g_addrRows.clear();
    g_addrCalls = 0;
    g_ifThrows = false;
    g_addrThrows = false;
    GetIfTable = FakeGetIfTable;
    GetIpAddrTable = FakeGetIpAddrTable;
    form = std::make_unique<TMainForm>();
    form->show();
    QVERIFY(QTest::qWaitForWindowExposed(form.get()));
}

void MainFormTest::cleanup()
{
    g_polling = nullptr;
    form.reset();
    GetIfTable = PlatformGetIfTable;
    GetIpAddrTable = PlatformGetIpAddrTable;
}

void MainFormTest::Disconnect(std::uint32_t gone)
{
    std::erase_if(g_ifRows, [gone](const MIB_IFROW& r) { return r.dwIndex == gone; });
    Tick();
}

void MainFormTest::beforeTheFirstTick()
{
    QCOMPARE(Tabs()->count(), 0);
    QCOMPARE(Tabs()->TabIndex(), -1);
    QCOMPARE(form->Current(), nullptr);
    QCOMPARE(Find<QLabel>("StatusText")->text(), QString());
    for (const char* field : {"ledAdapterDescription", "ledMACAddress", "ledSpeed"})
        QCOMPARE(TextOf(field), QString());
    for (const char* button : {"FreezeButton", "UnFreezeButton", "ClearCountersButton", "RemoveInactiveButton"}) {
        QVERIFY2(!Find<QPushButton>(button)->isHidden(), button);
        QVERIFY2(Find<QPushButton>(button)->isEnabled(), button);
        Click(button);
    }
    QCOMPARE(Tabs()->count(), 0);
    QVERIFY(form->Timer->isActive());
    QCOMPARE(form->Timer->interval(), 1000);
    QVERIFY(form->isVisible());
}

void MainFormTest::firstPollMakesATabPerInterfaceAndShowsTheLast()
{
    g_ifRows = {Row(1, 0, 0, 10'000'000, "lo (loopback)"), Row(2, 0, 0, 1'000'000'000, "enp3s0 (e1000e)")};
    g_addrRows = {Addr(1), Addr(2)};
    Tick();
    QCOMPARE(Tabs()->tabs(), (QStringList{QStringLiteral(" 10.  0.  0.  1"), QStringLiteral(" 10.  0.  0.  2")}));
    QCOMPARE(Tabs()->TabIndex(), 1);
    QCOMPARE(ShownIndex(), 2u);
    QCOMPARE(TextOf("ledAdapterDescription"), QStringLiteral("enp3s0 (e1000e)"));
    QCOMPARE(TextOf("ledMACAddress"), QStringLiteral("02-00-00-00-00-02"));
    QCOMPARE(TextOf("ledSpeed"), QStringLiteral("1.00 Gbps"));
    QCOMPARE(Find<QLabel>("StatusText")->text(), QStringLiteral("Connected, Running"));
    QCOMPARE(TextOf("ledActiveFor"), QStringLiteral("00:00:00"));
    QVERIFY(Find<QPushButton>("RemoveInactiveButton")->isHidden());
    QVERIFY(!Find<QPushButton>("UnFreezeButton")->isEnabled());
    // One read of the address table (size call and fill call) serves both new records.
    QCOMPARE(g_addrCalls, 2);
    // An interface without an address is still shown.
    g_ifRows.push_back(Row(3));
    Tick();
    QCOMPARE(Tabs()->tabText(2), QStringLiteral("Not found!"));
    QCOMPARE(ShownIndex(), 3u);
}

void MainFormTest::newInterfaceTakesTheView()
{
    g_ifRows = {Row(1), Row(2)};
    g_addrRows = {Addr(1), Addr(2), Addr(3)};
    Tick();
    Tabs()->setTabIndex(0);
    QCOMPARE(ShownIndex(), 1u);
    g_addrCalls = 0;
    Tick();
    QCOMPARE(g_addrCalls, 0);
    g_ifRows.insert(g_ifRows.begin(), Row(3));
    Tick();
    QCOMPARE(Tabs()->count(), 3);
    QCOMPARE(Tabs()->tabText(2), IpText(3));
    QCOMPARE(Tabs()->TabIndex(), 2);
    QCOMPARE(ShownIndex(), 3u);
    QCOMPARE(TextOf("ledAdapterDescription"), QStringLiteral("eth3"));
}

void MainFormTest::vanishedInterfaceIsDisconnectedAndItsReturnAddsNoTab()
{
    g_ifRows = {Row(1), Row(2, 100, 100)};
    Tick();
    TTraffic* second = form->Current();
    Disconnect(2);
    QCOMPARE(form->Current(), second);
    QCOMPARE(Find<QLabel>("StatusText")->text(), QStringLiteral("Not connected, Not running"));
    for (const char* hidden : {"FreezeButton", "UnFreezeButton", "ClearCountersButton"})
        QVERIFY2(Find<QPushButton>(hidden)->isHidden(), hidden);
    QVERIFY(!Find<QPushButton>("RemoveInactiveButton")->isHidden());
    QCOMPARE(TextOf("ledActiveFor"), QStringLiteral("00:00:00"));

    // Back in the table: the old record stays disconnected; only its duration counts on.
    g_ifRows.push_back(Row(2, 5'000, 5'000));
    Tick();
    Tick();
    QCOMPARE(Tabs()->count(), 2);
    QCOMPARE(form->Current(), second);
    QVERIFY(!second->Connected);
    QCOMPARE(TextOf("ledTotalIN"), QStringLiteral("0.00 B"));
    QCOMPARE(TextOf("ledActiveFor"), QStringLiteral("00:00:02"));
    QCOMPARE(Find<QLabel>("StatusText")->text(), QStringLiteral("Not connected, Not running"));
}

void MainFormTest::emptyTableDisconnectsEveryRecord()
{
    g_ifRows = {Row(1), Row(2), Row(3)};
    Tick();
    g_ifRows.clear();
    Tick();
    QCOMPARE(Tabs()->count(), 3);
    for (int i = 0; i < 3; ++i)
        QVERIFY(!Tabs()->Object<TTraffic>(i)->Connected);
}

void MainFormTest::valueFieldsAfterKnownSteps()
{
    struct Step {
        std::uint64_t in, out;
        QStringList inTexts, outTexts; // per second, peak, average, total
        const char* duration;
    };
    const std::vector<Step> steps = {
        {1'000 + 1'536, 2'000, {"1.50 KB", "1.50 KB", "1.50 KB", "1.50 KB"}, {"0.00 B", "0.00 B", "0.00 B", "0.00 B"},
         "00:00:01"},
        {1'000 + 2'048, 2'000 + 3'145'728, {"512.00 B", "1.50 KB", "1.00 KB", "2.00 KB"},
         {"3.00 MB", "3.00 MB", "3.00 MB", "3.00 MB"}, "00:00:02"},
        // An idle second leaves the averages alone.
        {1'000 + 2'048, 2'000 + 3'145'728, {"0.00 B", "1.50 KB", "1.00 KB", "2.00 KB"},
         {"0.00 B", "3.00 MB", "3.00 MB", "3.00 MB"}, "00:00:03"},
    };
    g_ifRows = {Row(7, 1'000, 2'000, 100'000'000)};
    Tick();
    for (std::size_t i = 0; i < steps.size(); ++i) {
        const Step& s = steps[i];
        g_ifRows = {Row(7, s.in, s.out, 100'000'000)};
        Tick();
        const QStringList in{TextOf("ledOctInSec"), TextOf("ledPeakINSec"), TextOf("ledAvgINSec"),
                             TextOf("ledTotalIN")};
        const QStringList out{TextOf("ledOctOUTSec"), TextOf("ledPeakOUTSec"), TextOf("ledAvgOUTSec"),
                              TextOf("ledTotalOUT")};
        QCOMPARE(in, s.inTexts);
        QCOMPARE(out, s.outTexts);
        QCOMPARE(TextOf("ledActiveFor"), QString::fromLatin1(s.duration));
    }
    QCOMPARE(TextOf("ledSpeed"), QStringLiteral("100.00 Mbps"));
    // A speed change is taken at the next poll.
    g_ifRows = {Row(7, 1'000 + 2'048, 2'000 + 3'145'728, 10'000'000'000)};
    Tick();
    QCOMPARE(TextOf("ledSpeed"), QStringLiteral("10.00 Gbps"));
}

void MainFormTest::timerIsStoppedDuringAPollOnly()
{
    g_polling = form.get();
    g_timerActiveInPoll = true;
    Tick();
    QVERIFY(!g_timerActiveInPoll);
    QVERIFY(form->Timer->isActive());
    QCOMPARE(form->Timer->interval(), 1000);
}

void MainFormTest::freezeAndUnfreeze()
{
    g_ifRows = {Row(1, 0, 0)};
    Tick();
    Click("FreezeButton");
    QVERIFY(!Find<QPushButton>("FreezeButton")->isEnabled());
    QVERIFY(Find<QPushButton>("UnFreezeButton")->isEnabled());
    // The status line follows at the next refresh.
    QCOMPARE(Find<QLabel>("StatusText")->text(), QStringLiteral("Connected, Running"));
    g_ifRows = {Row(1, 4'096, 0)};
    Tick();
    QCOMPARE(Find<QLabel>("StatusText")->text(), QStringLiteral("Connected, Not running"));
    QCOMPARE(TextOf("ledTotalIN"), QStringLiteral("0.00 B"));
    QCOMPARE(TextOf("ledActiveFor"), QStringLiteral("00:00:01"));

    Click("UnFreezeButton");
    QVERIFY(Find<QPushButton>("FreezeButton")->isEnabled());
    QVERIFY(!Find<QPushButton>("UnFreezeButton")->isEnabled());
    QCOMPARE(Find<QLabel>("StatusText")->text(), QStringLiteral("Connected, Not running"));
    Tick();
    QCOMPARE(Find<QLabel>("StatusText")->text(), QStringLiteral("Connected, Running"));
}

void MainFormTest::clearCountersRefreshesAtOnce()
{
    g_ifRows = {Row(1, 0, 0)};
    Tick();
    g_ifRows = {Row(1, 2'048, 1'024)};
    Tick();
    QCOMPARE(TextOf("ledTotalIN"), QStringLiteral("2.00 KB"));
    Click("ClearCountersButton");
    QCOMPARE(TextOf("ledTotalIN"), QStringLiteral("0.00 B"));
    QCOMPARE(TextOf("ledTotalOUT"), QStringLiteral("0.00 B"));
    QCOMPARE(TextOf("ledPeakINSec"), QStringLiteral("0.00 B"));
    QCOMPARE(TextOf("ledActiveFor"), QStringLiteral("00:00:00"));
    QCOMPARE(Find<QLabel>("StatusText")->text(), QStringLiteral("Connected, Running"));
}

void MainFormTest::remove_data()
{
    QTest::addColumn<int>("tabs");
    QTest::addColumn<int>("removed");
    QTest::addColumn<QList<int>>("left");  // interface indexes, in tab order
    QTest::addColumn<int>("selected");
    QTest::addColumn<int>("shown");

    // Interface i + 1 sits in tab i.
    QTest::newRow("middle of three") << 3 << 1 << QList<int>{1, 3} << 0 << 1;
    QTest::newRow("first of three") << 3 << 0 << QList<int>{2, 3} << 1 << 3;
    QTest::newRow("last of three") << 3 << 2 << QList<int>{1, 2} << 0 << 1;
    QTest::newRow("second of four") << 4 << 1 << QList<int>{1, 3, 4} << 0 << 1;
    // Two tabs: the remaining one is selected and shown, never dropped.
    QTest::newRow("first of two") << 2 << 0 << QList<int>{2} << 0 << 2;
    QTest::newRow("second of two") << 2 << 1 << QList<int>{1} << 0 << 1;
}

void MainFormTest::remove()
{
    QFETCH(int, tabs);
    QFETCH(int, removed);
    QFETCH(QList<int>, left);
    QFETCH(int, selected);
    QFETCH(int, shown);

    for (int i = 1; i <= tabs; ++i)
        g_ifRows.push_back(Row(static_cast<std::uint32_t>(i), 0, 0));
    Tick();
    // Some traffic, so a re-created record would show in its totals.
    for (MIB_IFROW& row : g_ifRows)
        row.dwInOctets = 1'024 * row.dwIndex;
    Disconnect(static_cast<std::uint32_t>(removed + 1));
    Tabs()->setTabIndex(removed);
    std::vector<TTraffic*> kept;
    for (int i = 0; i < tabs; ++i)
        if (i != removed)
            kept.push_back(Tabs()->Object<TTraffic>(i));

    Click("RemoveInactiveButton");

    QList<int> indexes;
    for (int i = 0; i < Tabs()->count(); ++i)
        indexes << static_cast<int>(Tabs()->Object<TTraffic>(i)->InterfaceIndex);
    QCOMPARE(indexes, left);
    QCOMPARE(Tabs()->TabIndex(), selected);
    QCOMPARE(ShownIndex(), static_cast<std::uint32_t>(shown));
    QCOMPARE(TextOf("ledAdapterDescription"), QStringLiteral("eth%1").arg(shown));

    // The next polls find the same records: no counter is lost.
    Tick();
    QCOMPARE(Tabs()->count(), static_cast<int>(left.size()));
    for (int i = 0; i < Tabs()->count(); ++i)
        QCOMPARE(Tabs()->Object<TTraffic>(i), kept[static_cast<std::size_t>(i)]);
    QCOMPARE(form->Current()->TotalIn, std::uint64_t{1'024} * static_cast<std::uint64_t>(shown));
}

void MainFormTest::removeOnlyTabLeavesEmptyViewWithLastTexts()
{
    g_ifRows = {Row(1, 0, 0, 100'000'000, std::string(300, 'd'))};
    Tick();
    g_ifRows = {Row(1, 3'072, 0)};
    Tick();
    Disconnect(1);
    const QString lastTotal = TextOf("ledTotalIN");
    QCOMPARE(lastTotal, QStringLiteral("3.00 KB"));
    Click("RemoveInactiveButton");
    QCOMPARE(Tabs()->count(), 0);
    QCOMPARE(Tabs()->TabIndex(), -1);
    QCOMPARE(form->Current(), nullptr);
    QVERIFY(!Find<QPushButton>("RemoveInactiveButton")->isHidden());
    for (const char* hidden : {"FreezeButton", "UnFreezeButton", "ClearCountersButton"})
        QVERIFY2(Find<QPushButton>(hidden)->isHidden(), hidden);
    QCOMPARE(TextOf("ledAdapterDescription"), QString());
    QCOMPARE(Find<TLabeledEdit>("ledAdapterDescription")->Hint(), QString());
    QVERIFY(!Find<TLabeledEdit>("ledAdapterDescription")->ShowHint());
    QCOMPARE(Find<QLabel>("StatusText")->text(), QString());
    // The inner boxes keep the removed record's last texts.
    QCOMPARE(TextOf("ledTotalIN"), lastTotal);
    QCOMPARE(TextOf("ledActiveFor"), QStringLiteral("00:00:01"));
    Click("RemoveInactiveButton");
    QCOMPARE(Tabs()->count(), 0);
}

void MainFormTest::removedInterfaceReturnsAsAFreshTab()
{
    g_ifRows = {Row(1, 0, 0), Row(2, 0, 0)};
    Tick();
    g_ifRows = {Row(1, 0, 0), Row(2, 9'999, 0)};
    Tick();
    Disconnect(2);
    g_ifRows.push_back(Row(2, 20'000, 0));
    Tick();
    Click("RemoveInactiveButton");
    QCOMPARE(ShownIndex(), 1u);
    Tick();
    QCOMPARE(Tabs()->count(), 2);
    QCOMPARE(Tabs()->TabIndex(), 1);
    QCOMPARE(ShownIndex(), 2u);
    QVERIFY(form->Current()->Connected);
    QCOMPARE(TextOf("ledTotalIN"), QStringLiteral("0.00 B"));
}

void MainFormTest::removeOfConnectedRecordReleasesNothing()
{
    g_ifRows = {Row(1), Row(2)};
    Tick();
    TTraffic* shown = form->Current();
    // The button is hidden for a connected record; its handler must refuse all the same.
    form->RemoveInactiveButtonClick();
    QCOMPARE(Tabs()->count(), 2);
    QCOMPARE(form->Current(), shown);
    QCOMPARE(Tabs()->TabIndex(), 1);
}

void MainFormTest::failingPollIsReportedAndPollingGoesOn()
{
    g_ifRows = {Row(1, 0, 0)};
    Tick();
    g_ifThrows = true;
    QString caption, message;
    bool timerActiveWhileReporting = true;
    QTimer::singleShot(0, form.get(), [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        QVERIFY(box);
        caption = box->windowTitle();
        message = box->text();
        timerActiveWhileReporting = form->Timer->isActive();
        box->accept();
    });
    Tick();
    QCOMPARE(caption, QStringLiteral("VELKOR | Web Monitor"));
    QCOMPARE(message, QStringLiteral("interface table exploded"));
    QVERIFY(!timerActiveWhileReporting);
    QVERIFY(form->Timer->isActive());
    // The view keeps its last texts; the next poll counts on.
    QCOMPARE(Find<QLabel>("StatusText")->text(), QStringLiteral("Connected, Running"));
    g_ifThrows = false;
    g_ifRows = {Row(1, 1'024, 0)};
    Tick();
    QCOMPARE(TextOf("ledTotalIN"), QStringLiteral("1.00 KB"));
}

void MainFormTest::failureWhileCreatingARecordLeavesNoTab()
{
    const auto closeTheReport = [this] {
        QTimer::singleShot(0, form.get(), [] {
            if (QWidget* box = QApplication::activeModalWidget())
                box->close();
        });
    };
    g_ifRows = {Row(1, 0, 0), Row(2, 0, 0)};
    Tick();
    g_ifRows = {Row(1, 1'024, 0), Row(2, 2'048, 0)};
    Tick();
    Tabs()->setTabIndex(0);
    TTraffic* first = Tabs()->Object<TTraffic>(0);
    TTraffic* second = Tabs()->Object<TTraffic>(1);

    // Before the record exists: the address table cannot be read.
    g_ifRows.push_back(Row(3));
    g_addrThrows = true;
    closeTheReport();
    Tick();
    g_addrThrows = false;
    QCOMPARE(Tabs()->count(), 2);
    QCOMPARE(form->Current(), first);

    // Inside its announcement: the change event fails after the view took the new record.
    bool armed = true;
    QObject saboteur;
    connect(Tabs(), &TTabSet::Change, &saboteur, [&armed](int, bool&) {
        if (armed)
            throw std::runtime_error("change refused");
    });
    closeTheReport();
    Tick();
    armed = false;
    QCOMPARE(Tabs()->count(), 2);
    QCOMPARE(Tabs()->TabIndex(), 0);
    QCOMPARE(form->Current(), first);

    // Later polls keep both records with their counts and add the new interface once.
    Tick();
    Tick();
    QCOMPARE(Tabs()->count(), 3);
    QCOMPARE(Tabs()->Object<TTraffic>(0), first);
    QCOMPARE(Tabs()->Object<TTraffic>(1), second);
    QCOMPARE(first->TotalIn, std::uint64_t{1'024});
    QCOMPARE(second->TotalIn, std::uint64_t{2'048});
    QCOMPARE(ShownIndex(), 3u);
}

void MainFormTest::clickOnTabShowsItsRecordAtOnce()
{
    g_ifRows = {Row(1), Row(2)};
    Tick();
    TTabSet* tabs = Tabs();
    QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->tabRect(1).center());
    QCOMPARE(ShownIndex(), 2u);
    QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->tabRect(0).center());
    QCOMPARE(tabs->TabIndex(), 0);
    QCOMPARE(ShownIndex(), 1u);
    QCOMPARE(TextOf("ledAdapterDescription"), QStringLiteral("eth1"));
}

void MainFormTest::descriptionHint()
{
    auto* field = Find<TLabeledEdit>("ledAdapterDescription");
    const std::string wide(120, 'W');
    g_ifRows = {Row(1, 0, 0, 0, "short"), Row(2, 0, 0, 0, wide)};
    Tick();
    QCOMPARE(field->Hint(), QString::fromStdString(wide));
    QVERIFY(field->ShowHint());
    QCOMPARE(field->toolTip(), QString::fromStdString(wide));
    // Cut at the right edge: the field shows the start of the text.
    QCOMPARE(field->cursorPosition(), 0);
    Tabs()->setTabIndex(0);
    QCOMPARE(field->Hint(), QStringLiteral("short"));
    QVERIFY(!field->ShowHint());
    QCOMPARE(field->toolTip(), QString());
}

void MainFormTest::bottomPanelFollowsThePage()
{
    auto* pc = Find<QTabWidget>("pc");
    auto* bottom = Find<QWidget>("pnlBottom");
    QVERIFY(bottom->isVisible());
    const int pageHeight = Find<QWidget>("tsTraffic")->height();
    pc->setCurrentWidget(Find<QWidget>("tsAbout"));
    QVERIFY(bottom->isHidden());
    QTRY_COMPARE(Find<QWidget>("pnlMain")->height(), 381);
    QTRY_COMPARE(Find<QWidget>("tsAbout")->height(), pageHeight + 46);
    QCOMPARE(form->size(), QSize(491, 381));
    pc->setCurrentWidget(Find<QWidget>("tsTraffic"));
    QVERIFY(bottom->isVisible());
    QTRY_COMPARE(Find<QWidget>("pnlMain")->height(), 335);
}

void MainFormTest::stayOnTopSwitchesTheWindowFlag()
{
    auto* box = Find<QCheckBox>("cbOnTop");
    QVERIFY(!(form->windowFlags() & Qt::WindowStaysOnTopHint));
    QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(8, box->height() / 2));
    QVERIFY(box->isChecked());
    QVERIFY(form->windowFlags() & Qt::WindowStaysOnTopHint);
    QVERIFY(form->isVisible());
    QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(8, box->height() / 2));
    QVERIFY(!(form->windowFlags() & Qt::WindowStaysOnTopHint));
    QVERIFY(form->isVisible());
    QVERIFY(!(form->windowFlags() & Qt::WindowMaximizeButtonHint));

    // Where "mini" overlaps the check box, a click lands on "mini"; below it, on the box.
    QWidget* bottom = Find<QWidget>("pnlBottom");
    QCOMPARE(bottom->childAt(330, 14), Find<QWidget>("b_mon"));
    QCOMPARE(bottom->childAt(330, 30), box);
}

void MainFormTest::enterGoesToFocusedButtonElseExit()
{
    QVERIFY(Find<QPushButton>("ExitButton")->isDefault());
    g_ifRows = {Row(1)};
    Tick();
    form->activateWindow();
    Find<QPushButton>("FreezeButton")->setFocus();
    QTest::keyClick(form->focusWidget(), Qt::Key_Return);
    QVERIFY(!form->Current()->Running);
    QVERIFY(form->isVisible());
    Find<QTabWidget>("pc")->setFocus();
    QTest::keyClick(form->focusWidget(), Qt::Key_Return);
    QVERIFY(!form->isVisible());
}

void MainFormTest::layoutAsDesigned()
{
    QCOMPARE(form->size(), QSize(491, 381));
    QCOMPARE(form->minimumSize(), form->maximumSize());
    QCOMPARE(Find<QWidget>("pnlBottom")->geometry(), QRect(0, 335, 491, 46));
    QCOMPARE(Find<QWidget>("TrafficTabs")->height(), 21);
    QCOMPARE(Find<QWidget>("ledTotalIN")->geometry(), QRect(272, 32, 65, 19));
    QCOMPARE(Find<TLabeledEdit>("ledTotalIN")->EditLabel()->geometry().bottom() + 1, 32 - 3);
    QCOMPARE(Find<TLabeledEdit>("ledTotalIN")->EditLabel()->text(), QStringLiteral("TOTAL"));
    QVERIFY(!Find<QWidget>("GroupBox")->isEnabled());
    QCOMPARE(Find<TLabeledEdit>("ledOctInSec")->textColor(), QColor(255, 0, 0));
    QCOMPARE(Find<TLabeledEdit>("ledOctOUTSec")->textColor(), QColor(0, 0, 255));
    QCOMPARE(Find<TLabeledEdit>("ledStartedAt")->textColor(), QColor(0, 128, 0));
    // Greyed-out text would make a disabled view unreadable.
    const QPalette colours = Find<QWidget>("ledOctInSec")->palette();
    QCOMPARE(colours.color(QPalette::Disabled, QPalette::Text), QColor(255, 0, 0));
    QCOMPARE(colours.color(QPalette::Disabled, QPalette::Base), QColor(255, 251, 240));
    QCOMPARE(Find<QWidget>("ledTotalIN")->font().pixelSize(), 12);
    QCOMPARE(form->font().pixelSize(), 11);
    QCOMPARE(form->windowTitle(), QStringLiteral("ВЕЛКОР | VELKOR  |  Web Monitor (network)"));

    // The Tab key walks the bottom bar and comes back to the page control.
    QApplication::setActiveWindow(form.get());
    Find<QTabWidget>("pc")->setFocus();
    QStringList order;
    for (int i = 0; i < 9; ++i) {
        QWidget* focused = QApplication::focusWidget();
        QVERIFY(focused);
        // The page control's own tab strip stands for it.
        order << (focused->parentWidget() == Find<QWidget>("pc") && focused->objectName().startsWith("qt_")
                      ? QStringLiteral("pc")
                      : focused->objectName());
        QTest::keyClick(focused, Qt::Key_Tab);
    }
    QCOMPARE(order, (QStringList{"pc", "ExitButton", "UnFreezeButton", "FreezeButton", "ClearCountersButton",
                                  "RemoveInactiveButton", "cbOnTop", "b_mon", "pc"}));
}

void MainFormTest::dateTimeText_data()
{
    QTest::addColumn<QLocale>("locale");
    QTest::addColumn<QDateTime>("when");
    QTest::addColumn<QString>("expected");
    const QLocale us(QLocale::English, QLocale::UnitedStates);
    const QLocale de(QLocale::German, QLocale::Germany);
    const QDate day(2026, 12, 11);
    QTest::newRow("afternoon, US") << us << QDateTime(day, QTime(13, 2, 3)) << QStringLiteral("12/11/26 1:02:03 PM");
    QTest::newRow("afternoon, German") << de << QDateTime(day, QTime(13, 2, 3)) << QStringLiteral("11.12.26 13:02:03");
    QTest::newRow("midnight shows the date alone") << us << QDateTime(day, QTime(0, 0, 0, 999))
                                                   << QStringLiteral("12/11/26");
    QTest::newRow("one second past midnight") << de << QDateTime(day, QTime(0, 0, 1)) << QStringLiteral("11.12.26 00:00:01");
}

void MainFormTest::dateTimeText()
{
    QFETCH(QLocale, locale);
    QFETCH(QDateTime, when);
    QFETCH(QString, expected);
    const std::chrono::system_clock::time_point point{std::chrono::milliseconds(when.toMSecsSinceEpoch())};
    QCOMPARE(DateTimeText(point, locale), expected);
}

void MainFormTest::separatorsFromTheLocale()
{
    const TFormatSettings de = FormatSettingsFrom(QLocale(QLocale::German, QLocale::Germany));
    QCOMPARE(de.ThousandSeparator, std::string("."));
    QCOMPARE(de.DecimalSeparator, std::string(","));
    QCOMPARE(BytesToStr(1'234'567'890'123, de), std::string("1,12 TB"));
    QCOMPARE(BytesToStr(2'000'000, de), std::string("1,91 MB"));
    QCOMPARE(BytesToStr(1'024'000, de), std::string("1.000,00 KB"));
}

int main(int argc, char* argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    MainFormTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "mainform_test.moc"
