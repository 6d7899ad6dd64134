// An entry of the desktop's shared thumbnail cache, which any program of the user may have
// written: the input is the entry file of one fixed source image, looked up at each size.
//
// The source's path and modification time are fixed, so inputs that carry the matching tags
// (as the seeds do) reach the size and content checks behind the tag check.

#include "FuzzInput.h"
#include "ThumbnailDiskCache.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cstdio>
#include <cstdlib>

namespace {

constexpr qint64 sourceModificationTime = 1700000000;

struct Fixture
{
    QString cacheRoot;
    QUrl source;
};

const Fixture& fixture()
{
    static const Fixture fixed = [] {
        const QString base = QDir::tempPath() + QStringLiteral("/vistrel-fuzz-thumbnailcache");
        const QString sourcePath = base + QStringLiteral("/source.png");
        QDir().mkpath(base);
        QFile source(sourcePath);
        if (!source.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
            source.write("source") != 6 ||
            !source.setFileTime(QDateTime::fromSecsSinceEpoch(sourceModificationTime),
                                QFileDevice::FileModificationTime)) {
            std::fprintf(stderr, "vistrel-fuzz: cannot make the source file\n");
            std::abort();
        }
        return Fixture{FuzzInput::scratchFolder() + QStringLiteral("/cache"),
                       QUrl::fromLocalFile(sourcePath)};
    }();
    return fixed;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    FuzzInput::ensureApplication();
    fixture();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const Fixture& fixed = fixture();
    const ThumbnailDiskCache cache(fixed.cacheRoot);
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    for (const ThumbnailDiskCache::Folder& folder : ThumbnailDiskCache::folders) {
        const QString path = cache.entryPath(fixed.source, folder);
        QDir().mkpath(QFileInfo(path).path());
        QFile entry(path);
        if (!entry.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
            entry.write(bytes) != bytes.size()) {
            std::fprintf(stderr, "vistrel-fuzz: cannot write %s\n", qPrintable(path));
            std::abort();
        }
        entry.close();
        cache.thumbnail(fixed.source, folder.pixelSize);
        QFile::remove(path);
    }
    return 0;
}
