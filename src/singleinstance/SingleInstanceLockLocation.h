#pragma once

#include <QUrl>

// Where the lock's base folder is: given explicitly, or the user's application-support folder.
class SingleInstanceLockLocation
{
public:
    enum class Case
    {
        directory,          // the given folder
        applicationSupport, // the user's data folder (~/.local/share on Linux)
    };

    static SingleInstanceLockLocation directory(const QUrl& url);
    static SingleInstanceLockLocation applicationSupport();

    Case kind() const { return m_case; }
    // The folder of the directory case; empty for applicationSupport.
    const QUrl& directoryURL() const { return m_directoryURL; }

    // The base folder as a file URL: the given folder, or the first writable generic data
    // location, or, when the system reports none, ~/.local/share.
    QUrl baseURL() const;

private:
    SingleInstanceLockLocation(Case kind, QUrl directoryURL);

    Case m_case;
    QUrl m_directoryURL;
};
