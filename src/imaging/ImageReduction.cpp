#include "ImageReduction.h"

#include "BitmapSize.h"

#include <QColorSpace>

namespace ImageReduction {

QImage reducedToLongestSide(const QImage& image, int longestSide)
{
    if (image.isNull() || BitmapSize::longestSide(image.size()) <= longestSide) {
        return image;
    }
    QImage reduced = image.scaled(
        image.size().scaled(longestSide, longestSide, Qt::KeepAspectRatio).expandedTo(QSize(1, 1)),
        Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    reduced.setColorSpace(image.colorSpace());
    return reduced;
}

} // namespace ImageReduction
