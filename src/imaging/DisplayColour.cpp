#include "DisplayColour.h"

#include <QColorSpace>
#include <QColorTransform>
#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#endif
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

namespace {

// Linear light (0 to 1) is carried in steps of 1/linearSteps: fine enough that the darkest
// sRGB levels, where the curve is steepest, still land within a tenth of a level.
constexpr int encodedEntries = 16384;
constexpr double linearSteps = encodedEntries - 1;

// The three output channels of one input channel's contribution travel packed in one 64-bit
// word, 21 bits each, so a pixel costs three table reads and two additions instead of nine
// reads. Every field is kept non-negative by a per-field offset, so additions never borrow
// across fields; the offsets are subtracted again when a field is read.
constexpr int fieldBits = 21;
constexpr quint64 fieldMask = (quint64(1) << fieldBits) - 1;

// The tables must agree with Qt's own conversion within this many levels per channel on a
// sample of colours, or Qt's conversion is used for the profile.
constexpr int tolerance = 2;

// Below this many pixels an image is converted on the calling thread alone.
constexpr qsizetype pixelsPerWorker = qsizetype(1) << 20;

// Profiles remembered with their tables; a folder of photos typically has one or two.
constexpr std::size_t cachedProfiles = 8;

constexpr bool littleEndian = Q_BYTE_ORDER == Q_LITTLE_ENDIAN;

double srgbEncoded(double linear)
{
    return linear <= 0.0031308 ? 12.92 * linear : 1.055 * std::pow(linear, 1 / 2.4) - 0.055;
}

struct Rgb
{
    int r;
    int g;
    int b;
};

// How one source colour space reaches sRGB.
struct Conversion
{
    enum class Kind
    {
        identity, // every 8-bit value maps onto itself: relabel only
        tables,   // the packed tables below
        qt,       // a profile the tables do not model: Qt's conversion
    };
    Kind kind = Kind::qt;
    std::array<std::array<quint64, 256>, 3> terms{}; // by input channel, then input value
    std::array<int, 3> offsets{};                    // by output channel
    // Linear step to sRGB level, padded so that a 4-byte read at any step stays inside.
    std::array<quint8, encodedEntries + 3> encoded{};
    // The same terms unpacked, by output channel, input channel and input value, for the
    // vector path.
    std::array<std::array<std::array<qint32, 256>, 3>, 3> separateTerms{};
    std::array<quint8, 256> grey{}; // grey level to sRGB grey level
};

// The table walk of one pixel, with the tables and offsets held in locals: pixel stores may
// alias anything, so reading them through the Conversion would reload them after every store.
class PixelMapper
{
public:
    explicit PixelMapper(const Conversion& conversion)
        : m_red(conversion.terms[0].data()), m_green(conversion.terms[1].data()),
          m_blue(conversion.terms[2].data()),
          m_encoded(conversion.encoded.data()), m_offsets{conversion.offsets[0],
                                                          conversion.offsets[1],
                                                          conversion.offsets[2]}
    {}

    Rgb operator()(unsigned r, unsigned g, unsigned b) const
    {
        const quint64 sum = m_red[r] + m_green[g] + m_blue[b];
        return {channel(sum, 0), channel(sum, 1), channel(sum, 2)};
    }

private:
    int channel(quint64 sum, int output) const
    {
        const int field = int((sum >> (fieldBits * output)) & fieldMask) - m_offsets[output];
        return m_encoded[std::clamp(field, 0, encodedEntries - 1)];
    }

