#include "AvifSequenceWriter.h"

#include <QFile>
#include <avif/avif.h>
#include <memory>

namespace {

struct EncoderDeleter
{
    void operator()(avifEncoder* encoder) const { avifEncoderDestroy(encoder); }
};

struct ImageDeleter
{
    void operator()(avifImage* image) const { avifImageDestroy(image); }
};

QString avifError(const char* step, avifResult result)
{
    return QStringLiteral("%1: %2").arg(QLatin1String(step),
                                        QLatin1String(avifResultToString(result)));
}

} // namespace

namespace AvifSequenceWriter {

QString write(const QList<QImage>& frames, int durationMs, const QString& path)
{
    if (frames.isEmpty() || frames.first().isNull() || durationMs <= 0) {
        return QStringLiteral("no frames to write");
    }
    const QSize size = frames.first().size();
    const bool hasAlpha = frames.first().hasAlphaChannel();
    const std::unique_ptr<avifEncoder, EncoderDeleter> encoder(avifEncoderCreate());
    if (!encoder) {
        return QStringLiteral("no AV1 encoder");
    }
    encoder->codecChoice = AVIF_CODEC_CHOICE_AOM;
    encoder->speed = AVIF_SPEED_FASTEST;
    encoder->minQuantizer = 10;
    encoder->maxQuantizer = 30;
    encoder->minQuantizerAlpha = 10;
    encoder->maxQuantizerAlpha = 30;
    encoder->timescale = 1000; // durations in ms
    for (const QImage& frame : frames) {
        if (frame.size() != size) {
            return QStringLiteral("frames differ in size");
        }
        const QImage rgba = frame.convertToFormat(QImage::Format_RGBA8888);
        const std::unique_ptr<avifImage, ImageDeleter> image(avifImageCreate(
            uint32_t(size.width()), uint32_t(size.height()), 8, AVIF_PIXEL_FORMAT_YUV420));
        if (!image) {
            return QStringLiteral("out of memory");
        }
        image->colorPrimaries = AVIF_COLOR_PRIMARIES_BT709;
        image->transferCharacteristics = AVIF_TRANSFER_CHARACTERISTICS_SRGB;
        image->matrixCoefficients = AVIF_MATRIX_COEFFICIENTS_BT601;
        image->yuvRange = AVIF_RANGE_FULL;
        avifRGBImage rgb;
        avifRGBImageSetDefaults(&rgb, image.get());
        rgb.format = AVIF_RGB_FORMAT_RGBA;
        rgb.ignoreAlpha = hasAlpha ? AVIF_FALSE : AVIF_TRUE;
        rgb.pixels = const_cast<uint8_t*>(rgba.constBits()); // read only: RGB to YUV
        rgb.rowBytes = uint32_t(rgba.bytesPerLine());
        if (const avifResult result = avifImageRGBToYUV(image.get(), &rgb);
            result != AVIF_RESULT_OK) {
            return avifError("colour conversion", result);
        }
        if (const avifResult result = avifEncoderAddImage(
                encoder.get(), image.get(), uint64_t(durationMs), AVIF_ADD_IMAGE_FLAG_NONE);
            result != AVIF_RESULT_OK) {
            return avifError("encoding", result);
        }
    }
    avifRWData output = AVIF_DATA_EMPTY;
    if (const avifResult result = avifEncoderFinish(encoder.get(), &output);
        result != AVIF_RESULT_OK) {
        return avifError("encoding", result);
    }
    const QByteArray bytes(reinterpret_cast<const char*>(output.data), qsizetype(output.size));
    avifRWDataFree(&output);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        file.write(bytes) != bytes.size()) {
        return file.errorString();
    }
    return {};
}

} // namespace AvifSequenceWriter
