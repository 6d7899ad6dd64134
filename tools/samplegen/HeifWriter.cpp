#include "HeifWriter.h"

#include <QFile>
#include <cstring>
#include <libheif/heif.h>
#include <memory>

namespace {

heif_compression_format compressionOf(HeifWriter::Format format)
{
    return format == HeifWriter::Format::Heic ? heif_compression_HEVC : heif_compression_AV1;
}

QString errorText(const heif_error& error)
{
    return QString::fromUtf8(error.message ? error.message : "libheif error");
}

struct ContextDeleter
{
    void operator()(heif_context* context) const { heif_context_free(context); }
};
struct EncoderDeleter
{
    void operator()(heif_encoder* encoder) const { heif_encoder_release(encoder); }
};
struct ImageDeleter
{
    void operator()(heif_image* image) const { heif_image_release(image); }
};

} // namespace

namespace HeifWriter {

bool canWrite(Format format)
{
    return heif_have_encoder_for_format(compressionOf(format)) != 0;
}

QString write(const QImage& image, const QString& path, Format format)
{
    const QImage rgb = image.convertToFormat(QImage::Format_RGB888);
    const std::unique_ptr<heif_context, ContextDeleter> context(heif_context_alloc());
    heif_encoder* rawEncoder = nullptr;
    heif_error error =
        heif_context_get_encoder_for_format(context.get(), compressionOf(format), &rawEncoder);
    const std::unique_ptr<heif_encoder, EncoderDeleter> encoder(rawEncoder);
    if (error.code != heif_error_Ok) {
        return errorText(error);
    }
    heif_encoder_set_logging_level(encoder.get(), 0);
    heif_encoder_set_lossy_quality(encoder.get(), 80);

    heif_image* rawImage = nullptr;
    error = heif_image_create(rgb.width(), rgb.height(), heif_colorspace_RGB,
                              heif_chroma_interleaved_RGB, &rawImage);
    const std::unique_ptr<heif_image, ImageDeleter> heifImage(rawImage);
    if (error.code != heif_error_Ok) {
        return errorText(error);
    }
    error = heif_image_add_plane(heifImage.get(), heif_channel_interleaved, rgb.width(),
                                 rgb.height(), 8);
    if (error.code != heif_error_Ok) {
        return errorText(error);
    }
    int stride = 0;
    uint8_t* plane = heif_image_get_plane(heifImage.get(), heif_channel_interleaved, &stride);
    for (int y = 0; y < rgb.height(); ++y) {
        std::memcpy(plane + static_cast<std::ptrdiff_t>(y) * stride, rgb.constScanLine(y),
                    static_cast<std::size_t>(rgb.width()) * 3);
    }

    error =
        heif_context_encode_image(context.get(), heifImage.get(), encoder.get(), nullptr, nullptr);
    if (error.code != heif_error_Ok) {
        return errorText(error);
    }
    error = heif_context_write_to_file(context.get(), QFile::encodeName(path).constData());
    return error.code == heif_error_Ok ? QString() : errorText(error);
}

} // namespace HeifWriter
