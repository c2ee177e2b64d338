#include "ui/ErrorReport.h"

#include <QMessageBox>

void ShowErrorBox(QWidget* parent, const QString& caption, const QString& message)
{
    QMessageBox box(QMessageBox::Critical, caption, message, QMessageBox::Ok, parent);
    box.setObjectName(QStringLiteral("ApplicationError"));
    box.exec();
}

void ShowApplicationError(QWidget* parent, const QString& message)
{
    ShowErrorBox(parent, QString::fromUtf8(ApplicationTitle), message);
}
