#include "ImageCropManager.h"

#include "CopyMetadata.h"
#include "DerivedImageOutput.h"
#include "ImageSource.h"

#include <QFileInfo>
#include <algorithm>
#include <cmath>
#include <iterator>

namespace {

// Each of origin and size on its own into 0...1; none when a value is not finite (no
// selection the canvas makes has one: such a rectangle is garbage, not a request).
std::optional<QRectF> clamped(const QRectF& rect)
{
    const double values[] = {rect.x(), rect.y(), rect.width(), rect.height()};
    if (std::any_of(std::begin(values), std::end(values),
                    [](double v) { return !std::isfinite(v); })) {
        return std::nullopt;
    }
    const auto unit = [](double value) { return std::clamp(value, 0.0, 1.0); };
    return QRectF(unit(rect.x()), unit(rect.y()), unit(rect.width()), unit(rect.height()));
}

// The smallest crop side, in fractions of the image.
constexpr double minimumSide = 0.001;

} // namespace

namespace ImageCropManager {

QRect makePixelCropRect(const QRectF& normalizedRect, int pixelWidth, int pixelHeight)
{
    const QRectF& r = normalizedRect;
    const auto x0 = qint64(std::floor(r.x() * pixelWidth));
    const auto y0 = qint64(std::floor(r.y() * pixelHeight));
    const auto x1 = qint64(std::ceil((r.x() + r.width()) * pixelWidth));
    const auto y1 = qint64(std::ceil((r.y() + r.height()) * pixelHeight));
    const qint64 x = std::clamp<qint64>(x0, 0, std::max(pixelWidth - 1, 0));
    const qint64 y = std::clamp<qint64>(y0, 0, std::max(pixelHeight - 1, 0));
    const qint64 width = std::max(x + 1, std::min<qint64>(x1, pixelWidth)) - x;
    const qint64 height = std::max(y + 1, std::min<qint64>(y1, pixelHeight)) - y;
    return {int(x), int(y), int(width), int(height)};
}

std::optional<QImage> makeCroppedImage(const QImage& image, const QRectF& normalizedRect)
{
    if (image.width() < 2 || image.height() < 2) {
        return std::nullopt;
    }
    const QRect pixels = makePixelCropRect(normalizedRect, image.width(), image.height());
    if (pixels.width() <= 1 || pixels.height() <= 1) {
        return std::nullopt;
    }
    // Bitmaps count rows from the top; the rectangle's y counts from the bottom.
    const QImage cut = image.copy(pixels.x(), image.height() - (pixels.y() + pixels.height()),
                                  pixels.width(), pixels.height());
    if (cut.isNull()) {
        return std::nullopt;
    }
    return cut;
}

std::optional<qint64> maximumOutputFileSize(const QUrl& original, const QRectF& normalizedRect)
{
    if (normalizedRect.width() * normalizedRect.height() >= 0.999) {
        return std::nullopt;
    }
    const QFileInfo file(original.toLocalFile());
    if (!file.isFile()) {
        return std::nullopt;
    }
    return std::max<qint64>(file.size() - 1, 1);
}

bool saveCropCopy(const QUrl& original, const QRectF& normalizedRect)
{
    if (!original.isLocalFile()) {
        return false;
    }
    // The pixels as the viewer shows them: orientation applied, colour profile kept.
    const QImage image = ImageSource(original.toLocalFile()).decode();
    if (image.isNull()) {
        return false;
    }
    const std::optional<QRectF> rect = clamped(normalizedRect);
    if (!rect || !(rect->width() > minimumSide) || !(rect->height() > minimumSide)) {
        return false;
    }
    const std::optional<QImage> cropped = makeCroppedImage(image, *rect);
    if (!cropped) {
        return false;
    }
    const QString extension = DerivedImageOutput::outputImageExtension(
        DerivedImageOutput::pathExtension(original).toLower());
    // The size limit applies to the pixels' encoding; the metadata added afterwards is the
    // original's own (less its thumbnail), so the copy costs no more than the original spent.
    const auto addMetadata = [&](const QByteArray& encoded, const QString& pathExtension) {
        return CopyMetadata::forCrop(encoded, pathExtension,
                                     CopyMetadata::readOriginal(original.toLocalFile()),
                                     cropped->size());
    };
    return DerivedImageOutput::writeDerivedCopy(*cropped, original, QStringLiteral("_crop"),
                                                extension, maximumOutputFileSize(original, *rect),
                                                {}, addMetadata)
        .has_value();
}

} // namespace ImageCropManager
