#include "ui/LocaleTexts.h"

#include <QDateTime>
#include <QRegularExpression>

TFormatSettings FormatSettingsFrom(const QLocale& locale)
{
    TFormatSettings settings;
    settings.ThousandSeparator = locale.groupSeparator().toStdString();
    settings.DecimalSeparator = locale.decimalPoint().toStdString();
    return settings;
}

namespace {

// Qt's long time format carries the time zone ("t"), which a clock reading does not.
QString LongTimeFormat(const QLocale& locale)
{
    QString format = locale.timeFormat(QLocale::LongFormat);
    static const QRegularExpression zone(QStringLiteral("\\s*\\(?t+\\)?\\s*"));
    format.replace(zone, QStringLiteral(" "));
    return format.trimmed();
}

} // namespace

QString DateTimeText(std::chrono::system_clock::time_point when, const QLocale& locale)
{
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(when.time_since_epoch()).count();
    const QDateTime local = QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(ms), Qt::LocalTime);
    QString text = locale.toString(local.date(), QLocale::ShortFormat);
    const QTime time = local.time();
    if (time.hour() != 0 || time.minute() != 0 || time.second() != 0)
        text += QLatin1Char(' ') + locale.toString(time, LongTimeFormat(locale));
    return text;
}
