#include "ui/ErrorReport.h"

#include <QCoreApplication>
#include <QMessageBox>

#include <exception>

namespace {

QString& Title()
{
    static QString title = QString::fromUtf8(ApplicationTitle);
    return title;
}

} // namespace

QString ApplicationTitleText()
{
    return Title();
}

void SetApplicationTitle(const QString& title)
{
    Title() = title;
}

void ShowApplicationError(QWidget* parent, const QString& message)
{
    QMessageBox box(QMessageBox::Critical, Title(), message, QMessageBox::Ok, parent);
    box.setObjectName(QStringLiteral("ApplicationError"));
    box.exec();
}

void ReportCurrentException(QWidget* parent)
{
    try {
        throw;
    } catch (const std::exception& error) {
        ShowApplicationError(parent, QString::fromLocal8Bit(error.what()));
    } catch (...) {
        ShowApplicationError(parent, QCoreApplication::translate("ErrorReport", "Unknown error"));
    }
}
