#include "CancellationHandle.h"

CancellationHandle::CancellationHandle() : m_cancelled(std::make_shared<std::atomic<bool>>(false))
{}

void CancellationHandle::cancel() const
{
    m_cancelled->store(true, std::memory_order_release);
}

bool CancellationHandle::isCancelled() const
{
    return m_cancelled->load(std::memory_order_acquire);
}
