#include "DerivedImageOutput.h"

#include "GifEncoder.h"

#include <QBuffer>
#include <QColorSpace>
#include <QFile>
#include <QFileInfo>
#include <QImageWriter>
#include <QRandomGenerator>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace DerivedImageOutput {

namespace {

// JPEG quality factors (0 to 1): the one used without a size limit, and the steps tried in
// this order under a limit.
constexpr double unlimitedJPEGFactor = 0.92;
constexpr double limitedJPEGFactors[] = {0.82, 0.72, 0.62, 0.52, 0.42, 0.32};
// Names tried before giving up when every chosen name is taken before the copy can take it.
constexpr int maximumCommitAttempts = 1000;
// Random names tried for the temporary file.
constexpr int maximumTemporaryAttempts = 100;

enum class Commit
{
    done,
    nameTaken,
    failed
};

// Any directory entry counts, a dangling symbolic link too: the copy may not take its name.
bool entryExists(const QString& path)
{
    struct stat status;
    return ::lstat(QFile::encodeName(path).constData(), &status) == 0;
}

std::optional<QByteArray> encodedWithQt(const QImage& image, const char* format, int quality)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, format);
    if (quality >= 0) {
        writer.setQuality(quality);
    }
    if (!writer.write(image)) {
        return std::nullopt;
    }
    return bytes;
}

std::optional<QByteArray> encodedJPEG(const QImage& image, double factor)
{
    return encodedWithQt(image, "jpeg", int(std::lround(factor * 100)));
}

bool writeAll(int fd, const QByteArray& data)
{
    qsizetype written = 0;
    while (written < data.size()) {
        const ssize_t n =
            ::write(fd, data.constData() + written, std::size_t(data.size() - written));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        written += n;
    }
    return true;
}

// A hidden file in `folder` holding `data`, flushed to the disk; removed again unless released.
class TemporaryFile
{
public:
    TemporaryFile(const QString& folder, const QByteArray& data)
    {
        for (int attempt = 0; attempt < maximumTemporaryAttempts; ++attempt) {
            const QString name =
                QStringLiteral(".vistrel-copy-%1.tmp")
                    .arg(QRandomGenerator::global()->generate(), 8, 16, QLatin1Char('0'));
            const QByteArray path = QFile::encodeName(folder + u'/' + name);
            // Created exclusively with the usual permissions (the umask applies).
            const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
            if (fd < 0) {
                if (errno == EEXIST) {
                    continue;
                }
                return;
            }
            m_path = path;
            const bool written = writeAll(fd, data) && ::fsync(fd) == 0;
            if (::close(fd) != 0 || !written) {
                remove();
            }
            return;
        }
    }
    ~TemporaryFile() { remove(); }
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;

    bool isValid() const { return !m_path.isEmpty(); }
    const QByteArray& path() const { return m_path; }
    // The file now lives under another name: nothing to remove.
    void release() { m_path.clear(); }
    void remove()
    {
        if (!m_path.isEmpty()) {
            ::unlink(m_path.constData());
            m_path.clear();
        }
    }

private:
    QByteArray m_path;
};

// Gives the temporary file the name `target` unless an entry of that name exists, atomically.
Commit commitWithoutReplacing(TemporaryFile& file, const QByteArray& target)
{
#ifdef Q_OS_LINUX
    if (::renameat2(AT_FDCWD, file.path().constData(), AT_FDCWD, target.constData(),
                    RENAME_NOREPLACE) == 0) {
        file.release();
        return Commit::done;
    }
    if (errno == EEXIST) {
        return Commit::nameTaken;
    }
    // File systems without no-replace renames (NFS, some FUSE file systems) still offer hard
    // links, which never replace either.
    if (errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP) {
        return Commit::failed;
    }
#endif
    if (::link(file.path().constData(), target.constData()) == 0) {
        file.remove();
        return Commit::done;
    }
    return errno == EEXIST ? Commit::nameTaken : Commit::failed;
}

// Makes the new name itself durable, not only the file's contents.
void syncFolder(const QString& folder)
{
    const int fd =
        ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

} // namespace

bool isJPEGExtension(const QString& extension)
{
    return extension == u"jpg" || extension == u"jpeg" || extension == u"jpe";
}

QString outputImageExtension(const QString& originalExtension)
{
    static const QStringList kept = {u"jpg"_qs, u"jpeg"_qs, u"jpe"_qs,  u"png"_qs,
                                     u"gif"_qs, u"tif"_qs,  u"tiff"_qs, u"bmp"_qs};
    return kept.contains(originalExtension) ? originalExtension : u"png"_qs;
}

FileType fileType(const QString& pathExtension)
{
    if (isJPEGExtension(pathExtension)) {
        return FileType::jpeg;
    }
    if (pathExtension == u"gif") {
        return FileType::gif;
    }
    if (pathExtension == u"tif" || pathExtension == u"tiff") {
        return FileType::tiff;
    }
    if (pathExtension == u"bmp") {
        return FileType::bmp;
    }
    return FileType::png;
}

