#pragma once

#include "SingleInstanceConfiguration.h"

#include <QList>
#include <QStringList>
#include <QUrl>

// What the process start needs before any window exists: the single-instance configuration of
// the application and the image files named on the command line.
namespace ImageViewerRuntime {

// Built once, on first use: identifier "com.dorn.vistrel", several instances only when the
// standard user defaults hold true under "allowMultipleInstances", the lock in the
// application-support folder.
const SingleInstanceConfiguration& singleInstanceConfiguration();

// The image files of `arguments` (element 0 is the program) in order, duplicates kept:
// arguments starting with "-" are options; the others are paths (relative to the current
// folder), standardized, kept when they name an image.
QList<QUrl> launchImageURLs(const QStringList& arguments);

// The program's arguments as given, before the application object exists: each is decoded
// from the local 8-bit encoding, as QCoreApplication::arguments() does.
QStringList arguments(int argc, const char* const* argv);

} // namespace ImageViewerRuntime
