#include "CopyMetadata.h"

#include "ImageProperties.h"
#include "ImageSource.h"

#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <exiv2/exiv2.hpp>
#include <functional>
#include <string>

namespace {

// Primary-image tags that describe how a file's own pixels are stored: they belong to the
// encoding at hand, never to the original's.
bool isStructural(const std::string& tagName)
{
    static const char* const names[] = {"NewSubfileType",
                                        "SubfileType",
                                        "ImageWidth",
                                        "ImageLength",
                                        "BitsPerSample",
                                        "Compression",
                                        "PhotometricInterpretation",
                                        "FillOrder",
                                        "StripOffsets",
                                        "SamplesPerPixel",
                                        "RowsPerStrip",
                                        "StripByteCounts",
                                        "PlanarConfiguration",
                                        "Predictor",
                                        "ColorMap",
                                        "TileWidth",
                                        "TileLength",
                                        "TileOffsets",
                                        "TileByteCounts",
                                        "SubIFDs",
                                        "ExtraSamples",
                                        "SampleFormat",
                                        "JPEGTables",
                                        "JPEGProc",
                                        "JPEGInterchangeFormat",
                                        "JPEGInterchangeFormatLength",
                                        "YCbCrCoefficients",
                                        "YCbCrSubSampling",
                                        "YCbCrPositioning",
                                        "InterColorProfile",
                                        "XResolution",
                                        "YResolution",
                                        "ResolutionUnit",
                                        "ExifTag",
                                        "GPSTag",
                                        "InteroperabilityTag"};
    return std::any_of(std::begin(names), std::end(names),
                       [&](const char* name) { return tagName == name; });
}

bool startsWith(const std::string& text, const char* prefix)
{
    return text.rfind(prefix, 0) == 0;
}

// Entries that hold or locate a smaller rendition of the whole original image.
bool isPreview(const Exiv2::Exifdatum& datum)
{
    const std::string group = datum.groupName();
    const std::string tag = datum.tagName();
    return group == "Thumbnail" || startsWith(group, "SubImage") || startsWith(group, "SubThumb") ||
           group == "Image2" || group == "Image3" || group == "NikonPreview" ||
           tag.find("Preview") != std::string::npos || tag.find("Thumbnail") != std::string::npos;
}

// What the copy may take over from the original's EXIF block.
using ExifFilter = std::function<bool(const Exiv2::Exifdatum&)>;
// Adjusts the copy's metadata once the original's has been merged in.
using Adjustment = std::function<void(Exiv2::Image& copy, Exiv2::Image& original)>;

bool holdsMetadata(const QString& pathExtension)
{
    return pathExtension == u"jpg" || pathExtension == u"jpeg" || pathExtension == u"jpe" ||
           pathExtension == u"png" || pathExtension == u"tif" || pathExtension == u"tiff";
}

auto openBytes(const QByteArray& bytes)
{
    return Exiv2::ImageFactory::open(reinterpret_cast<const Exiv2::byte*>(bytes.constData()),
                                     long(bytes.size()));
}

// The encoder's own EXIF entries are kept only where they describe its pixels (a TIFF's
// structure and resolution); the original's pass `filter`, unless the encoder has set them.
void mergeExif(Exiv2::ExifData& copy, const Exiv2::ExifData& original, const ExifFilter& filter)
{
    for (auto it = copy.begin(); it != copy.end();) {
        it = it->groupName() == "Image" && isStructural(it->tagName()) ? std::next(it)
                                                                       : copy.erase(it);
    }
    for (const Exiv2::Exifdatum& datum : original) {
        if (!filter(datum) || (datum.groupName() == "Image" && isStructural(datum.tagName()))) {
            continue;
        }
        if (copy.findKey(Exiv2::ExifKey(datum.key())) == copy.end()) {
            copy.add(datum);
        }
    }
}

// The encoder embeds the colour profile attached to the pixels; the original's is added only
// when the encoding carries none.
void keepColourProfile(Exiv2::Image& copy, Exiv2::Image& source)
{
    if (copy.iccProfileDefined() || !source.iccProfileDefined()) {
        return;
    }
    try {
        const Exiv2::DataBuf* profile = source.iccProfile();
        Exiv2::DataBuf duplicate(profile->pData_, profile->size_);
        copy.setIccProfile(duplicate);
    } catch (const std::exception&) {
        // A profile Exiv2 finds malformed stays behind.
    }
}

QByteArray finished(const QByteArray& encoded, const QString& pathExtension,
                    const QByteArray& originalFile, const ExifFilter& filter,
                    const Adjustment& adjust)
{
    if (encoded.isEmpty() || originalFile.isEmpty() || !holdsMetadata(pathExtension)) {
        return encoded;
    }
    ImageProperties::configureExiv2();
    try {
        auto original = openBytes(originalFile);
        original->readMetadata();
        auto copy = openBytes(encoded);
        copy->readMetadata();
        mergeExif(copy->exifData(), original->exifData(), filter);
        copy->clearXmpPacket();
        copy->clearXmpData();
        copy->clearIptcData();
        copy->clearComment();
        adjust(*copy, *original);
        keepColourProfile(*copy, *original);
        copy->writeMetadata();

        Exiv2::BasicIo& io = copy->io();
        if (io.open() != 0) {
            return encoded;
        }
        const long size = io.size();
        const Exiv2::DataBuf bytes = io.read(size);
        io.close();
        if (size <= 0 || bytes.size_ != size) {
            return encoded;
        }
        return QByteArray(reinterpret_cast<const char*>(bytes.pData_), qsizetype(bytes.size_));
    } catch (const std::exception&) {
        // Unknown container or damaged metadata: the copy goes out without it.
        return encoded;
    }
}

void setIfPresent(Exiv2::ExifData& exif, const char* key, uint32_t value)
{
    if (exif.findKey(Exiv2::ExifKey(key)) != exif.end()) {
        exif[key] = value;
    }
}

void setIfPresent(Exiv2::XmpData& xmp, const char* key, int value)
{
    const auto it = xmp.findKey(Exiv2::XmpKey(key));
    if (it != xmp.end()) {
        it->setValue(std::to_string(value));
    }
}

bool isDateTaken(const Exiv2::Exifdatum& datum)
{
    const std::string key = datum.key();
    return key == "Exif.Photo.DateTimeOriginal" || key == "Exif.Photo.SubSecTimeOriginal" ||
           key == "Exif.Photo.OffsetTimeOriginal";
}

} // namespace

