#pragma once

#include <QImage>
#include <QPainter>
#include <QRectF>
#include <QSize>
#include <optional>

// Paints the blurred version of one rectangular region of an image: how a blur annotation
// obscures part of a picture, on screen and in the flattened copy.
//
// The region is a normalized rectangle (fractions of the image's width and height, y-up, so
// its minimum corner is its bottom-left corner) located on the image's pixel grid. Only the
// region plus a margin of two radii is read and only the region is computed, so the cost follows
// the size of the blurred area, not the size of the image. Nothing is cached: every call blurs
// its region again.
namespace MarkupBlurRenderer {

// The blur's standard deviation in pixels for an image of `pixelSize`: 1% of its shorter side,
// kept within [8, 32].
double radius(const QSize& pixelSize);

// The region of `source` that `normalizedRect` covers, blurred, as an image of exactly that
// region (its first row the region's top row). The region is made integral (near edges rounded
// down, far edges up) and clipped to the image; absent unless it is then more than one pixel
// wide and tall. The blur reads real neighbouring pixels up to two radii beyond the region but
// nothing outside the image: there the input counts as transparent.
std::optional<QImage> makeBlurredRegionImage(const QImage& source, const QRectF& normalizedRect);

// Draws the blurred region of `source` scaled to fill `destination` (painter coordinates, y-up),
// where the caller has the same region of the image. Nothing when either rectangle has no
// area or the region has no pixels.
void drawBlurredRegion(QPainter& painter, const QImage& source, const QRectF& normalizedRect,
                       const QRectF& destination);

// As drawBlurredRegion, blurring what `painter` has painted so far in `imageRect` (the image
// and every annotation drawn over it) when its device can be read back, an image, and the
// pixels of `fallback` otherwise (a widget cannot be read back). A null fallback and an
// unreadable device draw nothing.
void drawBlurredPaintedRegion(QPainter& painter, const QRectF& imageRect,
                              const QRectF& normalizedRect, const QRectF& destination,
                              const QImage& fallback);

} // namespace MarkupBlurRenderer
