#pragma once
// The application's report of an error that escaped an event handler.

#include <QString>

class QWidget;

inline constexpr char ApplicationTitle[] = "VELKOR | Web Monitor";

// A modal box with the error's text, an error icon and OK; returns once the user has
// confirmed it.
void ShowErrorBox(QWidget* parent, const QString& caption, const QString& message);

// The error box captioned with the application title.
void ShowApplicationError(QWidget* parent, const QString& message);
