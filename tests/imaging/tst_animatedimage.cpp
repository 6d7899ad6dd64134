#include "AnimatedImage.h"
#include "ImageSource.h"
#include "TestImageFiles.h"

#include <QBuffer>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>
#include <gif_lib.h>
#include <optional>
#ifdef VISTREL_HAVE_WEBPMUX
#include <webp/encode.h>
#include <webp/mux.h>
#endif

using namespace TestImageFiles;

namespace {

const QList<QColor> palette = {Qt::red, Qt::green, Qt::blue, Qt::white};

int appendToBuffer(GifFileType* gif, const GifByteType* bytes, int length)
{
    static_cast<QByteArray*>(gif->UserData)->append(reinterpret_cast<const char*>(bytes), length);
    return length;
}

// A 16x16 GIF whose frame i is palette colour i % 4 and lasts delays[i] hundredths of a second.
// `repeats` is the looping record's count, or none when negative.
QByteArray gifOf(const QList<int>& delays, int repeats)
{
    constexpr int side = 16;
    QByteArray bytes;
    int error = 0;
    GifFileType* gif = EGifOpen(&bytes, appendToBuffer, &error);
    ColorMapObject* map = GifMakeMapObject(4, nullptr);
    for (int i = 0; i < 4; ++i) {
        map->Colors[i] = {GifByteType(palette[i].red()), GifByteType(palette[i].green()),
                          GifByteType(palette[i].blue())};
    }
    EGifSetGifVersion(gif, true);
    EGifPutScreenDesc(gif, side, side, 2, 0, map);
    if (repeats >= 0) {
        const GifByteType loop[3] = {1, GifByteType(repeats & 0xFF), GifByteType(repeats >> 8)};
        EGifPutExtensionLeader(gif, APPLICATION_EXT_FUNC_CODE);
        EGifPutExtensionBlock(gif, 11, "NETSCAPE2.0");
        EGifPutExtensionBlock(gif, 3, loop);
        EGifPutExtensionTrailer(gif);
    }
    for (qsizetype i = 0; i < delays.size(); ++i) {
        GraphicsControlBlock control{DISPOSAL_UNSPECIFIED, false, delays[i], NO_TRANSPARENT_COLOR};
        GifByteType extension[4];
        EGifGCBToExtension(&control, extension);
        EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, 4, extension);
        EGifPutImageDesc(gif, 0, 0, side, side, false, nullptr);
        QByteArray line(side, char(i % 4));
        for (int y = 0; y < side; ++y) {
            EGifPutLine(gif, reinterpret_cast<GifPixelType*>(line.data()), side);
        }
    }
    EGifCloseFile(gif, &error);
    GifFreeMapObject(map);
    return bytes;
}

quint32 crcOf(const QByteArray& bytes)
{
    quint32 crc = 0xFFFFFFFFu;
    for (const char byte : bytes) {
        crc ^= quint8(byte);
        for (int k = 0; k < 8; ++k) {
            crc = (crc & 1) != 0 ? 0xEDB88320u ^ (crc >> 1) : crc >> 1;
        }
    }
    return crc ^ 0xFFFFFFFFu;
}

QByteArray bigEndian(quint32 value, int bytes = 4)
{
    char buffer[4];
    qToBigEndian(value, buffer);
    return QByteArray(buffer + 4 - bytes, bytes);
}

void appendChunk(QByteArray& png, const char* type, const QByteArray& data)
{
    const QByteArray typed = QByteArray(type) + data;
    png += bigEndian(quint32(data.size())) + typed + bigEndian(crcOf(typed));
}

struct ApngFrame
{
    QRect rect;
    QColor colour;
    int delayNumerator = 1;
    int delayDenominator = 10;
    int dispose = 0; // none, background, previous
    int blend = 0;   // source, over
};

