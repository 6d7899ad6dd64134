#include "InstanceLock.h"

#include "PrivateFolder.h"

#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

InstanceLock::InstanceLock(std::int32_t fileDescriptor, QUrl lockURL)
    : m_fileDescriptor(fileDescriptor), m_lockURL(std::move(lockURL))
{}

InstanceLock::~InstanceLock()
{
    ::flock(m_fileDescriptor, LOCK_UN);
    ::close(m_fileDescriptor);
}

InstanceLock::AcquireResult InstanceLock::acquire(const QUrl& lockURL)
{
    if (!lockURL.isLocalFile()) {
        return FileSystemError{lockURL.toString(), QStringLiteral("Not a local file")};
    }
    const QFileInfo path(lockURL.toLocalFile());
    const PrivateFolder::OpenResult folder =
        PrivateFolder::open(path.path(), PrivateFolder::Link::followed);
    if (const auto* error = std::get_if<PrivateFolder::Error>(&folder)) {
        return std::visit([](const auto& alternative) -> Error { return alternative; }, *error);
    }

    // Opened in the folder that was checked, not by path again. O_NOFOLLOW: a link planted in
    // place of the lock file must not make us truncate the file it points at.
    const int fd = ::openat(std::get<UniqueFileDescriptor>(folder).get(),
                            QFile::encodeName(path.fileName()).constData(),
                            O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, S_IRUSR | S_IWUSR);
    if (fd < 0) {
        return InstanceLockError::openFailed(errno);
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        ::close(fd);
        if (error == EWOULDBLOCK) {
            return InstanceLockError::alreadyRunning();
        }
        return InstanceLockError::lockFailed(error);
    }

    // The process id is informative only: the lock is held whether or not it can be written,
    // so failures here are ignored.
    const QByteArray pid = QByteArray::number(::getpid()) + '\n';
    [[maybe_unused]] const int truncated = ::ftruncate(fd, 0);
    [[maybe_unused]] const ssize_t written = ::pwrite(fd, pid.constData(), pid.size(), 0);
    return std::unique_ptr<InstanceLock>(new InstanceLock(fd, lockURL));
}

QString InstanceLock::describe(const Error& error)
{
    return std::visit([](const auto& alternative) { return alternative.description(); }, error);
}
