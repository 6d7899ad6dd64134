#pragma once

#include <QByteArrayView>

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
bool isComplete(QByteArrayView data);

} // namespace JpegStream
