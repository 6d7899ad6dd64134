#include "ImageViewerRuntime.h"

#include "ImageSequence.h"
#include "UserDefaults.h"

#include <QDir>

namespace ImageViewerRuntime {

const SingleInstanceConfiguration& singleInstanceConfiguration()
{
    static const SingleInstanceConfiguration configuration(
        QStringLiteral("com.dorn.vistrel"),
        SingleInstancePolicy::userDefaults(UserDefaults::standard(),
                                           QStringLiteral("allowMultipleInstances")),
        SingleInstanceLockLocation::applicationSupport());
    return configuration;
}

QList<QUrl> launchImageURLs(const QStringList& arguments)
{
    QList<QUrl> urls;
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString& argument = arguments.at(i);
        if (argument.isEmpty() || argument.startsWith(u'-')) {
            continue;
        }
        const QUrl url = ImageSequence::standardized(
            QUrl::fromLocalFile(QDir::current().absoluteFilePath(argument)));
        if (ImageSequence::isImageFile(url)) {
            urls.append(url);
        }
    }
    return urls;
}

QStringList arguments(int argc, const char* const* argv)
{
    QStringList list;
    list.reserve(argc);
    for (int i = 0; i < argc; ++i) {
        list.append(QString::fromLocal8Bit(argv[i]));
    }
    return list;
}

} // namespace ImageViewerRuntime
