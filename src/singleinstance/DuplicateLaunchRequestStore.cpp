#include "DuplicateLaunchRequestStore.h"

#include "DuplicateLaunchSignal.h"
#include "PrivateFolder.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <QUuid>
#include <algorithm>
#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace {

struct Entry
{
    QByteArray name;
    timespec modified;
};

bool writtenBefore(const Entry& a, const Entry& b)
{
    if (a.modified.tv_sec != b.modified.tv_sec) {
        return a.modified.tv_sec < b.modified.tv_sec;
    }
    if (a.modified.tv_nsec != b.modified.tv_nsec) {
        return a.modified.tv_nsec < b.modified.tv_nsec;
    }
    return a.name < b.name;
}

bool isRequestName(const QByteArray& name)
{
    // "x.json"; a bare ".json" is a hidden file without extension.
    return name.size() > 5 && name.endsWith(".json");
}

// Entries of the open folder `folderDescriptor` that look like requests, in writing order.
// Sub-folders are not requests: they are neither read nor removed.
QList<Entry> listRequests(int folderDescriptor)
{
    QList<Entry> entries;
    const int listing = ::dup(folderDescriptor);
    if (listing < 0) {
        return entries;
    }
    const std::unique_ptr<DIR, int (*)(DIR*)> dir(::fdopendir(listing), &::closedir);
    if (!dir) {
        ::close(listing);
        return entries;
    }
    while (const dirent* entry = ::readdir(dir.get())) {
        const QByteArray name(entry->d_name);
        struct stat info = {};
        if (isRequestName(name) &&
            ::fstatat(folderDescriptor, entry->d_name, &info, AT_SYMLINK_NOFOLLOW) == 0 &&
            !S_ISDIR(info.st_mode)) {
            entries.append({name, info.st_mtim});
        }
    }
    std::sort(entries.begin(), entries.end(), writtenBefore);
    return entries;
}

// The bytes of a request file, or nothing when it is not a regular file of acceptable size or
// cannot be read. O_NOFOLLOW refuses symbolic links; O_NONBLOCK keeps a planted FIFO from
// blocking the open.
std::optional<QByteArray> readRequestFile(int folderDescriptor, const char* name)
{
    const int fd = ::openat(folderDescriptor, name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return std::nullopt;
    }
    struct stat info = {};
    std::optional<QByteArray> contents;
    if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) &&
        info.st_size <= DuplicateLaunchRequestStore::maximumRequestFileSize) {
        // One byte more than the size reported: filling it means the file changed under us.
        QByteArray bytes(info.st_size + 1, Qt::Uninitialized);
        qsizetype length = 0;
        bool failed = false;
        while (length < bytes.size()) {
            const ssize_t got =
                ::read(fd, bytes.data() + length, static_cast<size_t>(bytes.size() - length));
            if (got > 0) {
                length += got;
            } else if (got == 0) {
                break;
            } else if (errno != EINTR) {
                failed = true;
                break;
            }
        }
        if (!failed && length < bytes.size()) {
            bytes.truncate(length);
            contents = std::move(bytes);
        }
    }
    ::close(fd);
    return contents;
}

// The queue folder, opened without following a link; negative when it cannot be opened or is
// not this user's alone (whoever else may write there could plant requests).
int openQueue(const SingleInstanceConfiguration& configuration)
{
    const QString folder = configuration.duplicateLaunchRequestsURL().toLocalFile();
    const int fd = ::open(QFile::encodeName(folder).constData(),
                          O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd >= 0 && PrivateFolder::requirePrivate(fd, folder)) {
        ::close(fd);
        return -1;
    }
    return fd;
}

} // namespace

namespace DuplicateLaunchRequestStore {

std::optional<FileSystemError> post(const DuplicateLaunchRequest& request,
                                    const SingleInstanceConfiguration& configuration)
{
    std::optional<FileSystemError> error;
    if (!request.isEmpty()) {
        error = enqueue(request, configuration);
    }
    DuplicateLaunchSignal::post(configuration.activationSignalName(),
                                configuration.lockFolderURL());
    return error;
}

std::optional<FileSystemError> enqueue(const DuplicateLaunchRequest& request,
                                       const SingleInstanceConfiguration& configuration)
{
    const QString folder = configuration.duplicateLaunchRequestsURL().toLocalFile();
    const PrivateFolder::OpenResult opened =
        PrivateFolder::open(folder, PrivateFolder::Link::refused);
    if (const auto* error = std::get_if<PrivateFolder::Error>(&opened)) {
        return PrivateFolder::toFileSystemError(*error);
    }
    const QString path = QDir(folder).filePath(
        QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper() + QStringLiteral(".json"));
    const std::optional<QByteArray> json = request.toJson();
    if (!json) {
        return FileSystemError{path, QStringLiteral("The request's creation time is not valid")};
    }

    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) ||
        !file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner) ||
        file.write(*json) != json->size() || !file.commit()) {
        return FileSystemError{path, file.errorString()};
    }
    return std::nullopt;
}

bool hasPending(const SingleInstanceConfiguration& configuration)
{
    const int folderDescriptor = openQueue(configuration);
    if (folderDescriptor < 0) {
        return false;
    }
    const bool pending = !listRequests(folderDescriptor).isEmpty();
    ::close(folderDescriptor);
    return pending;
}

QList<DuplicateLaunchRequest> consumePending(const SingleInstanceConfiguration& configuration)
{
    QList<DuplicateLaunchRequest> requests;
    const int folderDescriptor = openQueue(configuration);
    if (folderDescriptor < 0) {
        return requests;
    }

    for (const Entry& entry : listRequests(folderDescriptor)) {
        const std::optional<QByteArray> bytes =
            readRequestFile(folderDescriptor, entry.name.constData());
        std::optional<DuplicateLaunchRequest> request;
        if (bytes) {
            request = DuplicateLaunchRequest::fromJson(*bytes);
        }
        // Used or not, the entry goes: a malformed request is discarded, and unlinkat removes a
        // link itself, never its target.
        ::unlinkat(folderDescriptor, entry.name.constData(), 0);
        if (request) {
            requests.append(std::move(*request));
        }
    }
    ::close(folderDescriptor);

    std::stable_sort(requests.begin(), requests.end(),
                     [](const DuplicateLaunchRequest& a, const DuplicateLaunchRequest& b) {
                         return a.createdAt < b.createdAt;
                     });
    return requests;
}

} // namespace DuplicateLaunchRequestStore
