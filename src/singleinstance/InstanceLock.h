#pragma once

#include "FileSystemError.h"
#include "InstanceLockError.h"
#include "PrivateFolderError.h"

#include <QString>
#include <QUrl>
#include <cstdint>
#include <memory>
#include <variant>

// An exclusive advisory lock (flock) on a small file holding the owner's process id. The lock
// is held exactly as long as the object lives; the operating system also drops it when the
// process ends, so a crashed owner never blocks the next start. The file itself stays in place
// with the last owner's id and is reused.
class InstanceLock
{
public:
    // Why acquire failed: the lock folder could not be made, the lock file could not be opened
    // or locked, or the lock folder is not this user's alone.
    using Error = std::variant<FileSystemError, InstanceLockError, PrivateFolderError>;
    using AcquireResult = std::variant<std::unique_ptr<InstanceLock>, Error>;

    ~InstanceLock();

    InstanceLock(const InstanceLock&) = delete;
    InstanceLock& operator=(const InstanceLock&) = delete;

    // Makes the lock file's folder (owner-only) and requires it to be private (see
    // PrivateFolder::open, links followed), opens the file in it (0600, close-on-exec, never
    // through a symbolic link), takes the lock without waiting and writes "<pid>\n" over its
    // contents. Another holder gives InstanceLockError::alreadyRunning.
    static AcquireResult acquire(const QUrl& lockURL);

    // The text of either kind of error, for the start-up log line.
    static QString describe(const Error& error);

    std::int32_t fileDescriptor() const { return m_fileDescriptor; }
    const QUrl& lockURL() const { return m_lockURL; }

private:
    InstanceLock(std::int32_t fileDescriptor, QUrl lockURL);

    std::int32_t m_fileDescriptor;
    QUrl m_lockURL;
};
