#pragma once

#include "FlippedPainter.h"

#include <QColor>
#include <QImage>
#include <QPointF>
#include <QRect>
#include <cmath>
#include <functional>

// Small helpers for tests that paint into images and look at pixels in the y-up coordinates of
// markup (x to the right, y upwards from the image's bottom edge).
namespace RenderTestSupport {

inline QImage canvas(int width, int height, const QColor& background = Qt::white)
{
    QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
    image.fill(background);
    return image;
}

// Paints into `image` through a y-up painter.
inline void paint(QImage& image, const std::function<void(QPainter&)>& draw)
{
    FlippedPainter flipped(&image);
    draw(flipped.painter());
}

// The (unpremultiplied) colour of the pixel holding the y-up point.
inline QColor pixelAt(const QImage& image, const QPointF& point)
{
    const int x = int(std::floor(point.x()));
    const int row = image.height() - 1 - int(std::floor(point.y()));
    return image.pixelColor(x, row);
}

// True when the two colours differ by at most `tolerance` in every 8-bit channel.
inline bool isNear(const QColor& a, const QColor& b, int tolerance = 2)
{
    return std::abs(a.red() - b.red()) <= tolerance &&
           std::abs(a.green() - b.green()) <= tolerance &&
           std::abs(a.blue() - b.blue()) <= tolerance &&
           std::abs(a.alpha() - b.alpha()) <= tolerance;
}

// The bounding box, in y-up pixel coordinates, of the pixels that differ from `background`;
// an empty rectangle when none does.
inline QRect inkBounds(const QImage& image, const QColor& background = Qt::white)
{
    const QRgb reference = background.rgba();
    int left = image.width();
    int right = -1;
    int bottom = image.height();
    int top = -1;
    for (int row = 0; row < image.height(); ++row) {
        for (int x = 0; x < image.width(); ++x) {
            if (image.pixel(x, row) != reference) {
                const int y = image.height() - 1 - row;
                left = std::min(left, x);
                right = std::max(right, x);
                bottom = std::min(bottom, y);
                top = std::max(top, y);
            }
        }
    }
    if (right < 0) {
        return {};
    }
    return QRect(QPoint(left, bottom), QPoint(right, top));
}

} // namespace RenderTestSupport
