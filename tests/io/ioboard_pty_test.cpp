// The whole link over a real pseudo-terminal: control port and IO thread against the board simulator.
#include "tests/support/testport.h"
#include "io/controlport.h"
#include "io/iothread.h"
#include "tests/io/iotestenv.h"
#include "tools/ioboard-sim/ioboardsim.h"

#include <QElapsedTimer>
#include <QFile>
#include <QSerialPort>
#include <QTemporaryDir>
#include <QThread>

#include <atomic>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <functional>

using namespace std::chrono_literals;

namespace {

// Calls `probe` every millisecond until it holds or `ms` have passed.
bool eventually(const std::function<bool()> &probe, int ms = 1000)
{
    QElapsedTimer timer;
    timer.start();
    while (!probe()) {
        if (timer.elapsed() > ms)
            return false;
        QThread::usleep(1000);
    }
    return true;
}

class IoBoardPtyTest : public IoGlobalsTest
{
protected:
    void SetUp() override
    {
        IoGlobalsTest::SetUp();
        std::string error;
        if (!board.open(&error))
            GTEST_SKIP() << "no pseudo-terminal: " << error;
        qputenv("MOULD_SERIAL_DEVICE", QByteArray::fromStdString(board.slavePath()));
    }
    void TearDown() override
    {
        port.reset();  // stops the IO thread before the board goes
        board.close();
        qunsetenv("MOULD_SERIAL_DEVICE");
        IoGlobalsTest::TearDown();
    }
    void startStation()
    {
        port = std::make_unique<ControlPort>();
        ASSERT_TRUE(board.waitForPolls(board.counters().polls + 2, 1s)) << "the station does not poll";
    }

    IoBoardSim board;
    std::unique_ptr<ControlPort> port;
};

}  // namespace

TEST_F(IoBoardPtyTest, InputOnTheBoardIsOneActiveEdge)
{
    startStation();
    EXPECT_FALSE(port->IOInTrigger(0));
    board.setInput(0, true);
    int edges = 0;
    ASSERT_TRUE(eventually([&] { return (edges += port->IOInTrigger(0)) > 0; }));
    // A further 30 ms of ticks (several polls) see the input held, not new edges.
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < 30) {
        edges += port->IOInTrigger(0);
        QThread::usleep(3000);
    }
    EXPECT_EQ(edges, 1);
    EXPECT_TRUE(port->IOState(0, 0));
    EXPECT_FALSE(gisLostCom);
}

TEST_F(IoBoardPtyTest, InputChangeIsSignalledOncePerChange)
{
    startStation();
    std::atomic<int> changes{0};
    QObject::connect(port->ioThread(), &IOThread::inputsChanged, port->ioThread(), [&] { ++changes; },
                     Qt::DirectConnection);
    board.setInput(0, true);
    ASSERT_TRUE(eventually([&] { return changes > 0; }));
    ASSERT_TRUE(board.waitForPolls(board.counters().polls + 3, 1s));
    EXPECT_EQ(changes, 1) << "a held input is no further change";
    board.setInput(0, false);
    EXPECT_TRUE(eventually([&] { return changes == 2; }));
}

TEST_F(IoBoardPtyTest, OutputsReachTheBoard)
{
    startStation();
    EXPECT_TRUE(board.waitForOutputs([](unsigned w) { return w == 0x3; }, 500ms)) << "the interlocks held at once";
    port->releaseHold(0);
    port->releaseHold(1);
    port->IOSetOut(0, 1);
    port->IOSetOut(2, 1);
    EXPECT_FALSE(board.waitForOutputs([](unsigned w) { return w != 0x3; }, 20ms)) << "sent before IOFlashOut";
    port->IOFlashOut();
    EXPECT_TRUE(board.waitForOutputs([](unsigned w) { return w == 0x5; }, 500ms));
    port->IOResetAllOut();
    port->IOFlashOut();
    EXPECT_TRUE(board.waitForOutputs([](unsigned w) { return w == 0; }, 500ms));
    // Each group went out as one command, no flapping in between.
    const auto history = board.outputHistory();
    ASSERT_EQ(history.size(), 3u);
    EXPECT_EQ(history[0].after, 0x3u);
    EXPECT_EQ(history[1].after, 0x5u);
    EXPECT_EQ(history[2].after, 0x0u);
}

// A board that kept its outputs from an earlier run gets the clear word at once, but the clamp and
// ejector interlocks never leave it.
TEST_F(IoBoardPtyTest, BoardStartingWithOutputsOnKeepsTheInterlocks)
{
    board.setOutputs(0x1FF);
    para.output_level[2] = 1;
    startStation();
    EXPECT_TRUE(board.waitForOutputs([](unsigned w) { return w == 0x007; }, 500ms));
    for (const IoBoardSim::OutputChange &change : board.outputHistory())
        EXPECT_EQ(change.after & 0x3u, 0x3u);
}

