#pragma once
// Colours and fonts shared by both windows.

#include <QColor>
#include <QFont>

class QLineEdit;
class QString;
class QWidget;

namespace look {

inline const QColor Cream{255, 251, 240};
inline const QColor MedGray{160, 160, 164};
inline const QColor Green{0, 128, 0};

// "MS Sans Serif" where installed, else the nearest sans font, at a character height in pixels.
QFont SansFont(int pixelHeight);
// The windows' own font: 11 px.
QFont WindowFont();
// The value fields' font: 12 px.
QFont ValueFont();

// A widget drawn on a plain background of its own.
void FillBackground(QWidget* widget, const QColor& colour);

// Writes only a real change, so an idle value repaints nothing; a text wider than its
// field shows from its start, cut at the right edge.
void SetFieldText(QLineEdit* field, const QString& text);

// Makes a window visible, restored if minimised, and brings it to the front.
void ShowInFront(QWidget* window);

// A disabled container whose contents must still be drawn in their normal colours.
void KeepEnabledColours(QWidget* widget);

} // namespace look
