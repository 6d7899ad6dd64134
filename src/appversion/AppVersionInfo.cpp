#include "AppVersionInfo.h"

#include "AppVersionDisplay.h"

#include <QFileInfo>
#include <QTimeZone>

namespace {

QString textValue(const QVariantMap& dictionary, const QString& key)
{
    const QVariant value = dictionary.value(key);
    return value.typeId() == QMetaType::QString ? value.toString() : QStringLiteral("0");
}

std::optional<QDateTime> executableBuildDate(const AppBundle& bundle)
{
    if (bundle.executablePath.isEmpty()) {
        return std::nullopt;
    }
    const QFileInfo executable(bundle.executablePath);
    if (!executable.exists()) {
        return std::nullopt;
    }
    const QDateTime modified = executable.lastModified();
    if (!modified.isValid()) {
        return std::nullopt;
    }
    return modified;
}

} // namespace

AppVersionInfo AppVersionInfo::current(const AppBundle& bundle)
{
    return {textValue(bundle.infoDictionary, QStringLiteral("CFBundleShortVersionString")),
            textValue(bundle.infoDictionary, QStringLiteral("CFBundleVersion")),
            executableBuildDate(bundle)};
}

QString AppVersionInfo::displayLabel() const
{
    return AppVersionDisplay::label(*this, QTimeZone::systemTimeZone());
}
