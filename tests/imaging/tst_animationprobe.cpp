#include "AnimationProbe.h"
#include "TestImageFiles.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>
#include <sys/stat.h>

namespace {

// A GIF of `frames` 1x1 images (two-colour palette, one pixel each), with a comment extension
// before the first image so the walk has an extension to skip.
QByteArray gifOf(int frames)
{
    QByteArray gif("GIF89a");
    gif += QByteArray::fromHex("01000100"
                               "80"
                               "0000"
                               "000000"
                               "ffffff");
    gif += QByteArray::fromHex("21fe"
                               "03"
                               "616263"
                               "00");
    for (int i = 0; i < frames; ++i) {
        gif += QByteArray::fromHex("21f904"
                                   "000a0000"
                                   "00");
        gif += QByteArray::fromHex("2c"
                                   "0000"
                                   "0000"
                                   "0100"
                                   "0100"
                                   "00");
        gif += QByteArray::fromHex("02"
                                   "024401"
                                   "00");
    }
    return gif + QByteArray::fromHex("3b");
}

QByteArray littleEndian32(quint32 value)
{
    QByteArray bytes(4, Qt::Uninitialized);
    qToLittleEndian(value, bytes.data());
    return bytes;
}

QByteArray bigEndian32(quint32 value)
{
    QByteArray bytes(4, Qt::Uninitialized);
    qToBigEndian(value, bytes.data());
    return bytes;
}

QByteArray riffChunk(const QByteArray& type, const QByteArray& data)
{
    return type + littleEndian32(quint32(data.size())) + data +
           (data.size() % 2 ? QByteArray(1, '\0') : QByteArray());
}

// An extended WebP with the given VP8X flags and `frames` ANMF chunks (placeholder payloads:
// the structure is all that is looked at).
QByteArray webpOf(quint8 flags, int frames)
{
    QByteArray body("WEBP");
    body += riffChunk("VP8X", QByteArray(1, char(flags)) + QByteArray(9, '\0'));
    if (flags & 0x02) {
        body += riffChunk("ANIM", QByteArray(6, '\0'));
    }
    for (int i = 0; i < frames; ++i) {
        body += riffChunk("ANMF", QByteArray(17, '\x11'));
    }
    return "RIFF" + littleEndian32(quint32(body.size())) + body;
}

QByteArray stillPng()
{
    QImage image(8, 8, QImage::Format_RGB32);
    image.fill(Qt::red);
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "png");
    return png;
}

// A real PNG with an acTL chunk announcing `frames` frames, after IHDR or after the first IDAT.
QByteArray pngWithAnimationControl(quint32 frames, bool afterImageData)
{
    const QByteArray png = stillPng();
    // Signature and the whole IHDR chunk (13 bytes of data).
    const qsizetype headerEnd = 8 + 12 + 13;
    qsizetype imageDataEnd = headerEnd;
    for (bool seenImageData = false; !seenImageData;) {
        seenImageData = png.mid(imageDataEnd + 4, 4) == "IDAT";
        imageDataEnd += 12 + qFromBigEndian<quint32>(png.constData() + imageDataEnd);
    }
    const QByteArray data = bigEndian32(frames) + bigEndian32(0);
    // The CRC is not checked by the probe; a zero one keeps the builder short.
    const QByteArray chunk = bigEndian32(8) + "acTL" + data + bigEndian32(0);
    const qsizetype at = afterImageData ? imageDataEnd : headerEnd;
    return png.left(at) + chunk + png.mid(at);
}

QByteArray ftypOf(const QByteArray& major, const QList<QByteArray>& compatible)
{
    QByteArray body = major + bigEndian32(0);
    for (const QByteArray& brand : compatible) {
        body += brand;
    }
    return bigEndian32(quint32(body.size() + 8)) + "ftyp" + body +
           QByteArray::fromHex("0000000c"
                               "6d657461"
                               "00000000");
}

} // namespace

class TestAnimationProbe : public QObject
{
    Q_OBJECT

private slots:
    void probe_data();
    void probe();
    void fileKinds_data();
    void fileKinds();
    void animatableNames_data();
    void animatableNames();
};

