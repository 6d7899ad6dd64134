#include "ImageLoadingPipeline.h"
#include "ImageProperties.h"
#include "TestImageFiles.h"

#include <QDir>
#include <QLocale>
#include <QPainter>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <clocale>

using namespace TestImageFiles;

namespace {

constexpr int waitMilliseconds = 20000;

QVariantMap exifOnly(const QVariantMap& exif)
{
    return {{ImageProperties::pixelWidthKey, 6000},
            {ImageProperties::pixelHeightKey, 4000},
            {ImageProperties::exifKey, exif}};
}

QVariantMap exposure(const QVariant& seconds)
{
    return exifOnly({{ImageProperties::exposureTimeKey, seconds}});
}

QString withSize(const QString& rest)
{
    return QStringLiteral("6000x4000 px \u2022 ") + rest;
}

// Noise that compresses badly, so decoding it keeps the worker busy for a while.
QImage noise(QSize size)
{
    QImage image(size, QImage::Format_RGB32);
    QRandomGenerator random(7);
    for (int y = 0; y < image.height(); ++y) {
        auto* line = reinterpret_cast<quint32*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            line[x] = random.generate();
        }
    }
    return image;
}

} // namespace

class TestImageLoadingPipeline : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void summary_data();
    void summary();
    void summaryIgnoresTheUserLocale();
    void twoRequestsForOneFileDecodeOnce();
    void sixthImageEvictsTheLeastRecentlyUsed();
    void imageUsedAgainSurvivesTheSixth();
    void dotComponentsShareOneEntry();
    void failuresAreNotCached();
    void nonFileUrlGivesNothing();
    void preloadedImagesBecomeTheMostRecentInOrder();
    void requestIsServedBetweenPreloadedImages();
    void cancelledPreloadStopsBeforeTheNextImage();
    void cancelledRequestIsNotDelivered();
    void noDeliveryToADestroyedContext();
    void destroyingThePipelineDeliversNothing();
    void previewComesBeforeTheFullImage_data();
    void previewComesBeforeTheFullImage();
    void onlyTheFullImageComes_data();
    void onlyTheFullImageComes();
    void refusedFilesGiveNoPreview_data();
    void refusedFilesGiveNoPreview();
    void cancelledRequestStopsAfterItsPreview();
    void startLoadingHandsItsPreviewToTheFirstRequest();
    void cacheStaysWithinItsByteBudget();

private:
    // What one preview-and-full request delivered.
    struct Deliveries
    {
        std::optional<LoadedImage> preview;
        QSize fullPixelSize;
        std::optional<LoadedImage> full;
        bool isDone = false;
        bool previewCameFirst = true;
    };

    QUrl url(int index) const;
    QUrl fileUrl(const QString& name) const { return QUrl::fromLocalFile(m_dir.filePath(name)); }
    std::optional<LoadedImage> load(ImageLoadingPipeline& pipeline, const QUrl& url);
    Deliveries loadWithPreview(ImageLoadingPipeline& pipeline, const QUrl& url, QSize fitSize);

    QTemporaryDir m_dir;
};

void TestImageLoadingPipeline::initTestCase()
{
    QVERIFY(m_dir.isValid());
    for (int i = 0; i < 8; ++i) {
        QVERIFY(writeJpeg(url(i).toLocalFile(), quadrants(QSize(32 + i, 24))));
    }
    QVERIFY(QDir(m_dir.path()).mkdir(QStringLiteral("sub")));
    QVERIFY(writeJpeg(m_dir.filePath(QStringLiteral("busy.jpg")), noise(QSize(3000, 2000))));

    // Large enough for a reduced decode to pay: one upright, one stored turned a quarter.
    QVERIFY(writeJpeg(m_dir.filePath(QStringLiteral("large.jpg")), quadrants(QSize(1600, 1200))));
    QVERIFY(writeJpeg(m_dir.filePath(QStringLiteral("turned.jpg")), quadrants(QSize(1600, 1200))));
    QVERIFY(writeExif(m_dir.filePath(QStringLiteral("turned.jpg")),
                      {{QStringLiteral("Exif.Image.Orientation"), QStringLiteral("6")},
                       {QStringLiteral("Exif.Image.Model"), QStringLiteral("Turner")}}));
    QVERIFY(quadrants(QSize(1600, 1200)).save(m_dir.filePath(QStringLiteral("large.png"))));

    // The same photo cut inside its compressed data and just before its end marker.
    const QByteArray whole = readBytes(m_dir.filePath(QStringLiteral("large.jpg")));
    QVERIFY(writeBytes(m_dir.filePath(QStringLiteral("cut-50.jpg")), whole.left(whole.size() / 2)));
    QVERIFY(writeBytes(m_dir.filePath(QStringLiteral("cut-90.jpg")),
                       whole.left(whole.size() * 9 / 10)));
    QVERIFY(writeBytes(m_dir.filePath(QStringLiteral("no-end-marker.jpg")), whole.chopped(2)));
}

