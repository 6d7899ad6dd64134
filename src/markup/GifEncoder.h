#pragma once

#include <QByteArray>
#include <QImage>
#include <optional>

// Encodes a bitmap as a GIF file (Qt reads GIF but cannot write it): libimagequant picks a
// palette of at most 256 colours and dithers the pixels onto it, giflib writes the file.
namespace GifEncoder {

// A single-frame GIF of `image`. GIF has one fully transparent colour and no partial
// transparency: pixels less than half opaque become transparent, the others opaque. Absent for
// a null image, an image wider or taller than a GIF can describe (65535 pixels), or when
// quantizing or encoding fails, memory running out included.
std::optional<QByteArray> encode(const QImage& image);

} // namespace GifEncoder
