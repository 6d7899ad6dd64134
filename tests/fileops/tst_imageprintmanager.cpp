#include "ImagePrintManager.h"
#include "PrintableImageView.h"
#include "TestImageFiles.h"

#include <QColorSpace>
#include <QDebug>
#include <QFile>
#include <QPainter>
#include <QPrinter>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>

namespace {

// Dots per metre for a bitmap of `dpi` dots per inch.
int dotsPerMetre(double dpi)
{
    return qRound(dpi / 0.0254);
}

// The bounding box of the pixels that are not white; null when the page is blank.
QRect drawnBox(const QImage& page)
{
    QRect box;
    for (int y = 0; y < page.height(); ++y)
        for (int x = 0; x < page.width(); ++x)
            if (page.pixelColor(x, y) != QColor(Qt::white))
                box |= QRect(x, y, 1, 1);
    return box;
}

// The number of pages in a PDF file: its page objects, not the page tree ("/Pages").
int pdfPageCount(const QString& path)
{
    static const QRegularExpression pageObject(QStringLiteral("/Type\\s*/Page(?![a-zA-Z])"));
    const QString text = QString::fromLatin1(TestImageFiles::readBytes(path));
    int count = 0;
    for (auto it = pageObject.globalMatch(text); it.hasNext(); it.next())
        ++count;
    return count;
}

} // namespace

class ImagePrintManagerTest : public QObject
{
    Q_OBJECT

private slots:
    void imageRectFitsInsideTheBorder_data();
    void imageRectFitsInsideTheBorder();
    void paintDrawsTheImageInItsBox_data();
    void paintDrawsTheImageInItsBox();
    void printsOnePageJobPerImage_data();
    void printsOnePageJobPerImage();
    void jobsToAFileDoNotOverwriteEachOther();
    void loadsImagesTheWayTheViewerShowsThem();
};

void ImagePrintManagerTest::imageRectFitsInsideTheBorder_data()
{
    QTest::addColumn<QSizeF>("image");
    QTest::addColumn<QRectF>("page");
    QTest::addColumn<QRectF>("expected");

    const QRectF letter(0, 0, 612, 792);
    QTest::newRow("wide image fills the width")
        << QSizeF(4000, 1000) << letter << QRectF(24, 325.5, 564, 141);
    QTest::newRow("tall image fills the height")
        << QSizeF(500, 2000) << letter << QRectF(213, 24, 186, 744);
    QTest::newRow("tiny image is enlarged")
        << QSizeF(10, 10) << letter << QRectF(24, 114, 564, 564);
    QTest::newRow("page away from the origin")
        << QSizeF(4000, 1000) << QRectF(-100, 50, 612, 792) << QRectF(-76, 375.5, 564, 141);
    QTest::newRow("image without area") << QSizeF(0, 100) << letter << QRectF();
    QTest::newRow("page smaller than the border")
        << QSizeF(10, 10) << QRectF(0, 0, 40, 40) << QRectF();
}

void ImagePrintManagerTest::imageRectFitsInsideTheBorder()
{
    QFETCH(QSizeF, image);
    QFETCH(QRectF, page);
    QFETCH(QRectF, expected);

    QCOMPARE(PrintableImageView::imageRect(image, page, 24), expected);
}

void ImagePrintManagerTest::paintDrawsTheImageInItsBox_data()
{
    QTest::addColumn<double>("dpi");
    QTest::addColumn<QSize>("imageSize");
    QTest::addColumn<QRect>("expected");

    // A 306 x 396 point page; the border is 24 points, 48 device pixels at 144 dpi.
    QTest::newRow("points") << 72.0 << QSize(200, 100) << QRect(24, 134, 258, 129);
    QTest::newRow("double resolution") << 144.0 << QSize(200, 100) << QRect(48, 267, 516, 258);
    QTest::newRow("tall image") << 72.0 << QSize(30, 90) << QRect(95, 24, 116, 348);
    QTest::newRow("no image") << 72.0 << QSize() << QRect();
}

