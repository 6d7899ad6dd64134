#pragma once

#include "AppBundle.h"

#include <QDateTime>
#include <QString>
#include <optional>

// The values of the version line: marketing version, build number and the build date, which is
// the modification time of the executable file (not compiled in).
struct AppVersionInfo
{
    QString shortVersion;
    QString buildVersion;
    std::optional<QDateTime> buildDate;

    bool operator==(const AppVersionInfo&) const = default;

    // The bundle's values; "0" for a version key that is missing or not text, no date when the
    // executable's modification time cannot be read.
    static AppVersionInfo current(const AppBundle& bundle);

    // The version line in the current time zone.
    QString displayLabel() const;
};
