#include "AnimatedImage.h"
#include "AvifSequenceReader.h"
#include "AvifSequenceWriter.h"
#include "ImageSource.h"

#include <QColorSpace>
#include <QFile>
#include <QPainter>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>
#include <algorithm>
#include <cstdlib>

namespace {

const QList<QColor> colours = {Qt::red, Qt::green, Qt::blue, Qt::yellow, Qt::magenta, Qt::cyan};

// Frame i: a flat colour (colours[i % 6]) with a gradient band, so the chroma upsampling of the
// two decoders has edges to disagree on; half transparent when `alpha`.
QList<QImage> framesOf(int count, bool alpha)
{
    QList<QImage> frames;
    for (int i = 0; i < count; ++i) {
        QImage frame(64, 48, alpha ? QImage::Format_ARGB32 : QImage::Format_RGB32);
        QColor colour = colours[i % colours.size()];
        if (alpha) {
            colour.setAlpha(160);
        }
        frame.fill(alpha ? Qt::transparent : Qt::black);
        QPainter painter(&frame);
        painter.fillRect(0, 0, 64, 32, colour);
        QLinearGradient band(0, 0, 64, 0);
        band.setColorAt(0, Qt::white);
        band.setColorAt(1, colour);
        painter.fillRect(0, 32, 64, 16, band);
        frames.append(frame);
    }
    return frames;
}

QByteArray contentsOf(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool writeContents(const QString& path, const QByteArray& contents)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(contents) == contents.size();
}

// The largest difference of any channel at any pixel; -1 when the sizes differ.
int maxChannelDifference(const QImage& a, const QImage& b)
{
    if (a.size() != b.size()) {
        return -1;
    }
    const QImage left = a.convertToFormat(QImage::Format_ARGB32);
    const QImage right = b.convertToFormat(QImage::Format_ARGB32);
    int difference = 0;
    for (int y = 0; y < left.height(); ++y) {
        for (int x = 0; x < left.width(); ++x) {
            const QRgb p = left.pixel(x, y);
            const QRgb q = right.pixel(x, y);
            difference =
                std::max({difference, std::abs(qRed(p) - qRed(q)), std::abs(qGreen(p) - qGreen(q)),
                          std::abs(qBlue(p) - qBlue(q)), std::abs(qAlpha(p) - qAlpha(q))});
        }
    }
    return difference;
}

// Frames that play from `animation` until it ends, at most `limit`.
QList<QImage> play(AnimatedImage& animation, int limit)
{
    QList<QImage> frames;
    while (frames.size() < limit) {
        const std::optional<QImage> frame = animation.nextFrame();
        if (!frame) {
            break;
        }
        frames.append(*frame);
    }
    return frames;
}

} // namespace

class TestAvifSequence : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void timelineIsRead_data();
    void timelineIsRead();
    void frameZeroMatchesTheStillDecode_data();
    void frameZeroMatchesTheStillDecode();
    void framesPlayInOrderAndRewindRestarts();
    void truncatedSequencePlaysWhatDecodes_data();
    void truncatedSequencePlaysWhatDecodes();
    void hostileFilesAreRefused_data();
    void hostileFilesAreRefused();

private:
    QString writeSequence(const QString& name, int count, int durationMs, bool alpha = false);

    QTemporaryDir m_dir;
};

QString TestAvifSequence::writeSequence(const QString& name, int count, int durationMs, bool alpha)
{
    const QString path = m_dir.filePath(name);
    const QString error = AvifSequenceWriter::write(framesOf(count, alpha), durationMs, path);
    return error.isEmpty() ? path : QString();
}

void TestAvifSequence::initTestCase()
{
    QVERIFY(m_dir.isValid());
}

void TestAvifSequence::timelineIsRead_data()
{
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("durationMs");
    QTest::addColumn<bool>("alpha");
    QTest::addColumn<bool>("animated");
    QTest::addColumn<QList<int>>("displayed");

    QTest::newRow("three frames of 100 ms")
        << 3 << 100 << false << true << QList<int>{100, 100, 100};
    QTest::newRow("twelve frames of 40 ms") << 12 << 40 << false << true << QList<int>(12, 40);
    QTest::newRow("with alpha") << 4 << 250 << true << true << QList<int>(4, 250);
    QTest::newRow("10 ms plays as 100 ms") << 2 << 10 << false << true << QList<int>{100, 100};
    QTest::newRow("one frame is a still") << 1 << 100 << false << false << QList<int>{0};
}