    const quint64* m_red;
    const quint64* m_green;
    const quint64* m_blue;
    const quint8* m_encoded;
    int m_offsets[3];
};

// The 3x3 matrix from the source's primaries to sRGB's, both in linear light, by output row.
// Found by converting the three unit colours in floating point, which Qt does unclamped.
std::array<std::array<double, 3>, 3> linearMatrix(const QColorSpace& linearSource)
{
    QImage units(3, 1, QImage::Format_RGBX32FPx4);
    auto* values = reinterpret_cast<float*>(units.scanLine(0));
    for (int input = 0; input < 3; ++input) {
        for (int channel = 0; channel < 4; ++channel) {
            values[4 * input + channel] = channel == input || channel == 3 ? 1.0f : 0.0f;
        }
    }
    units.setColorSpace(linearSource);
    units.convertToColorSpace(QColorSpace::SRgbLinear);
    const auto* converted = reinterpret_cast<const float*>(units.constScanLine(0));
    std::array<std::array<double, 3>, 3> matrix{};
    for (int output = 0; output < 3; ++output) {
        for (int input = 0; input < 3; ++input) {
            matrix[output][input] = converted[4 * input + output];
        }
    }
    return matrix;
}

// Builds the tables of a matrix-and-curves profile (the only kind Qt reads) and checks them
// against Qt's own conversion.
std::shared_ptr<const Conversion> makeConversion(const QColorSpace& source)
{
    auto conversion = std::make_shared<Conversion>();
    const QColorSpace linearSource =
        source.withTransferFunction(QColorSpace::TransferFunction::Linear);
    const QColorTransform toLinear = source.transformationToColorSpace(linearSource);
    std::array<std::array<double, 256>, 3> linear{};
    for (int value = 0; value < 256; ++value) {
        const quint16 wide = quint16(value * 257);
        const QRgba64 mapped = toLinear.map(QRgba64::fromRgba64(wide, wide, wide, 65535));
        linear[0][value] = mapped.red() / 65535.0;
        linear[1][value] = mapped.green() / 65535.0;
        linear[2][value] = mapped.blue() / 65535.0;
    }
    const auto matrix = linearMatrix(linearSource);

    bool nearIdentity = true;
    for (int output = 0; output < 3; ++output) {
        double span = 0;
        for (int input = 0; input < 3; ++input) {
            const double coefficient = matrix[output][input];
            if (!std::isfinite(coefficient)) {
                return conversion;
            }
            nearIdentity = nearIdentity && std::abs(coefficient - (input == output)) < 1e-3;
            qint64 lowest = 0;
            qint64 highest = 0;
            std::array<qint64, 256> scaled{};
            for (int value = 0; value < 256; ++value) {
                scaled[value] = std::llround(coefficient * linear[input][value] * linearSteps);
                lowest = std::min(lowest, scaled[value]);
                highest = std::max(highest, scaled[value]);
                conversion->separateTerms[output][input][value] = qint32(scaled[value]);
            }
            span += double(highest - lowest);
            for (int value = 0; value < 256; ++value) {
                conversion->terms[input][value] += quint64(scaled[value] - lowest)
                                                   << (fieldBits * output);
            }
            conversion->offsets[output] -= int(lowest);
        }
        // A sum of three fields must fit its field; only absurd primaries come near.
        if (span > double(fieldMask)) {
            return conversion;
        }
    }
    for (int step = 0; step < encodedEntries; ++step) {
        conversion->encoded[step] = quint8(std::lround(255 * srgbEncoded(step / linearSteps)));
    }

    const PixelMapper map(*conversion);
    bool keepsEveryValue = nearIdentity;
    for (int value = 0; value < 256; ++value) {
        const Rgb grey = map(value, value, value);
        conversion->grey[value] = quint8(grey.g);
        keepsEveryValue = keepsEveryValue && grey.r == value && grey.g == value && grey.b == value;
    }

    const QColorTransform reference = source.transformationToColorSpace(QColorSpace::SRgb);
    constexpr int samples[] = {0, 32, 64, 128, 191, 224, 255};
    for (const int r : samples) {
        for (const int g : samples) {
            for (const int b : samples) {
                const QRgb expected = reference.map(qRgb(r, g, b));
                const Rgb actual = map(r, g, b);
                if (std::abs(actual.r - qRed(expected)) > tolerance ||
                    std::abs(actual.g - qGreen(expected)) > tolerance ||
                    std::abs(actual.b - qBlue(expected)) > tolerance) {
                    return conversion;
                }
            }
        }
    }
    conversion->kind = keepsEveryValue ? Conversion::Kind::identity : Conversion::Kind::tables;
    return conversion;
}

std::shared_ptr<const Conversion> conversionFor(const QColorSpace& source)
{
    static std::mutex mutex;
    static std::vector<std::pair<QColorSpace, std::shared_ptr<const Conversion>>> cache;
    {
        const std::lock_guard lock(mutex);
        const auto found = std::find_if(cache.begin(), cache.end(),
                                        [&](const auto& entry) { return entry.first == source; });
        if (found != cache.end()) {
            std::rotate(cache.begin(), found, found + 1);
            return cache.front().second;
        }
    }
    // Built outside the lock: two threads meeting a new profile at once merely both build it.
    auto conversion = makeConversion(source);
    const std::lock_guard lock(mutex);
    cache.emplace(cache.begin(), source, conversion);
    if (cache.size() > cachedProfiles) {
        cache.pop_back();
    }
    return conversion;
}

#if defined(__x86_64__) && defined(__GNUC__)
// Eight pixels at a time with AVX2 gathers, for 32-bit pixels whose fourth byte is kept as it
// is; the results equal the scalar path's exactly (the same integer sums and tables). Returns
// how many leading pixels it converted.
template <int R, int G, int B>
__attribute__((target("avx2"))) int convertPixelsWithAvx2(const Conversion& conversion,
                                                          uchar* pixels, int count)
{
    const __m256i byteMask = _mm256_set1_epi32(0xFF);
    const __m256i zero = _mm256_setzero_si256();
    const __m256i top = _mm256_set1_epi32(encodedEntries - 1);
    const __m256i keptBits = _mm256_set1_epi32(int(~((0xFFu << R) | (0xFFu << G) | (0xFFu << B))));
    const auto* encoded = reinterpret_cast<const int*>(conversion.encoded.data());
    constexpr int shifts[3] = {R, G, B};
    int x = 0;
    for (; x + 8 <= count; x += 8) {
        auto* at = reinterpret_cast<__m256i*>(pixels + 4 * qsizetype(x));
        const __m256i value = _mm256_loadu_si256(at);
        const __m256i in[3] = {_mm256_and_si256(_mm256_srli_epi32(value, R), byteMask),
                               _mm256_and_si256(_mm256_srli_epi32(value, G), byteMask),
                               _mm256_and_si256(_mm256_srli_epi32(value, B), byteMask)};
        __m256i result = _mm256_and_si256(value, keptBits);
        for (int output = 0; output < 3; ++output) {
            __m256i sum = zero;
            for (int input = 0; input < 3; ++input) {
                const int* terms = conversion.separateTerms[output][input].data();
                sum = _mm256_add_epi32(sum, _mm256_i32gather_epi32(terms, in[input], 4));
            }
            sum = _mm256_min_epi32(_mm256_max_epi32(sum, zero), top);
            const __m256i level =
                _mm256_and_si256(_mm256_i32gather_epi32(encoded, sum, 1), byteMask);
            result = _mm256_or_si256(result, _mm256_slli_epi32(level, shifts[output]));
        }
        _mm256_storeu_si256(at, result);
    }
    return x;
}

bool hasAvx2()
{
    static const bool supported = __builtin_cpu_supports("avx2");
    return supported;
}
#endif

// Rows of 32-bit pixels with the colour channels at bit positions R, G and B (and, when
// Premultiplied, the alpha at A). Unpremultiplied alpha needs no attention: it stays as it is.
template <int R, int G, int B, int A, bool Premultiplied>
void convertRows32(const Conversion& conversion, uchar* firstRow, qsizetype bytesPerLine, int rows,
                   int width)
{
    const PixelMapper map(conversion);
    constexpr quint32 colourBits = (0xFFu << R) | (0xFFu << G) | (0xFFu << B);
    for (int y = 0; y < rows; ++y) {
        uchar* pixel = firstRow + y * bytesPerLine;
        int x = 0;
#if defined(__x86_64__) && defined(__GNUC__)
        if (!Premultiplied && hasAvx2()) {
            x = convertPixelsWithAvx2<R, G, B>(conversion, pixel, width);
            pixel += 4 * qsizetype(x);
        }
#endif
        for (; x < width; ++x, pixel += 4) {
            quint32 value;
            std::memcpy(&value, pixel, 4);
            const unsigned alpha = Premultiplied ? (value >> A) & 0xFF : 255;
            if (alpha == 0) {
                continue;
            }
            unsigned r = (value >> R) & 0xFF;
            unsigned g = (value >> G) & 0xFF;
            unsigned b = (value >> B) & 0xFF;
            if (Premultiplied && alpha != 255) {
                const auto unpremultiplied = [&](unsigned channel) {
                    return std::min(255u, (channel * 255 + alpha / 2) / alpha);
                };
                r = unpremultiplied(r);
                g = unpremultiplied(g);
                b = unpremultiplied(b);
            }
            Rgb out = map(r, g, b);
            if (Premultiplied && alpha != 255) {
                const auto premultiplied = [&](int channel) {
                    const int product = channel * int(alpha) + 128;
                    return (product + (product >> 8)) >> 8;
                };
                out = {premultiplied(out.r), premultiplied(out.g), premultiplied(out.b)};
            }
            value = (value & ~colourBits) | quint32(out.r) << R | quint32(out.g) << G |
                    quint32(out.b) << B;
            std::memcpy(pixel, &value, 4);
        }
    }
}

// Rows of three bytes a pixel, the channels at byte offsets R, G and B.
template <int R, int G, int B>
void convertRows24(const Conversion& conversion, uchar* firstRow, qsizetype bytesPerLine, int rows,
                   int width)
{
    const PixelMapper map(conversion);
    for (int y = 0; y < rows; ++y) {
        uchar* pixel = firstRow + y * bytesPerLine;
        for (int x = 0; x < width; ++x, pixel += 3) {
            const Rgb out = map(pixel[R], pixel[G], pixel[B]);
            pixel[R] = uchar(out.r);
            pixel[G] = uchar(out.g);
            pixel[B] = uchar(out.b);
        }
    }
}

void convertGreyRows(const Conversion& conversion, uchar* firstRow, qsizetype bytesPerLine,
                     int rows, int width)
{
    for (int y = 0; y < rows; ++y) {
        uchar* pixel = firstRow + y * bytesPerLine;
        for (int x = 0; x < width; ++x) {
            pixel[x] = conversion.grey[pixel[x]];
        }
    }
}

using RowConverter = void (*)(const Conversion&, uchar*, qsizetype, int, int);

RowConverter rowConverter(QImage::Format format)
{
    // Bit positions within a 32-bit word: ARGB32 formats are 0xAARRGGBB words, RGBA8888
    // formats are R, G, B, A bytes in memory.
    constexpr int byte0 = littleEndian ? 0 : 24;
    constexpr int byte1 = littleEndian ? 8 : 16;
    constexpr int byte2 = littleEndian ? 16 : 8;
    constexpr int byte3 = littleEndian ? 24 : 0;
    switch (format) {
    case QImage::Format_RGB32:
    case QImage::Format_ARGB32:
        return convertRows32<16, 8, 0, 24, false>;
    case QImage::Format_ARGB32_Premultiplied:
        return convertRows32<16, 8, 0, 24, true>;
    case QImage::Format_RGBX8888:
    case QImage::Format_RGBA8888:
        return convertRows32<byte0, byte1, byte2, byte3, false>;
    case QImage::Format_RGBA8888_Premultiplied:
        return convertRows32<byte0, byte1, byte2, byte3, true>;
    case QImage::Format_RGB888:
        return convertRows24<0, 1, 2>;
    case QImage::Format_BGR888:
        return convertRows24<2, 1, 0>;
    case QImage::Format_Grayscale8:
        return convertGreyRows;
    default:
        return nullptr;
    }
}

// Converts the rows in bands, one per worker; the calling thread takes the first band. When no
// thread can be started its band is converted here too.
void convertInBands(const Conversion& conversion, RowConverter convert, QImage& image)
{
    const int height = image.height();
    const int width = image.width();
    const qsizetype bytesPerLine = image.bytesPerLine();
    // bits() detaches once, here: workers must not touch the QImage itself.
    uchar* const bits = image.bits();
    const qsizetype pixels = qsizetype(width) * height;
    const int cores = int(std::max(1u, std::thread::hardware_concurrency()));
    const int workers = int(std::clamp<qsizetype>(pixels / pixelsPerWorker, 1, cores));
    const auto band = [&](int index) {
        const int first = int(qint64(height) * index / workers);
        const int end = int(qint64(height) * (index + 1) / workers);
        convert(conversion, bits + first * bytesPerLine, bytesPerLine, end - first, width);
    };
    std::vector<std::thread> helpers;
    helpers.reserve(std::size_t(workers));
    for (int index = 1; index < workers; ++index) {
        try {
            helpers.emplace_back(band, index);
        } catch (const std::system_error&) {
            band(index);
        }
    }
    band(0);
    for (std::thread& helper : helpers) {
        helper.join();
    }
}

} // namespace

