#pragma once
// A tab bar whose selection changes only through one event that fires before the index
// moves and may veto it. QTabBar selects a first tab by itself and reports changes after
// the fact; this class keeps its own index and hides both.

#include <QStringList>
#include <QTabBar>

#include <memory>
#include <vector>

// The object attached to a tab. The tab list holds it; Clear and DeleteTab hand it back
// instead of releasing it.
class TTabObject {
public:
    virtual ~TTabObject() = default;
};

// Attaches a T. It may hold the object before owning it: an object whose constructor
// announces itself is attached from inside that constructor and adopted once it returns.
template <class T>
class TTabOwned final : public TTabObject {
public:
    explicit TTabOwned(std::unique_ptr<T> object) : m_object(object.get()), m_owner(std::move(object)) {}
    explicit TTabOwned(T* notYetOwned) : m_object(notYetOwned) {}

    T* get() const { return m_object; }
    void Adopt(std::unique_ptr<T> object)
    {
        if (object.get() == m_object)
            m_owner = std::move(object);
    }

private:
    T* m_object;
    std::unique_ptr<T> m_owner;
};

class TTabSet : public QTabBar {
    Q_OBJECT
    Q_PROPERTY(QStringList tabs READ tabs WRITE setTabs)
    Q_PROPERTY(int tabIndex READ TabIndex WRITE setTabIndex)

public:
    explicit TTabSet(QWidget* parent = nullptr);
    ~TTabSet() override;

    // The selected tab, or -1 for none.
    int TabIndex() const { return m_tabIndex; }
    // No-op for the selected index; otherwise Change decides. Outside -1..count-1 throws.
    void setTabIndex(int index);
    // Back by one, from the first to the last; nothing with fewer than two tabs.
    void SelectPrevious();

    // Appends; the selection and its index stay as they are, no Change.
    void AddObject(const QString& text, std::unique_ptr<TTabObject> object);
    template <class T>
    T* Object(int index) const
    {
        if (index < 0 || index >= static_cast<int>(m_objects.size()))
            return nullptr;
        auto* holder = dynamic_cast<TTabOwned<T>*>(m_objects[static_cast<std::size_t>(index)].get());
        return holder ? holder->get() : nullptr;
    }

    // The index stays while below the new count, else becomes count - 1; no Change.
    [[nodiscard]] std::unique_ptr<TTabObject> DeleteTab(int index);
    // Index -1, no Change; the objects come back in tab order.
    [[nodiscard]] std::vector<std::unique_ptr<TTabObject>> Clear();

    // A tab's text is measured once; changing it goes through here so it is measured again.
    void setTabText(int index, const QString& text);

    // Texts only, without objects (placeholders of a form).
    QStringList tabs() const;
    void setTabs(const QStringList& texts);

Q_SIGNALS:
    // TabIndex() still holds the old index while this runs.
    void Change(int NewTab, bool& AllowChange);

protected:
    void initStyleOption(QStyleOptionTab* option, int tabIndex) const override;
    QSize tabSizeHint(int index) const override;
    void changeEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void ShowSelection();

    int m_tabIndex = -1;
    std::vector<std::unique_ptr<TTabObject>> m_objects;
    // QTabBar measures every tab each time one is added; a thousand interfaces would cost
    // half a million measurements in one poll. In step with the tabs; invalid = unmeasured.
    mutable std::vector<QSize> m_sizeHints;
};
