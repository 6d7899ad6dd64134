#pragma once

#include <QString>
#include <QVariantMap>

// What the running program knows about itself: its information dictionary (the version keys
// "CFBundleShortVersionString" and "CFBundleVersion", compiled in from the build) and the path
// of its executable file.
struct AppBundle
{
    QVariantMap infoDictionary;
    QString executablePath;

    // This program: the version and build number of this build, and the running executable.
    static AppBundle main();
};
