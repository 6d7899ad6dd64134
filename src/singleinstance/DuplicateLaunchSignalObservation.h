#pragma once

#include "FileSystemError.h"

#include <QObject>
#include <QString>
#include <functional>
#include <memory>
#include <sys/types.h>
#include <variant>

class QSocketNotifier;

// One observer of the activation signal: a bound Unix-domain datagram socket whose readability
// calls the handler, once per wake-up however many signals arrived since the last one (the
// signal carries no data, so several are as good as one).
//
// The handler runs on the thread that made the observation, from its event loop. An observation
// made before the application object exists starts listening when that thread's event loop
// first runs; signals sent in between wait in the socket and are delivered then.
class DuplicateLaunchSignalObservation : public QObject
{
public:
    using Result = std::variant<std::unique_ptr<DuplicateLaunchSignalObservation>, FileSystemError>;

    // Binds a socket at `socketPath`, replacing a socket already there (the stale socket of an
    // owner that crashed: only the lock holder binds, so nothing live is lost). Any other entry
    // at that path is left alone and is an error. The socket file is made 0600; its folder must
    // exist and should be private.
    static Result bind(const QString& name, const QString& socketPath,
                       std::function<void()> handler);

    ~DuplicateLaunchSignalObservation() override;

    const QString& name() const { return m_name; }
    const QString& socketPath() const { return m_socketPath; }
    bool isCancelled() const { return m_isCancelled; }

    // Stops observing: closes the socket and removes its file, unless another observer has
    // bound that path since. Does nothing the second time; the destructor cancels too.
    void cancel();

private:
    DuplicateLaunchSignalObservation(QString name, QString socketPath,
                                     std::function<void()> handler, int socketDescriptor);

    void startNotifier();
    void drainAndNotify();

    QString m_name;
    QString m_socketPath;
    std::function<void()> m_handler;
    int m_socketDescriptor;
    dev_t m_socketDevice = 0;
    ino_t m_socketInode = 0;
    std::unique_ptr<QSocketNotifier> m_notifier;
    bool m_isCancelled = false;
};
