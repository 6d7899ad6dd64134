#include "ThumbnailDiskCache.h"

#include "BitmapSize.h"

#include <QBuffer>
#include <QColorSpace>
#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QImageWriter>
#include <QStandardPaths>
#include <QTemporaryFile>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// True when the text chunks of the PNG in `bytes` are few and small. The reader inflates every
// compressed text chunk before the image header is even looked at, so a small file of many
// deflated chunks would otherwise cost gigabytes; an entry needs two short ones.
bool hasModestText(const QByteArray& bytes)
{
    constexpr qsizetype signatureBytes = 8;
    constexpr int maximumTextChunks = 32;
    constexpr qint64 maximumTextBytes = 64 * 1024;
    int textChunks = 0;
    qint64 textBytes = 0;
    qsizetype at = signatureBytes;
    while (at + 8 <= bytes.size()) {
        const auto* header = reinterpret_cast<const uchar*>(bytes.constData() + at);
        const qint64 length =
            (qint64(header[0]) << 24) | (header[1] << 16) | (header[2] << 8) | header[3];
        const QByteArrayView type(bytes.constData() + at + 4, 4);
        if (type == "tEXt" || type == "zTXt" || type == "iTXt") {
            textBytes += length;
            if (++textChunks > maximumTextChunks || textBytes > maximumTextBytes) {
                return false;
            }
        }
        if (type == "IEND") {
            break;
        }
        at += 12 + length; // length, type, data, CRC
    }
    return true;
}

const QString uriKey = QStringLiteral("Thumb::URI");
const QString mtimeKey = QStringLiteral("Thumb::MTime");
const QString imageWidthKey = QStringLiteral("Thumb::Image::Width");
const QString imageHeightKey = QStringLiteral("Thumb::Image::Height");

// The bytes of the regular file at `path`, opened without following a link and without
// blocking on a FIFO; empty when it is anything else or not smaller than `maximumBytes`.
QByteArray readRegularFile(const QString& path, qint64 maximumBytes)
{
    const int fd =
        ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return {};
    }
    QByteArray bytes;
    struct stat status
    {};
    if (::fstat(fd, &status) == 0 && S_ISREG(status.st_mode) && status.st_size > 0 &&
        status.st_size < maximumBytes) {
        bytes.resize(qsizetype(status.st_size));
        qsizetype filled = 0;
        while (filled < bytes.size()) {
            const ssize_t got = ::read(fd, bytes.data() + filled, size_t(bytes.size() - filled));
            if (got < 0 && errno == EINTR) {
                continue;
            }
            if (got <= 0) {
                break;
            }
            filled += got;
        }
        bytes.truncate(filled);
    }
    ::close(fd);
    return bytes;
}

// Creates `path` (and its parents) when missing, private to the user.
bool makePrivateFolder(const QString& path)
{
    if (QFileInfo(path).isDir()) {
        return true;
    }
    if (!QDir().mkpath(path)) {
        return false;
    }
    return QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

} // namespace

ThumbnailDiskCache::ThumbnailDiskCache(const QString& rootPath) : m_rootPath(rootPath) {}

QString ThumbnailDiskCache::defaultRootPath()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) +
           QStringLiteral("/thumbnails");
}

QByteArray ThumbnailDiskCache::entryUri(const QUrl& url)
{
    return QUrl::fromLocalFile(url.toLocalFile()).toEncoded(QUrl::FullyEncoded);
}

QString ThumbnailDiskCache::entryPath(const QUrl& url, const Folder& folder) const
{
    const QByteArray digest = QCryptographicHash::hash(entryUri(url), QCryptographicHash::Md5);
    return m_rootPath + u'/' + QLatin1StringView(folder.name) + u'/' +
           QString::fromLatin1(digest.toHex()) + QStringLiteral(".png");
}

std::optional<qint64> ThumbnailDiskCache::modificationTime(const QUrl& url)
{
    if (!url.isLocalFile()) {
        return std::nullopt;
    }
    const QFileInfo info(url.toLocalFile());
    if (!info.exists()) {
        return std::nullopt;
    }
    return info.lastModified().toSecsSinceEpoch();
}

bool ThumbnailDiskCache::isInsideCache(const QUrl& url) const
{
    const QString root = QFileInfo(m_rootPath).canonicalFilePath();
    const QString file = QFileInfo(url.toLocalFile()).canonicalFilePath();
    const QString absoluteFile = QFileInfo(url.toLocalFile()).absoluteFilePath();
    const auto isUnder = [](const QString& path, const QString& folder) {
        return !folder.isEmpty() && path.startsWith(folder + u'/');
    };
    return isUnder(file, root) || isUnder(absoluteFile, QFileInfo(m_rootPath).absoluteFilePath());
}

