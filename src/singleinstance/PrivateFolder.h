#pragma once

#include "FileSystemError.h"

#include <QString>
#include <optional>

// Folders that only their owner may enter: the lock folder, the request queue and the folder of
// the activation socket.
namespace PrivateFolder {

// Whether the folder itself may be a symbolic link to a folder. Parents always may (a data
// folder moved to another disk is common).
enum class Link
{
    followed, // the application's own folder: the user may have moved it elsewhere
    refused,  // the request queue: its reader never follows a link, so its writer must not
};

// Creates the folder at the absolute `path` with any missing parents, each new one with mode
// 0700. When the folder already exists, belongs to this user and is open to others, it is
// narrowed to 0700. Returns the error when it fails.
std::optional<FileSystemError> create(const QString& path, Link link);

// Whether `path` is a real directory owned by this user that nobody else may enter.
bool isPrivate(const QString& path);

} // namespace PrivateFolder
