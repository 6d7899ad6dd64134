#pragma once

#include <atomic>
#include <memory>

// A shared flag through which the caller of an asynchronous request withdraws interest in it.
//
// Copies share one flag, so the requester keeps a copy and the worker checks another. Cancelling
// is final and may happen from any thread. A default-constructed handle belongs to no request:
// cancelling it is harmless, which lets an owner cancel "the previous task" unconditionally.
class CancellationHandle
{
public:
    CancellationHandle();

    void cancel() const;
    bool isCancelled() const;

private:
    std::shared_ptr<std::atomic<bool>> m_cancelled;
};
