#pragma once

#include <QImage>
#include <QSize>
#include <QString>

// The pictures of the sample folder, drawn with QPainter: gradients, shapes and a caption.
namespace SamplePictures {

// A landscape-like scene; `variant` picks the palette and the shapes, so neighbouring samples
// look different. `caption` is written large across the lower part. Opaque unless
// `withTransparency`, which leaves the sky transparent and the shapes half transparent.
QImage scene(QSize size, int variant, const QString& caption, bool withTransparency = false);

// The stored pixels of an orientation test picture for the EXIF orientation value
// `orientation` (1 to 8). A viewer that applies the orientation shows every one of them the same
// way up: a landscape picture with a large upright "F", a red square in the top-left corner,
// a green one in the top-right corner and the caption "Orientation N" along the bottom.
QImage orientationChart(int orientation);

// The size, once displayed, of every orientation chart.
QSize orientationChartDisplaySize();

// A chart of saturated colours (a hue sweep, six primary and secondary swatches and a grey bar),
// drawn as sRGB and stored as Adobe RGB numbers with that colour space attached. A viewer that
// converts to the screen's colours shows it vivid; one that shows the numbers as they are
// shows it dull, the grey bar alone unchanged.
QImage wideGamutChart(QSize size, const QString& caption);

} // namespace SamplePictures
