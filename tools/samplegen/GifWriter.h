#pragma once

#include <QImage>
#include <QString>

// Writes a single-frame GIF through giflib (Qt reads GIF but cannot write it).
namespace GifWriter {

// Reduces `image` to a palette of at most 256 colours and writes it to `path`. Returns an
// error message, or an empty string on success.
QString write(const QImage& image, const QString& path);

} // namespace GifWriter
