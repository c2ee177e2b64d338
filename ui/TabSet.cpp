#include "ui/TabSet.h"

#include "ui/ErrorReport.h"

#include <QMouseEvent>
#include <QPainter>
#include <QSignalBlocker>
#include <QStyleOptionTab>
#include <QWheelEvent>

#include <algorithm>
#include <stdexcept>
#include <string>

TTabSet::TTabSet(QWidget* parent) : QTabBar(parent)
{
    setShape(QTabBar::RoundedSouth);
    setFocusPolicy(Qt::NoFocus);
    setUsesScrollButtons(true);
    setExpanding(false);
    setDrawBase(true);
    setElideMode(Qt::ElideNone);
}

TTabSet::~TTabSet() = default;

void TTabSet::setTabIndex(int index)
{
    if (index == m_tabIndex)
        return;
    if (index < -1 || index >= count())
        throw std::out_of_range("Tab index out of bounds (" + std::to_string(index) + ")");
    bool allow = true;
    Q_EMIT Change(index, allow);
    // The handler may have changed the tabs; only an index that is still valid takes effect.
    if (allow && index < count())
        m_tabIndex = index;
    ShowSelection();
}

void TTabSet::SelectPrevious()
{
    if (count() < 2)
        return;
    int target = m_tabIndex - 1;
    if (target < 0)
        target = count() - 1;
    setTabIndex(target);
}

void TTabSet::AddObject(const QString& text, std::unique_ptr<TTabObject> object)
{
    m_objects.push_back(std::move(object));
    m_sizeHints.emplace_back();
    try {
        // QTabBar makes a first tab current by itself and says so; our index stays.
        const QSignalBlocker quiet(this);
        addTab(text);
    } catch (...) {
        m_objects.pop_back();
        m_sizeHints.pop_back();
        throw;
    }
    ShowSelection();
}

std::unique_ptr<TTabObject> TTabSet::DeleteTab(int index)
{
    if (index < 0 || index >= count())
        return nullptr;
    auto object = std::move(m_objects[static_cast<std::size_t>(index)]);
    m_objects.erase(m_objects.begin() + index);
    m_sizeHints.erase(m_sizeHints.begin() + index);
    {
        const QSignalBlocker quiet(this);
        removeTab(index);
    }
    if (m_tabIndex >= count())
        m_tabIndex = count() - 1;
    ShowSelection();
    return object;
}

std::vector<std::unique_ptr<TTabObject>> TTabSet::Clear()
{
    std::vector<std::unique_ptr<TTabObject>> objects = std::move(m_objects);
    m_objects.clear();
    m_tabIndex = -1;
    const QSignalBlocker quiet(this);
    // From the end, so QTabBar never has to pick a new current tab in the middle.
    for (int i = count() - 1; i >= 0; --i) {
        m_sizeHints.pop_back();
        removeTab(i);
    }
    return objects;
}

QStringList TTabSet::tabs() const
{
    QStringList texts;
    for (int i = 0; i < count(); ++i)
        texts << tabText(i);
    return texts;
}

void TTabSet::setTabs(const QStringList& texts)
{
    auto dropped = Clear();
    for (const QString& text : texts)
        AddObject(text, nullptr);
}

void TTabSet::setTabText(int index, const QString& text)
{
    if (index >= 0 && index < static_cast<int>(m_sizeHints.size()))
        m_sizeHints[static_cast<std::size_t>(index)] = QSize();
    QTabBar::setTabText(index, text);
}

QSize TTabSet::tabSizeHint(int index) const
{
    if (index < 0 || index >= static_cast<int>(m_sizeHints.size()))
        return QTabBar::tabSizeHint(index);
    QSize& hint = m_sizeHints[static_cast<std::size_t>(index)];
    if (!hint.isValid())
        hint = QTabBar::tabSizeHint(index);
    return hint;
}

void TTabSet::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange)
        std::fill(m_sizeHints.begin(), m_sizeHints.end(), QSize());
    QTabBar::changeEvent(event);
}

// QTabBar always marks a current tab while it has any; with index -1 none looks selected.
void TTabSet::initStyleOption(QStyleOptionTab* option, int tabIndex) const
{
    QTabBar::initStyleOption(option, tabIndex);
    if (tabIndex != m_tabIndex)
        option->state &= ~QStyle::State_Selected;
}

void TTabSet::ShowSelection()
{
    if (m_tabIndex >= 0 && currentIndex() != m_tabIndex) {
        const QSignalBlocker quiet(this);
        setCurrentIndex(m_tabIndex);
    }
    update();
}

// A click selects through setTabIndex, so the change event comes before the index moves.
void TTabSet::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) {
        event->ignore();
        return;
    }
    const int index = tabAt(event->position().toPoint());
    try {
        if (index >= 0)
            setTabIndex(index);
    } catch (...) {
        // The change handler's error must not unwind through Qt's event delivery.
        ReportCurrentException(this);
    }
    event->accept();
}

void TTabSet::mouseReleaseEvent(QMouseEvent* event)
{
    event->accept();
}

void TTabSet::wheelEvent(QWheelEvent* event)
{
    event->ignore();
}

// Checkerboard of button face and white behind the tabs.
void TTabSet::paintEvent(QPaintEvent* event)
{
    {
        QPainter painter(this);
        painter.fillRect(rect(), palette().color(QPalette::Button));
        painter.fillRect(rect(), QBrush(Qt::white, Qt::Dense4Pattern));
    }
    QTabBar::paintEvent(event);
}
