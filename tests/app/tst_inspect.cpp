#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

// vistrel-inspect is a user-facing command: these tests run the real binary over the generated
// sample folder and check what it prints and how it exits.
class TestInspect : public QObject
{
    Q_OBJECT

private slots:
    void printsOrientedSizeAndSummary_data();
    void printsOrientedSizeAndSummary();
    void failedFileMarksTheLineAndTheExitStatus();
    void decodesSvgWithText();
    void listsTheSequenceWithTheCurrentFileMarked();
    void refusedListPrintsNothing();
    void printsFramesLoopsAndDurations_data();
    void printsFramesLoopsAndDurations();
    void exportShowsEveryOrientationUpright_data();
    void exportShowsEveryOrientationUpright();
    void exportOfARefusedFileWritesNothing();

private:
    struct Run
    {
        int exitCode;
        QStringList lines;
    };
    static Run inspect(const QStringList& arguments);
    static QString sample(const QString& name)
    {
        return QDir(QStringLiteral(VISTREL_SAMPLES_DIR)).filePath(name);
    }
};

TestInspect::Run TestInspect::inspect(const QStringList& arguments)
{
    QProcess process;
    process.start(QStringLiteral(VISTREL_INSPECT), arguments);
    if (!process.waitForFinished(60000)) {
        return {-1, {}};
    }
    const QString output = QString::fromUtf8(process.readAllStandardOutput());
    return {process.exitCode(), output.split(u'\n', Qt::SkipEmptyParts)};
}

void TestInspect::printsOrientedSizeAndSummary_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("size");
    QTest::addColumn<QString>("summaryStart");
    // The samples store orientations 5 to 8 as tall pictures that a quarter turn makes wide:
    // the bitmap comes out wide while the summary keeps the stored (tall) size.
    QTest::newRow("upright") << QStringLiteral("Orientation_1.jpg") << QStringLiteral("480x320")
                             << QStringLiteral("480x320 px \u2022 Test Camera 100 \u2022 ");
    QTest::newRow("mirrored") << QStringLiteral("Orientation_2.jpg") << QStringLiteral("480x320")
                              << QStringLiteral("480x320 px");
    QTest::newRow("quarter turn") << QStringLiteral("Orientation_6.jpg")
                                  << QStringLiteral("480x320") << QStringLiteral("320x480 px");
    QTest::newRow("transverse") << QStringLiteral("Orientation_7.jpg") << QStringLiteral("480x320")
                                << QStringLiteral("320x480 px");
    QTest::newRow("png without metadata")
        << QStringLiteral("IMG_1.png") << QStringLiteral("640x480") << QStringLiteral("640x480 px");
}

void TestInspect::printsOrientedSizeAndSummary()
{
    QFETCH(QString, file);
    QFETCH(QString, size);
    QFETCH(QString, summaryStart);
    const Run run = inspect({sample(file)});
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(run.lines.size(), 1);
    const QStringList fields = run.lines.first().split(u'\t');
    QCOMPARE(fields.size(), 2);
    QCOMPARE(fields.at(0), size);
    QVERIFY2(fields.at(1).startsWith(summaryStart), qPrintable(fields.at(1)));
}

void TestInspect::failedFileMarksTheLineAndTheExitStatus()
{
    QTemporaryDir dir;
    QFile broken(dir.filePath(QStringLiteral("broken.jpg")));
    QVERIFY(broken.open(QIODevice::WriteOnly));
    broken.write("\xff\xd8\xff\xe0 not really a JPEG");
    broken.close();

    const Run run = inspect({sample(QStringLiteral("IMG_1.png")), broken.fileName(),
                             dir.filePath(QStringLiteral("missing.png"))});
    QCOMPARE(run.exitCode, 1);
    QCOMPARE(run.lines.size(), 3);
    QVERIFY(run.lines.at(0).startsWith(QStringLiteral("640x480\t")));
    QCOMPARE(run.lines.at(1), QStringLiteral("-\terror: cannot decode"));
    QCOMPARE(run.lines.at(2), QStringLiteral("-\terror: no such file"));
}

