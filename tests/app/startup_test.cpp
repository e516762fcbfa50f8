// Start-up of the station: damaged databases, the update script, the clock check, the touch guard,
// and the whole process coming up and going down.
#include "core/globals.h"
#include "app/mojuwizard.h"
#include "app/wiring.h"
#include "core/operatorport.h"
#include "core/panel.h"
#include "ui/prompt.h"
#include "app/startupdb.h"
#include "core/systemgateway.h"
#include "core/texttable.h"
#include "app/touchguard.h"
#include "ui/warnbox.h"
#include "io/controlport.h"
#include "params/wizardpara.h"
#include "tests/support/stationboard.h"
#include "tests/support/stationdir.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QMouseEvent>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QVariant>

#include <csignal>

namespace {

void writeFile(const QString &name, const QByteArray &bytes)
{
    QFile file(name);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes);
}

QByteArray readFile(const QString &name)
{
    QFile file(name);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

IoBoardSim &board() { return StationBoard(); }

class StartUp : public ::testing::Test
{
protected:
    void SetUp() override
    {
        board();
        FillTextTable();
        gLan = 1;
        SystemGateway::clearRecorded();
        StationWiring::InstallOperatorPort();
        SystemGateway::setRestartHandler([this] { ++restarts; });
        Prompt::SetAnswerer([this](const Prompt::Asked &asked) -> QVariant {
            asked_.push_back(asked);
            if (asked.kind == Prompt::Kind::SetTime)
                return timeAnswer;
            return 1;
        });
        MoJuWizard::clock = [] { return QDateTime::fromMSecsSinceEpoch(1800000000000LL); };
        // The station's own boxes: warnings confirmed, questions (such as clearing the camera
        // serial numbers when no camera is found) answered "no".
        WarnBox::setAnswerer([](const WarnBox &box) {
            return qobject_cast<const ChooseBox *>(&box) ? QDialog::Rejected : QDialog::Accepted;
        });
    }
    void TearDown() override
    {
        CloseStationDatabases();
        SystemGateway::setRestartHandler(nullptr);
        Prompt::SetAnswerer(nullptr);
        WarnBox::setAnswerer(nullptr);
        MoJuWizard::clock = [] { return QDateTime::currentDateTime(); };
    }
    bool askedText(const QString &text) const
    {
        for (const auto &a : asked_)
            if (a.text == text)
                return true;
        return false;
    }

    TempStation station;
    int restarts = 0;
    std::vector<Prompt::Asked> asked_;
    QDateTime timeAnswer;
};

}  // namespace

TEST_F(StartUp, NoStationWithoutAnOperatorPort)
{
    OperatorPort::install(nullptr);
    MoJuWizard window;
    EXPECT_FALSE(window.isUp());
    StationWiring::InstallOperatorPort();
}

TEST_F(StartUp, FreshStationComesUpDetecting)
{
    board().setOutputs(0);
    MoJuWizard window;
    EXPECT_TRUE(window.isUp());
    // The station drives the board: the outputs it publishes after detection started reach it.
    ASSERT_TRUE(gpControlIO != nullptr);
    const unsigned published = gpControlIO->publishedWord() & 0x3FFu;
    EXPECT_TRUE(board().waitForOutputs([published](unsigned out) { return out == published; },
                                       std::chrono::seconds(3)));
    EXPECT_TRUE(window.isDetecting());
    EXPECT_EQ(restarts, 0);
    EXPECT_TRUE(asked_.empty());
    EXPECT_EQ(gpWPara->word170, 1);
    EXPECT_TRUE(LampByte() & (1 << kLampDetecting));
}

