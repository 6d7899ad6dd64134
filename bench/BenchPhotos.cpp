#include "BenchPhotos.h"

#include "ImageLoadingPipeline.h"

#include <QEventLoop>
#include <QFile>
#include <QImageWriter>
#include <cmath>
#include <cstdio>
#include <exiv2/exiv2.hpp>
#include <jpeglib.h>
#include <memory>

namespace BenchPhotos {

QImage photoLikeImage(int grainAmplitude)
{
    constexpr int width = 6000;
    constexpr int height = 4000;
    QImage image(width, height, QImage::Format_RGB32);
    quint32 grain = 12345;
    for (int y = 0; y < height; ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < width; ++x) {
            grain = grain * 1664525u + 1013904223u;
            const int noise = int((grain >> 16) % quint32(grainAmplitude)) - grainAmplitude / 2;
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

bool writeTestPhoto(const QString& path, const QImage& image)
{
    QImageWriter writer(path, "jpeg");
    writer.setQuality(90);
    if (!writer.write(image)) {
        return false;
    }
    try {
        auto file = Exiv2::ImageFactory::open(QFile::encodeName(path).toStdString());
        file->readMetadata();
        Exiv2::ExifData& exif = file->exifData();
        exif["Exif.Image.Model"] = "Field Camera II";
        exif["Exif.Image.Orientation"] = "1";
        exif["Exif.Photo.DateTimeOriginal"] = "2023:07:14 18:02:59";
        exif["Exif.Photo.ExposureTime"] = "1/250";
        exif["Exif.Photo.FocalLength"] = "35/1";
        exif["Exif.Photo.ISOSpeedRatings"] = "400";
        file->writeMetadata();
    } catch (const std::exception&) {
        return false;
    }
    return true;
}

bool decodeWithLibjpeg(const QByteArray& path, std::vector<unsigned char>* reusedBitmap,
                       int scaleDenominator)
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
    info.scale_num = 1;
    info.scale_denom = unsigned(scaleDenominator);
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

bool decodeThroughPipeline(const QUrl& url)
{
    ImageLoadingPipeline pipeline;
    QObject context;
    QEventLoop loop;
    bool decoded = false;
    pipeline.image(url, &context, [&](std::optional<LoadedImage> loaded) {
        decoded = loaded.has_value();
        loop.quit();
    });
    loop.exec();
    return decoded;
}

} // namespace BenchPhotos
