// The ioboard-sim program driven through stdin against the station's IO side, as a person would.
#include "io/controlport.h"
#include "io/iothread.h"
#include "tests/io/iotestenv.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QSerialPort>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>

namespace {

class IoBoardCliTest : public IoGlobalsTest
{
protected:
    void TearDown() override
    {
        port.reset();
        if (sim.state() != QProcess::NotRunning) {
            sim.kill();
            sim.waitForFinished(1000);
        }
        qunsetenv("MOULD_SERIAL_DEVICE");
        IoGlobalsTest::TearDown();
    }

    // Reads the program's output until a line matches `pattern`; the whole output so far otherwise.
    bool readUntil(const QRegularExpression &pattern, int ms = 1000)
    {
        QElapsedTimer timer;
        timer.start();
        while (timer.elapsed() < ms) {
            while (sim.canReadLine()) {
                const QString line = QString::fromUtf8(sim.readLine()).trimmed();
                output << line;
                if (pattern.match(line).hasMatch())
                    return true;
            }
            sim.waitForReadyRead(20);
        }
        return false;
    }
    // No event loop runs here, so the line is pushed to the program's stdin at once.
    void command(const char *line)
    {
        sim.write(QByteArray(line) + '\n');
        sim.waitForBytesWritten(1000);
    }

    QProcess sim;
    QStringList output;
    std::unique_ptr<ControlPort> port;
};

}  // namespace

TEST_F(IoBoardCliTest, DrivenByHandThroughALink)
{
    QTemporaryDir dir;
    const QString link = dir.filePath(QStringLiteral("ttyIO"));
    sim.start(QStringLiteral(IOBOARD_SIM_PATH), {QStringLiteral("--link"), link});
    ASSERT_TRUE(sim.waitForStarted(2000));
    if (!readUntil(QRegularExpression(QStringLiteral("^ioboard-sim: board on /dev/\\S+")))) {
        const QString why = QString::fromLocal8Bit(sim.readAllStandardError());
        if (sim.waitForFinished(500) && why.contains(QStringLiteral("posix_openpt")))
            GTEST_SKIP() << "no pseudo-terminal: " << why.toStdString();
        FAIL() << "no board path announced: " << output.join('\n').toStdString() << why.toStdString();
    }
    EXPECT_TRUE(QFileInfo(link).isSymLink());

    qputenv("MOULD_SERIAL_DEVICE", link.toLocal8Bit());
    port = std::make_unique<ControlPort>();
    ASSERT_TRUE(gpCom && gpCom->isOpen());

    command("set 1");
    QElapsedTimer timer;
    timer.start();
    bool edge = false;
    while (!edge && timer.elapsed() < 1000) {
        edge = port->IOInTrigger(0);
        QThread::msleep(2);
    }
    EXPECT_TRUE(edge);

    EXPECT_TRUE(readUntil(QRegularExpression(QStringLiteral("^out 0x003 ")))) << "the interlocks held at once";
    port->releaseHold(1);
    port->IOSetOut(0, 1);
    port->IOSetOut(2, 1);
    port->IOFlashOut();
    EXPECT_TRUE(readUntil(QRegularExpression(QStringLiteral("^out 0x005 "))));

    command("show");
    EXPECT_TRUE(readUntil(QRegularExpression(QStringLiteral("^out \\[ 1 \\. 3 "))));
    EXPECT_TRUE(readUntil(QRegularExpression(QStringLiteral("^polls [1-9]"))));

    command("frobnicate");
    EXPECT_TRUE(readUntil(QRegularExpression(QStringLiteral("unknown command"))));
    command("quit");
    ASSERT_TRUE(sim.waitForFinished(2000));
    EXPECT_EQ(sim.exitCode(), 0);
    EXPECT_FALSE(QFileInfo::exists(link) || QFileInfo(link).isSymLink());
}
