// The inspection cycle driven tick by tick: machine inputs in, interlock outputs out.
#include "cycle/cyclecontroller.h"

#include "app/globals.h"
#include "app/texttable.h"
#include "io/controlport.h"
#include "params/wizardpara.h"
#include "tests/support/stationdir.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QMutex>
#include <QMutexLocker>

#include <map>

namespace {

class Cycle : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (!pMutexIO)
            pMutexIO = new QMutex;
        FillTextTable();
        gLan = 1;
        gpWPara = &para;
        para.enable_product_detect = 1;
        para.input_hold_time = 0;
        {
            QMutexLocker lock(pMutexIO);
            gDataIn = 0;
            gDataOut = 0;
        }
        io = std::make_unique<ControlPort>(ControlPort::Link::Detached);
    }
    void TearDown() override
    {
        cycle.reset();
        gpWPara = nullptr;
    }

    // Builds the cycle once the parameters of a test are set.
    InspectionCycle &make()
    {
        para.DeriveStages();
        CycleEnvironment env;
        env.cameraCount = [] { return 2; };
        env.detect = [this](int camera, int detection) {
            ++detections[detection];
            const auto it = verdict.find({camera, detection});
            return it == verdict.end() ? true : it->second;
        };
        env.record = [this](const QString &text) { records << text; };
        env.lamp = [](int, bool) {};
        env.screenOn = [] {};
        env.noInputWarning = [this](bool shown, const QString &) { noInputShown = shown; };
        env.continuousNgBox = [this](bool shown) { continuousNgShown = shown; };
        env.confirm = [](const QString &) { return true; };
        cycle = std::make_unique<InspectionCycle>(io.get(), env);
        cycle->setSelfClocked(false);
        cycle->StartDetect();
        return *cycle;
    }

    void setInput(int input, bool on)
    {
        QMutexLocker lock(pMutexIO);
        gDataIn = on ? (gDataIn | (1u << input)) : (gDataIn & ~(1u << input));
    }
    // A pulse on an input, seen by two ticks: the rising edge, then the falling one.
    void pulse(int input)
    {
        setInput(input, true);
        cycle->Run();
        setInput(input, false);
        cycle->Run();
    }
    bool out(int output1Based) const
    {
        QMutexLocker lock(pMutexIO);
        return gDataOut & (1u << (output1Based - 1));
    }
    void fail(int detection, bool failed = true)
    {
        verdict[{0, detection}] = !failed;
    }
    // Steps a stage's countdown in 100 ms steps until its detection ran; returns the steps.
    int runDown(int stage)
    {
        int steps = 0;
        while (cycle->stageRunning(stage) && steps < 1000) {
            cycle->TimerUp(stage);
            ++steps;
        }
        return steps;
    }

    TempStation station{false};  // the counter file goes here, never into the working tree
    WizardPara para;
    std::unique_ptr<ControlPort> io;
    std::unique_ptr<InspectionCycle> cycle;
    std::map<std::pair<int, int>, bool> verdict;
    std::map<int, int> detections;
    QStringList records;
    bool noInputShown = false;
    bool continuousNgShown = false;
};

}  // namespace

TEST_F(Cycle, ProductThenMouldReleaseEjectorThenClamp)
{
    para.trigInDelay[0] = 5;
    para.trigInDelay[1] = 20;
    make();
    EXPECT_FALSE(out(1));
    setInput(0, true);
    cycle->Run();
    EXPECT_TRUE(out(1)) << "clamping prohibited from the cycle start";
    EXPECT_TRUE(out(2)) << "ejector prohibited until the product passed";
    EXPECT_FLOAT_EQ(cycle->stageDelayLeft[0], 0.5f);
    EXPECT_FLOAT_EQ(cycle->stageDelayLeft[1], 2.5f) << "the mould stage waits its delay plus the product's";

    EXPECT_EQ(runDown(0), 5) << "0.5 s in 100 ms steps";
    EXPECT_EQ(detections[0], 2);
    EXPECT_FALSE(out(2)) << "product OK releases the ejector";
    EXPECT_TRUE(out(1));
    EXPECT_EQ(runDown(1), 25) << "2.5 s after input 1";
    EXPECT_FALSE(out(1)) << "mould OK allows clamping";
    EXPECT_FALSE(out(3));
}

TEST_F(Cycle, ZeroDelayRunsInTheTriggeringTick)
{
    make();
    setInput(0, true);
    cycle->Run();
    EXPECT_EQ(detections[0], 2);
    EXPECT_EQ(detections[1], 2);
    EXPECT_FALSE(out(1));
    EXPECT_FALSE(out(2));
}

