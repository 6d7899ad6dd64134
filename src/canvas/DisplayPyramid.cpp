#include "DisplayPyramid.h"

#include "BitmapSize.h"
#include "SerialWorker.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QPaintDevice>
#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>

namespace {

// Rows of the source converted or halved between two looks at cancellation; even, so that a
// strip never splits a pair of rows.
constexpr int stripRows = 64;

// The rounded per-channel average of four 0xAARRGGBB pixels, two channels at a time in the
// 16-bit lanes of 0x00ff00ff (four sums of at most 255 fit a lane).
inline std::uint32_t averageArgb(std::uint32_t a, std::uint32_t b, std::uint32_t c, std::uint32_t d)
{
    constexpr std::uint32_t lanes = 0x00ff00ff;
    constexpr std::uint32_t rounding = 0x00020002;
    const std::uint32_t low = (a & lanes) + (b & lanes) + (c & lanes) + (d & lanes) + rounding;
    const std::uint32_t high = ((a >> 8) & lanes) + ((b >> 8) & lanes) + ((c >> 8) & lanes) +
                               ((d >> 8) & lanes) + rounding;
    return ((low >> 2) & lanes) | (((high >> 2) & lanes) << 8);
}

inline std::uint8_t averageGrey(std::uint8_t a, std::uint8_t b, std::uint8_t c, std::uint8_t d)
{
    return std::uint8_t((unsigned(a) + b + c + d + 2) / 4);
}

// The format of the reduced levels: grey stays one byte per pixel, everything else becomes the
// 32-bit formats the raster painter blits fastest.
QImage::Format levelFormat(const QImage& image)
{
    if (image.format() == QImage::Format_Grayscale8) {
        return QImage::Format_Grayscale8;
    }
    return image.hasAlphaChannel() ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32;
}

// Halves rows [begin, end) of `band` into `out` from row `outRow` on. A trailing odd row or
// column is averaged with itself.
template <typename Pixel, typename Average>
void halveRows(const QImage& band, int begin, int end, QImage& out, int outRow, Average average)
{
    const int width = band.width();
    const int pairs = width / 2;
    for (int y = begin; y < end; y += 2, ++outRow) {
        const auto* top = reinterpret_cast<const Pixel*>(band.constScanLine(y));
        const auto* bottom =
            reinterpret_cast<const Pixel*>(band.constScanLine(std::min(y + 1, end - 1)));
        auto* row = reinterpret_cast<Pixel*>(out.scanLine(outRow));
        for (int x = 0; x < pairs; ++x) {
            row[x] = average(top[2 * x], top[2 * x + 1], bottom[2 * x], bottom[2 * x + 1]);
        }
        if (width % 2 != 0) {
            const int last = width - 1;
            row[pairs] = average(top[last], top[last], bottom[last], bottom[last]);
        }
    }
}

void halveRows(const QImage& band, int begin, int end, QImage& out, int outRow)
{
    if (out.format() == QImage::Format_Grayscale8) {
        halveRows<std::uint8_t>(band, begin, end, out, outRow, averageGrey);
    } else {
        halveRows<std::uint32_t>(band, begin, end, out, outRow, averageArgb);
    }
}

// `source` halved (rounding odd sizes up) in `format`; null when cancelled or out of memory.
// A source in another format is converted a strip at a time, so no full-size copy is made.
QImage halved(const QImage& source, QImage::Format format, const std::function<bool()>& isCancelled)
{
    QImage out((source.width() + 1) / 2, (source.height() + 1) / 2, format);
    if (out.isNull()) {
        return {};
    }
    const bool isDirect = source.format() == format;
    for (int y = 0; y < source.height(); y += stripRows) {
        if (isCancelled()) {
            return {};
        }
        const int rows = std::min(stripRows, source.height() - y);
        if (isDirect) {
            halveRows(source, y, y + rows, out, y / 2);
            continue;
        }
        const QImage strip = source.copy(0, y, source.width(), rows).convertToFormat(format);
        if (strip.isNull()) {
            return {};
        }
        halveRows(strip, 0, rows, out, y / 2);
    }
    return out;
}

// The device's bounds in the painter's current (logical) coordinates. Images and pixmaps count
// their size in pixels, widgets theirs in device-independent pixels already.
QRectF deviceBounds(const QPainter& painter)
{
    const QPaintDevice* device = painter.device();
    const int type = device->devType();
    const bool countsPixels = type == QInternal::Image || type == QInternal::Pixmap;
    const double scale = countsPixels ? device->devicePixelRatioF() : 1.0;
    const QRectF bounds(0, 0, device->width() / scale, device->height() / scale);
    return painter.worldTransform().inverted().mapRect(bounds);
}

// How many device pixels one pixel of an image of `imageSize` covers when drawn into `target`.
double devicePixelsPerImagePixel(const QRectF& target, QSize imageSize, double devicePixelRatio)
{
    return std::max(target.width() / imageSize.width(), target.height() / imageSize.height()) *
           devicePixelRatio;
}

} // namespace

