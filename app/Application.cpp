#include "app/Application.h"

#include "app/Version.h"
#include "ui/ErrorReport.h"

#include <QIcon>

TApplication::TApplication(int& argc, char** argv) : QApplication(argc, argv)
{
    setApplicationName(QString::fromUtf8(ProductName));
    setApplicationVersion(QString::fromUtf8(ProductVersion));
    setDesktopFileName(QStringLiteral("webmonitor"));
    setWindowIcon(QIcon(QStringLiteral(":/app/webmonitor.png")));
    // Only the main window's closing ends the program; a hidden main window with the
    // compact window closed is no reason to quit, nor is the compact window left open.
    setQuitOnLastWindowClosed(false);
}

TApplication::~TApplication()
{
    DestroyForms();
}

QString TApplication::Title() const
{
    return ApplicationTitleText();
}

void TApplication::SetTitle(const QString& title)
{
    SetApplicationTitle(title);
}

int TApplication::Run()
{
    if (m_mainForm)
        m_mainForm->show();
    return exec();
}

void TApplication::DestroyForms()
{
    while (!m_forms.empty()) {
        OwnedForm last = std::move(m_forms.back());
        m_forms.pop_back();
        if (last.form.get() == m_mainForm)
            m_mainForm = nullptr;
        last.forget();
        last.form.reset();
    }
}

// The last resort for an error no handler of ours caught: Qt's frames between it and here
// may not clean up after it, so our own connections catch theirs (Guarded).
bool TApplication::notify(QObject* receiver, QEvent* event)
{
    try {
        const bool handled = QApplication::notify(receiver, event);
        if (event->type() == QEvent::Close && receiver == m_mainForm && event->isAccepted())
            quit();
        return handled;
    } catch (...) {
        ReportCurrentException(nullptr);
    }
    return false;
}
