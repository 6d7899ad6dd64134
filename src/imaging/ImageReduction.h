#pragma once

#include <QImage>

// Reduction of decoded bitmaps to a requested size, shared by every decoder's scaled path.
namespace ImageReduction {

// `image` reduced with smoothing so that its longest side is `longestSide` pixels, keeping its
// aspect ratio and colour space; unchanged when it is not larger than that already.
QImage reducedToLongestSide(const QImage& image, int longestSide);

} // namespace ImageReduction
