#include "ThumbnailMemoryCache.h"

#include <QTest>

// Thumbnails of 10 x 10 ARGB32 pixels take 400 bytes each.
class TestThumbnailMemoryCache : public QObject
{
    Q_OBJECT

private:
    static QUrl url(const QString& name) { return QUrl::fromLocalFile(u'/' + name); }

private slots:
    void eviction_data()
    {
        QTest::addColumn<qint64>("budget");
        // Space-separated steps: "+a" inserts a (or "+a:30" a 30 x 30 one), "?a" shows a,
        // "=ab" keeps only a and b.
        QTest::addColumn<QString>("steps");
        QTest::addColumn<QString>("kept");

        QTest::newRow("within budget") << qint64(1200) << "+a +b +c"
                                       << "abc";
        QTest::newRow("oldest goes") << qint64(1000) << "+a +b +c"
                                     << "bc";
        QTest::newRow("shown is kept") << qint64(1000) << "+a +b ?a +c"
                                       << "ac";
        QTest::newRow("showing absent changes nothing") << qint64(1000) << "+a +b ?z +c"
                                                        << "bc";
        QTest::newRow("just inserted kept beyond budget") << qint64(1000) << "+a +b +c:30"
                                                          << "c";
        QTest::newRow("replacing counts once") << qint64(1000) << "+a +b +a +c"
                                               << "ac";
        QTest::newRow("retain only") << qint64(4000) << "+a +b +c =ac"
                                     << "ac";
    }

    void eviction()
    {
        QFETCH(qint64, budget);
        QFETCH(QString, steps);
        QFETCH(QString, kept);

        ThumbnailMemoryCache cache(budget);
        for (const QString& step : steps.split(u' ')) {
            const QString name = step.mid(1, 1);
            if (step.startsWith(u'+')) {
                const int side = step.size() > 2 ? step.mid(3).toInt() : 10;
                QImage image(side, side, QImage::Format_ARGB32);
                image.fill(Qt::red);
                cache.insert(url(name), image);
            } else if (step.startsWith(u'?')) {
                cache.take(url(name));
            } else {
                QList<QUrl> urls;
                for (const QChar c : step.mid(1)) {
                    urls.append(url(QString(c)));
                }
                cache.retainOnly(urls);
            }
        }

        qint64 bytes = 0;
        for (const QChar c : QStringLiteral("abcz")) {
            QCOMPARE(cache.contains(url(QString(c))), kept.contains(c));
            bytes += cache.take(url(QString(c))).sizeInBytes();
        }
        QCOMPARE(cache.count(), kept.size());
        QCOMPARE(cache.byteCount(), bytes);
    }

    void takeReturnsTheImage()
    {
        ThumbnailMemoryCache cache;
        QImage image(4, 3, QImage::Format_RGB32);
        image.fill(Qt::blue);
        cache.insert(url(QStringLiteral("x")), image);
        QCOMPARE(cache.take(url(QStringLiteral("x"))), image);
        QVERIFY(cache.take(url(QStringLiteral("y"))).isNull());
        cache.clear();
        QCOMPARE(cache.count(), 0);
        QCOMPARE(cache.byteCount(), 0);
    }
};

QTEST_GUILESS_MAIN(TestThumbnailMemoryCache)
#include "tst_thumbnailmemorycache.moc"
