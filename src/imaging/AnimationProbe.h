#pragma once

#include <QString>

// A cheap yes/no on whether an image file is animated, from its structure alone: no pixel is
// decoded and reading stops as soon as the answer is known.
//
// GIF: a second image descriptor after the first. WebP: the extended header's animation flag
// and at least two animation frames. PNG: an animation control chunk announcing more than one
// frame, before the first image data. AVIF and HEIF: the 'avis' brand in the file type box.
// Only regular files are read (a FIFO is refused without blocking); anything unreadable,
// truncated before the answer or malformed is not animated.
namespace AnimationProbe {

// True when a file named `fileName` may hold an animation by its extension (gif, webp, png,
// apng, avif, case-insensitive); every other name is a still without looking at the file.
bool hasAnimatableName(const QString& fileName);

bool isAnimated(const QString& path);

} // namespace AnimationProbe
