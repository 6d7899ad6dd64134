#include "AnimatedImage.h"
#include "AnimationPlayer.h"
#include "ImageSource.h"
#include "TestImageFiles.h"

#include <QBuffer>
#include <QRandomGenerator>
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
    void playback_data();
    void playback();
    void decodesOnlyAFewFramesAhead();
    void pauseAndSuspension();
    void stopAbandonsTheFile();
    void oversizedCanvasesAreNotAnimated();
    void damagedAnimationsEndCleanly_data();
    void damagedAnimationsEndCleanly();

private:
    // Starts `player` on `bytes` written to a file; the indexes of the frames it hands out
    // (-1 for a return to frame 0) are appended to `shown`.
    void startPlaying(AnimationPlayer& player, const QByteArray& bytes, QList<int>& shown);

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
        << threeFrames.left(threeFrames.size() - 5) << true << true << 1 << QList<int>{50, 50};
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

void TestAnimatedImage::startPlaying(AnimationPlayer& player, const QByteArray& bytes,
                                     QList<int>& shown)
{
    static int fileNumber = 0;
    const QString path = m_folder.filePath(QStringLiteral("played%1").arg(++fileNumber));
    QVERIFY(writeBytes(path, bytes));
    player.onFrameChanged = [&player, &shown](const QImage& frame) {
        shown.append(frame.isNull() ? -1 : player.currentFrameIndex());
        // Each test frame is one palette colour.
        if (!frame.isNull()) {
            QCOMPARE(frame.pixelColor(0, 0), palette[player.currentFrameIndex() % 4]);
        }
    };
    player.start(path, ImageSource(path).decode().size());
}

void TestAnimatedImage::playback_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QList<int>>("expected");

    // Frame 0 of the first play is the owner's; every later one is handed out.
    QTest::newRow("gif played twice") << gifOf({2, 2, 2}, 1) << QList<int>{1, 2, 0, 1, 2};
    QTest::newRow("gif played once") << gifOf({2, 2}, -1) << QList<int>{1};
    // Cut inside frame 2: a file that loops forever plays its whole frames once.
    QTest::newRow("gif truncated in frame 3")
        << gifOf({2, 2, 2, 2}, 0).left(gifOf({2, 2}, 0).size() + 12) << QList<int>{1};
    QTest::newRow("apng played twice")
        << apngOf({8, 8},
                  {{QRect(0, 0, 8, 8), Qt::red, 2, 100}, {QRect(0, 0, 8, 8), Qt::green, 2, 100}}, 2)
        << QList<int>{1, 0, 1};
    QTest::newRow("still") << stillPng() << QList<int>{};
}

// The frames come in order, loop as often as the file says, and playback ends on the last one.
void TestAnimatedImage::playback()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QList<int>, expected);

    AnimationPlayer player;
    QList<int> shown;
    bool ended = false;
    player.onStateChanged = [&] { ended = ended || player.hasEnded(); };
    startPlaying(player, bytes, shown);
    if (expected.isEmpty()) {
        QTRY_VERIFY(!player.isAnimated() && player.framesAhead() == 0);
        QTest::qWait(60);
        QVERIFY(shown.isEmpty());
        return;
    }
    QTRY_VERIFY(ended);
    QCOMPARE(shown, expected);
    QCOMPARE(player.currentFrameIndex(), expected.back());
}

// A long animation never has more than the bounded number of frames decoded ahead.
void TestAnimatedImage::decodesOnlyAFewFramesAhead()
{
    AnimationPlayer player;
    QList<int> shown;
    startPlaying(player, gifOf(QList<int>(2000, 5), 0), shown);
    player.setPaused(true);
    QTRY_COMPARE(player.frameCount(), 2000);
    QTRY_COMPARE(player.framesAhead(), AnimationPlayer::maximumFramesAhead);
    QTest::qWait(100);
    QCOMPARE(player.framesAhead(), AnimationPlayer::maximumFramesAhead);
    QVERIFY(shown.isEmpty());
    // Frames of 64 MiB and more are decoded one at a time.
    QCOMPARE(AnimationPlayer::framesAheadLimit(AnimationPlayer::framesAheadBudgetBytes), 1);
    QCOMPARE(AnimationPlayer::framesAheadLimit(AnimationPlayer::framesAheadBudgetBytes / 2), 2);
}

void TestAnimatedImage::pauseAndSuspension()
{
    AnimationPlayer player;
    QList<int> shown;
    startPlaying(player, gifOf({2, 2, 2, 2}, 0), shown);
    QTRY_VERIFY(shown.size() >= 2);

    player.setPaused(true);
    const QList<int> atPause = shown;
    QTest::qWait(80);
    QCOMPARE(shown, atPause);
    QCOMPARE(player.currentFrameIndex(), atPause.back());

    // Suspended, frame 0 is shown again and nothing is decoded.
    player.setPaused(false);
    player.setSuspended(true);
    QCOMPARE(shown.back(), -1);
    QCOMPARE(player.currentFrameIndex(), 0);
    const qsizetype atSuspension = shown.size();
    QTest::qWait(80);
    QCOMPARE(shown.size(), atSuspension);
    QCOMPARE(player.framesAhead(), 0);

    // Resumed, it plays again from frame 0.
    player.setSuspended(false);
    QTRY_VERIFY(shown.size() >= atSuspension + 2);
    QCOMPARE(shown.mid(atSuspension, 2), (QList<int>{1, 2}));
}