// An RGBA APNG on a canvas of `size`; frame 0 is the default image, each frame one colour.
QByteArray apngOf(QSize size, const QList<ApngFrame>& frames, int plays)
{
    QByteArray png("\x89PNG\r\n\x1a\n", 8);
    appendChunk(png, "IHDR",
                bigEndian(size.width()) + bigEndian(size.height()) +
                    QByteArray("\x08\x06\0\0\0", 5));
    appendChunk(png, "acTL", bigEndian(quint32(frames.size())) + bigEndian(quint32(plays)));
    quint32 sequence = 0;
    for (qsizetype i = 0; i < frames.size(); ++i) {
        const ApngFrame& frame = frames[i];
        const QColor c = frame.colour;
        QByteArray rows;
        for (int y = 0; y < frame.rect.height(); ++y) {
            rows += '\0';
            for (int x = 0; x < frame.rect.width(); ++x) {
                rows += char(c.red()) + QByteArray(1, char(c.green())) + char(c.blue()) +
                        char(c.alpha());
            }
        }
        const QByteArray compressed = qCompress(rows).mid(4); // without Qt's length prefix
        appendChunk(png, "fcTL",
                    bigEndian(sequence++) + bigEndian(frame.rect.width()) +
                        bigEndian(frame.rect.height()) + bigEndian(frame.rect.x()) +
                        bigEndian(frame.rect.y()) + bigEndian(frame.delayNumerator, 2) +
                        bigEndian(frame.delayDenominator, 2) + char(frame.dispose) +
                        char(frame.blend));
        if (i == 0) {
            appendChunk(png, "IDAT", compressed);
        } else {
            appendChunk(png, "fdAT", bigEndian(sequence++) + compressed);
        }
    }
    appendChunk(png, "IEND", {});
    return png;
}

#ifdef VISTREL_HAVE_WEBPMUX
// A lossless animated 16x16 WebP, frame i in palette colour i % 4 lasting durations[i] ms.
QByteArray webpOf(const QList<int>& durations, int loops)
{
    WebPAnimEncoderOptions options;
    WebPAnimEncoderOptionsInit(&options);
    options.anim_params.loop_count = loops;
    WebPAnimEncoder* encoder = WebPAnimEncoderNew(16, 16, &options);
    WebPConfig config;
    WebPConfigInit(&config);
    config.lossless = 1;
    int timestamp = 0;
    for (qsizetype i = 0; i < durations.size(); ++i) {
        QImage image(16, 16, QImage::Format_RGBA8888);
        image.fill(palette[i % 4]);
        WebPPicture picture;
        WebPPictureInit(&picture);
        picture.use_argb = 1;
        picture.width = 16;
        picture.height = 16;
        WebPPictureImportRGBA(&picture, image.constBits(), int(image.bytesPerLine()));
        WebPAnimEncoderAdd(encoder, &picture, timestamp, &config);
        WebPPictureFree(&picture);
        timestamp += durations[i];
    }
    WebPAnimEncoderAdd(encoder, nullptr, timestamp, nullptr);
    WebPData data;
    WebPDataInit(&data);
    WebPAnimEncoderAssemble(encoder, &data);
    const QByteArray bytes(reinterpret_cast<const char*>(data.bytes), qsizetype(data.size));
    WebPDataClear(&data);
    WebPAnimEncoderDelete(encoder);
    return bytes;
}
#endif

QByteArray stillPng()
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    quadrants(QSize(8, 8)).save(&buffer, "png");
    return bytes;
}

} // namespace

class TestAnimatedImage : public QObject
{
    Q_OBJECT

private slots:
    void timeline_data();
    void timeline();
    void apngComposition_data();
    void apngComposition();

private:
    QTemporaryDir m_folder;
};

void TestAnimatedImage::timeline_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<bool>("animated");
    QTest::addColumn<int>("loops");
    QTest::addColumn<QList<int>>("durations");

    const QByteArray threeFrames = gifOf({5, 5, 5}, 0);
    const QRect full(0, 0, 8, 8);
    QTest::newRow("gif short delays")
        << gifOf({0, 1, 5, 20}, 0) << true << true << 0 << QList<int>{100, 100, 50, 200};
    QTest::newRow("gif repeated 3 times")
        << gifOf({5, 5}, 3) << true << true << 4 << QList<int>{50, 50};
    QTest::newRow("gif without loop record")
        << gifOf({5, 5}, -1) << true << true << 1 << QList<int>{50, 50};
    QTest::newRow("gif truncated in frame 3")
        << threeFrames.left(threeFrames.size() - 5) << true << true << 0 << QList<int>{50, 50};
    QTest::newRow("gif single frame") << gifOf({5}, 0) << true << false << 1 << QList<int>{0};
    QTest::newRow("apng") << apngOf({8, 8},
                                    {{full, Qt::red, 0, 1},
                                     {full, Qt::green, 1, 10},
                                     {full, Qt::blue, 5, 100},
                                     {full, Qt::white, 3, 0}},
                                    2)
                          << true << true << 2 << QList<int>{100, 100, 50, 30};
    QTest::newRow("apng frame outside canvas skipped")
        << apngOf({8, 8},
                  {{full, Qt::red}, {QRect(4, 4, 8, 8), Qt::green}, {full, Qt::blue, 2, 10}}, 0)
        << true << true << 0 << QList<int>{100, 200};
    QTest::newRow("png still") << stillPng() << true << false << 1 << QList<int>{0};
    QTest::newRow("not an image") << QByteArray("plain text, no image") << false << false << 1
                                  << QList<int>{};
