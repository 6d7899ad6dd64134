#include "MarkupFlattener.h"

#include "FlippedPainter.h"
#include "MarkupAnnotationRenderer.h"

namespace MarkupFlattener {

namespace {

// The saved copy carries the exact stroke colours (the screen draws strokes slightly
// translucent).
constexpr double flattenedStrokeAlpha = 1.0;

} // namespace

std::optional<QImage> flatten(const QList<MarkupAnnotation>& annotations, const QImage& image)
{
    if (image.isNull()) {
        return std::nullopt;
    }
    // A fresh bitmap rather than a converted copy: text is sized by the device's logical
    // resolution, which for a fresh bitmap is the screen's, as on the canvas, whatever the
    // resolution recorded in the original's file.
    QImage result(image.size(), QImage::Format_ARGB32_Premultiplied);
    if (result.isNull()) {
        return std::nullopt;
    }
    result.fill(Qt::transparent);
    {
        FlippedPainter flipped(&result);
        if (!flipped.isActive()) {
            return std::nullopt;
        }
        QPainter& painter = flipped.painter();
        const QRectF imageRect(0, 0, image.width(), image.height());
        FlippedPainter::drawImage(painter, imageRect, image);
        for (const MarkupAnnotation& annotation : annotations) {
            MarkupAnnotationRenderer::draw(painter, annotation, imageRect, image,
                                           flattenedStrokeAlpha);
        }
    }
    result.setDotsPerMeterX(image.dotsPerMeterX());
    result.setDotsPerMeterY(image.dotsPerMeterY());
    return result;
}

} // namespace MarkupFlattener