void TestAnimatedImage::stopAbandonsTheFile()
{
    AnimationPlayer player;
    QList<int> shown;
    startPlaying(player, gifOf({2, 2, 2}, 0), shown);
    QTRY_VERIFY(!shown.isEmpty());
    player.stop();
    QVERIFY(!player.isAnimated());
    QCOMPARE(player.framesAhead(), 0);
    const QList<int> atStop = shown;
    QTest::qWait(80);
    QCOMPARE(shown, atStop);
}

// A canvas larger than an animation may compose is refused before any frame is decoded.
void TestAnimatedImage::oversizedCanvasesAreNotAnimated()
{
    QByteArray gif = gifOf({5, 5}, 0);
    const QString path = m_folder.filePath(QStringLiteral("wide.gif"));
    QVERIFY(writeBytes(path, gif));
    QVERIFY(AnimatedImage(path).isAnimated());
    // 20000 x 20000 pixels would take 1.6 GB per copy.
    gif.replace(6, 4, QByteArray::fromHex("204e204e"));
    QVERIFY(writeBytes(path, gif));
    QVERIFY(!AnimatedImage(path).isAnimated());
}

void TestAnimatedImage::damagedAnimationsEndCleanly_data()
{
    QTest::addColumn<QByteArray>("bytes");

    const QRect whole(0, 0, 8, 8);
    QList<QPair<const char*, QByteArray>> sources = {
        {"gif", gifOf({3, 0, 7, 2, 5, 1, 4, 6}, 0)},
        {"apng", apngOf({8, 8},
                        {{whole, Qt::red},
                         {QRect(2, 2, 4, 4), Qt::green, 1, 10, 1, 1},
                         {QRect(0, 0, 1, 8), Qt::blue, 0, 0, 2},
                         {whole, QColor(0, 0, 0, 100), 1, 10, 0, 1}},
                        0)},
    };
#ifdef VISTREL_HAVE_WEBPMUX
    sources.append({"webp", webpOf({10, 20, 30, 40, 50}, 0)});
#endif
    QRandomGenerator random(20261209);
    for (const auto& [name, bytes] : sources) {
        for (int percent = 5; percent < 100; percent += 10) {
            QTest::addRow("%s cut at %d %%", name, percent)
                << bytes.left(bytes.size() * percent / 100);
        }
        for (int round = 0; round < 24; ++round) {
            QByteArray damaged = bytes;
            for (int flip = 0; flip < 1 + round % 4; ++flip) {
                damaged[random.bounded(int(damaged.size()))] = char(random.bounded(256));
            }
            QTest::addRow("%s with bytes changed, round %d", name, round) << damaged;
        }
    }
    // An animation control claiming two billion frames over two real ones, a frame larger than
    // the canvas, and a frame placed outside it.
    QByteArray claiming = apngOf({8, 8}, {{whole, Qt::red}, {whole, Qt::green}}, 0);
    const qsizetype control = claiming.indexOf("acTL") + 4;
    claiming.replace(control, 4, QByteArray("\x7f\xff\xff\xff", 4));
    QTest::newRow("apng claiming 2^31 frames") << claiming;
    QTest::newRow("apng frame larger than the canvas")
        << apngOf({8, 8}, {{whole, Qt::red}, {QRect(0, 0, 12, 12), Qt::green}}, 0);
    QTest::newRow("apng frame outside the canvas")
        << apngOf({8, 8}, {{whole, Qt::red}, {QRect(-4, 20, 4, 4), Qt::green}}, 0);
}

// Whatever is left of a damaged animation decodes frame by frame to a clean end, twice, with
// every frame the canvas's size; none of it crashes or loops.
void TestAnimatedImage::damagedAnimationsEndCleanly()
{
    QFETCH(QByteArray, bytes);
    const QString path = m_folder.filePath(QStringLiteral("damaged"));
    QVERIFY(writeBytes(path, bytes));
    AnimatedImage image(path);
    QVERIFY(image.frameCount() <= bytes.size());
    QCOMPARE(image.frameDurations().size(), image.frameCount());
    for (int pass = 0; pass < 2; ++pass) {
        std::optional<QSize> canvas;
        int decoded = 0;
        while (const std::optional<QImage> frame = image.nextFrame()) {
            QVERIFY(!frame->isNull());
            QCOMPARE(frame->size(), canvas.value_or(frame->size()));
            canvas = frame->size();
            QVERIFY(++decoded <= image.frameCount());
        }
        image.rewind();
    }
}

QTEST_GUILESS_MAIN(TestAnimatedImage)
#include "tst_animatedimage.moc"
