#pragma once

#include <QColor>
#include <QFont>
#include <QImage>
#include <QPainter>
#include <QPointF>
#include <QRectF>
#include <QSizeF>
#include <QString>
#include <QTransform>

// Painting in the y-up coordinates of markup with a QPainter, whose own coordinates grow
// downwards.
//
// Markup geometry has its origin at the bottom-left corner of the paint device and y growing
// upwards, one unit per device-independent pixel (a "point"). A painter set up here maps those
// coordinates through one flipping transform, so paths, rectangles and lines are drawn with
// their y-up coordinates unchanged. Text and images would come out upside down through that
// transform; drawImage and drawText undo the flip locally around the item, so they come out
// upright. They work in any painter whose current coordinates are y-up, also one the caller set
// up with yUpTransform (a widget's paint event).
class FlippedPainter
{
public:
    // Begins painting on `device` in y-up coordinates, with antialiasing and smooth image
    // transformation on. Painting ends when this object is destroyed.
    explicit FlippedPainter(QPaintDevice* device);

    FlippedPainter(const FlippedPainter&) = delete;
    FlippedPainter& operator=(const FlippedPainter&) = delete;

    QPainter& painter() { return m_painter; }
    // False when painting could not begin (a null image, for example).
    bool isActive() const { return m_painter.isActive(); }

    // Maps the y-up coordinates of an area `height` units high to Qt's y-down ones:
    // (x, y) becomes (x, height - y). The transform is its own inverse, so it also maps a
    // y-down event position back into y-up coordinates.
    static QTransform yUpTransform(double height);

    // Draws `image` scaled to fill `target` (y-up), upright: its first row lies along the top
    // edge of `target` (the larger y).
    static void drawImage(QPainter& painter, const QRectF& target, const QImage& image);

    // The size of `text` laid out without a width limit in `font` on the painter's device, in
    // the painter's units; line breaks in the text start new lines.
    static QSizeF textSize(const QPainter& painter, const QString& text, const QFont& font);

    // Draws `text` upright in `font` and `color` with the bottom-left corner of its box
    // (textSize) at `origin` (y-up). Lines break only at the line breaks in the text.
    static void drawText(QPainter& painter, const QPointF& origin, const QString& text,
                         const QFont& font, const QColor& color);

private:
    QPainter m_painter;
};
