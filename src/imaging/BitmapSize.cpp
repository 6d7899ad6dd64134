#include "BitmapSize.h"

#include <algorithm>

namespace BitmapSize {

int longestSide(QSize size)
{
    return std::max(size.width(), size.height());
}

bool fitsIn(QSize size, qint64 maximumBytes)
{
    constexpr qint64 bytesPerPixel = 4;
    return size.width() > 0 && size.height() > 0 &&
           qint64(size.width()) * size.height() <= maximumBytes / bytesPerPixel;
}

} // namespace BitmapSize
