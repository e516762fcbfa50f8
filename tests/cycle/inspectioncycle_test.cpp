// The inspection cycle driven tick by tick: machine inputs in, interlock outputs out.
#include "cycle/inspectioncycle.h"

#include "core/globals.h"
#include "core/panel.h"
#include "core/texttable.h"
#include "io/controlport.h"
#include "params/wizardpara.h"
#include "tests/support/stationdir.h"
#include "tests/support/testport.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QMutex>
#include <QMutexLocker>
#include <QThread>

#include <algorithm>
#include <array>
#include <map>
#include <set>
#include <thread>

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
            const auto groups = ngGroups.find({camera, detection});
            return DetectVerdict{it == verdict.end() || it->second, groups == ngGroups.end() ? 0u : groups->second};
        };
        env.record = [this](const QString &text) { records << text; };
        env.lamp = [this](int lamp, bool on) { lamps[lamp] = on; };
        // Live cameras send a picture every tick; a frozen one sends none.
        env.takeFrame = [this](int camera, qint64 &capturedAt) {
            capturedAt = monoNow;
            if (liveCameras)
                return !frozen[camera];
            return framesWaiting[camera] > 0 && framesWaiting[camera]-- > 0;
        };
        env.now = [this] { return clock; };
        env.monotonicMs = [this] { return monoNow; };
        env.saveRawImage = [this](int camera, int detection, int index) {
            calls << QStringLiteral("raw %1 %2 %3").arg(camera).arg(detection).arg(index);
        };
        env.storeRetrainImage = [this](int camera, int detection) {
            calls << QStringLiteral("template %1 %2").arg(camera).arg(detection);
        };
        env.netSendStageResult = [this](int stage, bool ng, int triggerKind) {
            calls << QStringLiteral("net stage %1 %2").arg(stage).arg(ng ? "NG" : "OK");
            netTriggerKinds.push_back(triggerKind);
        };
        env.netSendStatistics = [this] { calls << QStringLiteral("net statistics"); };
        env.netReportAlarm = [this](int seconds, bool cancelled, int code) {
            calls << QStringLiteral("net alarm %1 s %2 code %3").arg(seconds).arg(cancelled ? "cancelled" : "").arg(code);
        };
        env.netReportManualStop = [this](bool stopped) {
            calls << QStringLiteral("net %1").arg(stopped ? "stopped" : "started");
        };
        if (hooks)
            hooks(env);
        env.screenOn = [] {};
        env.noInputWarning = [this](bool shown, const QString &) { noInputShown = shown; };
        env.continuousNgBox = [this](bool shown) { continuousNgShown = shown; };
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
    // Steps a stage's countdown with timer events `stepMs` apart until its detection ran; returns
    // the steps.
    int runDown(int stage, int stepMs = 100)
    {
        int steps = 0;
        while (cycle->stageRunning(stage) && steps < 1000) {
            monoNow += stepMs;
            cycle->TimerUp(stage);
            ++steps;
        }
        return steps;
    }

    // Time passes in 100 ms steps: the running stages' timer events, then a tick.
    void advance(int ms)
    {
        for (int t = 0; t < ms; t += 100) {
            monoNow += 100;
            for (int stage = 0; stage < 2; ++stage)
                if (cycle->stageRunning(stage))
                    cycle->TimerUp(stage);
            cycle->Run();
        }
    }
    // A new row of a table: inputs low, nothing recorded, every camera live.
    void freshRow()
    {
        setInput(0, false);
        setInput(1, false);
        io = std::make_unique<ControlPort>(ControlPort::Link::Detached);
        records.clear();
        operatorPort.notices.clear();
        detections.clear();
        verdict.clear();
        ngGroups.clear();
        frozen[0] = frozen[1] = false;
    }

    TempStation station{false};  // the counter file goes here, never into the working tree
    WizardPara para;
    TestOperatorPort operatorPort;
    std::unique_ptr<ControlPort> io;
    std::unique_ptr<InspectionCycle> cycle;
    std::map<std::pair<int, int>, bool> verdict;
    std::map<std::pair<int, int>, unsigned> ngGroups;  // NG output groups of a failing camera
    std::map<int, int> detections;
    QStringList records;
    QStringList calls;                          // hooks called, in order
    std::vector<int> netTriggerKinds;           // trigger kind of each stage reported to the network
    std::map<int, bool> lamps;
    int framesWaiting[2] = {};
    bool liveCameras = true;
    bool frozen[2] = {};
    qint64 monoNow = 1000000;  // the monotonic clock, ms
    QDateTime clock = QDateTime::currentDateTime();
    std::function<void(CycleEnvironment &)> hooks;  // a test's own hooks, set before make()
    bool noInputShown = false;
    bool continuousNgShown = false;
};

}  // namespace

