#pragma once

#include "DuplicateLaunchRequest.h"
#include "DuplicateLaunchSignalObservation.h"
#include "InstanceLock.h"
#include "SingleInstanceConfiguration.h"

#include <QList>
#include <QObject>
#include <functional>
#include <memory>
#include <optional>

class SingleInstanceStartupResult;

// Decides at start-up whether this process may run, holds the instance lock for the life of the
// process, and hands the requests of later launches to the application. Lives on the main
// thread; its state is touched only there.
class SingleInstanceController : public QObject
{
public:
    using DuplicateLaunchHandler = std::function<void(const QList<DuplicateLaunchRequest>&)>;

    // Several instances allowed by the policy: run, without lock or observation. Otherwise takes
    // the lock and observes the activation signal (run; requests already waiting in the queue
    // make the activation pending at once); when another process holds the lock, queues
    // `duplicateLaunchRequest` for it and signals it (alreadyRunning); on any other lock
    // failure posts the request the same way and reports the error (failed). Failures to queue
    // or signal are not reported. When the lock is taken but a request queue already there is
    // not this user's alone (or a link), or the signal cannot be observed, the lock is released
    // again and the error reported (failed), without queueing anything. A lock folder that is not
    // this user's alone (PrivateFolderError) is reported (failed) without posting anything. May be
    // called before the application object exists.
    static SingleInstanceStartupResult start(const SingleInstanceConfiguration& configuration,
                                             const DuplicateLaunchRequest& duplicateLaunchRequest);

    ~SingleInstanceController() override;

    const SingleInstanceConfiguration& configuration() const { return m_configuration; }
    const InstanceLock* lock() const { return m_lock.get(); }
    const DuplicateLaunchSignalObservation* observation() const { return m_observation.get(); }
    bool isEnforcingSingleInstance() const { return m_lock != nullptr; }
    // A signal arrived while no handler was installed; its requests still wait on disk.
    bool pendingActivation() const { return m_pendingActivation; }

    // Replaces the handler of forwarded launches. Each signal then consumes every waiting
    // request and calls it with the list, earliest first, also when the list is empty (a launch
    // without files still brings the instance forward). Signals that came before are delivered
    // at once. Main thread only.
    void setDuplicateLaunchHandler(DuplicateLaunchHandler handler);

    // As setDuplicateLaunchHandler, for a caller that does not want the requests: they are
    // consumed (deleted) and the callback is called without them.
    void setActivationHandler(std::function<void()> handler);

private:
    SingleInstanceController(SingleInstanceConfiguration configuration,
                             std::unique_ptr<InstanceLock> lock);

    // The error when the activation socket cannot be bound.
    std::optional<FileSystemError> startObserving();
    void receiveActivationSignal();
    void deliverPendingRequests();

    SingleInstanceConfiguration m_configuration;
    std::unique_ptr<InstanceLock> m_lock;
    // Declared after the lock so that it ends first: the socket goes while the lock is held.
    std::unique_ptr<DuplicateLaunchSignalObservation> m_observation;
    DuplicateLaunchHandler m_activationHandler;
    bool m_pendingActivation = false;
};
