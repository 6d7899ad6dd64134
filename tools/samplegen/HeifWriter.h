#pragma once

#include <QImage>
#include <QString>

// Writes HEIC (HEVC) and AVIF (AV1) files through libheif, where this machine's libheif has an
// encoder for the format. Qt has no writer for either.
namespace HeifWriter {

enum class Format
{
    Heic,
    Avif,
};

bool canWrite(Format format);

// Writes `image` (opaque) to `path`. Returns an error message, or an empty string on success.
QString write(const QImage& image, const QString& path, Format format);

} // namespace HeifWriter
