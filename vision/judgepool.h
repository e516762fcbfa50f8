// A small pool of worker threads on which the cameras of a stage are judged side by side.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

// run() hands the jobs 0..count-1 out to the workers and to the calling thread and returns when
// every job has ended, so the caller goes on with all results in place. A job must touch only the
// state of its own index (one camera's CameraVision and CammerRecong) and may only read what is
// shared (the parameter record, the image geometry). One caller at a time; the pool is idle and its
// workers asleep between runs.
class JudgePool
{
public:
    // `workers` threads besides the caller; with 0 every job runs on the caller, in index order.
    explicit JudgePool(int workers);
    ~JudgePool();
    JudgePool(const JudgePool &) = delete;
    JudgePool &operator=(const JudgePool &) = delete;

    int workers() const { return static_cast<int>(m_threads.size()); }
    void run(int count, const std::function<void(int)> &job);

    // The workers for this machine: one fewer than its cores, since the caller judges as well.
    static int defaultWorkers();

private:
    void work();

    std::vector<std::thread> m_threads;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::condition_variable m_done;
    const std::function<void(int)> *m_job = nullptr;  // borrowed for the length of one run()
    int m_count = 0;
    int m_next = 0;
    int m_finished = 0;
    bool m_stop = false;
};
