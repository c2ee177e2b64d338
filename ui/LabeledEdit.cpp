#include "ui/LabeledEdit.h"

#include "ui/Look.h"

#include <QEvent>
#include <QLabel>
#include <QPaintEvent>
#include <QPainter>

namespace {
constexpr int LabelHeight = 13;
constexpr int LabelGap = 3;
} // namespace

TLabeledEdit::TLabeledEdit(QWidget* parent)
    : QLineEdit(parent), m_label(new QLabel(parent)), m_textColor(palette().color(QPalette::Active, QPalette::Text))
{
    setReadOnly(true);
    setFrame(false);
    setTextMargins(2, 0, 1, 0);
    // Painted edge to edge, so a changed value repaints the field alone, not the containers
    // beneath it: most of the cost of an idle second.
    setAttribute(Qt::WA_OpaquePaintEvent);
    m_label->setObjectName(QStringLiteral("label"));
    // A field destroyed on its own takes its label along; with the container both go anyway.
    connect(this, &QObject::destroyed, m_label.data(), &QObject::deleteLater);
    m_label->installEventFilter(this);
    ApplyColours();
    PlaceLabel();
}

TLabeledEdit::~TLabeledEdit() = default;

QString TLabeledEdit::labelText() const
{
    return m_label ? m_label->text() : QString();
}

void TLabeledEdit::setLabelText(const QString& text)
{
    if (!m_label)
        return;
    m_label->setText(text);
    PlaceLabel();
}

void TLabeledEdit::setTextColor(const QColor& color)
{
    m_textColor = color;
    ApplyColours();
}

void TLabeledEdit::setHint(const QString& hint)
{
    m_hint = hint;
    ApplyHint();
}

void TLabeledEdit::setShowHint(bool show)
{
    m_showHint = show;
    ApplyHint();
}

void TLabeledEdit::ApplyHint()
{
    setToolTip(m_showHint ? m_hint : QString());
}

void TLabeledEdit::setVisible(bool visible)
{
    QLineEdit::setVisible(visible);
    if (m_label)
        m_label->setVisible(visible);
}

// The label takes its container's font, which may change after the caption is set.
bool TLabeledEdit::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_label && event->type() == QEvent::FontChange)
        PlaceLabel();
    return QLineEdit::eventFilter(watched, event);
}

void TLabeledEdit::moveEvent(QMoveEvent* event)
{
    QLineEdit::moveEvent(event);
    PlaceLabel();
}

void TLabeledEdit::changeEvent(QEvent* event)
{
    QLineEdit::changeEvent(event);
    if (event->type() == QEvent::ParentChange && m_label && m_label->parentWidget() != parentWidget()) {
        m_label->setParent(parentWidget());
        PlaceLabel();
        m_label->setVisible(!isHidden());
    }
}

// Label's bottom 3 px above the field's top; width follows the text.
void TLabeledEdit::PlaceLabel()
{
    if (!m_label)
        return;
    m_label->setGeometry(x(), y() - LabelGap - LabelHeight, m_label->sizeHint().width(), LabelHeight);
}

void TLabeledEdit::ApplyColours()
{
    QPalette colours = palette();
    for (const auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        colours.setColor(group, QPalette::Base, look::Cream);
        colours.setColor(group, QPalette::Window, look::Cream);
        colours.setColor(group, QPalette::Text, m_textColor);
    }
    setPalette(colours);
}

// Flat: a single-line border instead of the style's sunken frame.
void TLabeledEdit::paintEvent(QPaintEvent* event)
{
    {
        QPainter painter(this);
        painter.fillRect(event->rect(), palette().color(QPalette::Active, QPalette::Base));
    }
    QLineEdit::paintEvent(event);
    QPainter painter(this);
    painter.setPen(palette().color(QPalette::Active, QPalette::Dark));
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
}
