#pragma once

#include <QString>
#include <sys/types.h>

// Why a folder of the single-instance layer (the lock folder or the request queue) was refused:
// it is not this user's alone. Whoever else controls it could plant requests, hold the lock so
// that every launch ends, or choose where our lock file and socket go.
class PrivateFolderError
{
public:
    enum class Case
    {
        ownedByAnotherUser,     // the folder belongs to another user
        openToOthers,           // ours, but group or others keep rights on it (narrowing failed)
        linkOwnedByAnotherUser, // the folder is a symbolic link that another user made
        linkTargetNotPrivate,   // our link leads to a folder of another user or open to others
    };

    // `owner` and `mode` (permission bits) are those of the entry refused: the link itself for
    // linkOwnedByAnotherUser, its target for linkTargetNotPrivate, else the folder.
    PrivateFolderError(Case kind, QString path, uid_t owner, mode_t mode);

    Case kind() const { return m_case; }
    // The folder as it was asked for (the link's path, not its target).
    const QString& path() const { return m_path; }
    uid_t owner() const { return m_owner; }
    mode_t mode() const { return m_mode; }

    // e.g. "owned by another user (uid 1001)"
    QString reason() const;
    // "the folder <path> is not private: <reason>", for the start-up log line.
    QString description() const;

    friend bool operator==(const PrivateFolderError&, const PrivateFolderError&) = default;

private:
    Case m_case;
    QString m_path;
    uid_t m_owner;
    mode_t m_mode;
};