QString pathExtension(const QUrl& url)
{
    const QString name = QFileInfo(url.toLocalFile()).fileName();
    const qsizetype dot = name.lastIndexOf(u'.');
    if (dot <= 0 || dot == name.size() - 1) {
        return {};
    }
    return name.mid(dot + 1);
}

QUrl makeDerivedCopyURL(const QUrl& original, const QString& suffixBase,
                        const QString& pathExtension)
{
    const QFileInfo info(original.toLocalFile());
    const QString extension = DerivedImageOutput::pathExtension(original);
    const QString name = info.fileName();
    const QString stem = extension.isEmpty() ? name : name.left(name.size() - extension.size() - 1);
    const QString ending = pathExtension.isEmpty() ? QString() : u'.' + pathExtension;
    const QString base = info.path() + u'/' + stem + suffixBase;
    QString candidate = base + ending;
    for (qint64 counter = 2; entryExists(candidate); ++counter) {
        candidate = base + QString::number(counter) + ending;
    }
    return QUrl::fromLocalFile(candidate);
}

std::optional<QByteArray> encodedData(const QImage& image, FileType type,
                                      std::optional<qint64> maximumFileSize)
{
    if (image.isNull()) {
        return std::nullopt;
    }
    switch (type) {
    case FileType::png:
        return encodedWithQt(image, "png", -1);
    case FileType::tiff:
        return encodedWithQt(image, "tiff", -1);
    case FileType::bmp:
        return encodedWithQt(image, "bmp", -1);
    case FileType::gif:
        return GifEncoder::encode(image);
    case FileType::jpeg:
        break;
    }
    if (!maximumFileSize) {
        return encodedJPEG(image, unlimitedJPEGFactor);
    }
    std::optional<QByteArray> smallest;
    for (const double factor : limitedJPEGFactors) {
        auto bytes = encodedJPEG(image, factor);
        if (!bytes) {
            continue;
        }
        if (bytes->size() <= *maximumFileSize) {
            return bytes;
        }
        if (!smallest || bytes->size() < smallest->size()) {
            smallest = std::move(bytes);
        }
    }
    return smallest;
}

namespace {

// The same pixels without the text an image read by Qt carries (a PNG's text chunks, which
// can hold EXIF with GPS or XMP): only what the metadata hook adds may reach a copy.
QImage withoutText(const QImage& image)
{
    if (image.textKeys().isEmpty()) {
        return image;
    }
    QImage pixels(image.constBits(), image.width(), image.height(), image.bytesPerLine(),
                  image.format());
    pixels = pixels.copy();
    pixels.setColorTable(image.colorTable());
    pixels.setColorSpace(image.colorSpace());
    pixels.setDotsPerMeterX(image.dotsPerMeterX());
    pixels.setDotsPerMeterY(image.dotsPerMeterY());
    pixels.setDevicePixelRatio(image.devicePixelRatio());
    return pixels;
}

} // namespace

std::optional<QUrl> writeDerivedCopy(const QImage& image, const QUrl& original,
                                     const QString& suffixBase, const QString& pathExtension,
                                     std::optional<qint64> maximumFileSize,
                                     const std::function<void(const QUrl&)>& beforeCommit,
                                     const EncodedFinisher& finishEncoded)
{
    if (!original.isLocalFile()) {
        return std::nullopt;
    }
    std::optional<QByteArray> data;
    try {
        data = encodedData(withoutText(image), fileType(pathExtension), maximumFileSize);
        if (data && finishEncoded) {
            data = finishEncoded(*data, pathExtension);
        }
    } catch (...) {
        // Out of memory for a huge copy, or a hook that threw: no copy, never a crash.
        return std::nullopt;
    }
    if (!data || data->isEmpty()) {
        return std::nullopt;
    }
    const QString folder = QFileInfo(original.toLocalFile()).path();
    TemporaryFile file(folder, *data);
    if (!file.isValid()) {
        return std::nullopt;
    }
    // A copy of a private photo stays private: no more readable than its original.
    QFile::setPermissions(QFile::decodeName(file.path()),
                          QFileInfo(original.toLocalFile()).permissions());
    for (int attempt = 0; attempt < maximumCommitAttempts; ++attempt) {
        const QUrl target = makeDerivedCopyURL(original, suffixBase, pathExtension);
        if (beforeCommit) {
            beforeCommit(target);
        }
        switch (commitWithoutReplacing(file, QFile::encodeName(target.toLocalFile()))) {
        case Commit::done:
            syncFolder(folder);
            return target;
        case Commit::nameTaken:
            continue;
        case Commit::failed:
            return std::nullopt;
        }
    }
    return std::nullopt;
}

} // namespace DerivedImageOutput
