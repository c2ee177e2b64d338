#include "ui/Look.h"

#include <QLineEdit>
#include <QPalette>
#include <QStringList>
#include <QWidget>

namespace look {

QFont SansFont(int pixelHeight)
{
    QFont font;
    // Metric-compatible stand-ins first, so texts fit fields sized for the original font.
    font.setFamilies({QStringLiteral("MS Sans Serif"), QStringLiteral("Microsoft Sans Serif"),
                      QStringLiteral("Liberation Sans"), QStringLiteral("Arial"), QStringLiteral("Nimbus Sans"),
                      QStringLiteral("DejaVu Sans")});
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(pixelHeight);
    font.setWeight(QFont::Normal);
    return font;
}

QFont WindowFont()
{
    return SansFont(11);
}

QFont ValueFont()
{
    return SansFont(12);
}

void FillBackground(QWidget* widget, const QColor& colour)
{
    QPalette colours = widget->palette();
    colours.setColor(QPalette::Window, colour);
    widget->setPalette(colours);
    widget->setAutoFillBackground(true);
}

void SetFieldText(QLineEdit* field, const QString& text)
{
    if (field->text() == text)
        return;
    field->setText(text);
    field->setCursorPosition(0);
}

void ShowInFront(QWidget* window)
{
    if (window->isMinimized())
        window->showNormal();
    else
        window->show();
    window->raise();
    window->activateWindow();
}

void KeepEnabledColours(QWidget* widget)
{
    QPalette colours = widget->palette();
    for (int role = 0; role < QPalette::NColorRoles; ++role) {
        const auto r = static_cast<QPalette::ColorRole>(role);
        colours.setColor(QPalette::Disabled, r, colours.color(QPalette::Active, r));
    }
    widget->setPalette(colours);
}

} // namespace look
