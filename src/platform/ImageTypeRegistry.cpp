#include "ImageTypeRegistry.h"

#include <QHash>
#include <QList>
#include <QMimeDatabase>
#include <QMimeType>
#include <algorithm>

namespace {

bool isImageType(const QMimeType& type)
{
    const auto isImageName = [](const QString& name) {
        return name.startsWith(QLatin1String("image/"));
    };
    if (!type.isValid() || type.isDefault()) {
        return false;
    }
    if (isImageName(type.name())) {
        return true;
    }
    const QStringList ancestors = type.allAncestors();
    return std::any_of(ancestors.cbegin(), ancestors.cend(), isImageName);
}

bool lookUp(const QString& lowerCaseExtension)
{
    // Asking about a made-up name that has nothing but the extension keeps the answer a
    // function of the extension alone (a glob such as "*.tar.gz" cannot match).
    static const QString stem = QStringLiteral("name.");
    const QMimeType type =
        QMimeDatabase().mimeTypeForFile(stem + lowerCaseExtension, QMimeDatabase::MatchExtension);
    return isImageType(type);
}

} // namespace

namespace ImageTypeRegistry {

QStringView extension(QStringView fileName)
{
    const qsizetype dot = fileName.lastIndexOf(u'.');
    if (dot <= 0) {
        return {};
    }
    return fileName.sliced(dot + 1);
}

bool isImageExtension(QStringView extension)
{
    if (extension.isEmpty()) {
        return false;
    }
    // One cache per thread: lookups need no lock, and a folder has few distinct extensions.
    thread_local QHash<QString, bool> cache;
    const QString key = extension.toString().toLower();
    const auto found = cache.constFind(key);
    if (found != cache.cend()) {
        return *found;
    }
    const bool isImage = lookUp(key);
    cache.insert(key, isImage);
    return isImage;
}

bool isImageFileName(QStringView fileName)
{
    return isImageExtension(extension(fileName));
}

QStringList imageNamePatterns()
{
    QStringList patterns;
    const QList<QMimeType> types = QMimeDatabase().allMimeTypes();
    for (const QMimeType& type : types) {
        if (!isImageType(type)) {
            continue;
        }
        for (const QString& suffix : type.suffixes()) {
            // Only what isImageFileName() agrees with: a suffix of two parts ("eps.bz2") or one
            // the registry maps to another, non-image type would offer files the viewer refuses.
            const QString pattern = QStringLiteral("*.") + suffix;
            if (!suffix.isEmpty() && !suffix.contains(u'.') && isImageExtension(suffix) &&
                !patterns.contains(pattern)) {
                patterns.append(pattern);
            }
        }
    }
    std::sort(patterns.begin(), patterns.end());
    return patterns;
}

} // namespace ImageTypeRegistry
