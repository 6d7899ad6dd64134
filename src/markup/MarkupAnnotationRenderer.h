#pragma once

#include "MarkupAnnotation.h"

#include <QColor>
#include <QImage>
#include <QPainter>
#include <QRectF>

// Paints one annotation. Its geometry is normalized; the caller says where the whole image lies
// in the painter's (y-up) coordinates and every coordinate is mapped onto that rectangle. The
// same drawing serves the screen (stroke alpha 0.96, clipped to the image, the shown image as
// fallback pixels) and the flattened copy (stroke alpha 1, so the copy has the exact colours).
// Annotations are drawn in list order: a blur region blurs the image and every annotation
// drawn before it, none drawn after it.
namespace MarkupAnnotationRenderer {

// Paints `annotation` over the image lying at `imageRect`.
//
// The stroke (and text) colour is the annotation's with its alpha replaced by `strokeAlpha`
// when that is below 1, and unchanged otherwise. Rectangles and ellipses are filled first when
// their fill colour's alpha exceeds 0.001, with that colour as it is. A blur region blurs what
// the painter has painted so far when its device can be read back, the pixels of `fallback`
// otherwise (nothing when that is null too). Empty pens and texts draw nothing.
void draw(QPainter& painter, const MarkupAnnotation& annotation, const QRectF& imageRect,
          const QImage& fallback, double strokeAlpha);

// The stroke colour painted for `color` at `strokeAlpha`.
QColor effectiveStrokeColor(const QColor& color, double strokeAlpha);

} // namespace MarkupAnnotationRenderer
