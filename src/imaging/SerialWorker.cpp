#include "SerialWorker.h"

#include <QString>
#include <QThread>

SerialWorker::SerialWorker(const char* name) : m_thread([this, name] { run(name); }) {}

SerialWorker::~SerialWorker()
{
    stop();
}

void SerialWorker::post(std::function<void()> task)
{
    {
        const std::lock_guard lock(m_mutex);
        if (m_isStopping) {
            return;
        }
        m_tasks.push_back(std::move(task));
    }
    m_wakeUp.notify_one();
}

void SerialWorker::stop()
{
    {
        const std::lock_guard lock(m_mutex);
        m_isStopping = true;
        m_tasks.clear();
    }
    m_wakeUp.notify_one();
    if (m_thread.joinable()) {
        m_thread.join();
    }
}

bool SerialWorker::isWorkerThread() const
{
    return std::this_thread::get_id() == m_thread.get_id();
}

void SerialWorker::run(const char* name)
{
    QThread::currentThread()->setObjectName(QString::fromLatin1(name));
    for (;;) {
        std::function<void()> task;
        {
            std::unique_lock lock(m_mutex);
            m_wakeUp.wait(lock, [this] { return m_isStopping || !m_tasks.empty(); });
            if (m_isStopping) {
                return;
            }
            task = std::move(m_tasks.front());
            m_tasks.pop_front();
        }
        task();
    }
}