QUrl TestImageLoadingPipeline::url(int index) const
{
    return QUrl::fromLocalFile(m_dir.filePath(QStringLiteral("image%1.jpg").arg(index)));
}

std::optional<LoadedImage> TestImageLoadingPipeline::load(ImageLoadingPipeline& pipeline,
                                                          const QUrl& url)
{
    std::optional<LoadedImage> result;
    bool delivered = false;
    pipeline.image(url, this, [&](std::optional<LoadedImage> loaded) {
        result = std::move(loaded);
        delivered = true;
    });
    if (!QTest::qWaitFor([&] { return delivered; }, waitMilliseconds)) {
        qWarning("no answer for %s", qPrintable(url.toString()));
    }
    return result;
}

TestImageLoadingPipeline::Deliveries
TestImageLoadingPipeline::loadWithPreview(ImageLoadingPipeline& pipeline, const QUrl& url,
                                          QSize fitSize)
{
    Deliveries deliveries;
    pipeline.image(
        url, fitSize, this,
        [&](const LoadedImage& preview, QSize fullPixelSize) {
            deliveries.previewCameFirst = !deliveries.isDone;
            deliveries.preview = preview;
            deliveries.fullPixelSize = fullPixelSize;
        },
        [&](std::optional<LoadedImage> loaded) {
            deliveries.full = std::move(loaded);
            deliveries.isDone = true;
        });
    if (!QTest::qWaitFor([&] { return deliveries.isDone; }, waitMilliseconds)) {
        qWarning("no answer for %s", qPrintable(url.toString()));
    }
    return deliveries;
}

