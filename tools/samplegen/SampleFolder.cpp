#include "SampleFolder.h"

#include "AnimationWriter.h"
#include "AvifSequenceWriter.h"
#include "ExifWriter.h"
#include "GifWriter.h"
#include "HeifWriter.h"
#include "SampleAnimation.h"
#include "SamplePictures.h"

#include <QDir>
#include <QFile>
#include <QImageWriter>
#include <QPainter>

namespace {

const QSize sceneSize(640, 480);

QString writeWithQt(const QImage& image, const QString& path, const QByteArray& format)
{
    QImageWriter writer(path, format);
    if (format == "jpeg" || format == "webp") {
        writer.setQuality(90);
    } else if (format == "tiff") {
        writer.setCompression(1); // LZW
    }
    return writer.write(image) ? QString() : writer.errorString();
}

QString writeJpeg(const QImage& image, const QString& path, const ExifWriter::Tags& tags)
{
    const QString error = writeWithQt(image, path, "jpeg");
    return error.isEmpty() ? ExifWriter::write(path, tags) : error;
}

ExifWriter::Tags cameraTags(unsigned exposureDenominator, unsigned focalLength,
                            unsigned short isoSpeed, const QString& date)
{
    ExifWriter::Tags tags;
    tags.make = QStringLiteral("Samplegen");
    tags.model = QStringLiteral("Test Camera 100");
    tags.dateTimeOriginal = date;
    tags.exposureTime = std::make_pair(1U, exposureDenominator);
    tags.focalLength = focalLength;
    tags.isoSpeed = isoSpeed;
    return tags;
}

QString writeText(const QString& path, const QByteArray& text)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(text) != text.size()) {
        return file.errorString();
    }
    return {};
}

} // namespace

namespace SampleFolder {

QStringList write(const QString& folderPath)
{
    const QDir folder(folderPath);
    if (!folder.mkpath(QStringLiteral("Subfolder"))) {
        return {QStringLiteral("%1: cannot create the folder").arg(folderPath)};
    }
    QStringList errors;
    const auto check = [&](const QString& name, const QString& error) {
        if (!error.isEmpty()) {
            errors.append(name + QStringLiteral(": ") + error);
        }
    };
    const auto path = [&](const QString& name) { return folder.filePath(name); };
    const auto scene = [](int variant, const QString& caption) {
        return SamplePictures::scene(sceneSize, variant, caption);
    };

    check("IMG_1.png", writeWithQt(scene(0, "IMG_1 · PNG"), path("IMG_1.png"), "png"));
    check("IMG_2.jpg", writeJpeg(scene(1, "IMG_2 · JPEG"), path("IMG_2.jpg"),
                                 cameraTags(250, 35, 200, QStringLiteral("2024:05:17 09:41:07"))));
    check("IMG_3.gif", GifWriter::write(scene(2, "IMG_3 · GIF"), path("IMG_3.gif")));
    check("IMG_4.tif", writeWithQt(scene(3, "IMG_4 · TIFF"), path("IMG_4.tif"), "tiff"));
    check("IMG_5.bmp", writeWithQt(scene(4, "IMG_5 · BMP"), path("IMG_5.bmp"), "bmp"));
    check("IMG_6.webp", writeWithQt(scene(5, "IMG_6 · WebP"), path("IMG_6.webp"), "webp"));
    // HEIC and AVIF only where this machine's libheif has an encoder; without one the folder
    // simply has no such sample.
    if (HeifWriter::canWrite(HeifWriter::Format::Heic)) {
        check("IMG_7.heic", HeifWriter::write(scene(6, "IMG_7 · HEIC"), path("IMG_7.heic"),
                                              HeifWriter::Format::Heic));
    }
    if (HeifWriter::canWrite(HeifWriter::Format::Avif)) {
        check("IMG_8.avif", HeifWriter::write(scene(7, "IMG_8 · AVIF"), path("IMG_8.avif"),
                                              HeifWriter::Format::Avif));
    }
    check("IMG_9.png",
          writeWithQt(SamplePictures::scene(sceneSize, 8, "IMG_9 · transparent PNG", true),
                      path("IMG_9.png"), "png"));
    ExifWriter::Tags partial;
    partial.model = QStringLiteral("Test Camera 20");
    partial.dateTimeOriginal = QStringLiteral("2023:12:31 23:59:59");
    partial.orientation = 1;
    check("img_10.JPG", writeJpeg(scene(9, "img_10 · JPEG"), path("img_10.JPG"), partial));
    check("IMG_11.jpg",
          writeWithQt(SamplePictures::wideGamutChart(sceneSize, "IMG_11 · Adobe RGB JPEG"),
                      path("IMG_11.jpg"), "jpeg"));
    // Animations that loop forever, 24 frames of 80 ms each: one per format that can animate.
    const QSize animationSize(480, 320);
    check("IMG_12 anim.gif",
          AnimationWriter::writeGif(SampleAnimation::frames(animationSize, 24, 0, "IMG_12 · GIF"),
                                    80, path("IMG_12 anim.gif")));
    check("IMG_13 anim.webp",
          AnimationWriter::writeWebp(SampleAnimation::frames(animationSize, 24, 1, "IMG_13 · WebP"),
                                     80, path("IMG_13 anim.webp")));
    check("IMG_14 anim.png",
          AnimationWriter::writeApng(SampleAnimation::frames(animationSize, 24, 2, "IMG_14 · APNG"),
                                     80, path("IMG_14 anim.png")));
    // An AVIF image sequence: a ball crossing a scene, 12 frames of 100 ms, played forever.
    QList<QImage> ballFrames;
    for (int frame = 0; frame < 12; ++frame) {
        QImage image = SamplePictures::scene(QSize(320, 240), 12, "IMG_15 · AVIF sequence");
        QPainter painter(&image);
        painter.setPen(Qt::NoPen);
        painter.setBrush(Qt::white);
        painter.drawEllipse(QPointF(30 + 23 * frame, 90), 20, 20);
        painter.end();
        ballFrames.append(image);
    }
    check("IMG_15 anim.avif", AvifSequenceWriter::write(ballFrames, 100, path("IMG_15 anim.avif")));

    for (unsigned short orientation = 1; orientation <= 8; ++orientation) {
        const QString name = QStringLiteral("Orientation_%1.jpg").arg(orientation);
        ExifWriter::Tags tags = cameraTags(60 * orientation, 18 + 4 * orientation,
                                           static_cast<unsigned short>(100 * orientation),
                                           QStringLiteral("2024:06:0%1 12:00:00").arg(orientation));
        tags.orientation = orientation;
        check(name, writeJpeg(SamplePictures::orientationChart(orientation), path(name), tags));
    }

    check(".hidden.png", writeWithQt(scene(10, "hidden"), path(".hidden.png"), "png"));
    check("Subfolder/IMG_0.png",
          writeWithQt(scene(11, "Subfolder/IMG_0"), path("Subfolder/IMG_0.png"), "png"));
    check("Notes.txt", writeText(path("Notes.txt"),
                                 "Sample pictures made by vistrel-samplegen at build time.\n"));
    return errors;
}

} // namespace SampleFolder
