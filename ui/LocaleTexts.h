#pragma once
// Texts that follow the user's regional settings.

#include "traffic/TrafficUnit.h"

#include <QLocale>
#include <QString>

#include <chrono>

// The thousands and decimal separators of a locale, for the quantity texts.
TFormatSettings FormatSettingsFrom(const QLocale& locale);

// Local date in the short date format, then a blank and the time in the long time
// format, unless the time of day is 00:00:00 to the second.
QString DateTimeText(std::chrono::system_clock::time_point when, const QLocale& locale);
