// The tab bar's selection rules, one operation per row.

#include "ui/TabSet.h"

#include <QApplication>
#include <QMouseEvent>
#include <QSignalSpy>
#include <QTest>

#include <memory>
#include <utility>
#include <vector>

namespace {

// Counts its own destruction, so a test sees whether the bar released an object.
struct Probe {
    explicit Probe(int& released) : released(released) {}
    ~Probe() { ++released; }
    int& released;
};

enum class Op { Select, Append, Clear, Delete, StepBack };

struct Event {
    int newTab;
    int indexDuringEvent;
    bool operator==(const Event&) const = default;
};

// Found by argument-dependent lookup for QCOMPARE's failure message.
char* toString(const std::vector<Event>& events)
{
    QByteArray text = "[";
    for (const Event& e : events)
        text += "(" + QByteArray::number(e.newTab) + " while " + QByteArray::number(e.indexDuringEvent) + ")";
    return qstrdup(text + "]");
}

} // namespace

Q_DECLARE_METATYPE(Op)
Q_DECLARE_METATYPE(std::vector<Event>)

class TabSetTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void rules_data();
    void rules();
    void vetoedChangeKeepsTheIndex();
    void indexOutOfRangeIsRefused();
    void objectsComeBackUnreleased();
    void clickSelectsThroughTheChangeEvent();
    void formPlaceholders();
    void tabWidthsFollowFontAndText();
    void tooManyTabsBringScrollArrows();
};

void TabSetTest::rules_data()
{
    QTest::addColumn<int>("tabs");
    QTest::addColumn<int>("index");
    QTest::addColumn<Op>("op");
    QTest::addColumn<int>("arg");
    QTest::addColumn<std::vector<Event>>("events");
    QTest::addColumn<int>("finalIndex");
    QTest::addColumn<int>("finalCount");

    using E = std::vector<Event>;
    QTest::newRow("select other tab fires before the move") << 3 << 0 << Op::Select << 2 << E{{2, 0}} << 2 << 3;
    QTest::newRow("select the selected tab does nothing") << 3 << 1 << Op::Select << 1 << E{} << 1 << 3;
    QTest::newRow("select none from a tab") << 2 << 1 << Op::Select << -1 << E{{-1, 1}} << -1 << 2;
    QTest::newRow("select a tab from none") << 2 << -1 << Op::Select << 0 << E{{0, -1}} << 0 << 2;
    QTest::newRow("append keeps a selection") << 2 << 1 << Op::Append << 0 << E{} << 1 << 3;
    QTest::newRow("append to an empty bar selects nothing") << 0 << -1 << Op::Append << 0 << E{} << -1 << 1;
    QTest::newRow("clear") << 3 << 2 << Op::Clear << 0 << E{} << -1 << 0;
    QTest::newRow("delete before the selection keeps the number") << 3 << 1 << Op::Delete << 0 << E{} << 1 << 2;
    QTest::newRow("delete the selected middle tab") << 3 << 1 << Op::Delete << 1 << E{} << 1 << 2;
    QTest::newRow("delete the selected last tab clamps") << 3 << 2 << Op::Delete << 2 << E{} << 1 << 2;
    QTest::newRow("delete the only tab") << 1 << 0 << Op::Delete << 0 << E{} << -1 << 0;
    QTest::newRow("delete while none is selected") << 2 << -1 << Op::Delete << 0 << E{} << -1 << 1;
    QTest::newRow("step back from the middle") << 3 << 1 << Op::StepBack << 0 << E{{0, 1}} << 0 << 3;
    QTest::newRow("step back from the first wraps") << 3 << 0 << Op::StepBack << 0 << E{{2, 0}} << 2 << 3;
    QTest::newRow("step back from none goes to the last") << 3 << -1 << Op::StepBack << 0 << E{{2, -1}} << 2 << 3;
    QTest::newRow("step back with one tab does nothing") << 1 << 0 << Op::StepBack << 0 << E{} << 0 << 1;
    QTest::newRow("step back with none does nothing") << 0 << -1 << Op::StepBack << 0 << E{} << -1 << 0;
}

