#include "core/memorytrim.h"

#include <QtDebug>

#include <malloc.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cstdio>

namespace {

long residentKb()
{
    long pages = 0, resident = 0;
    FILE *statm = std::fopen("/proc/self/statm", "r");
    if (!statm)
        return 0;
    const bool ok = std::fscanf(statm, "%ld %ld", &pages, &resident) == 2;
    std::fclose(statm);
    return ok ? resident * (sysconf(_SC_PAGESIZE) / 1024) : 0;
}

}  // namespace

MemoryTrim::MemoryTrim(std::chrono::milliseconds interval) : m_interval(interval), m_thread([this] { run(); }) {}

MemoryTrim::~MemoryTrim()
{
    {
        std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    m_wake.notify_all();
    m_thread.join();
}

long MemoryTrim::TrimNow()
{
    const long before = residentKb();
    malloc_trim(0);
    const long after = residentKb();
    return before > after ? before - after : 0;
}

void MemoryTrim::run()
{
    setpriority(PRIO_PROCESS, pid_t(syscall(SYS_gettid)), 19);  // this thread only, on Linux
    bool first = true;
    std::unique_lock lock(m_mutex);
    while (!m_wake.wait_for(lock, m_interval, [this] { return m_stop; })) {
        lock.unlock();
        const long freed = TrimNow();
        if (first && freed > 0)
            qInfo("memory: %ld kB of free heap pages given back", freed);
        first = false;
        lock.lock();
    }
}
