#include "AppBundle.h"

#include <QCoreApplication>
#include <QFileInfo>

AppBundle AppBundle::main()
{
    AppBundle bundle;
    bundle.infoDictionary.insert(QStringLiteral("CFBundleShortVersionString"),
                                 QStringLiteral(VISTREL_VERSION));
    bundle.infoDictionary.insert(QStringLiteral("CFBundleVersion"),
                                 QStringLiteral(VISTREL_BUILD_NUMBER));
    // applicationFilePath() needs the application object; without one, ask the kernel.
    bundle.executablePath = QCoreApplication::instance()
                                ? QCoreApplication::applicationFilePath()
                                : QFileInfo(QStringLiteral("/proc/self/exe")).symLinkTarget();
    return bundle;
}
