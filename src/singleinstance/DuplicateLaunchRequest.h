#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QStringList>
#include <QUrl>
#include <optional>

// What a second launch was asked to do, handed to the running instance as one JSON file:
//
//     {"arguments":["a.jpg"],"createdAt":"2024-03-01T10:00:05Z","fileURLs":["file:///p/a.jpg"]}
//
// - "arguments": array of strings; "fileURLs": array of absolute URL strings, percent-encoded
//   ("file:///a%20b.jpg"); "createdAt": ISO 8601 in UTC with "Z" and whole seconds.
// - Written compactly; read with the keys in any order, all three required, others ignored.
struct DuplicateLaunchRequest
{
    QStringList arguments;
    QList<QUrl> fileURLs; // files or folders to open
    QDateTime createdAt;  // when the request was made

    bool isEmpty() const { return arguments.isEmpty() && fileURLs.isEmpty(); }

    // The compact JSON form; absent when createdAt is not a valid time (it cannot be encoded).
    // Sub-second parts of createdAt are dropped.
    std::optional<QByteArray> toJson() const;

    // Reads the JSON form. Absent when the text is not a JSON object with the three keys of the
    // right types, an entry of "fileURLs" is not a valid absolute URL or its path holds an
    // encoded NUL ("%00"), or "createdAt" is not
    // "YYYY-MM-DDTHH:MM:SS" followed by "Z" or an offset "+HH:MM". URLs that are valid but do
    // not name a local file by absolute path (another scheme, a remote host, a relative path as
    // in "file:x.jpg", which would otherwise be resolved against the running instance's working
    // folder) are dropped from the request rather than handed to the application.
    static std::optional<DuplicateLaunchRequest> fromJson(const QByteArray& json);

    friend bool operator==(const DuplicateLaunchRequest&, const DuplicateLaunchRequest&) = default;
};
