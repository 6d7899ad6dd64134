#pragma once

#include <QColorSpace>
#include <QImage>
#include <functional>

// The colours the canvas shows. Decoders hand over bitmaps in their file's own colours with the
// embedded profile attached as the image's colour space; the screen is taken to be sRGB, so a
// bitmap is converted once, after decoding, and shown as it then is.
namespace DisplayColour {

// Converts `image` to sRGB in its own pixels (no second bitmap: a shared image is detached
// once, as any write would). Afterwards the image carries QColorSpace::SRgb, so a second call
// does nothing.
//
// - No colour space, or sRGB already: unchanged, bit for bit.
// - A colour space Qt could not parse (a damaged or unsupported profile): unchanged, shown as
//   if it were sRGB.
// - A profile that maps every 8-bit value onto itself (sRGB profiles written by cameras and
//   editors): pixels unchanged, only the colour space is replaced.
// - 8-bit RGB formats, with or without alpha: converted through tables built once per profile;
//   premultiplied pixels are converted unpremultiplied and premultiplied again, so alpha is
//   kept exactly. Large images are split into bands converted on several threads.
// - 8-bit grey with a grey profile: its tone curve is replaced by sRGB's; it stays grey.
// - Every other format (16-bit, floating point, indexed): Qt's own conversion, same format.
//
// Safe to call from several threads at once on different images.
void convertToSRgb(QImage& image);

// Converts rows of pixels in place, for a decoder that converts each band it writes while the
// band is still in the processor's cache: `firstRow` and the `rows - 1` rows `bytesPerLine`
// apart, `width` pixels each.
using RowConversion =
    std::function<void(uchar* firstRow, qsizetype bytesPerLine, int rows, int width)>;

// The conversion to sRGB of rows of `format` pixels in `source` colours, as convertToSRgb()
// would convert them; empty when rows of that kind cannot be converted apart from the whole
// image (a colour space converted by Qt, an unusual format): then the decoder leaves the
// colours and convertToSRgb() converts the whole image afterwards. `source` must be valid.
RowConversion rowConversionToSRgb(const QColorSpace& source, QImage::Format format);

} // namespace DisplayColour