void TestImageLoadingPipeline::summary_data()
{
    QTest::addColumn<QVariantMap>("properties");
    QTest::addColumn<QSizeF>("fallbackSize");
    QTest::addColumn<QString>("expected");

    const QSizeF decoded(300, 200);
    QTest::newRow("no properties: decoded size")
        << QVariantMap() << decoded << QStringLiteral("300x200 px");
    QTest::newRow("fallback rounds halves away from zero")
        << QVariantMap() << QSizeF(10.5, 2.5) << QStringLiteral("11x3 px");
    QTest::newRow("non-numeric width falls back, height kept")
        << QVariantMap{{ImageProperties::pixelWidthKey, QStringLiteral("6000")},
                       {ImageProperties::pixelHeightKey, 4000}}
        << decoded << QStringLiteral("300x4000 px");
    QTest::newRow("stored size wins over the turned bitmap")
        << QVariantMap{{ImageProperties::pixelWidthKey, 6000},
                       {ImageProperties::pixelHeightKey, 4000}}
        << QSizeF(4000, 6000) << QStringLiteral("6000x4000 px");
    QTest::newRow("everything, in order")
        << QVariantMap{{ImageProperties::pixelWidthKey, 6000},
                       {ImageProperties::pixelHeightKey, 4000},
                       {ImageProperties::tiffKey, QVariantMap{{ImageProperties::modelKey,
                                                               QStringLiteral("Field Camera II")}}},
                       {ImageProperties::exifKey,
                        QVariantMap{{ImageProperties::dateTimeOriginalKey,
                                     QStringLiteral("2023:07:14 18:02:59")},
                                    {ImageProperties::exposureTimeKey, 0.004},
                                    {ImageProperties::focalLengthKey, 50.0},
                                    {ImageProperties::isoSpeedRatingsKey, QVariantList{100, 200}}}}}
        << decoded
        << withSize(QStringLiteral("Field Camera II \u2022 2023:07:14 18:02:59 \u2022 1/250s "
                                   "\u2022 50mm \u2022 ISO 100"));
    QTest::newRow("TIFF without EXIF")
        << QVariantMap{{ImageProperties::pixelWidthKey, 6000},
                       {ImageProperties::pixelHeightKey, 4000},
                       {ImageProperties::tiffKey,
                        QVariantMap{{ImageProperties::modelKey, QStringLiteral("M")}}}}
        << decoded << withSize(QStringLiteral("M"));
    QTest::newRow("TIFF entry that is not a dictionary")
        << QVariantMap{{ImageProperties::pixelWidthKey, 6000},
                       {ImageProperties::pixelHeightKey, 4000},
                       {ImageProperties::tiffKey, QStringLiteral("Model")}}
        << decoded << QStringLiteral("6000x4000 px");
    QTest::newRow("empty model and date are left out")
        << QVariantMap{{ImageProperties::pixelWidthKey, 6000},
                       {ImageProperties::pixelHeightKey, 4000},
                       {ImageProperties::tiffKey,
                        QVariantMap{{ImageProperties::modelKey, QString()}}},
                       {ImageProperties::exifKey,
                        QVariantMap{{ImageProperties::dateTimeOriginalKey, QString()}}}}
        << decoded << QStringLiteral("6000x4000 px");
    QTest::newRow("exposure 0.004 s") << exposure(0.004) << decoded << withSize("1/250s");
    QTest::newRow("exposure 0.3 s") << exposure(0.3) << decoded << withSize("1/3s");
    QTest::newRow("exposure 0.4 s: reciprocal 2.5 rounds up")
        << exposure(0.4) << decoded << withSize("1/3s");
    QTest::newRow("exposure 1 s") << exposure(1) << decoded << withSize("1.0s");
    QTest::newRow("exposure 30 s") << exposure(30.0) << decoded << withSize("30.0s");
    QTest::newRow("exposure 0 s") << exposure(0) << decoded << QStringLiteral("6000x4000 px");
    QTest::newRow("negative exposure")
        << exposure(-0.5) << decoded << QStringLiteral("6000x4000 px");
    QTest::newRow("exposure as text")
        << exposure(QStringLiteral("1/250")) << decoded << QStringLiteral("6000x4000 px");
    QTest::newRow("focal length rounds to whole millimetres")
        << exifOnly({{ImageProperties::focalLengthKey, 23.7}}) << decoded << withSize("24mm");
    QTest::newRow("ISO list with a non-number")
        << exifOnly({{ImageProperties::isoSpeedRatingsKey, QVariantList{100, QStringLiteral("x")}}})
        << decoded << QStringLiteral("6000x4000 px");
    QTest::newRow("empty ISO list")
        << exifOnly({{ImageProperties::isoSpeedRatingsKey, QVariantList()}}) << decoded
        << QStringLiteral("6000x4000 px");
    QTest::newRow("ISO as a single number, not a list")
        << exifOnly({{ImageProperties::isoSpeedRatingsKey, 100}}) << decoded
        << QStringLiteral("6000x4000 px");
}

void TestImageLoadingPipeline::summary()
{
    QFETCH(QVariantMap, properties);
    QFETCH(QSizeF, fallbackSize);
    QFETCH(QString, expected);
    QCOMPARE(ImageLoadingPipeline::imageMetadataSummary(properties, fallbackSize), expected);
}

void TestImageLoadingPipeline::summaryIgnoresTheUserLocale()
{
    const QLocale previous;
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    const QString summary = ImageLoadingPipeline::imageMetadataSummary(
        exifOnly(
            {{ImageProperties::exposureTimeKey, 2.5}, {ImageProperties::focalLengthKey, 12000.0}}),
        QSizeF(1, 1));
    QLocale::setDefault(previous);
    QCOMPARE(summary, withSize(QStringLiteral("2.5s \u2022 12000mm")));
}

