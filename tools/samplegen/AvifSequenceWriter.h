#pragma once

#include <QImage>
#include <QList>
#include <QString>

// Writes an AVIF image sequence through libavif's AV1 encoder (libheif writes only stills).
namespace AvifSequenceWriter {

// Writes `frames` (all of the first frame's size; alpha kept when the first frame has it), each
// shown for `durationMs` milliseconds, to `path`, encoded fast at a moderate quality. Returns
// an error message, or an empty string on success.
QString write(const QList<QImage>& frames, int durationMs, const QString& path);

} // namespace AvifSequenceWriter
