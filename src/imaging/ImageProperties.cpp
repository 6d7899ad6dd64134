#include "ImageProperties.h"

#include <algorithm>
#include <cmath>
#include <exiv2/exiv2.hpp>
#include <mutex>
#include <optional>

namespace {

std::mutex xmpToolkitMutex;

void lockXmpToolkit(void* mutex, bool lock)
{
    auto* m = static_cast<std::mutex*>(mutex);
    if (lock) {
        m->lock();
    } else {
        m->unlock();
    }
}

const Exiv2::Exifdatum* find(const Exiv2::ExifData& exif, const char* key)
{
    const auto it = exif.findKey(Exiv2::ExifKey(key));
    return it == exif.end() || it->count() < 1 ? nullptr : &*it;
}

// Characters that would break a one-line display: the C0 and C1 controls, DEL, and the line
// and paragraph separators.
bool breaksTheLine(char16_t character)
{
    return character < 0x20 || (character >= 0x7F && character <= 0x9F) || character == 0x2028 ||
           character == 0x2029;
}

// Text from a file is shown on one line: each control character becomes a space, and the space
// padding that cameras leave after the text is dropped. Exiv2 already ends the text at its
// first NUL, as EXIF defines its text entries, which drops NUL padding too. Text that is left
// empty counts as absent.
std::optional<QString> text(const Exiv2::ExifData& exif, const char* key)
{
    const Exiv2::Exifdatum* datum = find(exif, key);
    if (datum == nullptr || datum->typeId() != Exiv2::asciiString) {
        return std::nullopt;
    }
    QString value = QString::fromStdString(datum->toString());
    for (QChar& character : value) {
        if (breaksTheLine(character.unicode())) {
            character = u' ';
        }
    }
    qsizetype end = value.size();
    while (end > 0 && value.at(end - 1) == u' ') {
        --end;
    }
    value.truncate(end);
    if (value.isEmpty()) {
        return std::nullopt;
    }
    return value;
}

// Larger than any sensitivity a camera records, and well inside qint64.
constexpr double maximumRating = 1e15;

std::optional<double> number(const Exiv2::Exifdatum& datum, long index)
{
    switch (datum.typeId()) {
    case Exiv2::unsignedRational: {
        // Read as unsigned: the signed conversion turns terms of 2^31 and more negative.
        const auto* value = dynamic_cast<const Exiv2::URationalValue*>(&datum.value());
        if (value == nullptr || index < 0 || std::size_t(index) >= value->value_.size()) {
            return std::nullopt;
        }
        const Exiv2::URational fraction = value->value_[std::size_t(index)];
        if (fraction.second == 0) {
            return std::nullopt;
        }
        return double(fraction.first) / double(fraction.second);
    }
    case Exiv2::signedRational: {
        const Exiv2::Rational fraction = datum.toRational(index);
        if (fraction.second == 0) {
            return std::nullopt;
        }
        return double(fraction.first) / double(fraction.second);
    }
    case Exiv2::unsignedByte:
    case Exiv2::unsignedShort:
    case Exiv2::unsignedLong:
    case Exiv2::signedByte:
    case Exiv2::signedShort:
    case Exiv2::signedLong:
        return double(datum.toLong(index));
    case Exiv2::tiffFloat:
        return double(datum.toFloat(index));
    case Exiv2::tiffDouble: {
        // Full precision: narrowing to float would turn large values into infinity.
        const auto* value = dynamic_cast<const Exiv2::DoubleValue*>(&datum.value());
        if (value == nullptr || index < 0 || std::size_t(index) >= value->value_.size()) {
            return std::nullopt;
        }
        return value->value_[std::size_t(index)];
    }
    default:
        return std::nullopt;
    }
}

std::optional<double> number(const Exiv2::ExifData& exif, const char* key)
{
    const Exiv2::Exifdatum* datum = find(exif, key);
    return datum == nullptr ? std::nullopt : number(*datum, 0);
}

std::optional<QVariantList> numbers(const Exiv2::ExifData& exif, const char* key)
{
    const Exiv2::Exifdatum* datum = find(exif, key);
    if (datum == nullptr) {
        return std::nullopt;
    }
    QVariantList list;
    for (long i = 0; i < datum->count(); ++i) {
        const std::optional<double> value = number(*datum, i);
        // A rating that is not a finite number within range is not a rating; converting it to
        // an integer would be undefined.
        if (!value || !std::isfinite(*value) || std::abs(*value) > maximumRating) {
            return std::nullopt;
        }
        list.append(qint64(*value));
    }
    return list;
}

bool hasGroup(const Exiv2::ExifData& exif, const std::string& group)
{
    return std::any_of(exif.begin(), exif.end(),
                       [&](const Exiv2::Exifdatum& datum) { return datum.groupName() == group; });
}

void insertIfPresent(QVariantMap& map, QLatin1StringView key, const auto& value)
{
    if (value) {
        map.insert(key, *value);
    }
}

void readExif(const QByteArray& fileContents, QVariantMap& properties)
{
    ImageProperties::configureExiv2();
    try {
        const auto image = Exiv2::ImageFactory::open(
            reinterpret_cast<const Exiv2::byte*>(fileContents.constData()),
            long(fileContents.size()));
        image->readMetadata();
        const Exiv2::ExifData& exif = image->exifData();
        if (hasGroup(exif, "Image")) {
            QVariantMap tiff;
            insertIfPresent(tiff, ImageProperties::modelKey, text(exif, "Exif.Image.Model"));
            properties.insert(ImageProperties::tiffKey, tiff);
        }
        if (hasGroup(exif, "Photo")) {
            QVariantMap photo;
            insertIfPresent(photo, ImageProperties::dateTimeOriginalKey,
                            text(exif, "Exif.Photo.DateTimeOriginal"));
            insertIfPresent(photo, ImageProperties::exposureTimeKey,
                            number(exif, "Exif.Photo.ExposureTime"));
            insertIfPresent(photo, ImageProperties::focalLengthKey,
                            number(exif, "Exif.Photo.FocalLength"));
            insertIfPresent(photo, ImageProperties::isoSpeedRatingsKey,
                            numbers(exif, "Exif.Photo.ISOSpeedRatings"));
            properties.insert(ImageProperties::exifKey, photo);
        }
    } catch (const std::exception&) {
        // Unknown container or damaged metadata: the image simply has no TIFF or EXIF entries.
    }
}

} // namespace

namespace ImageProperties {

// Exiv2 keeps process-wide state: its log level, the XMP toolkit (not thread-safe without a
// lock function) and the switch for the ISO base media format that HEIF and AVIF use.
void configureExiv2()
{
    static std::once_flag once;
    std::call_once(once, [] {
        Exiv2::LogMsg::setLevel(Exiv2::LogMsg::mute);
        Exiv2::XmpParser::initialize(lockXmpToolkit, &xmpToolkitMutex);
        Exiv2::enableBMFF(true);
    });
}

QVariantMap read(const QByteArray& fileContents, QSize storedPixelSize)
{
    QVariantMap properties;
    if (storedPixelSize.isValid()) {
        properties.insert(pixelWidthKey, storedPixelSize.width());
        properties.insert(pixelHeightKey, storedPixelSize.height());
    }
    readExif(fileContents, properties);
    return properties;
}

} // namespace ImageProperties