void TestImageLoadingPipeline::twoRequestsForOneFileDecodeOnce()
{
    ImageLoadingPipeline pipeline;
    int answers = 0;
    for (int i = 0; i < 2; ++i) {
        pipeline.image(url(0), this, [&](std::optional<LoadedImage> loaded) {
            QVERIFY(loaded);
            ++answers;
        });
    }
    QTRY_COMPARE_WITH_TIMEOUT(answers, 2, waitMilliseconds);
    QCOMPARE(pipeline.decodeCount(), 1);
}

void TestImageLoadingPipeline::sixthImageEvictsTheLeastRecentlyUsed()
{
    ImageLoadingPipeline pipeline;
    for (int i = 0; i < 6; ++i) {
        QVERIFY(load(pipeline, url(i)));
    }
    QCOMPARE(pipeline.decodeCount(), 6);
    QVERIFY(load(pipeline, url(0)));
    QCOMPARE(pipeline.decodeCount(), 7);
    QVERIFY(load(pipeline, url(5)));
    QCOMPARE(pipeline.decodeCount(), 7);
}

void TestImageLoadingPipeline::imageUsedAgainSurvivesTheSixth()
{
    ImageLoadingPipeline pipeline;
    for (int i : {0, 1, 2, 3, 4, 0, 5}) {
        QVERIFY(load(pipeline, url(i)));
    }
    QCOMPARE(pipeline.decodeCount(), 6);
    QVERIFY(load(pipeline, url(0)));
    QCOMPARE(pipeline.decodeCount(), 6);
    QVERIFY(load(pipeline, url(1)));
    QCOMPARE(pipeline.decodeCount(), 7);
}

void TestImageLoadingPipeline::dotComponentsShareOneEntry()
{
    ImageLoadingPipeline pipeline;
    const QString name = url(2).fileName();
    const QString roundabout = m_dir.path() + QStringLiteral("/sub/.././/") + name;
    const std::optional<LoadedImage> first = load(pipeline, QUrl::fromLocalFile(roundabout));
    QVERIFY(first);
    QCOMPARE(first->url, url(2));
    QCOMPARE(first->cgImage.size(), QSize(34, 24));
    QVERIFY(load(pipeline, url(2)));
    QVERIFY(load(pipeline, QUrl::fromLocalFile(m_dir.path() + QStringLiteral("/./") + name)));
    QCOMPARE(pipeline.decodeCount(), 1);
}

void TestImageLoadingPipeline::failuresAreNotCached()
{
    ImageLoadingPipeline pipeline;
    const QString path = m_dir.filePath(QStringLiteral("arrives-later.jpg"));
    QVERIFY(!load(pipeline, QUrl::fromLocalFile(path)));
    QVERIFY(writeJpeg(path, quadrants(QSize(20, 10))));
    const std::optional<LoadedImage> loaded = load(pipeline, QUrl::fromLocalFile(path));
    QVERIFY(loaded);
    QCOMPARE(loaded->metadata, QStringLiteral("20x10 px"));
    QCOMPARE(pipeline.decodeCount(), 2);
}

void TestImageLoadingPipeline::nonFileUrlGivesNothing()
{
    ImageLoadingPipeline pipeline;
    QVERIFY(!load(pipeline, QUrl(QStringLiteral("https://example.org/image0.jpg"))));
    QVERIFY(!load(pipeline, QUrl()));
    QCOMPARE(pipeline.decodeCount(), 0);
}

