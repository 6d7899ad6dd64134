#pragma once

#include "MarkupAnnotation.h"

#include <QImage>
#include <QList>
#include <optional>

// Paints an image and its annotations into one bitmap of the image's pixel size.
namespace MarkupFlattener {

// `image` at its own pixel size (one unit is one pixel, whatever the screen's scale) with every
// annotation painted over it in list order at full stroke alpha; annotation y = 0 is the image's
// bottom row. A blur region blurs what lies below it at that moment. The result is premultiplied
// ARGB32 when the image has an alpha channel and RGB32 otherwise, and keeps the image's
// resolution (dots per metre). Pass the image as an rvalue when it is not needed afterwards:
// the annotations are then painted into its own pixels instead of a copy. Absent for a null
// image or when no bitmap of that size can be made.
std::optional<QImage> flatten(const QList<MarkupAnnotation>& annotations, QImage image);

} // namespace MarkupFlattener
