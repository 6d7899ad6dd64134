#include "SingleInstanceLockLocation.h"

#include <QDir>
#include <QStandardPaths>

SingleInstanceLockLocation::SingleInstanceLockLocation(Case kind, QUrl directoryURL)
    : m_case(kind), m_directoryURL(std::move(directoryURL))
{}

SingleInstanceLockLocation SingleInstanceLockLocation::directory(const QUrl& url)
{
    return {Case::directory, url};
}

SingleInstanceLockLocation SingleInstanceLockLocation::applicationSupport()
{
    return {Case::applicationSupport, QUrl()};
}

QUrl SingleInstanceLockLocation::baseURL() const
{
    if (m_case == Case::directory) {
        return m_directoryURL;
    }
    const QString data = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    if (!data.isEmpty()) {
        return QUrl::fromLocalFile(data);
    }
    return QUrl::fromLocalFile(QDir::homePath() + QStringLiteral("/.local/share"));
}