#ifdef VISTREL_HAVE_WEBPMUX
    QTest::newRow("webp") << webpOf({10, 50, 200}, 3) << true << true << 3
                          << QList<int>{100, 50, 200};
    QTest::newRow("webp forever") << webpOf({30, 40}, 0) << true << true << 0 << QList<int>{30, 40};
#endif
}

void TestAnimatedImage::timeline()
{
    QFETCH(QByteArray, bytes);
    QFETCH(bool, valid);
    QFETCH(bool, animated);
    QFETCH(int, loops);
    QFETCH(QList<int>, durations);

    const QString path = m_folder.filePath(QString::fromLatin1(QTest::currentDataTag()));
    QVERIFY(writeBytes(path, bytes));
    AnimatedImage image(path);
    QCOMPARE(image.isValid(), valid);
    QCOMPARE(image.isAnimated(), animated);
    QCOMPARE(image.frameCount(), durations.size());
    QCOMPARE(image.loopCount(), loops);
    QCOMPARE(image.frameDurations(), durations);
    if (!valid) {
        QVERIFY(!image.nextFrame());
        return;
    }

    // Every frame decodes in order, then the sequence ends; frame 0 is the still decode.
    for (int pass = 0; pass < 2; ++pass) {
        const QImage still = ImageSource(path).decode().convertToFormat(QImage::Format_ARGB32);
        const std::optional<QImage> first = image.nextFrame();
        QVERIFY(first);
        QCOMPARE(first->convertToFormat(QImage::Format_ARGB32), still);
        for (int i = 1; i < durations.size(); ++i) {
            QVERIFY2(image.nextFrame(), qPrintable(QString::number(i)));
        }
        QVERIFY(!image.nextFrame());
        QCOMPARE(image.nextFrameIndex(), durations.size());
        image.rewind();
    }
}

void TestAnimatedImage::apngComposition_data()
{
    QTest::addColumn<int>("dispose");
    QTest::addColumn<QColor>("uncovered");

    QTest::newRow("none keeps the frame") << 0 << QColor(Qt::green);
    QTest::newRow("background clears it") << 1 << QColor(Qt::transparent);
    QTest::newRow("previous restores the canvas") << 2 << QColor(Qt::red);
}

// Frame 1 covers the middle, is disposed as asked, then frame 2 blends half-transparent blue
// over the top-left corner only.
void TestAnimatedImage::apngComposition()
{
    QFETCH(int, dispose);
    QFETCH(QColor, uncovered);

    const QString path = m_folder.filePath(QStringLiteral("composed.png"));
    QVERIFY(writeBytes(path, apngOf({8, 8},
                                    {{QRect(0, 0, 8, 8), Qt::red},
                                     {QRect(2, 2, 4, 4), Qt::green, 1, 10, dispose},
                                     {QRect(0, 0, 1, 1), QColor(0, 0, 255, 128), 1, 10, 0, 1}},
                                    0)));
    AnimatedImage image(path);
    QCOMPARE(image.frameCount(), 3);
    QCOMPARE(image.nextFrame()->pixelColor(3, 3), QColor(Qt::red));
    QCOMPARE(image.nextFrame()->pixelColor(3, 3), QColor(Qt::green));
    const QImage last = *image.nextFrame();
    QCOMPARE(last.pixelColor(3, 3), uncovered);
    QCOMPARE(last.pixelColor(7, 7), QColor(Qt::red));
    // Half blue over opaque red.
    QVERIFY(isNear(last.pixelColor(0, 0), QColor(127, 0, 128), 2));
    QCOMPARE(last.pixelColor(0, 0).alpha(), 255);
}

QTEST_GUILESS_MAIN(TestAnimatedImage)
#include "tst_animatedimage.moc"
