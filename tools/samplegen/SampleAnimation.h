#pragma once

#include <QImage>
#include <QList>
#include <QSize>
#include <QString>

// The frames of the sample folder's animations, drawn with QPainter: a ball bouncing across a
// flat landscape under a turning sun, one full cycle over the frames so the loop is seamless.
// Flat colours keep the palette and the compressed frames small.
namespace SampleAnimation {

// `count` opaque frames of `size`; `variant` picks the colours; `caption` is written across
// the lower part of every frame.
QList<QImage> frames(QSize size, int count, int variant, const QString& caption);

} // namespace SampleAnimation
