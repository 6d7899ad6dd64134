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

// NaN is not a number a setting can hold; infinities are, and clamp to a range's end.
std::optional<double> parseNumber(const QString& text)
{
    bool ok = false;
    const double number = text.trimmed().toDouble(&ok);
    if (!ok || std::isnan(number)) {
        return std::nullopt;
    }
    return number;
}

// The desktop's reading of a text as a Boolean: after leading white space, an optional sign
// and leading zeros, the text is true when it starts with y, Y, t, T or a digit 1 to 9.
bool textIsTrue(const QString& text)
{
    qsizetype i = 0;
    while (i < text.size() && text.at(i).isSpace()) {
        ++i;
    }
    if (i < text.size() && (text.at(i) == u'+' || text.at(i) == u'-')) {
        ++i;
    }
    while (i < text.size() && text.at(i) == u'0') {
        ++i;
    }
    if (i == text.size()) {
        return false;
    }
    const QChar first = text.at(i);
    return first == u'y' || first == u'Y' || first == u't' || first == u'T' ||
           (first >= u'1' && first <= u'9');
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
        return textIsTrue(value.toString());
    }
    return false;
}

std::optional<double> UserDefaults::toNumber(const QVariant& value)
{
    if (isNumericType(value)) {
        const double number = value.toDouble();
        if (std::isnan(number)) {
            return std::nullopt;
        }
        return number;
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
