#pragma once

#include "MarkupArrowheadStyle.h"
#include "MarkupTool.h"

#include <QColor>

// The current markup tool and its style: what new annotations are drawn with, and what
// survives a restart (MarkupToolDefaultsStore).
struct MarkupToolDefaults
{
    MarkupTool tool;
    QColor strokeColor;
    QColor fillColor;
    // Point size of new text.
    double textFontSize;
    // Line width of new arrows, points.
    double arrowLineWidth;
    double arrowHeadScale;
    double arrowHeadWidthScale;
    MarkupArrowheadStyle arrowheadStyle;

    // The settings of a fresh engine, also what the store reads for absent keys: rectangle,
    // defaultStrokeColor(), clear, 24, 4.5, 5, 1, end.
    static MarkupToolDefaults initial();
    // The stroke colour new users start with: one fixed opaque red (255, 59, 48), the same on
    // every desktop.
    static QColor defaultStrokeColor();
    // `color` in the device RGB colour space tool settings are kept in; the colour itself when
    // it cannot be converted (an invalid colour).
    static QColor deviceRgbColor(const QColor& color);
};
