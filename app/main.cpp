// Opens the monitor window and runs until it is closed.

#include "traffic/TrafficUnit.h"
#include "ui/LocaleTexts.h"
#include "ui/MainFormUnit.h"

#include <QApplication>
#include <QIcon>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/app/webmonitor.png")));
    FormatSettings = FormatSettingsFrom(QLocale::system());

    TMainForm MainForm;
    MainForm.show();
    return QApplication::exec();
}
