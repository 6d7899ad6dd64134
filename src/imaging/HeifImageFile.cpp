#include "HeifImageFile.h"

#include <algorithm>
#include <libheif/heif.h>
#include <mutex>

namespace {

void initializeLibheifOnce()
{
    // Registers the codec plugins. Paired with no deinit: the library stays loaded for the
    // life of the process, and other threads may be decoding at exit.
    static std::once_flag once;
    std::call_once(once, [] { heif_init(nullptr); });
}

bool fitsIn(QSize size, qint64 maximumBytes)
{
    constexpr qint64 bytesPerPixel = 4;
    return size.width() > 0 && size.height() > 0 &&
           qint64(size.width()) * size.height() <= maximumBytes / bytesPerPixel;
}

struct ImageDeleter
{
    void operator()(const heif_image* image) const { heif_image_release(image); }
};

} // namespace

void HeifImageFile::ContextDeleter::operator()(heif_context* context) const
{
    heif_context_free(context);
}

void HeifImageFile::HandleDeleter::operator()(const heif_image_handle* handle) const
{
    heif_image_handle_release(handle);
}

bool HeifImageFile::isHeif(const QByteArray& data)
{
    // The file-type box sits in the first bytes; libheif needs at least 12 of them.
    constexpr int headerBytes = 12;
    if (data.size() < headerBytes) {
        return false;
    }
    initializeLibheifOnce();
    const int length = int(qMin<qsizetype>(data.size(), 64));
    return heif_check_filetype(reinterpret_cast<const uint8_t*>(data.constData()), length) ==
           heif_filetype_yes_supported;
}

HeifImageFile::HeifImageFile(const QByteArray& data) : m_data(data)
{
    initializeLibheifOnce();
    m_context.reset(heif_context_alloc());
    if (!m_context) {
        return;
    }
    heif_error error = heif_context_read_from_memory_without_copy(
        m_context.get(), m_data.constData(), size_t(m_data.size()), nullptr);
    if (error.code != heif_error_Ok) {
        return;
    }
    heif_image_handle* handle = nullptr;
    error = heif_context_get_primary_image_handle(m_context.get(), &handle);
    if (error.code == heif_error_Ok) {
        m_handle.reset(handle);
    }
}

HeifImageFile::~HeifImageFile() = default;

bool HeifImageFile::isValid() const
{
    return m_handle != nullptr;
}

QSize HeifImageFile::storedPixelSize() const
{
    if (!m_handle) {
        return {};
    }
    return {heif_image_handle_get_ispe_width(m_handle.get()),
            heif_image_handle_get_ispe_height(m_handle.get())};
}

QImage HeifImageFile::decode(qint64 maximumBytes) const
{
    if (!m_handle) {
        return {};
    }
    const QSize displayed(heif_image_handle_get_width(m_handle.get()),
                          heif_image_handle_get_height(m_handle.get()));
    if (!fitsIn(storedPixelSize(), maximumBytes) || !fitsIn(displayed, maximumBytes)) {
        return {};
    }
    const bool hasAlpha = heif_image_handle_has_alpha_channel(m_handle.get()) != 0;
    const std::unique_ptr<heif_decoding_options, decltype(&heif_decoding_options_free)> options(
        heif_decoding_options_alloc(), &heif_decoding_options_free);
    if (!options) {
        return {};
    }
    options->convert_hdr_to_8bit = 1;
    heif_image* decoded = nullptr;
    const heif_error error = heif_decode_image(
        m_handle.get(), &decoded, heif_colorspace_RGB,
        hasAlpha ? heif_chroma_interleaved_RGBA : heif_chroma_interleaved_RGB, options.get());
    const std::unique_ptr<const heif_image, ImageDeleter> image(decoded);
    if (error.code != heif_error_Ok || !image) {
        return {};
    }
    int stride = 0;
    const uint8_t* pixels =
        heif_image_get_plane_readonly(image.get(), heif_channel_interleaved, &stride);
    const int width = heif_image_get_width(image.get(), heif_channel_interleaved);
    const int height = heif_image_get_height(image.get(), heif_channel_interleaved);
    if (pixels == nullptr || !fitsIn(QSize(width, height), maximumBytes) ||
        heif_image_get_bits_per_pixel_range(image.get(), heif_channel_interleaved) != 8) {
        return {};
    }
    // Wraps libheif's buffer without copying, then converts into a bitmap of our own in the
    // layout the painter draws fastest; the wrapper dies before `image` releases the buffer.
    const QImage wrapped(pixels, width, height, stride,
                         hasAlpha ? QImage::Format_RGBA8888 : QImage::Format_RGB888);
    return wrapped.convertToFormat(hasAlpha ? QImage::Format_ARGB32_Premultiplied
                                            : QImage::Format_RGB32);
}

QImage HeifImageFile::decodeScaled(int longestSide, qint64 maximumBytes) const
{
    const QImage image = decode(maximumBytes);
    if (image.isNull() || std::max(image.width(), image.height()) <= longestSide) {
        return image;
    }
    return image.scaled(image.size().scaled(longestSide, longestSide, Qt::KeepAspectRatio),
                        Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}