QImage ThumbnailDiskCache::thumbnail(const QUrl& url, int maxPixelSize) const
{
    if (!url.isLocalFile() || isInsideCache(url)) {
        return {};
    }
    const std::optional<qint64> mtime = modificationTime(url);
    if (!mtime) {
        return {};
    }
    const QByteArray uri = entryUri(url);
    // Folders large enough for the request first, smallest first; then the smaller ones,
    // largest first, which can only hold a whole image that is smaller than the request.
    QList<const Folder*> order;
    for (const Folder& folder : folders) {
        if (folder.pixelSize >= maxPixelSize) {
            order.append(&folder);
        }
    }
    for (auto it = folders.rbegin(); it != folders.rend(); ++it) {
        if (it->pixelSize < maxPixelSize) {
            order.append(&*it);
        }
    }
    for (const Folder* folder : order) {
        const QImage entry = validEntry(entryPath(url, *folder), uri, *mtime, *folder);
        if (entry.isNull()) {
            continue;
        }
        const bool isWholeImage = entry.text(imageWidthKey).toLongLong() == entry.width() &&
                                  entry.text(imageHeightKey).toLongLong() == entry.height();
        if (BitmapSize::longestSide(entry.size()) >= maxPixelSize || isWholeImage) {
            return entry;
        }
    }
    return {};
}

QImage ThumbnailDiskCache::validEntry(const QString& path, const QByteArray& uri,
                                      qint64 modificationTime, const Folder& folder) const
{
    QByteArray bytes = readRegularFile(path, maximumEntryBytes);
    if (bytes.isEmpty()) {
        return {};
    }
    if (!hasModestText(bytes)) {
        return {};
    }
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, "png");
    // The header's size is checked before any pixel is allocated, so an entry claiming huge
    // dimensions costs nothing.
    const QSize size = reader.size();
    if (size.isEmpty() || BitmapSize::longestSide(size) > folder.pixelSize) {
        return {};
    }
    QImage image;
    if (!reader.read(&image) || image.size() != size) {
        return {};
    }
    if (image.text(uriKey).toUtf8() != uri ||
        image.text(mtimeKey).trimmed() != QString::number(modificationTime)) {
        return {};
    }
    return image;
}

bool ThumbnailDiskCache::store(const QUrl& url, const QImage& image, qint64 sourceModificationTime,
                               bool isWholeImage) const
{
    if (image.isNull() || !url.isLocalFile() || isInsideCache(url)) {
        return false;
    }
    const int side = BitmapSize::longestSide(image.size());
    const Folder* target = nullptr;
    for (const Folder& folder : folders) {
        if (folder.pixelSize >= side) {
            target = &folder;
            break;
        }
    }
    if (target == nullptr || !makePrivateFolder(m_rootPath)) {
        return false;
    }
    const QString folderPath = m_rootPath + u'/' + QLatin1StringView(target->name);
    if (!makePrivateFolder(folderPath)) {
        return false;
    }

    // The pixels alone: text the decoder read from the source file stays out of the entry.
    QImage tagged(image.constBits(), image.width(), image.height(), image.bytesPerLine(),
                  image.format());
    tagged.setColorSpace(image.colorSpace());
    tagged.setText(uriKey, QString::fromUtf8(entryUri(url)));
    tagged.setText(mtimeKey, QString::number(sourceModificationTime));
    if (isWholeImage) {
        tagged.setText(imageWidthKey, QString::number(image.width()));
        tagged.setText(imageHeightKey, QString::number(image.height()));
    }

    // Written beside the entry under a temporary name (created private to the user), then
    // renamed over it, so a reader never sees half an entry and a link or FIFO left in its
    // place is replaced rather than followed.
    QTemporaryFile file(folderPath + QStringLiteral("/.vistrel-XXXXXX.png"));
    if (!file.open()) {
        return false;
    }
    file.setPermissions(QFile::ReadOwner | QFile::WriteOwner);
    QImageWriter writer(&file, "png");
    if (!writer.write(tagged) || !file.flush()) {
        return false;
    }
    const QString entry = entryPath(url, *target);
    if (std::rename(QFile::encodeName(file.fileName()).constData(),
                    QFile::encodeName(entry).constData()) != 0) {
        return false;
    }
    file.setAutoRemove(false);
    return true;
}
