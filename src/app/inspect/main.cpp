#include "AnimatedImage.h"
#include "ImageLoadingPipeline.h"
#include "ImageSequence.h"

#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImageWriter>
#include <QTextStream>
#include <optional>

// vistrel-inspect FILE...      WIDTHxHEIGHT<TAB>SUMMARY per file, as the viewer decodes it
// vistrel-inspect --list FILE  the folder's image sequence starting at FILE, current one marked *
// vistrel-inspect --export FILE OUT.png
//                              writes the bitmap the viewer shows (orientation applied, sRGB)
// vistrel-inspect --export-scaled N FILE OUT.png
//                              the same, reduced so that its longest side is at least N pixels
// vistrel-inspect --frames FILE
//                              FRAMES<TAB>LOOPS<TAB>D1,D2,... (display times in ms; loops 0 =
//                              forever); a still image prints 1<TAB>1<TAB>0
// The export modes print FILE's line as the first mode does.
//
// Exit status 1 when any file does not decode or cannot be written, or when the sequence
// refuses FILE.

namespace {

QUrl urlForArgument(const QString& argument)
{
    return QUrl::fromLocalFile(QDir::current().absoluteFilePath(argument));
}

QString failureReason(const QString& argument)
{
    const QFileInfo file(argument);
    if (!file.exists()) {
        return QStringLiteral("no such file");
    }
    if (!ImageSequence::isImageFile(urlForArgument(argument))) {
        return QStringLiteral("not an image file");
    }
    if (!file.isReadable()) {
        return QStringLiteral("not readable");
    }
    return QStringLiteral("cannot decode");
}

std::optional<LoadedImage> loadThroughPipeline(ImageLoadingPipeline& pipeline,
                                               const QString& argument)
{
    QObject context;
    std::optional<LoadedImage> loaded;
    QEventLoop loop;
    pipeline.image(urlForArgument(argument), &context,
                   [&](const std::optional<LoadedImage>& result) {
                       loaded = result;
                       loop.quit();
                   });
    loop.exec();
    return loaded;
}

// Prints the line of one file; false when it did not decode.
bool printLine(const std::optional<LoadedImage>& loaded, const QString& argument, QTextStream& out)
{
    if (!loaded) {
        out << "-\terror: " << failureReason(argument) << '\n';
        return false;
    }
    out << loaded->cgImage.width() << 'x' << loaded->cgImage.height() << '\t' << loaded->metadata
        << '\n';
    return true;
}

int inspectFiles(const QStringList& arguments, QTextStream& out)
{
    ImageLoadingPipeline pipeline;
    int status = 0;
    for (const QString& argument : arguments) {
        if (!printLine(loadThroughPipeline(pipeline, argument), argument, out)) {
            status = 1;
        }
    }
    return status;
}

int exportImage(const std::optional<LoadedImage>& loaded, const QString& argument,
                const QString& outputPath, QTextStream& out)
{
    if (!loaded) {
        printLine(loaded, argument, out);
        return 1;
    }
    QImageWriter writer(outputPath, "png");
    if (!writer.write(loaded->cgImage)) {
        out << "-\terror: cannot write " << outputPath << '\n';
        return 1;
    }
    printLine(loaded, argument, out);
    return 0;
}

int printFrames(const QString& argument, QTextStream& out)
{
    const AnimatedImage image(QDir::current().absoluteFilePath(argument));
    if (!image.isValid()) {
        out << "-\terror: " << failureReason(argument) << '\n';
        return 1;
    }
    QStringList durations;
    for (const int duration : image.frameDurations()) {
        durations.append(QString::number(duration));
    }
    out << image.frameCount() << '\t' << image.loopCount() << '\t' << durations.join(u',') << '\n';
    return 0;
}

int listSequence(const QString& argument, QTextStream& out)
{
    ImageSequence sequence;
    if (!sequence.load(urlForArgument(argument))) {
        return 1;
    }
    for (qsizetype i = 0; i < sequence.urls().size(); ++i) {
        out << (i == sequence.currentIndex() ? "*" : "") << sequence.urls().at(i).fileName()
            << '\n';
    }
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    // Some decoders (SVG with text) need fonts, hence a GUI application, but never a display.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QGuiApplication application(argc, argv);
    QTextStream out(stdout);
    QTextStream err(stderr);
    const QStringList arguments = application.arguments().mid(1);
    if (arguments.size() == 2 && arguments.first() == QStringLiteral("--list")) {
        return listSequence(arguments.at(1), out);
    }
    if (arguments.size() == 2 && arguments.first() == QStringLiteral("--frames")) {
        return printFrames(arguments.at(1), out);
    }
    if (arguments.size() == 3 && arguments.first() == QStringLiteral("--export")) {
        ImageLoadingPipeline pipeline;
        return exportImage(loadThroughPipeline(pipeline, arguments.at(1)), arguments.at(1),
                           arguments.at(2), out);
    }
    bool isSide = false;
    const int side = arguments.size() == 4 ? arguments.at(1).toInt(&isSide) : 0;
    if (arguments.size() == 4 && arguments.first() == QStringLiteral("--export-scaled") && isSide &&
        side > 0) {
        return exportImage(
            ImageLoadingPipeline::loadScaledImage(urlForArgument(arguments.at(2)), side),
            arguments.at(2), arguments.at(3), out);
    }
    if (arguments.isEmpty() || arguments.first().startsWith(QStringLiteral("--"))) {
        err << "usage: vistrel-inspect FILE...\n"
               "       vistrel-inspect --list FILE\n"
               "       vistrel-inspect --frames FILE\n"
               "       vistrel-inspect --export FILE OUT.png\n"
               "       vistrel-inspect --export-scaled N FILE OUT.png\n";
        return 2;
    }
    return inspectFiles(arguments, out);
}
