#include "ImageSequence.h"

#include <QDir>
#include <QFile>
#include <QImageReader>
#include <QTemporaryDir>
#include <QTest>
#include <exiv2/exiv2.hpp>
#include <libheif/heif.h>
#include <unistd.h>

class TestImageSequence : public QObject
{
    Q_OBJECT

private slots:
    void isImageFile_data();
    void isImageFile();
    void standardized_data();
    void standardized();
    void loadListsImagesInNaturalOrder_data();
    void loadListsImagesInNaturalOrder();
    void namesThatCompareEqualKeepListingOrder();
    void loadStandardizesTheStartingUrl();
    void namesThatNeedEscapingInUrls();
    void failedLoadChangesNothing_data();
    void failedLoadChangesNothing();
    void remove_data();
    void remove();
    void setCurrentIndexStaysInRange();
    void sampleFolderOrder();
    void sampleOrientationPictures();

private:
    // Makes a fresh folder holding `entries` (empty files; a trailing "/" makes a folder, and
    // a "/" inside a name puts the file in a subfolder) and returns its path.
    QString makeFolder(const QStringList& entries);
    static QStringList fileNames(const ImageSequence& sequence);

    std::vector<std::unique_ptr<QTemporaryDir>> m_folders;
};

QString TestImageSequence::makeFolder(const QStringList& entries)
{
    auto& folder = m_folders.emplace_back(std::make_unique<QTemporaryDir>());
    const QDir dir(folder->path());
    for (const QString& entry : entries) {
        const QString path = dir.filePath(entry);
        if (entry.endsWith(u'/')) {
            dir.mkpath(entry);
            continue;
        }
        dir.mkpath(QFileInfo(path).path());
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly)) {
            qFatal("cannot create %s", qPrintable(path));
        }
    }
    return folder->path();
}

QStringList TestImageSequence::fileNames(const ImageSequence& sequence)
{
    QStringList names;
    for (const QUrl& url : sequence.urls()) {
        names.append(url.fileName());
    }
    return names;
}

void TestImageSequence::isImageFile_data()
{
    QTest::addColumn<QUrl>("url");
    QTest::addColumn<bool>("expected");
    QTest::newRow("jpeg file") << QUrl::fromLocalFile("/pictures/a.jpg") << true;
    QTest::newRow("upper-case extension") << QUrl::fromLocalFile("/pictures/A.JPG") << true;
    QTest::newRow("heic file") << QUrl::fromLocalFile("/pictures/a.heic") << true;
    QTest::newRow("text file") << QUrl::fromLocalFile("/pictures/notes.txt") << false;
    QTest::newRow("no extension") << QUrl::fromLocalFile("/pictures/png") << false;
    QTest::newRow("hidden image") << QUrl::fromLocalFile("/pictures/.cover.png") << true;
    QTest::newRow("not a file URL") << QUrl("http://localhost/a.png") << false;
    QTest::newRow("empty URL") << QUrl() << false;
}

void TestImageSequence::isImageFile()
{
    QFETCH(QUrl, url);
    QFETCH(bool, expected);
    QCOMPARE(ImageSequence::isImageFile(url), expected);
}

void TestImageSequence::standardized_data()
{
    QTest::addColumn<QUrl>("url");
    QTest::addColumn<QUrl>("expected");
    QTest::newRow("dot-dot") << QUrl::fromLocalFile("/a/b/../c/x.png")
                             << QUrl::fromLocalFile("/a/c/x.png");
    QTest::newRow("dot and doubled separators")
        << QUrl::fromLocalFile("/a/./b//x.png") << QUrl::fromLocalFile("/a/b/x.png");
    QTest::newRow("dot-dot above the root")
        << QUrl::fromLocalFile("/../x.png") << QUrl::fromLocalFile("/x.png");
    QTest::newRow("dot-dot twice above the root")
        << QUrl::fromLocalFile("/a/../../../x.png") << QUrl::fromLocalFile("/x.png");
    QTest::newRow("relative path") << QUrl::fromLocalFile("pictures/../x.png")
                                   << QUrl::fromLocalFile(QDir::currentPath() + "/x.png");
    QTest::newRow("already standard")
        << QUrl::fromLocalFile("/a/x.png") << QUrl::fromLocalFile("/a/x.png");
    QTest::newRow("other scheme unchanged")
        << QUrl("http://localhost/a/../x.png") << QUrl("http://localhost/a/../x.png");
}

