// The application as it starts: both windows, switching between them, shutdown, and the
// report of errors that escape a handler. Driven by a fake interface table.

#include "app/Application.h"
#include "app/StartUp.h"
#include "ifstats/IPHLPAPI.h"
#include "ifstats/IPHelper.h"
#include "traffic/TrafficUnit.h"
#include "ui/LabeledEdit.h"
#include "ui/ErrorReport.h"
#include "ui/MainFormUnit.h"
#include "ui/TabSet.h"
#include "ui/unit_screen.h"

#include "support/FakeRows.h"

#include <QCloseEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTimer>
#include <QWindow>

#include <functional>
#include <stdexcept>
#include <vector>

using fakerows::Row;

namespace {

std::vector<MIB_IFROW> g_ifRows;
bool g_ifThrows = false;

std::uint32_t FakeGetIfTable(MIB_IFTABLE* table, std::uint32_t* size, bool)
{
    if (g_ifThrows)
        throw std::runtime_error("interface table exploded");
    return WriteTable(table, size, g_ifRows);
}

std::uint32_t FakeGetIpAddrTable(MIB_IPADDRTABLE* table, std::uint32_t* size, bool)
{
    return WriteTable(table, size, TMibIPAddrArray{});
}

template <class T>
T* Find(QWidget* window, const char* name)
{
    T* widget = window->findChild<T*>(QString::fromLatin1(name));
    if (!widget)
        qFatal("no control %s", name);
    return widget;
}

QString TextOf(QWidget* window, const char* name)
{
    return Find<QLineEdit>(window, name)->text();
}

void Click(QWidget* window, const char* button)
{
    QTest::mouseClick(Find<QPushButton>(window, button), Qt::LeftButton);
}

QWidget* NextTabStop(const QWidget* widget)
{
    QWidget* next = widget->nextInFocusChain();
    while (next != widget && !(next->focusPolicy() & Qt::TabFocus))
        next = next->nextInFocusChain();
    return next;
}

// What the window manager does for the close box.
void CloseBox(QWidget* window)
{
    QCloseEvent close;
    QCoreApplication::sendEvent(window->windowHandle(), &close);
}

// Runs `check` on the next modal box once it is open, then closes it.
void OnNextBox(QObject* context, std::function<void(QMessageBox*)> check)
{
    auto* poll = new QTimer(context);
    poll->setInterval(5);
    QObject::connect(poll, &QTimer::timeout, poll, [poll, check] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box)
            return;
        poll->deleteLater();
        poll->stop();
        check(box);
        box->accept();
    });
    poll->start();
}

} // namespace

class ShellTest : public QObject {
    Q_OBJECT

public:
    explicit ShellTest(TApplication& application) : app(application) {}

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void startUpCreatesMainThenHiddenCompactWindow();
    void compactWindowCopiesTheTotalsAsTheyStand();
    void switching_data();
    void switching();
    void compactWindowStaysOnTop();
    void closingTheMainWindowEndsTheLoop_data();
    void closingTheMainWindowEndsTheLoop();
    void compactWindowGoesFirstAtShutdown();
    void escapedErrorIsReportedAndTheProgramGoesOn_data();
    void escapedErrorIsReportedAndTheProgramGoesOn();
    void placement_data();
    void placement();
    void firstShowPlacesAndSizesLaterShowsKeepThePlace();
    void compactLayoutAsDesigned();

private:
    TApplication& app;
};

void ShellTest::initTestCase()
{
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
}

void ShellTest::init()
{
    FormatSettings = TFormatSettings{};
    g_ifRows.clear();
    g_ifThrows = false;
    GetIfTable = FakeGetIfTable;
    GetIpAddrTable = FakeGetIpAddrTable;
    StartUp(app);
}

void ShellTest::cleanup()
{
    app.DestroyForms();
    GetIfTable = PlatformGetIfTable;
    GetIpAddrTable = PlatformGetIpAddrTable;
}

void ShellTest::startUpCreatesMainThenHiddenCompactWindow()
{
    QVERIFY(MainForm);
    QVERIFY(form_monitoring);
    QCOMPARE(app.MainWindow(), MainForm);
    QCOMPARE(app.Title(), QStringLiteral("VELKOR | Web Monitor"));
    QCOMPARE(QApplication::applicationVersion(), QStringLiteral("1.0.0.0"));
    QCOMPARE(QApplication::applicationName(), QStringLiteral("VELKOR | ВЕЛКОР"));
    QVERIFY(!QApplication::windowIcon().isNull());
    QVERIFY(!form_monitoring->isVisible());
    QVERIFY(form_monitoring->Timer1->isActive());
    QCOMPARE(form_monitoring->Timer1->interval(), 1000);
    QVERIFY(MainForm->Timer->isActive());

    // Run shows the main window only; the compact one copies while hidden.
    QTimer::singleShot(0, MainForm, [] { MainForm->close(); });
    QCOMPARE(app.Run(), 0);
    QVERIFY(!form_monitoring->isVisible());
}

