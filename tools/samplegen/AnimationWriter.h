#pragma once

#include <QImage>
#include <QList>
#include <QString>

// Writes animations that loop forever, every frame shown for `frameMs` milliseconds. The
// frames must all have the first one's size. Each function returns an error message, or an
// empty string on success.
namespace AnimationWriter {

// GIF through giflib: each frame reduced to its own palette of at most 256 colours. GIF counts
// time in hundredths of a second, so `frameMs` is rounded to 10 ms.
QString writeGif(const QList<QImage>& frames, int frameMs, const QString& path);

// Animated WebP through libwebp's animation encoder (lossy).
QString writeWebp(const QList<QImage>& frames, int frameMs, const QString& path);

// Animated PNG: each frame compressed as a PNG by Qt, its image data stored as the first
// frame's IDAT chunks or as a later frame's fdAT chunk.
QString writeApng(const QList<QImage>& frames, int frameMs, const QString& path);

} // namespace AnimationWriter
