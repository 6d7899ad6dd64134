#pragma once

#include <QByteArray>
#include <QImage>
#include <QSize>
#include <memory>

struct heif_context;
struct heif_image_handle;

// The primary image of a HEIF container (HEIC, HEIF, AVIF) held in memory, decoded through
// libheif. Qt has no decoder for these formats; this gives them the same three answers the Qt
// readers give the loader: can it be read, its stored size, and the decoded bitmap with the
// container's rotation and mirroring applied and the primary image's colour profile (ICC, or
// the nclx code points for sRGB, Display P3 and BT.2020) attached as its colour space, never
// applied.
class HeifImageFile
{
public:
    // True when `data` starts with a file-type box that libheif does not rule out, including
    // the generic `mif1` brand whose coding libheif only learns by parsing. Such files never
    // reach another decoder: one that libheif cannot parse is refused.
    static bool isHeif(const QByteArray& data);

    // Parses the container; `isValid()` says whether a primary image was found. Keeps a
    // reference to `data` (no copy) for as long as this object lives.
    explicit HeifImageFile(const QByteArray& data);
    ~HeifImageFile();
    HeifImageFile(const HeifImageFile&) = delete;
    HeifImageFile& operator=(const HeifImageFile&) = delete;

    bool isValid() const;

    // The size of the coded image before rotation and mirroring, in pixels; empty when invalid.
    QSize storedPixelSize() const;

    // The size of the primary image as shown: cropped, rotated and mirrored.
    QSize displayedPixelSize() const;

    // The primary image at full resolution with its transformations applied, as RGB32 or, with
    // an alpha channel, ARGB32_Premultiplied (8 bits per channel; deeper images are reduced).
    // Null when invalid, when either the stored or the displayed size would need more than
    // `maximumBytes` at 4 bytes per pixel (checked before anything is decoded), or when
    // decoding fails.
    QImage decode(qint64 maximumBytes) const;

    // The primary image with its transformations applied, reduced so that its longest side is
    // at least `longestSide` (never enlarged). Same formats and refusals as decode(). Comes
    // from the smallest embedded thumbnail that covers the side, when there is one, and from
    // the full image reduced otherwise.
    QImage decodeScaled(int longestSide, qint64 maximumBytes) const;

    // True when decodeScaled(longestSide) would decode an embedded thumbnail.
    bool hasThumbnailCovering(int longestSide) const;

private:
    struct ContextDeleter
    {
        void operator()(heif_context* context) const;
    };
    struct HandleDeleter
    {
        void operator()(const heif_image_handle* handle) const;
    };

    using Handle = std::unique_ptr<const heif_image_handle, HandleDeleter>;

    // The smallest thumbnail whose longest side is at least `longestSide` but below the
    // primary image's, displayed in the primary's orientation; null when there is none.
    Handle thumbnailCovering(int longestSide) const;
    bool primaryFitsIn(qint64 maximumBytes) const;

    QByteArray m_data;
    std::unique_ptr<heif_context, ContextDeleter> m_context;
    Handle m_handle;
};
