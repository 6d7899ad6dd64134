#include "TestImageFiles.h"

#include <QFile>
#include <QImageWriter>
#include <QPainter>
#include <QtEndian>
#include <cstring>
#include <exiv2/exiv2.hpp>
#include <libheif/heif.h>
#include <memory>
#include <zlib.h>

#if defined(__SANITIZE_ADDRESS__)
// The HEVC encoder that writes the HEIC fixtures keeps process-wide tables it never frees.
extern "C" const char* __lsan_default_suppressions()
{
    return "leak:libx265.so\n";
}
#endif

namespace {

quint32 crcOf(const QByteArray& bytes)
{
    return quint32(crc32(0, reinterpret_cast<const Bytef*>(bytes.constData()), uInt(bytes.size())));
}

QByteArray bigEndian(quint32 value, int bytes = 4)
{
    char buffer[4];
    qToBigEndian(value, buffer);
    return QByteArray(buffer + 4 - bytes, bytes);
}

void appendChunk(QByteArray& png, const char* type, const QByteArray& data)
{
    const QByteArray typed = QByteArray(type) + data;
    png += bigEndian(quint32(data.size())) + typed + bigEndian(crcOf(typed));
}

} // namespace

namespace TestImageFiles {

QImage quadrants(QSize size)
{
    QImage image(size, QImage::Format_RGB32);
    const int halfWidth = size.width() / 2;
    const int halfHeight = size.height() / 2;
    QPainter painter(&image);
    painter.fillRect(0, 0, halfWidth, halfHeight, topLeftColour);
    painter.fillRect(halfWidth, 0, size.width() - halfWidth, halfHeight, topRightColour);
    painter.fillRect(0, halfHeight, halfWidth, size.height() - halfHeight, bottomLeftColour);
    painter.fillRect(halfWidth, halfHeight, size.width() - halfWidth, size.height() - halfHeight,
                     bottomRightColour);
    return image;
}

bool writeJpeg(const QString& path, const QImage& image, bool progressive)
{
    QImageWriter writer(path, "jpeg");
    writer.setQuality(95);
    writer.setProgressiveScanWrite(progressive);
    return writer.write(image);
}

bool writeExif(const QString& path, const QList<QPair<QString, QString>>& entries)
{
    try {
        auto image = Exiv2::ImageFactory::open(QFile::encodeName(path).toStdString());
        image->readMetadata();
        Exiv2::ExifData& exif = image->exifData();
        for (const auto& [key, value] : entries) {
            exif[key.toStdString()] = value.toStdString();
        }
        image->writeMetadata();
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

bool writeExifThumbnail(const QString& path)
{
    const QString thumbnailPath = path + QStringLiteral(".thumbnail.jpg");
    if (!writeJpeg(thumbnailPath, quadrants(QSize(16, 8)))) {
        return false;
    }
    const QByteArray thumbnail = readBytes(thumbnailPath);
    QFile::remove(thumbnailPath);
    try {
        auto image = Exiv2::ImageFactory::open(QFile::encodeName(path).toStdString());
        image->readMetadata();
        Exiv2::ExifThumb(image->exifData())
            .setJpegThumbnail(reinterpret_cast<const Exiv2::byte*>(thumbnail.constData()),
                              long(thumbnail.size()));
        image->writeMetadata();
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

bool writeHeif(const QString& path, const QImage& image, int orientation, bool av1,
               const HeifExtras& extras)
{
    const heif_compression_format format = av1 ? heif_compression_AV1 : heif_compression_HEVC;
    if (!heif_have_encoder_for_format(format)) {
        return false;
    }
    const std::unique_ptr<heif_context, decltype(&heif_context_free)> context(heif_context_alloc(),
                                                                              &heif_context_free);
    heif_encoder* rawEncoder = nullptr;
    if (heif_context_get_encoder_for_format(context.get(), format, &rawEncoder).code !=
        heif_error_Ok) {
        return false;
    }
    const std::unique_ptr<heif_encoder, decltype(&heif_encoder_release)> encoder(
        rawEncoder, &heif_encoder_release);
    heif_encoder_set_lossy_quality(encoder.get(), 90);

    heif_image* rawImage = nullptr;
    if (heif_image_create(image.width(), image.height(), heif_colorspace_RGB,
                          heif_chroma_interleaved_RGB, &rawImage)
            .code != heif_error_Ok) {
        return false;
    }
    const std::unique_ptr<heif_image, decltype(&heif_image_release)> pixels(rawImage,
                                                                            &heif_image_release);
    heif_image_add_plane(pixels.get(), heif_channel_interleaved, image.width(), image.height(), 8);
    int stride = 0;
    uint8_t* plane = heif_image_get_plane(pixels.get(), heif_channel_interleaved, &stride);
    const QImage rgb = image.convertToFormat(QImage::Format_RGB888);
    for (int y = 0; y < rgb.height(); ++y) {
        std::memcpy(plane + qsizetype(y) * stride, rgb.constScanLine(y), size_t(rgb.width()) * 3);
    }

    const std::unique_ptr<heif_encoding_options, decltype(&heif_encoding_options_free)> options(
        heif_encoding_options_alloc(), &heif_encoding_options_free);
    options->image_orientation = heif_orientation(orientation);
    const std::unique_ptr<heif_color_profile_nclx, decltype(&heif_nclx_color_profile_free)> nclx(
        heif_nclx_color_profile_alloc(), &heif_nclx_color_profile_free);
    if (!extras.iccProfile.isEmpty()) {
        heif_image_set_raw_color_profile(pixels.get(), "prof", extras.iccProfile.constData(),
                                         size_t(extras.iccProfile.size()));
    } else if (extras.nclxPrimaries != 0) {
        options->output_nclx_profile = nclx.get();
        options->macOS_compatibility_workaround_no_nclx_profile = 0;
    }
    heif_image_handle* rawHandle = nullptr;
    if (heif_context_encode_image(context.get(), pixels.get(), encoder.get(), options.get(),
                                  &rawHandle)
            .code != heif_error_Ok) {
        return false;
    }
    const std::unique_ptr<heif_image_handle, decltype(&heif_image_handle_release)> handle(
        rawHandle, &heif_image_handle_release);
    if (extras.thumbnailSide > 0 &&
        heif_context_encode_thumbnail(context.get(), pixels.get(), handle.get(), encoder.get(),
                                      options.get(), extras.thumbnailSide, nullptr)
                .code != heif_error_Ok) {
        return false;
    }
    if (heif_context_write_to_file(context.get(), QFile::encodeName(path).constData()).code !=
        heif_error_Ok) {
        return false;
    }
    if (extras.nclxPrimaries != 0) {
        // This libheif writes unspecified code points in its nclx box; set the ones asked for.
        QByteArray bytes = readBytes(path);
        qsizetype box = bytes.indexOf("colrnclx");
        if (box < 0) {
            return false;
        }
        for (; box >= 0; box = bytes.indexOf("colrnclx", box + 8)) {
            const qsizetype points = box + 8; // primaries, then transfer, 16 bits big-endian
            bytes[points] = char(extras.nclxPrimaries >> 8);
            bytes[points + 1] = char(extras.nclxPrimaries & 0xFF);
            bytes[points + 2] = char(extras.nclxTransfer >> 8);
            bytes[points + 3] = char(extras.nclxTransfer & 0xFF);
        }
        if (!writeBytes(path, bytes)) {
            return false;
        }
    }
    // The image-spatial-extents box holds the coded size, before rotation; cameras write it so.
    // This libheif writes the displayed size for turned images, so put the coded size back.
    constexpr int firstTurnedOrientation = 5;
    if (orientation < firstTurnedOrientation) {
        return true;
    }
    QByteArray bytes = readBytes(path);
    qsizetype box = bytes.indexOf("ispe");
    if (box < 0) {
        return false;
    }
    // The thumbnail has a box of its own.
    for (; box >= 0; box = bytes.indexOf("ispe", box + 4)) {
        const qsizetype extents = box + 8; // type (4), version and flags (4)
        const QByteArray width = bytes.mid(extents, 4);
        bytes.replace(extents, 4, bytes.mid(extents + 4, 4));
        bytes.replace(extents + 4, 4, width);
    }
    return writeBytes(path, bytes);
}

bool writeBytes(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(bytes) == bytes.size();
}

QByteArray readBytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool isNear(QColor actual, QColor expected, int tolerance)
{
    return qAbs(actual.red() - expected.red()) <= tolerance &&
           qAbs(actual.green() - expected.green()) <= tolerance &&
           qAbs(actual.blue() - expected.blue()) <= tolerance;
}

QByteArray apngOf(QSize size, const QList<ApngFrame>& frames, int plays)
{
    QByteArray png("\x89PNG\r\n\x1a\n", 8);
    appendChunk(png, "IHDR",
                bigEndian(size.width()) + bigEndian(size.height()) +
                    QByteArray("\x08\x06\0\0\0", 5));
    appendChunk(png, "acTL", bigEndian(quint32(frames.size())) + bigEndian(quint32(plays)));
    quint32 sequence = 0;
    for (qsizetype i = 0; i < frames.size(); ++i) {
        const ApngFrame& frame = frames[i];
        const QColor c = frame.colour;
        QByteArray rows;
        for (int y = 0; y < frame.rect.height(); ++y) {
            rows += '\0';
            for (int x = 0; x < frame.rect.width(); ++x) {
                rows += char(c.red()) + QByteArray(1, char(c.green())) + char(c.blue()) +
                        char(c.alpha());
            }
        }
        const QByteArray compressed = qCompress(rows).mid(4); // without Qt's length prefix
        appendChunk(png, "fcTL",
                    bigEndian(sequence++) + bigEndian(frame.rect.width()) +
                        bigEndian(frame.rect.height()) + bigEndian(frame.rect.x()) +
                        bigEndian(frame.rect.y()) + bigEndian(frame.delayNumerator, 2) +
                        bigEndian(frame.delayDenominator, 2) + char(frame.dispose) +
                        char(frame.blend));
        if (i == 0) {
            appendChunk(png, "IDAT", compressed);
        } else {
            appendChunk(png, "fdAT", bigEndian(sequence++) + compressed);
        }
    }
    appendChunk(png, "IEND", {});
    return png;
}

} // namespace TestImageFiles
