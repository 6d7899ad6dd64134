#include "AnimationProbe.h"

#include "ImageSource.h"

#include <QByteArray>
#include <QFile>
#include <QFileInfo>
#include <QtEndian>
#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Sequential reads from an open file through a small window, so walking thousands of tiny GIF
// sub-blocks costs a few system calls; skipped ranges are never read.
struct FileCursor
{
    static constexpr qint64 windowSize = 64 * 1024;

    int fd = -1;
    qint64 fileSize = 0;
    qint64 position = 0;
    qint64 windowStart = 0;
    QByteArray window;

    // `count` bytes at the position into `out`, advancing; false past the end of the file.
    bool read(char* out, qint64 count)
    {
        while (count > 0) {
            if (position < windowStart || position >= windowStart + window.size()) {
                if (!fill()) {
                    return false;
                }
            }
            const qint64 offset = position - windowStart;
            const qint64 chunk = std::min(count, qint64(window.size()) - offset);
            std::memcpy(out, window.constData() + offset, size_t(chunk));
            out += chunk;
            count -= chunk;
            position += chunk;
        }
        return true;
    }

    bool readByte(quint8& value) { return read(reinterpret_cast<char*>(&value), 1); }

    QByteArray readBytes(qint64 count)
    {
        QByteArray bytes(qsizetype(count), Qt::Uninitialized);
        return read(bytes.data(), count) ? bytes : QByteArray();
    }

    // Moves past `count` bytes; false when that leaves the file.
    bool skip(qint64 count)
    {
        if (count < 0 || count > fileSize - position) {
            return false;
        }
        position += count;
        return true;
    }

    bool fill()
    {
        if (position >= fileSize) {
            return false;
        }
        window.resize(qsizetype(std::min(windowSize, fileSize - position)));
        qsizetype filled = 0;
        while (filled < window.size()) {
            const ssize_t got = ::pread(fd, window.data() + filled, size_t(window.size() - filled),
                                        off_t(position + filled));
            if (got < 0 && errno == EINTR) {
                continue;
            }
            if (got <= 0) {
                break;
            }
            filled += got;
        }
        window.truncate(filled);
        windowStart = position;
        return filled > 0;
    }
};

// GIF: header, logical screen and its colour table, then blocks until a second image
// descriptor (animated) or the trailer.
bool gifIsAnimated(FileCursor& file)
{
    quint8 screen[7];
    if (!file.skip(6) || !file.read(reinterpret_cast<char*>(screen), 7)) {
        return false;
    }
    const auto skipColourTable = [&file](quint8 flags) {
        return (flags & 0x80) == 0 || file.skip(3 * (qint64(2) << (flags & 0x07)));
    };
    const auto skipSubBlocks = [&file] {
        quint8 length = 0;
        do {
            if (!file.readByte(length) || !file.skip(length)) {
                return false;
            }
        } while (length != 0);
        return true;
    };
    if (!skipColourTable(screen[4])) {
        return false;
    }
    int images = 0;
    quint8 introducer = 0;
    while (file.readByte(introducer)) {
        if (introducer == 0x2C) {
            if (++images > 1) {
                return true;
            }
            quint8 descriptor[9];
            if (!file.read(reinterpret_cast<char*>(descriptor), 9) ||
                !skipColourTable(descriptor[8]) || !file.skip(1) || !skipSubBlocks()) {
                return false;
            }
        } else if (introducer == 0x21) {
            if (!file.skip(1) || !skipSubBlocks()) {
                return false;
            }
        } else {
            // The trailer (0x3B) or garbage.
            return false;
        }
    }
    return false;
}

