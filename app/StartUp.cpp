#include "app/StartUp.h"

#include "app/Application.h"
#include "ui/ErrorReport.h"
#include "ui/MainFormUnit.h"
#include "ui/unit_screen.h"

void StartUp(TApplication& application)
{
    application.SetTitle(QString::fromUtf8(ApplicationTitle));
    application.CreateForm(MainForm);
    application.CreateForm(form_monitoring);
}