TEST_F(IoBoardPtyTest, NoisyLineStillCarriesTheInputs)
{
    startStation();
    board.setSplitFrames(true, 2ms);
    board.sendGarbage(300, 7);
    board.setInputs(0x205);
    ASSERT_TRUE(eventually([&] { return inputWord() == 0x205; }));
    // Only whole answers ever reach the input word.
    for (int i = 0; i < 20; ++i) {
        EXPECT_EQ(inputWord(), 0x205u);
        QThread::usleep(2000);
    }
    EXPECT_GT(board.counters().polls, 5u);
}

TEST_F(IoBoardPtyTest, ReadingsArriveWithTheSchedule)
{
    for (int slot = 0; slot < 16; ++slot)
        board.setReading(slot, slot % 2 ? -slot * 10 : slot * 10 + 1);
    startStation();
    // Both blocks are requested within 210 polls of 5 ms.
    ASSERT_TRUE(eventually([] { return gFTemp[15] != 0; }, 6000))
        << "reading requests answered: " << board.counters().readingRequests;
    for (int slot = 0; slot < 16; ++slot)
        EXPECT_EQ(gFTemp[slot], slot % 2 ? -slot * 10 : slot * 10 + 1) << "slot " << slot;
    EXPECT_EQ(board.counters().readingRequests, 2u);
}

TEST_F(IoBoardPtyTest, ComSendWritesTheFrameBytes)
{
    // The board is bypassed: ComInit on our own pty and the raw bytes read back from its master.
    board.close();
    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(grantpt(master), 0);
    ASSERT_EQ(unlockpt(master), 0);
    qputenv("MOULD_SERIAL_DEVICE", ptsname(master));
    ASSERT_TRUE(ComInit());
    EXPECT_TRUE(ComSend(kCmdSetOutputs, 0x0103));
    uint8_t bytes[16] = {};
    pollfd pfd{master, POLLIN, 0};
    ASSERT_EQ(poll(&pfd, 1, 500), 1);
    ASSERT_EQ(read(master, bytes, sizeof bytes), 6);
    EXPECT_EQ(std::vector<uint8_t>(bytes, bytes + 6), (std::vector<uint8_t>{0x5F, 0x01, 0x03, 0x01, 0x64, 0xF5}));
    delete gpCom;
    gpCom = nullptr;
    close(master);
}

TEST_F(IoBoardPtyTest, PortThatCannotOpenIsReportedAndGoesUnanswered)
{
    qputenv("MOULD_SERIAL_DEVICE", "/nonexistent/ttyIO");
    TestOperatorPort operatorPort;
    port = std::make_unique<ControlPort>();
    EXPECT_EQ(operatorPort.warnings.size(), 1);
    EXPECT_FALSE(gpCom->isOpen());
    // The thread keeps polling the closed port without harm; every iteration is an empty one.
    ASSERT_TRUE(eventually([&] { return port->ioThread()->iterations() >= 3; }, 2000));
    port->ioThread()->stop();
    EXPECT_EQ(uint64_t(port->ioThread()->link().emptyIterations()), port->ioThread()->iterations());
    EXPECT_FALSE(gisLostCom);
}

TEST_F(IoBoardPtyTest, BoardHangingUpIsASilentBoard)
{
    startStation();
    QElapsedTimer timer;
    timer.start();
    board.close();  // the far side of the line is gone
    const uint64_t before = port->ioThread()->iterations();
    ASSERT_TRUE(eventually([&] { return port->ioThread()->iterations() >= before + 6; }, 2000));
    port->ioThread()->stop();
    // Counted as empty polls, and at most one per 5 ms: a hung-up line is not spun on.
    EXPECT_GE(port->ioThread()->link().emptyIterations(), 5);
    EXPECT_LE(port->ioThread()->iterations() - before, uint64_t(timer.elapsed() / IOThread::kPeriodMs + 2));
    // Frames that cannot leave are dropped, not kept.
    EXPECT_EQ(gpCom->bytesToWrite(), 0);
}

TEST_F(IoBoardPtyTest, RestartedBoardOnTheSameDeviceIsPolledAgain)
{
    // The station's device is a link, as when a person restarts ioboard-sim --link by hand.
    QTemporaryDir dir;
    const QString link = dir.filePath(QStringLiteral("ttyIO"));
    ASSERT_TRUE(QFile::link(QString::fromStdString(board.slavePath()), link));
    qputenv("MOULD_SERIAL_DEVICE", link.toLocal8Bit());
    startStation();

    board.close();
    IoBoardSim second;
    ASSERT_TRUE(second.open());
    QFile::remove(link);
    ASSERT_TRUE(QFile::link(QString::fromStdString(second.slavePath()), link));
    second.setInputs(0x3);
    EXPECT_TRUE(second.waitForPolls(3, std::chrono::seconds(3)));
    EXPECT_TRUE(eventually([&] { return inputWord() == 0x3; }, 1000));
    port.reset();
}
