#include "JpegStream.h"

#include <cstring>

namespace {

constexpr unsigned char markerPrefix = 0xFF;
constexpr unsigned char startOfImage = 0xD8;
constexpr unsigned char endOfImage = 0xD9;
constexpr unsigned char startOfScan = 0xDA;
constexpr unsigned char temporary = 0x01;
constexpr unsigned char firstRestart = 0xD0;
constexpr unsigned char lastRestart = 0xD7;
constexpr unsigned char app1 = 0xE1;
constexpr unsigned char app2 = 0xE2;

// Markers that stand alone, without a length field and payload.
bool isStandalone(unsigned char code)
{
    return code == temporary || code == startOfImage || code == 0x00 ||
           (code >= firstRestart && code <= lastRestart);
}

// Start-of-frame markers: C0 to CF except the huffman table (C4), arithmetic conditioning
// (CC) and the reserved JPG (C8) markers.
bool isStartOfFrame(unsigned char code)
{
    return code >= 0xC0 && code <= 0xCF && code != 0xC4 && code != 0xC8 && code != 0xCC;
}

quint32 bigEndian(const unsigned char* bytes, int count)
{
    quint32 value = 0;
    for (int i = 0; i < count; ++i) {
        value = (value << 8) | bytes[i];
    }
    return value;
}

// Calls `visit(code, payload, payloadOffset)` for each marker segment of the first image's
// headers, in order, until it returns false or the first scan (or the end) is reached.
template <typename Visit> void forEachHeaderSegment(QByteArrayView data, Visit visit)
{
    const auto* bytes = reinterpret_cast<const unsigned char*>(data.data());
    const qsizetype size = data.size();
    if (size < 4 || bytes[0] != markerPrefix || bytes[1] != startOfImage) {
        return;
    }
    qsizetype pos = 2;
    while (pos < size) {
        if (bytes[pos] != markerPrefix) {
            // Bytes where a marker belongs are junk the decoder skips with a warning; so do we.
            const void* prefix = std::memchr(bytes + pos, markerPrefix, size_t(size - pos));
            if (prefix == nullptr) {
                return;
            }
            pos = static_cast<const unsigned char*>(prefix) - bytes;
        }
        while (pos < size && bytes[pos] == markerPrefix) {
            ++pos; // fill bytes
        }
        if (pos >= size) {
            return;
        }
        const unsigned char code = bytes[pos++];
        if (code == startOfImage) {
            return;
        }
        if (isStandalone(code)) {
            continue;
        }
        if (code == endOfImage || code == startOfScan || size - pos < 2) {
            return;
        }
        const qsizetype length = qsizetype(bigEndian(bytes + pos, 2));
        if (length < 2 || size - pos < length) {
            return;
        }
        if (!visit(code, data.sliced(pos + 2, length - 2), pos + 2)) {
            return;
        }
        pos += length;
    }
}

// An unsigned integer of `count` bytes at `at` in a TIFF structure of the given byte order.
// Callers check bounds.
quint32 tiffInteger(QByteArrayView tiff, qint64 at, int count, bool littleEndian)
{
    const auto* bytes = reinterpret_cast<const unsigned char*>(tiff.data()) + at;
    quint32 value = 0;
    for (int i = 0; i < count; ++i) {
        value = (value << 8) | bytes[littleEndian ? count - 1 - i : i];
    }
    return value;
}

constexpr quint32 mpEntryTag = 0xB002;
constexpr quint32 undefinedType = 7;
constexpr qsizetype mpEntrySize = 16;
constexpr qsizetype ifdEntrySize = 12;
constexpr quint32 mpTypeMask = 0x00FFFFFF;
constexpr quint32 largeThumbnailVga = 0x010001;
constexpr quint32 largeThumbnailFullHd = 0x010002;

// The entries of an MPF segment's index; `tiffStart` is where its TIFF header lies in `data`,
// the origin of the entries' offsets.
QList<JpegStream::IndexedImage> readMpfIndex(QByteArrayView data, QByteArrayView tiff,
                                             qsizetype tiffStart)
{
    if (tiff.size() < 8 || (!tiff.startsWith("II") && !tiff.startsWith("MM"))) {
        return {};
    }
    const bool littleEndian = tiff.startsWith("II");
    const auto u16 = [&](qint64 at) { return qint64(tiffInteger(tiff, at, 2, littleEndian)); };
    const auto u32 = [&](qint64 at) { return qint64(tiffInteger(tiff, at, 4, littleEndian)); };
    const qint64 ifd = u32(4);
    if (u16(2) != 42 || ifd + 2 > tiff.size()) {
        return {};
    }
    const qint64 entryCount = u16(ifd);
    if (ifd + 2 + entryCount * ifdEntrySize > tiff.size()) {
        return {};
    }
    for (qint64 entry = ifd + 2; entry < ifd + 2 + entryCount * ifdEntrySize;
         entry += ifdEntrySize) {
        if (u16(entry) != mpEntryTag) {
            continue;
        }
        const qint64 length = u32(entry + 4);
        const qint64 start = u32(entry + 8);
        if (u16(entry + 2) != undefinedType || length < mpEntrySize || length % mpEntrySize != 0 ||
            start + length > tiff.size()) {
            return {};
        }
        QList<JpegStream::IndexedImage> images;
        for (qint64 at = start; at < start + length; at += mpEntrySize) {
            const quint32 attribute = quint32(u32(at));
            const qint64 imageSize = u32(at + 4);
            const qint64 offset = u32(at + 8);
            if (offset == 0) {
                continue; // the primary image
            }
            const qint64 imageStart = tiffStart + offset;
            if (imageStart >= data.size() || imageSize > data.size() - imageStart) {
                continue;
            }
            const quint32 type = attribute & mpTypeMask;
            images.append({data.sliced(imageStart, imageSize),
                           type == largeThumbnailVga || type == largeThumbnailFullHd});
        }
        return images;
    }
    return {};
}

} // namespace

