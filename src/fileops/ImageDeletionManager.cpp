#include "ImageDeletionManager.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#ifdef Q_OS_LINUX
#include <QTemporaryFile>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>
#endif

namespace {

using ImageDeletionManager::RestoreError;

// True when anything has the name, a dangling symbolic link included.
bool isPathTaken(const QString& path)
{
    const QFileInfo info(path);
    return info.exists() || info.isSymLink();
}

#ifdef Q_OS_LINUX

// Gives the file at `source` the name `target` unless something has that name, atomically: a
// file that takes the name at any moment is never replaced. 0 on success, else an errno value.
int moveWithoutReplacing(const QByteArray& source, const QByteArray& target)
{
    if (::renameat2(AT_FDCWD, source.constData(), AT_FDCWD, target.constData(), RENAME_NOREPLACE) ==
        0) {
        return 0;
    }
    if (errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP) {
        return errno;
    }
    // A kernel or file system without the no-replace rename: link() refuses a taken name too.
    if (::link(source.constData(), target.constData()) != 0) {
        return errno;
    }
    if (::unlink(source.constData()) != 0) {
        const int error = errno;
        // The file would otherwise have two names; keep it where it was.
        ::unlink(target.constData());
        return error;
    }
    return 0;
}

// Between file systems no rename exists: copies `source` under a private name in the target's
// folder, moves the finished copy to `target` without replacing anything, then removes `source`.
// 0 on success, else an errno value; on failure `source` is untouched and `target` not made.
int copyWithoutReplacing(const QString& source, const QString& target)
{
    QFile input(source);
    if (!input.open(QIODevice::ReadOnly)) {
        return EIO;
    }
    QTemporaryFile output(QFileInfo(target).absolutePath() +
                          QStringLiteral("/.vistrel-restore-XXXXXX"));
    if (!output.open()) {
        return EIO;
    }
    constexpr qint64 chunkBytes = 1 << 20;
    while (!input.atEnd()) {
        const QByteArray chunk = input.read(chunkBytes);
        if (chunk.isEmpty() || output.write(chunk) != chunk.size()) {
            return EIO;
        }
    }
    const QFileInfo sourceInfo(source);
    // On the disk before the Trash's copy goes: this may be the only copy of the image.
    if (!output.flush() || ::fsync(output.handle()) != 0 ||
        !output.setPermissions(sourceInfo.permissions())) {
        return EIO;
    }
    output.setFileTime(sourceInfo.lastModified(), QFileDevice::FileModificationTime);
    output.close();
    const int error =
        moveWithoutReplacing(QFile::encodeName(output.fileName()), QFile::encodeName(target));
    if (error != 0) {
        return error;
    }
    output.setAutoRemove(false);
    if (!QFile::remove(source)) {
        // Keep the image in one place only: the Trash still lists it.
        QFile::remove(target);
        return EIO;
    }
    return 0;
}

std::optional<RestoreError> moveBack(const QString& trashed, const QString& original)
{
    int error = moveWithoutReplacing(QFile::encodeName(trashed), QFile::encodeName(original));
    if (error == EXDEV) {
        error = copyWithoutReplacing(trashed, original);
    }
    if (error == 0) {
        return std::nullopt;
    }
    return error == EEXIST ? RestoreError::fileExists : RestoreError::moveFailed;
}

#else

std::optional<RestoreError> moveBack(const QString& trashed, const QString& original)
{
    // The name was free a moment ago, and QFile::rename refuses to replace an existing file.
    if (QFile::rename(trashed, original)) {
        return std::nullopt;
    }
    return isPathTaken(original) ? RestoreError::fileExists : RestoreError::moveFailed;
}

#endif

// The Trash keeps `<trash>/files/<name>` and describes it in `<trash>/info/<name>.trashinfo`;
// once the file is out, the description would show a ghost in the desktop's Trash.
void removeTrashInfo(const QString& trashedPath)
{
    const QFileInfo trashed(trashedPath);
    QDir trash = trashed.absoluteDir();
    if (trash.dirName() != QLatin1String("files") || !trash.cdUp()) {
        return;
    }
    QFile::remove(trash.filePath(QStringLiteral("info/%1.trashinfo").arg(trashed.fileName())));
}

} // namespace

namespace ImageDeletionManager {

QList<DeletedImage> deleteImages(const QList<QUrl>& urls)
{
    QList<DeletedImage> deleted;
    for (const QUrl& url : urls) {
        const QString path = url.isLocalFile() ? url.toLocalFile() : QString();
        QString pathInTrash;
        if (path.isEmpty() || !QFile::moveToTrash(path, &pathInTrash) || pathInTrash.isEmpty()) {
            continue;
        }
        deleted.append(DeletedImage{url, QUrl::fromLocalFile(pathInTrash)});
    }
    return deleted;
}

std::optional<RestoreError> restoreDeletedImage(const DeletedImage& image)
{
    const QString original =
        image.originalUrl.isLocalFile() ? image.originalUrl.toLocalFile() : QString();
    const QString trashed =
        image.trashedUrl.isLocalFile() ? image.trashedUrl.toLocalFile() : QString();
    if (original.isEmpty() || trashed.isEmpty()) {
        return RestoreError::moveFailed;
    }
    if (!QDir().mkpath(QFileInfo(original).absolutePath())) {
        return RestoreError::folderNotCreated;
    }
    if (isPathTaken(original)) {
        return RestoreError::fileExists;
    }
    if (const auto error = moveBack(trashed, original)) {
        return error;
    }
    removeTrashInfo(trashed);
    return std::nullopt;
}

} // namespace ImageDeletionManager