TEST_F(StartUp, DamagedDatabasesAreRestoredFromFactoryCopiesAndRestart)
{
    const struct {
        const char *name;
        const char *file;
        QByteArray damage;
        int row;
        const char *table;
    } cases[] = {
        {"garbage PARAM", "PARAM.db", QByteArray(4096, 'x'), 160, "sysparam"},
        {"empty-table-less PARAM", "PARAM.db", QByteArray(), 160, "sysparam"},
        {"garbage SN", "SN.db", "SQLite format 3\0 but not really", 160, "sysparam"},
        {"garbage RECORD", "RECORD.db", QByteArray(100, '\x01'), 135, "RECORD"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        writeFile(QLatin1String(c.file), c.damage);
        restarts = 0;
        asked_.clear();
        SystemGateway::clearRecorded();
        {
            MoJuWizard window;
            EXPECT_FALSE(window.isUp());
        }
        EXPECT_EQ(restarts, 1);
        EXPECT_TRUE(SystemGateway::recorded().contains(QStringLiteral("reboot")));
        EXPECT_TRUE(askedText(gaLanStr[c.row * 3 + 1]));
        const QStringList kept = QDir().entryList({QLatin1String(c.file) + QStringLiteral(".damaged-*")});
        ASSERT_EQ(kept.size(), 1) << "damaged file kept";
        EXPECT_EQ(readFile(kept.first()), c.damage);
        QFile::remove(kept.first());
        // The restored file is sound and the next start comes up.
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("check"));
        db.setDatabaseName(QLatin1String(c.file));
        ASSERT_TRUE(db.open());
        EXPECT_TRUE(IsUsableDatabase(QStringLiteral("check"), QLatin1String(c.table)));
        db.close();
        db = QSqlDatabase();
        QSqlDatabase::removeDatabase(QStringLiteral("check"));
        MoJuWizard again;
        EXPECT_TRUE(again.isUp());
        CloseStationDatabases();
    }
}

TEST_F(StartUp, MissingFactoryCopyStopsWithoutRestartLoop)
{
    writeFile(QStringLiteral("PARAM.db"), "not a database");
    QFile::remove(QStringLiteral("paraGroup/default/PARAM.db"));
    MoJuWizard window;
    EXPECT_FALSE(window.isUp());
    EXPECT_EQ(restarts, 0);
}

TEST_F(StartUp, UpdateScriptRunsOnceAndIsGone)
{
    writeFile(QStringLiteral("update.sh"), "#!/bin/sh\n");
    {
        MoJuWizard window;
    }
    CloseStationDatabases();
    EXPECT_FALSE(QFile::exists(QStringLiteral("update.sh")));
    EXPECT_EQ(SystemGateway::recorded().count(QStringLiteral("./update.sh")), 1);
    MoJuWizard second;
    EXPECT_EQ(SystemGateway::recorded().count(QStringLiteral("./update.sh")), 1);
}

TEST_F(StartUp, ClockCheck)
{
    // No commissioning time: detection stops and the time is asked for; a cancel carries on stopped.
    QFile::remove(QStringLiteral("realytime.txt"));
    {
        MoJuWizard window;
        EXPECT_TRUE(window.isUp());
        EXPECT_FALSE(window.isDetecting());
        EXPECT_FALSE(LampByte() & (1 << kLampDetecting));
        const std::vector<QString> &shown = WarnBox::shownTexts();
        EXPECT_NE(std::find(shown.begin(), shown.end(), QStringLiteral("System time error: detection stopped.\nPlease set the time again!")),
                  shown.end());
        EXPECT_EQ(restarts, 0);
    }
    CloseStationDatabases();

    // A clock earlier than the commissioning time is refused too; setting a time restarts.
    writeFile(QStringLiteral("realytime.txt"), "1900000000000");
    timeAnswer = QDateTime(QDate(2030, 5, 6), QTime(7, 8, 9));
    {
        MoJuWizard window;
        EXPECT_FALSE(window.isDetecting());
    }
    EXPECT_EQ(restarts, 1);
    EXPECT_TRUE(SystemGateway::recorded().contains(QStringLiteral("date -s 2030-05-06 07:08:09")));
    EXPECT_TRUE(SystemGateway::recorded().contains(QStringLiteral("hwclock -w")));
    EXPECT_EQ(readFile(QStringLiteral("realytime.txt")), "1900000000000") << "a stored time is kept";

    // Without a stored time, the time set becomes the commissioning time.
    QFile::remove(QStringLiteral("realytime.txt"));
    {
        MoJuWizard window;
    }
    EXPECT_EQ(readFile(QStringLiteral("realytime.txt")), QByteArray::number(timeAnswer.toMSecsSinceEpoch()));
}

