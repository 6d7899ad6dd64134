#include "ImageLoadingPipeline.h"
#include "ImageSequence.h"

#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QGuiApplication>
#include <QTextStream>
#include <optional>

// vistrel-inspect FILE...      WIDTHxHEIGHT<TAB>SUMMARY per file, as the viewer decodes it
// vistrel-inspect --list FILE  the folder's image sequence starting at FILE, current one marked *
//
// Exit status 1 when any file does not decode, or when the sequence refuses FILE.

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

int inspectFiles(const QStringList& arguments, QTextStream& out)
{
    ImageLoadingPipeline pipeline;
    QObject context;
    int status = 0;
    for (const QString& argument : arguments) {
        std::optional<LoadedImage> loaded;
        QEventLoop loop;
        pipeline.image(urlForArgument(argument), &context,
                       [&](const std::optional<LoadedImage>& result) {
                           loaded = result;
                           loop.quit();
                       });
        loop.exec();
        if (loaded) {
            out << loaded->cgImage.width() << 'x' << loaded->cgImage.height() << '\t'
                << loaded->metadata << '\n';
        } else {
            out << "-\terror: " << failureReason(argument) << '\n';
            status = 1;
        }
    }
    return status;
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
    if (arguments.isEmpty() || arguments.first().startsWith(QStringLiteral("--"))) {
        err << "usage: vistrel-inspect FILE...\n       vistrel-inspect --list FILE\n";
        return 2;
    }
    return inspectFiles(arguments, out);
}
