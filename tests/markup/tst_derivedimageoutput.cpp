#include "DerivedImageOutput.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QImageReader>
#include <QImageWriter>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace DerivedImageOutput;

Q_DECLARE_METATYPE(DerivedImageOutput::FileType)

namespace {

// Noise compresses badly, so JPEG sizes differ clearly between quality steps.
QImage noise(int width, int height)
{
    QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
    QRandomGenerator random(42);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            image.setPixel(x, y, 0xff000000 | (random.generate() & 0xffffff));
        }
    }
    return image;
}

QByteArray jpegAt(const QImage& image, int quality)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "jpeg");
    writer.setQuality(quality);
    writer.write(image);
    return bytes;
}

QImage decoded(const QByteArray& bytes)
{
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    return QImageReader(&buffer).read();
}

void touch(const QString& path, const QByteArray& contents = "x")
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(contents);
}

// Every entry of the folder, hidden ones too, by name.
QStringList entries(const QString& folder)
{
    return QDir(folder).entryList(
        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

QUrl fileUrl(const QString& folder, const QString& name)
{
    return QUrl::fromLocalFile(folder + u'/' + name);
}

} // namespace

class TestDerivedImageOutput : public QObject
{
    Q_OBJECT

private slots:
    void outputExtension_data();
    void outputExtension();
    void fileTypeByExtension_data();
    void fileTypeByExtension();
    void pathExtensionOfANames_data();
    void pathExtensionOfANames();
    void derivedNameSkipsTakenNames_data();
    void derivedNameSkipsTakenNames();
    void danglingLinkCountsAsTaken();
    void jpegSizeLimitPicksTheFirstFactorThatFits_data();
    void jpegSizeLimitPicksTheFirstFactorThatFits();
    void otherTypesIgnoreTheLimit_data();
    void otherTypesIgnoreTheLimit();
    void gifKeepsTransparencyAndColours();
    void unencodableImagesGiveNothing();
    void writesTheCopyAndNothingElse();
    void nameTakenBeforeTheCommitMovesOnToTheNextCounter();
    void missingFolderWritesNothing();
    void readOnlyFolderWritesNothing();
    void fullDiskLeavesNoFileBehind();
};

void TestDerivedImageOutput::outputExtension_data()
{
    QTest::addColumn<QString>("original");
    QTest::addColumn<QString>("output");
    QTest::addColumn<bool>("isJPEG");
    for (const char* kept : {"jpg", "jpeg", "jpe"}) {
        QTest::addRow("%s", kept) << kept << kept << true;
    }
    for (const char* kept : {"png", "gif", "tif", "tiff", "bmp"}) {
        QTest::addRow("%s", kept) << kept << kept << false;
    }
    QTest::newRow("webp") << "webp"
                          << "png" << false;
    QTest::newRow("heic") << "heic"
                          << "png" << false;
    QTest::newRow("none") << ""
                          << "png" << false;
    QTest::newRow("upper case is not compared") << "JPG"
                                                << "png" << false;
}

void TestDerivedImageOutput::outputExtension()
{
    QFETCH(QString, original);
    QFETCH(QString, output);
    QFETCH(bool, isJPEG);
    QCOMPARE(outputImageExtension(original), output);
    QCOMPARE(isJPEGExtension(original), isJPEG);
}

void TestDerivedImageOutput::fileTypeByExtension_data()
{
    QTest::addColumn<QString>("extension");
    QTest::addColumn<FileType>("type");
    QTest::newRow("jpe") << "jpe" << FileType::jpeg;
    QTest::newRow("gif") << "gif" << FileType::gif;
    QTest::newRow("tif") << "tif" << FileType::tiff;
    QTest::newRow("tiff") << "tiff" << FileType::tiff;
    QTest::newRow("bmp") << "bmp" << FileType::bmp;
    QTest::newRow("png") << "png" << FileType::png;
    QTest::newRow("anything else") << "heic" << FileType::png;
}

void TestDerivedImageOutput::fileTypeByExtension()
{
    QFETCH(QString, extension);
    QFETCH(FileType, type);
    QCOMPARE(fileType(extension), type);
}

void TestDerivedImageOutput::pathExtensionOfANames_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("extension");
    QTest::newRow("plain") << "photo.JPG"
                           << "JPG";
    QTest::newRow("last dot") << "archive.tar.gz"
                              << "gz";
    QTest::newRow("none") << "README" << QString();
    QTest::newRow("hidden file") << ".profile" << QString();
    QTest::newRow("hidden file with extension") << ".hidden.png"
                                                << "png";
    QTest::newRow("trailing dot") << "name." << QString();
}

