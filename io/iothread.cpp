#include "io/iothread.h"

#include "core/globals.h"
#include "log/eventrecord.h"
#include "params/wizardpara.h"

#include <QMutexLocker>
#include <QSerialPort>
#include <QtDebug>

#include <poll.h>

#include <thread>

QSerialPort *gpCom = nullptr;

namespace {
std::atomic<bool> outputsFrozen{false};
}

void FreezeBoardOutputs() { outputsFrozen = true; }

QString SerialDeviceName()
{
    const QString device = qEnvironmentVariable("MOULD_SERIAL_DEVICE");
    if (!device.isEmpty())
        return device;
    return QStringLiteral("/dev/ttyS%1").arg(gpWPara ? gpWPara->serial_port : 0);
}

namespace {

bool openBoardPort(QSerialPort &port, bool quiet)
{
    if (!port.open(QIODevice::ReadWrite)) {
        if (!quiet)
            qWarning().noquote() << "IO board: cannot open" << port.portName() << "-" << port.errorString();
        return false;
    }
    const bool configured = port.setBaudRate(QSerialPort::Baud115200) && port.setDataBits(QSerialPort::Data8)
        && port.setParity(QSerialPort::NoParity) && port.setStopBits(QSerialPort::OneStop)
        && port.setFlowControl(QSerialPort::NoFlowControl);
    if (!configured) {
        // A pseudo-terminal or an odd driver may refuse a setting; the link still works raw.
        qWarning().noquote() << "IO board: port settings refused on" << port.portName() << "-" << port.errorString();
    }
    qInfo().noquote() << "IO board: opened" << port.portName();
    return true;
}

}  // namespace

bool ComInit()
{
    // A second call (tests build several control ports) replaces the port; the IO thread that
    // used the old one has stopped by then.
    delete gpCom;
    gpCom = new QSerialPort;
    gpCom->setPortName(SerialDeviceName());
    return openBoardPort(*gpCom, false);
}

bool ComSend(int command, unsigned value)
{
    if (!gpCom || !gpCom->isOpen())
        return false;
    const auto frame = MakeCommandFrame(command, value);
    if (gpCom->write(reinterpret_cast<const char *>(frame.data()), frame.size()) != qint64(frame.size()))
        return false;
    // The IO thread has no event loop: the frame leaves the port's buffer only here.
    while (gpCom->bytesToWrite() > 0) {
        if (!gpCom->waitForBytesWritten(IOThread::kPeriodMs)) {
            // A line that takes nothing (a hung-up device) must not pile up frames in memory.
            gpCom->clear(QSerialPort::Output);
            return false;
        }
    }
    return true;
}

int SerialBoardPort::read(uint8_t *buffer, int max)
{
    if (!gpCom || !gpCom->isOpen() || m_hungUp || max <= 0)
        return 0;
    if (gpCom->bytesAvailable() == 0) {
        // Look at the device first so that an idle poll neither blocks nor raises a time-out error.
        pollfd pfd{static_cast<int>(gpCom->handle()), POLLIN, 0};
        if (::poll(&pfd, 1, 0) <= 0)
            return 0;
        if (pfd.revents & (POLLHUP | POLLERR | POLLNVAL)) {
            markHungUp();
            return 0;
        }
        if (!(pfd.revents & POLLIN))
            return 0;
        gpCom->waitForReadyRead(0);
    }
    const qint64 n = gpCom->read(reinterpret_cast<char *>(buffer), max);
    return n > 0 ? static_cast<int>(n) : 0;
}

bool SerialBoardPort::send(int command, unsigned value)
{
    if (!usable())
        return false;
    if (ComSend(command, value))
        return true;
    markHungUp();
    return false;
}

void SerialBoardPort::markHungUp()
{
    if (!m_hungUp)
        qWarning().noquote() << "IO board: the line to" << gpCom->portName() << "failed; opening it again";
    m_hungUp = true;
}

