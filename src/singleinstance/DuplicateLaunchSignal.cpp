#include "DuplicateLaunchSignal.h"

#include "PrivateFolder.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <cerrno>
#include <cstring>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

bool fitsSocketAddress(const QString& path)
{
    return static_cast<size_t>(QFile::encodeName(path).size()) < sizeof(sockaddr_un::sun_path);
}

} // namespace

namespace DuplicateLaunchSignal {

std::variant<QString, FileSystemError> socketPath(const QString& name, const QUrl& folder)
{
    if (name.isEmpty() || name == QStringLiteral(".") || name == QStringLiteral("..") ||
        name.contains(QLatin1Char('/'))) {
        return FileSystemError{name, QStringLiteral("Not a usable signal name")};
    }
    const QString preferred = QDir(folder.toLocalFile()).filePath(name);
    if (fitsSocketAddress(preferred)) {
        return preferred;
    }

    const QString runtime = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (runtime.isEmpty() || !PrivateFolder::isPrivate(runtime)) {
        return FileSystemError{preferred,
                               QStringLiteral("Socket path is too long and there is no private "
                                              "runtime folder to fall back on")};
    }
    const QByteArray digest =
        QCryptographicHash::hash(preferred.toUtf8(), QCryptographicHash::Sha256).toHex();
    const QString fallback =
        QDir(runtime).filePath(QString::fromLatin1(digest.left(32)) + QStringLiteral(".socket"));
    if (!fitsSocketAddress(fallback)) {
        return FileSystemError{fallback, QStringLiteral("Socket path is too long")};
    }
    return fallback;
}

bool post(const QString& name, const QUrl& folder)
{
    const auto resolved = socketPath(name, folder);
    const QString* path = std::get_if<QString>(&resolved);
    if (!path) {
        return false;
    }
    const QByteArray encoded = QFile::encodeName(*path);
    sockaddr_un address = {};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, encoded.constData(), static_cast<size_t>(encoded.size()));

    const int fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return false;
    }
    const char byte = 1;
    const ssize_t sent = ::sendto(fd, &byte, sizeof(byte), MSG_DONTWAIT | MSG_NOSIGNAL,
                                  reinterpret_cast<const sockaddr*>(&address), sizeof(address));
    const int error = errno;
    ::close(fd);
    return sent == sizeof(byte) || error == EAGAIN || error == EWOULDBLOCK;
}

DuplicateLaunchSignalObservation::Result observe(const QString& name, const QUrl& folder,
                                                 std::function<void()> handler)
{
    const auto resolved = socketPath(name, folder);
    if (const FileSystemError* error = std::get_if<FileSystemError>(&resolved)) {
        return *error;
    }
    return DuplicateLaunchSignalObservation::bind(name, std::get<QString>(resolved),
                                                  std::move(handler));
}

} // namespace DuplicateLaunchSignal
