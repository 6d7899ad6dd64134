#include "MarkupBlurRenderer.h"

#include "FlippedPainter.h"
#include "MarkupGeometry.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <new>
#include <type_traits>
#include <vector>

namespace MarkupBlurRenderer {

namespace {

// The Gaussian is approximated by three successive box filters whose widths are chosen so that
// their combined variance matches radius^2 (to within the rounding of the widths). Three boxes
// give a smooth bell with the Gaussian's spread, and a box costs the same per pixel whatever
// its width, so a large radius is no slower than a small one.
constexpr int boxCount = 3;
using BoxRadii = std::array<int, boxCount>;

// Pixels are four premultiplied channels of Format_ARGB32_Premultiplied, a 32-bit value per
// pixel, so alpha is the last byte in memory on little-endian machines and the first on
// big-endian ones. The filter treats all four alike.
constexpr int channels = 4;
constexpr int alphaChannel = Q_BYTE_ORDER == Q_LITTLE_ENDIAN ? 3 : 0;
// Columns blurred together in the vertical passes: wide enough to vectorize, small enough to
// keep the working rows in cache.
constexpr int columnBlock = 64;

struct Regions
{
    // Both in the source image's pixel coordinates, rows counted from the top.
    QRect region;
    QRect input;
};

BoxRadii boxRadii(double sigma)
{
    const double variance12 = 12 * sigma * sigma;
    const double ideal = std::sqrt(variance12 / boxCount + 1);
    int lower = int(std::floor(ideal));
    if (lower % 2 == 0) {
        --lower;
    }
    const int upper = lower + 2;
    const double lowerCount =
        (variance12 - boxCount * lower * lower - 4 * boxCount * lower - 3 * boxCount) /
        (-4.0 * lower - 4);
    const int lowerBoxes = std::clamp(int(std::lround(lowerCount)), 0, boxCount);
    BoxRadii radii{};
    for (int i = 0; i < boxCount; ++i) {
        radii[i] = ((i < lowerBoxes ? lower : upper) - 1) / 2;
    }
    return radii;
}

// One box filter along a line of `count` elements of `width` floats each:
// out[j] = mean of in[j - r ... j + r], elements beyond the line counting as zero. `Width` is
// int, or a std::integral_constant so that the compiler sees a fixed element size.
template <typename Width>
void boxPass(const float* in, float* out, int count, Width width, int r, float* sum)
{
    const float scale = 1.0f / float(2 * r + 1);
    std::fill(sum, sum + width, 0.0f);
    for (int k = 0; k <= std::min(r, count - 1); ++k) {
        const float* element = in + std::size_t(k) * width;
        for (int c = 0; c < width; ++c) {
            sum[c] += element[c];
        }
    }
    for (int j = 0; j < count; ++j) {
        float* target = out + std::size_t(j) * width;
        for (int c = 0; c < width; ++c) {
            target[c] = sum[c] * scale;
        }
        if (j + r + 1 < count) {
            const float* entering = in + std::size_t(j + r + 1) * width;
            for (int c = 0; c < width; ++c) {
                sum[c] += entering[c];
            }
        }
        if (j - r >= 0) {
            const float* leaving = in + std::size_t(j - r) * width;
            for (int c = 0; c < width; ++c) {
                sum[c] -= leaving[c];
            }
        }
    }
}

// The three box passes; the result ends in `a` (an odd number of swaps leaves it in `b`, so it
// is copied back).
template <typename Width>
void boxBlurLine(std::vector<float>& a, std::vector<float>& b, int count, Width width,
                 const BoxRadii& radii, std::vector<float>& sum)
{
    float* from = a.data();
    float* to = b.data();
    for (const int r : radii) {
        boxPass(from, to, count, width, r, sum.data());
        std::swap(from, to);
    }
    if (from != a.data()) {
        std::copy(from, from + std::size_t(count) * width, a.data());
    }
}

std::uint8_t toByte(float value)
{
    return std::uint8_t(std::clamp(value + 0.5f, 0.0f, 255.0f));
}

// Blurs `input` (Format_ARGB32_Premultiplied) with zero beyond its edges and returns the part
// at `region` (input coordinates).
QImage blurRegion(const QImage& input, const QRect& region, const BoxRadii& radii)
{
    const int reach = radii[0] + radii[1] + radii[2];
    const int regionWidth = region.width();
    const int regionHeight = region.height();

    // Horizontal passes, for every input row the vertical passes can reach, over the region's
    // columns plus the reach on either side; stored for the region's columns only.
    const int firstRow = std::max(0, region.top() - reach);
    const int lastRow = std::min(input.height() - 1, region.bottom() + reach);
    const int rowCount = lastRow - firstRow + 1;
    const int lineLength = regionWidth + 2 * reach;
    std::vector<std::uint8_t> horizontal(std::size_t(rowCount) * regionWidth * channels);
    {
        std::vector<float> a(std::size_t(lineLength) * channels);
        std::vector<float> b(a.size());
        std::vector<float> sum(channels);
        const int firstColumn = region.left() - reach;
        for (int row = firstRow; row <= lastRow; ++row) {
            const std::uint8_t* source = input.constScanLine(row);
            for (int j = 0; j < lineLength; ++j) {
                const int column = firstColumn + j;
                const bool inside = column >= 0 && column < input.width();
                for (int c = 0; c < channels; ++c) {
                    a[std::size_t(j) * channels + c] =
                        inside ? float(source[std::size_t(column) * channels + c]) : 0.0f;
                }
            }
            boxBlurLine(a, b, lineLength, std::integral_constant<int, channels>(), radii, sum);
            std::uint8_t* target =
                horizontal.data() + std::size_t(row - firstRow) * regionWidth * channels;
            const float* kept = a.data() + std::size_t(reach) * channels;
            for (int k = 0; k < regionWidth * channels; ++k) {
                target[k] = toByte(kept[k]);
            }
        }
    }

    // Vertical passes, a block of columns at a time, over the region's rows plus the reach
    // above and below (rows beyond the input are zero).
    QImage result(regionWidth, regionHeight, QImage::Format_ARGB32_Premultiplied);
    if (result.isNull()) {
        return result;
    }
    const int columnLength = regionHeight + 2 * reach;
    const int topRow = region.top() - reach;
    std::vector<float> a(std::size_t(columnLength) * columnBlock * channels);
    std::vector<float> b(a.size());
    std::vector<float> sum(std::size_t(columnBlock) * channels);
    for (int blockStart = 0; blockStart < regionWidth; blockStart += columnBlock) {
        const int blockWidth = std::min(columnBlock, regionWidth - blockStart);
        const int width = blockWidth * channels;
        for (int i = 0; i < columnLength; ++i) {
            float* line = a.data() + std::size_t(i) * width;
            const int row = topRow + i;
            if (row < firstRow || row > lastRow) {
                std::fill(line, line + width, 0.0f);
                continue;
            }
            const std::uint8_t* source = horizontal.data() +
                                         std::size_t(row - firstRow) * regionWidth * channels +
                                         std::size_t(blockStart) * channels;
            for (int k = 0; k < width; ++k) {
                line[k] = float(source[k]);
            }
        }
        boxBlurLine(a, b, columnLength, width, radii, sum);
        for (int y = 0; y < regionHeight; ++y) {
            const float* line = a.data() + std::size_t(y + reach) * width;
            std::uint8_t* target = result.scanLine(y) + std::size_t(blockStart) * channels;
            for (int k = 0; k < width; k += channels) {
                // Premultiplied: no colour channel may exceed alpha.
                const std::uint8_t alpha = toByte(line[k + alphaChannel]);
                for (int c = 0; c < channels; ++c) {
                    target[k + c] = std::min(toByte(line[k + c]), alpha);
                }
            }
        }
    }
    return result;
}

// Tolerance of the rounding to whole pixels, in pixels.
constexpr double pixelTolerance = 1e-6;

double roundedDown(double value)
{
    return std::floor(value + pixelTolerance);
}

double roundedUp(double value)
{
    return std::ceil(value - pixelTolerance);
}

// The region of the image that `normalizedRect` covers and the input that its blur reads, or
// absent when the region is not more than one pixel wide and tall.
std::optional<Regions> regionsFor(const QSize& size, const QRectF& normalizedRect, double r)
{
    const QRectF n = normalizedRect.normalized();
    if (!(n.width() > 0 && n.height() > 0)) {
        return std::nullopt;
    }
    const double width = size.width();
    const double height = size.height();
    // y-up on the pixel grid: `bottom` is the smaller y. The origin and the size are scaled
    // separately, as stored. Edges within a millionth of a pixel of a whole pixel count as on it,
    // so that rounding noise in a normalized rectangle cannot add a row or column. Clamping
    // after rounding intersects with the image and keeps every value convertible to int.
    const auto clampX = [width](double x) { return MarkupGeometry::clamp(x, 0, width); };
    const auto clampY = [height](double y) { return MarkupGeometry::clamp(y, 0, height); };
    const double x = n.x() * width;
    const double y = n.y() * height;
    const double left = clampX(roundedDown(x));
    const double right = clampX(roundedUp(x + n.width() * width));
    const double bottom = clampY(roundedDown(y));
    const double top = clampY(roundedUp(y + n.height() * height));
    if (!(right - left > 1 && top - bottom > 1)) {
        return std::nullopt;
    }
    const double margin = 2 * r;
    const double inputLeft = clampX(roundedDown(left - margin));
    const double inputRight = clampX(roundedUp(right + margin));
    const double inputBottom = clampY(roundedDown(bottom - margin));
    const double inputTop = clampY(roundedUp(top + margin));
    // Rows of a QImage count from the top.
    const auto rowsFromTop = [height](double l, double b, double r, double t) {
        return QRect(int(l), int(height - t), int(r - l), int(t - b));
    };
    return Regions{rowsFromTop(left, bottom, right, top),
                   rowsFromTop(inputLeft, inputBottom, inputRight, inputTop)};
}

// What `painter` has painted in `imageRect`, as an image of that area (first row along its
// top edge), without copying where the device's memory can be read in place; null when the
// device is not an image or the painter's transform rotates or shears. Valid until the painter
// paints again.
QImage paintedPixels(const QPainter& painter, const QRectF& imageRect)
{
    if (!painter.isActive() || painter.device()->devType() != QInternal::Image) {
        return {};
    }
    const auto* device = static_cast<const QImage*>(painter.device());
    const QTransform toDevice = painter.deviceTransform();
    if (toDevice.type() > QTransform::TxScale) {
        return {};
    }
    const QRectF mapped = toDevice.mapRect(imageRect);
    const QRect area(
        QPoint(int(std::lround(mapped.left())), int(std::lround(mapped.top()))),
        QPoint(int(std::lround(mapped.right())) - 1, int(std::lround(mapped.bottom())) - 1));
    if (area.isEmpty()) {
        return {};
    }
    QImage pixels;
    if (device->rect().contains(area) && device->depth() == 32) {
        pixels = QImage(device->constScanLine(area.top()) + std::size_t(area.left()) * 4,
                        area.width(), area.height(), device->bytesPerLine(), device->format());
    } else {
        pixels = device->copy(area);
    }
    // Upright means the first row is imageRect's top edge (its larger y).
    const bool mirroredHorizontally = toDevice.m11() < 0;
    const bool upsideDown = toDevice.m22() > 0;
    if (mirroredHorizontally || upsideDown) {
        return pixels.mirrored(mirroredHorizontally, upsideDown);
    }
    return pixels;
}

bool hasArea(const QRectF& rect)
{
    const QRectF r = rect.normalized();
    return r.width() > 0 && r.height() > 0;
}

} // namespace

double radius(const QSize& pixelSize)
{
    const double shorter = std::min(pixelSize.width(), pixelSize.height());
    return std::max(std::min(shorter * 0.01, 32.0), 8.0);
}

std::optional<QImage> makeBlurredRegionImage(const QImage& source, const QRectF& normalizedRect)
{
    if (source.isNull()) {
        return std::nullopt;
    }
    const double r = radius(source.size());
    const auto regions = regionsFor(source.size(), normalizedRect, r);
    if (!regions) {
        return std::nullopt;
    }
    const QImage input =
        source.copy(regions->input).convertToFormat(QImage::Format_ARGB32_Premultiplied);
    if (input.isNull()) {
        return std::nullopt;
    }
    try {
        QImage blurred =
            blurRegion(input, regions->region.translated(-regions->input.topLeft()), boxRadii(r));
        if (blurred.isNull()) {
            return std::nullopt;
        }
        return blurred;
    } catch (const std::bad_alloc&) {
        // The working rows of a region as large as a huge image may not fit in memory; the
        // region is then not drawn, like any other blur that cannot be made.
        return std::nullopt;
    }
}

void drawBlurredRegion(QPainter& painter, const QImage& source, const QRectF& normalizedRect,
                       const QRectF& destination)
{
    if (!hasArea(normalizedRect) || !hasArea(destination) || !painter.isActive()) {
        return;
    }
    const auto blurred = makeBlurredRegionImage(source, normalizedRect);
    if (!blurred) {
        return;
    }
    FlippedPainter::drawImage(painter, destination, *blurred);
}

void drawBlurredPaintedRegion(QPainter& painter, const QRectF& imageRect,
                              const QRectF& normalizedRect, const QRectF& destination,
                              const QImage& fallback)
{
    if (!hasArea(normalizedRect) || !hasArea(destination) || !painter.isActive()) {
        return;
    }
    const QImage painted = paintedPixels(painter, imageRect);
    drawBlurredRegion(painter, painted.isNull() ? fallback : painted, normalizedRect, destination);
}

} // namespace MarkupBlurRenderer
