#include "ui/ErrorReport.h"

#include <QMessageBox>

void ShowApplicationError(QWidget* parent, const QString& message)
{
    QMessageBox box(QMessageBox::Critical, QString::fromUtf8(ApplicationTitle), message, QMessageBox::Ok, parent);
    box.setObjectName(QStringLiteral("ApplicationError"));
    box.exec();
}
