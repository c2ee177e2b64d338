// Preloaded (LD_PRELOAD) into the real, unchanged webmonitor by the end-to-end test and
// the footprint benchmark; driven by the environment:
//   WEBMONITOR_PROBE_OUT=<file>    rewritten every 150 ms with key=value lines of what the windows show
//   WEBMONITOR_PROBE_QUIT=<file>   the main window is closed once this file exists
//   WEBMONITOR_PROBE_SHOWN=<file>  CLOCK_REALTIME in ns when the main window is first exposed
// With only SHOWN set it does no periodic work, so a footprint measurement sees the program alone.

#include <QApplication>
#include <QEvent>
#include <QFile>
#include <QLineEdit>
#include <QSaveFile>
#include <QTextStream>
#include <QTimer>
#include <QWidget>
#include <QWindow>

#include <ctime>

namespace {

QWidget* TopLevel(const char* name)
{
    const auto windows = QApplication::topLevelWidgets();
    for (QWidget* window : windows)
        if (window->objectName() == QLatin1String(name))
            return window;
    return nullptr;
}

void Report(QTextStream& out, const char* form, std::initializer_list<const char*> fields)
{
    const QWidget* window = TopLevel(form);
    if (!window)
        return;
    out << form << ".visible=" << int(window->isVisible()) << '\n';
    for (const char* field : fields)
        if (const auto* edit = window->findChild<QLineEdit*>(QLatin1String(field)))
            out << form << '.' << field << '=' << edit->text() << '\n';
}

class Reporter : public QObject {
public:
    Reporter(QString out, QString quit) : QObject(qApp), out_(std::move(out)), quit_(std::move(quit))
    {
        auto* timer = new QTimer(this);
        timer->setInterval(150);
        connect(timer, &QTimer::timeout, this, [this] { Tick(); });
        timer->start();
    }

private:
    void Tick()
    {
        ++ticks_;
        if (!out_.isEmpty()) {
            // Written aside and renamed over: a reader never sees half a report.
            QSaveFile file(out_);
            if (file.open(QIODevice::WriteOnly | QIODevice::Text)) {
                QTextStream out(&file);
                out << "ticks=" << ticks_ << '\n';
                Report(out, "MainForm", {"ledAdapterDescription", "ledTotalIN", "ledTotalOUT"});
                Report(out, "form_monitoring", {"ledTotalIN", "ledTotalOUT"});
                out.flush();
                file.commit();
            }
        }
        if (!quit_.isEmpty() && !closed_ && QFile::exists(quit_))
            if (QWidget* main = TopLevel("MainForm")) {
                closed_ = true;
                main->close();
            }
    }

    QString out_, quit_;
    long long ticks_ = 0;
    bool closed_ = false;
};

// Watches every event only until the main window is first exposed, then leaves.
class ShownStamp : public QObject {
public:
    explicit ShownStamp(QString path) : QObject(qApp), path_(std::move(path)) { qApp->installEventFilter(this); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() != QEvent::Expose || !watched->isWindowType())
            return false;
        const QWidget* main = TopLevel("MainForm");
        auto* window = static_cast<QWindow*>(watched);
        if (!main || main->windowHandle() != window || !window->isExposed())
            return false;
        timespec now{};
        clock_gettime(CLOCK_REALTIME, &now);
        QFile file(path_);
        if (file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text))
            file.write(QByteArray::number(qint64(now.tv_sec) * 1'000'000'000 + now.tv_nsec) + '\n');
        qApp->removeEventFilter(this);
        deleteLater();
        return false;
    }

private:
    QString path_;
};

void Start()
{
    const QString out = qEnvironmentVariable("WEBMONITOR_PROBE_OUT");
    const QString quit = qEnvironmentVariable("WEBMONITOR_PROBE_QUIT");
    const QString shown = qEnvironmentVariable("WEBMONITOR_PROBE_SHOWN");
    if (!out.isEmpty() || !quit.isEmpty())
        new Reporter(out, quit);
    if (!shown.isEmpty())
        new ShownStamp(shown);
}

} // namespace

Q_COREAPP_STARTUP_FUNCTION(Start)
