#pragma once

#include <QByteArray>
#include <QLatin1StringView>
#include <QSize>
#include <QVariantMap>

// The property dictionary of an image file, read with Exiv2.
//
// Shape of the map (every entry only when the file has it):
//   "PixelWidth", "PixelHeight": stored (unrotated) pixel size as integers
//   "TIFF": map, present when the file has primary-image (IFD0) tags:
//       "Model": camera model text
//   "Exif": map, present when the file has an EXIF sub-directory:
//       "DateTimeOriginal": text, as written ("YYYY:MM:DD HH:MM:SS")
//       "ExposureTime": seconds, double
//       "FocalLength": millimetres, double
//       "ISOSpeedRatings": list of integers
// Numeric EXIF entries appear only when the file stores them as numbers; a malformed or
// unreadable metadata block leaves the sub-maps out rather than failing.
namespace ImageProperties {

// Exiv2's process-wide settings (silent, the XMP toolkit locked for use from several threads),
// made once; every user of Exiv2 in the program calls it first.
void configureExiv2();

inline constexpr QLatin1StringView pixelWidthKey{"PixelWidth"};
inline constexpr QLatin1StringView pixelHeightKey{"PixelHeight"};
inline constexpr QLatin1StringView tiffKey{"TIFF"};
inline constexpr QLatin1StringView exifKey{"Exif"};
inline constexpr QLatin1StringView modelKey{"Model"};
inline constexpr QLatin1StringView dateTimeOriginalKey{"DateTimeOriginal"};
inline constexpr QLatin1StringView exposureTimeKey{"ExposureTime"};
inline constexpr QLatin1StringView focalLengthKey{"FocalLength"};
inline constexpr QLatin1StringView isoSpeedRatingsKey{"ISOSpeedRatings"};

// Reads the metadata of the file whose complete contents are `fileContents`; the pixel size
// entries come from `storedPixelSize` (what the decoder read from the header) and are left out
// when it is not a valid size. Safe to call from several threads at once; never throws and
// logs nothing.
QVariantMap read(const QByteArray& fileContents, QSize storedPixelSize);

} // namespace ImageProperties