void ImagePrintManagerTest::paintDrawsTheImageInItsBox()
{
    QFETCH(double, dpi);
    QFETCH(QSize, imageSize);
    QFETCH(QRect, expected);

    QImage image;
    if (imageSize.isValid()) {
        image = QImage(imageSize, QImage::Format_RGB32);
        image.fill(Qt::red);
    }
    const double scale = dpi / 72.0;
    QImage page(qRound(306 * scale), qRound(396 * scale), QImage::Format_RGB32);
    page.setDotsPerMeterX(dotsPerMetre(dpi));
    page.setDotsPerMeterY(dotsPerMetre(dpi));
    page.fill(Qt::black);
    {
        QPainter painter(&page);
        PrintableImageView(image).paint(painter, QRectF(page.rect()));
    }

    QCOMPARE(page.pixelColor(0, 0), QColor(Qt::white));
    const QRect box = drawnBox(page);
    QCOMPARE(box.isNull(), expected.isNull());
    if (expected.isNull())
        return;
    const int error =
        std::max({qAbs(box.left() - expected.left()), qAbs(box.top() - expected.top()),
                  qAbs(box.right() - expected.right()), qAbs(box.bottom() - expected.bottom())});
    QVERIFY2(error <= 1, qPrintable(QDebug::toString(box)));
    QCOMPARE(page.pixelColor(box.center()), QColor(Qt::red));
}

void ImagePrintManagerTest::printsOnePageJobPerImage_data()
{
    QTest::addColumn<QStringList>("files"); // "ok" a readable image, "bad" an unreadable file
    QTest::addColumn<bool>("confirmAnswer");
    QTest::addColumn<int>("failingPosition"); // a job whose output cannot be written, or -1
    QTest::addColumn<int>("expectedConfirmations");
    QTest::addColumn<QList<int>>("expectedPages"); // the positions that printed, in order

    const QStringList three{"ok", "ok", "ok"};
    QTest::newRow("three images") << three << true << -1 << 1 << QList<int>{0, 1, 2};
    QTest::newRow("cancelled") << three << false << -1 << 1 << QList<int>{};
    QTest::newRow("unreadable file skipped")
        << QStringList{"ok", "bad", "ok"} << true << -1 << 1 << QList<int>{0, 2};
    QTest::newRow("unreadable first prints the rest unasked")
        << QStringList{"bad", "ok", "ok"} << false << -1 << 0 << QList<int>{1, 2};
    QTest::newRow("first job failing stops") << three << true << 0 << 1 << QList<int>{};
    QTest::newRow("later job failing is passed over")
        << three << true << 1 << 1 << QList<int>{0, 2};
}

void ImagePrintManagerTest::printsOnePageJobPerImage()
{
    QFETCH(QStringList, files);
    QFETCH(bool, confirmAnswer);
    QFETCH(int, failingPosition);
    QFETCH(int, expectedConfirmations);
    QFETCH(QList<int>, expectedPages);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QList<QUrl> urls;
    for (int i = 0; i < files.size(); ++i) {
        const QString path = dir.filePath(QStringLiteral("image%1.png").arg(i));
        if (files.at(i) == QLatin1String("ok")) {
            QImage image(QSize(120 + 40 * i, 80), QImage::Format_RGB32);
            image.fill(QColor::fromHsv(100 * i, 200, 200));
            QVERIFY(image.save(path));
        } else {
            QVERIFY(TestImageFiles::writeBytes(path, "not an image"));
        }
        urls.append(QUrl::fromLocalFile(path));
    }
    auto outputPath = [&](int position) {
        return position == failingPosition
                   ? dir.filePath(QStringLiteral("missing/job%1.pdf").arg(position))
                   : dir.filePath(QStringLiteral("job%1.pdf").arg(position));
    };

    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    int confirmations = 0;
    ImagePrintManager::PrintSetup setup;
    setup.printer = &printer;
    setup.confirm = [&](QPrinter& confirmed, QWidget*) {
        ++confirmations;
        confirmed.setOutputFormat(QPrinter::PdfFormat);
        return confirmAnswer;
    };
    setup.prepareJob = [&](QPrinter& job, int position) {
        job.setOutputFileName(outputPath(position));
    };

    const int printed = ImagePrintManager::printImages(urls, nullptr, setup);

    QCOMPARE(confirmations, expectedConfirmations);
    QCOMPARE(printed, expectedPages.size());
    for (int position = 0; position < files.size(); ++position) {
        const QString path = outputPath(position);
        QCOMPARE(QFile::exists(path), expectedPages.contains(position));
        if (expectedPages.contains(position))
            QCOMPARE(pdfPageCount(path), 1);
    }
}

