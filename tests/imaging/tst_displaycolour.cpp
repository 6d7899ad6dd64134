#include "DisplayColour.h"
#include "ImageSource.h"
#include "TestImageFiles.h"

#include <QBuffer>
#include <QColorSpace>
#include <QImageWriter>
#include <QTemporaryDir>
#include <QTest>
#include <array>

using namespace TestImageFiles;

namespace {

// Qt's conversion is the reference; the fast one may differ by rounding.
constexpr int tolerance = 2;

// Every combination of 16 levels per channel, one colour per pixel, repeated to fill `size`;
// with `alpha`, the opacities 255, 170, 64 and 0 cycle along each row.
QImage colourCube(QSize size, bool alpha)
{
    QImage image(size, QImage::Format_ARGB32);
    for (int y = 0; y < size.height(); ++y) {
        for (int x = 0; x < size.width(); ++x) {
            const int index = (y * size.width() + x) % 4096;
            const int level[] = {index % 16 * 17, index / 16 % 16 * 17, index / 256 * 17};
            const int opacity = alpha ? std::array{255, 170, 64, 0}[x % 4] : 255;
            image.setPixel(x, y, qRgba(level[0], level[1], level[2], opacity));
        }
    }
    return image;
}

// The largest difference in any channel, alpha included, comparing stored (premultiplied
// where the format is) values.
int largestDifference(const QImage& actual, const QImage& expected)
{
    const QImage::Format common =
        actual.hasAlphaChannel() ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32;
    const QImage a = actual.convertToFormat(common);
    const QImage b = expected.convertToFormat(common);
    int largest = 0;
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y);
            const QRgb q = b.pixel(x, y);
            largest =
                std::max({largest, std::abs(qRed(p) - qRed(q)), std::abs(qGreen(p) - qGreen(q)),
                          std::abs(qBlue(p) - qBlue(q)), std::abs(qAlpha(p) - qAlpha(q))});
        }
    }
    return largest;
}

// `jpeg` with an ICC profile segment (APP2) holding `profile` right after its start marker.
QByteArray withIccSegment(const QByteArray& jpeg, const QByteArray& profile)
{
    QByteArray segment("\xFF\xE2", 2);
    const int length = 2 + 12 + 2 + int(profile.size());
    segment.append(char(length >> 8)).append(char(length & 0xFF));
    segment.append(QByteArray("ICC_PROFILE\0", 12)).append(char(1)).append(char(1));
    segment.append(profile);
    return QByteArray(jpeg).insert(2, segment);
}

QByteArray encoded(const QImage& image, const char* format)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, format);
    writer.setQuality(95);
    return writer.write(image) ? bytes : QByteArray();
}

} // namespace

class TestDisplayColour : public QObject
{
    Q_OBJECT

private slots:
    void bitmapsShowInSRgb_data();
    void bitmapsShowInSRgb();
    void decodedFilesShowInSRgb_data();
    void decodedFilesShowInSRgb();

private:
    QTemporaryDir m_dir;
};

void TestDisplayColour::bitmapsShowInSRgb_data()
{
    QTest::addColumn<QImage::Format>("format");
    QTest::addColumn<QColorSpace>("colourSpace");
    QTest::addColumn<bool>("converts");
    QTest::addColumn<QSize>("size");

    const QColorSpace adobe(QColorSpace::AdobeRgb);
    const QColorSpace p3(QColorSpace::DisplayP3);
    const QColorSpace proPhoto(QColorSpace::ProPhotoRgb);
    QTest::newRow("no colour space")
        << QImage::Format_RGB32 << QColorSpace() << false << QSize(64, 64);
    QTest::newRow("sRGB") << QImage::Format_RGB32 << QColorSpace(QColorSpace::SRgb) << false
                          << QSize(64, 64);
    QTest::newRow("Adobe RGB") << QImage::Format_RGB32 << adobe << true << QSize(64, 64);
    QTest::newRow("Display P3") << QImage::Format_RGB32 << p3 << true << QSize(64, 64);
    QTest::newRow("ProPhoto RGB") << QImage::Format_RGB32 << proPhoto << true << QSize(64, 64);
    QTest::newRow("straight alpha") << QImage::Format_ARGB32 << adobe << true << QSize(64, 64);
    QTest::newRow("premultiplied alpha")
        << QImage::Format_ARGB32_Premultiplied << adobe << true << QSize(64, 64);
    QTest::newRow("byte-ordered premultiplied alpha")
        << QImage::Format_RGBA8888_Premultiplied << p3 << true << QSize(64, 64);
    QTest::newRow("three bytes a pixel") << QImage::Format_RGB888 << adobe << true << QSize(64, 64);
    QTest::newRow("grey") << QImage::Format_Grayscale8 << adobe << true << QSize(64, 64);
    QTest::newRow("16 bits a channel") << QImage::Format_RGBA64 << adobe << true << QSize(64, 64);
    QTest::newRow("premultiplied alpha without a colour space")
        << QImage::Format_ARGB32_Premultiplied << QColorSpace() << false << QSize(64, 64);
    // Large enough to be converted in bands on several threads.
    QTest::newRow("large") << QImage::Format_RGB32 << adobe << true << QSize(2048, 1100);
}

