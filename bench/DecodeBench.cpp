#include "BenchPhotos.h"
#include "BenchmarkRegistry.h"
#include "ImageLoadingPipeline.h"
#include "ImageProperties.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <vector>

namespace {

constexpr int width = 6000;
constexpr int height = 4000;
constexpr int repetitions = 5;

const bool registered = BenchmarkRegistry::add("decode", [] {
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("photo.jpg"));
    if (!folder.isValid() || !BenchPhotos::writeTestPhoto(path, BenchPhotos::photoLikeImage(16))) {
        qWarning("decode benchmark: cannot write the test photo");
        return;
    }
    const QUrl url = QUrl::fromLocalFile(path);
    const QByteArray encodedPath = QFile::encodeName(path);
    bool allDecoded = BenchPhotos::decodeThroughPipeline(url); // loads the image plugins once

    const double bare = bench::bestSeconds(repetitions, [&] {
        allDecoded = BenchPhotos::decodeWithLibjpeg(encodedPath, nullptr) && allDecoded;
    });
    std::vector<unsigned char> reused;
    const double bareReused = bench::bestSeconds(repetitions, [&] {
        allDecoded = BenchPhotos::decodeWithLibjpeg(encodedPath, &reused) && allDecoded;
    });
    const double pipeline = bench::bestSeconds(
        repetitions, [&] { allDecoded = BenchPhotos::decodeThroughPipeline(url) && allDecoded; });
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