void ShellTest::compactWindowCopiesTheTotalsAsTheyStand()
{
    form_monitoring->Timer1Timer();
    QCOMPARE(TextOf(form_monitoring, "ledTotalIN"), QString());
    QCOMPARE(TextOf(form_monitoring, "ledTotalOUT"), QString());

    g_ifRows = {Row(1, 0, 0)};
    MainForm->TimerTimer();
    g_ifRows = {Row(1, 2'048, 1'536)};
    MainForm->TimerTimer();
    QCOMPARE(MainForm->TotalINText(), QStringLiteral("2.00 KB"));
    // The copy timer runs on its own: the next of its ticks brings the texts over.
    QTRY_COMPARE_WITH_TIMEOUT(TextOf(form_monitoring, "ledTotalIN"), QStringLiteral("2.00 KB"), 1500);
    QCOMPARE(TextOf(form_monitoring, "ledTotalOUT"), QStringLiteral("1.50 KB"));

    // A failed poll leaves the main window's texts, and they go on being copied.
    g_ifThrows = true;
    OnNextBox(MainForm, [](QMessageBox*) {});
    MainForm->TimerTimer();
    form_monitoring->Timer1Timer();
    QCOMPARE(TextOf(form_monitoring, "ledTotalIN"), QStringLiteral("2.00 KB"));

    // Whatever the main window's fields hold is copied, nothing is formatted anew.
    Find<QLineEdit>(MainForm, "ledTotalOUT")->setText(QStringLiteral("not a number"));
    Find<QLineEdit>(MainForm, "ledTotalIN")->clear();
    form_monitoring->Timer1Timer();
    QCOMPARE(TextOf(form_monitoring, "ledTotalOUT"), QStringLiteral("not a number"));
    QCOMPARE(TextOf(form_monitoring, "ledTotalIN"), QString());
}

// Steps: m = "mini", b = "BIG", c = the compact window's close box; from the main window shown.
void ShellTest::switching_data()
{
    QTest::addColumn<QString>("steps");
    QTest::addColumn<bool>("mainShown");
    QTest::addColumn<bool>("compactShown");
    QTest::newRow("mini: compact only") << "m" << false << true;
    QTest::newRow("mini, BIG: both") << "mb" << true << true;
    QTest::newRow("BIG again: both") << "mbb" << true << true;
    QTest::newRow("mini from both: compact only") << "mbm" << false << true;
    QTest::newRow("close compact in both: main") << "mbc" << true << false;
    QTest::newRow("close compact alone brings main back") << "mc" << true << false;
    QTest::newRow("mini after that: compact only") << "mcm" << false << true;
}

void ShellTest::switching()
{
    QFETCH(QString, steps);
    QFETCH(bool, mainShown);
    QFETCH(bool, compactShown);
    MainForm->show();
    QVERIFY(QTest::qWaitForWindowExposed(MainForm));
    bool quit = false;
    QObject guard;
    connect(&app, &QCoreApplication::aboutToQuit, &guard, [&quit] { quit = true; });
    for (const QChar step : steps) {
        if (step == u'm')
            Click(MainForm, "b_mon");
        else if (step == u'b')
            Click(form_monitoring, "b_pan");
        else
            CloseBox(form_monitoring);
    }
    QCOMPARE(MainForm->isVisible(), mainShown);
    QCOMPARE(form_monitoring->isVisible(), compactShown);
    QVERIFY(form_monitoring->Timer1->isActive());
    QVERIFY(MainForm->Timer->isActive());
    QCoreApplication::processEvents();
    QVERIFY(!quit);
}

