#include "DuplicateLaunchSignalObservation.h"

#include <QAbstractEventDispatcher>
#include <QFile>
#include <QSocketNotifier>
#include <cerrno>
#include <cstring>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

DuplicateLaunchSignalObservation::Result
DuplicateLaunchSignalObservation::bind(const QString& name, const QString& socketPath,
                                       std::function<void()> handler)
{
    const QByteArray path = QFile::encodeName(socketPath);
    sockaddr_un address = {};
    address.sun_family = AF_UNIX;
    if (path.isEmpty() || static_cast<size_t>(path.size()) >= sizeof(address.sun_path)) {
        return FileSystemError{socketPath, QStringLiteral("Socket path is too long")};
    }
    std::memcpy(address.sun_path, path.constData(), static_cast<size_t>(path.size()));

    // Only a socket is replaced: anything else at this path (the lock file itself under a
    // badly chosen name, a folder, a link) belongs to someone and stays.
    struct stat existing = {};
    if (::lstat(path.constData(), &existing) == 0) {
        if (!S_ISSOCK(existing.st_mode)) {
            return FileSystemError{socketPath,
                                   QStringLiteral("Something other than a socket is in the way")};
        }
        ::unlink(path.constData());
    }

    const int fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) {
        return FileSystemError::fromErrno(socketPath, errno);
    }
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) != 0) {
        const int error = errno;
        ::close(fd);
        return FileSystemError::fromErrno(socketPath, error);
    }
    // Sending needs write permission on the socket file; nobody else gets it.
    ::chmod(path.constData(), S_IRUSR | S_IWUSR);

    std::unique_ptr<DuplicateLaunchSignalObservation> observation(
        new DuplicateLaunchSignalObservation(name, socketPath, std::move(handler), fd));
    struct stat bound = {};
    if (::lstat(path.constData(), &bound) == 0) {
        observation->m_socketDevice = bound.st_dev;
        observation->m_socketInode = bound.st_ino;
    }

    if (QAbstractEventDispatcher::instance()) {
        observation->startNotifier();
    } else {
        // No event loop on this thread yet (the application object comes later): a queued call
        // waits in the thread's event queue and runs when the loop first does.
        DuplicateLaunchSignalObservation* raw = observation.get();
        QMetaObject::invokeMethod(
            raw, [raw] { raw->startNotifier(); }, Qt::QueuedConnection);
    }
    return observation;
}

DuplicateLaunchSignalObservation::DuplicateLaunchSignalObservation(QString name, QString socketPath,
                                                                   std::function<void()> handler,
                                                                   int socketDescriptor)
    : m_name(std::move(name)), m_socketPath(std::move(socketPath)), m_handler(std::move(handler)),
      m_socketDescriptor(socketDescriptor)
{}

DuplicateLaunchSignalObservation::~DuplicateLaunchSignalObservation()
{
    cancel();
}

void DuplicateLaunchSignalObservation::startNotifier()
{
    if (m_isCancelled || m_notifier) {
        return;
    }
    m_notifier = std::make_unique<QSocketNotifier>(m_socketDescriptor, QSocketNotifier::Read);
    connect(m_notifier.get(), &QSocketNotifier::activated, this,
            &DuplicateLaunchSignalObservation::drainAndNotify);
}

void DuplicateLaunchSignalObservation::drainAndNotify()
{
    bool received = false;
    char byte = 0;
    while (::recv(m_socketDescriptor, &byte, sizeof(byte), MSG_DONTWAIT) >= 0) {
        received = true;
    }
    if (received && m_handler) {
        m_handler();
    }
}

void DuplicateLaunchSignalObservation::cancel()
{
    if (m_isCancelled) {
        return;
    }
    m_isCancelled = true;
    m_notifier.reset();
    ::close(m_socketDescriptor);

    // Remove the file only while it is still our socket: a later observer may have replaced it.
    const QByteArray path = QFile::encodeName(m_socketPath);
    struct stat current = {};
    if (::lstat(path.constData(), &current) == 0 && current.st_dev == m_socketDevice &&
        current.st_ino == m_socketInode) {
        ::unlink(path.constData());
    }
}
