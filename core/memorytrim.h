// Gives the heap's free pages back to the system now and then. Pictures of 1280 x 1024 come and go
// every cycle on several threads; the allocator keeps the freed pages between them, which with eight
// cameras is some 50 MB of resident memory that nothing uses.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

class MemoryTrim
{
public:
    // Starts a thread of the lowest priority that trims the heap every `interval`.
    explicit MemoryTrim(std::chrono::milliseconds interval = std::chrono::seconds(20));
    ~MemoryTrim();  // stops the thread
    MemoryTrim(const MemoryTrim &) = delete;
    MemoryTrim &operator=(const MemoryTrim &) = delete;

    // Trims once on the calling thread; the resident kilobytes it gave back (0 when unknown).
    static long TrimNow();

private:
    void run();

    std::chrono::milliseconds m_interval;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_stop = false;
    std::thread m_thread;  // last: runs while the rest exists
};
