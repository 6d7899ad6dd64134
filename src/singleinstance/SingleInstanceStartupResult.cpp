#include "SingleInstanceStartupResult.h"

SingleInstanceStartupResult::SingleInstanceStartupResult(
    Case kind, std::unique_ptr<SingleInstanceController> controller,
    std::optional<InstanceLock::Error> error)
    : m_case(kind), m_controller(std::move(controller)), m_error(std::move(error))
{}

SingleInstanceStartupResult
SingleInstanceStartupResult::run(std::unique_ptr<SingleInstanceController> controller)
{
    return {Case::run, std::move(controller), std::nullopt};
}

SingleInstanceStartupResult SingleInstanceStartupResult::failed(InstanceLock::Error error)
{
    return {Case::failed, nullptr, std::move(error)};
}

SingleInstanceStartupResult SingleInstanceStartupResult::alreadyRunning()
{
    return {Case::alreadyRunning, nullptr, std::nullopt};
}
