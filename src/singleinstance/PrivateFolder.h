#pragma once

#include "FileSystemError.h"

#include <QString>
#include <optional>

// Folders that only their owner may enter: the lock folder, the request queue and the folder of
// the activation socket.
namespace PrivateFolder {

// Creates the folder at the absolute `path` with any missing parents, each new one with mode
// 0700. The folder itself must end up a real directory, not a symbolic link (a link there
// would let the queue be read from or written to a place that is not ours); when it already
// exists, belongs to this user and is open to others, it is narrowed to 0700. Parents may be
// links (a data folder moved to another disk is common). Returns the error when it fails.
std::optional<FileSystemError> create(const QString& path);

// Whether `path` is a real directory owned by this user that nobody else may enter.
bool isPrivate(const QString& path);

} // namespace PrivateFolder