namespace JpegStream {

QSize frameSize(QByteArrayView data)
{
    QSize size;
    forEachHeaderSegment(data, [&](unsigned char code, QByteArrayView payload, qsizetype) {
        if (!isStartOfFrame(code)) {
            return true;
        }
        if (payload.size() >= 5) {
            const auto* bytes = reinterpret_cast<const unsigned char*>(payload.data());
            const int height = int(bigEndian(bytes + 1, 2));
            const int width = int(bigEndian(bytes + 3, 2));
            if (width > 0 && height > 0) {
                size = QSize(width, height);
            }
        }
        return false;
    });
    return size;
}

int frameComponentCount(QByteArrayView data)
{
    int components = 0;
    forEachHeaderSegment(data, [&](unsigned char code, QByteArrayView payload, qsizetype) {
        if (!isStartOfFrame(code)) {
            return true;
        }
        if (payload.size() >= 6) {
            components = reinterpret_cast<const unsigned char*>(payload.data())[5];
        }
        return false;
    });
    return components;
}

int exifOrientation(QByteArrayView data)
{
    static constexpr QByteArrayView signature("Exif\0\0", 6);
    constexpr quint32 orientationTag = 0x0112;
    constexpr quint32 shortType = 3;
    int orientation = 0;
    forEachHeaderSegment(data, [&](unsigned char code, QByteArrayView payload, qsizetype) {
        if (code != app1) {
            return true;
        }
        // Qt's reader takes the APP1 segments as one block that must begin as EXIF: an EXIF
        // segment after another APP1 (XMP) is not read.
        if (!payload.startsWith(signature)) {
            return false;
        }
        const QByteArrayView tiff = payload.sliced(signature.size());
        if (tiff.size() < 8 || (!tiff.startsWith("II") && !tiff.startsWith("MM"))) {
            return false;
        }
        const bool littleEndian = tiff.startsWith("II");
        const auto u16 = [&](qint64 at) { return qint64(tiffInteger(tiff, at, 2, littleEndian)); };
        const auto u32 = [&](qint64 at) { return qint64(tiffInteger(tiff, at, 4, littleEndian)); };
        const qint64 ifd = u32(4);
        if (u16(2) != 42 || ifd < 8 || ifd + 2 > tiff.size()) {
            return false;
        }
        const qint64 entries = u16(ifd);
        for (qint64 entry = ifd + 2;
             entry + ifdEntrySize <= tiff.size() && entry < ifd + 2 + entries * ifdEntrySize;
             entry += ifdEntrySize) {
            if (u16(entry) == orientationTag) {
                // A SHORT of count 1 sits left-aligned in the entry's value field.
                const qint64 value = u16(entry + 8);
                if (u16(entry + 2) == shortType && u32(entry + 4) == 1 && value >= 1 &&
                    value <= 8) {
                    orientation = int(value);
                }
                break;
            }
        }
        return false;
    });
    return orientation;
}

QList<IndexedImage> indexedImages(QByteArrayView data)
{
    static constexpr QByteArrayView signature("MPF\0", 4);
    QList<IndexedImage> images;
    forEachHeaderSegment(data, [&](unsigned char code, QByteArrayView payload, qsizetype at) {
        if (code != app2 || !payload.startsWith(signature)) {
            return true;
        }
        images = readMpfIndex(data, payload.sliced(signature.size()), at + signature.size());
        return false;
    });
    return images;
}

bool isComplete(QByteArrayView data)
{
    const auto* bytes = reinterpret_cast<const unsigned char*>(data.data());
    const qsizetype size = data.size();
    if (size < 4 || bytes[0] != markerPrefix || bytes[1] != startOfImage) {
        return false;
    }
    qsizetype pos = 2;
    while (pos < size) {
        // Bytes where a marker belongs are junk the decoder skips with a warning; so do we.
        const void* prefix = std::memchr(bytes + pos, markerPrefix, size_t(size - pos));
        if (prefix == nullptr) {
            return false;
        }
        pos = static_cast<const unsigned char*>(prefix) - bytes;
        while (pos < size && bytes[pos] == markerPrefix) {
            ++pos; // fill bytes
        }
        if (pos >= size) {
            return false;
        }
        const unsigned char code = bytes[pos++];
        if (code == endOfImage) {
            return true;
        }
        if (code == startOfImage) {
            return false; // the next image of a multi-picture file: this one never ended
        }
        if (isStandalone(code)) {
            continue;
        }
        if (size - pos < 2) {
            return false;
        }
        const qsizetype length = (qsizetype(bytes[pos]) << 8) | bytes[pos + 1];
        if (length < 2 || size - pos < length) {
            return false;
        }
        pos += length;
        if (code != startOfScan) {
            continue;
        }
        // Entropy-coded data follows the scan header. Inside it a 0xFF byte is followed by a
        // stuffed zero or a restart marker; anything else is the next real marker.
        while (pos < size) {
            const void* next = std::memchr(bytes + pos, markerPrefix, size_t(size - pos));
            if (next == nullptr) {
                return false;
            }
            const qsizetype at = static_cast<const unsigned char*>(next) - bytes;
            if (at + 1 >= size) {
                return false;
            }
            const unsigned char following = bytes[at + 1];
            if (following == 0x00 || (following >= firstRestart && following <= lastRestart)) {
                pos = at + 2;
                continue;
            }
            pos = at;
            break;
        }
    }
    return false;
}

} // namespace JpegStream
