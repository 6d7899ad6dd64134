#pragma once

#include "SingleInstanceConfiguration.h"

#include <QObject>
#include <QStringList>

// The event loop of a second launch that brought no file arguments: files may still come as a
// desktop open-documents event. Those that name images are handed to the running instance; the
// process ends at once after such an event, or one second after start without one.
class DuplicateOpenFilesForwarder : public QObject
{
    Q_OBJECT

public:
    static constexpr int waitForOpenEventMs = 1000;

    explicit DuplicateOpenFilesForwarder(SingleInstanceConfiguration configuration,
                                         QObject* parent = nullptr);

    // Watches the application for open-documents events and schedules the end; call once the
    // application object exists.
    void start();
    // Forwards the images among `paths` and ends the application; false when none was an image.
    bool openFiles(const QStringList& paths);
    bool receivedOpenEvent() const { return m_receivedOpenEvent; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    SingleInstanceConfiguration m_configuration;
    bool m_receivedOpenEvent = false;
};
