// Starts the monitor and runs until its main window is closed.

#include "app/Application.h"
#include "app/StartUp.h"
#include "traffic/TrafficUnit.h"
#include "ui/LocaleTexts.h"

int main(int argc, char* argv[])
{
    TApplication Application(argc, argv);
    FormatSettings = FormatSettingsFrom(QLocale::system());
    StartUp(Application);
    return Application.Run();
}
