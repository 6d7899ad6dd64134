#pragma once

#include "SingleInstanceLockLocation.h"
#include "SingleInstancePolicy.h"

#include <QString>
#include <QUrl>
#include <optional>

// Names, places and policy of the single-instance layer. Copyable: the application keeps one and
// hands copies around.
class SingleInstanceConfiguration
{
public:
    // Defaults applied here: an empty bundle identifier becomes defaultBundleIdentifier({}) (the
    // process name: there is no bundle on Linux); an absent lock file name becomes
    // "<identifier>.lock"; an absent signal name "<identifier>.single-instance.activate".
    SingleInstanceConfiguration(const QString& bundleIdentifier, SingleInstancePolicy policy,
                                SingleInstanceLockLocation lockLocation,
                                const std::optional<QString>& lockFileName = std::nullopt,
                                const std::optional<QString>& activationSignalName = std::nullopt);

    // `bundleIdentifier` when it is not empty, else the name of this process's executable.
    static QString defaultBundleIdentifier(const QString& bundleIdentifier);

    const QString& bundleIdentifier() const { return m_bundleIdentifier; }
    const SingleInstancePolicy& policy() const { return m_policy; }
    const SingleInstanceLockLocation& lockLocation() const { return m_lockLocation; }
    const QString& lockFileName() const { return m_lockFileName; }
    const QString& activationSignalName() const { return m_activationSignalName; }

    // <base folder>/<bundle identifier>/<lock file name>
    QUrl lockURL() const;
    // The lock file's folder, which also holds the request queue and the activation socket.
    QUrl lockFolderURL() const;
    // <lock file's folder>/DuplicateLaunchRequests
    QUrl duplicateLaunchRequestsURL() const;

private:
    QString m_bundleIdentifier;
    SingleInstancePolicy m_policy;
    SingleInstanceLockLocation m_lockLocation;
    QString m_lockFileName;
    QString m_activationSignalName;
};
