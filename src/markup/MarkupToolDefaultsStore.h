#pragma once

#include "MarkupToolDefaults.h"

#include <QString>
#include <optional>

class UserDefaults;

// Persists MarkupToolDefaults in the user defaults under "<keyPrefix>.<name>", one key per
// field. Numbers are clamped to fixed ranges both when written and when read; missing or
// malformed values read as the initial tool settings, so load() never fails.
//
// Colours are stored as "r,g,b,a" with six decimals and a point as decimal separator whatever
// the locale, for example "1.000000,0.000000,0.000000,1.000000" for opaque red.
class MarkupToolDefaultsStore
{
public:
    MarkupToolDefaultsStore(UserDefaults& defaults, const QString& keyPrefix);

    MarkupToolDefaultsStore(const MarkupToolDefaultsStore&) = delete;
    MarkupToolDefaultsStore& operator=(const MarkupToolDefaultsStore&) = delete;

    // The application's store: the standard user defaults, prefix "markup.defaults". Created on
    // first use; lives until the process ends.
    static MarkupToolDefaultsStore& standard();

    UserDefaults& defaults() const { return *m_defaults; }
    QString keyPrefix() const { return m_keyPrefix; }

    MarkupToolDefaults load() const;
    // Writes every key. An invalid colour is written as the initial colour of its field.
    void save(const MarkupToolDefaults& toolDefaults);
    // Removes every key, so that load() yields the initial tool settings.
    void reset();

private:
    QString key(const char* name) const;
    std::optional<QColor> color(const QString& key) const;
    double number(const QString& key, double lo, double hi, double absentValue) const;

    UserDefaults* m_defaults;
    QString m_keyPrefix;
};
