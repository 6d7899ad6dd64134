#include "PrivateFolder.h"

#include <QDir>
#include <QFile>
#include <cerrno>
#include <climits>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr mode_t ownerOnly = S_IRWXU;
constexpr mode_t groupOrOthers = S_IRWXG | S_IRWXO;

mode_t permissionBits(const struct stat& info)
{
    return info.st_mode & 07777;
}

// The folder behind the symbolic link `name` in the open folder `parent`; absent when `name` is
// not a link. The link's text is read from the very entry whose owner was checked (a link's
// text never changes), so swapping the link in between gains nothing.
std::optional<PrivateFolder::OpenResult> followLink(int parent, const QByteArray& name,
                                                    const QString& folder, PrivateFolder::Link link)
{
    const UniqueFileDescriptor entry(
        ::openat(parent, name.constData(), O_PATH | O_NOFOLLOW | O_CLOEXEC));
    struct stat info = {};
    if (!entry.isValid() || ::fstat(entry.get(), &info) != 0 || !S_ISLNK(info.st_mode)) {
        return std::nullopt;
    }
    if (link == PrivateFolder::Link::refused) {
        return FileSystemError{folder, QStringLiteral("Is a symbolic link, not a folder")};
    }
    // Another user's link would make us fill or narrow a folder of their choosing, also one of
    // ours they cannot enter themselves.
    if (info.st_uid != ::geteuid()) {
        return PrivateFolderError{PrivateFolderError::Case::linkOwnedByAnotherUser, folder,
                                  info.st_uid, permissionBits(info)};
    }

    char target[PATH_MAX];
    const ssize_t length = ::readlinkat(entry.get(), "", target, sizeof(target));
    if (length < 0 || static_cast<size_t>(length) >= sizeof(target)) {
        return FileSystemError::fromErrno(folder, length < 0 ? errno : ENAMETOOLONG);
    }
    target[length] = '\0';
    // A relative target is relative to the link's own folder, which `parent` is.
    UniqueFileDescriptor opened(::openat(parent, target, O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!opened.isValid()) {
        return FileSystemError::fromErrno(folder, errno);
    }
    if (::fstat(opened.get(), &info) != 0) {
        return FileSystemError::fromErrno(folder, errno);
    }
    if (info.st_uid != ::geteuid() || (info.st_mode & groupOrOthers) != 0) {
        return PrivateFolderError{PrivateFolderError::Case::linkTargetNotPrivate, folder,
                                  info.st_uid, permissionBits(info)};
    }
    return PrivateFolder::OpenResult(std::move(opened));
}

} // namespace

namespace PrivateFolder {

OpenResult open(const QString& path, Link link)
{
    const QString folder = QDir::cleanPath(path);
    if (!QDir::isAbsolutePath(folder) || folder == QStringLiteral("/")) {
        return FileSystemError{path, QStringLiteral("Not an absolute path below the root")};
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

    const qsizetype slash = folder.lastIndexOf(QLatin1Char('/'));
    const QString parentPath = slash == 0 ? QStringLiteral("/") : folder.left(slash);
    const UniqueFileDescriptor parent(
        ::open(QFile::encodeName(parentPath).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!parent.isValid()) {
        return FileSystemError::fromErrno(parentPath, errno);
    }
    const QByteArray name = QFile::encodeName(folder.mid(slash + 1));
    UniqueFileDescriptor opened(
        ::openat(parent.get(), name.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!opened.isValid()) {
        const int error = errno;
        if (std::optional<OpenResult> followed = followLink(parent.get(), name, folder, link)) {
            return std::move(*followed);
        }
        return FileSystemError::fromErrno(folder, error);
    }
    if (std::optional<Error> refusal = requirePrivate(opened.get(), folder)) {
        return *refusal;
    }
    return opened;
}

std::optional<Error> requirePrivate(int folderDescriptor, const QString& path)
{
    struct stat info = {};
    if (::fstat(folderDescriptor, &info) != 0) {
        return FileSystemError::fromErrno(path, errno);
    }
    if (info.st_uid != ::geteuid()) {
        return PrivateFolderError{PrivateFolderError::Case::ownedByAnotherUser, path, info.st_uid,
                                  permissionBits(info)};
    }
    // Ours but open (made under a lax umask): narrowed through the descriptor, so the folder
    // changed is the folder checked.
    if ((info.st_mode & groupOrOthers) != 0 &&
        (::fchmod(folderDescriptor, ownerOnly) != 0 || ::fstat(folderDescriptor, &info) != 0 ||
         (info.st_mode & groupOrOthers) != 0)) {
        return PrivateFolderError{PrivateFolderError::Case::openToOthers, path, info.st_uid,
                                  permissionBits(info)};
    }
    return std::nullopt;
}

FileSystemError toFileSystemError(const Error& error)
{
    if (const auto* refusal = std::get_if<PrivateFolderError>(&error)) {
        return {refusal->path(), refusal->reason()};
    }
    return std::get<FileSystemError>(error);
}

bool isPrivate(const QString& path)
{
    struct stat info = {};
    return ::lstat(QFile::encodeName(path).constData(), &info) == 0 && S_ISDIR(info.st_mode) &&
           info.st_uid == ::geteuid() && (info.st_mode & groupOrOthers) == 0;
}

} // namespace PrivateFolder