void TestDerivedImageOutput::pathExtensionOfANames()
{
    QFETCH(QString, name);
    QFETCH(QString, extension);
    QCOMPARE(pathExtension(QUrl::fromLocalFile("/pictures/" + name)), extension);
}

void TestDerivedImageOutput::derivedNameSkipsTakenNames_data()
{
    QTest::addColumn<QString>("original");
    QTest::addColumn<QString>("extension");
    QTest::addColumn<QStringList>("present");
    QTest::addColumn<QString>("expected");
    QTest::newRow("free") << "a.png"
                          << "png" << QStringList() << "a_crop.png";
    QTest::newRow("counter starts at 2") << "a.png"
                                         << "png" << QStringList{"a_crop.png"} << "a_crop2.png";
    QTest::newRow("next counter") << "a.png"
                                  << "png" << QStringList{"a_crop.png", "a_crop2.png"}
                                  << "a_crop3.png";
    QTest::newRow("first gap wins") << "a.png"
                                    << "png" << QStringList{"a_crop2.png"} << "a_crop.png";
    QTest::newRow("output extension, not the original's")
        << "scan.heic"
        << "png" << QStringList() << "scan_crop.png";
    QTest::newRow("no extension") << "README"
                                  << "png" << QStringList() << "README_crop.png";
    QTest::newRow("only the last extension goes") << "my.photo.jpg"
                                                  << "jpg" << QStringList() << "my.photo_crop.jpg";
}

void TestDerivedImageOutput::derivedNameSkipsTakenNames()
{
    QFETCH(QString, original);
    QFETCH(QString, extension);
    QFETCH(QStringList, present);
    QFETCH(QString, expected);
    QTemporaryDir folder;
    for (const QString& name : present) {
        touch(folder.filePath(name));
    }
    QCOMPARE(makeDerivedCopyURL(fileUrl(folder.path(), original), "_crop", extension),
             fileUrl(folder.path(), expected));
}

void TestDerivedImageOutput::danglingLinkCountsAsTaken()
{
    QTemporaryDir folder;
    QVERIFY(QFile::link(folder.filePath("nowhere"), folder.filePath("a_crop.png")));
    QCOMPARE(makeDerivedCopyURL(fileUrl(folder.path(), "a.png"), "_crop", "png"),
             fileUrl(folder.path(), "a_crop2.png"));
}

void TestDerivedImageOutput::jpegSizeLimitPicksTheFirstFactorThatFits_data()
{
    QTest::addColumn<std::optional<qint64>>("limit");
    QTest::addColumn<int>("quality");
    const QImage image = noise(64, 64);
    QTest::newRow("no limit: 0.92") << std::optional<qint64>() << 92;
    QTest::newRow("0.82 fits already") << std::optional<qint64>(1 << 30) << 82;
    QTest::newRow("exactly the size at 0.62")
        << std::optional<qint64>(jpegAt(image, 62).size()) << 62;
    QTest::newRow("one byte more than the size at 0.42")
        << std::optional<qint64>(jpegAt(image, 42).size() + 1) << 42;
    QTest::newRow("nothing fits: the smallest") << std::optional<qint64>(0) << 32;
    QTest::newRow("negative: the smallest") << std::optional<qint64>(-5) << 32;
}

void TestDerivedImageOutput::jpegSizeLimitPicksTheFirstFactorThatFits()
{
    QFETCH(std::optional<qint64>, limit);
    QFETCH(int, quality);
    const QImage image = noise(64, 64);
    const auto bytes = encodedData(image, FileType::jpeg, limit);
    QVERIFY(bytes);
    QCOMPARE(*bytes, jpegAt(image, quality));
}

