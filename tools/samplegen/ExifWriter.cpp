#include "ExifWriter.h"

#include <exiv2/exiv2.hpp>

namespace ExifWriter {

QString write(const QString& jpegPath, const Tags& tags)
{
    try {
        auto image = Exiv2::ImageFactory::open(jpegPath.toStdString());
        image->readMetadata();
        Exiv2::ExifData& exif = image->exifData();
        if (!tags.make.isEmpty()) {
            exif["Exif.Image.Make"] = tags.make.toStdString();
        }
        if (!tags.model.isEmpty()) {
            exif["Exif.Image.Model"] = tags.model.toStdString();
        }
        if (!tags.dateTimeOriginal.isEmpty()) {
            exif["Exif.Photo.DateTimeOriginal"] = tags.dateTimeOriginal.toStdString();
        }
        if (tags.exposureTime) {
            exif["Exif.Photo.ExposureTime"] =
                Exiv2::URational(static_cast<uint32_t>(tags.exposureTime->first),
                                 static_cast<uint32_t>(tags.exposureTime->second));
        }
        if (tags.focalLength) {
            exif["Exif.Photo.FocalLength"] =
                Exiv2::URational(static_cast<uint32_t>(*tags.focalLength), 1);
        }
        if (tags.isoSpeed) {
            exif["Exif.Photo.ISOSpeedRatings"] = uint16_t(*tags.isoSpeed);
        }
        if (tags.orientation) {
            exif["Exif.Image.Orientation"] = uint16_t(*tags.orientation);
        }
        image->writeMetadata();
        return {};
    } catch (const std::exception& error) {
        return QString::fromLocal8Bit(error.what());
    }
}

} // namespace ExifWriter
