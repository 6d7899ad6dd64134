#pragma once

#include "AppVersionInfo.h"

#include <QString>
#include <QTimeZone>

// Formats the version line, e.g. "v1.4 (27) • build 2025-03-09 18:05:42". The date is shown in
// the given time zone with fixed digits and the Gregorian calendar whatever the user's locale;
// "unknown" when there is no build date.
namespace AppVersionDisplay {

QString label(const AppVersionInfo& info, const QTimeZone& timeZone);

// The label of the bundle's values in the current time zone.
QString current(const AppBundle& bundle);

} // namespace AppVersionDisplay
