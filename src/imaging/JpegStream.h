#pragma once

#include <QByteArrayView>
#include <QList>
#include <QSize>

// Structural checks on a JPEG byte stream that the decoder does not report.
//
// A JPEG that ends early still "decodes": the library pads the missing rows with grey and only
// warns. A viewer must not present such a half-grey picture as the photo, so the loader asks
// here first whether the stream reaches its end-of-image marker.
namespace JpegStream {

// True when `data` starts with a start-of-image marker and its marker segments and
// entropy-coded scans can be followed to an end-of-image marker inside `data`. Segments are
// skipped by their declared lengths, so markers inside an embedded preview (which carries an
// end-of-image marker of its own) are never mistaken for the main image's. Runs in one pass
// over the bytes and allocates nothing.
//
// Only the first image counts: whatever follows its end-of-image marker (the further images of
// a multi-picture file, a gain map) is not looked at.
bool isComplete(QByteArrayView data);

// The pixel size in the frame header of the first image of `data`, before any orientation;
// invalid when the headers end, break off or declare no size before the first scan.
QSize frameSize(QByteArrayView data);

// The number of colour components in the first image's frame header (1 grey, 3 colour, 4 CMYK
// or YCCK); 0 when there is no readable frame header.
int frameComponentCount(QByteArrayView data);

// The EXIF orientation (1 to 8) of the first image, read as Qt's reader reads it: the
// Orientation entry of the first IFD of the first APP1 segment, which must be an "Exif" one; 0
// when there is none, or it is malformed or out of range.
// Offsets are checked against the segment.
int exifOrientation(QByteArrayView data);

// One image besides the primary that the first image's multi-picture index (an APP2 "MPF"
// segment) lists, as the bytes it occupies inside the file.
struct IndexedImage
{
    QByteArrayView bytes;
    // True when the index types it as a reduced copy of the primary (a large thumbnail) rather
    // than, say, another view of a stereo pair or an HDR gain map.
    bool isReducedCopy = false;
};

// The images the multi-picture index of `data` lists besides the primary (whose entry has
// offset 0). Every offset and length is checked against `data`: entries that reach outside it
// are dropped, and an index that is malformed in itself gives none. The bytes are not checked
// to be a JPEG: callers do that before decoding them.
QList<IndexedImage> indexedImages(QByteArrayView data);

} // namespace JpegStream
