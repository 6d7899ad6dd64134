#include "AppDelegate.h"
#include "DuplicateLaunchRequest.h"
#include "DuplicateOpenFilesForwarder.h"
#include "ImageLoadingPipeline.h"
#include "ImageViewerRuntime.h"
#include "MainMenuFactory.h"
#include "SingleInstanceController.h"
#include "SingleInstanceStartupResult.h"
#include "SystemBeep.h"
#include "SystemLog.h"
#include "UserDefaults.h"
#include "ViewerWindowController.h"

#include <QApplication>
#include <QDateTime>
#include <QLayout>
#include <QMenuBar>
#include <QThreadPool>
#include <memory>
#include <optional>
#include <variant>

namespace {

void setUpApplication()
{
    QApplication::setApplicationName(QStringLiteral("vistrel"));
    QApplication::setOrganizationDomain(QStringLiteral("com.dorn.vistrel"));
    QApplication::setDesktopFileName(QStringLiteral("com.dorn.vistrel"));
    SystemBeep::setSink([] { QApplication::beep(); });
}

QString describe(const InstanceLock::Error& error)
{
    return std::visit([](const auto& reason) { return reason.description(); }, error);
}

// A second launch without files: files may still come as an open-documents event.
int runDuplicateOpenFilesForwarder(int argc, char** argv,
                                   const SingleInstanceConfiguration& configuration)
{
#ifdef Q_OS_MACOS
    // Only there does the desktop send files as events; that takes the GUI application.
    QApplication application(argc, argv);
#else
    // Files arrive as arguments: no display is needed (nor may one be reachable) to wait.
    QCoreApplication application(argc, argv);
#endif
    DuplicateOpenFilesForwarder forwarder(configuration);
    forwarder.start();
    return QCoreApplication::exec();
}

// The running viewer: the application, its controller and menu, then the event loop.
int runViewer(int argc, char** argv, const QStringList& arguments, const QList<QUrl>& imageURLs,
              std::unique_ptr<SingleInstanceController> controller)
{
    // A first JPEG decodes on the pipeline's worker while Qt starts up and builds the window,
    // instead of after it (other formats wait for the application object: startLoading()). The
    // window is not there yet to say its size: its initial one at a device pixel ratio of 1 is
    // assumed; a larger real fit decodes a new preview. The pipeline is destroyed after the
    // controller and before the application, so a decode still running at quit (a vector
    // image needs the application's fonts) finishes while they exist.
    std::optional<ImageLoadingPipeline> pipeline(std::in_place);
    // Made here on the main thread: the first smooth reduction would otherwise make Qt's
    // shared thread pool on the pipeline's worker, which ends before the application does.
    QThreadPool::globalInstance();
    if (!imageURLs.isEmpty()) {
        pipeline->startLoading(imageURLs.first(), ViewerWindowController::initialContentSize);
    }
    QApplication application(argc, argv);
    setUpApplication();
    int status = 0;
    {
        AppDelegate delegate(*pipeline, UserDefaults::standard());
        QWidget* window = delegate.windowController().window();
        window->layout()->setMenuBar(MainMenuFactory::makeMainMenu(delegate, window));
        delegate.applicationDidFinishLaunching(controller.get(), arguments);
        status = QApplication::exec();
        delegate.applicationWillTerminate();
    }
    pipeline.reset();
    return status;
}

} // namespace

// vistrel [FILE...]: becomes the running viewer and opens the first image named, or hands the
// files to the viewer already running and ends. Arguments that start with "-" are not files.
int main(int argc, char** argv)
{
    const QStringList arguments = ImageViewerRuntime::arguments(argc, argv);
    const SingleInstanceConfiguration& configuration =
        ImageViewerRuntime::singleInstanceConfiguration();
    DuplicateLaunchRequest request;
    request.fileURLs = ImageViewerRuntime::launchImageURLs(arguments);
    request.createdAt = QDateTime::currentDateTimeUtc();

    SingleInstanceStartupResult result = SingleInstanceController::start(configuration, request);
    switch (result.kind()) {
    case SingleInstanceStartupResult::Case::run:
        return runViewer(argc, argv, arguments, request.fileURLs, result.takeController());
    case SingleInstanceStartupResult::Case::failed:
        SystemLog::error(QStringLiteral("vistrel failed to acquire the single-instance lock: ") +
                         (result.error() ? describe(*result.error()) : QString()));
        return 0;
    case SingleInstanceStartupResult::Case::alreadyRunning:
        // The running instance has the files and was told; without files, wait briefly for an
        // open-documents event.
        return request.isEmpty() ? runDuplicateOpenFilesForwarder(argc, argv, configuration) : 0;
    }
    return 0;
}