// WebP: RIFF container whose first chunk is VP8X with the animation flag, then two ANMF chunks.
bool webpIsAnimated(FileCursor& file)
{
    const QByteArray header = file.readBytes(21);
    if (header.size() != 21 || header.mid(12, 4) != "VP8X" || (quint8(header[20]) & 0x02) == 0) {
        return false;
    }
    file.position = 12;
    int frames = 0;
    while (true) {
        const QByteArray chunk = file.readBytes(8);
        if (chunk.size() != 8) {
            return false;
        }
        // A frame counts once its whole payload is in the file.
        const quint32 size = qFromLittleEndian<quint32>(chunk.constData() + 4);
        if (!file.skip(qint64(size) + (size & 1))) {
            return false;
        }
        if (chunk.left(4) == "ANMF" && ++frames > 1) {
            return true;
        }
    }
}

// PNG: chunks after the signature until the first IDAT; acTL's first field is the frame count.
bool pngIsAnimated(FileCursor& file)
{
    file.position = 8;
    while (true) {
        const QByteArray chunk = file.readBytes(8);
        if (chunk.size() != 8) {
            return false;
        }
        const quint32 length = qFromBigEndian<quint32>(chunk.constData());
        const QByteArray type = chunk.mid(4, 4);
        if (length > 0x7FFFFFFFu || type == "IDAT" || type == "IEND") {
            return false;
        }
        if (type == "acTL") {
            const QByteArray control = file.readBytes(4);
            return length >= 8 && control.size() == 4 &&
                   qFromBigEndian<quint32>(control.constData()) > 1;
        }
        // Data and CRC.
        if (!file.skip(qint64(length) + 4)) {
            return false;
        }
    }
}

// ISO base media file (AVIF, HEIF): the leading 'ftyp' box lists the image sequence brand.
bool isobmffIsAnimated(FileCursor& file)
{
    // A file type box longer than this is not one any encoder writes.
    constexpr quint32 maximumFtypSize = 4096;
    const QByteArray header = file.readBytes(8);
    const quint32 size = header.size() == 8 ? qFromBigEndian<quint32>(header.constData()) : 0;
    if (size < 16 || size > maximumFtypSize || header.mid(4, 4) != "ftyp") {
        return false;
    }
    const QByteArray body = file.readBytes(size - 8);
    if (body.size() != qsizetype(size - 8)) {
        return false;
    }
    if (body.left(4) == "avis") {
        return true;
    }
    for (qsizetype at = 8; at + 4 <= body.size(); at += 4) {
        if (body.mid(at, 4) == "avis") {
            return true;
        }
    }
    return false;
}

} // namespace

namespace AnimationProbe {

bool hasAnimatableName(const QString& fileName)
{
    static const std::array<QString, 5> suffixes = {QStringLiteral("gif"), QStringLiteral("webp"),
                                                    QStringLiteral("png"), QStringLiteral("apng"),
                                                    QStringLiteral("avif")};
    const QString suffix = QFileInfo(fileName).suffix();
    return std::any_of(suffixes.cbegin(), suffixes.cend(), [&suffix](const QString& known) {
        return suffix.compare(known, Qt::CaseInsensitive) == 0;
    });
}

bool isAnimated(const QString& path)
{
    // O_NONBLOCK: opening a FIFO must not wait for a writer; fstat then refuses it.
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    struct stat status
    {};
    bool animated = false;
    if (::fstat(fd, &status) == 0 && S_ISREG(status.st_mode) &&
        status.st_size <= ImageSource::maximumBytes) {
        FileCursor file;
        file.fd = fd;
        file.fileSize = status.st_size;
        const QByteArray magic = file.readBytes(12);
        file.position = 0;
        if (magic.startsWith("GIF87a") || magic.startsWith("GIF89a")) {
            animated = gifIsAnimated(file);
        } else if (magic.startsWith("RIFF") && magic.mid(8, 4) == "WEBP") {
            animated = webpIsAnimated(file);
        } else if (magic.startsWith("\x89PNG\r\n\x1a\n")) {
            animated = pngIsAnimated(file);
        } else if (magic.mid(4, 4) == "ftyp") {
            animated = isobmffIsAnimated(file);
        }
    }
    ::close(fd);
    return animated;
}

} // namespace AnimationProbe
