#pragma once

#include <QByteArray>
#include <QSize>
#include <QString>

// Carries an original's metadata over to a derived copy, added to the copy's encoded bytes
// before they are written; the pixels' encoding is left as the encoder made it.
//
// A crop copy keeps the original's EXIF, XMP and IPTC blocks and its colour profile, with the
// orientation set to upright (the copy's pixels are the image as shown), the pixel dimensions
// set to the copy's and the embedded thumbnails removed (they show the uncropped image). A
// markup copy keeps only the colour profile and the date taken: annotations often hide
// something before the image is shared, and location or camera data would leak it.
//
// `pathExtension` is the copy's lower-case extension: JPEG, PNG and TIFF copies take metadata,
// GIF and BMP copies have no room for it and stay as encoded. Whatever Exiv2 cannot parse or
// write is dropped: these functions never fail, they return `encoded` unchanged instead.
namespace CopyMetadata {

QByteArray forCrop(const QByteArray& encoded, const QString& pathExtension,
                   const QByteArray& originalFile, QSize newPixelSize);

QByteArray forMarkup(const QByteArray& encoded, const QString& pathExtension,
                     const QByteArray& originalFile);

// The contents of the local file `path` for the functions above; empty when it cannot be read
// or is larger than ImageSource::maximumBytes.
QByteArray readOriginal(const QString& path);

} // namespace CopyMetadata