void TestImageLoadingPipeline::preloadedImagesBecomeTheMostRecentInOrder()
{
    ImageLoadingPipeline pipeline;
    QVERIFY(load(pipeline, url(7)));
    pipeline.preload({url(3), url(2), url(1), url(0)});
    QTRY_COMPARE_WITH_TIMEOUT(pipeline.decodeCount(), 5, waitMilliseconds);
    // Least recent first: 7, 3, 2, 1, 0. Two new images push out 7, then 3.
    QVERIFY(load(pipeline, url(5)));
    QVERIFY(load(pipeline, url(6)));
    QCOMPARE(pipeline.decodeCount(), 7);
    for (int i : {2, 1, 0}) {
        QVERIFY(load(pipeline, url(i)));
    }
    QCOMPARE(pipeline.decodeCount(), 7);
    QVERIFY(load(pipeline, url(3)));
    QCOMPARE(pipeline.decodeCount(), 8);
}

void TestImageLoadingPipeline::requestIsServedBetweenPreloadedImages()
{
    ImageLoadingPipeline pipeline;
    const QUrl busy = QUrl::fromLocalFile(m_dir.filePath(QStringLiteral("busy.jpg")));
    // The request arrives while the first (slow) preloaded image decodes; it must be served
    // before the second one, leaving the recency order busy, 0, 1, 2.
    pipeline.preload({busy, url(1), url(2)});
    QVERIFY(load(pipeline, url(0)));
    QTRY_COMPARE_WITH_TIMEOUT(pipeline.decodeCount(), 4, waitMilliseconds);
    for (int i : {5, 6, 7}) {
        QVERIFY(load(pipeline, url(i)));
    }
    QCOMPARE(pipeline.decodeCount(), 7); // pushed out busy, then 0
    QVERIFY(load(pipeline, url(1)));
    QCOMPARE(pipeline.decodeCount(), 7);
    QVERIFY(load(pipeline, url(0)));
    QCOMPARE(pipeline.decodeCount(), 8);
}

void TestImageLoadingPipeline::cancelledPreloadStopsBeforeTheNextImage()
{
    ImageLoadingPipeline pipeline;
    const CancellationHandle preload = pipeline.preload({url(0), url(1), url(2), url(3)});
    preload.cancel();
    QVERIFY(load(pipeline, url(5)));
    // At most the image in flight when the cancel came was decoded, besides the request.
    QVERIFY(pipeline.decodeCount() <= 2);
    QVERIFY(load(pipeline, url(5)));
    const int settled = pipeline.decodeCount();
    QVERIFY(load(pipeline, url(1)));
    QCOMPARE(pipeline.decodeCount(), settled + 1);
}

void TestImageLoadingPipeline::cancelledRequestIsNotDelivered()
{
    ImageLoadingPipeline pipeline;
    bool cancelledWasCalled = false;
    const auto mustNotRun = [&](std::optional<LoadedImage>) { cancelledWasCalled = true; };

    // Cancelled after its decode, while the answer is on its way to this thread.
    const CancellationHandle decoded = pipeline.image(url(0), this, mustNotRun);
    bool laterDelivered = false;
    pipeline.image(url(1), this, [&](std::optional<LoadedImage>) { laterDelivered = true; });
    QDeadlineTimer deadline(waitMilliseconds);
    while (pipeline.decodeCount() < 2 && !deadline.hasExpired()) {
        QThread::yieldCurrentThread(); // no event processing: the first answer stays queued
    }
    decoded.cancel();
    QTRY_VERIFY_WITH_TIMEOUT(laterDelivered, waitMilliseconds);

    // Cancelled before its turn: not delivered, but still decoded into the cache, so stepping
    // quickly past an image leaves it cached.
    pipeline.image(url(2), this, mustNotRun).cancel();
    QVERIFY(load(pipeline, url(3)));
    QVERIFY(!cancelledWasCalled);
    QCOMPARE(pipeline.decodeCount(), 4);
    QVERIFY(load(pipeline, url(2)));
    QCOMPARE(pipeline.decodeCount(), 4);
}

void TestImageLoadingPipeline::noDeliveryToADestroyedContext()
{
    ImageLoadingPipeline pipeline;
    auto* context = new QObject;
    bool called = false;
    pipeline.image(url(0), context, [&](std::optional<LoadedImage>) { called = true; });
    delete context;
    QVERIFY(load(pipeline, url(1)));
    QVERIFY(!called);
}