struct DisplayPyramid::State
{
    explicit State(DisplayPyramid* pyramid) : owner(pyramid) {}

    // The pyramid owns this state alone; others hold it weakly, so `owner` is valid whenever
    // they can lock it.
    DisplayPyramid* owner;
    // The full bitmap first, then the halvings once they have arrived.
    QList<QImage> levels;
    bool isComplete = true;
    // While the levels build after replaceKeepingLevels(): the complete levels of the same
    // picture at its former resolution, drawn instead of the unsmoothed full bitmap.
    QList<QImage> standIn;
    // Raised by every setImage() and on destruction. A build compares it with its own value to
    // give up early, and its result is dropped when they differ.
    std::shared_ptr<std::atomic<std::uint64_t>> generation =
        std::make_shared<std::atomic<std::uint64_t>>(0);
    // Created on the first image that needs reduced levels.
    std::unique_ptr<SerialWorker> worker;
};

DisplayPyramid::DisplayPyramid() : m_state(std::make_shared<State>(this)) {}

DisplayPyramid::~DisplayPyramid()
{
    // Stops a running build at its next look at the generation; the worker is joined when the
    // state goes.
    ++*m_state->generation;
}

void DisplayPyramid::replaceKeepingLevels(const QImage& image)
{
    QList<QImage> standIn = m_state->isComplete ? m_state->levels : m_state->standIn;
    setImage(image);
    if (!m_state->isComplete) {
        m_state->standIn = std::move(standIn);
    }
}

void DisplayPyramid::setImage(const QImage& image)
{
    const std::uint64_t generation = ++*m_state->generation;
    m_state->standIn.clear();
    m_state->levels.clear();
    m_state->isComplete = true;
    if (image.isNull()) {
        return;
    }
    m_state->levels.append(image);
    // Without an application there is no event loop to hand levels back through: the full
    // bitmap is all there is.
    if (BitmapSize::longestSide(image.size()) < smallestHalvedSide ||
        QCoreApplication::instance() == nullptr) {
        return;
    }
    m_state->isComplete = false;
    if (!m_state->worker) {
        m_state->worker = std::make_unique<SerialWorker>("display pyramid");
    }
    m_state->worker->post([image, generation, current = m_state->generation,
                           weakState = std::weak_ptr<State>(m_state)] {
        const auto isCancelled = [&] { return current->load() != generation; };
        QList<QImage> reduced = buildReducedLevels(image, isCancelled);
        if (isCancelled()) {
            return;
        }
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [weakState, generation, reduced = std::move(reduced)] {
                const auto state = weakState.lock();
                if (!state || state->generation->load() != generation) {
                    return;
                }
                state->levels.append(reduced);
                state->isComplete = true;
                state->standIn.clear();
                if (state->owner->onLevelsReady) {
                    state->owner->onLevelsReady();
                }
            },
            Qt::QueuedConnection);
    });
}

