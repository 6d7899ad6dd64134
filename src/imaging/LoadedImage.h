#pragma once

#include <QImage>
#include <QString>
#include <QUrl>

// One decoded image as the pipeline hands it out: the standardized file URL it came from, the
// full-resolution bitmap with the file's orientation applied (QImage shares its pixels, so
// copies are cheap and the bitmap is never modified in place) and the one-line metadata summary.
struct LoadedImage
{
    QUrl url;
    QImage cgImage;
    QString metadata;
};
