#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

// One thread that runs posted tasks one at a time, in the order they were posted.
//
// Unlike a QThread's event loop it needs no Qt application object, so work can start while
// the application is still being built.
class SerialWorker
{
public:
    // `name` labels the thread for debuggers and profilers.
    explicit SerialWorker(const char* name);
    // Stops as stop() does.
    ~SerialWorker();
    SerialWorker(const SerialWorker&) = delete;
    SerialWorker& operator=(const SerialWorker&) = delete;

    // Runs `task` on the worker thread after everything posted before it. Ignored once stopped.
    void post(std::function<void()> task);

    // Drops the tasks not yet started, waits for the one running and joins the thread.
    // Must not be called from the worker thread itself.
    void stop();

    bool isWorkerThread() const;

private:
    void run(const char* name);

    std::mutex m_mutex;
    std::condition_variable m_wakeUp;
    std::deque<std::function<void()>> m_tasks;
    bool m_isStopping = false;
    std::thread m_thread;
};