TEST(TouchGuardTest, WakingTouchIsSwallowedAndTimersRestart)
{
    WizardPara para;
    para.auto_cancel_timelen = 60;
    para.location_level = 120;
    gpWPara = &para;
    gCameraID = 3;
    TouchGuard guard;
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(5, 5), QPointF(5, 5), Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    QMouseEvent release(QEvent::MouseButtonRelease, QPointF(5, 5), QPointF(5, 5), Qt::LeftButton, Qt::NoButton,
                        Qt::NoModifier);

    LCDOnOff(0);
    EXPECT_TRUE(guard.filter(&press)) << "the touch that wakes the screen does nothing else";
    EXPECT_FALSE(IsScreenOff());
    EXPECT_TRUE(guard.logoutTimer().isActive());
    EXPECT_EQ(guard.logoutTimer().interval(), 60000);
    EXPECT_EQ(guard.screenOffTimer().interval(), 120000);
    EXPECT_FALSE(guard.filter(&release));
    EXPECT_FALSE(guard.calibrationTimer().isActive()) << "no calibration with a camera back-end";

    QEvent other(QEvent::KeyPress);
    LCDOnOff(0);
    EXPECT_FALSE(guard.filter(&other)) << "only mouse and touch events are filtered";
    EXPECT_TRUE(IsScreenOff());
    LCDOnOff(1);
    gpWPara = nullptr;
    gCameraID = 0;
}

TEST(TouchGuardTest, CalibrationArmsAfterAHoldAndRunsOnRelease)
{
    gCameraID = 0;
    gpWPara = nullptr;
    TouchGuard guard;
    int armed = 0, calibrated = 0;
    guard.onCalibrationArmed = [&] { ++armed; };
    guard.onCalibrate = [&] { ++calibrated; };
    guard.calibrationTimer().setInterval(20);
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(1, 1), QPointF(1, 1), Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    QMouseEvent release(QEvent::MouseButtonRelease, QPointF(1, 1), QPointF(1, 1), Qt::LeftButton, Qt::NoButton,
                        Qt::NoModifier);

    guard.filter(&press);
    EXPECT_TRUE(guard.calibrationTimer().isActive());
    guard.filter(&release);  // a short touch stops the hold timer
    EXPECT_FALSE(guard.calibrationTimer().isActive());
    EXPECT_EQ(calibrated, 0);

    guard.filter(&press);
    QElapsedTimer wait;
    wait.start();
    while (!guard.calibrationArmed() && wait.elapsed() < 2000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    EXPECT_EQ(armed, 1);
    guard.filter(&press);  // a further press while armed does not restart the hold
    EXPECT_FALSE(guard.calibrationTimer().isActive());
    guard.filter(&release);
    EXPECT_EQ(calibrated, 1);
    EXPECT_FALSE(guard.calibrationArmed());
}

TEST(LampTest, LampByteKeepsEachBit)
{
    for (int lamp = 0; lamp < 8; ++lamp)
        LEDOnOff(lamp, 0);
    LEDOnOff(kLampOk, 1);
    LEDOnOff(kLampNg, 1);
    LEDOnOff(kLampOk, 0);
    LEDOnOff(9, 1);  // no such lamp
    EXPECT_EQ(LampByte(), 1 << kLampNg);
}

// The real executable in a fresh station directory: it comes up, and SIGTERM ends it cleanly.
// A damaged parameter file makes it restore the factory copy and restart itself in place.
TEST(StationProcess, ComesUpAndEndsOnSigterm)
{
    for (bool damaged : {false, true}) {
        SCOPED_TRACE(damaged ? "damaged PARAM.db" : "fresh");
        TempStation station;
        if (damaged)
            writeFile(QStringLiteral("PARAM.db"), "garbage");
        QProcess process;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("MOULD_AUTO_CONFIRM"), QStringLiteral("1"));
        env.insert(QStringLiteral("MOULD_GATEWAY_RECORD"), station.file(QStringLiteral("gateway.log")));
        env.insert(QStringLiteral("MOULD_SERIAL_DEVICE"), QString::fromStdString(board().slavePath()));
        board().setOutputs(0);
        process.setProcessEnvironment(env);
        process.setWorkingDirectory(station.path());
        process.setProcessChannelMode(QProcess::MergedChannels);
        QElapsedTimer elapsed;
        elapsed.start();
        process.start(station.file(QStringLiteral("mould-station")), {});
        ASSERT_TRUE(process.waitForStarted());
        QByteArray output;
        while (!output.contains("system ready") && elapsed.elapsed() < 20000 && process.state() == QProcess::Running) {
            process.waitForReadyRead(100);
            output += process.readAll();
        }
        ASSERT_TRUE(output.contains("system ready")) << output.constData();
        std::printf("start-up to ready: %lld ms\n", static_cast<long long>(elapsed.elapsed()));
        const uint64_t polls = board().counters().polls;
        EXPECT_TRUE(board().waitForPolls(polls + 20, std::chrono::seconds(3))) << "the station polls the board";
        process.terminate();
        ASSERT_TRUE(process.waitForFinished(5000));
        EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(process.exitCode(), 0);
        EXPECT_TRUE(QFile::exists(station.file(QStringLiteral("sysadd.txt"))));
        EXPECT_TRUE(QFile::exists(station.file(QStringLiteral("cnt_net/cnt_log_app"))));
        EXPECT_EQ(readFile(station.file(QStringLiteral("gateway.log"))).contains("reboot"), damaged);
    }
}