void TabSetTest::rules()
{
    QFETCH(int, tabs);
    QFETCH(int, index);
    QFETCH(Op, op);
    QFETCH(int, arg);
    QFETCH(std::vector<Event>, events);
    QFETCH(int, finalIndex);
    QFETCH(int, finalCount);

    int released = 0;
    TTabSet bar;
    bar.show();
    for (int i = 0; i < tabs; ++i)
        bar.AddObject(QString::number(i), std::make_unique<TTabOwned<Probe>>(std::make_unique<Probe>(released)));
    bar.setTabIndex(index);
    QCOMPARE(bar.TabIndex(), index);

    std::vector<Event> seen;
    QObject context;
    QSignalSpy qtCurrent(&bar, &QTabBar::currentChanged);
    connect(&bar, &TTabSet::Change, &context,
            [&](int newTab, bool& allow) {
                QVERIFY(allow);
                seen.push_back({newTab, bar.TabIndex()});
            });

    std::vector<std::unique_ptr<TTabObject>> handedBack;
    switch (op) {
    case Op::Select:
        bar.setTabIndex(arg);
        break;
    case Op::Append:
        bar.AddObject(QStringLiteral("new"), nullptr);
        break;
    case Op::Clear:
        handedBack = bar.Clear();
        break;
    case Op::Delete:
        handedBack.push_back(bar.DeleteTab(arg));
        break;
    case Op::StepBack:
        bar.SelectPrevious();
        break;
    }

    QCOMPARE(seen, events);
    QCOMPARE(bar.TabIndex(), finalIndex);
    QCOMPARE(bar.count(), finalCount);
    // Deleting or clearing hands the objects back; it never releases them.
    QCOMPARE(released, 0);
    // QTabBar's own after-the-fact signal stays hidden.
    QCOMPARE(qtCurrent.count(), 0);
    // What QTabBar shows as current follows our index whenever there is one.
    if (finalIndex >= 0)
        QCOMPARE(bar.currentIndex(), finalIndex);
}

void TabSetTest::vetoedChangeKeepsTheIndex()
{
    TTabSet bar;
    for (const char* text : {"a", "b", "c"})
        bar.AddObject(QString::fromLatin1(text), nullptr);
    bar.setTabIndex(0);
    QObject context;
    int calls = 0;
    connect(&bar, &TTabSet::Change, &context, [&](int, bool& allow) {
        ++calls;
        allow = false;
    });
    bar.setTabIndex(2);
    bar.SelectPrevious();
    QCOMPARE(calls, 2);
    QCOMPARE(bar.TabIndex(), 0);
    QCOMPARE(bar.currentIndex(), 0);
}

void TabSetTest::indexOutOfRangeIsRefused()
{
    TTabSet bar;
    bar.AddObject(QStringLiteral("a"), nullptr);
    QVERIFY_THROWS_EXCEPTION(std::out_of_range, bar.setTabIndex(1));
    QVERIFY_THROWS_EXCEPTION(std::out_of_range, bar.setTabIndex(-2));
    QCOMPARE(bar.TabIndex(), -1);
    QVERIFY(bar.DeleteTab(5) == nullptr);
    QCOMPARE(bar.count(), 1);
}

void TabSetTest::objectsComeBackUnreleased()
{
    int released = 0;
    TTabSet bar;
    auto first = std::make_unique<Probe>(released);
    Probe* firstRaw = first.get();
    bar.AddObject(QStringLiteral("a"), std::make_unique<TTabOwned<Probe>>(std::move(first)));
    bar.AddObject(QStringLiteral("b"), std::make_unique<TTabOwned<Probe>>(std::make_unique<Probe>(released)));
    QCOMPARE(bar.Object<Probe>(0), firstRaw);
    QCOMPARE(bar.Object<Probe>(2), nullptr);
    QCOMPARE(bar.Object<int>(0), nullptr);

    auto deleted = bar.DeleteTab(0);
    QCOMPARE(released, 0);
    deleted.reset();
    QCOMPARE(released, 1);

    auto cleared = bar.Clear();
    QCOMPARE(cleared.size(), std::size_t{1});
    QCOMPARE(released, 1);
    cleared.clear();
    QCOMPARE(released, 2);

    // A holder that never adopted its object does not release it.
    Probe borrowed(released);
    bar.AddObject(QStringLiteral("c"), std::make_unique<TTabOwned<Probe>>(&borrowed));
    auto unowned = bar.DeleteTab(0);
    unowned.reset();
    QCOMPARE(released, 2);
}

