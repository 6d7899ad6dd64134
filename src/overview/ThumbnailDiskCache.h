#pragma once

#include <QImage>
#include <QString>
#include <QUrl>
#include <array>
#include <optional>

// The desktop's shared thumbnail cache: PNG files named after the MD5 of the file's URI in one
// folder per size ("normal" 128, "large" 256, "x-large" 512 pixels longest side), each tagged
// with the file's URI and modification time so a changed or different file never matches.
//
// Entries written by other programs are read with suspicion: only a small regular file (never
// a link or a device) whose PNG parses, whose tags match and whose size fits its folder
// counts. Every method is safe to call from any thread; a cache that cannot be written is
// ignored.
class ThumbnailDiskCache
{
public:
    struct Folder
    {
        const char* name;
        int pixelSize;
    };
    // Smallest first.
    static constexpr std::array<Folder, 3> folders{
        {{"normal", 128}, {"large", 256}, {"x-large", 512}}};
    // Entries at least this large (bytes) are never read.
    static constexpr qint64 maximumEntryBytes = qint64(4) << 20;

    // `rootPath` is the folder that holds the size folders.
    explicit ThumbnailDiskCache(const QString& rootPath = defaultRootPath());

    // "thumbnails" in the user's cache folder ($XDG_CACHE_HOME, else ~/.cache).
    static QString defaultRootPath();

    // The URI an entry is tagged with and named after: the fully encoded file URL.
    static QByteArray entryUri(const QUrl& url);
    // The entry file of `url` in the size folder `folder`.
    QString entryPath(const QUrl& url, const Folder& folder) const;
    // The file's modification time in whole seconds since the epoch; none when it is not a
    // local file that exists.
    static std::optional<qint64> modificationTime(const QUrl& url);

    // A valid entry of `url` whose longest side is at least `maxPixelSize` (or that shows the
    // whole, smaller image); null when there is none. Looks in the smallest folder that is
    // large enough first.
    QImage thumbnail(const QUrl& url, int maxPixelSize) const;

    // Writes `image` as the entry of `url` in the smallest folder it fits, tagged with
    // `sourceModificationTime` (taken before the decode, so an edit made meanwhile is not
    // hidden). `isWholeImage` marks an image that is the file at full size, which then serves
    // any larger request too. False when nothing was written: not a local file, a file inside
    // this cache, an image larger than the largest folder, or an unwritable cache.
    bool store(const QUrl& url, const QImage& image, qint64 sourceModificationTime,
               bool isWholeImage) const;

private:
    bool isInsideCache(const QUrl& url) const;
    QImage validEntry(const QString& path, const QByteArray& uri, qint64 modificationTime,
                      const Folder& folder) const;

    QString m_rootPath;
};