void TestImageSequence::standardized()
{
    QFETCH(QUrl, url);
    QFETCH(QUrl, expected);
    QCOMPARE(ImageSequence::standardized(url), expected);
}

void TestImageSequence::loadListsImagesInNaturalOrder_data()
{
    QTest::addColumn<QStringList>("entries");
    QTest::addColumn<QString>("start");
    QTest::addColumn<QStringList>("expected");
    QTest::addColumn<int>("expectedIndex");

    QTest::newRow("2 before 10, case ignored")
        << QStringList{"IMG_2.jpg", "img_10.JPG", "IMG_1.png"} << "img_10.JPG"
        << QStringList{"IMG_1.png", "IMG_2.jpg", "img_10.JPG"} << 2;
    QTest::newRow("digit runs by value")
        << QStringList{"a100.png", "a9.png", "a10.png", "a1.png"} << "a9.png"
        << QStringList{"a1.png", "a9.png", "a10.png", "a100.png"} << 1;
    QTest::newRow("a later digit run decides")
        << QStringList{"2024-5-10.jpg", "2024-5-9.jpg", "2024-12-1.jpg"} << "2024-12-1.jpg"
        << QStringList{"2024-5-9.jpg", "2024-5-10.jpg", "2024-12-1.jpg"} << 2;
    QTest::newRow("non-images, hidden entries and subfolders left out")
        << QStringList{"b.png", "Notes.txt", "README",     ".hidden.png",
                       "a.gif", "sub/c.png", "album.png/", ".cache/"}
        << "b.png" << QStringList{"a.gif", "b.png"} << 1;
    QTest::newRow("extensions from the registry")
        << QStringList{"d.heic", "c.webp", "b.tiff", "a.svg", "e.pdf"} << "a.svg"
        << QStringList{"a.svg", "b.tiff", "c.webp", "d.heic"} << 0;
    QTest::newRow("only image") << QStringList{"only.bmp"} << "only.bmp" << QStringList{"only.bmp"}
                                << 0;
}

void TestImageSequence::loadListsImagesInNaturalOrder()
{
    QFETCH(QStringList, entries);
    QFETCH(QString, start);
    QFETCH(QStringList, expected);
    QFETCH(int, expectedIndex);
    const QString folder = makeFolder(entries);
    ImageSequence sequence;
    QVERIFY(sequence.load(QUrl::fromLocalFile(folder + u'/' + start)));
    QCOMPARE(fileNames(sequence), expected);
    QCOMPARE(sequence.currentIndex(), expectedIndex);
    for (const QUrl& url : sequence.urls()) {
        QCOMPARE(url, QUrl::fromLocalFile(folder + u'/' + url.fileName()));
    }
}

void TestImageSequence::namesThatCompareEqualKeepListingOrder()
{
    // Names differing only in case compare equal; they must stay in the order the directory
    // listing returns them, whatever that order is on this file system.
    // Every case variant of "img_1.png": 64 names, enough that an unstable sort would mix them.
    QStringList equalNames;
    const QString base = QStringLiteral("img_1.png");
    for (int mask = 0; mask < 64; ++mask) {
        QString name = base;
        for (int bit = 0; bit < 6; ++bit) {
            const qsizetype position = bit < 3 ? bit : bit + 3;
            if (mask & (1 << bit)) {
                name[position] = name[position].toUpper();
            }
        }
        equalNames.append(name);
    }
    const QString folder = makeFolder(equalNames + QStringList{"a.png", "IMG_2.png"});
    QStringList listingOrder;
    for (const QString& name : QDir(folder).entryList(QDir::Files, QDir::Unsorted)) {
        if (equalNames.contains(name)) {
            listingOrder.append(name);
        }
    }
    ImageSequence sequence;
    QVERIFY(sequence.load(QUrl::fromLocalFile(folder + "/img_1.png")));
    QCOMPARE(fileNames(sequence), QStringList{"a.png"} + listingOrder + QStringList{"IMG_2.png"});
    QCOMPARE(sequence.currentIndex(), 1 + listingOrder.indexOf("img_1.png"));
}

void TestImageSequence::loadStandardizesTheStartingUrl()
{
    const QString folder = makeFolder({"sub/", "a.png", "b.png"});
    ImageSequence sequence;
    QVERIFY(sequence.load(QUrl::fromLocalFile(folder + "/sub/.././/b.png")));
    QCOMPARE(sequence.currentIndex(), 1);
    QCOMPARE(sequence.urls().at(1), QUrl::fromLocalFile(folder + "/b.png"));
    QCOMPARE(sequence.urls().at(1), ImageSequence::standardized(sequence.urls().at(1)));
}

