#pragma once

#include <QByteArray>
#include <QSettings>
#include <QString>
#include <QVariant>
#include <memory>
#include <optional>

// The per-user key-value store of preferences, over QSettings in INI form.
//
// Reads follow one set of conversion rules for every caller:
// - a key "has an object" when anything at all is stored under it;
// - numbers may come back from the file as text (INI keeps no types), so a text that parses
//   completely as a number counts as that number; NaN is no number, infinities are;
// - boolValue: absent is false; a number is true when non-zero; a text is true when, after
//   leading white space, an optional sign and leading zeros, it starts with y, Y, t, T or a
//   digit 1 to 9 (so "YES", "true", "1" and "-2" are true; "no", "0" and "0.5" are false);
//   anything else is false;
// - integerValue and doubleValue: absent or not a number reads 0; integers saturate;
// - stringValue: present only for text (and numbers, which INI stores as text);
// - dataValue: present only for byte arrays.
//
// Tests construct it over a temporary file; the application uses standard().
class UserDefaults
{
public:
    // A store backed by the INI file at `filePath` (created on first write).
    explicit UserDefaults(const QString& filePath);
    ~UserDefaults();

    UserDefaults(const UserDefaults&) = delete;
    UserDefaults& operator=(const UserDefaults&) = delete;

    // The user's store of the application, "com.dorn.vistrel" in the user's configuration
    // folder. Created on first use; lives until the process ends.
    static UserDefaults& standard();

    QString filePath() const;

    bool hasObject(const QString& key) const;
    QVariant object(const QString& key) const;

    bool boolValue(const QString& key) const;
    qint64 integerValue(const QString& key) const;
    double doubleValue(const QString& key) const;
    std::optional<double> numberValue(const QString& key) const;
    std::optional<QString> stringValue(const QString& key) const;
    std::optional<QByteArray> dataValue(const QString& key) const;

    void setBool(const QString& key, bool value);
    void setInteger(const QString& key, qint64 value);
    void setDouble(const QString& key, double value);
    void setString(const QString& key, const QString& value);
    void setData(const QString& key, const QByteArray& value);
    void setObject(const QString& key, const QVariant& value);
    void remove(const QString& key);

    // Writes pending changes to the file now (QSettings otherwise writes them lazily).
    void sync();

    // The conversion rules above, applied to a value already read.
    static bool toBool(const QVariant& value);
    static std::optional<double> toNumber(const QVariant& value);

private:
    std::unique_ptr<QSettings> m_settings;
};
