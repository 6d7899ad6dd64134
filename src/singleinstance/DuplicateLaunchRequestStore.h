#pragma once

#include "DuplicateLaunchRequest.h"
#include "FileSystemError.h"
#include "SingleInstanceConfiguration.h"

#include <QList>
#include <optional>

// The on-disk queue of duplicate-launch requests: one JSON file per request, named
// "<UPPER-CASE UUID>.json", in the configuration's duplicateLaunchRequestsURL (owner-only).
// Unique names and atomic writes keep concurrent writers apart, and a reader never sees a
// half-written file under a name ending in ".json".
namespace DuplicateLaunchRequestStore {

// Largest request file that is read; a bigger one is discarded unread.
inline constexpr qint64 maximumRequestFileSize = 1024 * 1024;

// Used by a second launch: queues the request when it is not empty, then always posts the
// activation signal (also after a failed write, so the running instance still comes forward),
// then reports the write's error, if any.
std::optional<FileSystemError> post(const DuplicateLaunchRequest& request,
                                    const SingleInstanceConfiguration& configuration);

// Writes one request file (mode 0600) atomically, making the folder first. A queue folder that
// is a symbolic link or not this user's alone is an error and gets nothing.
std::optional<FileSystemError> enqueue(const DuplicateLaunchRequest& request,
                                       const SingleInstanceConfiguration& configuration);

// Whether the queue holds anything consumePending would take (and delete): an owner checks
// this once its signal is observed, for requests whose signal came before that or that an
// earlier owner left unread.
bool hasPending(const SingleInstanceConfiguration& configuration);

// Used by the running instance: reads and deletes every "*.json" request, earliest createdAt
// first. Never fails: a missing folder gives an empty list. Entries that cannot be used are
// deleted and skipped: unreadable files, files over maximumRequestFileSize, anything that is not
// a regular file (symbolic links are removed, never followed), and malformed requests. Other
// names (also "x.JSON") and sub-folders are left alone. Equal times keep the order in which the
// files were written (their modification times), then name order. The queue folder itself is
// never followed through a symbolic link, and one of another user's is not read (a queue of
// ours open to others is narrowed to 0700 first); nothing outside it is read or changed.
QList<DuplicateLaunchRequest> consumePending(const SingleInstanceConfiguration& configuration);

} // namespace DuplicateLaunchRequestStore
