#pragma once

#include "DecodedColours.h"

#include <QByteArrayView>
#include <QImage>
#include <QImageIOHandler>
#include <optional>

// Decodes JPEG files through libjpeg-turbo straight into the bitmap the viewer keeps.
//
// The file's EXIF orientation (read as Qt's reader reads it, so both agree on every file) is
// applied while decoding: rows come from the library in small bands and are written to their
// turned or mirrored place, so the peak is the final bitmap plus one band, never two full
// copies. Colour images come as QImage::Format_RGB32, grey ones as Format_Grayscale8. An
// embedded ICC profile is attached as the image's colour space unless sRGB is asked for.
namespace JpegDecoder {

// The first image of `file` with its orientation applied: at full size when `longestSide` is
// 0, otherwise at the smallest DCT scale (1/8, 1/4, 1/2 or 1) whose longest side still reaches
// `longestSide` (the full size when none does). A scaled decode reads a reduced copy that the
// file's multi-picture index lists instead of the primary image when that copy is a complete
// JPEG of the primary's shape whose longest side reaches `longestSide`.
//
// nullopt when the stream is a JPEG in a colour model left to another decoder (CMYK, YCCK).
// Otherwise the image, null when the stream is refused: not a JPEG, truncated before its
// end-of-image marker, broken beyond decoding, or needing a bitmap (or working memory) beyond
// `maximumBytes`. The library's warnings about damaged data are silenced.
//
// With `colours` SRgb, an embedded profile is applied band by band as the rows are decoded,
// and the image carries QColorSpace::SRgb; where that cannot be done the profile is attached.
std::optional<QImage> decode(QByteArrayView file, int longestSide, qint64 maximumBytes,
                             DecodedColours colours = DecodedColours::AsStored);

// What the file's EXIF orientation asks to be done to the stored pixels, as Qt's reader reads
// it; read by our own parser, so it needs none of Qt's image plugins.
QImageIOHandler::Transformations transformation(QByteArrayView file);

} // namespace JpegDecoder
