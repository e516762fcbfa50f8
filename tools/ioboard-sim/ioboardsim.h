// A simulated IO board on a pseudo-terminal that answers the station like the real board.
#pragma once

// The station opens the slave side (MOULD_SERIAL_DEVICE=slavePath()) as its serial port. The
// simulator applies command 1 to its outputs, answers command 2 with its inputs and driven
// outputs, and commands 3 and 4 with eight readings each. Faults of a real line can be switched
// on: a silent board, garbage bytes, answers split over two writes. Plain C++ without Qt, so the
// machine simulator and any test harness can build on it.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class IoBoardSim
{
public:
    using Clock = std::chrono::steady_clock;

    static constexpr int kInputs = 10;
    static constexpr int kReadings = 16;

    struct OutputChange
    {
        Clock::time_point when;
        unsigned before;
        unsigned after;
    };

    struct Counters
    {
        uint64_t polls = 0;           // command 2 answered
        uint64_t setOutputs = 0;      // command 1 applied
        uint64_t readingRequests = 0; // commands 3 and 4 answered
        uint64_t otherCommands = 0;   // valid frames of an unknown command
        uint64_t skippedBytes = 0;    // received bytes that formed no frame
        uint64_t ignoredWhileSilent = 0;
    };

    IoBoardSim();
    ~IoBoardSim();
    IoBoardSim(const IoBoardSim &) = delete;
    IoBoardSim &operator=(const IoBoardSim &) = delete;

    // Opens a pseudo-terminal in raw mode (115200 8N1 as far as a pty keeps settings) and starts
    // answering on a thread of its own. False with a reason in `error` when no pty was available.
    bool open(std::string *error = nullptr);
    void close();
    bool isOpen() const { return m_master >= 0; }
    // Path of the slave side, e.g. "/dev/pts/4"; empty before open().
    const std::string &slavePath() const { return m_slavePath; }

    // Machine side: inputs 0-9 (input 1 is index 0).
    void setInput(int input, bool on);
    void setInputs(unsigned word);
    unsigned inputs() const;
    Clock::time_point lastInputChange() const;

    // Outputs the board drives, as set by the last command 1; setOutputs gives a power-up state.
    unsigned outputs() const;
    void setOutputs(unsigned word);
    std::vector<OutputChange> outputHistory() const;
    void clearOutputHistory();
    // Called on the simulator's thread after each change of the outputs; keep it short.
    void setOutputListener(std::function<void(const OutputChange &)> listener);
    // Waits until `accept(outputs())` holds; false on time-out.
    bool waitForOutputs(const std::function<bool(unsigned)> &accept, std::chrono::milliseconds timeout);
    // Waits until at least `count` polls have been answered in total; false on time-out.
    bool waitForPolls(uint64_t count, std::chrono::milliseconds timeout);

    // Readings 0-15 sent with commands 3 (slots 0-7) and 4 (slots 8-15).
    void setReading(int slot, int32_t value);

    // Line faults.
    void setSilent(bool silent);  // receives and drops everything, answers nothing
    bool silent() const;
    // Each answer goes out in two writes `pause` apart, so the station reads it in two pieces.
    void setSplitFrames(bool split, std::chrono::microseconds pause = std::chrono::milliseconds(3));
    bool splitFrames() const;
    // Writes bytes to the station as they are.
    bool sendRaw(const std::vector<uint8_t> &bytes);
    // Writes `count` pseudo-random bytes; the head byte 0x5F is mixed in to tempt the scan.
    bool sendGarbage(size_t count, uint32_t seed = 1);

    Counters counters() const;

private:
    void serve();
    void handleFrame(int command, unsigned value);
    bool writeAll(const uint8_t *bytes, size_t n);
    bool writeAnswer(const uint8_t *frame, size_t n);

    int m_master = -1;
    int m_slave = -1;       // held open so the master never sees a hang-up between station runs
    int m_wake[2] = {-1, -1};
    std::string m_slavePath;
    std::thread m_thread;

    mutable std::mutex m_mutex;  // guards everything below
    std::condition_variable m_changed;
    unsigned m_inputs = 0;
    unsigned m_outputs = 0;
    int32_t m_readings[kReadings] = {};
    bool m_silent = false;
    bool m_split = false;
    std::chrono::microseconds m_splitPause{3000};
    Clock::time_point m_lastInputChange{};
    std::vector<OutputChange> m_history;
    std::function<void(const OutputChange &)> m_listener;
    Counters m_counters;

    std::mutex m_writeMutex;  // one writer at a time, so frames never interleave
};
