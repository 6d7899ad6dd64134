#include "BrowserWindow.h"
#include "ImageLoadingPipeline.h"
#include "SystemBeep.h"

#include <QApplication>
#include <QDir>
#include <QUrl>

// vistrel [FILE...]: opens the first image file named on the command line; arguments that
// start with "-" are not files.
int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("vistrel"));
    QApplication::setOrganizationDomain(QStringLiteral("com.dorn.vistrel"));
    SystemBeep::setSink([] { QApplication::beep(); });

    ImageLoadingPipeline pipeline;
    BrowserWindow window(pipeline);
    window.show();

    const QStringList arguments = application.arguments().mid(1);
    for (const QString& argument : arguments) {
        if (argument.startsWith(u'-')) {
            continue;
        }
        const QUrl url = QUrl::fromLocalFile(QDir::current().absoluteFilePath(argument));
        if (window.open(url)) {
            break;
        }
    }
    return QApplication::exec();
}
