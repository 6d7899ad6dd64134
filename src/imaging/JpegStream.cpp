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

// Markers that stand alone, without a length field and payload.
bool isStandalone(unsigned char code)
{
    return code == temporary || code == startOfImage || code == 0x00 ||
           (code >= firstRestart && code <= lastRestart);
}

} // namespace

namespace JpegStream {

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