void TestDerivedImageOutput::otherTypesIgnoreTheLimit_data()
{
    QTest::addColumn<FileType>("type");
    QTest::addColumn<QByteArray>("format");
    QTest::newRow("png") << FileType::png << QByteArray("png");
    QTest::newRow("tiff") << FileType::tiff << QByteArray("tiff");
    QTest::newRow("bmp") << FileType::bmp << QByteArray("bmp");
    QTest::newRow("gif") << FileType::gif << QByteArray("gif");
}

void TestDerivedImageOutput::otherTypesIgnoreTheLimit()
{
    QFETCH(FileType, type);
    QFETCH(QByteArray, format);
    const QImage image = noise(40, 30);
    const auto unlimited = encodedData(image, type, std::nullopt);
    QVERIFY(unlimited);
    QCOMPARE(encodedData(image, type, 0), unlimited);
    QBuffer buffer;
    buffer.setData(*unlimited);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    QCOMPARE(reader.format(), format);
    QCOMPARE(reader.read().size(), QSize(40, 30));
}

void TestDerivedImageOutput::gifKeepsTransparencyAndColours()
{
    QImage image(30, 20, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    for (int y = 0; y < 20; ++y) {
        for (int x = 0; x < 10; ++x) {
            image.setPixelColor(x, y, Qt::red);
            image.setPixelColor(x + 10, y, Qt::blue);
        }
    }
    const auto bytes = encodedData(image, FileType::gif, std::nullopt);
    QVERIFY(bytes);
    QVERIFY(bytes->startsWith("GIF89a"));
    const QImage back = decoded(*bytes);
    QCOMPARE(back.pixelColor(5, 10), QColor(Qt::red));
    QCOMPARE(back.pixelColor(15, 10), QColor(Qt::blue));
    QCOMPARE(back.pixelColor(25, 10).alpha(), 0);
}

void TestDerivedImageOutput::unencodableImagesGiveNothing()
{
    QVERIFY(!encodedData(QImage(), FileType::png, std::nullopt));
    QVERIFY(!encodedData(QImage(), FileType::jpeg, 1000));
    // A GIF records its width in 16 bits.
    QImage wide(70000, 1, QImage::Format_ARGB32_Premultiplied);
    wide.fill(Qt::red);
    QVERIFY(!encodedData(wide, FileType::gif, std::nullopt));

    QTemporaryDir folder;
    QVERIFY(
        !writeDerivedCopy(wide, fileUrl(folder.path(), "a.gif"), "_markup", "gif", std::nullopt));
    QVERIFY(entries(folder.path()).isEmpty());
}

void TestDerivedImageOutput::writesTheCopyAndNothingElse()
{
    QTemporaryDir folder;
    touch(folder.filePath("photo.png"), "original");
    const QImage image = noise(40, 30);
    const mode_t previousMask = ::umask(022);
    const auto written =
        writeDerivedCopy(image, fileUrl(folder.path(), "photo.png"), "_crop", "png", std::nullopt);
    ::umask(previousMask);
    QCOMPARE(written, fileUrl(folder.path(), "photo_crop.png"));
    QCOMPARE(entries(folder.path()), QStringList({"photo.png", "photo_crop.png"}));
    QCOMPARE(QImage(written->toLocalFile()).convertToFormat(image.format()), image);
    QFile original(folder.filePath("photo.png"));
    QVERIFY(original.open(QIODevice::ReadOnly));
    QCOMPARE(original.readAll(), QByteArray("original"));
    // The copy has the usual permissions, not those of a private temporary file.
    struct stat status;
    QCOMPARE(::stat(QFile::encodeName(written->toLocalFile()).constData(), &status), 0);
    QCOMPARE(status.st_mode & 0777, mode_t(0644));

    const auto second =
        writeDerivedCopy(image, fileUrl(folder.path(), "photo.png"), "_crop", "png", std::nullopt);
    QCOMPARE(second, fileUrl(folder.path(), "photo_crop2.png"));

    // A private photo's copy stays private, and text the decoder found (here a profile that
    // could hold a location) is not written into it.
    QVERIFY(
        QFile::setPermissions(folder.filePath("photo.png"), QFile::ReadOwner | QFile::WriteOwner));
    QImage withText = image;
    withText.setText(QStringLiteral("Raw profile type exif"), QStringLiteral("GPS 48.85 2.35"));
    const auto third = writeDerivedCopy(withText, fileUrl(folder.path(), "photo.png"), "_crop",
                                        "png", std::nullopt);
    QVERIFY(third);
    QCOMPARE(::stat(QFile::encodeName(third->toLocalFile()).constData(), &status), 0);
    QCOMPARE(status.st_mode & 0777, mode_t(0600));
    QVERIFY(QImage(third->toLocalFile()).textKeys().isEmpty());
}

void TestDerivedImageOutput::nameTakenBeforeTheCommitMovesOnToTheNextCounter()
{
    QTemporaryDir folder;
    QStringList chosen;
    const auto written = writeDerivedCopy(noise(8, 8), fileUrl(folder.path(), "a.png"), "_markup",
                                          "png", std::nullopt, [&](const QUrl& target) {
                                              chosen.append(target.fileName());
                                              // Another program takes the first name after it was
                                              // found free.
                                              if (chosen.size() == 1) {
                                                  touch(target.toLocalFile(), "someone else's");
                                              }
                                          });
    QCOMPARE(chosen, QStringList({"a_markup.png", "a_markup2.png"}));
    QCOMPARE(written, fileUrl(folder.path(), "a_markup2.png"));
    QFile taken(folder.filePath("a_markup.png"));
    QVERIFY(taken.open(QIODevice::ReadOnly));
    QCOMPARE(taken.readAll(), QByteArray("someone else's"));
    QCOMPARE(entries(folder.path()), QStringList({"a_markup.png", "a_markup2.png"}));
}

void TestDerivedImageOutput::missingFolderWritesNothing()
{
    QTemporaryDir folder;
    QVERIFY(!writeDerivedCopy(noise(8, 8), fileUrl(folder.path(), "gone/a.png"), "_crop", "png",
                              std::nullopt));
    QVERIFY(!writeDerivedCopy(noise(8, 8), QUrl("https://example.com/a.png"), "_crop", "png",
                              std::nullopt));
    QVERIFY(entries(folder.path()).isEmpty());
}

void TestDerivedImageOutput::readOnlyFolderWritesNothing()
{
    if (::geteuid() == 0) {
        QSKIP("the superuser writes into read-only folders");
    }
    QTemporaryDir folder;
    QVERIFY(QFile::setPermissions(folder.path(), QFileDevice::ReadOwner | QFileDevice::ExeOwner));
    const auto written = writeDerivedCopy(noise(8, 8), fileUrl(folder.path(), "a.png"), "_crop",
                                          "png", std::nullopt);
    QFile::setPermissions(folder.path(),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    QVERIFY(!written);
    QVERIFY(entries(folder.path()).isEmpty());
}

void TestDerivedImageOutput::fullDiskLeavesNoFileBehind()
{
    // A file size limit makes writes fail as on a full disk.
    QTemporaryDir folder;
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit previous{};
    QCOMPARE(::getrlimit(RLIMIT_FSIZE, &previous), 0);
    rlimit small = previous;
    small.rlim_cur = 1000;
    QCOMPARE(::setrlimit(RLIMIT_FSIZE, &small), 0);
    const auto written = writeDerivedCopy(noise(100, 100), fileUrl(folder.path(), "a.png"), "_crop",
                                          "png", std::nullopt);
    ::setrlimit(RLIMIT_FSIZE, &previous);
    std::signal(SIGXFSZ, previousHandler);
    QVERIFY(!written);
    QVERIFY(entries(folder.path()).isEmpty());
}

QTEST_MAIN(TestDerivedImageOutput)
#include "tst_derivedimageoutput.moc"