void TestInspect::decodesSvgWithText()
{
    QTemporaryDir dir;
    QFile svg(dir.filePath(QStringLiteral("label.svg")));
    QVERIFY(svg.open(QIODevice::WriteOnly));
    svg.write(R"(<svg xmlns="http://www.w3.org/2000/svg" width="120" height="40">)"
              R"(<text x="4" y="30" font-size="24">Label</text></svg>)");
    svg.close();
    const Run run = inspect({svg.fileName(), sample(QStringLiteral("IMG_1.png"))});
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(run.lines.size(), 2);
    QVERIFY2(run.lines.at(0).startsWith(QStringLiteral("120x40\t120x40 px")),
             qPrintable(run.lines.at(0)));
}

void TestInspect::listsTheSequenceWithTheCurrentFileMarked()
{
    const Run run = inspect({QStringLiteral("--list"), sample(QStringLiteral("IMG_2.jpg"))});
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(run.lines.mid(0, 3),
             (QStringList{QStringLiteral("IMG_1.png"), QStringLiteral("*IMG_2.jpg"),
                          QStringLiteral("IMG_3.gif")}));
    QVERIFY(run.lines.indexOf(QStringLiteral("img_10.JPG")) >
            run.lines.indexOf(QStringLiteral("IMG_9.png")));
    QCOMPARE(run.lines.filter(QStringLiteral("*")).size(), 1);
    QVERIFY(!run.lines.contains(QStringLiteral("Notes.txt")));
    QVERIFY(!run.lines.contains(QStringLiteral(".hidden.png")));
    QVERIFY(!run.lines.contains(QStringLiteral("IMG_0.png")));
}

void TestInspect::refusedListPrintsNothing()
{
    for (const QString& file :
         {sample(QStringLiteral(".hidden.png")), sample(QStringLiteral("Notes.txt")),
          sample(QStringLiteral("gone.png"))}) {
        const Run run = inspect({QStringLiteral("--list"), file});
        QCOMPARE(run.exitCode, 1);
        QVERIFY(run.lines.isEmpty());
    }
}

namespace {

// The mean difference per channel of two images of one size, in levels (0 to 255).
double meanDifference(const QImage& first, const QImage& second)
{
    const QImage a = first.convertToFormat(QImage::Format_RGB32);
    const QImage b = second.convertToFormat(QImage::Format_RGB32);
    double sum = 0;
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y);
            const QRgb q = b.pixel(x, y);
            sum += std::abs(qRed(p) - qRed(q)) + std::abs(qGreen(p) - qGreen(q)) +
                   std::abs(qBlue(p) - qBlue(q));
        }
    }
    return sum / (3.0 * a.width() * a.height());
}

} // namespace

void TestInspect::printsFramesLoopsAndDurations_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("line");
    // A 1x1 GIF: frames of 0 and 25 hundredths of a second, repeated twice after the first play.
    const QByteArray frame("\x2C\0\0\0\0\x01\0\x01\0\0\x02\x02\x44\x01\0", 15);
    const QByteArray gif = QByteArray("GIF89a\x01\0\x01\0\x80\0\0\0\0\0\xFF\xFF\xFF", 19) +
                           QByteArray("\x21\xFF\x0BNETSCAPE2.0\x03\x01\x02\0\0", 19) +
                           QByteArray("\x21\xF9\x04\0\0\0\0\0", 8) + frame +
                           QByteArray("\x21\xF9\x04\0\x19\0\0\0", 8) + frame + QByteArray("\x3B");
    QTest::newRow("animated gif") << gif << 0 << QStringLiteral("2\t3\t100,250");
    QFile avif(sample(QStringLiteral("IMG_15 anim.avif")));
    QVERIFY(avif.open(QIODevice::ReadOnly));
    QTest::newRow("avif sequence")
        << avif.readAll() << 0 << QStringLiteral("12\t0\t") + QStringList(12, "100").join(',');
    QTest::newRow("still") << QByteArray() << 0 << QStringLiteral("1\t1\t0");
    QTest::newRow("missing") << QByteArray() << 1 << QStringLiteral("-\terror: no such file");
}