void TestImageLoadingPipeline::destroyingThePipelineDeliversNothing()
{
    int answers = 0;
    {
        ImageLoadingPipeline pipeline;
        pipeline.preload({url(3), url(4), url(5)});
        for (int i = 0; i < 3; ++i) {
            pipeline.image(url(i), this, [&](std::optional<LoadedImage>) { ++answers; });
        }
        QDeadlineTimer deadline(waitMilliseconds);
        while (pipeline.decodeCount() < 2 && !deadline.hasExpired()) {
            QThread::yieldCurrentThread(); // let answers queue up without delivering them
        }
    }
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
    QCOMPARE(answers, 0);
}

void TestImageLoadingPipeline::previewComesBeforeTheFullImage_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QSize>("fitSize");
    QTest::addColumn<QSize>("fullSize");
    QTest::addColumn<QColor>("topLeft");

    QTest::newRow("upright") << "large.jpg" << QSize(400, 300) << QSize(1600, 1200)
                             << topLeftColour;
    QTest::newRow("turned a quarter")
        << "turned.jpg" << QSize(300, 400) << QSize(1200, 1600) << bottomLeftColour;
}

void TestImageLoadingPipeline::previewComesBeforeTheFullImage()
{
    QFETCH(QString, name);
    QFETCH(QSize, fitSize);
    QFETCH(QSize, fullSize);
    QFETCH(QColor, topLeft);

    ImageLoadingPipeline pipeline;
    const Deliveries deliveries = loadWithPreview(pipeline, fileUrl(name), fitSize);
    QVERIFY(deliveries.preview);
    QVERIFY(deliveries.full);
    QVERIFY(deliveries.previewCameFirst);
    QCOMPARE(deliveries.fullPixelSize, fullSize);
    QCOMPARE(deliveries.full->cgImage.size(), fullSize);
    // Reduced, but still covering the fitted size, the same way round as the full image.
    const QSize preview = deliveries.preview->cgImage.size();
    const QSize fitted = fullSize.scaled(fitSize, Qt::KeepAspectRatio);
    QVERIFY2(preview.width() >= fitted.width() && preview.height() >= fitted.height(),
             qPrintable(QStringLiteral("%1x%2").arg(preview.width()).arg(preview.height())));
    QVERIFY(preview.width() < fullSize.width());
    QCOMPARE(preview.width() * fullSize.height(), preview.height() * fullSize.width());
    QVERIFY(isNear(deliveries.preview->cgImage.pixelColor(4, 4), topLeft));
    QCOMPARE(deliveries.preview->metadata, deliveries.full->metadata);
    QCOMPARE(deliveries.preview->url, deliveries.full->url);
    QCOMPARE(pipeline.decodeCount(), 1);
}

void TestImageLoadingPipeline::onlyTheFullImageComes_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QSize>("fitSize");
    QTest::addColumn<bool>("isCachedFirst");

    QTest::newRow("cached") << "large.jpg" << QSize(400, 300) << true;
    QTest::newRow("fit larger than the image") << "large.jpg" << QSize(1600, 1600) << false;
    QTest::newRow("fit too close for a reduced decode") << "large.jpg" << QSize(1000, 800) << false;
    QTest::newRow("format reduces only after decoding") << "large.png" << QSize(400, 300) << false;
}

void TestImageLoadingPipeline::onlyTheFullImageComes()
{
    QFETCH(QString, name);
    QFETCH(QSize, fitSize);
    QFETCH(bool, isCachedFirst);

    ImageLoadingPipeline pipeline;
    if (isCachedFirst) {
        QVERIFY(load(pipeline, fileUrl(name)));
    }
    const Deliveries deliveries = loadWithPreview(pipeline, fileUrl(name), fitSize);
    QVERIFY(!deliveries.preview);
    QVERIFY(deliveries.full);
    QCOMPARE(deliveries.full->cgImage.size(), QSize(1600, 1200));
    QCOMPARE(pipeline.decodeCount(), 1);
}

void TestImageLoadingPipeline::refusedFilesGiveNoPreview_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("cut at half the scan") << "cut-50.jpg";
    QTest::newRow("cut at nine tenths") << "cut-90.jpg";
    QTest::newRow("only the end marker missing") << "no-end-marker.jpg";
}

