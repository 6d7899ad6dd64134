// Costs of markup output.
//
// Blur: a 500 x 500 pixel region blurred in a 6000 x 4000 image against the same region in a
// 1000 x 1000 image; only the region and its margin are read, so the image's size must not
// matter (target ratio at most 1.2). The radius does follow the image (32 pixels against 10),
// and with it the margin of two radii read around the region, so a second line compares with a
// 3200 x 3200 image, whose radius is 32 too.
//
// Flatten and save: a 24-megapixel JPEG with 50 mixed annotations (three of them blur regions)
// saved as a markup copy, against decoding the same file and encoding it again without
// annotations (target ratio at most 1.5).

#include "BenchmarkRegistry.h"
#include "FlippedPainter.h"
#include "MarkupBlurRenderer.h"
#include "MarkupSaver.h"

#include <QDir>
#include <QImageReader>
#include <QImageWriter>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTextStream>

namespace {

constexpr int regionSide = 500;

// A photo-like image: smooth gradients with fine grain, so JPEG has work to do.
QImage photo(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    QRandomGenerator random(7);
    for (int y = 0; y < height; ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < width; ++x) {
            const int grain = int(random.bounded(16));
            line[x] = qRgb((x * 255 / width + grain) & 255, (y * 255 / height + grain) & 255,
                           (x + y) * 255 / (width + height));
        }
    }
    return image;
}

double blurSeconds(const QImage& source)
{
    const QRectF region(0.3, 0.3, double(regionSide) / source.width(),
                        double(regionSide) / source.height());
    QImage target(regionSide, regionSide, QImage::Format_ARGB32_Premultiplied);
    return bench::bestSeconds(7, [&] {
        FlippedPainter flipped(&target);
        MarkupBlurRenderer::drawBlurredRegion(flipped.painter(), source, region,
                                              QRectF(0, 0, regionSide, regionSide));
    });
}

MarkupAnnotation annotation(const MarkupShape& shape, const QColor& stroke,
                            const QColor& fill = Qt::transparent)
{
    return MarkupAnnotation(shape, stroke, fill, 0.004, 5, 1, MarkupArrowheadStyle::end);
}

// 50 annotations spread over the image: three blur regions of about 600 x 400 pixels, the rest
// rectangles, ellipses, straight and curved arrows, pen strokes and texts in turn.
QList<MarkupAnnotation> mixedAnnotations()
{
    QRandomGenerator random(11);
    const auto point = [&random] {
        return QPointF(0.05 + random.bounded(0.8), 0.05 + random.bounded(0.8));
    };
    QList<MarkupAnnotation> annotations;
    for (int i = 0; i < 47; ++i) {
        const QPointF a = point();
        const QPointF b = a + QPointF(0.02 + random.bounded(0.1), 0.02 + random.bounded(0.1));
        switch (i % 6) {
        case 0:
            annotations.append(
                annotation(MarkupShape::rectangle(QRectF(a, b)), Qt::red, QColor(255, 255, 0, 80)));
            break;
        case 1:
            annotations.append(annotation(MarkupShape::ellipse(QRectF(a, b)), Qt::blue));
            break;
        case 2:
            annotations.append(annotation(MarkupShape::arrow(a, b), QColor(255, 0, 0, 200)));
            break;
        case 3:
            annotations.append(annotation(
                MarkupShape::curvedArrow(a, b, {a + QPointF(0.05, 0), b - QPointF(0, 0.04)}),
                Qt::green));
            break;
        case 4: {
            QList<QPointF> points;
            for (int k = 0; k < 40; ++k) {
                points.append(a + (b - a) * (k / 39.0) + QPointF(0, 0.01 * (k % 3)));
            }
            annotations.append(annotation(MarkupShape::pen(points), Qt::magenta));
            break;
        }
        default:
            annotations.append(annotation(
                MarkupShape::text(a, QStringLiteral("Note %1\nsecond line").arg(i), 0.02),
                Qt::white));
            break;
        }
    }
    for (const QPointF& origin : {QPointF(0.1, 0.1), QPointF(0.45, 0.5), QPointF(0.8, 0.75)}) {
        annotations.append(
            annotation(MarkupShape::blur(QRectF(origin, QSizeF(0.1, 0.1))), Qt::black));
    }
    return annotations;
}

const bool registered = BenchmarkRegistry::add(QStringLiteral("markup render"), [] {
    const QImage large = photo(6000, 4000);
    const QImage small = photo(1000, 1000);
    const QImage sameRadius = photo(3200, 3200);
    const double inLarge = blurSeconds(large);
    bench::report(QStringLiteral("blur 500x500 region: 6000x4000 vs 1000x1000 image"), inLarge,
                  blurSeconds(small), QStringLiteral("<= 1.2"));
    bench::report(QStringLiteral("blur 500x500 region: 6000x4000 vs 3200x3200 (same radius)"),
                  inLarge, blurSeconds(sameRadius), QStringLiteral("<= 1.2"));

    QTemporaryDir folder;
    const QString original = folder.filePath(QStringLiteral("photo.jpg"));
    {
        QImageWriter writer(original, "jpeg");
        writer.setQuality(90);
        if (!writer.write(large)) {
            qFatal("could not write the benchmark photo");
        }
    }
    const QString plainCopy = folder.filePath(QStringLiteral("plain.jpg"));
    const double baseline = bench::bestSeconds(3, [&] {
        QImageReader reader(original);
        reader.setAutoTransform(true);
        QImageWriter writer(plainCopy, "jpeg");
        writer.setQuality(82);
        writer.write(reader.read());
    });
    const QList<MarkupAnnotation> annotations = mixedAnnotations();
    const double markup = bench::bestSeconds(3, [&] {
        if (!MarkupSaver::saveMarkupCopy(QUrl::fromLocalFile(original), annotations)) {
            qFatal("the benchmark markup copy was not written");
        }
    });
    bench::report(QStringLiteral("flatten and save 24 MP JPEG, 50 annotations"), markup, baseline,
                  QStringLiteral("<= 1.5"));
    bench::reportAbsolute(QStringLiteral("flatten and save 24 MP JPEG, 50 annotations"), markup,
                          QStringLiteral("s"), QStringLiteral("report"));
    bench::reportAbsolute(QStringLiteral("decode and encode 24 MP JPEG"), baseline,
                          QStringLiteral("s"), QStringLiteral("report"));
});

} // namespace