TEST_F(Cycle, NoCameraNeverReleasesTheInterlocks)
{
    make();
    cycle.reset();
    CycleEnvironment env;
    env.cameraCount = [] { return 0; };
    env.record = [](const QString &) {};
    env.lamp = [](int, bool) {};
    env.screenOn = [] {};
    cycle = std::make_unique<InspectionCycle>(io.get(), env);
    cycle->setSelfClocked(false);
    cycle->StartDetect();
    setInput(0, true);
    cycle->Run();
    EXPECT_TRUE(out(1)) << "nothing owes a detection, so nothing releases the clamp";
    // Even a stage run directly (door or manual trigger) cannot pass without a camera.
    cycle->TimerUp(1);
    EXPECT_TRUE(out(1));
    EXPECT_EQ(cycle->alarmState, InspectionCycle::AlarmRaised);
}

TEST_F(Cycle, FailedProductRaisesAlarmAndKeepsInterlocks)
{
    make();
    fail(0);
    setInput(0, true);
    cycle->Run();
    EXPECT_EQ(cycle->alarmState, InspectionCycle::AlarmRaised);
    EXPECT_EQ(cycle->detectState, InspectionCycle::Stopped);
    EXPECT_TRUE(out(1));
    EXPECT_TRUE(out(2));
    EXPECT_TRUE(out(3));
    EXPECT_EQ(detections[1], 0) << "no mould check after a failed product";
    ASSERT_FALSE(records.isEmpty());
    EXPECT_EQ(records.last(), QStringLiteral("Camera 1 Alarm"));
}

TEST_F(Cycle, DoorReCheckKeepsAlarmUntilThePartIsGone)
{
    make();
    fail(0);
    setInput(0, true);
    cycle->Run();
    ASSERT_EQ(cycle->alarmState, InspectionCycle::AlarmRaised);

    // The part is still there: the re-check fails and the alarm stays.
    setInput(1, true);
    cycle->Run();
    EXPECT_EQ(cycle->alarmState, InspectionCycle::AlarmRaised);
    EXPECT_TRUE(out(3));
    EXPECT_TRUE(out(1));
    setInput(1, false);
    cycle->Run();
    EXPECT_EQ(cycle->alarmState, InspectionCycle::AlarmRaised);
    EXPECT_TRUE(out(1));

    // Part removed: the next door opening passes, the alarm goes and the mould stage follows.
    fail(0, false);
    pulse(1);
    EXPECT_NE(cycle->alarmState, InspectionCycle::AlarmRaised);
    EXPECT_FALSE(out(3));
    cycle->Run();
    EXPECT_GE(detections[1], 2) << "the mould stage follows the cleared product stage";
    EXPECT_FALSE(out(1));
}

TEST_F(Cycle, MouldFailureReDetectsBeforeTheAlarm)
{
    para.front_auto_check_time = 2;
    make();
    fail(1);
    setInput(0, true);
    cycle->Run();
    EXPECT_NE(cycle->alarmState, InspectionCycle::AlarmRaised);
    EXPECT_TRUE(cycle->redetectPending());
    cycle->Run();
    EXPECT_NE(cycle->alarmState, InspectionCycle::AlarmRaised);
    cycle->Run();
    EXPECT_EQ(cycle->alarmState, InspectionCycle::AlarmRaised);
    EXPECT_EQ(detections[1], 3 * 2) << "one detection and two re-detections on both cameras";
    EXPECT_TRUE(out(1)) << "clamping stays prohibited";

    // A re-detection that passes ends the cycle without an alarm.
    cycle->StartDetect();
    fail(1, false);
    verdict[{0, 1}] = false;
    int mouldRuns = 0;
    setInput(0, false);
    cycle->Run();
    fail(1);
    setInput(0, true);
    cycle->Run();
    mouldRuns = detections[1];
    fail(1, false);
    cycle->Run();
    EXPECT_EQ(detections[1], mouldRuns + 2);
    EXPECT_NE(cycle->alarmState, InspectionCycle::AlarmRaised);
    EXPECT_FALSE(out(1));
}

TEST_F(Cycle, Input3ReChecksOnlyTheMouldStageInSemiAutomatic)
{
    const struct { const char *name; int semi; int failedStage; bool rechecks; } rows[] = {
        {"semi mould", 1, 1, true},
        {"semi product", 1, 0, false},
        {"automatic mould", 0, 1, false},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        para.semi_auto = row.semi;
        verdict.clear();
        detections.clear();
        {
            QMutexLocker lock(pMutexIO);
            gDataIn = 0;
        }
        io = std::make_unique<ControlPort>(ControlPort::Link::Detached);
        make();
        fail(row.failedStage);
        setInput(0, true);
        cycle->Run();
        if (row.semi && row.failedStage == 1)
            pulse(2);  // input 3 triggers the mould stage in semi-automatic mode
        ASSERT_EQ(cycle->alarmState, InspectionCycle::AlarmRaised);
        const int before = detections[row.failedStage];
        fail(row.failedStage, false);
        setInput(2, false);
        cycle->Run();
        setInput(2, true);
        cycle->Run();
        EXPECT_EQ(detections[row.failedStage] > before, row.rechecks);
        EXPECT_EQ(cycle->alarmState != InspectionCycle::AlarmRaised, row.rechecks);
    }
}