void TabSetTest::clickSelectsThroughTheChangeEvent()
{
    TTabSet bar;
    bar.resize(400, 21);
    for (const char* text : {"first", "second", "third"})
        bar.AddObject(QString::fromLatin1(text), nullptr);
    bar.setTabIndex(0);
    bar.show();
    QVERIFY(QTest::qWaitForWindowExposed(&bar));

    std::vector<Event> seen;
    QObject context;
    connect(&bar, &TTabSet::Change, &context, [&](int newTab, bool&) { seen.push_back({newTab, bar.TabIndex()}); });

    QTest::mouseClick(&bar, Qt::LeftButton, {}, bar.tabRect(0).center());
    QVERIFY(seen.empty());
    QTest::mouseClick(&bar, Qt::LeftButton, {}, bar.tabRect(2).center());
    QCOMPARE(seen, (std::vector<Event>{{2, 0}}));
    QCOMPARE(bar.TabIndex(), 2);
    QTest::mouseClick(&bar, Qt::RightButton, {}, bar.tabRect(1).center());
    QCOMPARE(bar.TabIndex(), 2);
}

void TabSetTest::formPlaceholders()
{
    TTabSet bar;
    bar.setTabs({QStringLiteral("1"), QStringLiteral("2"), QStringLiteral("3")});
    bar.setTabIndex(0);
    QCOMPARE(bar.tabs(), (QStringList{QStringLiteral("1"), QStringLiteral("2"), QStringLiteral("3")}));
    QCOMPARE(bar.TabIndex(), 0);
    QCOMPARE(bar.Object<Probe>(0), nullptr);
}

// Tab sizes are measured once; a new font or text must measure them again.
void TabSetTest::tabWidthsFollowFontAndText()
{
    TTabSet bar;
    bar.resize(600, 21);
    bar.AddObject(QStringLiteral("192.168.  1. 20"), nullptr);
    bar.AddObject(QStringLiteral("short"), nullptr);
    bar.show();
    QVERIFY(QTest::qWaitForWindowExposed(&bar));
    const int before = bar.tabRect(0).width();

    QFont bigger = bar.font();
    bigger.setPixelSize(30);
    bar.setFont(bigger);
    QTRY_VERIFY(bar.tabRect(0).width() > before);

    const int wide = bar.tabRect(1).width();
    bar.setTabText(1, QStringLiteral("a much longer caption"));
    QVERIFY(bar.tabRect(1).width() > wide);
}

void TabSetTest::tooManyTabsBringScrollArrows()
{
    TTabSet bar;
    bar.resize(473, 21);
    bar.AddObject(QStringLiteral("192.168.  1. 20"), nullptr);
    bar.show();
    QVERIFY(QTest::qWaitForWindowExposed(&bar));
    const auto arrows = [&bar] {
        int shown = 0;
        for (const QWidget* child : bar.findChildren<QWidget*>())
            if (child->isVisible()) {
                ++shown;
                // Both arrows sit at the right end of the bar.
                if (child->geometry().left() < bar.width() / 2)
                    return -1;
            }
        return shown;
    };
    QCOMPARE(arrows(), 0);
    for (int i = 0; i < 12; ++i)
        bar.AddObject(QStringLiteral("10.  0.  0.%1").arg(i, 3), nullptr);
    QTRY_COMPARE(arrows(), 2);
}

int main(int argc, char* argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    TabSetTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "tabset_test.moc"
