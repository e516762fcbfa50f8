#include "tools/ioboard-sim/ioboardsim.h"

#include "io/ioframe.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <random>
#include <termios.h>
#include <unistd.h>

namespace {

bool makeRaw(int fd)
{
    termios t{};
    if (tcgetattr(fd, &t) != 0)
        return false;
    cfmakeraw(&t);
    cfsetispeed(&t, B115200);
    cfsetospeed(&t, B115200);
    t.c_cflag &= ~(PARENB | CSTOPB | CSIZE | CRTSCTS);
    t.c_cflag |= CS8 | CLOCAL | CREAD;
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 0;
    return tcsetattr(fd, TCSANOW, &t) == 0;
}

}  // namespace

IoBoardSim::IoBoardSim() = default;

IoBoardSim::~IoBoardSim()
{
    close();
}

bool IoBoardSim::open(std::string *error)
{
    if (isOpen())
        return true;
    auto fail = [&](const char *what) {
        if (error)
            *error = std::string(what) + ": " + std::strerror(errno);
        close();
        return false;
    };
    m_master = posix_openpt(O_RDWR | O_NOCTTY);
    if (m_master < 0)
        return fail("posix_openpt");
    if (grantpt(m_master) != 0 || unlockpt(m_master) != 0)
        return fail("grantpt/unlockpt");
    char name[PATH_MAX] = {};
    if (ptsname_r(m_master, name, sizeof name) != 0)
        return fail("ptsname");
    m_slavePath = name;
    m_slave = ::open(name, O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (m_slave < 0)
        return fail("open slave");
    if (!makeRaw(m_slave))
        return fail("raw mode");
    const int flags = fcntl(m_master, F_GETFL);
    fcntl(m_master, F_SETFL, flags | O_NONBLOCK);
    if (pipe2(m_wake, O_NONBLOCK | O_CLOEXEC) != 0)
        return fail("pipe");
    m_thread = std::thread([this] { serve(); });
    return true;
}

void IoBoardSim::close()
{
    if (m_thread.joinable()) {
        const char stop = 'q';
        [[maybe_unused]] ssize_t n = ::write(m_wake[1], &stop, 1);
        m_thread.join();
    }
    for (int *fd : {&m_master, &m_slave, &m_wake[0], &m_wake[1]}) {
        if (*fd >= 0)
            ::close(*fd);
        *fd = -1;
    }
}

void IoBoardSim::serve()
{
    FrameScanner scanner(kCommandFrameLen);
    uint8_t buffer[256];
    for (;;) {
        pollfd fds[2] = {{m_master, POLLIN, 0}, {m_wake[0], POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0) {
            if (errno == EINTR)
                continue;
            return;
        }
        if (fds[1].revents)
            return;
        if (!(fds[0].revents & POLLIN)) {
            // A hang-up cannot happen while our own slave fd is open; do not spin if it does.
            if (fds[0].revents)
                usleep(1000);
            continue;
        }
        const ssize_t n = ::read(m_master, buffer, sizeof buffer);
        if (n <= 0)
            continue;
        scanner.append(buffer, static_cast<int>(n));
        scanner.scan([this](const FrameView &frame) { handleFrame(frame.command(), frame.value()); });
        std::lock_guard lock(m_mutex);
        m_counters.skippedBytes = scanner.skippedBytes() + scanner.droppedBytes();
    }
}

void IoBoardSim::handleFrame(int command, unsigned value)
{
    std::unique_lock lock(m_mutex);
    if (m_silent) {
        ++m_counters.ignoredWhileSilent;
        return;
    }
    switch (command) {
    case kCmdSetOutputs: {
        ++m_counters.setOutputs;
        const unsigned after = value & kBoardWordMask;
        if (after == m_outputs)
            return;
        const OutputChange change{Clock::now(), m_outputs, after};
        m_outputs = after;
        m_history.push_back(change);
        auto listener = m_listener;
        lock.unlock();
        m_changed.notify_all();
        if (listener)
            listener(change);
        return;
    }
    case kCmdPoll: {
        ++m_counters.polls;
        const auto answer = MakePollAnswer(m_inputs, m_outputs);
        lock.unlock();
        m_changed.notify_all();
        writeAnswer(answer.data(), answer.size());
        return;
    }
    case kCmdReadingsLow:
    case kCmdReadingsHigh: {
        ++m_counters.readingRequests;
        const int first = command == kCmdReadingsLow ? 0 : 8;
        uint8_t frames[8 * kBoardFrameLen];
        for (int i = 0; i < 8; ++i) {
            const auto f = MakeReadingAnswer(command, m_readings[first + i]);
            std::memcpy(frames + i * kBoardFrameLen, f.data(), kBoardFrameLen);
        }
        lock.unlock();
        writeAnswer(frames, sizeof frames);
        return;
    }
    default:
        ++m_counters.otherCommands;
        return;
    }
}

bool IoBoardSim::writeAll(const uint8_t *bytes, size_t n)
{
    while (n > 0) {
        const ssize_t w = ::write(m_master, bytes, n);
        if (w < 0) {
            if (errno == EINTR)
                continue;
            if (errno == EAGAIN) {
                // The station is not reading; wait a little for room rather than lose the frame.
                pollfd pfd{m_master, POLLOUT, 0};
                if (::poll(&pfd, 1, 50) <= 0)
                    return false;
                continue;
            }
            return false;
        }
        bytes += w;
        n -= static_cast<size_t>(w);
    }
    return true;
}

bool IoBoardSim::writeAnswer(const uint8_t *frame, size_t n)
{
    bool split;
    std::chrono::microseconds pause;
    {
        std::lock_guard lock(m_mutex);
        split = m_split;
        pause = m_splitPause;
    }
    std::lock_guard writeLock(m_writeMutex);
    if (!split || n < 2)
        return writeAll(frame, n);
    const size_t first = n / 2 + 1;  // e.g. 5 of 8: neither half is a frame
    if (!writeAll(frame, first))
        return false;
    std::this_thread::sleep_for(pause);
    return writeAll(frame + first, n - first);
}

void IoBoardSim::setInput(int input, bool on)
{
    if (input < 0 || input >= kInputs)
        return;
    std::lock_guard lock(m_mutex);
    const unsigned word = on ? (m_inputs | (1u << input)) : (m_inputs & ~(1u << input));
    if (word != m_inputs) {
        m_inputs = word;
        m_lastInputChange = Clock::now();
    }
}

void IoBoardSim::setInputs(unsigned word)
{
    std::lock_guard lock(m_mutex);
    word &= kBoardWordMask;
    if (word != m_inputs) {
        m_inputs = word;
        m_lastInputChange = Clock::now();
    }
}

unsigned IoBoardSim::inputs() const
{
    std::lock_guard lock(m_mutex);
    return m_inputs;
}

IoBoardSim::Clock::time_point IoBoardSim::lastInputChange() const
{
    std::lock_guard lock(m_mutex);
    return m_lastInputChange;
}

unsigned IoBoardSim::outputs() const
{
    std::lock_guard lock(m_mutex);
    return m_outputs;
}

void IoBoardSim::setOutputs(unsigned word)
{
    std::lock_guard lock(m_mutex);
    m_outputs = word & kBoardWordMask;
}

std::vector<IoBoardSim::OutputChange> IoBoardSim::outputHistory() const
{
    std::lock_guard lock(m_mutex);
    return m_history;
}

void IoBoardSim::clearOutputHistory()
{
    std::lock_guard lock(m_mutex);
    m_history.clear();
}

void IoBoardSim::setOutputListener(std::function<void(const OutputChange &)> listener)
{
    std::lock_guard lock(m_mutex);
    m_listener = std::move(listener);
}

bool IoBoardSim::waitForOutputs(const std::function<bool(unsigned)> &accept, std::chrono::milliseconds timeout)
{
    std::unique_lock lock(m_mutex);
    return m_changed.wait_for(lock, timeout, [&] { return accept(m_outputs); });
}

bool IoBoardSim::waitForPolls(uint64_t count, std::chrono::milliseconds timeout)
{
    std::unique_lock lock(m_mutex);
    return m_changed.wait_for(lock, timeout, [&] { return m_counters.polls >= count; });
}

void IoBoardSim::setReading(int slot, int32_t value)
{
    if (slot < 0 || slot >= kReadings)
        return;
    std::lock_guard lock(m_mutex);
    m_readings[slot] = value;
}

void IoBoardSim::setSilent(bool silent)
{
    std::lock_guard lock(m_mutex);
    m_silent = silent;
}

bool IoBoardSim::silent() const
{
    std::lock_guard lock(m_mutex);
    return m_silent;
}

void IoBoardSim::setSplitFrames(bool split, std::chrono::microseconds pause)
{
    std::lock_guard lock(m_mutex);
    m_split = split;
    m_splitPause = pause;
}

bool IoBoardSim::splitFrames() const
{
    std::lock_guard lock(m_mutex);
    return m_split;
}

bool IoBoardSim::sendRaw(const std::vector<uint8_t> &bytes)
{
    if (!isOpen())
        return false;
    std::lock_guard writeLock(m_writeMutex);
    return writeAll(bytes.data(), bytes.size());
}

bool IoBoardSim::sendGarbage(size_t count, uint32_t seed)
{
    std::mt19937 random(seed);
    std::vector<uint8_t> bytes(count);
    for (auto &b : bytes)
        b = (random() % 4 == 0) ? kFrameHead : static_cast<uint8_t>(random());
    return sendRaw(bytes);
}

IoBoardSim::Counters IoBoardSim::counters() const
{
    std::lock_guard lock(m_mutex);
    return m_counters;
}
