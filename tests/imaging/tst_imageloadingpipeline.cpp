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

private:
    QUrl url(int index) const;
    std::optional<LoadedImage> load(ImageLoadingPipeline& pipeline, const QUrl& url);

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

QTEST_MAIN(TestImageLoadingPipeline)
#include "tst_imageloadingpipeline.moc"
