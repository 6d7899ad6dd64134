#include "ImagePrintManager.h"

#include "DisplayColour.h"
#include "ImageSource.h"
#include "PrintableImageView.h"

#include <QDir>
#include <QFileInfo>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>
#include <optional>

namespace ImagePrintManager {

namespace {

// One page on `printer`, as its own job. The painter's origin is the printable area's corner,
// so the paper is placed relative to it: the layout measures from the paper's edges whatever
// margins the settings carry, and the settings are left as they are.
bool printJob(QPrinter& printer, const PrintableImageView& view)
{
    QPainter painter;
    if (!painter.begin(&printer))
        return false;
    const QRectF paper = printer.paperRect(QPrinter::DevicePixel);
    const QRectF printable = printer.pageRect(QPrinter::DevicePixel);
    view.paint(painter, paper.translated(-printable.topLeft()));
    return painter.end();
}

// "name-2.pdf" for "name.pdf" and 2.
QString numberedFileName(const QString& fileName, int number)
{
    const QFileInfo file(fileName);
    const QString suffix = file.suffix();
    const QString base = suffix.isEmpty() ? file.fileName() : file.completeBaseName();
    return file.dir().filePath(suffix.isEmpty()
                                   ? QStringLiteral("%1-%2").arg(base).arg(number)
                                   : QStringLiteral("%1-%2.%3").arg(base).arg(number).arg(suffix));
}

} // namespace

int printImages(const QList<QUrl>& urls, QWidget* parent, const PrintSetup& setup)
{
    if (!setup.printer)
        return 0;
    QPrinter& printer = *setup.printer;
    int printed = 0;
    // Printing to a file: the jobs after the first get numbered names, so that none overwrites
    // another; the printer keeps the name the user chose.
    std::optional<QString> outputFileName;
    for (int position = 0; position < urls.size(); ++position) {
        const QImage image = loadImage(urls.at(position));
        if (image.isNull())
            continue;
        const bool first = position == 0;
        if (first && setup.confirm && !setup.confirm(printer, parent))
            return 0;
        if (!outputFileName)
            outputFileName = printer.outputFileName();
        if (setup.prepareJob)
            setup.prepareJob(printer, position);
        else if (!outputFileName->isEmpty())
            printer.setOutputFileName(
                printed == 0 ? *outputFileName : numberedFileName(*outputFileName, printed + 1));
        if (printJob(printer, PrintableImageView(image)))
            ++printed;
        else if (first)
            break;
    }
    if (outputFileName && !setup.prepareJob)
        printer.setOutputFileName(*outputFileName);
    return printed;
}

QImage loadImage(const QUrl& url)
{
    if (!url.isLocalFile())
        return {};
    QImage image = ImageSource(url.toLocalFile()).decode(DecodedColours::SRgb);
    if (!image.isNull())
        DisplayColour::convertToSRgb(image);
    return image;
}

bool askWithPrintDialog(QPrinter& printer, QWidget* parent)
{
    QPrintDialog dialog(&printer, parent);
    return dialog.exec() == QDialog::Accepted;
}

} // namespace ImagePrintManager
