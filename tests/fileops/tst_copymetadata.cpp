#include "CopyMetadata.h"
#include "GifEncoder.h"
#include "ImageCropManager.h"
#include "ImageSource.h"
#include "MarkupSaver.h"
#include "TestImageFiles.h"

#include <QBuffer>
#include <QColorSpace>
#include <QCryptographicHash>
#include <QDir>
#include <QImageReader>
#include <QImageWriter>
#include <QMap>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>
#include <exiv2/exiv2.hpp>
#include <string>

using TestImageFiles::isNear;

namespace {

QByteArray hashOf(const QString& path)
{
    return QCryptographicHash::hash(TestImageFiles::readBytes(path), QCryptographicHash::Sha256);
}

// What a file says about itself, as Exiv2 reads it back.
struct Metadata
{
    QMap<QString, QString> exif;
    QMap<QString, QString> xmp;
    QByteArray iccProfile;
    bool readable = false;
};

Metadata metadataOf(const QString& path)
{
    Metadata result;
    try {
        auto image = Exiv2::ImageFactory::open(QFile::encodeName(path).toStdString());
        image->readMetadata();
        for (const auto& datum : image->exifData()) {
            result.exif.insert(QString::fromStdString(datum.key()),
                               QString::fromStdString(datum.toString()));
        }
        for (const auto& datum : image->xmpData()) {
            result.xmp.insert(QString::fromStdString(datum.key()),
                              QString::fromStdString(datum.toString()));
        }
        if (image->iccProfileDefined()) {
            const Exiv2::DataBuf* profile = image->iccProfile();
            result.iccProfile = QByteArray(reinterpret_cast<const char*>(profile->pData_),
                                           qsizetype(profile->size_));
        }
        result.readable = true;
    } catch (const std::exception&) {
    }
    return result;
}

bool hasGroup(const Metadata& metadata, const QString& prefix)
{
    const QStringList keys = metadata.exif.keys();
    return std::any_of(keys.begin(), keys.end(),
                       [&](const QString& key) { return key.startsWith(prefix); });
}

bool writeXmp(const QString& path, const std::string& key, const std::string& value)
{
    try {
        auto image = Exiv2::ImageFactory::open(QFile::encodeName(path).toStdString());
        image->readMetadata();
        image->xmpData()[key] = value;
        image->writeMetadata();
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

// The quadrants image in a wide-gamut profile, so a kept profile is told from sRGB.
QImage profiledQuadrants(QSize size)
{
    QImage image = TestImageFiles::quadrants(size);
    image.setColorSpace(QColorSpace(QColorSpace::DisplayP3));
    return image;
}

// `image` as a file of type `extension` (Qt's writers have no GIF encoder).
QByteArray encoded(const QImage& image, const QString& extension)
{
    if (extension == u"gif") {
        return GifEncoder::encode(image).value_or(QByteArray());
    }
    const QByteArray format = extension == u"tif" ? "tiff" : extension.toLatin1();
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter(&buffer, format).write(image);
    return bytes;
}

// The only file in `folder` whose name contains `marker`.
QString copyIn(const QTemporaryDir& folder, const QString& marker)
{
    const QStringList names = QDir(folder.path()).entryList({u'*' + marker + u'*'}, QDir::Files);
    return names.size() == 1 ? folder.filePath(names.first()) : QString();
}

QImage decodedCopy(const QString& path)
{
    QImageReader reader(path);
    reader.setAutoTransform(true);
    return reader.read();
}

} // namespace

class TestCopyMetadata : public QObject
{
    Q_OBJECT

private slots:
    void cropOfRotatedPhotoKeepsItsMetadataUpright();
    void markupCopyKeepsOnlyTheDateTaken();
    void formatsKeepWhatTheyCanHold_data();
    void formatsKeepWhatTheyCanHold();
    void damagedExifIsLeftBehind();
    void sizeLimitAppliesToThePixels();
};

void TestCopyMetadata::cropOfRotatedPhotoKeepsItsMetadataUpright()
{
    QTemporaryDir folder;
    const QString path = folder.filePath(u"photo.jpg"_qs);
    QVERIFY(TestImageFiles::writeJpeg(path, profiledQuadrants(QSize(64, 32))));
    QVERIFY(TestImageFiles::writeExif(
        path, {{u"Exif.Image.Orientation"_qs, u"6"_qs},
               {u"Exif.Image.Model"_qs, u"Field camera"_qs},
               {u"Exif.Photo.DateTimeOriginal"_qs, u"2021:06:01 10:20:30"_qs},
               {u"Exif.Photo.PixelXDimension"_qs, u"64"_qs},
               {u"Exif.Photo.PixelYDimension"_qs, u"32"_qs}}));
    QVERIFY(TestImageFiles::writeExifThumbnail(path));
    QVERIFY(writeXmp(path, "Xmp.tiff.Orientation", "6"));
    const Metadata before = metadataOf(path);
    QVERIFY(hasGroup(before, u"Exif.Thumbnail."_qs));
    QVERIFY(!before.iccProfile.isEmpty());
    const QByteArray hash = hashOf(path);
    const QImage shown = ImageSource(path).decode();
    QCOMPARE(shown.size(), QSize(32, 64));

    // The upper-left quarter of the image as shown (y up from the bottom).
    QVERIFY(ImageCropManager::saveCropCopy(QUrl::fromLocalFile(path), {0, 0.5, 0.5, 0.5}));
    const QString copy = copyIn(folder, u"_crop"_qs);
    QVERIFY(!copy.isEmpty());
    const QImage pixels = decodedCopy(copy);
    QCOMPARE(pixels.size(), QSize(16, 32));
    QVERIFY(isNear(pixels.pixelColor(2, 2), shown.pixelColor(2, 2)));

    const Metadata after = metadataOf(copy);
    QCOMPARE(after.exif.value(u"Exif.Image.Orientation"_qs), u"1"_qs);
    QCOMPARE(after.xmp.value(u"Xmp.tiff.Orientation"_qs), u"1"_qs);
    QCOMPARE(after.exif.value(u"Exif.Image.Model"_qs), u"Field camera"_qs);
    QCOMPARE(after.exif.value(u"Exif.Photo.DateTimeOriginal"_qs), u"2021:06:01 10:20:30"_qs);
    QCOMPARE(after.exif.value(u"Exif.Photo.PixelXDimension"_qs), u"16"_qs);
    QCOMPARE(after.exif.value(u"Exif.Photo.PixelYDimension"_qs), u"32"_qs);
    QVERIFY(!hasGroup(after, u"Exif.Thumbnail."_qs));
    QCOMPARE(after.iccProfile, before.iccProfile);
    QCOMPARE(hashOf(path), hash);
}

void TestCopyMetadata::markupCopyKeepsOnlyTheDateTaken()
{
    QTemporaryDir folder;
    const QString path = folder.filePath(u"trip.jpg"_qs);
    QVERIFY(TestImageFiles::writeJpeg(path, profiledQuadrants(QSize(40, 30))));
    QVERIFY(TestImageFiles::writeExif(
        path, {{u"Exif.Image.Model"_qs, u"Field camera"_qs},
               {u"Exif.Photo.DateTimeOriginal"_qs, u"2021:06:01 10:20:30"_qs},
               {u"Exif.Photo.SubSecTimeOriginal"_qs, u"25"_qs},
               {u"Exif.GPSInfo.GPSLatitudeRef"_qs, u"N"_qs},
               {u"Exif.GPSInfo.GPSLatitude"_qs, u"48/1 51/1 24/1"_qs}}));
    QVERIFY(writeXmp(path, "Xmp.dc.description", "at home"));
    const Metadata before = metadataOf(path);
    const QByteArray hash = hashOf(path);

    const auto addMetadata = [&](const QByteArray& bytes, const QString& extension) {
        return CopyMetadata::forMarkup(bytes, extension, CopyMetadata::readOriginal(path));
    };
    const MarkupAnnotation box(MarkupShape::rectangle({0.1, 0.1, 0.3, 0.3}), Qt::black, Qt::black,
                               0.01, 5, 1, MarkupArrowheadStyle::end);
    const auto decode = [](const QString& file) { return ImageSource(file).decode(); };
    const auto copy =
        MarkupSaver::saveMarkupCopy(QUrl::fromLocalFile(path), {box}, decode, addMetadata);
    QVERIFY(copy);

    const Metadata after = metadataOf(copy->toLocalFile());
    QCOMPARE(after.exif.value(u"Exif.Photo.DateTimeOriginal"_qs), u"2021:06:01 10:20:30"_qs);
    QCOMPARE(after.exif.value(u"Exif.Photo.SubSecTimeOriginal"_qs), u"25"_qs);
    QVERIFY(!hasGroup(after, u"Exif.GPSInfo."_qs));
    QVERIFY(!hasGroup(after, u"Exif.Image.Model"_qs));
    QVERIFY(after.xmp.empty());
    QCOMPARE(after.iccProfile, before.iccProfile);
    QCOMPARE(hashOf(path), hash);
}

void TestCopyMetadata::formatsKeepWhatTheyCanHold_data()
{
    QTest::addColumn<QString>("extension");
    QTest::addColumn<bool>("holdsMetadata");

    QTest::newRow("png") << u"png"_qs << true;
    QTest::newRow("tiff") << u"tif"_qs << true;
    QTest::newRow("gif") << u"gif"_qs << false;
    QTest::newRow("bmp") << u"bmp"_qs << false;
}

void TestCopyMetadata::formatsKeepWhatTheyCanHold()
{
    QFETCH(QString, extension);
    QFETCH(bool, holdsMetadata);

    QTemporaryDir folder;
    const QString path = folder.filePath(u"picture."_qs + extension);
    const QImage image = TestImageFiles::quadrants(QSize(40, 40));
    QVERIFY(TestImageFiles::writeBytes(path, encoded(image, extension)));
    if (holdsMetadata) {
        QVERIFY(TestImageFiles::writeExif(
            path, {{u"Exif.Photo.DateTimeOriginal"_qs, u"2020:01:02 03:04:05"_qs},
                   {u"Exif.Image.Artist"_qs, u"Someone"_qs}}));
    }
    const QByteArray hash = hashOf(path);

    QVERIFY(ImageCropManager::saveCropCopy(QUrl::fromLocalFile(path), {0.5, 0, 0.5, 0.5}));
    const QString copy = copyIn(folder, u"_crop"_qs);
    QVERIFY(copy.endsWith(extension));
    const QImage pixels = decodedCopy(copy);
    QCOMPARE(pixels.size(), QSize(20, 20));
    QCOMPARE(pixels.pixelColor(10, 10), TestImageFiles::bottomRightColour);
    const Metadata after = metadataOf(copy);
    QCOMPARE(after.exif.value(u"Exif.Photo.DateTimeOriginal"_qs),
             holdsMetadata ? u"2020:01:02 03:04:05"_qs : QString());
    QCOMPARE(after.exif.value(u"Exif.Image.Artist"_qs), holdsMetadata ? u"Someone"_qs : QString());
    QCOMPARE(hashOf(path), hash);

    // A photo's metadata offered to a format that cannot hold it leaves the encoding alone.
    const QString photo = folder.filePath(u"photo.jpg"_qs);
    QVERIFY(TestImageFiles::writeJpeg(photo, profiledQuadrants(QSize(40, 40))));
    QVERIFY(TestImageFiles::writeExif(
        photo, {{u"Exif.Photo.DateTimeOriginal"_qs, u"2020:01:02 03:04:05"_qs}}));
    const QByteArray bytes = encoded(image, extension);
    QVERIFY(!bytes.isEmpty());
    const QByteArray original = CopyMetadata::readOriginal(photo);
    QCOMPARE(CopyMetadata::forMarkup(bytes, extension, original) == bytes, !holdsMetadata);
    QCOMPARE(CopyMetadata::forCrop(bytes, extension, original, QSize(40, 40)) == bytes,
             !holdsMetadata);
}

void TestCopyMetadata::damagedExifIsLeftBehind()
{
    QTemporaryDir folder;
    const QString path = folder.filePath(u"damaged.jpg"_qs);
    QVERIFY(TestImageFiles::writeJpeg(path, TestImageFiles::quadrants(QSize(40, 40))));
    // An EXIF segment right after the start marker whose TIFF header points far outside it.
    QByteArray exif("Exif\0\0MM\0\x2a\x7f\xff\xff\xf0", 14);
    exif.append(64, '\xee');
    QByteArray segment("\xff\xe1", 2);
    segment.append(char((exif.size() + 2) >> 8)).append(char((exif.size() + 2) & 0xff));
    QByteArray file = TestImageFiles::readBytes(path);
    file.insert(2, segment + exif);
    QVERIFY(TestImageFiles::writeBytes(path, file));
    QVERIFY(!ImageSource(path).decode().isNull());
    const QByteArray hash = hashOf(path);

    QVERIFY(ImageCropManager::saveCropCopy(QUrl::fromLocalFile(path), {0, 0, 0.5, 0.5}));
    const QString copy = copyIn(folder, u"_crop"_qs);
    QVERIFY(isNear(decodedCopy(copy).pixelColor(10, 10), TestImageFiles::bottomLeftColour));
    QVERIFY(metadataOf(copy).exif.empty());
    QCOMPARE(CopyMetadata::forMarkup(file, u"jpg"_qs, file).isEmpty(), false);
    QCOMPARE(hashOf(path), hash);
}

void TestCopyMetadata::sizeLimitAppliesToThePixels()
{
    QTemporaryDir folder;
    const QString path = folder.filePath(u"described.jpg"_qs);
    QVERIFY(TestImageFiles::writeJpeg(path, TestImageFiles::quadrants(QSize(200, 200))));
    const std::string description(40000, 'x');
    QVERIFY(writeXmp(path, "Xmp.dc.description", description));
    const qint64 originalSize = QFileInfo(path).size();

    // Nearly all of the image: the pixels' encoding must stay under the original's size.
    QVERIFY(ImageCropManager::saveCropCopy(QUrl::fromLocalFile(path), {0, 0, 0.99, 0.99}));
    const QString copy = copyIn(folder, u"_crop"_qs);
    QVERIFY(metadataOf(copy)
                .xmp.value(u"Xmp.dc.description"_qs)
                .contains(QString::fromStdString(description)));
    QByteArray pixelsOnly = TestImageFiles::readBytes(copy);
    auto image = Exiv2::ImageFactory::open(reinterpret_cast<const Exiv2::byte*>(pixelsOnly.data()),
                                           long(pixelsOnly.size()));
    image->clearMetadata();
    image->writeMetadata();
    QVERIFY(qint64(image->io().size()) < originalSize);
}

QTEST_GUILESS_MAIN(TestCopyMetadata)
#include "tst_copymetadata.moc"
