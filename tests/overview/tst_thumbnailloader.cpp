#include "ThumbnailDiskCache.h"
#include "ThumbnailLoader.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

namespace {

struct Delivery
{
    QUrl url;
    int maxPixelSize;
    std::optional<QImage> thumbnail;
};

QString writeImage(const QString& path, QSize size, QColor colour, const char* format)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(colour);
    return image.save(path, format) ? path : QString();
}

} // namespace

class TestThumbnailLoader : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_folder;
    QList<Delivery> m_deliveries;

    std::unique_ptr<ThumbnailLoader> makeLoader(std::shared_ptr<ThumbnailDiskCache> cache)
    {
        auto loader = std::make_unique<ThumbnailLoader>(std::move(cache));
        loader->onThumbnailReady = [this](const QUrl& url, int size, std::optional<QImage> image) {
            m_deliveries.append({url, size, std::move(image)});
        };
        return loader;
    }

private slots:
    void init() { m_deliveries.clear(); }

    void delivers_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QSize>("expected");
        QTest::addColumn<QString>("cacheFolder");

        QTest::newRow("large jpeg") << "jpeg" << QSize(240, 120) << "large";
        QTest::newRow("small png") << "small" << QSize(100, 50) << "normal";
        QTest::newRow("truncated jpeg") << "truncated" << QSize() << "";
        QTest::newRow("not an image") << "text" << QSize() << "";
        QTest::newRow("missing file") << "missing" << QSize() << "";
    }

    void delivers()
    {
        QFETCH(QString, kind);
        QFETCH(QSize, expected);
        QFETCH(QString, cacheFolder);

        const QString path = m_folder.filePath(kind + QStringLiteral(".img"));
        if (kind == QLatin1String("jpeg") || kind == QLatin1String("truncated")) {
            QVERIFY(!writeImage(path, QSize(1600, 800), Qt::blue, "JPEG").isEmpty());
        } else if (kind == QLatin1String("small")) {
            QVERIFY(!writeImage(path, QSize(100, 50), Qt::blue, "PNG").isEmpty());
        } else if (kind == QLatin1String("text")) {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly) && file.write("hello") == 5);
        }
        if (kind == QLatin1String("truncated")) {
            QVERIFY(QFile::resize(path, QFileInfo(path).size() / 3));
        }
        const QUrl url = QUrl::fromLocalFile(path);
        auto cache = std::make_shared<ThumbnailDiskCache>(
            m_folder.filePath(kind + QStringLiteral("-cache")));
        auto loader = makeLoader(cache);

        loader->request(url, 240);
        QVERIFY(loader->isPending(url));
        QTRY_COMPARE(m_deliveries.size(), 1);
        QVERIFY(!loader->isPending(url));
        QCOMPARE(m_deliveries[0].url, url);
        QCOMPARE(m_deliveries[0].maxPixelSize, 240);
        QCOMPARE(m_deliveries[0].thumbnail.has_value(), expected.isValid());
        if (expected.isValid()) {
            QCOMPARE(m_deliveries[0].thumbnail->size(), expected);
        }
        for (const auto& folder : ThumbnailDiskCache::folders) {
            QCOMPARE(QFileInfo::exists(cache->entryPath(url, folder)),
                     cacheFolder == QLatin1String(folder.name));
        }
    }

    void usesTheDiskCache()
    {
        const QUrl url = QUrl::fromLocalFile(writeImage(
            m_folder.filePath(QStringLiteral("cached.jpg")), QSize(800, 800), Qt::blue, "JPEG"));
        auto cache = std::make_shared<ThumbnailDiskCache>(m_folder.filePath(QStringLiteral("c")));
        QImage entry(256, 256, QImage::Format_RGB32);
        entry.fill(Qt::red);
        QVERIFY(cache->store(url, entry, *ThumbnailDiskCache::modificationTime(url), false));
        auto loader = makeLoader(cache);

        loader->request(url, 240);
        QTRY_COMPARE(m_deliveries.size(), 1);
        QCOMPARE(m_deliveries[0].thumbnail->size(), QSize(240, 240));
        QCOMPARE(m_deliveries[0].thumbnail->pixelColor(120, 120), QColor(Qt::red));
    }

    void failureDoesNotStopTheQueue()
    {
        const QString broken = m_folder.filePath(QStringLiteral("broken.jpg"));
        QFile file(broken);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write("\xff\xd8\xff\xe0garbage") > 0);
        file.close();
        const QUrl good = QUrl::fromLocalFile(writeImage(
            m_folder.filePath(QStringLiteral("good.png")), QSize(300, 200), Qt::blue, "PNG"));
        auto loader = makeLoader(nullptr);

        loader->request(QUrl::fromLocalFile(broken), 120);
        loader->request(good, 120);
        QTRY_COMPARE(m_deliveries.size(), 2);
        QVERIFY(!m_deliveries[0].thumbnail);
        QCOMPARE(m_deliveries[1].url, good);
        QCOMPARE(m_deliveries[1].thumbnail->size(), QSize(120, 80));
    }

    void pendingRequestIsNotRepeated()
    {
        const QUrl url = QUrl::fromLocalFile(writeImage(
            m_folder.filePath(QStringLiteral("again.png")), QSize(300, 200), Qt::blue, "PNG"));
        auto loader = makeLoader(nullptr);

        loader->request(url, 120);
        loader->request(url, 120);
        QVERIFY(loader->isPending(url));
        QTRY_COMPARE(m_deliveries.size(), 1);
        QTest::qWait(50);
        QCOMPARE(m_deliveries.size(), 1);
        // Delivered, so no longer pending: asking again decodes again.
        loader->request(url, 120);
        QTRY_COMPARE(m_deliveries.size(), 2);
    }

    void setWantedDropsQueuedRequests()
    {
        const QString original = writeImage(m_folder.filePath(QStringLiteral("burst.jpg")),
                                            QSize(3000, 2000), Qt::blue, "JPEG");
        QVERIFY(!original.isEmpty());
        QList<QUrl> urls;
        for (int i = 0; i < 200; ++i) {
            const QString copy = m_folder.filePath(QStringLiteral("burst-%1.jpg").arg(i));
            QVERIFY(QFile::copy(original, copy));
            urls.append(QUrl::fromLocalFile(copy));
        }
        auto loader = makeLoader(nullptr);

        for (const QUrl& url : std::as_const(urls)) {
            loader->request(url, 240);
        }
        QVERIFY(loader->peakQueuedCount() >= 150);
        const QSet<QUrl> wanted(urls.cend() - 5, urls.cend());
        loader->setWanted(wanted);
        QVERIFY(loader->queuedCount() <= 5);
        QSet<QUrl> stillPending;
        for (const QUrl& url : std::as_const(urls)) {
            if (loader->isPending(url)) {
                stillPending.insert(url);
            }
        }
        QVERIFY(stillPending.contains(wanted));
        QVERIFY(stillPending.size() <= 7);

        QTRY_COMPARE(m_deliveries.size(), stillPending.size());
        QTest::qWait(100);
        QCOMPARE(m_deliveries.size(), stillPending.size());
        for (const Delivery& delivery : std::as_const(m_deliveries)) {
            QVERIFY(stillPending.contains(delivery.url));
            QVERIFY(delivery.thumbnail);
        }
        QCOMPARE(loader->queuedCount(), 0);
    }

    void destroyedLoaderDeliversNothing()
    {
        const QUrl url = QUrl::fromLocalFile(writeImage(
            m_folder.filePath(QStringLiteral("gone.jpg")), QSize(2000, 2000), Qt::blue, "JPEG"));
        for (int i = 0; i < 3; ++i) {
            auto loader = makeLoader(nullptr);
            loader->request(url, 240);
            QThread::msleep(i * 20);
        }
        QTest::qWait(100);
        QCOMPARE(m_deliveries.size(), 0);
    }
};

QTEST_MAIN(TestThumbnailLoader)
#include "tst_thumbnailloader.moc"
