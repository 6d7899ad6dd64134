#pragma once

#include "DuplicateLaunchSignalObservation.h"
#include "FileSystemError.h"

#include <QString>
#include <QUrl>
#include <functional>
#include <variant>

// The activation signal with which a later launch wakes the running instance: a notification by
// name without payload. It is carried by a Unix-domain datagram socket that the lock holder binds
// in the lock folder (owner-only) under the signal's name; posting sends one byte to it.
//
// Socket paths are limited to 107 bytes. When "<folder>/<name>" is longer, the socket moves to
// the user's runtime folder (XDG_RUNTIME_DIR) under a name derived from that long path, so that
// poster and observer still agree on it.
namespace DuplicateLaunchSignal {

// Where the socket of `name` for the lock folder `folder` lives. Fails for a name that is
// empty, ".", ".." or holds a "/", and when neither place gives a path short enough (or the
// runtime folder is missing or open to others).
std::variant<QString, FileSystemError> socketPath(const QString& name, const QUrl& folder);

// Sends the signal without waiting. True when it reached a bound socket (or found one whose
// queue is full, which will wake its owner anyway); false when nobody observes.
bool post(const QString& name, const QUrl& folder);

// Starts observing; see DuplicateLaunchSignalObservation for threads and timing.
DuplicateLaunchSignalObservation::Result observe(const QString& name, const QUrl& folder,
                                                 std::function<void()> handler);

} // namespace DuplicateLaunchSignal
