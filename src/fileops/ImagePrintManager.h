#pragma once

#include <QImage>
#include <QList>
#include <QUrl>
#include <functional>

class QPrinter;
class QWidget;

// Prints images, each as its own one-page job laid out by PrintableImageView.
//
// Every job prints on the caller's printer, which carries the settings the user last chose
// (paper, margins, orientation); the jobs only read them. The printer is confirmed once, for
// the first file of the list, and only if that file loads: cancelling there prints nothing at
// all, while a later job that fails is passed over. Files that do not load are skipped
// silently, so when the first one does not load the others print without being confirmed.
// Runs on the main thread; each job is finished when the next starts.
namespace ImagePrintManager {

struct PrintSetup
{
    // The printer every job prints on, kept by the caller (the application keeps one for the
    // process, so the choices made in its print dialog apply to later runs). Required.
    QPrinter* printer = nullptr;
    // Asked for the first file when it loads, before its job: false cancels the whole run.
    // The application shows its print dialog here; askWithPrintDialog does that.
    std::function<bool(QPrinter& printer, QWidget* parent)> confirm;
    // Optional: called right before each job with the file's position in the list (0 for the
    // first), e.g. to give every job its own output file.
    std::function<void(QPrinter& printer, int position)> prepareJob;
};

// Prints `urls` in their order; returns the number of jobs that printed.
int printImages(const QList<QUrl>& urls, QWidget* parent, const PrintSetup& setup);

// The bitmap a job prints for `url`, as the viewer shows it: orientation applied, in sRGB,
// one image pixel per point. Null when the URL is not a local file or the file does not load.
QImage loadImage(const QUrl& url);

// Shows the print dialog for `printer` over `parent`; true when the user chose to print.
bool askWithPrintDialog(QPrinter& printer, QWidget* parent);

} // namespace ImagePrintManager
