#include "ThumbnailDiskCache.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>
#include <sys/stat.h>

namespace {

QImage filled(int width, int height, QColor colour)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(colour);
    return image;
}

mode_t modeOf(const QString& path)
{
    struct stat status
    {};
    return ::lstat(QFile::encodeName(path).constData(), &status) == 0 ? status.st_mode & 07777 : 0;
}

} // namespace

class TestThumbnailDiskCache : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_folder;
    QString m_root;
    QUrl m_url;
    qint64 m_mtime = 0;

    const ThumbnailDiskCache::Folder& folderNamed(const char* name)
    {
        for (const auto& folder : ThumbnailDiskCache::folders) {
            if (qstrcmp(folder.name, name) == 0) {
                return folder;
            }
        }
        return ThumbnailDiskCache::folders.front();
    }

private slots:
    void init()
    {
        QVERIFY(m_folder.isValid());
        m_root = m_folder.filePath(QStringLiteral("cache/thumbnails"));
        QDir(m_root).removeRecursively();
        const QString path = m_folder.filePath(QStringLiteral("a b/photo ä.png"));
        QDir().mkpath(QFileInfo(path).path());
        QVERIFY(filled(1000, 800, Qt::blue).save(path));
        m_url = QUrl::fromLocalFile(path);
        m_mtime = *ThumbnailDiskCache::modificationTime(m_url);
    }

    void entryUriIsTheEncodedFileUrl()
    {
        QCOMPARE(
            ThumbnailDiskCache::entryUri(QUrl::fromLocalFile(QStringLiteral("/home/a b/x.jpg"))),
            QByteArray("file:///home/a%20b/x.jpg"));
        ThumbnailDiskCache cache(QStringLiteral("/c"));
        QCOMPARE(cache.entryPath(QUrl::fromLocalFile(QStringLiteral("/home/a b/x.jpg")),
                                 folderNamed("large")),
                 QStringLiteral("/c/large/") +
                     QCryptographicHash::hash("file:///home/a%20b/x.jpg", QCryptographicHash::Md5)
                         .toHex() +
                     QStringLiteral(".png"));
    }

    void lookup_data()
    {
        QTest::addColumn<QSize>("stored");
        QTest::addColumn<bool>("isWholeImage");
        QTest::addColumn<qint64>("mtimeOffset");
        QTest::addColumn<bool>("otherUri");
        QTest::addColumn<int>("requested");
        QTest::addColumn<bool>("used");

        QTest::newRow("valid") << QSize(256, 205) << false << qint64(0) << false << 240 << true;
        QTest::newRow("larger folder")
            << QSize(512, 410) << false << qint64(0) << false << 240 << true;
        QTest::newRow("exactly the size")
            << QSize(128, 100) << false << qint64(0) << false << 128 << true;
        QTest::newRow("mtime differs")
            << QSize(256, 205) << false << qint64(-1) << false << 240 << false;
        QTest::newRow("another uri")
            << QSize(256, 205) << false << qint64(0) << true << 240 << false;
        QTest::newRow("too small")
            << QSize(128, 102) << false << qint64(0) << false << 240 << false;
        QTest::newRow("smaller whole image")
            << QSize(100, 80) << true << qint64(0) << false << 240 << true;
    }

    void lookup()
    {
        QFETCH(QSize, stored);
        QFETCH(bool, isWholeImage);
        QFETCH(qint64, mtimeOffset);
        QFETCH(bool, otherUri);
        QFETCH(int, requested);
        QFETCH(bool, used);

        ThumbnailDiskCache cache(m_root);
        const QUrl storedUrl =
            otherUri ? QUrl::fromLocalFile(m_folder.filePath(QStringLiteral("other.png"))) : m_url;
        QVERIFY(cache.store(storedUrl, filled(stored.width(), stored.height(), Qt::red),
                            m_mtime + mtimeOffset, isWholeImage));
        if (otherUri) {
            // Same name as the photo's entry, but tagged with another file's URI.
            for (const auto& folder : ThumbnailDiskCache::folders) {
                QFile::rename(cache.entryPath(storedUrl, folder), cache.entryPath(m_url, folder));
            }
        }
        const QImage found = cache.thumbnail(m_url, requested);
        QCOMPARE(!found.isNull(), used);
        if (used) {
            QCOMPARE(found.size(), stored);
            QCOMPARE(found.pixelColor(0, 0), QColor(Qt::red));
        }
    }

    void folderFollowsTheSize_data()
    {
        QTest::addColumn<int>("side");
        QTest::addColumn<QString>("folder");

        QTest::newRow("small") << 100 << "normal";
        QTest::newRow("128") << 128 << "normal";
        QTest::newRow("240") << 240 << "large";
        QTest::newRow("512") << 512 << "x-large";
        QTest::newRow("too large") << 513 << "";
    }

    void folderFollowsTheSize()
    {
        QFETCH(int, side);
        QFETCH(QString, folder);

        ThumbnailDiskCache cache(m_root);
        QCOMPARE(cache.store(m_url, filled(side, side / 2, Qt::red), m_mtime, false),
                 !folder.isEmpty());
        for (const auto& candidate : ThumbnailDiskCache::folders) {
            QCOMPARE(QFileInfo::exists(cache.entryPath(m_url, candidate)),
                     folder == QLatin1String(candidate.name));
        }
    }

    void entriesArePrivate()
    {
        ThumbnailDiskCache cache(m_root);
        QVERIFY(cache.store(m_url, filled(200, 100, Qt::red), m_mtime, false));
        QCOMPARE(modeOf(m_root), mode_t(0700));
        QCOMPARE(modeOf(m_root + QStringLiteral("/large")), mode_t(0700));
        QCOMPARE(modeOf(cache.entryPath(m_url, folderNamed("large"))), mode_t(0600));
        QCOMPARE(
            QDir(m_root + QStringLiteral("/large")).entryList(QDir::Files | QDir::Hidden).size(),
            1);
    }

    void hostileEntryIsIgnoredAndReplaced_data()
    {
        QTest::addColumn<QString>("kind");

        QTest::newRow("symlink") << "symlink";
        QTest::newRow("truncated") << "truncated";
        QTest::newRow("oversized") << "oversized";
        QTest::newRow("fifo") << "fifo";
        QTest::newRow("claims huge dimensions") << "huge";
        QTest::newRow("not a png") << "garbage";
        QTest::newRow("text chunks the reader would inflate") << "text";
    }

    void hostileEntryIsIgnoredAndReplaced()
    {
        QFETCH(QString, kind);

        ThumbnailDiskCache cache(m_root);
        QVERIFY(cache.store(m_url, filled(256, 200, Qt::red), m_mtime, false));
        const QString entry = cache.entryPath(m_url, folderNamed("large"));
        QFile file(entry);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray valid = file.readAll();
        file.close();
        QVERIFY(QFile::remove(entry));

        if (kind == QLatin1String("symlink")) {
            const QString target = m_folder.filePath(QStringLiteral("elsewhere.png"));
            QFile::remove(target);
            QFile out(target);
            QVERIFY(out.open(QIODevice::WriteOnly) && out.write(valid) == valid.size());
            out.close();
            QVERIFY(QFile::link(target, entry));
        } else if (kind == QLatin1String("fifo")) {
            QCOMPARE(::mkfifo(QFile::encodeName(entry).constData(), 0600), 0);
        } else {
            QByteArray bytes = valid;
            if (kind == QLatin1String("truncated")) {
                bytes.truncate(bytes.size() / 2);
            } else if (kind == QLatin1String("oversized")) {
                bytes.append(QByteArray(ThumbnailDiskCache::maximumEntryBytes, '\0'));
            } else if (kind == QLatin1String("huge")) {
                // The IHDR width and height (big-endian, right after the signature and the
                // chunk's length and type) claim 100000 x 100000 pixels.
                const char huge[] = {0, 1, char(0x86), char(0xa0)};
                bytes.replace(16, 4, huge, 4);
                bytes.replace(20, 4, huge, 4);
            } else if (kind == QLatin1String("text")) {
                // Forty text chunks after the header chunk (8 + 25 bytes in): more than an entry
                // ever needs, as a file of deflated chunks inflating to gigabytes would be.
                QByteArray chunks;
                for (int i = 0; i < 40; ++i) {
                    const QByteArray data = "Comment\0" + QByteArray(100, 'c');
                    const char length[] = {0, 0, 0, char(data.size())};
                    chunks += QByteArray(length, 4) + "tEXt" + data + QByteArray(4, '\0');
                }
                bytes.insert(33, chunks);
            } else {
                bytes = QByteArray(2000, 'x');
            }
            QFile out(entry);
            QVERIFY(out.open(QIODevice::WriteOnly) && out.write(bytes) == bytes.size());
        }

        QVERIFY(cache.thumbnail(m_url, 240).isNull());
        QVERIFY(cache.store(m_url, filled(256, 200, Qt::green), m_mtime, false));
        QVERIFY(!QFileInfo(entry).isSymLink());
        QCOMPARE(cache.thumbnail(m_url, 240).pixelColor(0, 0), QColor(Qt::green));
    }

    void filesInsideTheCacheAreNotCached()
    {
        ThumbnailDiskCache cache(m_root);
        QVERIFY(cache.store(m_url, filled(256, 200, Qt::red), m_mtime, false));
        const QUrl entryUrl = QUrl::fromLocalFile(cache.entryPath(m_url, folderNamed("large")));
        const qint64 mtime = *ThumbnailDiskCache::modificationTime(entryUrl);
        QVERIFY(!cache.store(entryUrl, filled(100, 100, Qt::red), mtime, false));
        QCOMPARE(QDir(m_root + QStringLiteral("/normal")).entryList(QDir::Files).size(), 0);
        QCOMPARE(QDir(m_root + QStringLiteral("/large")).entryList(QDir::Files).size(), 1);
    }

    void unwritableCacheIsIgnored()
    {
        const QString blocker = m_folder.filePath(QStringLiteral("blocker"));
        QFile out(blocker);
        QVERIFY(out.open(QIODevice::WriteOnly));
        out.close();
        ThumbnailDiskCache cache(blocker + QStringLiteral("/thumbnails"));
        QVERIFY(!cache.store(m_url, filled(100, 100, Qt::red), m_mtime, false));
        QVERIFY(cache.thumbnail(m_url, 100).isNull());
    }
};

QTEST_GUILESS_MAIN(TestThumbnailDiskCache)
#include "tst_thumbnaildiskcache.moc"
