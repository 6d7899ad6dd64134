#include "SingleInstanceController.h"

#include "DuplicateLaunchRequestStore.h"
#include "DuplicateLaunchSignal.h"
#include "PrivateFolder.h"
#include "SingleInstanceStartupResult.h"

#include <QFile>
#include <QPointer>
#include <cerrno>
#include <sys/stat.h>

namespace {

// The request queue is made by the first launch that queues something. One already there must be
// this user's alone (one of ours open to others is narrowed): whoever else can write to it could
// hand this instance requests, and a link there is never read.
std::optional<InstanceLock::Error>
requirePrivateQueue(const SingleInstanceConfiguration& configuration)
{
    const QString queue = configuration.duplicateLaunchRequestsURL().toLocalFile();
    struct stat entry = {};
    if (::lstat(QFile::encodeName(queue).constData(), &entry) != 0 && errno == ENOENT) {
        return std::nullopt;
    }
    const PrivateFolder::OpenResult opened =
        PrivateFolder::open(queue, PrivateFolder::Link::refused);
    if (const auto* error = std::get_if<PrivateFolder::Error>(&opened)) {
        return std::visit(
            [](const auto& alternative) -> InstanceLock::Error { return alternative; }, *error);
    }
    return std::nullopt;
}

} // namespace

SingleInstanceController::SingleInstanceController(SingleInstanceConfiguration configuration,
                                                   std::unique_ptr<InstanceLock> lock)
    : m_configuration(std::move(configuration)), m_lock(std::move(lock))
{}

SingleInstanceController::~SingleInstanceController() = default;

SingleInstanceStartupResult
SingleInstanceController::start(const SingleInstanceConfiguration& configuration,
                                const DuplicateLaunchRequest& duplicateLaunchRequest)
{
    if (configuration.policy().allowsMultipleInstances()) {
        return SingleInstanceStartupResult::run(std::unique_ptr<SingleInstanceController>(
            new SingleInstanceController(configuration, nullptr)));
    }

    InstanceLock::AcquireResult acquired = InstanceLock::acquire(configuration.lockURL());
    if (auto* lock = std::get_if<std::unique_ptr<InstanceLock>>(&acquired)) {
        std::unique_ptr<SingleInstanceController> controller(
            new SingleInstanceController(configuration, std::move(*lock)));
        // As when observing fails below, the controller ends here and the lock goes with it.
        if (auto error = requirePrivateQueue(configuration)) {
            return SingleInstanceStartupResult::failed(*error);
        }
        if (auto error = controller->startObserving()) {
            // Holding the lock without hearing later launches would make each of them hand its
            // files to an instance that never reads them. The controller ends here, releasing
            // the lock. Nothing is queued: this process opens its own files.
            return SingleInstanceStartupResult::failed(*error);
        }
        // Requests that were queued before the socket existed sent their signal to nobody
        // (a launch between taking the lock and binding, or an owner that crashed before
        // reading them); any later one signals this socket.
        if (DuplicateLaunchRequestStore::hasPending(configuration)) {
            controller->receiveActivationSignal();
        }
        return SingleInstanceStartupResult::run(std::move(controller));
    }

    // Whoever holds the lock (or whatever broke it), hand the request over; a failure to do so
    // does not change the answer. A lock folder that is not ours alone gets nothing: whoever
    // controls it would read our files' names and answer our signal.
    const InstanceLock::Error& error = std::get<InstanceLock::Error>(acquired);
    if (std::holds_alternative<PrivateFolderError>(error)) {
        return SingleInstanceStartupResult::failed(error);
    }
    DuplicateLaunchRequestStore::post(duplicateLaunchRequest, configuration);
    if (const auto* lockError = std::get_if<InstanceLockError>(&error);
        lockError && lockError->kind() == InstanceLockError::Case::alreadyRunning) {
        return SingleInstanceStartupResult::alreadyRunning();
    }
    return SingleInstanceStartupResult::failed(error);
}

std::optional<FileSystemError> SingleInstanceController::startObserving()
{
    // The signal may be delivered from anywhere; it only schedules work on this object's
    // thread, and a controller that is gone by then gets nothing.
    auto handler = [controller = QPointer<SingleInstanceController>(this)] {
        if (controller) {
            QMetaObject::invokeMethod(controller.data(),
                                      &SingleInstanceController::receiveActivationSignal,
                                      Qt::QueuedConnection);
        }
    };
    auto observed = DuplicateLaunchSignal::observe(m_configuration.activationSignalName(),
                                                   m_configuration.lockFolderURL(), handler);
    if (auto* observation =
            std::get_if<std::unique_ptr<DuplicateLaunchSignalObservation>>(&observed)) {
        m_observation = std::move(*observation);
        return std::nullopt;
    }
    return std::get<FileSystemError>(observed);
}

void SingleInstanceController::receiveActivationSignal()
{
    if (m_activationHandler) {
        deliverPendingRequests();
    } else {
        m_pendingActivation = true;
    }
}

void SingleInstanceController::setDuplicateLaunchHandler(DuplicateLaunchHandler handler)
{
    m_activationHandler = std::move(handler);
    if (m_pendingActivation && m_activationHandler) {
        m_pendingActivation = false;
        deliverPendingRequests();
    }
}

void SingleInstanceController::setActivationHandler(std::function<void()> handler)
{
    if (!handler) {
        setDuplicateLaunchHandler(nullptr);
        return;
    }
    setDuplicateLaunchHandler(
        [handler = std::move(handler)](const QList<DuplicateLaunchRequest>&) { handler(); });
}

void SingleInstanceController::deliverPendingRequests()
{
    const QList<DuplicateLaunchRequest> requests =
        DuplicateLaunchRequestStore::consumePending(m_configuration);
    // A copy: the handler may install another handler while it runs.
    const DuplicateLaunchHandler handler = m_activationHandler;
    handler(requests);
}
