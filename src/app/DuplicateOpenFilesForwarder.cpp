#include "DuplicateOpenFilesForwarder.h"

#include "DuplicateLaunchRequest.h"
#include "DuplicateLaunchRequestStore.h"
#include "ImageSequence.h"
#include "WeakCallback.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFileOpenEvent>
#include <QTimer>

DuplicateOpenFilesForwarder::DuplicateOpenFilesForwarder(SingleInstanceConfiguration configuration,
                                                         QObject* parent)
    : QObject(parent), m_configuration(std::move(configuration))
{}

void DuplicateOpenFilesForwarder::start()
{
    QCoreApplication::instance()->installEventFilter(this);
    QTimer::singleShot(waitForOpenEventMs, this,
                       bindWeak(this, [](DuplicateOpenFilesForwarder* forwarder) {
                           if (!forwarder->m_receivedOpenEvent) {
                               QCoreApplication::quit();
                           }
                       }));
}

bool DuplicateOpenFilesForwarder::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == QCoreApplication::instance() && event->type() == QEvent::FileOpen) {
        openFiles({static_cast<QFileOpenEvent*>(event)->file()});
        return true;
    }
    return false;
}

bool DuplicateOpenFilesForwarder::openFiles(const QStringList& paths)
{
    m_receivedOpenEvent = true;
    DuplicateLaunchRequest request;
    request.createdAt = QDateTime::currentDateTimeUtc();
    for (const QString& path : paths) {
        const QUrl url = ImageSequence::standardized(QUrl::fromLocalFile(path));
        if (!path.isEmpty() && ImageSequence::isImageFile(url)) {
            request.fileURLs.append(url);
        }
    }
    const bool forwarded = !request.fileURLs.isEmpty();
    if (forwarded) {
        // A failure to queue is not reported: the running instance still comes forward.
        DuplicateLaunchRequestStore::post(request, m_configuration);
    }
    QCoreApplication::quit();
    return forwarded;
}
