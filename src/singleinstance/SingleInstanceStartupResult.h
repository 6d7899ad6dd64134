#pragma once

#include "InstanceLock.h"
#include "SingleInstanceController.h"

#include <memory>
#include <optional>

// The answer of SingleInstanceController::start.
class SingleInstanceStartupResult
{
public:
    enum class Case
    {
        run,            // this process continues, with the controller
        failed,         // the single-instance machinery failed, with the error
        alreadyRunning, // another instance owns the lock; this process should end
    };

    static SingleInstanceStartupResult run(std::unique_ptr<SingleInstanceController> controller);
    static SingleInstanceStartupResult failed(InstanceLock::Error error);
    static SingleInstanceStartupResult alreadyRunning();

    Case kind() const { return m_case; }
    // The controller of run; null otherwise, or once taken.
    SingleInstanceController* controller() const { return m_controller.get(); }
    // Hands the controller to the caller, who keeps it for the life of the process.
    std::unique_ptr<SingleInstanceController> takeController() { return std::move(m_controller); }
    // The error of failed.
    const std::optional<InstanceLock::Error>& error() const { return m_error; }

private:
    SingleInstanceStartupResult(Case kind, std::unique_ptr<SingleInstanceController> controller,
                                std::optional<InstanceLock::Error> error);

    Case m_case;
    std::unique_ptr<SingleInstanceController> m_controller;
    std::optional<InstanceLock::Error> m_error;
};
