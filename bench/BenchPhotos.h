#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>
#include <QUrl>
#include <vector>

// Test photos for the decoding benchmarks, and the bare libjpeg-turbo decode they are measured
// against.
namespace BenchPhotos {

// A 6000 x 4000 (24-megapixel) photo-like picture: smooth large-scale shading, mid-scale
// structure and a grain of `grainAmplitude` levels. A grain of 16 encodes to a camera-like
// 6 MB at quality 90; 8 to a smooth 4 MB photo; 40 to a noisy 10 MB one.
QImage photoLikeImage(int grainAmplitude);

// Writes `image` as a quality 90 JPEG at `path` with camera EXIF tags; false on failure.
bool writeTestPhoto(const QString& path, const QImage& image);

// libjpeg-turbo straight from the file at `path` into a 4-byte BGRX bitmap (the memory layout
// of QImage::Format_RGB32 on little-endian machines), with the library's default (accurate)
// DCT and upsampling, reduced by 1/`scaleDenominator` in the DCT. `reusedBitmap` null
// allocates a new bitmap per call, as every real decode does (and pays the kernel's
// first-touch page faults); given a buffer, it decodes into memory that is already mapped.
bool decodeWithLibjpeg(const QByteArray& path, std::vector<unsigned char>* reusedBitmap,
                       int scaleDenominator = 1);

// One request for the full image to a fresh pipeline (so its cache is cold), waited for on
// this thread; true when it decoded.
bool decodeThroughPipeline(const QUrl& url);

} // namespace BenchPhotos