QList<QImage> DisplayPyramid::buildReducedLevels(const QImage& image,
                                                 const std::function<bool()>& isCancelled)
{
    QList<QImage> reduced;
    const QImage::Format format = levelFormat(image);
    QImage current = image;
    while (BitmapSize::longestSide(current.size()) >= smallestHalvedSide) {
        current = halved(current, format, isCancelled);
        if (current.isNull()) {
            return {};
        }
        reduced.append(current);
    }
    return reduced;
}

void DisplayPyramid::draw(QPainter& painter, const QRectF& target, const QRectF& exposed) const
{
    const bool drawsStandIn = !m_state->isComplete && !m_state->standIn.isEmpty();
    const QList<QImage>& levels = drawsStandIn ? m_state->standIn : m_state->levels;
    if (levels.isEmpty() || target.isEmpty()) {
        return;
    }
    QRectF visible = target & exposed & deviceBounds(painter);
    if (painter.hasClipping()) {
        visible &= painter.clipBoundingRect();
    }
    if (visible.isEmpty()) {
        return;
    }
    const double devicePixelRatio = painter.device()->devicePixelRatioF();
    const QImage& level = levels[levelIndexFor(
        devicePixelsPerImagePixel(target, levels.front().size(), devicePixelRatio), levels)];

    // Level pixels per logical unit on each axis; the source is widened to whole pixels and one
    // more on each side, so smoothing at the edge of the visible part samples real neighbours.
    const double scaleX = level.width() / target.width();
    const double scaleY = level.height() / target.height();
    const int left = std::max(0, int(std::floor((visible.left() - target.left()) * scaleX)) - 1);
    const int top = std::max(0, int(std::floor((visible.top() - target.top()) * scaleY)) - 1);
    const int right =
        std::min(level.width(), int(std::ceil((visible.right() - target.left()) * scaleX)) + 1);
    const int bottom =
        std::min(level.height(), int(std::ceil((visible.bottom() - target.top()) * scaleY)) + 1);
    if (right <= left || bottom <= top) {
        return;
    }
    const QRectF source(left, top, right - left, bottom - top);
    const QRectF destination(target.left() + left / scaleX, target.top() + top / scaleY,
                             source.width() / scaleX, source.height() / scaleY);

    // Until the levels arrive the full bitmap goes through the cheap path.
    const double devicePixelsPerLevelPixel = devicePixelRatio / std::min(scaleX, scaleY);
    const bool isSmooth = (m_state->isComplete || drawsStandIn) &&
                          devicePixelsPerLevelPixel < unsmoothedMagnification;
    const bool wasSmooth = painter.testRenderHint(QPainter::SmoothPixmapTransform);
    painter.setRenderHint(QPainter::SmoothPixmapTransform, isSmooth);
    painter.drawImage(destination, level, source);
    painter.setRenderHint(QPainter::SmoothPixmapTransform, wasSmooth);
}

bool DisplayPyramid::isComplete() const
{
    return m_state->isComplete;
}

QList<QImage> DisplayPyramid::levels() const
{
    return m_state->levels;
}

int DisplayPyramid::levelIndexFor(const QRectF& target, double devicePixelRatio) const
{
    const QList<QImage>& levels = m_state->levels;
    if (levels.isEmpty() || target.isEmpty()) {
        return 0;
    }
    return levelIndexFor(devicePixelsPerImagePixel(target, levels.front().size(), devicePixelRatio),
                         levels);
}

int DisplayPyramid::levelIndexFor(double devicePixelsPerImagePixel, const QList<QImage>& levels)
{
    if (levels.isEmpty() || levels.front().isNull()) {
        return 0;
    }
    // Tolerates rounding in the caller's zoom arithmetic, so an exact halving is not missed.
    constexpr double tolerance = 1e-9;
    const double fullWidth = levels.front().width();
    const double fullHeight = levels.front().height();
    int chosen = 0;
    for (int index = 1; index < levels.size(); ++index) {
        const double scale =
            std::min(levels[index].width() / fullWidth, levels[index].height() / fullHeight);
        if (scale < devicePixelsPerImagePixel * (1 - tolerance)) {
            break;
        }
        chosen = index;
    }
    return chosen;
}