TEST_F(Cycle, InputTimeoutProhibitsClampingUntilNextStart)
{
    para.input_timeout_len = 60;
    para.trigInDelay[0] = para.trigInDelay[1] = 5;
    make();
    setInput(0, true);
    cycle->Run();
    EXPECT_TRUE(cycle->inputTimeoutTimer().isActive());
    EXPECT_EQ(cycle->inputTimeoutTimer().interval(), 60000);
    runDown(0);
    runDown(1);
    ASSERT_FALSE(out(1));
    cycle->InCheck();
    EXPECT_TRUE(out(1));
    EXPECT_TRUE(noInputShown);
    EXPECT_TRUE(records.contains(QStringLiteral("Warnning: No Input Signal")));
    setInput(0, false);
    cycle->Run();
    setInput(0, true);
    cycle->Run();
    EXPECT_FALSE(noInputShown);
}

TEST_F(Cycle, SkipDetectionSkipsExactlyTheSetCount)
{
    para.offer_skip_detect = 1;
    para.skip_cycles = 3;
    make();
    cycle->SlotStartSkipDetect();
    ASSERT_TRUE(cycle->skipActive);
    for (int i = 0; i < 3; ++i)
        pulse(0);
    EXPECT_EQ(detections[0], 0);
    EXPECT_TRUE(records.contains(QStringLiteral("skip 1 Detect")));
    EXPECT_TRUE(records.contains(QStringLiteral("skip 3 Detect")));
    EXPECT_FALSE(cycle->skipActive);
    pulse(0);
    EXPECT_EQ(detections[0], 2);
}

TEST_F(Cycle, ContinuousProductFailuresUnderThePulseOption)
{
    para.enable_stop_not_alarm = 1;  // word 123: product failures pulse instead of stopping
    para.continuous_ng_count = 3;
    para.thimble_pulse = 5;
    make();
    fail(0);
    for (int i = 1; i <= 3; ++i) {
        pulse(0);
        EXPECT_NE(cycle->alarmState, InspectionCycle::AlarmRaised);
        EXPECT_EQ(continuousNgShown, i == 3) << "failure " << i;
    }
    EXPECT_TRUE(out(1));
    EXPECT_TRUE(out(3));
    cycle->ContinuousNgClosed();
    EXPECT_FALSE(continuousNgShown);
    EXPECT_FALSE(out(3));
    EXPECT_EQ(gContinuousNg[0], 0);
}

TEST_F(Cycle, StopAndStartDetection)
{
    para.enable_stop_mold = 1;
    make();
    cycle->StopDetect();
    EXPECT_EQ(cycle->detectState, InspectionCycle::Stopped);
    EXPECT_TRUE(out(1)) << "clamping prohibited while stopped";
    pulse(0);
    EXPECT_EQ(detections[0], 0) << "no detection while stopped";
    cycle->SlotStartStop();
    EXPECT_EQ(cycle->detectState, InspectionCycle::Detecting);
    EXPECT_FALSE(out(1));
    EXPECT_TRUE(records.contains(QStringLiteral("Start the detection manually ")));
}

TEST_F(Cycle, CountersRoundTripAndRepair)
{
    make();
    for (int cam = 0; cam < 8; ++cam) {
        gAllNum[cam] = 100 + cam;
        gFailNum[cam] = cam;
    }
    cycle->CountWrite();
    for (int cam = 0; cam < 8; ++cam)
        gAllNum[cam] = gFailNum[cam] = -1;
    cycle->CountRead();
    EXPECT_EQ(gAllNum[7], 107);
    EXPECT_EQ(gFailNum[3], 3);

    QFile file(QStringLiteral("count.txt"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write("100000001 5 ");
    file.close();
    cycle->CountRead();
    EXPECT_EQ(gAllNum[0], 0);
    EXPECT_EQ(gFailNum[0], 5);
    EXPECT_EQ(gAllNum[1], 0);

    QFile::remove(QStringLiteral("count.txt"));
    gAllNum[2] = 9;
    cycle->CountRead();
    EXPECT_EQ(gAllNum[2], 0);
}
