// File operations on the user's photos.
//
// "crop-copy": a crop copy of a 24-megapixel JPEG (decode, cut, encode under the original's
// size, metadata carried over, written beside it) against the bare work it cannot avoid: decode
// the same file and encode the same cut once, without metadata and without writing. Target:
// at most 1.1.
// "trash": moving 100 small files to the Trash and putting them back, in a Trash inside a
// temporary data home (the user's Trash is never touched).

#include "BenchPhotos.h"
#include "BenchmarkRegistry.h"
#include "DeletedImage.h"
#include "DerivedImageOutput.h"
#include "ImageCropManager.h"
#include "ImageDeletionManager.h"
#include "ImageSource.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

namespace {

constexpr int repetitions = 3;
const QRectF cropRect(0.1, 0.1, 0.8, 0.8);

const bool cropRegistered = BenchmarkRegistry::add("crop-copy", [] {
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("photo.jpg"));
    if (!folder.isValid() || !BenchPhotos::writeTestPhoto(path, BenchPhotos::photoLikeImage(8))) {
        qWarning("crop-copy benchmark: cannot write the photo");
        return;
    }
    const QUrl url = QUrl::fromLocalFile(path);
    const double bare = bench::bestSeconds(repetitions, [&] {
        const QImage image = ImageSource(path).decode();
        const std::optional<QImage> cut = ImageCropManager::makeCroppedImage(image, cropRect);
        if (!cut || !DerivedImageOutput::encodedData(*cut, DerivedImageOutput::FileType::jpeg,
                                                     std::nullopt)) {
            qWarning("crop-copy benchmark: the baseline failed");
        }
    });
    const double copy = bench::bestSeconds(repetitions, [&] {
        if (!ImageCropManager::saveCropCopy(url, cropRect)) {
            qWarning("crop-copy benchmark: the copy failed");
        }
    });
    bench::report(QStringLiteral("crop copy of a 24 MP JPEG (80 %% each way) vs decode and "
                                 "encode of the same cut")
                      .replace(QStringLiteral("%%"), QStringLiteral("%")),
                  copy, bare, QStringLiteral("<= 1.1"));
});

const bool trashRegistered = BenchmarkRegistry::add("trash", [] {
    constexpr int fileCount = 100;
    QTemporaryDir root;
    const QByteArray previousDataHome = qgetenv("XDG_DATA_HOME");
    qputenv("XDG_DATA_HOME", root.filePath(QStringLiteral("data")).toLocal8Bit());
    QDir().mkpath(root.filePath(QStringLiteral("data")));
    QDir().mkpath(root.filePath(QStringLiteral("photos")));
    QList<QUrl> urls;
    for (int i = 0; i < fileCount; ++i) {
        const QString path = root.filePath(QStringLiteral("photos/IMG_%1.jpg").arg(i));
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(QByteArray(20000, 'x')) != 20000) {
            qWarning("trash benchmark: cannot write the files");
            return;
        }
        urls.append(QUrl::fromLocalFile(path));
    }
    QElapsedTimer timer;
    timer.start();
    const QList<DeletedImage> deleted = ImageDeletionManager::deleteImages(urls);
    const double trashed = double(timer.nsecsElapsed()) / 1e6;
    int restored = 0;
    for (const DeletedImage& image : deleted) {
        restored += ImageDeletionManager::restoreDeletedImage(image) ? 0 : 1;
    }
    const double total = double(timer.nsecsElapsed()) / 1e6;
    qputenv("XDG_DATA_HOME", previousDataHome);
    bench::reportAbsolute(QStringLiteral("moving %1 files to the Trash (%2 moved)")
                              .arg(fileCount)
                              .arg(deleted.size()),
                          trashed, QStringLiteral("ms"), QStringLiteral("report"));
    bench::reportAbsolute(QStringLiteral("putting them back (%1 restored)").arg(restored),
                          total - trashed, QStringLiteral("ms"), QStringLiteral("report"));
});

} // namespace
