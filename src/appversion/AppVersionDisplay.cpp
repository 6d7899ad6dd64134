#include "AppVersionDisplay.h"

#include <QLocale>

namespace {

QString formattedBuildDate(const std::optional<QDateTime>& date, const QTimeZone& timeZone)
{
    if (!date) {
        return QStringLiteral("unknown");
    }
    return QLocale::c().toString(date->toTimeZone(timeZone), QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

} // namespace

namespace AppVersionDisplay {

QString label(const AppVersionInfo& info, const QTimeZone& timeZone)
{
    return QStringLiteral("v") + info.shortVersion + QStringLiteral(" (") + info.buildVersion +
           QStringLiteral(") \u2022 build ") + formattedBuildDate(info.buildDate, timeZone);
}

QString current(const AppBundle& bundle)
{
    return label(AppVersionInfo::current(bundle), QTimeZone::systemTimeZone());
}

} // namespace AppVersionDisplay