void TestDisplayColour::bitmapsShowInSRgb()
{
    QFETCH(QImage::Format, format);
    QFETCH(QColorSpace, colourSpace);
    QFETCH(bool, converts);
    QFETCH(QSize, size);

    QImage original =
        colourCube(size, QImage::toPixelFormat(format).alphaUsage() == QPixelFormat::UsesAlpha)
            .convertToFormat(format);
    original.setColorSpace(colourSpace);
    QImage image = original;
    DisplayColour::convertToSRgb(image);
    QCOMPARE(image.format(), format);
    if (!converts) {
        QCOMPARE(image, original);
        return;
    }
    QCOMPARE(image.colorSpace(), QColorSpace(QColorSpace::SRgb));
    QVERIFY(image != original);
    const QImage reference =
        original.convertToFormat(QImage::Format_RGBA64).convertedToColorSpace(QColorSpace::SRgb);
    QVERIFY(largestDifference(image, reference) <= tolerance);

    // A second conversion changes nothing.
    const QImage once = image.copy();
    DisplayColour::convertToSRgb(image);
    QCOMPARE(image, once);
}

void TestDisplayColour::decodedFilesShowInSRgb_data()
{
    QTest::addColumn<QByteArray>("contents");
    QTest::addColumn<bool>("converts");

    // A saturated green and a muted orange, side by side.
    QImage picture(32, 16, QImage::Format_RGB32);
    picture.fill(qRgb(40, 220, 60));
    for (int y = 0; y < 16; ++y) {
        for (int x = 16; x < 32; ++x) {
            picture.setPixel(x, y, qRgb(200, 120, 70));
        }
    }
    const QByteArray plainJpeg = encoded(picture, "jpeg");
    QImage adobe = picture;
    adobe.setColorSpace(QColorSpace::AdobeRgb);
    const QByteArray adobeProfile = QColorSpace(QColorSpace::AdobeRgb).iccProfile();

    QTest::newRow("Adobe RGB JPEG") << encoded(adobe, "jpeg") << true;
    QTest::newRow("Adobe RGB PNG") << encoded(adobe, "png") << true;
    QTest::newRow("JPEG with a garbage profile")
        << withIccSegment(plainJpeg, QByteArray(300, '\x5A')) << false;
    QTest::newRow("JPEG with a truncated profile")
        << withIccSegment(plainJpeg, adobeProfile.left(adobeProfile.size() / 2)) << false;
}

void TestDisplayColour::decodedFilesShowInSRgb()
{
    QFETCH(QByteArray, contents);
    QFETCH(bool, converts);

    const QString path = m_dir.filePath(QString::fromLatin1(QTest::currentDataTag()));
    QVERIFY(writeBytes(path, contents));
    const QImage decoded = ImageSource(path).decode();
    QVERIFY(!decoded.isNull());
    QImage shown = decoded;
    DisplayColour::convertToSRgb(shown);
    if (!converts) {
        QVERIFY(!decoded.colorSpace().isValid());
        QCOMPARE(shown, decoded);
        return;
    }
    QCOMPARE(decoded.colorSpace(), QColorSpace(QColorSpace::AdobeRgb));
    // The profile stays readable after the decoder's own buffers are gone: a copy that is
    // written keeps it.
    QCOMPARE(decoded.colorSpace().iccProfile(), QColorSpace(QColorSpace::AdobeRgb).iccProfile());
    QCOMPARE(shown.colorSpace(), QColorSpace(QColorSpace::SRgb));
    QVERIFY(largestDifference(shown, decoded.convertedToColorSpace(QColorSpace::SRgb)) <=
            tolerance);
    // In sRGB numbers the green needs less red (it lies outside sRGB and is clipped) and the
    // orange more.
    QVERIFY(qRed(shown.pixel(4, 4)) < qRed(decoded.pixel(4, 4)) - 30);
    QVERIFY(qRed(shown.pixel(24, 4)) > qRed(decoded.pixel(24, 4)) + 15);
}

QTEST_GUILESS_MAIN(TestDisplayColour)
#include "tst_displaycolour.moc"
