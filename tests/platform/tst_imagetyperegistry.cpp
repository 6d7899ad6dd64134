#include "ImageTypeRegistry.h"

#include <QTest>

class TestImageTypeRegistry : public QObject
{
    Q_OBJECT

private slots:
    void extension_data();
    void extension();
    void isImageFileName_data();
    void isImageFileName();
    void namePatternsOfferExactlyTheImages();
};

void TestImageTypeRegistry::extension_data()
{
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<QString>("expected");
    QTest::newRow("plain") << QStringLiteral("photo.jpg") << QStringLiteral("jpg");
    QTest::newRow("last of several dots") << QStringLiteral("a.b.tar.gz") << QStringLiteral("gz");
    QTest::newRow("hidden name with extension")
        << QStringLiteral(".cover.png") << QStringLiteral("png");
    QTest::newRow("leading dot is no extension") << QStringLiteral(".png") << QString();
    QTest::newRow("trailing dot") << QStringLiteral("photo.") << QString();
    QTest::newRow("no dot") << QStringLiteral("README") << QString();
    QTest::newRow("empty") << QString() << QString();
}

void TestImageTypeRegistry::extension()
{
    QFETCH(QString, fileName);
    QFETCH(QString, expected);
    QCOMPARE(ImageTypeRegistry::extension(fileName).toString(), expected);
}

void TestImageTypeRegistry::isImageFileName_data()
{
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<bool>("expected");
    QTest::newRow("jpg") << QStringLiteral("a.jpg") << true;
    QTest::newRow("JPG upper case") << QStringLiteral("a.JPG") << true;
    QTest::newRow("jpeg mixed case") << QStringLiteral("a.JpEg") << true;
    QTest::newRow("png") << QStringLiteral("a.png") << true;
    QTest::newRow("gif") << QStringLiteral("a.gif") << true;
    QTest::newRow("tiff") << QStringLiteral("a.tiff") << true;
    QTest::newRow("tif") << QStringLiteral("a.tif") << true;
    QTest::newRow("bmp") << QStringLiteral("a.bmp") << true;
    QTest::newRow("webp") << QStringLiteral("a.webp") << true;
    QTest::newRow("heic") << QStringLiteral("a.heic") << true;
    QTest::newRow("avif") << QStringLiteral("a.avif") << true;
    QTest::newRow("svg (inherits text, is an image)") << QStringLiteral("a.svg") << true;
    QTest::newRow("camera raw (inherits image/tiff)") << QStringLiteral("a.cr2") << true;
    QTest::newRow("text") << QStringLiteral("notes.txt") << false;
    QTest::newRow("pdf") << QStringLiteral("doc.pdf") << false;
    QTest::newRow("compressed tar") << QStringLiteral("photos.tar.gz") << false;
    QTest::newRow("unknown extension") << QStringLiteral("a.qqqzz") << false;
    QTest::newRow("no extension") << QStringLiteral("jpg") << false;
    QTest::newRow("trailing dot") << QStringLiteral("a.png.") << false;
    QTest::newRow("image extension before another") << QStringLiteral("a.png.txt") << false;
    QTest::newRow("empty") << QString() << false;
}

void TestImageTypeRegistry::isImageFileName()
{
    QFETCH(QString, fileName);
    QFETCH(bool, expected);
    QCOMPARE(ImageTypeRegistry::isImageFileName(fileName), expected);
    // The second answer comes from the cache and must not differ.
    QCOMPARE(ImageTypeRegistry::isImageFileName(fileName), expected);
}

// The open panel's filter: every pattern names an image, the common formats are offered, and a
// non-image is not.
void TestImageTypeRegistry::namePatternsOfferExactlyTheImages()
{
    const QStringList patterns = ImageTypeRegistry::imageNamePatterns();
    for (const QString& pattern : patterns) {
        QVERIFY2(pattern.startsWith(QLatin1String("*.")), qPrintable(pattern));
        QVERIFY2(ImageTypeRegistry::isImageFileName(QStringLiteral("a") + pattern.mid(1)),
                 qPrintable(pattern));
    }
    for (const char* expected : {"*.jpg", "*.png", "*.heic", "*.svg", "*.webp"}) {
        QVERIFY2(patterns.contains(QLatin1String(expected)), expected);
    }
    QVERIFY(!patterns.contains(QStringLiteral("*.txt")));
}

QTEST_APPLESS_MAIN(TestImageTypeRegistry)
#include "tst_imagetyperegistry.moc"