void TestInspect::printsFramesLoopsAndDurations()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, exitCode);
    QFETCH(QString, line);
    QTemporaryDir dir;
    QString path = dir.filePath(QStringLiteral("missing.gif"));
    if (!bytes.isEmpty()) {
        QFile file(dir.filePath(QStringLiteral("animated.gif")));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(bytes);
        path = file.fileName();
    } else if (exitCode == 0) {
        path = sample(QStringLiteral("IMG_1.png"));
    }
    const Run run = inspect({QStringLiteral("--frames"), path});
    QCOMPARE(run.exitCode, exitCode);
    QCOMPARE(run.lines, QStringList{line});
}

void TestInspect::exportShowsEveryOrientationUpright_data()
{
    QTest::addColumn<int>("orientation");
    QTest::addColumn<int>("scaledSide");
    for (int orientation = 2; orientation <= 8; ++orientation) {
        QTest::addRow("orientation %d in full", orientation) << orientation << 0;
        QTest::addRow("orientation %d scaled", orientation) << orientation << 120;
    }
}

// The orientation samples all show the same upright picture once their tag is applied, so
// each exported bitmap matches the untagged one's.
void TestInspect::exportShowsEveryOrientationUpright()
{
    QFETCH(int, orientation);
    QFETCH(int, scaledSide);
    QTemporaryDir dir;
    const auto exported = [&](int tag) {
        const QString out = dir.filePath(QStringLiteral("%1.png").arg(tag));
        const QString file = sample(QStringLiteral("Orientation_%1.jpg").arg(tag));
        const QStringList arguments = scaledSide > 0
                                          ? QStringList{QStringLiteral("--export-scaled"),
                                                        QString::number(scaledSide), file, out}
                                          : QStringList{QStringLiteral("--export"), file, out};
        const Run run = inspect(arguments);
        return run.exitCode == 0 && run.lines.size() == 1 ? QImage(out) : QImage();
    };
    const QImage upright = exported(1);
    const QImage image = exported(orientation);
    QVERIFY(!upright.isNull());
    QVERIFY(!image.isNull());
    QCOMPARE(image.size(), upright.size());
    if (scaledSide > 0) {
        QVERIFY(std::max(image.width(), image.height()) >= scaledSide);
        QVERIFY(image.width() < 480);
    } else {
        QCOMPARE(image.size(), QSize(480, 320));
    }
    QVERIFY2(meanDifference(image, upright) < 6,
             qPrintable(QString::number(meanDifference(image, upright))));
}

void TestInspect::exportOfARefusedFileWritesNothing()
{
    QTemporaryDir dir;
    const QString out = dir.filePath(QStringLiteral("out.png"));
    const Run missing =
        inspect({QStringLiteral("--export"), dir.filePath(QStringLiteral("missing.png")), out});
    QCOMPARE(missing.exitCode, 1);
    QCOMPARE(missing.lines, QStringList{QStringLiteral("-\terror: no such file")});
    const Run scaled = inspect({QStringLiteral("--export-scaled"), QStringLiteral("64"),
                                dir.filePath(QStringLiteral("missing.png")), out});
    QCOMPARE(scaled.exitCode, 1);
    QVERIFY(!QFile::exists(out));
    const Run unwritable = inspect({QStringLiteral("--export"), sample(QStringLiteral("IMG_1.png")),
                                    dir.filePath(QStringLiteral("no/such/folder/out.png"))});
    QCOMPARE(unwritable.exitCode, 1);
    QVERIFY(unwritable.lines.value(0).startsWith(QStringLiteral("-\terror: cannot write")));
}

QTEST_GUILESS_MAIN(TestInspect)
#include "tst_inspect.moc"
