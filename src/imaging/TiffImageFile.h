#pragma once

#include <QByteArray>
#include <QImage>
#include <QSize>

// The first image of a TIFF file held in memory, decoded through libtiff for the deep sample
// layouts Qt's reader refuses or misreads: 16, 32 and 64 bits per sample, unsigned integer or
// floating point (32 and 64 bits), with
// 1 (grey), 2 (grey and alpha), 3 (RGB) or 4 (RGBA) samples per pixel, interleaved or in
// separate planes, in strips or tiles, with any compression libtiff decodes.
//
// Samples are reduced to 8 bits for display: integers keep their most significant bits
// (16-bit ones are scaled exactly), floating-point values are clamped to 0..1. The orientation
// tag is applied and an embedded ICC profile is attached as the colour space, never applied.
// libtiff never writes to stderr for these files.
class TiffImageFile
{
public:
    // True when `data` starts with a TIFF or BigTIFF signature, in either byte order.
    static bool isTiff(const QByteArray& data);

    // Reads the first directory; `isValid()` says whether its layout is one decoded here (8 bits
    // per sample and less are left to Qt).
    // Keeps a reference to `data` (no copy) for as long as this object lives.
    explicit TiffImageFile(const QByteArray& data);

    bool isValid() const;

    // The size stored in the header, before the orientation is applied; empty when invalid.
    QSize storedPixelSize() const;

    // The pixel size with the orientation tag applied.
    QSize displayedPixelSize() const;

    // The image at full resolution with its orientation applied, as RGB32 or, with an alpha
    // channel, ARGB32_Premultiplied. Null when invalid, when the image would need more than
    // `maximumBytes` at 4 bytes per pixel (checked before anything is allocated), or when the
    // data is damaged or truncated.
    QImage decode(qint64 maximumBytes) const;

    // decode() reduced so that its longest side is at least `longestSide` (never enlarged).
    QImage decodeScaled(int longestSide, qint64 maximumBytes) const;

    struct Layout
    {
        QSize size;
        int bitsPerSample = 0;
        int sampleFormat = 0;
        int samplesPerPixel = 0;
        bool separatePlanes = false;
        int colourSamples = 0; // 1 for grey, 3 for RGB
        bool whiteIsZero = false;
        int alphaSample = -1; // index of the alpha sample, or -1 without alpha
        bool premultiplied = false;
        int orientation = 1; // 1 to 8, as EXIF counts them
    };

private:
    QByteArray m_data;
    Layout m_layout;
    bool m_valid = false;
};