// Printing to a file without a name per job: the jobs after the first get numbered names
// instead of overwriting one another, and the printer keeps the chosen name.
void ImagePrintManagerTest::jobsToAFileDoNotOverwriteEachOther()
{
    QTemporaryDir dir;
    QList<QUrl> urls;
    for (int i = 0; i < 3; ++i) {
        QImage image(30 + i, 20, QImage::Format_RGB32);
        image.fill(Qt::darkGreen);
        const QString path = dir.filePath(QStringLiteral("%1.png").arg(i));
        QVERIFY(image.save(path));
        urls.append(QUrl::fromLocalFile(path));
    }
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    const QString chosen = dir.filePath(QStringLiteral("out.pdf"));
    printer.setOutputFileName(chosen);
    ImagePrintManager::PrintSetup setup;
    setup.printer = &printer;
    QCOMPARE(ImagePrintManager::printImages(urls, nullptr, setup), 3);
    for (const char* name : {"out.pdf", "out-2.pdf", "out-3.pdf"}) {
        QCOMPARE(pdfPageCount(dir.filePath(QString::fromLatin1(name))), 1);
    }
    QCOMPARE(printer.outputFileName(), chosen);
}

void ImagePrintManagerTest::loadsImagesTheWayTheViewerShowsThem()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("turned.jpg"));
    QVERIFY(TestImageFiles::writeJpeg(path, TestImageFiles::quadrants(QSize(80, 40))));
    QVERIFY(TestImageFiles::writeExif(
        path, {{QStringLiteral("Exif.Image.Orientation"), QStringLiteral("6")}}));

    const QImage loaded = ImagePrintManager::loadImage(QUrl::fromLocalFile(path));
    QCOMPARE(loaded.size(), QSize(40, 80));
    // Turned a quarter clockwise, the bottom-left quadrant comes to the top left.
    QVERIFY(TestImageFiles::isNear(loaded.pixelColor(5, 5), TestImageFiles::bottomLeftColour));

    // A wide-gamut image prints in sRGB, as the canvas shows it.
    const QString widePath = dir.filePath(QStringLiteral("wide.png"));
    QImage wide(QSize(8, 8), QImage::Format_RGB32);
    const QColor stored(100, 150, 200);
    wide.fill(stored);
    wide.setColorSpace(QColorSpace(QColorSpace::DisplayP3));
    QVERIFY(wide.save(widePath));
    const QImage converted = ImagePrintManager::loadImage(QUrl::fromLocalFile(widePath));
    QCOMPARE(converted.colorSpace(), QColorSpace(QColorSpace::SRgb));
    QVERIFY(converted.pixelColor(0, 0) != stored);

    QVERIFY(ImagePrintManager::loadImage(QUrl::fromLocalFile(dir.filePath("absent.png"))).isNull());
    QVERIFY(
        ImagePrintManager::loadImage(QUrl(QStringLiteral("https://example.com/a.png"))).isNull());
}

QTEST_MAIN(ImagePrintManagerTest)
#include "tst_imageprintmanager.moc"
