#pragma once

#include "DerivedImageOutput.h"
#include "MarkupAnnotation.h"

#include <QImage>
#include <QList>
#include <QString>
#include <QUrl>
#include <functional>
#include <optional>

// Saves an original image with its annotations flattened into it as a new file beside it,
// named after the original with "_markup" appended. The original is never modified.
namespace MarkupSaver {

// Reads an image file at full resolution with its orientation applied; null on failure.
using ImageDecoder = std::function<QImage(const QString& filePath)>;

// Qt's image readers, the orientation recorded in the file applied.
QImage decodeWithQt(const QString& filePath);

// Decodes the local file `original` with `decode`, flattens the annotations into it and writes
// the copy (DerivedImageOutput): the original's extension in lower case when it is a writable
// format, else png; a JPEG copy kept under maximumOutputFileSize when that is known. Returns the
// copy's URL; absent, with nothing written, for an empty annotation list and whenever decoding,
// flattening, encoding or writing fails. `finishEncoded` is handed to the writer (see
// DerivedImageOutput::writeDerivedCopy): it adds metadata to the encoded copy.
std::optional<QUrl> saveMarkupCopy(const QUrl& original, const QList<MarkupAnnotation>& annotations,
                                   const ImageDecoder& decode = decodeWithQt,
                                   const DerivedImageOutput::EncodedFinisher& finishEncoded = {});

// The size limit of a JPEG copy of `original`: the larger of 1.5 times its size (truncated)
// and its size plus 16384 bytes. Absent when its size cannot be read.
std::optional<qint64> maximumOutputFileSize(const QUrl& original);

} // namespace MarkupSaver
