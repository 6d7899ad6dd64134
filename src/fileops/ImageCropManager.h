#pragma once

#include <QImage>
#include <QRect>
#include <QRectF>
#include <QUrl>
#include <optional>

// Writes the crop of an image as a new file beside it; the original is never touched.
//
// Crop rectangles arrive normalized: fractions of the image's width and height as shown
// (orientation applied), origin at its bottom-left corner, y up. They are not trusted: every
// value is clamped to 0...1 here. Pixel rectangles use the same y-up origin.
namespace ImageCropManager {

// Writes the crop of the image at the local file `original` as "<name>_crop.<ext>" (the next
// free name) through DerivedImageOutput: the original's format when it is writable, else PNG;
// smaller than the original unless the crop keeps essentially all of it. False, with nothing
// written, when the file does not decode, the rectangle is empty or under 2 x 2 pixels, or the
// copy cannot be written.
bool saveCropCopy(const QUrl& original, const QRectF& normalizedRect);

// The pixels of `image` inside `normalizedRect`; none when the image or the crop is narrower or
// lower than 2 pixels.
std::optional<QImage> makeCroppedImage(const QImage& image, const QRectF& normalizedRect);

// The pixel rectangle (y up) covering every pixel `normalizedRect` touches, at least one pixel
// each way and inside the image of `pixelWidth` x `pixelHeight`.
QRect makePixelCropRect(const QRectF& normalizedRect, int pixelWidth, int pixelHeight);

// The size a crop copy of `original` must stay under: one byte less than the original file;
// none when the crop keeps at least 99.9 % of the area or the size cannot be read.
std::optional<qint64> maximumOutputFileSize(const QUrl& original, const QRectF& normalizedRect);

} // namespace ImageCropManager
