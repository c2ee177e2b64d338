#pragma once
// A read-only, flat, single-line field with a caption label standing 3 px above it.
// The label is a sibling in the field's container, so it takes the container's font,
// and it moves, shows and hides with the field.

#include <QColor>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>

class TLabeledEdit : public QLineEdit {
    Q_OBJECT
    Q_PROPERTY(QString labelText READ labelText WRITE setLabelText)
    Q_PROPERTY(QColor textColor READ textColor WRITE setTextColor)

public:
    explicit TLabeledEdit(QWidget* parent = nullptr);
    ~TLabeledEdit() override;

    QLabel* EditLabel() const { return m_label; }
    QString labelText() const;
    void setLabelText(const QString& text);
    QColor textColor() const { return m_textColor; }
    void setTextColor(const QColor& color);

    // The hint is kept apart from whether it shows, as the window decides both.
    QString Hint() const { return m_hint; }
    void setHint(const QString& hint);
    bool ShowHint() const { return m_showHint; }
    void setShowHint(bool show);

    void setVisible(bool visible) override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void changeEvent(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void PlaceLabel();
    void ApplyColours();
    void ApplyHint();

    QPointer<QLabel> m_label;
    QColor m_textColor;
    QString m_hint;
    bool m_showHint = false;
};
