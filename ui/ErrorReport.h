#pragma once
// The application's report of an error that escaped an event handler: a box, after
// which the program goes on.

#include <QString>

class QWidget;

inline constexpr char ApplicationTitle[] = "VELKOR | Web Monitor";

// The caption of every error box; the application shell sets it at start-up.
QString ApplicationTitleText();
void SetApplicationTitle(const QString& title);

// A modal box with the error's text, an error icon and OK, captioned with the application
// title; returns once the user has confirmed it.
void ShowApplicationError(QWidget* parent, const QString& message);

// Inside a catch block: reports the exception being handled.
void ReportCurrentException(QWidget* parent);

// A handler for a connection that reports any error escaping it: an exception must not
// unwind through Qt's own frames, which are not built to pass one on.
template <class Object, class... Args>
auto Guarded(Object* object, void (Object::*handler)(Args...))
{
    return [object, handler](Args... args) {
        try {
            (object->*handler)(args...);
        } catch (...) {
            ReportCurrentException(nullptr);
        }
    };
}
