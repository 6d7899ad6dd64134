#include "SingleInstanceConfiguration.h"

#include <QDir>
#include <QFileInfo>
#include <cerrno>

SingleInstanceConfiguration::SingleInstanceConfiguration(
    const QString& bundleIdentifier, SingleInstancePolicy policy,
    SingleInstanceLockLocation lockLocation, const std::optional<QString>& lockFileName,
    const std::optional<QString>& activationSignalName)
    : m_bundleIdentifier(defaultBundleIdentifier(bundleIdentifier)), m_policy(std::move(policy)),
      m_lockLocation(std::move(lockLocation)),
      m_lockFileName(lockFileName.value_or(m_bundleIdentifier + QStringLiteral(".lock"))),
      m_activationSignalName(activationSignalName.value_or(
          m_bundleIdentifier + QStringLiteral(".single-instance.activate")))
{}

QString SingleInstanceConfiguration::defaultBundleIdentifier(const QString& bundleIdentifier)
{
    if (!bundleIdentifier.isEmpty()) {
        return bundleIdentifier;
    }
    // glibc's base name of argv[0], known before any application object exists.
    return QString::fromLocal8Bit(program_invocation_short_name);
}

QUrl SingleInstanceConfiguration::lockURL() const
{
    const QDir base(m_lockLocation.baseURL().toLocalFile());
    return QUrl::fromLocalFile(
        base.filePath(m_bundleIdentifier + QLatin1Char('/') + m_lockFileName));
}

QUrl SingleInstanceConfiguration::lockFolderURL() const
{
    return QUrl::fromLocalFile(QFileInfo(lockURL().toLocalFile()).path());
}

QUrl SingleInstanceConfiguration::duplicateLaunchRequestsURL() const
{
    return QUrl::fromLocalFile(
        QDir(lockFolderURL().toLocalFile()).filePath(QStringLiteral("DuplicateLaunchRequests")));
}
