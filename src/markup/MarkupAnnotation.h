#pragma once

#include "MarkupArrowheadStyle.h"
#include "MarkupShape.h"

#include <QColor>
#include <QFont>
#include <QPaintDevice>
#include <QRectF>
#include <QSizeF>
#include <QString>

// One annotation with its style. Geometry is in normalized image coordinates (y up); line
// widths and font sizes are normalized to the shorter side of the image rectangle, so an
// annotation list stays valid at any zoom, window size or output pixel size. A plain value;
// annotations are never compared.
//
// Every annotation carries the arrow fields, also when it is not an arrow (then 5, 1 and
// end by convention).
class MarkupAnnotation
{
public:
    MarkupAnnotation(MarkupShape shape, const QColor& strokeColor, const QColor& fillColor,
                     double normalizedLineWidth, double arrowHeadScale, double arrowHeadWidthScale,
                     MarkupArrowheadStyle arrowheadStyle);

    MarkupShape shape;
    // Line colour; the text colour of a text annotation.
    QColor strokeColor;
    double normalizedLineWidth;
    // Head length factor of arrows.
    double arrowHeadScale;
    // Head width factor of arrows.
    double arrowHeadWidthScale;
    MarkupArrowheadStyle arrowheadStyle;

    // Interior colour of rectangles and ellipses, fixed when the annotation is created.
    QColor fillColor() const { return m_fillColor; }

    // The normalized area the annotation covers: the rectangle of a rectangle, ellipse or
    // blur as stored; the box of an arrow's sampled curve (so a bulge is covered); the box of
    // a pen's points (zero rectangle for none); a text's origin plus normalizedTextSize.
    QRectF normalizedBounds() const;
    // Rectangles, ellipses, blur regions and text have corner handles; arrows and pens do not.
    bool isResizable() const;
    // The line width drawn in the image rectangle `imageRect`, in points, at least 1.
    double lineWidth(const QRectF& imageRect) const;

    // A line width in points normalized to the shorter side of `imageRect` (sides below one
    // point count as one).
    static double normalizedLineWidthFor(double width, const QRectF& imageRect);
    // The size of a text in normalized units, measured as if the image were 1000 x 1000 points:
    // (0.01, 0.01) for empty text, otherwise each dimension at least 0.01.
    static QSizeF normalizedTextSize(const QString& text, double normalizedFontSize);

    // The smallest normalized text extent, also each side of an empty text's size.
    static constexpr double minimumNormalizedTextExtent = 0.01;
    // The size in units (points of the view) a text of this normalized font size has in the
    // image rectangle: the font size times the rectangle's shorter side, at least 8.
    static double textPointSize(double normalizedFontSize, const QRectF& imageRect);

    // The font of text annotations on `device`: the application's font at medium weight whose
    // glyphs are `size` units (device-independent pixels) tall there, whatever the device's
    // resolution (a size below 1 or not a number counts as 1).
    // Measurement, the text editor and the renderer all take their font from here so that the
    // sizes they see agree.
    static QFont textFont(double size, const QPaintDevice& device);
    // The size in units of `text` laid out without a width limit (line breaks start new lines)
    // in textFont(size); the same on every device.
    static QSizeF measuredTextSize(const QString& text, double size);

private:
    QColor m_fillColor;
};