TEST_F(Cycle, ProductThenMouldReleaseEjectorThenClamp)
{
    para.trigInDelay[0] = 5;
    para.trigInDelay[1] = 20;
    make();
    EXPECT_TRUE(out(1) && out(2)) << "held from start-up until judged";
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
    EXPECT_EQ(runDown(1), 20) << "2.5 s after input 1, 0.5 s of it already gone";
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

// The judged image of a safety-door judgement carries the door-trigger note; a cycle's does not.
TEST_F(Cycle, DoorTriggeredJudgementIsMarkedOnTheKeptImage)
{
    para.enable_trigger_safety = 1;
    para.ok_record_max_num = 1;
    QList<bool> doors;
    hooks = [&](CycleEnvironment &env) {
        env.keepJudgedImage = [&](int, int detection, bool, bool door) {
            if (detection == 1)
                doors << door;
        };
    };
    make();
    pulse(0);
    runDown(0);
    runDown(1);
    pulse(1);
    runDown(1);
    EXPECT_EQ(doors, QList<bool>({false, false, true, true}));
}

TEST_F(Cycle, DoorReCheckKeepsAlarmUntilThePartIsGone)
{
    make();
    fail(0);
    fail(1);  // a part in the mould fails the mould check as well
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
    fail(1, false);
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

// Pictures kept for trying settings on later carry final verdicts: a mould stage that is
// re-detected twice is kept once per camera (the passing camera too), when the alarm is raised.
TEST_F(Cycle, ReplayPicturesAreKeptWithFinalVerdictsOnly)
{
    para.front_auto_check_time = 2;
    QList<std::tuple<int, int, bool>> kept;
    hooks = [&](CycleEnvironment &env) {
        env.keepReplayImage = [&](int camera, int detection, bool ok) { kept.append({camera, detection, ok}); };
    };
    make();
    fail(1);
    setInput(0, true);
    cycle->Run();
    cycle->Run();
    EXPECT_EQ(kept, (QList<std::tuple<int, int, bool>>{{0, 0, true}, {1, 0, true}}));
    cycle->Run();
    ASSERT_EQ(cycle->alarmState, InspectionCycle::AlarmRaised);
    EXPECT_EQ(kept.mid(2), (QList<std::tuple<int, int, bool>>{{0, 1, false}, {1, 1, true}}));
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
    io->releaseHold(0);  // a station that has judged its first cycle
    io->releaseHold(1);
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

// The stop button is the way out of an alarm that no re-check passes: with the password and a yes
// it ends the alarm and leaves the outputs as a stop does; otherwise the alarm stands.
TEST_F(Cycle, StopDuringAnAlarmNeedsPasswordAndYes)
{
    const struct { const char *name; bool password, yes, stopMold, ended; } rows[] = {
        {"password refused", false, true, true, false},
        {"question answered no", true, false, true, false},
        {"stopped, clamping held by the stop switch", true, true, true, true},
        {"stopped, clamping released as a stop does", true, true, false, true},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        para.enable_stop_mold = row.stopMold ? 1 : 0;
        operatorPort.passwordOk = row.password;
        operatorPort.answer = row.yes;
        records.clear();
        make();
        fail(1);
        pulse(0);
        ASSERT_EQ(cycle->alarmState, InspectionCycle::AlarmRaised);
        cycle->SlotStartStop();
        EXPECT_EQ(cycle->alarmState, row.ended ? InspectionCycle::Waiting : InspectionCycle::AlarmRaised);
        EXPECT_EQ(cycle->detectState, InspectionCycle::Stopped);
        EXPECT_EQ(out(3), !row.ended) << "the alarm output";
        EXPECT_EQ(out(1), !row.ended || row.stopMold) << "the clamp interlock";
        EXPECT_EQ(records.contains(QStringLiteral("Stop the detection manually ")), row.ended);
        fail(1, false);
    }
}

// A cycle judged while the operator browses the NG images leaves the browsing state alone.
TEST_F(Cycle, ResultDisplayDoesNotEndTheBrowsing)
{
    make();
    cycle->alarmState = InspectionCycle::Browsing;
    pulse(0);
    runDown(0);
    runDown(1);
    EXPECT_EQ(detections[1], 2) << "the cycle still judges";
    EXPECT_FALSE(out(1));
    EXPECT_EQ(cycle->alarmState, InspectionCycle::Browsing);
    EXPECT_FALSE(cycle->showTimer().isActive());
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

TEST_F(Cycle, SecondTimerFrameRatesHeartbeatAndCameraWatch)
{
    int secondTicks = 0, whiteBalances = 0, faultChecks = 0;
    bool faultFlagged = false;
    hooks = [&](CycleEnvironment &env) {
        env.secondTick = [&] { ++secondTicks; };
        env.whiteBalance = [&] { ++whiteBalances; };
        env.cameraFaultFlagged = [&] { return faultFlagged; };
        env.checkCameras = [&] { ++faultChecks; };
    };
    para.enable_camera_check = 1;
    liveCameras = false;
    make();
    cycle->start();
    EXPECT_TRUE(cycle->fpsTimer().isActive());
    cycle->halt();

    // Frames taken by the ticks of one second give each camera's rate; the next second starts at 0.
    framesWaiting[0] = 3;
    framesWaiting[1] = 1;
    for (int i = 0; i < 4; ++i)
        cycle->Run();
    cycle->SlotFPS();
    EXPECT_FLOAT_EQ(cycle->cameraFps[0], 3);
    EXPECT_FLOAT_EQ(cycle->cameraFps[1], 1);
    EXPECT_EQ(secondTicks, 1) << "the stall watch runs every second";
    const bool first = lamps[kLampHeartbeat];
    cycle->SlotFPS();
    EXPECT_FLOAT_EQ(cycle->cameraFps[0], 0);
    EXPECT_NE(lamps[kLampHeartbeat], first) << "the heartbeat blinks while detecting";
    cycle->StopDetect();
    for (int i = 0; i < 2; ++i) {
        cycle->SlotFPS();
        EXPECT_TRUE(lamps[kLampHeartbeat]) << "steady on while stopped";
    }

    // White balance once, on the 50th tick after a start; the fault check only when flagged.
    cycle->StartDetect();
    for (int i = 0; i < 120; ++i)
        cycle->Run();
    EXPECT_EQ(whiteBalances, 1);
    EXPECT_EQ(faultChecks, 0);
    cycle->StartDetect();
    faultFlagged = true;
    for (int i = 0; i < 50; ++i)
        cycle->Run();
    EXPECT_EQ(whiteBalances, 2);
    EXPECT_EQ(faultChecks, 50);
}

TEST_F(Cycle, RawImagesRingOf200PerCameraAndDetection)
{
    struct RawSwitch
    {
        ~RawSwitch() { gSaveRawImages = false; }
    } restore;
    make();
    pulse(0);
    EXPECT_TRUE(calls.isEmpty()) << "nothing saved while raw saving is off";
    gSaveRawImages = true;
    for (int i = 0; i < 201; ++i)
        pulse(0);
    ASSERT_EQ(calls.size(), 201 * 4);
    EXPECT_EQ(calls[0], QStringLiteral("raw 0 0 0"));
    EXPECT_EQ(calls[3], QStringLiteral("raw 1 1 0"));
    EXPECT_EQ(calls[199 * 4 + 1], QStringLiteral("raw 1 0 199"));
    EXPECT_EQ(calls[200 * 4 + 2], QStringLiteral("raw 0 1 0")) << "the index wraps after 200";
}

TEST_F(Cycle, ResamplingStoresTemplatesThenHandsOverToTheRegionCheck)
{
    const struct { const char *name; bool editor; bool password; bool regionCheck; } rows[] = {
        {"password given", true, true, true},
        {"password refused", true, false, false},
        {"no region check", false, true, false},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        calls.clear();
        detections.clear();
        int handedOver = 0, bound = 0;
        operatorPort.passwordOk = row.password;
        hooks = [&](CycleEnvironment &env) {
            env.resampleStarted = [&] { ++bound; };
            if (row.editor)
                env.resampleDone = [&](int) { ++handedOver; };
        };
        make();
        fail(0);  // a failing camera must not raise an alarm while re-sampling
        cycle->StartResample();
        ASSERT_EQ(cycle->detectState, InspectionCycle::Resampling);
        EXPECT_EQ(bound, 1) << "a training binds the cameras' serial numbers";
        pulse(0);
        EXPECT_EQ(detections[0] + detections[1], 0) << "no detection while re-sampling";
        EXPECT_EQ(calls, QStringList({"template 0 0", "template 1 0", "template 0 1", "template 1 1"}));
        EXPECT_NE(cycle->alarmState, InspectionCycle::AlarmRaised);
        EXPECT_FALSE(cycle->showTimer().isActive()) << "no result shown";
        EXPECT_TRUE(out(1)) << "clamping prohibited after the new templates";
        EXPECT_FALSE(out(3));
        EXPECT_EQ(handedOver, row.regionCheck ? 1 : 0);
        EXPECT_EQ(cycle->detectState, row.regionCheck ? InspectionCycle::Resampling : InspectionCycle::Detecting);
        if (row.regionCheck) {
            EXPECT_EQ(cycle->alarmState, InspectionCycle::Browsing);
            // While the regions are checked, machine cycles neither detect nor take templates.
            pulse(0);
            EXPECT_EQ(calls.size(), 4);
            EXPECT_EQ(handedOver, 1);
            cycle->RegionCheckDone();
            EXPECT_EQ(cycle->detectState, InspectionCycle::Detecting);
            EXPECT_EQ(cycle->alarmState, InspectionCycle::Waiting);
        }
        fail(0, false);
        pulse(0);
        EXPECT_EQ(detections[0], 2) << "detection resumes";
        EXPECT_FALSE(out(1));
    }
}

TEST_F(Cycle, TwoStationSideChoosesTheDetections)
{
    // Mode 1: input 3 presents side 1 (detections 0, 1), input 4 side 0 (detections 2, 3), within the
    // submode's limits. Mode 2: the side follows the input that started the cycle.
    const struct { const char *name; int mode; int submode; int sideInput; int firstDetection; } rows[] = {
        {"mode 1 input 4", 1, 2, 3, 2},
        {"mode 1 input 3", 1, 2, 2, 0},
        {"mode 1 submode 0 ignores input 4", 1, 0, 3, 0},
        {"mode 2 input 1", 2, 2, 0, 0},
        {"mode 2 input 4", 2, 2, 3, 2},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        detections.clear();
        para.work_mode = row.mode;
        para.work_submode = row.submode;
        gTwoStationLeftSide = true;
        make();
        pulse(row.sideInput);
        if (row.mode == 1)
            pulse(0);  // the mould opens: the cycle starts on the side presented
        if (row.submode == 0)
            pulse(2);  // input 3 triggers the mould stage
        EXPECT_EQ(detections[row.firstDetection], 2) << "product check of the side";
        EXPECT_EQ(detections[row.firstDetection + 1], 2) << "mould check of the side";
        EXPECT_EQ(detections[row.firstDetection == 0 ? 2 : 0], 0) << "the other side is not checked";
        EXPECT_FALSE(out(1));
        EXPECT_FALSE(out(2));
    }
}

TEST_F(Cycle, CustomModeStagesOnOneInputFollowEachOther)
{
    // Stages 1 and 2 on input 1 (source 0, kind 0), stage 3 on input 3 (source 1, kind 3: released
    // for the clamp pulse only). Outputs: stage 1 -> 2, stage 2 -> 4, the last stage -> 1.
    para.work_mode = 4;
    para.custom_stage_count = 3;
    para.custom_stage_source[0] = para.custom_stage_source[1] = 0;
    para.custom_stage_source[2] = 1;
    para.trigger_source_input[0] = 0;  // input 1
    para.trigger_source_input[1] = 1;  // input 3
    para.trigger_source_kind[0] = 0;
    para.trigger_source_kind[1] = 3;
    para.cycle_start_input1_only = 1;
    para.trigInDelay[0] = 2;
    para.mold_pulse = 5;
    para.input_hold_time = 3;
    make();
    io->releaseHold(0);  // a station that has judged its first cycle
    io->releaseHold(1);

    setInput(0, true);
    cycle->Run();
    EXPECT_FALSE(out(2)) << "input 1 waits for its hold time";
    cycle->CheckInput(0);
    cycle->Run();
    EXPECT_TRUE(out(2) && out(4) && out(1)) << "kind 0 holds every stage's output";
    EXPECT_TRUE(cycle->stageRunning(0));
    EXPECT_FALSE(cycle->stageRunning(1)) << "stage 2 waits for stage 1 on the same input";
    setInput(0, false);
    cycle->Run();
    runDown(0);
    EXPECT_EQ(detections[0], 2);
    EXPECT_FALSE(out(2));
    EXPECT_EQ(detections[1], 0);
    cycle->Run();  // the same input again at once: no edge, no hold
    EXPECT_EQ(detections[1], 2);
    EXPECT_FALSE(out(4));
    EXPECT_TRUE(out(1));
    cycle->Run();
    EXPECT_EQ(detections[1], 2) << "the chained input is processed once";
    EXPECT_EQ(detections[0], 2) << "no new cycle while the last stage is owed";

    // A new input 1 does not start a cycle while the last stage is still owed (word 404).
    pulse(0);
    cycle->CheckInput(0);
    cycle->Run();
    EXPECT_EQ(detections[0], 2);

    setInput(2, true);
    cycle->Run();
    cycle->CheckInput(2);
    cycle->Run();
    EXPECT_EQ(detections[2], 2);
    EXPECT_FALSE(out(1)) << "the last stage allows clamping";
    ASSERT_TRUE(cycle->stagePulseTimer(2).isActive());
    EXPECT_EQ(cycle->stagePulseTimer(2).interval(), 500);
}

TEST_F(Cycle, NetworkReportsAtTheirPoints)
{
    para.net_report = 1;
    make();
    pulse(0);
    EXPECT_EQ(calls, QStringList({"net stage 0 OK", "net stage 1 OK", "net statistics"}));
    EXPECT_EQ(netTriggerKinds, std::vector<int>({1, 1})) << "both stages follow the mould-open input";
    netTriggerKinds.clear();
    cycle->SlotManualTrig(1);
    cycle->Run();
    EXPECT_EQ(netTriggerKinds, std::vector<int>({-2})) << "a manual picture of the mould";

    calls.clear();
    fail(1);
    pulse(0);
    ASSERT_EQ(cycle->alarmState, InspectionCycle::AlarmRaised);
    EXPECT_EQ(calls, QStringList({"net stage 0 OK", "net stage 1 NG"})) << "no statistics for a failed cycle";
    calls.clear();
    fail(1, false);
    clock = clock.addSecs(42);
    pulse(1);
    EXPECT_TRUE(calls.contains(QStringLiteral("net alarm 42 s cancelled code 4")));

    calls.clear();
    cycle->SlotStartStop();
    EXPECT_EQ(calls, QStringList({"net stopped", "net statistics"}));
    calls.clear();
    para.net_report = 0;
    cycle->SlotStartStop();
    pulse(0);
    EXPECT_TRUE(calls.isEmpty()) << "reporting off";
}

// A station that comes up holds both interlocks until the stage that gates each has judged the open
// mould; a stop or start on the way releases nothing, the operator's stop does.
TEST_F(Cycle, InterlocksHeldFromStartUpUntilTheirStagesJudged)
{
    const struct
    {
        const char *name;
        int productCheck;
        int semi;
        unsigned inputsAtStart;   // board inputs at the first tick
        bool ejectorHeldAtStart;  // after detection started
        int productRuns;          // product detections of the first cycle
    } rows[] = {
        {"mould closed", 1, 0, 0x0, true, 2},
        {"mould open with the product", 1, 1, 0x1, true, 2},
        {"mould open after the ejection", 1, 1, 0x5, true, 0},
        {"no product check", 0, 0, 0x0, false, 0},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        para.enable_product_detect = row.productCheck;
        para.semi_auto = row.semi;
        para.trigInDelay[0] = para.trigInDelay[1] = 3;
        detections.clear();
        {
            QMutexLocker lock(pMutexIO);
            gDataIn = row.inputsAtStart;
        }
        io = std::make_unique<ControlPort>(ControlPort::Link::Detached);
        make();
        cycle->StopDetect();  // the clock check at start-up
        cycle->StartDetect();
        EXPECT_TRUE(out(1));
        EXPECT_EQ(out(2), row.ejectorHeldAtStart);
        setInput(0, true);
        cycle->Run();
        runDown(0);
        EXPECT_EQ(detections[0], row.productRuns);
        EXPECT_EQ(out(2), row.productRuns == 0 && row.ejectorHeldAtStart) << "released by the product verdict only";
        EXPECT_TRUE(out(1));
        if (row.semi && row.inputsAtStart != 0x5)
            pulse(2);
        runDown(1);
        EXPECT_EQ(detections[1], 2);
        EXPECT_FALSE(out(1)) << "the mould verdict releases the clamp";
    }

    // The operator's stop (password and confirmation) hands the interlocks to the stopped state.
    io = std::make_unique<ControlPort>(ControlPort::Link::Detached);
    make();
    cycle->SlotStartStop();
    EXPECT_EQ(cycle->detectState, InspectionCycle::Stopped);
    EXPECT_FALSE(out(1) || out(2));
}

TEST_F(Cycle, ModeWithoutACycleRefusesToDetect)
{
    para.work_mode = 5;  // keeps whatever stage tables the record holds
    make();
    pulse(0);
    cycle->SlotStartStop();
    EXPECT_EQ(cycle->detectState, InspectionCycle::Stopped);
    EXPECT_TRUE(out(1) && detections.empty()) << "clamping prohibited, nothing judged";
    EXPECT_EQ(records.count(LanStr(1110).arg(5)) + operatorPort.notices.count(LanStr(1110).arg(5)), 4);
}

// After a loss, the door's re-check waits until every camera has sent a picture again.
TEST_F(Cycle, AlarmReCheckWaitsForTheCamerasAfterALoss)
{
    bool lost = false;
    hooks = [&](CycleEnvironment &env) { env.cameraLost = [&] { return lost; }; };
    make();
    fail(0);
    pulse(0);
    lost = true;
    cycle->Run();
    lost = false;
    frozen[1] = true;
    verdict.clear();  // the part is taken out
    monoNow += 10;
    pulse(1);
    advance(1100);
    EXPECT_EQ(cycle->alarmState, InspectionCycle::AlarmRaised) << "no re-check on a picture from before the loss";
    EXPECT_EQ(records.count(LanStr(1111).arg(2)), 1);
    frozen[1] = false;
    cycle->Run();
    EXPECT_NE(cycle->alarmState, InspectionCycle::AlarmRaised);
}

// A picture from before a stage's trigger is no verdict: a frozen camera, one without a picture of
// this machine-triggered cycle, or cameras silent since the capture mode changed hold the stage and
// its interlocks and are reported once as a camera fault; the stage judges when pictures come.
TEST_F(Cycle, StagesJudgeOnlyPicturesTakenAfterTheirTrigger)
{
    const struct { const char *name; bool external; bool switchCapture; const char *missing; } rows[] = {
        {"continuous capture, camera 2 frozen", false, false, "2"},
        {"machine trigger, no picture of this cycle from camera 2", true, false, "2"},
        {"switched to machine trigger, no picture since", false, true, "1, 2"},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        freshRow();
        para.external_trigger = row.external;
        para.trigInDelay[0] = para.trigInDelay[1] = 3;
        liveCameras = !row.external;  // triggered cameras send one picture per trigger
        make();
        // A good first cycle; with the machine trigger a picture from every camera starts it.
        monoNow += 10;
        framesWaiting[0] = framesWaiting[1] = 1;
        if (row.external)
            cycle->Run();
        pulse(0);
        advance(1000);
        ASSERT_EQ(detections[0] + detections[1], 4);

        framesWaiting[0] = 1;
        frozen[1] = true;
        frozen[0] = row.switchCapture;
        para.external_trigger |= row.switchCapture;
        fail(0);  // an old picture, were it judged, would raise the alarm
        monoNow += 10;
        pulse(0);
        advance(1500);
        EXPECT_EQ(detections[0], 2) << "no verdict on an old picture";
        EXPECT_TRUE(out(1) && out(2) && cycle->alarmState != InspectionCycle::AlarmRaised);
        const QString fault = LanStr(1111).arg(QLatin1String(row.missing));
        EXPECT_EQ(records.count(fault) + operatorPort.notices.count(fault), 2);

        fail(0, false);
        frozen[0] = frozen[1] = false;
        framesWaiting[0] = framesWaiting[1] = 1;
        advance(100);
        EXPECT_FALSE(out(2)) << "the product passed on the new pictures";
    }
}

// Timer events 185 ms apart (a loaded machine) do not stretch delays: they end on the clock.
TEST_F(Cycle, DelaysRunAgainstTheClockWhenTimerEventsComeLate)
{
    para.enable_product_detect = 0;
    para.trigInDelay[1] = 10;
    para.front_auto_check_time = 1;
    para.redetect_delay = 10;
    para.input_hold_time = 3;
    make();
    setInput(0, true);
    for (int ms : {0, 299, 1}) {
        monoNow += ms;
        cycle->Run();
        EXPECT_EQ(cycle->stageRunning(1), ms == 1) << "input 1 is held for 0.3 s";
    }
    fail(1);
    EXPECT_EQ(runDown(1, 185), 6) << "1.0 s ends at the sixth event (1.11 s), not the tenth (1.85 s)";
    cycle->Run();
    int events = 0;
    for (; cycle->reCheckTimer().isActive() && events < 100; ++events) {
        monoNow += 185;
        cycle->ReCheck();
    }
    EXPECT_EQ(events, 6) << "the re-detection delay too";
}

// A product alarm on an empty mould (a product snapshot of the empty mould, or the part taken out
// by hand) clears at the door when the mould check passes on the new pictures: the ejector goes,
// and the mould stage still follows at input 3 before clamping is allowed.
TEST_F(Cycle, ProductAlarmClearsAtTheDoorOnceTheMouldIsEmpty)
{
    const struct { const char *name; bool snapshot; bool mouldEmpty; } rows[] = {
        {"product snapshot of the empty mould", true, true},
        {"part taken out by hand", false, true},
        {"part still in the mould", false, false},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        freshRow();
        para.semi_auto = 1;  // the mould check waits for input 3, which a hand-emptied mould never sends
        make();
        fail(0);
        fail(1, !row.snapshot);
        if (row.snapshot)
            cycle->SlotManualTrig(0);
        setInput(0, !row.snapshot);
        cycle->Run();
        ASSERT_EQ(cycle->alarmState, InspectionCycle::AlarmRaised);
        fail(1, !row.mouldEmpty);
        setInput(1, true);  // the door opens
        cycle->Run();
        EXPECT_EQ(cycle->alarmState != InspectionCycle::AlarmRaised && !out(2) && !out(3)
                      && records.contains(LanStr(1112)), row.mouldEmpty) << "cleared, ejector allowed";
        EXPECT_TRUE(out(1));
        EXPECT_EQ(cycle->clampHeldForInput(), row.mouldEmpty ? 3 : 0) << "the reason shown while it holds";
        pulse(2);
        EXPECT_EQ(out(1), !row.mouldEmpty) << "the mould stage at input 3 allows clamping";
    }
}

// Under the product pulse options each pulse group follows the NG output groups of the regions that
// failed, whichever camera they belong to; a failed image naming no region fails every group.
TEST_F(Cycle, PulseGroupsFollowTheFailedRegionsOutputGroups)
{
    const struct { const char *name; bool okPulse132; int camera; unsigned groups; bool on[4]; } rows[] = {
        // with 132: outputs 5, 6, 7, 8; with 123: outputs 2, 4, 5, 6
        {"132, camera 2 fails a region of group 1", true, 1, 0x1, {true, false, false, true}},
        {"132, camera 1 fails a region of group 2", true, 0, 0x2, {false, true, true, false}},
        {"123, camera 1 fails a region of group 4", false, 0, 0x8, {true, true, true, false}},
        {"123, camera 2 fails naming no region", false, 1, 0x0, {false, false, false, false}},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        freshRow();
        para.no_alarm_pulse = row.okPulse132;
        para.enable_stop_not_alarm = !row.okPulse132;
        para.thimble_pulse = 5;
        make();
        verdict[{row.camera, 0}] = false;
        ngGroups[{row.camera, 0}] = row.groups;
        pulse(0);
        const int outputs[2][4] = {{2, 4, 5, 6}, {5, 6, 7, 8}};
        for (int k = 0; k < 4; ++k)
            EXPECT_EQ(out(outputs[row.okPulse132][k]), row.on[k]) << "output " << outputs[row.okPulse132][k];
    }
}

// A manual trigger is a cycle start: skipping consumes it; otherwise both interlocks are held, the
// counts armed, and the requested stage judged at once, its pass releasing only its own interlock.
TEST_F(Cycle, ManualTriggerStartsACycle)
{
    const struct { const char *name; int stage; bool skipping; int judged; bool clamp, ejector; int counted; } rows[] = {
        {"product shot", 0, false, 2, true, false, 1},
        {"mould shot", 1, false, 2, false, true, 1},
        {"shot while skipping", 0, true, 0, false, false, 0},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        freshRow();
        para.offer_skip_detect = 1;
        para.skip_cycles = 3;
        make();
        pulse(0);  // a whole good cycle: both interlocks released, counted
        if (row.skipping)
            cycle->SlotStartSkipDetect();
        detections.clear();
        const int counted = gAllNum[0];
        cycle->SlotManualTrig(row.stage);
        cycle->Run();
        EXPECT_EQ(detections[row.stage], row.judged);
        EXPECT_EQ(out(1), row.clamp);
        EXPECT_EQ(out(2), row.ejector);
        EXPECT_EQ(gAllNum[0] - counted, row.counted);
        EXPECT_EQ(records.contains(QStringLiteral("skip 1 Detect")), row.skipping);
    }
}

// Clamping stays prohibited until the last stage passed: a pass of an earlier stage that ends an
// alarm keeps output 1 on, and the station says which input the next stage waits for. In the
// custom mode the last stage is the mould stage that input 3 re-checks in semi-automatic mode.
TEST_F(Cycle, AlarmOfAnEarlierStageEndsWithClampingStillProhibited)
{
    const struct { const char *name; int mode; int failedStage; int clearInput; int nextInput; } rows[] = {
        {"custom, middle stage cleared at the door", 4, 1, 2, 3},
        {"custom, last stage cleared by input 3", 4, 2, 3, 0},
        {"two-station, product cleared at the door", 1, 0, 2, 3},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        freshRow();
        para.work_mode = row.mode;
        para.work_submode = 0;  // mode 1: product on input 1, mould on input 3
        para.semi_auto = 1;
        para.custom_stage_count = 3;  // stages 1, 2 on input 1, stage 3 on input 3, all kind 0
        para.custom_stage_source[0] = para.custom_stage_source[1] = 0;
        para.custom_stage_source[2] = 1;
        para.trigger_source_input[0] = 0;
        para.trigger_source_input[1] = 1;
        para.trigger_source_kind[0] = para.trigger_source_kind[1] = 0;
        para.cycle_start_input1_only = 1;
        make();
        io->releaseHold(0);
        io->releaseHold(1);
        fail(row.failedStage);
        pulse(0);
        if (row.failedStage == 2)
            pulse(2);
        ASSERT_EQ(cycle->alarmState, InspectionCycle::AlarmRaised);
        fail(row.failedStage, false);
        pulse(row.clearInput - 1);
        EXPECT_NE(cycle->alarmState, InspectionCycle::AlarmRaised);
        EXPECT_FALSE(out(3));
        EXPECT_EQ(out(1), row.nextInput != 0) << "clamping waits for the last stage";
        EXPECT_EQ(cycle->clampHeldForInput(), row.nextInput);
        if (row.nextInput == 0)
            continue;
        pulse(row.nextInput - 1);
        EXPECT_FALSE(out(1)) << "the last stage's pass allows clamping";
        EXPECT_EQ(cycle->clampHeldForInput(), 0);
    }
}

// A machine that ejected before the product was judged (the station was late) reported the
// ejector back already: once the door's re-check found the product gone, the mould stage follows
// without another input 3, and alone allows clamping. A mould that closed meanwhile waits.
TEST_F(Cycle, MouldStageFollowsAtOnceWhenTheEjectorCameBackBeforeTheProductAlarm)
{
    const struct { const char *name; bool mouldStillOpen; } rows[] = {
        {"mould still open", true},
        {"mould closed since", false},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        freshRow();
        setInput(2, false);
        para.semi_auto = 1;
        para.trigInDelay[0] = 3;
        para.trigInDelay[1] = 5;
        make();
        fail(0);  // the product check looks into the emptied mould
        setInput(0, true);
        cycle->Run();
        setInput(2, true);
        advance(300);
        ASSERT_EQ(cycle->alarmState, InspectionCycle::AlarmRaised);
        setInput(0, row.mouldStillOpen);
        setInput(2, row.mouldStillOpen);
        pulse(1);
        EXPECT_NE(cycle->alarmState, InspectionCycle::AlarmRaised);
        EXPECT_TRUE(out(1));
        EXPECT_EQ(cycle->clampHeldForInput(), row.mouldStillOpen ? 0 : 3);
        advance(600);
        EXPECT_EQ(detections[1], row.mouldStillOpen ? 2 + 2 : 2) << "the mould check at the door, then the stage";
        EXPECT_EQ(out(1), !row.mouldStillOpen);
    }
}

// Eight cameras judged side by side on worker threads decide as when judged one after the other:
// the same outputs, alarm, counts and per-camera hooks in camera order.
TEST_F(Cycle, CamerasJudgedSideBySideDecideAsOneAfterTheOther)
{
    const struct { const char *name; std::vector<std::pair<int, int>> failing; } rows[] = {
        {"all pass", {}},
        {"camera 6 fails the product stage", {{5, 0}}},
        {"cameras 1 and 8 fail the mould stage", {{0, 1}, {7, 1}}},
    };
    auto runCycle = [&](int workers, const std::vector<std::pair<int, int>> &failing, std::set<std::thread::id> &threads) {
        freshRow();
        QMutex threadsMutex;
        hooks = [&](CycleEnvironment &env) {
            env.cameraCount = [] { return 8; };
            env.takeFrame = [this](int, qint64 &at) { at = monoNow; return true; };
            env.detectConcurrently = true;
            env.detect = [&](int camera, int detection) {
                QThread::msleep(2);
                QMutexLocker lock(&threadsMutex);
                threads.insert(std::this_thread::get_id());
                const bool ng = std::find(failing.begin(), failing.end(), std::pair(camera, detection)) != failing.end();
                return DetectVerdict{!ng, 0u};
            };
            env.keepFailedFrame = [this](int camera, int detection) {
                calls << QStringLiteral("failed frame %1 %2").arg(camera).arg(detection);
            };
        };
        calls.clear();
        make();
        cycle->setJudgeWorkers(workers);
        EXPECT_EQ(cycle->judgeWorkers(), workers);
        std::array<int, 8> failNum;
        std::copy(std::begin(gFailNum), std::end(gFailNum), failNum.begin());
        setInput(0, true);
        cycle->Run();
        QStringList state = calls;
        {
            QMutexLocker lock(pMutexIO);
            state << QString::number(gDataOut, 16);
        }
        state << QString::number(cycle->alarmState);
        for (int cam = 0; cam < 8; ++cam)
            state << QStringLiteral("camera %1 ok %2 failed %3").arg(cam).arg(cycle->cameraOk(cam)).arg(gFailNum[cam] - failNum[cam]);
        return state;
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        std::set<std::thread::id> sequentialThreads, parallelThreads;
        const QStringList sequential = runCycle(0, row.failing, sequentialThreads);
        const QStringList parallel = runCycle(3, row.failing, parallelThreads);
        EXPECT_EQ(parallel.join('\n').toStdString(), sequential.join('\n').toStdString());
        EXPECT_EQ(sequentialThreads.size(), 1u);
        EXPECT_GT(parallelThreads.size(), 1u) << "judged on the workers as well";
    }
}

// An input change brings the waiting tick forward, but not the long wait after a camera loss nor a
// cycle stepped by hand.
TEST_F(Cycle, InputChangeWakesOnlyATickWaitingItsPeriod)
{
    const struct { const char *name; bool selfClocked; bool afterLoss; bool judged; } rows[] = {
        {"tick waiting its period", true, false, true},
        {"tick held back after a camera loss", true, true, false},
        {"cycle stepped by hand", false, false, false},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        freshRow();
        bool lost = false;
        hooks = [&](CycleEnvironment &env) { env.cameraLost = [&] { return lost; }; };
        make();
        cycle->setSelfClocked(row.selfClocked);
        lost = row.afterLoss;
        cycle->Run();  // arms the next tick (3 ms, or 3 s after a loss)
        lost = false;
        setInput(0, true);
        cycle->WakeForInputs();
        EXPECT_EQ(detections[0] == 2, row.judged);
        EXPECT_EQ(!out(1), row.judged) << "clamping allowed only after the judgement";
        cycle->halt();
    }
}