bool SerialBoardPort::usable()
{
    if (!gpCom)
        return false;
    if (gpCom->isOpen() && !m_hungUp) {
        m_openFailed = false;
        return true;
    }
    // A device that went away (a USB adaptor pulled, a simulator restarted) is opened again, at
    // most once a second; a fixed serial port never gets here.
    const auto now = Clock::now();
    if (m_lastOpenAttempt != Clock::time_point() && now - m_lastOpenAttempt < std::chrono::seconds(1))
        return false;
    m_lastOpenAttempt = now;
    gpCom->close();
    m_hungUp = false;
    const bool opened = openBoardPort(*gpCom, m_openFailed);
    m_openFailed = !opened;
    if (!opened)
        m_hungUp = true;
    return opened;
}

bool SerialBoardPort::waitForBytes(Clock::time_point deadline)
{
    if (!gpCom || !gpCom->isOpen() || m_hungUp)
        return false;
    if (gpCom->bytesAvailable() > 0)
        return true;
    const auto left = std::chrono::duration_cast<std::chrono::nanoseconds>(deadline - Clock::now()).count();
    if (left <= 0)
        return false;
    const timespec timeout{static_cast<time_t>(left / 1000000000), static_cast<long>(left % 1000000000)};
    pollfd pfd{static_cast<int>(gpCom->handle()), POLLIN, 0};
    // A hung-up line is no answer; waiting on it again would spin until the deadline.
    return ::ppoll(&pfd, 1, &timeout, nullptr) > 0 && (pfd.revents & POLLIN)
        && !(pfd.revents & (POLLHUP | POLLERR));
}

void IoLink::iterate(BoardPort &port, BoardPort::Clock::time_point answerDeadline)
{
    unsigned desired;
    {
        QMutexLocker lock(SharedMutex(pMutexIO, "pMutexIO"));
        desired = gDataOut;
    }

    // The board's first frame from this station is its output word: a board that kept the outputs
    // of an earlier run must never be polled into looking attended while it still drives those.
    // Afterwards a new desired word goes out at once when the board's last echo (or our last
    // command 1) says it drives something else; the echo in this period's answer confirms it.
    if (!m_outputsSent || (m_driveKnown && m_drive != (desired & kBoardWordMask)))
        sendOutputs(port, desired);

    const int requested = sendRequest(port);

    // Everything waiting is taken in; the wait goes on until the answer to this request is there.
    bool received = false;
    bool answered = false;
    bool resend = false;
    do {
        const int n = port.read(m_readBuffer, FrameScanner::kBufferSize);
        if (n <= 0)
            continue;
        received = true;
        m_scanner.append(m_readBuffer, n);
        m_scanner.scan([&](const FrameView &frame) {
            answered = answered || frame.command() == requested;
            onFrame(frame, desired, resend);
        });
    } while (!answered && port.waitForBytes(answerDeadline));

    if (!received) {
        // Saturates, so that months of a silent board cannot overflow the count.
        if (m_lost <= kLostAfter)
            ++m_lost;
        if (m_lost > kLostAfter && !gisLostCom.exchange(true))
            qWarning() << "IO board: link lost, nothing received for" << kLostAfter << "polls";
        return;
    }
    reportGarbage();
    if (resend)
        sendOutputs(port, desired);
}

void IoLink::sendChangedOutputs(BoardPort &port)
{
    unsigned desired;
    {
        QMutexLocker lock(SharedMutex(pMutexIO, "pMutexIO"));
        desired = gDataOut;
    }
    // Before the first word went out and the board answered, iterate() keeps to its own order.
    if (m_outputsSent && m_driveKnown && m_drive != (desired & kBoardWordMask))
        sendOutputs(port, desired);
}

void IoLink::sendOutputs(BoardPort &port, unsigned desired)
{
    if (outputsFrozen.load(std::memory_order_relaxed))
        return;
    ++m_resends;
    m_outputsSent = port.send(kCmdSetOutputs, desired) || m_outputsSent;
    m_drive = desired & kBoardWordMask;
}

int IoLink::sendRequest(BoardPort &port)
{
    // One request per iteration: the 200th and 210th of every 210 ask for the readings.
    ++m_scheduleCount;
    int command = kCmdPoll;
    if (m_scheduleCount == kReadingsLowAt) {
        m_readingSlot = 0;
        command = kCmdReadingsLow;
    } else if (m_scheduleCount >= kReadingsHighAt) {
        m_readingSlot = 8;
        m_scheduleCount = 0;
        command = kCmdReadingsHigh;
    }
    const bool sent = port.send(command, 0);
    if (sent != m_sending) {
        m_sending = sent;
        if (!sent)
            qWarning() << "IO board: cannot send to the port";
        else
            qInfo() << "IO board: sending again";
    }
    return command;
}