void ShellTest::compactWindowStaysOnTop()
{
    QVERIFY(form_monitoring->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    QVERIFY(!MainForm->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    QCOMPARE(form_monitoring->windowTitle(), QStringLiteral("form_monitoring"));
    // Sizeable, with the usual buttons.
    const Qt::WindowFlags flags = form_monitoring->windowFlags();
    QVERIFY(flags.testFlag(Qt::Window));
    QVERIFY(form_monitoring->minimumSize() != form_monitoring->maximumSize());
}

void ShellTest::closingTheMainWindowEndsTheLoop_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("Exit") << "exit";
    QTest::newRow("close box") << "box";
    QTest::newRow("close box with the compact window shown") << "both";
    QTest::newRow("close while hidden") << "hidden";
}

void ShellTest::closingTheMainWindowEndsTheLoop()
{
    QFETCH(QString, how);
    g_ifRows = {Row(1, 10, 20), Row(2, 30, 40)};
    QTimer::singleShot(0, MainForm, [how] {
        MainForm->TimerTimer();
        if (how == u"exit") {
            Click(MainForm, "ExitButton");
        } else if (how == u"box") {
            CloseBox(MainForm);
        } else if (how == u"both") {
            Click(MainForm, "b_mon");
            Click(form_monitoring, "b_pan");
            CloseBox(MainForm);
        } else {
            Click(MainForm, "b_mon");
            MainForm->close();
        }
    });
    QCOMPARE(app.Run(), 0);
    QVERIFY(!MainForm->isVisible());
}

void ShellTest::compactWindowGoesFirstAtShutdown()
{
    g_ifRows = {Row(1, 10, 20)};
    MainForm->TimerTimer();
    QStringList gone;
    for (QObject* window : {static_cast<QObject*>(MainForm), static_cast<QObject*>(form_monitoring)})
        connect(window, &QObject::destroyed, &app, [&gone, name = window->objectName()] {
            gone << name;
            // No window's global outlives it, so no tick could reach a destroyed main window.
            if (name == u"form_monitoring")
                QVERIFY(!form_monitoring && MainForm);
        });
    app.DestroyForms();
    QCOMPARE(gone, (QStringList{QStringLiteral("form_monitoring"), QStringLiteral("MainForm")}));
    QVERIFY(!MainForm && !form_monitoring && !app.MainWindow());
}

namespace {

// A handler that fails, wired up as the windows wire theirs.
class Failing : public QObject {
public:
    explicit Failing(QString how) : how_(std::move(how)) {}
    void Fail()
    {
        if (how_ == u"other")
            throw 42;
        throw std::runtime_error("handler exploded");
    }

protected:
    bool event(QEvent* event) override
    {
        if (event->type() == QEvent::User)
            Fail();
        return QObject::event(event);
    }

private:
    QString how_;
};

} // namespace

void ShellTest::escapedErrorIsReportedAndTheProgramGoesOn_data()
{
    QTest::addColumn<QString>("source");
    QTest::newRow("button click") << "click";
    QTest::newRow("timer tick") << "timer";
    QTest::newRow("not a std::exception") << "other";
    QTest::newRow("tab click") << "tab";
    QTest::newRow("event no handler caught") << "event";
}

void ShellTest::escapedErrorIsReportedAndTheProgramGoesOn()
{
    QFETCH(QString, source);
    Failing failing(source);
    QPushButton button;
    QTimer timer;
    timer.setSingleShot(true);
    connect(&button, &QPushButton::clicked, &failing, Guarded(&failing, &Failing::Fail));
    connect(&timer, &QTimer::timeout, &failing, Guarded(&failing, &Failing::Fail));

    QString caption, message;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons buttons;
    OnNextBox(&app, [&](QMessageBox* box) {
        caption = box->windowTitle();
        message = box->text();
        icon = box->icon();
        buttons = box->standardButtons();
    });
    if (source == u"click" || source == u"other") {
        button.show();
        QTest::mouseClick(&button, Qt::LeftButton);
    } else if (source == u"timer") {
        timer.start(0);
        QTRY_VERIFY(!caption.isEmpty());
    } else if (source == u"tab") {
        g_ifRows = {Row(1), Row(2)};
        MainForm->TimerTimer();
        auto* tabs = Find<TTabSet>(MainForm, "TrafficTabs");
        connect(tabs, &TTabSet::Change, &failing, [&failing](int, bool&) { failing.Fail(); });
        MainForm->show();
        QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->tabRect(0).center());
    } else {
        QEvent event(QEvent::User);
        QCoreApplication::sendEvent(&failing, &event);
    }
    QCOMPARE(caption, QStringLiteral("VELKOR | Web Monitor"));
    QCOMPARE(message, source == u"other" ? QStringLiteral("Unknown error") : QStringLiteral("handler exploded"));
    QCOMPARE(icon, QMessageBox::Critical);
    QCOMPARE(buttons, QMessageBox::StandardButtons(QMessageBox::Ok));

    // The program goes on: polling and the windows still work.
    g_ifRows = {Row(1, 0, 0)};
    MainForm->TimerTimer();
    g_ifRows = {Row(1, 1'024, 0)};
    MainForm->TimerTimer();
    QCOMPARE(MainForm->Current()->InterfaceIndex, 1u);
    QCOMPARE(TextOf(MainForm, "ledTotalIN"), QStringLiteral("1.00 KB"));
    QVERIFY(MainForm->Timer->isActive());
}

void ShellTest::placement_data()
{
    QTest::addColumn<QRect>("available");
    QTest::addColumn<QPoint>("place");
    const QPoint first = Tform_monitoring::FirstPlace;
    QTest::newRow("large screen: as designed") << QRect(0, 0, 1920, 1040) << first;
    QTest::newRow("just fits") << QRect(0, 0, 1010, 737) << first;
    QTest::newRow("one pixel narrower") << QRect(0, 0, 1009, 737) << QPoint(820, 666);
    QTest::newRow("800 x 600") << QRect(0, 0, 800, 600) << QPoint(611, 529);
    QTest::newRow("task bar below") << QRect(0, 0, 1024, 728) << QPoint(821, 657);
    QTest::newRow("task bar on the left of a small screen") << QRect(48, 0, 592, 480) << QPoint(451, 409);
    QTest::newRow("area starts past the place") << QRect(900, 700, 1000, 800) << QPoint(900, 700);
    QTest::newRow("area smaller than the window") << QRect(10, 20, 150, 50) << QPoint(10, 20);
}

void ShellTest::placement()
{
    QFETCH(QRect, available);
    QFETCH(QPoint, place);
    QCOMPARE(PlaceOnScreen(QRect(Tform_monitoring::FirstPlace, Tform_monitoring::OuterSize), available), place);
}

void ShellTest::firstShowPlacesAndSizesLaterShowsKeepThePlace()
{
    const QRect available = QGuiApplication::primaryScreen()->availableGeometry();
    const QPoint expected =
        PlaceOnScreen(QRect(Tform_monitoring::FirstPlace, Tform_monitoring::OuterSize), available);
    MainForm->show();
    Click(MainForm, "b_mon");
    QVERIFY(QTest::qWaitForWindowExposed(form_monitoring));
    QCOMPARE(form_monitoring->frameGeometry(), QRect(expected, Tform_monitoring::OuterSize));

    form_monitoring->move(40, 30);
    CloseBox(form_monitoring);
    QVERIFY(MainForm->isVisible());
    Click(MainForm, "b_mon");
    QCOMPARE(form_monitoring->frameGeometry().topLeft(), QPoint(40, 30));
}

void ShellTest::compactLayoutAsDesigned()
{
    const auto* in = Find<TLabeledEdit>(form_monitoring, "ledTotalIN");
    const auto* out = Find<TLabeledEdit>(form_monitoring, "ledTotalOUT");
    const auto* big = Find<QPushButton>(form_monitoring, "b_pan");
    QCOMPARE(in->geometry(), QRect(0, 16, 65, 19));
    QCOMPARE(out->geometry(), QRect(73, 16, 65, 19));
    QCOMPARE(big->geometry(), QRect(144, 8, 33, 25));
    QCOMPARE(big->text(), QStringLiteral("BIG"));
    QCOMPARE(Find<QLabel>(form_monitoring, "Label1")->text(), QStringLiteral("in"));
    QCOMPARE(Find<QLabel>(form_monitoring, "Label2")->text(), QStringLiteral("out"));
    QCOMPARE(in->EditLabel()->text(), QStringLiteral("TOTAL"));
    QCOMPARE(in->EditLabel()->geometry().bottom() + 1, in->y() - 3);
    QCOMPARE(in->EditLabel()->y(), 0);

    const QColor green(0, 128, 0);
    QCOMPARE(Find<QLabel>(form_monitoring, "Label1")->palette().color(QPalette::WindowText), green);
    QCOMPARE(in->EditLabel()->palette().color(QPalette::WindowText), green);
    QCOMPARE(big->palette().color(QPalette::ButtonText), green);
    QCOMPARE(in->palette().color(QPalette::Text), QColor(255, 0, 0));
    QCOMPARE(out->palette().color(QPalette::Text), QColor(0, 0, 255));
    QCOMPARE(form_monitoring->font().pixelSize(), 11);
    QCOMPARE(in->font().pixelSize(), 12);

    // The fields take focus and selection but no typing; the focus goes IN, OUT, BIG.
    QVERIFY(in->isReadOnly() && out->isReadOnly());
    QVERIFY(in->focusPolicy() != Qt::NoFocus);
    QCOMPARE(NextTabStop(in), out);
    QCOMPARE(NextTabStop(out), big);
}

int main(int argc, char* argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    TApplication app(argc, argv);
    ShellTest test(app);
    return QTest::qExec(&test, argc, argv);
}

#include "shell_test.moc"
