#include "UserDefaults.h"

#include <QStandardPaths>
#include <algorithm>
#include <cmath>

namespace {

bool isNumericType(const QVariant& value)
{
    switch (value.typeId()) {
    case QMetaType::Bool:
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Double:
    case QMetaType::Float:
        return true;
    default:
        return false;
    }
}

std::optional<double> parseNumber(const QString& text)
{
    bool ok = false;
    const double number = text.trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(number)) {
        return std::nullopt;
    }
    return number;
}

} // namespace

UserDefaults::UserDefaults(const QString& filePath)
    : m_settings(std::make_unique<QSettings>(filePath, QSettings::IniFormat))
{}

UserDefaults::~UserDefaults() = default;

UserDefaults& UserDefaults::standard()
{
    static UserDefaults defaults(
        QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
        QStringLiteral("/com.dorn.vistrel.conf"));
    return defaults;
}

QString UserDefaults::filePath() const
{
    return m_settings->fileName();
}

bool UserDefaults::hasObject(const QString& key) const
{
    return m_settings->contains(key);
}

QVariant UserDefaults::object(const QString& key) const
{
    return m_settings->value(key);
}

bool UserDefaults::toBool(const QVariant& value)
{
    if (!value.isValid()) {
        return false;
    }
    if (value.typeId() == QMetaType::Bool) {
        return value.toBool();
    }
    if (isNumericType(value)) {
        return value.toDouble() != 0;
    }
    if (value.typeId() == QMetaType::QString) {
        const QString text = value.toString().trimmed();
        if (text.isEmpty()) {
            return false;
        }
        const QChar first = text.front().toLower();
        if (first == u'y' || first == u't') {
            return true;
        }
        const auto number = parseNumber(text);
        return number && *number != 0;
    }
    return false;
}

std::optional<double> UserDefaults::toNumber(const QVariant& value)
{
    if (isNumericType(value)) {
        const double number = value.toDouble();
        if (std::isfinite(number)) {
            return number;
        }
        return std::nullopt;
    }
    if (value.typeId() == QMetaType::QString) {
        return parseNumber(value.toString());
    }
    return std::nullopt;
}

bool UserDefaults::boolValue(const QString& key) const
{
    return toBool(object(key));
}

qint64 UserDefaults::integerValue(const QString& key) const
{
    const auto number = toNumber(object(key));
    if (!number) {
        return 0;
    }
    // Out-of-range values saturate instead of overflowing the conversion.
    constexpr double limit = 9.2e18;
    return static_cast<qint64>(std::clamp(*number, -limit, limit));
}

double UserDefaults::doubleValue(const QString& key) const
{
    return toNumber(object(key)).value_or(0.0);
}

std::optional<double> UserDefaults::numberValue(const QString& key) const
{
    return toNumber(object(key));
}

std::optional<QString> UserDefaults::stringValue(const QString& key) const
{
    const QVariant value = object(key);
    if (value.typeId() == QMetaType::QString || isNumericType(value)) {
        return value.toString();
    }
    return std::nullopt;
}

std::optional<QByteArray> UserDefaults::dataValue(const QString& key) const
{
    const QVariant value = object(key);
    if (value.typeId() == QMetaType::QByteArray) {
        return value.toByteArray();
    }
    return std::nullopt;
}

void UserDefaults::setBool(const QString& key, bool value)
{
    m_settings->setValue(key, value);
}

void UserDefaults::setInteger(const QString& key, qint64 value)
{
    m_settings->setValue(key, value);
}

void UserDefaults::setDouble(const QString& key, double value)
{
    m_settings->setValue(key, value);
}

void UserDefaults::setString(const QString& key, const QString& value)
{
    m_settings->setValue(key, value);
}

void UserDefaults::setData(const QString& key, const QByteArray& value)
{
    m_settings->setValue(key, value);
}

void UserDefaults::setObject(const QString& key, const QVariant& value)
{
    m_settings->setValue(key, value);
}

void UserDefaults::remove(const QString& key)
{
    m_settings->remove(key);
}

void UserDefaults::sync()
{
    m_settings->sync();
}
