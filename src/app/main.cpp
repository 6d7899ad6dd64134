#include "ImageLoadingPipeline.h"
#include "SystemBeep.h"
#include "ViewerPresenter.h"
#include "ViewerWindowController.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QUrl>
#include <optional>

namespace {

// The first argument that names an existing file, before the application object exists to
// strip its own options: a guess that is only used to start decoding early.
QUrl likelyFirstFile(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i) {
        const QString argument = QString::fromLocal8Bit(argv[i]);
        if (!argument.startsWith(u'-') && QFileInfo(argument).isFile()) {
            return QUrl::fromLocalFile(QFileInfo(argument).absoluteFilePath());
        }
    }
    return {};
}

} // namespace

// vistrel [FILE...]: opens the first image file named on the command line; arguments that
// start with "-" are not files.
int main(int argc, char** argv)
{
    // The first image decodes on the pipeline's worker while Qt starts up and builds the
    // window, instead of after it. The window is not there yet to say its size: its initial
    // one at a device pixel ratio of 1 is assumed; a larger real fit decodes a new preview.
    // The pipeline is destroyed before the application, so a decode still running at quit
    // (a vector image needs the application's fonts) finishes while they exist.
    std::optional<ImageLoadingPipeline> pipeline(std::in_place);
    if (const QUrl first = likelyFirstFile(argc, argv); !first.isEmpty()) {
        pipeline->startLoading(first, ViewerWindowController::initialContentSize);
    }

    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("vistrel"));
    QApplication::setOrganizationDomain(QStringLiteral("com.dorn.vistrel"));
    SystemBeep::setSink([] { QApplication::beep(); });

    int status = 0;
    {
        ViewerPresenter presenter(*pipeline);
        presenter.showWindow();

        const QStringList arguments = application.arguments().mid(1);
        for (const QString& argument : arguments) {
            if (argument.startsWith(u'-')) {
                continue;
            }
            const QUrl url = QUrl::fromLocalFile(QDir::current().absoluteFilePath(argument));
            if (presenter.open(url)) {
                break;
            }
        }
        status = QApplication::exec();
    }
    pipeline.reset();
    return status;
}
