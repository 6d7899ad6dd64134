#pragma once

#include <QString>

// A failed file-system operation of the single-instance layer (making a folder, writing a
// request file, binding the activation socket): what it was about and why it failed.
struct FileSystemError
{
    QString path;   // the file or folder the operation was about
    QString reason; // the system's explanation, e.g. "Permission denied"

    // An error from a failed POSIX call, with `errorNumber` turned into the system's text.
    static FileSystemError fromErrno(const QString& path, int errorNumber);

    // "<reason>: <path>", for the start-up log line.
    QString description() const;

    friend bool operator==(const FileSystemError&, const FileSystemError&) = default;
};