// SIGTERM ends the station within a second whatever box waits for the operator: a box while it
// comes up (the IO port that does not open, the camera question, the clock prompt) or the link
// box of a running station.
TEST(StationProcess, SigtermEndsItWithinASecondWhateverBoxIsOpen)
{
    QTemporaryDir cameras;
    QDir().mkpath(cameras.filePath(QStringLiteral("cam1")));
    writeFile(cameras.filePath(QStringLiteral("cam1/serial")), "SIMCAM0001\n");
    QImage frame(160, 120, QImage::Format_Grayscale8);
    frame.fill(60);
    ASSERT_TRUE(frame.save(cameras.filePath(QStringLiteral("cam1/frame.png"))));
    struct Row
    {
        const char *name;
        bool portMissing;
        bool camera;
        bool clockUnset;
        bool boardFallsSilent;
        const char *logged;  // in the message log once the box is about to open
    };
    const Row rows[] = {
        {"IO port missing", true, true, false, false, "IO initialization failed!"},
        {"camera question", false, false, false, false, "box waits for the operator:"},
        {"clock prompt", false, true, true, false, "box waits for the operator:"},
        {"link lost", false, true, false, true, "IO board: link lost"},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        TempStation station;
        if (row.clockUnset)
            QFile::remove(QStringLiteral("realytime.txt"));
        board().setSilent(false);
        QProcess process;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.remove(QStringLiteral("MOULD_AUTO_CONFIRM"));
        env.remove(QStringLiteral("MOULD_SIM_CAMERAS"));
        if (row.camera)
            env.insert(QStringLiteral("MOULD_SIM_CAMERAS"), cameras.path());
        env.insert(QStringLiteral("MOULD_SERIAL_DEVICE"), row.portMissing ? QStringLiteral("/nonexistent/ttyIO")
                                                                          : QString::fromStdString(board().slavePath()));
        process.setProcessEnvironment(env);
        process.setWorkingDirectory(station.path());
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.start(station.file(QStringLiteral("mould-station")), {});
        ASSERT_TRUE(process.waitForStarted());
        auto logged = [&](const char *text) {
            const QDir logs(station.file(QStringLiteral("RECORD/LOG")));
            for (const QString &name : logs.entryList({QStringLiteral("*.txt")}))
                if (readFile(logs.filePath(name)).contains(text))
                    return true;
            return false;
        };
        QElapsedTimer elapsed;
        elapsed.start();
        if (row.boardFallsSilent) {
            while (!logged("system ready") && elapsed.elapsed() < 20000)
                process.waitForFinished(50);
            board().setSilent(true);
        }
        while (!logged(row.logged) && elapsed.elapsed() < 20000)
            process.waitForFinished(50);
        ASSERT_TRUE(logged(row.logged));
        process.waitForFinished(300);  // the box is up
        ASSERT_EQ(process.state(), QProcess::Running);

        elapsed.restart();
        ::kill(static_cast<pid_t>(process.processId()), SIGTERM);
        const bool ended = process.waitForFinished(3000);
        const qint64 ms = elapsed.elapsed();
        board().setSilent(false);
        if (!ended) {
            process.kill();
            process.waitForFinished();
        }
        ASSERT_TRUE(ended) << "still running 3 s after SIGTERM";
        std::printf("%s: ended %lld ms after SIGTERM\n", row.name, static_cast<long long>(ms));
        EXPECT_LT(ms, 1000);
        EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(process.exitCode(), 0);
    }
}
