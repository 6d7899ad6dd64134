#include "HeifImageFile.h"

#include "BitmapSize.h"
#include "ImageReduction.h"

#include <QColorSpace>
#include <QPointF>
#include <algorithm>
#include <climits>
#include <libheif/heif.h>
#include <mutex>
#include <optional>
#include <vector>

namespace {

void initializeLibheifOnce()
{
    // Registers the codec plugins. Paired with no deinit: the library stays loaded for the
    // life of the process, and other threads may be decoding at exit.
    static std::once_flag once;
    std::call_once(once, [] { heif_init(nullptr); });
}

struct ImageDeleter
{
    void operator()(const heif_image* image) const { heif_image_release(image); }
};

QSize displayedSizeOf(const heif_image_handle* handle)
{
    return {heif_image_handle_get_width(handle), heif_image_handle_get_height(handle)};
}

// The decoded image of `handle` with its own transformations applied, as RGB32 or
// ARGB32_Premultiplied; null when it fails or comes out larger than `maximumBytes`.
QImage decodeHandle(const heif_image_handle* handle, qint64 maximumBytes)
{
    const bool hasAlpha = heif_image_handle_has_alpha_channel(handle) != 0;
    const std::unique_ptr<heif_decoding_options, decltype(&heif_decoding_options_free)> options(
        heif_decoding_options_alloc(), &heif_decoding_options_free);
    if (!options) {
        return {};
    }
    options->convert_hdr_to_8bit = 1;
    heif_image* decoded = nullptr;
    const heif_error error = heif_decode_image(
        handle, &decoded, heif_colorspace_RGB,
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
    if (pixels == nullptr || !BitmapSize::fitsIn(QSize(width, height), maximumBytes) ||
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

// The transfer curve Qt models for an nclx transfer characteristic. The camera curves of the
// BT.601, BT.709 and BT.2020 family differ from sRGB only near black and are shown through it.
std::optional<QColorSpace::TransferFunction> transferFunctionOf(heif_transfer_characteristics code)
{
    switch (code) {
    case heif_transfer_characteristic_IEC_61966_2_1:
    case heif_transfer_characteristic_ITU_R_BT_709_5:
    case heif_transfer_characteristic_ITU_R_BT_601_6:
    case heif_transfer_characteristic_ITU_R_BT_2020_2_10bit:
    case heif_transfer_characteristic_ITU_R_BT_2020_2_12bit:
        return QColorSpace::TransferFunction::SRgb;
    case heif_transfer_characteristic_linear:
        return QColorSpace::TransferFunction::Linear;
    default:
        return std::nullopt;
    }
}

// The colour space of nclx code points; invalid for primaries or curves Qt cannot model
// (PQ and HLG among them) and for unspecified ones.
QColorSpace colorSpaceOf(const heif_color_profile_nclx& nclx)
{
    const std::optional<QColorSpace::TransferFunction> transfer =
        transferFunctionOf(nclx.transfer_characteristics);
    if (!transfer) {
        return {};
    }
    switch (nclx.color_primaries) {
    case heif_color_primaries_ITU_R_BT_709_5:
        return QColorSpace(QColorSpace::Primaries::SRgb, *transfer);
    case heif_color_primaries_SMPTE_EG_432_1:
        return QColorSpace(QColorSpace::Primaries::DciP3D65, *transfer);
    case heif_color_primaries_ITU_R_BT_2020_2_and_2100_0:
        // D65 white and the BT.2020 primaries, as CIE xy.
        return QColorSpace(QPointF(0.3127, 0.3290), QPointF(0.708, 0.292), QPointF(0.170, 0.797),
                           QPointF(0.131, 0.046), *transfer);
    default:
        return {};
    }
}

// The colour profile stored with `handle`, as a colour space; invalid when absent or unusable.
QColorSpace colorSpaceOf(const heif_image_handle* handle)
{
    switch (heif_image_handle_get_color_profile_type(handle)) {
    case heif_color_profile_type_rICC:
    case heif_color_profile_type_prof: {
        const size_t size = heif_image_handle_get_raw_color_profile_size(handle);
        if (size == 0 || size > size_t(INT_MAX)) {
            return {};
        }
        QByteArray profile(qsizetype(size), Qt::Uninitialized);
        if (heif_image_handle_get_raw_color_profile(handle, profile.data()).code != heif_error_Ok) {
            return {};
        }
        return QColorSpace::fromIccProfile(profile);
    }
    case heif_color_profile_type_nclx: {
        heif_color_profile_nclx* nclx = nullptr;
        if (heif_image_handle_get_nclx_color_profile(handle, &nclx).code != heif_error_Ok ||
            nclx == nullptr) {
            return {};
        }
        const std::unique_ptr<heif_color_profile_nclx, decltype(&heif_nclx_color_profile_free)>
            owned(nclx, &heif_nclx_color_profile_free);
        return colorSpaceOf(*owned);
    }
    default:
        return {};
    }
}

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
    return heif_check_filetype(reinterpret_cast<const uint8_t*>(data.constData()), length) !=
           heif_filetype_no;
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

// Decoding holds libheif's planes, its interleaved copy (3 or 4 bytes a pixel) and our bitmap
// (4) at once: about twice what the bitmap alone needs.
bool HeifImageFile::primaryFitsIn(qint64 maximumBytes) const
{
    return m_handle && BitmapSize::fitsIn(storedPixelSize(), maximumBytes / 2) &&
           BitmapSize::fitsIn(displayedSizeOf(m_handle.get()), maximumBytes / 2);
}

QSize HeifImageFile::displayedPixelSize() const
{
    return m_handle ? displayedSizeOf(m_handle.get()) : QSize();
}

QImage HeifImageFile::decode(qint64 maximumBytes) const
{
    if (!primaryFitsIn(maximumBytes)) {
        return {};
    }
    QImage image = decodeHandle(m_handle.get(), maximumBytes);
    const QColorSpace colorSpace = colorSpaceOf(m_handle.get());
    if (!image.isNull() && colorSpace.isValid()) {
        image.setColorSpace(colorSpace);
    }
    return image;
}

HeifImageFile::Handle HeifImageFile::thumbnailCovering(int longestSide) const
{
    if (!m_handle || longestSide < 1) {
        return {};
    }
    const int count = heif_image_handle_get_number_of_thumbnails(m_handle.get());
    if (count < 1) {
        return {};
    }
    std::vector<heif_item_id> ids(static_cast<size_t>(count));
    const int listed =
        heif_image_handle_get_list_of_thumbnail_IDs(m_handle.get(), ids.data(), count);
    const QSize primary = displayedSizeOf(m_handle.get());
    const int primarySide = BitmapSize::longestSide(primary);
    Handle best;
    int bestSide = primarySide;
    for (int i = 0; i < listed; ++i) {
        heif_image_handle* raw = nullptr;
        if (heif_image_handle_get_thumbnail(m_handle.get(), ids[size_t(i)], &raw).code !=
            heif_error_Ok) {
            continue;
        }
        Handle thumbnail(raw);
        const QSize size = displayedSizeOf(thumbnail.get());
        const int side = BitmapSize::longestSide(size);
        // libheif applies each item's own rotation and mirroring. A thumbnail that comes out
        // turned against the primary lacks the primary's; one whose shape differs otherwise
        // is no reduction of it. Either way, the primary is decoded instead.
        const qint64 crossDifference =
            qAbs(qint64(size.width()) * primary.height() - qint64(size.height()) * primary.width());
        const bool sameShape = crossDifference * 20 <= qint64(side) * primarySide;
        if (size.isEmpty() || !sameShape || side < longestSide || side >= bestSide) {
            continue;
        }
        best = std::move(thumbnail);
        bestSide = side;
    }
    return best;
}

bool HeifImageFile::hasThumbnailCovering(int longestSide) const
{
    return thumbnailCovering(longestSide) != nullptr;
}

QImage HeifImageFile::decodeScaled(int longestSide, qint64 maximumBytes) const
{
    if (!primaryFitsIn(maximumBytes)) {
        return {};
    }
    if (const Handle thumbnail = thumbnailCovering(longestSide)) {
        QImage image = decodeHandle(thumbnail.get(), maximumBytes);
        if (!image.isNull()) {
            image.setColorSpace(colorSpaceOf(m_handle.get()));
            return image;
        }
    }
    return ImageReduction::reducedToLongestSide(decode(maximumBytes), longestSide);
}
