#pragma once

#include <QColor>
#include <QImage>
#include <QList>
#include <QPair>
#include <QRect>
#include <QSize>
#include <QString>

// Builders for the image files the decoding tests need, written into the tests' own folders.
namespace TestImageFiles {

// Four solid quadrants, so every rotation and mirroring is told apart by its corners.
inline const QColor topLeftColour = Qt::red;
inline const QColor topRightColour = Qt::green;
inline const QColor bottomLeftColour = Qt::blue;
inline const QColor bottomRightColour = Qt::yellow;
QImage quadrants(QSize size);

// Writes `image` as a baseline JPEG (or progressive when asked); false on failure.
bool writeJpeg(const QString& path, const QImage& image, bool progressive = false);

// Adds EXIF entries to an existing file through Exiv2, each as key ("Exif.Photo.ExposureTime")
// and value in Exiv2's text form ("1/250"); false on failure.
bool writeExif(const QString& path, const QList<QPair<QString, QString>>& entries);

// Embeds a small JPEG preview in the file's EXIF block (which carries its own end marker).
bool writeExifThumbnail(const QString& path);

// What writeHeif stores besides the image: a thumbnail whose longest side is `thumbnailSide`
// (none when 0), and a colour profile: `iccProfile` when not empty, else the nclx code points
// when not 0 (else libheif's default).
struct HeifExtras
{
    int thumbnailSide = 0;
    QByteArray iccProfile;
    int nclxPrimaries = 0;
    int nclxTransfer = 0;
};

// Encodes `image` as HEIF through libheif (HEVC, or AV1 for AVIF) with the given EXIF-style
// orientation (1 to 8) stored as the container's rotation and mirroring, on the primary image
// and its thumbnail alike. False when the encoder is not available or fails.
bool writeHeif(const QString& path, const QImage& image, int orientation, bool av1,
               const HeifExtras& extras = {});

// Writes `bytes` to `path`; false on failure.
bool writeBytes(const QString& path, const QByteArray& bytes);

QByteArray readBytes(const QString& path);

// True when `actual` is within `tolerance` of `expected` in each channel (JPEG is lossy).
bool isNear(QColor actual, QColor expected, int tolerance = 40);

// One frame of apngOf(): a rectangle of the canvas in one colour.
struct ApngFrame
{
    QRect rect;
    QColor colour;
    int delayNumerator = 1;
    int delayDenominator = 10;
    int dispose = 0; // none, background, previous
    int blend = 0;   // source, over
};

// An RGBA animated PNG on a canvas of `size`, frame 0 being the default image, played `plays`
// times (0 = forever).
QByteArray apngOf(QSize size, const QList<ApngFrame>& frames, int plays);

} // namespace TestImageFiles