void TestImageSequence::namesThatNeedEscapingInUrls()
{
    const QStringList names = {"#1.png", "100%.png", "a b.png", "ü?.png"};
    const QString folder = makeFolder(names);
    ImageSequence sequence;
    QVERIFY(sequence.load(QUrl::fromLocalFile(folder + "/100%.png")));
    QCOMPARE(sequence.urls().size(), names.size());
    QCOMPARE(sequence.urls().at(sequence.currentIndex()).toLocalFile(), folder + "/100%.png");
    for (const QUrl& url : sequence.urls()) {
        QVERIFY2(QFileInfo::exists(url.toLocalFile()), qPrintable(url.toString()));
    }
}

void TestImageSequence::failedLoadChangesNothing_data()
{
    QTest::addColumn<QStringList>("entries");
    QTest::addColumn<QString>("start");
    QTest::addColumn<bool>("unreadableFolder");

    QTest::newRow("hidden image, the only one") << QStringList{".only.png"} << ".only.png" << false;
    QTest::newRow("hidden image beside visible ones")
        << QStringList{"a.png", ".b.png"} << ".b.png" << false;
    QTest::newRow("text file") << QStringList{"a.png", "notes.txt"} << "notes.txt" << false;
    QTest::newRow("folder with an image extension")
        << QStringList{"a.png", "album.png/"} << "album.png" << false;
    QTest::newRow("folder without an extension")
        << QStringList{"a.png", "album/"} << "album" << false;
    QTest::newRow("file that does not exist") << QStringList{"a.png"} << "b.png" << false;
    QTest::newRow("folder that does not exist") << QStringList{"a.png"} << "missing/a.png" << false;
    QTest::newRow("name differs in case only") << QStringList{"a.png"} << "A.png" << false;
    QTest::newRow("image inside a subfolder's path with a file as folder")
        << QStringList{"a.png"} << "a.png/b.png" << false;
    QTest::newRow("unreadable folder") << QStringList{"a.png"} << "a.png" << true;
}

