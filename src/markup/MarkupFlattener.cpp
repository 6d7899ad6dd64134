#include "MarkupFlattener.h"

#include "FlippedPainter.h"
#include "MarkupAnnotationRenderer.h"

namespace MarkupFlattener {

namespace {

// The saved copy carries the exact stroke colours (the screen draws strokes slightly
// translucent).
constexpr double flattenedStrokeAlpha = 1.0;

} // namespace

std::optional<QImage> flatten(const QList<MarkupAnnotation>& annotations, QImage image)
{
    if (image.isNull()) {
        return std::nullopt;
    }
    // Colour annotations need colour pixels (a grey-scale or palette image is widened), and an
    // image with transparency keeps it.
    const QImage::Format format =
        image.hasAlphaChannel() ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32;
    QImage result = std::move(image).convertToFormat(format);
    if (result.isNull()) {
        return std::nullopt;
    }
    // Text keeps its size in units on any resolution, but Qt draws no text at all on a bitmap
    // whose resolution rounds to zero dots per inch, and a file may record that. Painting
    // happens at the resolution of a freshly made bitmap; the file's is put back for the copy.
    const int dotsPerMeterX = result.dotsPerMeterX();
    const int dotsPerMeterY = result.dotsPerMeterY();
    const QImage reference(1, 1, format);
    result.setDotsPerMeterX(reference.dotsPerMeterX());
    result.setDotsPerMeterY(reference.dotsPerMeterY());
    result.setDevicePixelRatio(1);
    {
        FlippedPainter flipped(&result);
        if (!flipped.isActive()) {
            return std::nullopt;
        }
        const QRectF imageRect(0, 0, result.width(), result.height());
        // No fallback pixels are needed for blur regions: the bitmap being painted can always
        // be read back.
        for (const MarkupAnnotation& annotation : annotations) {
            MarkupAnnotationRenderer::draw(flipped.painter(), annotation, imageRect, QImage(),
                                           flattenedStrokeAlpha);
        }
    }
    result.setDotsPerMeterX(dotsPerMeterX);
    result.setDotsPerMeterY(dotsPerMeterY);
    return result;
}

} // namespace MarkupFlattener
