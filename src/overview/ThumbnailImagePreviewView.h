#pragma once

#include "ThumbnailContentMode.h"

#include <QImage>
#include <QRectF>
#include <QSizeF>

class QPainter;

// The square preview of one grid cell: a dark rounded square with the thumbnail drawn into it,
// fitted or filled and cropped. Both content modes are drawn here and nowhere else.
class ThumbnailImagePreviewView
{
public:
    // Corner radius of the square, device-independent pixels.
    static constexpr qreal cornerRadius = 8;

    void setImage(const QImage& image) { m_image = image; }
    void setContentMode(ThumbnailContentMode mode) { m_contentMode = mode; }

    // Paints the background and the image (when there is one) inside `square`, clipped to its
    // rounded outline. The painter's state is restored afterwards.
    void paint(QPainter& painter, const QRectF& square) const;

    // Where an image of `imageSize` lands for `mode`: centred in `square`, scaled to fit inside
    // it or to cover it. Empty for an empty image size.
    static QRectF imageRect(const QSizeF& imageSize, const QRectF& square,
                            ThumbnailContentMode mode);

private:
    QImage m_image;
    ThumbnailContentMode m_contentMode = ThumbnailContentMode::fit;
};