void TestAvifSequence::timelineIsRead()
{
    QFETCH(int, count);
    QFETCH(int, durationMs);
    QFETCH(bool, alpha);
    QFETCH(bool, animated);
    QFETCH(QList<int>, displayed);

    const QString path = writeSequence(QStringLiteral("timeline.avif"), count, durationMs, alpha);
    QVERIFY(!path.isEmpty());
    const AvifSequenceReader reader(contentsOf(path));
    QCOMPARE(reader.isAnimated(), animated);
    if (animated) {
        QCOMPARE(reader.storedDurations(), QList<int>(count, durationMs));
        QCOMPARE(reader.loopCount(), 0);
    }

    AnimatedImage animation(path);
    QVERIFY(animation.isValid());
    QCOMPARE(animation.isAnimated(), animated);
    QCOMPARE(animation.frameCount(), count);
    QCOMPARE(animation.frameDurations(), displayed);
    QCOMPARE(animation.loopCount(), animated ? 0 : 1);
}

void TestAvifSequence::frameZeroMatchesTheStillDecode_data()
{
    QTest::addColumn<bool>("alpha");

    QTest::newRow("opaque") << false;
    QTest::newRow("alpha") << true;
}

void TestAvifSequence::frameZeroMatchesTheStillDecode()
{
    QFETCH(bool, alpha);

    const QString path = writeSequence(QStringLiteral("still.avif"), 3, 100, alpha);
    QVERIFY(!path.isEmpty());
    AnimatedImage animation(path);
    QVERIFY(animation.isAnimated());
    const std::optional<QImage> frame = animation.nextFrame();
    QVERIFY(frame);
    const QImage still = ImageSource(path).decode();
    QVERIFY(!still.isNull());
    QCOMPARE(frame->format(), still.format());
    QCOMPARE(frame->colorSpace(), still.colorSpace());
    const int difference = maxChannelDifference(*frame, still);
    qInfo("largest channel difference from the still decode: %d", difference);
    QVERIFY(difference >= 0);
    QVERIFY2(difference <= 3, qPrintable(QString::number(difference)));
}

void TestAvifSequence::framesPlayInOrderAndRewindRestarts()
{
    constexpr int count = 6;
    const QString path = writeSequence(QStringLiteral("order.avif"), count, 100);
    QVERIFY(!path.isEmpty());
    AnimatedImage animation(path);
    QVERIFY(animation.isAnimated());
    const QList<QImage> frames = play(animation, count + 1);
    QCOMPARE(frames.size(), count);
    QCOMPARE(animation.nextFrame(), std::nullopt);
    const QList<QImage> drawn = framesOf(count, false);
    for (int i = 0; i < count; ++i) {
        QCOMPARE(frames[i].size(), QSize(64, 48));
        // The flat part of each frame shows that frame's colour.
        QVERIFY2(maxChannelDifference(frames[i].copy(8, 8, 48, 16), drawn[i].copy(8, 8, 48, 16)) <=
                     12,
                 qPrintable(QString::number(i)));
    }

    animation.rewind();
    QCOMPARE(animation.nextFrameIndex(), 0);
    const std::optional<QImage> again = animation.nextFrame();
    QVERIFY(again);
    QCOMPARE(*again, frames.first());
}

void TestAvifSequence::truncatedSequencePlaysWhatDecodes_data()
{
    QTest::addColumn<QByteArray>("cutBefore"); // the box whose start (plus 16 bytes) is kept
    QTest::addColumn<int>("bytesCutFromTheEnd");
    QTest::addColumn<bool>("animated");
    QTest::addColumn<bool>("framesPlay");

    // The last frames' data is missing: the ones before it play.
    QTest::newRow("last bytes cut") << QByteArray() << 40 << true << true;
    // The sample table is whole but no frame's data is there: the still is refused, and an
    // animation is never played in place of a still that is not shown.
    QTest::newRow("frame data cut") << QByteArray("mdat") << 0 << false << false;
    // The sample table itself is cut: no sequence, and no still to show either.
    QTest::newRow("sample table cut") << QByteArray("stbl") << 0 << false << false;
}

