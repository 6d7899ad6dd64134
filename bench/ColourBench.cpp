#include "BenchmarkRegistry.h"
#include "DisplayColour.h"
#include "ImageSource.h"

#include <QColorSpace>
#include <QFileInfo>
#include <QImage>
#include <QImageWriter>
#include <QTemporaryDir>
#include <algorithm>
#include <cmath>

namespace {

constexpr int width = 6000;
constexpr int height = 4000;
constexpr int repetitions = 5;

// Saturated, photo-like content (smooth hues, mid-scale structure, fine grain), so the
// conversion meets every kind of colour and the JPEG has a camera's size.
QImage widePhoto()
{
    QImage image(width, height, QImage::Format_RGB32);
    quint32 grain = 54321;
    for (int y = 0; y < height; ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < width; ++x) {
            grain = grain * 1664525u + 1013904223u;
            const int noise = int(grain >> 28) - 8;
            const double hue = x * 0.0009 + std::sin(y * 0.0021) * 2;
            const double detail = 0.2 * std::sin(x * 0.037 + std::sin(y * 0.029) * 3);
            const auto channel = [&](double phase) {
                return qBound(0, int(255 * (0.5 + 0.45 * std::sin(hue + phase) + detail)) + noise,
                              255);
            };
            line[x] = qRgb(channel(0), channel(2.1), channel(4.2));
        }
    }
    image.setColorSpace(QColorSpace::AdobeRgb);
    return image;
}

const bool registered = BenchmarkRegistry::add("colour", [] {
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("adobe.jpg"));
    QImageWriter writer(path, "jpeg");
    writer.setQuality(90);
    if (!folder.isValid() || !writer.write(widePhoto())) {
        qWarning("colour benchmark: cannot write the test photo");
        return;
    }
    const ImageSource source(path);
    QImage decoded = source.decode();
    if (decoded.isNull() || decoded.colorSpace() != QColorSpace(QColorSpace::AdobeRgb)) {
        qWarning("colour benchmark: the photo does not decode with its Adobe RGB profile");
        return;
    }
    const double decode = bench::bestSeconds(repetitions, [&] { decoded = source.decode(); });

    // The first conversion of a profile also builds its tables.
    const double first = bench::bestSeconds(1, [&] { DisplayColour::convertToSRgb(decoded); });
    // Later ones convert the same bitmap again, relabelled as Adobe RGB each time: the cost
    // does not depend on the pixel values.
    const double conversion = bench::bestSeconds(repetitions, [&] {
        decoded.setColorSpace(QColorSpace::AdobeRgb);
        DisplayColour::convertToSRgb(decoded);
    });
    const double qtConversion = bench::bestSeconds(repetitions, [&] {
        decoded.setColorSpace(QColorSpace::AdobeRgb);
        decoded.convertToColorSpace(QColorSpace::SRgb);
    });

    // What the viewer pays: the decoder converts each band while it is still in the cache.
    const double convertingDecode =
        bench::bestSeconds(repetitions, [&] { decoded = source.decode(DecodedColours::SRgb); });
    if (decoded.colorSpace() != QColorSpace(QColorSpace::SRgb)) {
        qWarning("colour benchmark: the decode did not convert to sRGB");
        return;
    }

    const QString photo =
        QStringLiteral("24 MP Adobe RGB JPEG, %1 KB").arg(QFileInfo(path).size() / 1024);
    bench::report(QStringLiteral("sRGB conversion during the decode (%1): its added time as a "
                                 "share of the decode")
                      .arg(photo),
                  std::max(0.0, convertingDecode - decode), decode, QStringLiteral("<= 0.2"));
    bench::report(QStringLiteral("sRGB conversion of a whole decoded bitmap (other formats) as "
                                 "a share of the decode"),
                  conversion, decode, QStringLiteral("none, for information"));
    bench::report(QStringLiteral("first sRGB conversion of a profile (tables built) as a share "
                                 "of the decode"),
                  first, decode, QStringLiteral("none, for information"));
    bench::report(QStringLiteral("Qt's QImage::convertToColorSpace as a share of the decode"),
                  qtConversion, decode, QStringLiteral("none, for information"));
});

} // namespace
