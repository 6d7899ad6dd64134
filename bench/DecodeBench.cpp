#include "BenchmarkRegistry.h"
#include "ImageLoadingPipeline.h"
#include "ImageProperties.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QImageWriter>
#include <QTemporaryDir>
#include <cmath>
#include <cstdio>
#include <exiv2/exiv2.hpp>
#include <jpeglib.h>
#include <memory>
#include <vector>

namespace {

constexpr int width = 6000;
constexpr int height = 4000;
constexpr int repetitions = 5;

// Photo-like content: smooth large-scale shading, mid-scale structure and fine grain, so the
// encoder produces a camera-sized file (several MB) rather than the few KB of a flat colour.
QImage photoLikeImage()
{
    QImage image(width, height, QImage::Format_RGB32);
    quint32 grain = 12345;
    for (int y = 0; y < height; ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < width; ++x) {
            grain = grain * 1664525u + 1013904223u;
            const int noise = int(grain >> 28) - 8;
            const double shade = 0.5 + 0.25 * std::sin(x * 0.0011) * std::cos(y * 0.0017);
            const double detail = 0.15 * std::sin(x * 0.045 + std::sin(y * 0.03) * 3);
            const auto channel = [&](double bias) {
                return qBound(0, int(255 * (shade + detail * bias)) + noise, 255);
            };
            line[x] = qRgb(channel(1.0), channel(0.6), channel(-0.8));
        }
    }
    return image;
}

bool writeTestPhoto(const QString& path)
{
    QImageWriter writer(path, "jpeg");
    writer.setQuality(90);
    if (!writer.write(photoLikeImage())) {
        return false;
    }
    try {
        auto image = Exiv2::ImageFactory::open(QFile::encodeName(path).toStdString());
        image->readMetadata();
        Exiv2::ExifData& exif = image->exifData();
        exif["Exif.Image.Model"] = "Field Camera II";
        exif["Exif.Image.Orientation"] = "1";
        exif["Exif.Photo.DateTimeOriginal"] = "2023:07:14 18:02:59";
        exif["Exif.Photo.ExposureTime"] = "1/250";
        exif["Exif.Photo.FocalLength"] = "35/1";
        exif["Exif.Photo.ISOSpeedRatings"] = "400";
        image->writeMetadata();
    } catch (const std::exception&) {
        return false;
    }
    return true;
}

// The floor: libjpeg-turbo straight from the file into a 4-byte BGRX bitmap, which is the
// memory layout of QImage::Format_RGB32 on little-endian machines (what the pipeline yields),
// with the library's default (accurate) DCT and upsampling, as the Qt reader uses them.
//
// Like every real decode, it writes into a new bitmap: `reusedBitmap` null allocates one per
// call (and pays the kernel's first-touch page faults on its 96 MB). Given a buffer, it decodes
// into memory that is already mapped, which shows how much of a decode those faults are.
bool decodeWithLibjpeg(const QByteArray& path, std::vector<unsigned char>* reusedBitmap)
{
    FILE* file = std::fopen(path.constData(), "rb");
    if (file == nullptr) {
        return false;
    }
    jpeg_decompress_struct info{};
    jpeg_error_mgr errors{};
    info.err = jpeg_std_error(&errors);
    jpeg_create_decompress(&info);
    jpeg_stdio_src(&info, file);
    jpeg_read_header(&info, TRUE);
    info.out_color_space = JCS_EXT_BGRX;
    jpeg_start_decompress(&info);
    const size_t stride = size_t(info.output_width) * 4;
    const size_t bytes = stride * info.output_height;
    std::unique_ptr<unsigned char[]> freshBitmap;
    unsigned char* bitmap = nullptr;
    if (reusedBitmap != nullptr) {
        reusedBitmap->resize(bytes);
        bitmap = reusedBitmap->data();
    } else {
        freshBitmap.reset(new unsigned char[bytes]); // uninitialised, as a decoder's output is
        bitmap = freshBitmap.get();
    }
    std::vector<JSAMPROW> rows(info.output_height);
    for (JDIMENSION y = 0; y < info.output_height; ++y) {
        rows[y] = bitmap + y * stride;
    }
    while (info.output_scanline < info.output_height) {
        jpeg_read_scanlines(&info, rows.data() + info.output_scanline,
                            info.output_height - info.output_scanline);
    }
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    std::fclose(file);
    return true;
}

// One request to a fresh pipeline (so the cache is cold), waited for on this thread.
bool decodeThroughPipeline(const QUrl& url)
{
    ImageLoadingPipeline pipeline;
    QObject context;
    QEventLoop loop;
    bool decoded = false;
    pipeline.image(url, &context, [&](std::optional<LoadedImage> loaded) {
        decoded = loaded.has_value() && loaded->cgImage.width() == width;
        loop.quit();
    });
    loop.exec();
    return decoded;
}

const bool registered = BenchmarkRegistry::add("decode", [] {
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("photo.jpg"));
    if (!folder.isValid() || !writeTestPhoto(path)) {
        qWarning("decode benchmark: cannot write the test photo");
        return;
    }
    const QUrl url = QUrl::fromLocalFile(path);
    const QByteArray encodedPath = QFile::encodeName(path);
    bool allDecoded = decodeThroughPipeline(url); // loads the image plugins once

    const double bare = bench::bestSeconds(
        repetitions, [&] { allDecoded = decodeWithLibjpeg(encodedPath, nullptr) && allDecoded; });
    std::vector<unsigned char> reused;
    const double bareReused = bench::bestSeconds(
        repetitions, [&] { allDecoded = decodeWithLibjpeg(encodedPath, &reused) && allDecoded; });
    const double pipeline = bench::bestSeconds(
        repetitions, [&] { allDecoded = decodeThroughPipeline(url) && allDecoded; });
    if (!allDecoded) {
        qWarning("decode benchmark: a decode failed");
        return;
    }
    const QString photo = QStringLiteral("24 MP JPEG, %1 KB").arg(QFileInfo(path).size() / 1024);
    bench::report(QStringLiteral("decode (%1) through the pipeline vs libjpeg-turbo to a new "
                                 "BGRX bitmap")
                      .arg(photo),
                  pipeline, bare, QStringLiteral("<= 1.15"));
    bench::report(QStringLiteral("decode through the pipeline vs libjpeg-turbo into an already "
                                 "mapped buffer (cost of a fresh bitmap's page faults)"),
                  pipeline, bareReused, QStringLiteral("none, for information"));

    // The metadata work of a load: the property dictionary from the in-memory file and the
    // summary line built from it.
    QFile file(path);
    file.open(QIODevice::ReadOnly);
    const QByteArray contents = file.readAll();
    QString summary;
    const double metadata = bench::bestSeconds(repetitions * 4, [&] {
        const QVariantMap properties = ImageProperties::read(contents, QSize(width, height));
        summary = ImageLoadingPipeline::imageMetadataSummary(properties, QSizeF(width, height));
    });
    bench::report(
        QStringLiteral("metadata line (%1) as a share of the pipeline decode").arg(summary),
        metadata, pipeline, QStringLiteral("< 0.05"));
});

} // namespace