void TestImageLoadingPipeline::refusedFilesGiveNoPreview()
{
    QFETCH(QString, name);
    ImageLoadingPipeline pipeline;
    QVERIFY(!load(pipeline, fileUrl(name)));
    const Deliveries deliveries = loadWithPreview(pipeline, fileUrl(name), QSize(400, 300));
    QVERIFY(deliveries.isDone);
    QVERIFY(!deliveries.preview);
    QVERIFY(!deliveries.full);
}

void TestImageLoadingPipeline::cancelledRequestStopsAfterItsPreview()
{
    ImageLoadingPipeline pipeline;
    bool fullCame = false;
    // The user moves on at once: the next request cancels this one while its preview may be
    // decoding, so its full decode, queued behind the next request, is skipped.
    pipeline
        .image(
            fileUrl(QStringLiteral("large.jpg")), QSize(400, 300), this,
            [&](const LoadedImage&, QSize) { fullCame = true; },
            [&](std::optional<LoadedImage>) { fullCame = true; })
        .cancel();
    QVERIFY(load(pipeline, url(0)));
    QVERIFY(load(pipeline, url(0)));
    QVERIFY(!fullCame);
    QCOMPARE(pipeline.decodeCount(), 1);
    // Nothing of it was cached: the image decodes in full when asked again.
    QVERIFY(load(pipeline, fileUrl(QStringLiteral("large.jpg"))));
    QCOMPARE(pipeline.decodeCount(), 2);
}

void TestImageLoadingPipeline::startLoadingHandsItsPreviewToTheFirstRequest()
{
    ImageLoadingPipeline pipeline;
    const QUrl large = fileUrl(QStringLiteral("large.jpg"));
    pipeline.startLoading(large, QSize(400, 300));
    QTRY_COMPARE_WITH_TIMEOUT(pipeline.decodeCount(), 1, waitMilliseconds);
    const Deliveries deliveries = loadWithPreview(pipeline, large, QSize(400, 300));
    QVERIFY(deliveries.full);
    QCOMPARE(pipeline.decodeCount(), 1);

    // While the full decode is still ahead, the kept preview answers at once.
    ImageLoadingPipeline fresh;
    fresh.startLoading(large, QSize(400, 300));
    const Deliveries early = loadWithPreview(fresh, large, QSize(400, 300));
    QVERIFY(early.preview);
    QVERIFY(early.previewCameFirst);
    QVERIFY(early.full);
    QCOMPARE(fresh.decodeCount(), 1);
}

void TestImageLoadingPipeline::cacheStaysWithinItsByteBudget()
{
    ImageLoadingPipeline pipeline;
    const qint64 imageBytes = QImage(QSize(32, 24), QImage::Format_RGB32).sizeInBytes();
    pipeline.setCacheByteBudget(2 * imageBytes + imageBytes / 2);
    for (int i : {0, 1, 2}) {
        QVERIFY(load(pipeline, url(0).resolved(QUrl(QStringLiteral("image%1.jpg").arg(i)))));
    }
    QCOMPARE(pipeline.decodeCount(), 3);
    // Two fit: 1 and 2 stay, 0 went first.
    QVERIFY(load(pipeline, url(2)));
    QVERIFY(load(pipeline, url(1)));
    QCOMPARE(pipeline.decodeCount(), 3);
    QVERIFY(load(pipeline, url(0)));
    QCOMPARE(pipeline.decodeCount(), 4);

    // A budget below one image still keeps the image just delivered, and only that one.
    pipeline.setCacheByteBudget(1);
    QVERIFY(load(pipeline, url(6)));
    QVERIFY(load(pipeline, url(6)));
    QCOMPARE(pipeline.decodeCount(), 5);
    QVERIFY(load(pipeline, url(0)));
    QCOMPARE(pipeline.decodeCount(), 6);
}

QTEST_MAIN(TestImageLoadingPipeline)
#include "tst_imageloadingpipeline.moc"
