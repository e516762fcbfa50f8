#include "vision/judgepool.h"

#include <algorithm>

JudgePool::JudgePool(int workers)
{
    for (int i = 0; i < std::max(workers, 0); ++i)
        m_threads.emplace_back([this] { work(); });
}

JudgePool::~JudgePool()
{
    {
        std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    m_wake.notify_all();
    for (std::thread &thread : m_threads)
        thread.join();
}

int JudgePool::defaultWorkers()
{
    const int cores = static_cast<int>(std::thread::hardware_concurrency());
    return std::clamp(cores - 1, 0, 7);
}

void JudgePool::run(int count, const std::function<void(int)> &job)
{
    if (count <= 0)
        return;
    if (m_threads.empty() || count == 1) {
        for (int i = 0; i < count; ++i)
            job(i);
        return;
    }
    std::unique_lock lock(m_mutex);
    m_job = &job;
    m_count = count;
    m_next = 0;
    m_finished = 0;
    lock.unlock();
    m_wake.notify_all();
    lock.lock();
    while (m_next < m_count) {
        const int i = m_next++;
        lock.unlock();
        job(i);
        lock.lock();
        ++m_finished;
    }
    m_done.wait(lock, [this] { return m_finished == m_count; });
    m_job = nullptr;
    m_count = 0;
}

void JudgePool::work()
{
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_wake.wait(lock, [this] { return m_stop || (m_job && m_next < m_count); });
        if (m_stop)
            return;
        const std::function<void(int)> &job = *m_job;
        const int i = m_next++;
        lock.unlock();
        job(i);
        lock.lock();
        if (++m_finished == m_count)
            m_done.notify_all();
    }
}
