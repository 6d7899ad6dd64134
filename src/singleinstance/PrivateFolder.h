#pragma once

#include "FileSystemError.h"
#include "PrivateFolderError.h"
#include "UniqueFileDescriptor.h"

#include <QString>
#include <optional>
#include <variant>

// Folders that only their owner may enter: the lock folder, the request queue and the folder of
// the activation socket. Ownership and mode are checked on the open folder, never by path, so
// that what was checked is what is used.
namespace PrivateFolder {

// Whether the folder itself may be a symbolic link to a folder. Parents always may (a data
// folder moved to another disk is common).
enum class Link
{
    followed, // the application's own folder: the user may have moved it elsewhere
    refused,  // the request queue: its reader never follows a link, so its writer must not
};

// Why a folder cannot be used: the file system failed, or the folder is not this user's alone.
using Error = std::variant<FileSystemError, PrivateFolderError>;
using OpenResult = std::variant<UniqueFileDescriptor, Error>;

// Creates the folder at the absolute `path` with any missing parents, each new one with mode
// 0700, and opens it (read-only, close-on-exec). The folder must belong to the effective user;
// when it is open to group or others it is narrowed to 0700, and refused when that fails. A
// symbolic link in its place is refused, or with Link::followed accepted only when the link is
// ours and leads to a folder that is ours and already 0700 (nothing is narrowed through a link).
OpenResult open(const QString& path, Link link);

// The same rule for a folder already open as `folderDescriptor` (reached as `path`, which only
// names it in the error): nothing when it belongs to the effective user and, after narrowing an
// open one to 0700, neither group nor others have any rights on it.
std::optional<Error> requirePrivate(int folderDescriptor, const QString& path);

// The error as a FileSystemError, for operations that report only those.
FileSystemError toFileSystemError(const Error& error);

// Whether `path` is a real directory owned by this user that nobody else may enter.
bool isPrivate(const QString& path);

} // namespace PrivateFolder