void IoLink::onFrame(const FrameView &frame, unsigned desired, bool &resend)
{
    if (gisLostCom.exchange(false)) {
        qInfo() << "IO board: link back";
        EventRecord::Insert(QStringLiteral("IO通讯重新连接"));
    }
    m_lost = 0;
    ++m_frames;
    switch (frame.command()) {
    case kCmdPoll: {
        {
            QMutexLocker lock(SharedMutex(pMutexIO, "pMutexIO"));
            if (gDataIn != frame.inputWord())
                m_inputsChangedAt = std::chrono::steady_clock::now().time_since_epoch().count();
            gDataIn = frame.inputWord();
        }
        // Only the ten outputs the board has can be compared; bits beyond would re-send forever.
        m_drive = frame.driveWord();
        m_driveKnown = true;
        if (m_drive != (desired & kBoardWordMask))
            resend = true;
        break;
    }
    case kCmdReadingsLow:
    case kCmdReadingsHigh:
        // A board answering with more frames than there are slots must not write past them.
        if (m_readingSlot >= 0 && m_readingSlot < 16) {
            gFTemp[m_readingSlot++] = frame.reading();
        } else if (m_readingsDropped++ == 0) {
            qWarning() << "IO board: more readings than slots, extra readings dropped";
        }
        break;
    default:
        break;
    }
}

void IoLink::reportGarbage()
{
    // Garbled bytes are resynchronised silently by the scan; a summary at most every ten seconds
    // tells the developer the line is noisy without flooding the log.
    const uint64_t garbage = m_scanner.skippedBytes() + m_scanner.droppedBytes();
    if (garbage == m_garbageReported)
        return;
    const auto now = std::chrono::steady_clock::now();
    if (m_garbageReported != 0 && now - m_lastGarbageReport < std::chrono::seconds(10))
        return;
    qWarning() << "IO board: skipped" << garbage - m_garbageReported << "bytes that formed no frame ("
               << m_scanner.droppedBytes() << "lost to a full buffer in total)";
    m_garbageReported = garbage;
    m_lastGarbageReport = now;
}

IOThread::IOThread(QObject *parent)
    : QThread(parent), m_home(QThread::currentThread())
{
}

IOThread::~IOThread()
{
    stop();
}

void IOThread::startLink()
{
    // The port was opened on the creating thread; from now on only this thread touches it.
    if (gpCom && gpCom->thread() == QThread::currentThread())
        gpCom->moveToThread(this);
    start();
}

void IOThread::wakeForOutputs()
{
    {
        std::lock_guard lock(m_wakeMutex);
        m_outputsPublished = true;
    }
    m_wake.notify_one();
}

void IOThread::stop()
{
    {
        std::lock_guard lock(m_wakeMutex);
        m_stop = true;
    }
    m_wake.notify_one();
    if (isRunning())
        wait();
}

void IOThread::run()
{
    SerialBoardPort port;
    const auto period = std::chrono::milliseconds(kPeriodMs);
    auto inputsSeen = m_link.inputsChangedAt();
    while (!m_stop.load(std::memory_order_relaxed)) {
        // The answer to this period's poll is taken in as soon as it arrives; the rest of the
        // period is slept, so the board sees one request every 5 ms.
        const auto start = BoardPort::Clock::now();
        m_link.iterate(port, start + period - std::chrono::microseconds(500));
        if (m_link.inputsChangedAt() != inputsSeen) {
            inputsSeen = m_link.inputsChangedAt();
            emit inputsChanged();
        }
        m_iterations.fetch_add(1, std::memory_order_relaxed);
        // The rest of the period is slept; an output word published meanwhile goes out at once.
        std::unique_lock lock(m_wakeMutex);
        while (m_wake.wait_until(lock, start + period, [this] { return m_outputsPublished || m_stop.load(); })) {
            if (m_stop.load())
                break;
            m_outputsPublished = false;
            lock.unlock();
            m_link.sendChangedOutputs(port);
            lock.lock();
        }
    }
    if (gpCom && gpCom->thread() == this)
        gpCom->moveToThread(m_home);
}
