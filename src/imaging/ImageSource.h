#pragma once

#include "DecodedColours.h"

#include <QByteArray>
#include <QImage>
#include <QSize>
#include <QString>
#include <QVariantMap>
#include <memory>

class HeifImageFile;
class TiffImageFile;

// One image file opened for decoding: the loader's single entry point to the decoders.
//
// The file is read into memory once, so the header, the metadata and the pixels all come from
// the same bytes even if the file changes or vanishes meanwhile. Formats Qt reads go through
// QImageReader (chosen by content, the name's extension only as a fallback); HEIC, HEIF and AVIF
// go through libheif; TIFFs with 16, 32 or 64 bits per sample (integer or floating point) go
// through libtiff. All paths apply the file's orientation when decoding.
//
// Hostile input is refused rather than trusted: files larger than `maximumBytes`, images whose
// header promises a bitmap larger than `maximumBytes` (checked before any pixel is decoded) and
// JPEG streams that end before their end-of-image marker give no image.
class ImageSource
{
public:
    // The largest file read and the largest bitmap decoded, in bytes (1 GiB). At 4 bytes per
    // pixel this admits about 268 megapixels, far beyond any camera.
    static constexpr qint64 maximumBytes = qint64(1) << 30;

    // Sets the process-wide decoder settings (Qt's allocation limit) once. Every constructor
    // calls it; call it on the main thread before decoding starts elsewhere, so that Qt never
    // reads the setting while another thread changes it.
    static void initializeDecoders();

    explicit ImageSource(const QString& filePath);
    ~ImageSource();
    ImageSource(const ImageSource&) = delete;
    ImageSource& operator=(const ImageSource&) = delete;

    // True when the file could be read and a decoder recognises its contents.
    bool isValid() const;

    // The pixel size stored in the header, before orientation is applied; invalid when unknown.
    QSize storedPixelSize() const;

    // The pixel size decode() gives: orientation applied (and, for HEIF, its crop); invalid when
    // unknown.
    QSize displayedPixelSize() const;

    // The property dictionary (see ImageProperties) of the file.
    QVariantMap properties() const;

    // The full-resolution bitmap with the orientation applied, decoded now (never lazily),
    // in the file's own colours: an embedded profile is attached as the image's colour space.
    // With `colours` SRgb a decoder that can convert as it decodes (JPEG) does so; callers
    // that show the image still pass the result through DisplayColour::convertToSRgb(), which
    // then has nothing left to do. Null on any failure.
    QImage decode(DecodedColours colours = DecodedColours::AsStored) const;

    // How decodeScaled treats the requested side.
    enum class ScaledSize
    {
        AtLeast, // whatever the cheapest decode gives, as long as it covers the side
        Exactly, // reduced further, with smoothing, to exactly the side
    };

    // The image reduced so that its longest side is at least (or exactly) `longestSide`
    // pixels, at the cheapest scale the format allows, with the orientation applied and the
    // colours as decode() leaves them. An image whose longest side is already at most
    // `longestSide` comes at its full size, never enlarged. Refuses exactly the files decode()
    // refuses and never allocates more than it would. Null on failure or a side below 1.
    QImage decodeScaled(int longestSide, ScaledSize mode = ScaledSize::AtLeast,
                        DecodedColours colours = DecodedColours::AsStored) const;

    // True when decodeScaled(longestSide) costs clearly less than decode() (the format reduces
    // while decoding), false when it would decode at full size and reduce afterwards.
    bool reducesWhileDecoding(int longestSide) const;

    // True when opening and decoding this file need none of Qt's image plugins: a grey or
    // colour JPEG, which our own decoder reads. Such a file may be decoded before the
    // application object exists, whose construction resets the paths the plugins are found by.
    bool decodesWithoutQtPlugins() const;

private:
    QImage decodeWithQt(int longestSide, DecodedColours colours) const;

    QByteArray m_contents;
    QByteArray m_qtFormat;
    QSize m_storedPixelSize;
    std::unique_ptr<HeifImageFile> m_heif;
    std::unique_ptr<TiffImageFile> m_tiff;
};
