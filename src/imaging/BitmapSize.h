#pragma once

#include <QSize>
#include <QtGlobal>

// Size rules shared by the decoders and their callers.
namespace BitmapSize {

// The larger of the two sides, pixels.
int longestSide(QSize size);

// True when a bitmap of `size` has pixels at all and needs at most `maximumBytes` at 4 bytes
// a pixel, the deepest format the decoders produce. Computed without overflow for any size.
bool fitsIn(QSize size, qint64 maximumBytes);

} // namespace BitmapSize