void TestAvifSequence::truncatedSequencePlaysWhatDecodes()
{
    QFETCH(QByteArray, cutBefore);
    QFETCH(int, bytesCutFromTheEnd);
    QFETCH(bool, animated);
    QFETCH(bool, framesPlay);

    constexpr int count = 8;
    const QString whole = writeSequence(QStringLiteral("whole.avif"), count, 100);
    QVERIFY(!whole.isEmpty());
    const QByteArray contents = contentsOf(whole);
    const qsizetype kept = cutBefore.isEmpty() ? contents.size() - bytesCutFromTheEnd
                                               : contents.indexOf(cutBefore) + 16;
    QVERIFY(kept > 16 && kept < contents.size());
    const QString path = m_dir.filePath(QStringLiteral("truncated.avif"));
    QVERIFY(writeContents(path, contents.left(kept)));

    AnimatedImage animation(path);
    QCOMPARE(animation.isAnimated(), animated);
    const QList<QImage> frames = play(animation, count + 1);
    // Fewer frames than the whole file, each complete, and the end stays the end.
    QVERIFY(frames.size() < count);
    QCOMPARE(!frames.isEmpty(), framesPlay);
    for (const QImage& frame : frames) {
        QCOMPARE(frame.size(), QSize(64, 48));
    }
    QCOMPARE(animation.nextFrame(), std::nullopt);
    animation.rewind();
    QCOMPARE(play(animation, count + 1).size(), frames.size());
}

void TestAvifSequence::hostileFilesAreRefused_data()
{
    QTest::addColumn<QByteArray>("contents");

    const QString path = writeSequence(QStringLiteral("source.avif"), 3, 100);
    const QByteArray valid = contentsOf(path);
    // A file type box naming the sequence brand, then nothing a box reader can use.
    const QByteArray ftyp =
        QByteArray::fromHex("00000020") + "ftypavis" + QByteArray(4, 0) + "avismsf1iso8mif1";
    QTest::newRow("brand then garbage") << ftyp + QByteArray(4096, char(0xA5));

    // Every box size set to the largest value: boxes that claim to run far past the end.
    QByteArray oversized = valid;
    for (const char* box : {"moov", "trak", "mdia", "minf", "stbl", "mdat"}) {
        const qsizetype at = oversized.indexOf(box);
        if (at >= 4) {
            oversized.replace(at - 4, 4, QByteArray::fromHex("ffffffff"));
        }
    }
    QTest::newRow("boxes past the end") << oversized;

    // Track and image sizes claiming 60000x60000 pixels.
    QByteArray huge = valid;
    for (qsizetype at = huge.indexOf("ispe"); at >= 0; at = huge.indexOf("ispe", at + 1)) {
        huge.replace(at + 8, 8, QByteArray::fromHex("0000ea600000ea60"));
    }
    const qsizetype tkhd = huge.indexOf("tkhd");
    if (tkhd >= 0) {
        // Version 0: width and height (16.16 fixed point) end the box.
        const qsizetype end = tkhd - 4 + qFromBigEndian<quint32>(huge.constData() + tkhd - 4);
        huge.replace(end - 8, 8, QByteArray::fromHex("ea600000ea600000"));
    }
    QTest::newRow("huge dimensions") << huge;
}

void TestAvifSequence::hostileFilesAreRefused()
{
    QFETCH(QByteArray, contents);

    AvifSequenceReader reader(contents);
    QVERIFY(!reader.isAnimated());
    QCOMPARE(reader.frameCount(), 0);
    QCOMPARE(reader.nextFrame(), std::nullopt);

    const QString path = m_dir.filePath(QStringLiteral("hostile.avif"));
    QVERIFY(writeContents(path, contents));
    AnimatedImage animation(path);
    QVERIFY(!animation.isAnimated());
}

QTEST_GUILESS_MAIN(TestAvifSequence)
#include "tst_avifsequence.moc"