namespace DisplayColour {

void convertToSRgb(QImage& image)
{
    const QColorSpace source = image.colorSpace();
    if (image.isNull() || !source.isValid() || source == QColorSpace::SRgb) {
        return;
    }
    const std::shared_ptr<const Conversion> conversion = conversionFor(source);
    const RowConverter convert = rowConverter(image.format());
    if (conversion->kind == Conversion::Kind::qt || convert == nullptr) {
        image.convertToColorSpace(QColorSpace::SRgb);
        return;
    }
    if (conversion->kind == Conversion::Kind::tables) {
        convertInBands(*conversion, convert, image);
    }
    image.setColorSpace(QColorSpace::SRgb);
}

RowConversion rowConversionToSRgb(const QColorSpace& source, QImage::Format format)
{
    const RowConverter convert = rowConverter(format);
    if (convert == nullptr) {
        return {};
    }
    if (source == QColorSpace::SRgb) {
        return [](uchar*, qsizetype, int, int) {};
    }
    std::shared_ptr<const Conversion> conversion = conversionFor(source);
    switch (conversion->kind) {
    case Conversion::Kind::identity:
        return [](uchar*, qsizetype, int, int) {};
    case Conversion::Kind::tables:
        return [conversion = std::move(conversion),
                convert](uchar* firstRow, qsizetype bytesPerLine, int rows, int width) {
            convert(*conversion, firstRow, bytesPerLine, rows, width);
        };
    case Conversion::Kind::qt:
        break;
    }
    return {};
}

} // namespace DisplayColour
