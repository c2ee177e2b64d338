// The yardstick of bench/footprint.sh: a bare Qt window of the monitor's size that
// rewrites 20 fields once a second and does nothing else. Named MainForm so the
// preloaded probe stamps its first showing as it does the monitor's.

#include <QApplication>
#include <QGridLayout>
#include <QLineEdit>
#include <QTimer>
#include <QWidget>

#include <vector>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QWidget window;
    window.setObjectName(QStringLiteral("MainForm"));
    window.setFixedSize(491, 381);
    auto* grid = new QGridLayout(&window);
    std::vector<QLineEdit*> fields;
    for (int i = 0; i < 20; ++i) {
        auto* field = new QLineEdit(&window);
        field->setReadOnly(true);
        grid->addWidget(field, i / 2, i % 2);
        fields.push_back(field);
    }

    qulonglong tick = 0;
    QTimer timer;
    timer.setTimerType(Qt::PreciseTimer);
    QObject::connect(&timer, &QTimer::timeout, &window, [&] {
        ++tick;
        // Every field changes every second, so each one really repaints.
        for (std::size_t i = 0; i < fields.size(); ++i) {
            const QString hundredths = QStringLiteral("%1").arg(tick % 100, 2, 10, QLatin1Char('0'));
            fields[i]->setText(QStringLiteral("%1.%2 KB").arg(tick * (i + 1)).arg(hundredths));
        }
    });
    timer.start(1000);

    window.show();
    return QApplication::exec();
}
