#pragma once

#include <QImage>
#include <QRectF>
#include <QSizeF>

class QPainter;

// The layout of one printed page: the image scaled to fit the page inside a fixed border,
// centred, on white paper. One image per page; the image is set at creation and never changes.
class PrintableImageView
{
public:
    // The border kept free on every side of the page, in points (1/72 inch).
    static constexpr double borderPoints = 24.0;

    explicit PrintableImageView(QImage image);

    const QImage& image() const { return m_image; }

    // Paints the page `pageRect` (the whole paper, in the painter's device units): white, and
    // the image fitted into the page inset by `borderPoints`, converted to device units at the
    // device's horizontal resolution (printers have square pixels). An image without area
    // leaves the page white.
    void paint(QPainter& painter, const QRectF& pageRect) const;

    // Where an image of `imageSize` lands on `pageRect` with `inset` kept free on every side:
    // scaled by the smaller of the two ratios of inset page to image (so it fits whole and may
    // be enlarged), its centre at the page's centre. Null when the image has no area or the
    // inset page is empty.
    static QRectF imageRect(QSizeF imageSize, QRectF pageRect, double inset);

private:
    QImage m_image;
};
