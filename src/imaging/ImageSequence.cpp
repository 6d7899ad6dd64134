#include "ImageSequence.h"

#include "ImageTypeRegistry.h"
#include "NaturalNameOrder.h"

#include <QDir>
#include <QDirIterator>
#include <QStringList>
#include <algorithm>

bool ImageSequence::isImageFile(const QUrl& url)
{
    return url.isLocalFile() && ImageTypeRegistry::isImageFileName(url.fileName());
}

QUrl ImageSequence::standardized(const QUrl& url)
{
    if (!url.isLocalFile()) {
        return url;
    }
    QString path = url.toLocalFile();
    if (QDir::isRelativePath(path)) {
        path = QDir::currentPath() + u'/' + path;
    }
    path = QDir::cleanPath(path);
    // cleanPath keeps ".." directly under the root, where it names the root itself.
    while (path.startsWith(QLatin1String("/../"))) {
        path.remove(0, 3);
    }
    if (path == QLatin1String("/..")) {
        path = QStringLiteral("/");
    }
    return QUrl::fromLocalFile(path);
}

bool ImageSequence::load(const QUrl& startingAt)
{
    const QUrl start = standardized(startingAt);
    if (!isImageFile(start)) {
        return false;
    }
    // A standardized local path is absolute, so it has a separator; the root folder keeps its.
    const QString startPath = start.toLocalFile();
    const qsizetype slash = startPath.lastIndexOf(u'/');
    const QString folderWithSlash = startPath.first(slash + 1);
    const QString startName = startPath.sliced(slash + 1);

    // Direct entries that are files (or links to files), without "." and "..", and without
    // hidden entries since QDir::Hidden is not asked for. The type of an entry comes with the
    // directory entry on common file systems, so this reads the directory and opens nothing.
    QStringList names;
    QDirIterator entries(folderWithSlash, QDir::Files | QDir::NoDotAndDotDot);
    while (entries.hasNext()) {
        entries.next();
        QString name = entries.fileName();
        if (ImageTypeRegistry::isImageFileName(name)) {
            names.append(std::move(name));
        }
    }

    // An unreadable or missing folder lists nothing, so it fails here as well.
    const std::vector<qsizetype> order = NaturalNameOrder::sortedPositions(names);
    const auto found = std::find_if(order.cbegin(), order.cend(), [&](qsizetype position) {
        return names[position] == startName;
    });
    if (found == order.cend()) {
        return false;
    }

    // The folder part is standardized and a listed name holds no separator and is neither "."
    // nor "..", so folder + name is already standardized.
    QList<QUrl> urls;
    urls.reserve(names.size());
    for (const qsizetype position : order) {
        urls.append(QUrl::fromLocalFile(folderWithSlash + names[position]));
    }
    m_urls = std::move(urls);
    m_currentIndex = found - order.cbegin();
    return true;
}

std::optional<QUrl> ImageSequence::remove(qsizetype index)
{
    if (index < 0 || index >= m_urls.size()) {
        return std::nullopt;
    }
    QUrl removed = m_urls.takeAt(index);
    if (m_urls.isEmpty()) {
        m_currentIndex = 0;
    } else if (m_currentIndex == index) {
        m_currentIndex = std::min(m_urls.size() - 1, index);
    } else if (m_currentIndex > index) {
        --m_currentIndex;
    }
    return removed;
}

bool ImageSequence::setCurrentIndex(qsizetype index)
{
    if (index < 0 || index >= m_urls.size()) {
        return false;
    }
    m_currentIndex = index;
    return true;
}
