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
// container's rotation and mirroring applied.
class HeifImageFile
{
public:
    // True when `data` starts like a HEIF container that libheif can read.
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

    // The primary image at full resolution with its transformations applied, as RGB32 or, with
    // an alpha channel, ARGB32_Premultiplied (8 bits per channel; deeper images are reduced).
    // Null when invalid, when either the stored or the displayed size would need more than
    // `maximumBytes` at 4 bytes per pixel (checked before anything is decoded), or when
    // decoding fails.
    QImage decode(qint64 maximumBytes) const;

    // The primary image with its transformations applied, reduced so that its longest side is
    // at least `longestSide` (never enlarged). Same formats and refusals as decode().
    QImage decodeScaled(int longestSide, qint64 maximumBytes) const;

private:
    struct ContextDeleter
    {
        void operator()(heif_context* context) const;
    };
    struct HandleDeleter
    {
        void operator()(const heif_image_handle* handle) const;
    };

    QByteArray m_data;
    std::unique_ptr<heif_context, ContextDeleter> m_context;
    std::unique_ptr<const heif_image_handle, HandleDeleter> m_handle;
};
