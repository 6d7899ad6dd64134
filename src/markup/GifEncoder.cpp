#include "GifEncoder.h"

#include <cstdint>
#include <gif_lib.h>
#include <libimagequant.h>
#include <memory>
#include <new>
#include <vector>

namespace GifEncoder {

namespace {

// The largest width and height a GIF's 16-bit screen descriptor can hold.
constexpr int maximumSide = 65535;

struct AttrDeleter
{
    void operator()(liq_attr* attr) const { liq_attr_destroy(attr); }
};
struct ImageDeleter
{
    void operator()(liq_image* image) const { liq_image_destroy(image); }
};
struct ResultDeleter
{
    void operator()(liq_result* result) const { liq_result_destroy(result); }
};
struct MapDeleter
{
    void operator()(ColorMapObject* map) const { GifFreeMapObject(map); }
};
struct GifDeleter
{
    void operator()(GifFileType* gif) const
    {
        int error = 0;
        EGifCloseFile(gif, &error);
    }
};

// giflib's output callback. No exception may cross giflib's C frames: a buffer that cannot grow
// reports a short write, which giflib turns into an error.
int appendToBuffer(GifFileType* gif, const GifByteType* bytes, int length)
{
    try {
        static_cast<QByteArray*>(gif->UserData)
            ->append(reinterpret_cast<const char*>(bytes), length);
    } catch (const std::bad_alloc&) {
        return 0;
    }
    return length;
}

// Straight (not premultiplied) RGBA with every pixel either fully transparent (all channels
// zero, so they quantize to one palette entry) or fully opaque.
QImage withBinaryAlpha(const QImage& image)
{
    QImage rgba = image.convertToFormat(QImage::Format_RGBA8888);
    for (int y = 0; y < rgba.height(); ++y) {
        auto* pixel = reinterpret_cast<std::uint32_t*>(rgba.scanLine(y));
        for (int x = 0; x < rgba.width(); ++x) {
            auto* channel = reinterpret_cast<std::uint8_t*>(pixel + x);
            if (channel[3] < 128) {
                pixel[x] = 0;
            } else {
                channel[3] = 255;
            }
        }
    }
    return rgba;
}

// The smallest colour-table size a GIF allows (a power of two, at least 2) for `count` colours.
int colorTableSize(unsigned int count)
{
    int size = 2;
    while (unsigned(size) < count) {
        size *= 2;
    }
    return size;
}

// encode() for a non-null image of at most maximumSide pixels each way; throws std::bad_alloc
// when memory runs out.
std::optional<QByteArray> encodeFitting(const QImage& image)
{
    const QImage rgba = withBinaryAlpha(image);
    const int width = rgba.width();
    const int height = rgba.height();
    if (rgba.isNull() || rgba.bytesPerLine() != qsizetype(width) * 4) {
        return std::nullopt;
    }

    const std::unique_ptr<liq_attr, AttrDeleter> attr(liq_attr_create());
    if (!attr) {
        return std::nullopt;
    }
    const std::unique_ptr<liq_image, ImageDeleter> input(
        liq_image_create_rgba(attr.get(), rgba.constBits(), width, height, 0));
    if (!input) {
        return std::nullopt;
    }
    liq_result* rawResult = nullptr;
    if (liq_image_quantize(input.get(), attr.get(), &rawResult) != LIQ_OK || !rawResult) {
        return std::nullopt;
    }
    const std::unique_ptr<liq_result, ResultDeleter> result(rawResult);
    liq_set_dithering_level(result.get(), 1.0f);
    std::vector<GifPixelType> indices(std::size_t(width) * std::size_t(height));
    if (liq_write_remapped_image(result.get(), input.get(), indices.data(), indices.size()) !=
        LIQ_OK) {
        return std::nullopt;
    }
    const liq_palette* palette = liq_get_palette(result.get());
    if (!palette || palette->count == 0 || palette->count > 256) {
        return std::nullopt;
    }

    const std::unique_ptr<ColorMapObject, MapDeleter> colorMap(
        GifMakeMapObject(colorTableSize(palette->count), nullptr));
    if (!colorMap) {
        return std::nullopt;
    }
    int transparentIndex = NO_TRANSPARENT_COLOR;
    for (int i = 0; i < colorMap->ColorCount; ++i) {
        const bool used = unsigned(i) < palette->count;
        const liq_color color = used ? palette->entries[i] : liq_color{0, 0, 0, 255};
        colorMap->Colors[i] = {color.r, color.g, color.b};
        if (used && color.a == 0 && transparentIndex == NO_TRANSPARENT_COLOR) {
            transparentIndex = i;
        }
    }
    if (transparentIndex != NO_TRANSPARENT_COLOR) {
        // Every transparent pixel takes the transparent entry, whatever the dithering chose.
        const auto* pixels = reinterpret_cast<const std::uint32_t*>(rgba.constBits());
        for (std::size_t i = 0; i < indices.size(); ++i) {
            if (pixels[i] == 0) {
                indices[i] = GifPixelType(transparentIndex);
            }
        }
    }

    QByteArray bytes;
    int error = 0;
    std::unique_ptr<GifFileType, GifDeleter> gif(EGifOpen(&bytes, appendToBuffer, &error));
    if (!gif) {
        return std::nullopt;
    }
    EGifSetGifVersion(gif.get(), transparentIndex != NO_TRANSPARENT_COLOR);
    if (EGifPutScreenDesc(gif.get(), width, height, 8, 0, colorMap.get()) != GIF_OK) {
        return std::nullopt;
    }
    if (transparentIndex != NO_TRANSPARENT_COLOR) {
        const GraphicsControlBlock control{DISPOSAL_UNSPECIFIED, false, 0, transparentIndex};
        GifByteType extension[4];
        EGifGCBToExtension(&control, extension);
        if (EGifPutExtension(gif.get(), GRAPHICS_EXT_FUNC_CODE, sizeof extension, extension) !=
            GIF_OK) {
            return std::nullopt;
        }
    }
    if (EGifPutImageDesc(gif.get(), 0, 0, width, height, false, nullptr) != GIF_OK) {
        return std::nullopt;
    }
    for (int y = 0; y < height; ++y) {
        if (EGifPutLine(gif.get(), indices.data() + std::size_t(y) * width, width) != GIF_OK) {
            return std::nullopt;
        }
    }
    if (EGifCloseFile(gif.release(), &error) != GIF_OK) {
        return std::nullopt;
    }
    return bytes;
}

} // namespace

std::optional<QByteArray> encode(const QImage& image)
{
    if (image.isNull() || image.width() > maximumSide || image.height() > maximumSide) {
        return std::nullopt;
    }
    // The pixel copies of a large image (RGBA, palette indices, the file) may not fit in memory;
    // that is a failed encoding, not the end of the program.
    try {
        return encodeFitting(image);
    } catch (const std::bad_alloc&) {
        return std::nullopt;
    }
}

} // namespace GifEncoder