void TestImageSequence::failedLoadChangesNothing()
{
    QFETCH(QStringList, entries);
    QFETCH(QString, start);
    QFETCH(bool, unreadableFolder);
    if (unreadableFolder && geteuid() == 0) {
        QSKIP("root can list any folder");
    }

    ImageSequence sequence;
    const QString previousFolder = makeFolder({"x.png", "y.png", "z.png"});
    QVERIFY(sequence.load(QUrl::fromLocalFile(previousFolder + "/y.png")));
    QVERIFY(sequence.setCurrentIndex(2));
    const QList<QUrl> previousUrls = sequence.urls();

    const QString folder = makeFolder(entries);
    if (unreadableFolder) {
        QVERIFY(QFile::setPermissions(folder, QFile::Permissions()));
    }
    const bool loaded = sequence.load(QUrl::fromLocalFile(folder + u'/' + start));
    if (unreadableFolder) {
        QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    QVERIFY(!loaded);
    QCOMPARE(sequence.urls(), previousUrls);
    QCOMPARE(sequence.currentIndex(), 2);
}

void TestImageSequence::remove_data()
{
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("current");
    QTest::addColumn<int>("index");
    QTest::addColumn<bool>("removes");
    QTest::addColumn<int>("expectedCurrent");

    QTest::newRow("current last of three") << 3 << 2 << 2 << true << 1;
    QTest::newRow("first while second is current") << 3 << 1 << 0 << true << 0;
    QTest::newRow("the only image") << 1 << 0 << 0 << true << 0;
    QTest::newRow("current in the middle: next takes its place") << 3 << 1 << 1 << true << 1;
    QTest::newRow("current first") << 3 << 0 << 0 << true << 0;
    QTest::newRow("after the current one") << 3 << 0 << 2 << true << 0;
    QTest::newRow("negative index") << 3 << 1 << -1 << false << 1;
    QTest::newRow("index equal to count") << 3 << 1 << 3 << false << 1;
}

void TestImageSequence::remove()
{
    QFETCH(int, count);
    QFETCH(int, current);
    QFETCH(int, index);
    QFETCH(bool, removes);
    QFETCH(int, expectedCurrent);

    QStringList names;
    for (int i = 1; i <= count; ++i) {
        names.append(QStringLiteral("%1.png").arg(i));
    }
    const QString folder = makeFolder(names);
    ImageSequence sequence;
    QVERIFY(sequence.load(QUrl::fromLocalFile(folder + "/1.png")));
    QVERIFY(sequence.setCurrentIndex(current));
    const QList<QUrl> before = sequence.urls();

    const std::optional<QUrl> removed = sequence.remove(index);
    QCOMPARE(removed.has_value(), removes);
    QList<QUrl> expectedUrls = before;
    if (removes) {
        QCOMPARE(*removed, before.at(index));
        expectedUrls.removeAt(index);
    }
    QCOMPARE(sequence.urls(), expectedUrls);
    QCOMPARE(sequence.currentIndex(), expectedCurrent);
}

void TestImageSequence::setCurrentIndexStaysInRange()
{
    ImageSequence sequence;
    QVERIFY(!sequence.setCurrentIndex(0));
    QCOMPARE(sequence.currentIndex(), 0);

    const QString folder = makeFolder({"a.png", "b.png"});
    QVERIFY(sequence.load(QUrl::fromLocalFile(folder + "/a.png")));
    QVERIFY(sequence.setCurrentIndex(1));
    QVERIFY(!sequence.setCurrentIndex(2));
    QVERIFY(!sequence.setCurrentIndex(-1));
    QCOMPARE(sequence.currentIndex(), 1);
}

void TestImageSequence::sampleFolderOrder()
{
    const QString samples = QStringLiteral(VISTREL_SAMPLES_DIR);
    QStringList expected = {"IMG_1.png", "IMG_2.jpg", "IMG_3.gif",
                            "IMG_4.tif", "IMG_5.bmp", "IMG_6.webp"};
    // The generator writes these only where libheif can encode them.
    if (heif_have_encoder_for_format(heif_compression_HEVC)) {
        expected.append("IMG_7.heic");
    }
    if (heif_have_encoder_for_format(heif_compression_AV1)) {
        expected.append("IMG_8.avif");
    }
    expected +=
        QStringList{"IMG_9.png",        "img_10.JPG",      "IMG_11.jpg",      "IMG_12 anim.gif",
                    "IMG_13 anim.webp", "IMG_14 anim.png", "IMG_15 anim.avif"};
    for (int orientation = 1; orientation <= 8; ++orientation) {
        expected.append(QStringLiteral("Orientation_%1.jpg").arg(orientation));
    }

    ImageSequence sequence;
    QVERIFY(sequence.load(QUrl::fromLocalFile(samples + "/IMG_2.jpg")));
    QCOMPARE(fileNames(sequence), expected);
    QCOMPARE(sequence.currentIndex(), 1);
    // Present on disk but never listed.
    for (const char* name : {".hidden.png", "Subfolder/IMG_0.png", "Notes.txt"}) {
        QVERIFY2(QFileInfo::exists(samples + u'/' + QLatin1String(name)), name);
    }
}

void TestImageSequence::sampleOrientationPictures()
{
    const QString samples = QStringLiteral(VISTREL_SAMPLES_DIR);
    for (int orientation = 1; orientation <= 8; ++orientation) {
        const QString path = samples + QStringLiteral("/Orientation_%1.jpg").arg(orientation);
        auto image = Exiv2::ImageFactory::open(path.toStdString());
        image->readMetadata();
        const Exiv2::ExifData& exif = image->exifData();
        const auto tag = exif.findKey(Exiv2::ExifKey("Exif.Image.Orientation"));
        QVERIFY2(tag != exif.end(), qPrintable(path));
        QCOMPARE(tag->toLong(), long(orientation));
        for (const char* key :
             {"Exif.Image.Model", "Exif.Photo.DateTimeOriginal", "Exif.Photo.ExposureTime",
              "Exif.Photo.FocalLength", "Exif.Photo.ISOSpeedRatings"}) {
            QVERIFY2(exif.findKey(Exiv2::ExifKey(key)) != exif.end(), key);
        }

        // Shown with the orientation applied, every picture is the same way up: landscape,
        // red top-left corner, green top-right corner.
        QImageReader reader(path);
        reader.setAutoTransform(true);
        const QImage shown = reader.read();
        QCOMPARE(shown.size(), QSize(480, 320));
        const QColor topLeft = shown.pixelColor(8, 8);
        const QColor topRight = shown.pixelColor(shown.width() - 9, 8);
        QVERIFY2(topLeft.red() > 180 && topLeft.green() < 90, qPrintable(path));
        QVERIFY2(topRight.green() > 130 && topRight.red() < 90, qPrintable(path));
    }
}

QTEST_GUILESS_MAIN(TestImageSequence)
#include "tst_imagesequence.moc"
