#include "PrivateFolder.h"

#include <QDir>
#include <QFile>
#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr mode_t ownerOnly = S_IRWXU;

} // namespace

namespace PrivateFolder {

std::optional<FileSystemError> create(const QString& path, Link link)
{
    const QString folder = QDir::cleanPath(path);
    if (!QDir::isAbsolutePath(folder)) {
        return FileSystemError{path, QStringLiteral("Not an absolute path")};
    }

    // Walk down from the root and make each missing component.
    qsizetype next = 1;
    while (next <= folder.size()) {
        qsizetype end = folder.indexOf(QLatin1Char('/'), next);
        if (end < 0) {
            end = folder.size();
        }
        const QByteArray prefix = QFile::encodeName(folder.left(end));
        if (::mkdir(prefix.constData(), ownerOnly) != 0 && errno != EEXIST) {
            return FileSystemError::fromErrno(QFile::decodeName(prefix), errno);
        }
        next = end + 1;
    }

    const QByteArray encoded = QFile::encodeName(folder);
    struct stat info = {};
    if (::lstat(encoded.constData(), &info) != 0) {
        return FileSystemError::fromErrno(folder, errno);
    }
    if (S_ISLNK(info.st_mode) && link == Link::followed &&
        ::stat(encoded.constData(), &info) != 0) {
        return FileSystemError::fromErrno(folder, errno);
    }
    if (S_ISLNK(info.st_mode)) {
        return FileSystemError{folder, QStringLiteral("Is a symbolic link, not a folder")};
    }
    if (!S_ISDIR(info.st_mode)) {
        return FileSystemError::fromErrno(folder, ENOTDIR);
    }
    if (info.st_uid == ::geteuid() && (info.st_mode & (S_IRWXG | S_IRWXO)) != 0) {
        // Narrowing is best effort: the folder stays usable either way.
        ::chmod(encoded.constData(), ownerOnly);
    }
    return std::nullopt;
}

bool isPrivate(const QString& path)
{
    struct stat info = {};
    return ::lstat(QFile::encodeName(path).constData(), &info) == 0 && S_ISDIR(info.st_mode) &&
           info.st_uid == ::geteuid() && (info.st_mode & (S_IRWXG | S_IRWXO)) == 0;
}

} // namespace PrivateFolder