void TestAnimationProbe::probe_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("animated");
    const QByteArray animatedGif = gifOf(2);
    QTest::newRow("gif animated") << "a.gif" << animatedGif << true;
    QTest::newRow("gif still") << "a.gif" << gifOf(1) << false;
    QTest::newRow("gif cut before the second image")
        << "a.gif" << animatedGif.left(animatedGif.size() - 20) << false;
    QTest::newRow("gif cut inside the colour table") << "a.gif" << animatedGif.left(16) << false;
    QTest::newRow("webp animated") << "a.webp" << webpOf(0x02, 3) << true;
    QTest::newRow("webp flag and one frame") << "a.webp" << webpOf(0x02, 1) << false;
    QTest::newRow("webp extended still") << "a.webp" << webpOf(0x10, 0) << false;
    QTest::newRow("webp cut after the first frame")
        << "a.webp" << webpOf(0x02, 2).chopped(10) << false;
    QTest::newRow("png animated") << "a.png" << pngWithAnimationControl(3, false) << true;
    QTest::newRow("png one frame") << "a.png" << pngWithAnimationControl(1, false) << false;
    QTest::newRow("png control after the image data")
        << "a.png" << pngWithAnimationControl(3, true) << false;
    QTest::newRow("png still") << "a.png" << stillPng() << false;
    QTest::newRow("png cut in the control chunk")
        << "a.png" << pngWithAnimationControl(3, false).left(8 + 25 + 10) << false;
    QTest::newRow("avif sequence") << "a.avif" << ftypOf("avis", {"avif", "mif1"}) << true;
    QTest::newRow("avif sequence as compatible brand")
        << "a.avif" << ftypOf("avif", {"mif1", "avis", "msf1"}) << true;
    QTest::newRow("avif still") << "a.avif" << ftypOf("avif", {"avif", "mif1", "miaf"}) << false;
    QTest::newRow("avif cut in the type box")
        << "a.avif" << ftypOf("avif", {"mif1", "avis"}).left(20) << false;
    QTest::newRow("animated gif named png") << "a.png" << animatedGif << true;
    QTest::newRow("garbage") << "a.gif" << QByteArray(4096, '\xA5') << false;
    QTest::newRow("gif header then garbage")
        << "a.gif" << QByteArray("GIF89a") + QByteArray(64, '\x2C') << false;
    QTest::newRow("empty") << "a.webp" << QByteArray() << false;
}

void TestAnimationProbe::probe()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, bytes);
    QFETCH(bool, animated);
    QTemporaryDir folder;
    const QString path = folder.filePath(name);
    QVERIFY(TestImageFiles::writeBytes(path, bytes));
    QCOMPARE(AnimationProbe::isAnimated(path), animated);
}

void TestAnimationProbe::fileKinds_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<bool>("animated");
    // What the file is, besides its bytes: no file at all, a folder, a FIFO with no writer
    // (which must not block), and a symbolic link to an animated GIF.
    QTest::newRow("missing") << "missing" << false;
    QTest::newRow("folder") << "folder" << false;
    QTest::newRow("fifo") << "fifo" << false;
    QTest::newRow("link to an animated gif") << "link" << true;
}

void TestAnimationProbe::fileKinds()
{
    QFETCH(QString, kind);
    QFETCH(bool, animated);
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("probe.gif"));
    if (kind == "folder") {
        QVERIFY(QDir(folder.path()).mkdir(QStringLiteral("probe.gif")));
    } else if (kind == "fifo") {
        QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    } else if (kind == "link") {
        const QString target = folder.filePath(QStringLiteral("target.gif"));
        QVERIFY(TestImageFiles::writeBytes(target, gifOf(2)));
        QVERIFY(QFile::link(target, path));
    }
    QCOMPARE(AnimationProbe::isAnimated(path), animated);
}

void TestAnimationProbe::animatableNames_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("animatable");
    QTest::newRow("gif") << "/a/b.gif" << true;
    QTest::newRow("upper case") << "B.GIF" << true;
    QTest::newRow("webp") << "b.webp" << true;
    QTest::newRow("png") << "b.png" << true;
    QTest::newRow("apng") << "b.apng" << true;
    QTest::newRow("avif") << "b.avif" << true;
    QTest::newRow("jpeg") << "b.jpg" << false;
    QTest::newRow("heic") << "b.heic" << false;
    QTest::newRow("no extension") << "gif" << false;
}

void TestAnimationProbe::animatableNames()
{
    QFETCH(QString, name);
    QFETCH(bool, animatable);
    QCOMPARE(AnimationProbe::hasAnimatableName(name), animatable);
}

QTEST_GUILESS_MAIN(TestAnimationProbe)
#include "tst_animationprobe.moc"
