#pragma once

#include <QString>
#include <optional>
#include <utility>

// Writes EXIF tags into an existing JPEG file (through Exiv2), as a camera would have.
namespace ExifWriter {

struct Tags
{
    QString make;
    QString model;
    // "YYYY:MM:DD HH:MM:SS", as EXIF stores dates.
    QString dateTimeOriginal;
    // Seconds as a fraction, e.g. 1/250.
    std::optional<std::pair<unsigned, unsigned>> exposureTime;
    // Millimetres.
    std::optional<unsigned> focalLength;
    std::optional<unsigned short> isoSpeed;
    // 1 to 8.
    std::optional<unsigned short> orientation;
};

// Writes the tags that are set (empty texts and absent values are left out). Returns an error
// message, or an empty string on success.
QString write(const QString& jpegPath, const Tags& tags);

} // namespace ExifWriter