namespace CopyMetadata {

QByteArray forCrop(const QByteArray& encoded, const QString& pathExtension,
                   const QByteArray& originalFile, QSize newPixelSize)
{
    const auto filter = [](const Exiv2::Exifdatum& datum) { return !isPreview(datum); };
    const auto adjust = [newPixelSize](Exiv2::Image& copy, const Exiv2::Image& original) {
        Exiv2::ExifData& exif = copy.exifData();
        if (exif.findKey(Exiv2::ExifKey("Exif.Image.Orientation")) != exif.end()) {
            exif["Exif.Image.Orientation"] = uint16_t(1);
        }
        setIfPresent(exif, "Exif.Photo.PixelXDimension", uint32_t(newPixelSize.width()));
        setIfPresent(exif, "Exif.Photo.PixelYDimension", uint32_t(newPixelSize.height()));

        Exiv2::XmpData xmp = original.xmpData();
        for (auto it = xmp.begin(); it != xmp.end();) {
            it = startsWith(it->key(), "Xmp.xmp.Thumbnails") ? xmp.erase(it) : std::next(it);
        }
        setIfPresent(xmp, "Xmp.tiff.Orientation", 1);
        setIfPresent(xmp, "Xmp.exif.PixelXDimension", newPixelSize.width());
        setIfPresent(xmp, "Xmp.exif.PixelYDimension", newPixelSize.height());
        setIfPresent(xmp, "Xmp.tiff.ImageWidth", newPixelSize.width());
        setIfPresent(xmp, "Xmp.tiff.ImageLength", newPixelSize.height());
        copy.setXmpData(xmp);
        copy.setIptcData(original.iptcData());
        // Only JPEG has a comment of its own; Exiv2 refuses one for the other formats.
        if (copy.mimeType() == "image/jpeg") {
            copy.setComment(original.comment());
        }
    };
    return finished(encoded, pathExtension, originalFile, filter, adjust);
}

QByteArray forMarkup(const QByteArray& encoded, const QString& pathExtension,
                     const QByteArray& originalFile)
{
    return finished(encoded, pathExtension, originalFile, isDateTaken,
                    [](Exiv2::Image&, Exiv2::Image&) {});
}

QByteArray readOriginal(const QString& path)
{
    // Regular files only: a FIFO put in the photo's place would block the read.
    QFile file(path);
    if (!QFileInfo(path).isFile() || !file.open(QIODevice::ReadOnly) ||
        file.size() > ImageSource::maximumBytes) {
        return {};
    }
    return file.read(ImageSource::maximumBytes);
}

} // namespace CopyMetadata
