// The serial link to the IO board: port set-up, command sending and the IO thread that polls it.
#pragma once

#include "io/ioframe.h"

#include <QString>
#include <QThread>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>

class QSerialPort;

// The board's serial port, created by ComInit and used only by the IO thread afterwards.
extern QSerialPort *gpCom;

// The device of the board: $MOULD_SERIAL_DEVICE when set (a simulator's pseudo-terminal),
// otherwise "/dev/ttyS%1" with `serial_port` of the live parameter record.
QString SerialDeviceName();

// Creates gpCom and opens it read-write at 115200 8N1, no flow control. Returns false when the
// device could not be opened; gpCom then exists closed and every poll goes unanswered.
bool ComInit();

// Writes the 6-byte frame of `command` with `value` to gpCom; false when the port is closed or
// the write did not complete.
bool ComSend(int command, unsigned value);

// No output command leaves for the rest of the process: a station that stops leaves the outputs
// as the board last got them, whatever its code does on the way out. Safe from any thread.
void FreezeBoardOutputs();

// The link as the IO loop sees it: bytes in, command frames out. The serial port in the station,
// a scripted byte queue in tests.
class BoardPort
{
public:
    using Clock = std::chrono::steady_clock;

    virtual ~BoardPort() = default;
    // Reads up to `max` waiting bytes without blocking; 0 when nothing is waiting.
    virtual int read(uint8_t *buffer, int max) = 0;
    virtual bool send(int command, unsigned value) = 0;
    // Waits until bytes are waiting or `deadline` has passed; true when bytes are waiting.
    // A port that cannot wait says false at once, and the loop takes what read() gave.
    virtual bool waitForBytes(Clock::time_point deadline) { return false; }
};

// gpCom as a BoardPort; only for the IO thread, which owns the port while it runs. A port that
// is closed or has hung up is opened again, at most once a second.
class SerialBoardPort : public BoardPort
{
public:
    int read(uint8_t *buffer, int max) override;
    bool send(int command, unsigned value) override;
    bool waitForBytes(Clock::time_point deadline) override;

private:
    bool usable();
    void markHungUp();

    bool m_hungUp = false;
    bool m_openFailed = true;  // reported once; ComInit reported a failure at start-up
    Clock::time_point m_lastOpenAttempt{};
};

// One iteration of the IO loop, without the sleep: take the desired outputs (sent first of all,
// then at once when they differ from what the board last said it drives), send the poll (or
// the reading request of the schedule), take in what the board sent until the answer to that
// request has come or the deadline has passed, store inputs and readings, and re-send the outputs
// when the board's echo differs. Taking the answer in within the period that asked for it keeps a
// machine signal's way to gDataIn to one period. Keeps the loop's state for the life of the link.
class IoLink
{
public:
    static constexpr int kLostAfter = 1000;     // more empty iterations than this: link lost
    static constexpr int kReadingsLowAt = 200;  // iteration of the schedule sending command 3
    static constexpr int kReadingsHighAt = 210; // ... and command 4, then the schedule restarts

    void iterate(BoardPort &port, BoardPort::Clock::time_point answerDeadline = {});
    // Between polls: sends the desired outputs at once when the board is known to drive other ones,
    // so a changed interlock need not wait for the next period. Nothing else is sent or read.
    void sendChangedOutputs(BoardPort &port);

    // When gDataIn last changed; readable while the loop runs (latency measurements).
    std::chrono::steady_clock::time_point inputsChangedAt() const
    {
        return std::chrono::steady_clock::time_point(std::chrono::steady_clock::duration(m_inputsChangedAt.load()));
    }
    int emptyIterations() const { return m_lost; }
    uint64_t framesAccepted() const { return m_frames; }
    uint64_t outputResends() const { return m_resends; }
    uint64_t readingsDropped() const { return m_readingsDropped; }
    const FrameScanner &scanner() const { return m_scanner; }

private:
    int sendRequest(BoardPort &port);  // returns the command sent
    void onFrame(const FrameView &frame, unsigned desired, bool &resend);
    void sendOutputs(BoardPort &port, unsigned desired);
    void reportGarbage();

    FrameScanner m_scanner{kBoardFrameLen};
    uint8_t m_readBuffer[FrameScanner::kBufferSize];
    int m_lost = 0;          // consecutive iterations without a received byte
    int m_scheduleCount = 0; // iterations of the reading schedule
    int m_readingSlot = 0;   // next slot of gFTemp to fill
    uint64_t m_frames = 0;
    uint64_t m_resends = 0;
    uint64_t m_readingsDropped = 0;
    uint64_t m_garbageReported = 0;
    bool m_sending = true;
    unsigned m_drive = 0;      // outputs the board drives: its last echo or our last command 1
    bool m_driveKnown = false; // the board has answered once
    bool m_outputsSent = false; // the first output word has gone out (it goes before any poll)
    std::atomic<std::chrono::steady_clock::rep> m_inputsChangedAt{0};
    std::chrono::steady_clock::time_point m_lastGarbageReport{};
};

// Polls the board every 5 ms for the life of the process. run() returns only after stop(), which
// the station never calls (tests and an orderly exit do).
class IOThread : public QThread
{
    Q_OBJECT
public:
    static constexpr int kPeriodMs = 5;

    explicit IOThread(QObject *parent = nullptr);
    ~IOThread() override;

    // Hands gpCom to this thread and starts polling.
    void startLink();
    // A new output word was published (any thread): it goes to the board now, not at the next poll.
    void wakeForOutputs();
    // Ends the loop and waits for the thread; the port goes back to the creating thread.
    void stop();
    // Iterations run so far; readable while the thread runs.
    uint64_t iterations() const { return m_iterations.load(std::memory_order_relaxed); }
    // Counters of the link; read them after stop().
    const IoLink &link() const { return m_link; }

signals:
    // The board's input word changed in this period (emitted on the IO thread, at most once a
    // period); the cycle takes it queued and looks at its inputs at once.
    void inputsChanged();

protected:
    void run() override;

private:
    IoLink m_link;
    std::atomic<bool> m_stop{false};
    std::mutex m_wakeMutex;
    std::condition_variable m_wake;
    bool m_outputsPublished = false;  // under m_wakeMutex
    std::atomic<uint64_t> m_iterations{0};
    QThread *m_home = nullptr;
};
