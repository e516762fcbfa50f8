#include "cycle/inspectioncycle.h"

#include "cycle/failimagestore.h"
#include "cycle/alarmstore.h"

#include "core/globals.h"
#include "core/guard.h"
#include "core/operatorport.h"
#include "core/panel.h"
#include "io/controlport.h"
#include "io/iothread.h"
#include "log/eventrecord.h"
#include "params/wizardpara.h"
#include "vision/judgepool.h"

#include <QFile>
#include <QTextStream>
#include <QtDebug>

#include <chrono>

namespace {

constexpr int kTickMs = 3;
constexpr int kTickAwaitingMs = 1;
constexpr int kTickAfterLossMs = 3000;
constexpr int kFirstTickMs = 5;
constexpr int kStepMs = 100;
constexpr int kShowMs = 2000;
constexpr int kSafeDoorLockoutMs = 2000;
constexpr int kWhiteBalanceTick = 50;
constexpr int kSecondMs = 1000;
// A frame set complete this shortly before a cycle start came with the same machine trigger.
constexpr int kFrameSetWithStartMs = 500;

// Text rows.
constexpr int kRowLinkLost = 589;
constexpr int kRowLinkBack = 590;
constexpr int kRowNoInput = 335;
constexpr int kRowCameraFailed = 151;
constexpr int kRowAlarm = 152;
constexpr int kRowStopDetection = 127;
constexpr int kRowStartDetection = 136;
constexpr int kRowStartManually = 142;
constexpr int kRowStopManually = 141;
constexpr int kRowConfirmStop = 140;
constexpr int kRowProductNotEnabled = 145;
constexpr int kRowSkipStart = 573;
constexpr int kRowSkipConfirm = 574;
constexpr int kRowSkipStop = 576;
constexpr int kRowSkipDone = 577;
constexpr int kRowSkipEndConfirm = 578;
constexpr int kRowModeWithoutCycle = 1110;
constexpr int kRowNoNewPicture = 1111;
constexpr int kRowProductTakenOut = 1112;

WizardPara &para() { return *gpWPara; }

}  // namespace

InspectionCycle::InspectionCycle(ControlPort *io, CycleEnvironment env, QObject *parent)
    : QObject(parent)
    , m_io(io)
    , m_env(std::move(env))
{
    m_tick.setSingleShot(true);
    connect(&m_tick, &QTimer::timeout, this, &InspectionCycle::Run);
    // An input edge need not wait for the tick's period: the IO thread tells when the word changed.
    if (m_io && m_io->ioThread())
        connect(m_io->ioThread(), &IOThread::inputsChanged, this, &InspectionCycle::WakeForInputs,
                Qt::QueuedConnection);
    setJudgeWorkers(m_env.detectConcurrently ? JudgePool::defaultWorkers() : 0);
    // Delays run against deadlines on the monotonic clock; the timers only wake the cycle up (the
    // countdown on the views in 0.1 s steps), so late timer events never lengthen a delay.
    for (int stage = 0; stage < kStages; ++stage) {
        m_stageTimer[stage].setSingleShot(true);
        m_stageTimer[stage].setTimerType(Qt::PreciseTimer);
        connect(&m_stageTimer[stage], &QTimer::timeout, this, [this, stage] { TimerUp(stage); });
    }
    m_inCheck.setSingleShot(true);
    connect(&m_inCheck, &QTimer::timeout, this, &InspectionCycle::InCheck);
    m_reCheck.setSingleShot(true);
    connect(&m_reCheck, &QTimer::timeout, this, &InspectionCycle::ReCheck);
    m_show.setSingleShot(true);
    m_show.setInterval(kShowMs);
    connect(&m_show, &QTimer::timeout, this, &InspectionCycle::TimerShow);
    m_safeDoor.setSingleShot(true);
    m_safeDoor.setInterval(kSafeDoorLockoutMs);

    // The clamp pulse: clamping is allowed only for the pulse length.
    m_notAllowClose.setSingleShot(true);
    connect(&m_notAllowClose, &QTimer::timeout, this, [this] {
        if (para().ok_ng_pulse) {
            setOut(1, false);
            setOut(2, false);
            setOut(3, false);
        } else if (para().word124) {
            setOut(1, false);
        } else if (detectState != Stopped) {
            setOut(1, true);
        }
        publish();
    });
    m_notAllowThimble.setSingleShot(true);
    connect(&m_notAllowThimble, &QTimer::timeout, this, [this] {
        if (para().ok_ng_pulse) {
            setOut(1, false);
            setOut(2, false);
        } else if (detectState != Stopped) {
            setOut(2, true);
        }
        publish();
    });
    m_outNG.setSingleShot(true);
    connect(&m_outNG, &QTimer::timeout, this, [this] {
        if (!para().enable_cutoff_ontime)
            setOut(2, false);
        if (para().no_alarm_pulse || (para().enable_stop_not_alarm && para().alarm_with_ng_pulse))
            setOut(3, false);
        for (int out = 4; out <= 8; ++out)
            setOut(out, false);
        publish();
    });
    m_output4Off.setSingleShot(true);
    connect(&m_output4Off, &QTimer::timeout, this, [this] {
        setOut(4, false);
        publish();
    });
    for (int stage = 0; stage < kStages; ++stage) {
        m_stagePulse[stage].setSingleShot(true);
        connect(&m_stagePulse[stage], &QTimer::timeout, this, [this, stage] {
            if (detectState == Stopped)
                return;
            setOut(stageOutput(stage), true);
            publish();
        });
    }
    // Pulses and lock-outs end on time, not within the 5 % a coarse timer allows.
    for (QTimer *t : {&m_inCheck, &m_reCheck, &m_notAllowClose, &m_notAllowThimble, &m_outNG, &m_output4Off, &m_safeDoor})
        t->setTimerType(Qt::PreciseTimer);
    for (QTimer &t : m_stagePulse)
        t.setTimerType(Qt::PreciseTimer);
    m_fps.setInterval(kSecondMs);
    connect(&m_fps, &QTimer::timeout, this, &InspectionCycle::SlotFPS);
    manualTrigStage = gDNum;
    for (bool &ok : m_cameraOk)
        ok = true;
    m_startedExternal = gpWPara && gpWPara->external_trigger != 0;
    m_externalMode = m_startedExternal;
    // A picture that arrived before the cycle existed belongs to no cycle.
    m_setOpenAt = m_lastSetOpenAt = m_cycleFramesFrom = mono();
    // The side of a two-station machine starts as the submode sets it.
    twoStationSide = gTwoStationLeftSide ? 1 : 0;
    restoreStoredAlarm();
}

// An alarm that stood when the station ended stands again: detection halted, both interlocks and
// the alarm output on, cleared only by a passing re-check of its stage (door, input 3, button).
void InspectionCycle::restoreStoredAlarm()
{
    const std::optional<StoredAlarm> stored = AlarmStore::Read();
    if (!stored || !gpWPara)
        return;
    m_alarmStage = isActive(stored->stage) ? stored->stage : lastStage();
    for (int cam = 0; cam < kCameras; ++cam)
        m_cameraOk[cam] = !((stored->cameras >> cam) & 1u);
    setOut(1, true);
    setOut(2, true);
    setOut(3, true);
    publish();
    SetStopDetect();
    alarmState = AlarmRaised;
    m_alarmSince = stored->since.isValid() ? stored->since : (m_env.now ? m_env.now() : QDateTime::currentDateTime());
    qWarning("the alarm of stage %d stood when the station ended: it stands again", m_alarmStage + 1);
    logFailedCameras();
    lamp(kLampOk, false);
    lamp(kLampNg, true);
}

void InspectionCycle::storeAlarm(bool raised)
{
    if (!raised) {
        AlarmStore::Write(std::nullopt);
        return;
    }
    StoredAlarm alarm;
    alarm.stage = m_alarmStage;
    for (int cam = 0; cam < cameras(); ++cam)
        if (!m_cameraOk[cam])
            alarm.cameras |= 1u << cam;
    alarm.since = m_alarmSince;
    AlarmStore::Write(alarm);
}

// The start-up hold of the control port ends output by output: the clamp interlock with the first
// verdict of the stage that gates clamping, the ejector interlock with that of the product stage.
void InspectionCycle::releaseStartUpHold(int stage)
{
    if (!m_io)
        return;
    if (isLastStage(stage))
        m_io->releaseHold(0);
    if (gatesEjector(stage))
        m_io->releaseHold(1);
}

// An interlock that no active stage gates is not the station's to hold.
void InspectionCycle::releaseUngatedHolds()
{
    if (!m_io)
        return;
    bool clamp = false, ejector = false;
    for (int stage = 0; stage < gDNum && stage < kStages; ++stage) {
        if (!isActive(stage))
            continue;
        clamp = clamp || isLastStage(stage);
        ejector = ejector || gatesEjector(stage);
    }
    if (!clamp)
        m_io->releaseHold(0);
    if (!ejector)
        m_io->releaseHold(1);
}

bool InspectionCycle::gatesEjector(int stage) const
{
    return fixedMode() ? slotOf(stage) == 0 : stage != lastStage() && stageOutput(stage) == 2;
}

// ---------------------------------------------------------------------------------------------
// Small helpers

int InspectionCycle::cameras() const
{
    const int n = m_env.cameraCount ? m_env.cameraCount() : numCamera;
    return std::clamp(n, 0, kCameras);
}

bool InspectionCycle::fixedMode() const { return para().work_mode != 4; }

bool InspectionCycle::isActive(int stage) const
{
    return stage >= 0 && stage < gDNum && stage < kStages && para().stage_enable[stage] != 0;
}

// Modes 0-3 have two trigger slots: even stages use the first, odd stages the second.
int InspectionCycle::triggerOf(int stage) const
{
    return fixedMode() ? para().trigger_input[stage & 1] : para().trigger_input[stage];
}

int InspectionCycle::slotOf(int stage) const
{
    if (!fixedMode())
        return stage;
    return stage & 1;
}

int InspectionCycle::lastStage() const { return fixedMode() ? 1 : std::max(gDNum - 1, 0); }

bool InspectionCycle::isLastStage(int stage) const
{
    return fixedMode() ? slotOf(stage) == 1 : stage == lastStage();
}

int InspectionCycle::triggerKind(int stage) const
{
    if (m_safetyDoorResult)
        return 2;
    if (m_manualCycle)
        return isLastStage(stage) ? -2 : -1;
    const int input = inputNumber(triggerOf(stage));
    return input >= 1 && input <= 3 ? input : 0;
}

// The 1-based number of a 0-based trigger input, 0 for none (or any).
int InspectionCycle::inputNumber(int input) { return input >= 0 && input < kStages ? input + 1 : 0; }

// Custom mode: the output a stage drives; the last stage always drives output 1.
int InspectionCycle::stageOutput(int stage) const
{
    return stage == gDNum - 1 ? OutputNo[7] : OutputNo[stage & 7];
}

// Custom mode: the kind of the stage's trigger source, -1 when the stage has no valid source.
int InspectionCycle::sourceKind(int stage) const
{
    const int source = para().stage_source[stage];
    if (source < 0 || source >= 8)
        return -1;
    return para().trigger_source_kind[source];
}

bool InspectionCycle::anyStageRunning() const
{
    for (const QTimer &t : m_stageTimer)
        if (t.isActive())
            return true;
    return m_continuousNgShown;
}

void InspectionCycle::setOut(int output1Based, bool on)
{
    if (m_io && output1Based >= 1 && output1Based <= 9)
        m_io->IOSetOut(output1Based - 1, on ? 1 : 0);
}

void InspectionCycle::publish()
{
    if (m_io)
        m_io->IOFlashOut();
}

void InspectionCycle::record(const QString &text)
{
    if (m_env.record)
        m_env.record(text);
    else
        EventRecord::Insert(text);
}

void InspectionCycle::lamp(int which, bool on)
{
    if (m_env.lamp)
        m_env.lamp(which, on);
    else
        LEDOnOff(which, on ? 1 : 0);
}

qint64 InspectionCycle::nowTenths() const
{
    const QDateTime now = m_env.now ? m_env.now() : QDateTime::currentDateTime();
    return now.toMSecsSinceEpoch() / 100;
}

qint64 InspectionCycle::mono() const
{
    if (m_env.monotonicMs)
        return m_env.monotonicMs();
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

InspectionCycle::~InspectionCycle() = default;

void InspectionCycle::setJudgeWorkers(int workers)
{
    m_judgePool = std::make_unique<JudgePool>(m_env.detectConcurrently ? workers : 0);
}

int InspectionCycle::judgeWorkers() const { return m_judgePool->workers(); }

// Only a tick waiting its normal period is brought forward: not the longer wait after a camera
// loss, not the first tick, not a cycle stepped by hand, and never from inside a tick (a box
// opened by the tick turns the event loop).
void InspectionCycle::WakeForInputs()
{
    if (!m_selfClocked || m_inTick || !m_tick.isActive() || m_tick.interval() > kTickMs)
        return;
    m_tick.stop();
    Run();
}

void InspectionCycle::start()
{
    m_tick.start(kFirstTickMs);
    m_fps.start();
}

void InspectionCycle::halt()
{
    m_tick.stop();
    for (QTimer &t : m_stageTimer)
        t.stop();
    for (QTimer *t : {&m_inCheck, &m_reCheck, &m_show, &m_notAllowClose, &m_notAllowThimble, &m_outNG,
                      &m_output4Off, &m_safeDoor, &m_fps})
        t->stop();
    for (QTimer &t : m_stagePulse)
        t.stop();
}

void InspectionCycle::SlotFPS()
{
    for (int cam = 0; cam < kCameras; ++cam) {
        cameraFps[cam] = static_cast<float>(m_framesTaken[cam]);
        m_framesTaken[cam] = 0;
    }
    // The heartbeat blinks while the station detects and stays on while it is stopped.
    m_heartbeat = detectState == Stopped ? true : !m_heartbeat;
    lamp(kLampHeartbeat, m_heartbeat);
    if (m_env.secondTick)
        m_env.secondTick();
}

// ---------------------------------------------------------------------------------------------
// A. The tick

void InspectionCycle::Run()
{
    auto rearm = [this](int ms) {
        if (m_selfClocked)
            m_tick.start(ms);
    };
    struct InTick
    {
        bool &flag;
        ~InTick() { flag = false; }
    } inTick{m_inTick};
    m_inTick = true;

    // 1. IO link box.
    if (para().enable_io_link_box) {
        const bool shown = m_env.linkLostBoxShown && m_env.linkLostBoxShown();
        if (!shown && gisLostCom) {
            if (m_env.linkLostBox)
                m_env.linkLostBox(true, LanStr(kRowLinkLost));
            record(QStringLiteral("IO通讯异常"));
        } else if (shown && !gisLostCom && m_env.linkLostBox) {
            m_env.linkLostBox(true, LanStr(kRowLinkBack));
        }
    }

    // 2. Camera connection check.
    if (para().enable_camera_check && m_env.cameraFaultFlagged && m_env.cameraFaultFlagged() && m_env.checkCameras)
        m_env.checkCameras();

    // 3. White balance once after a start (the count stops there, so it never wraps round).
    if (m_ticks < kWhiteBalanceTick && ++m_ticks == kWhiteBalanceTick && m_env.whiteBalance)
        m_env.whiteBalance();

    // 4. A lost camera blocks the cycle: clamping prohibited until the cameras are back.
    if (m_env.cameraLost && m_env.cameraLost()) {
        m_ticks = 0;
        m_framesSinceLoss = 0;
        m_awaitingFreshFrames = true;
        setOut(1, true);
        publish();
        if (m_env.restartCameras)
            m_env.restartCameras();
        m_inCheck.stop();
        rearm(kTickAfterLossMs);
        return;
    }

    // 5. New frames, with their arrival times.
    noteCaptureMode();
    const int n = cameras();
    bool newFrame[kCameras] = {};
    for (int cam = 0; cam < n; ++cam) {
        qint64 capturedAt = 0;
        if (!m_env.takeFrame || !m_env.takeFrame(cam, capturedAt))
            continue;
        m_frameAt[cam] = capturedAt;
        newFrame[cam] = true;
        ++m_framesTaken[cam];
        m_framesSinceLoss |= 1u << cam;
        if (para().external_trigger && alarmState != AlarmRaised)
            m_framesDelivered |= 1u << cam;
    }
    if (m_env.cameraLost && m_env.cameraLost()) {
        rearm(kTickMs);
        return;
    }
    if (m_awaitingFreshFrames && n > 0 && m_framesSinceLoss == (1u << n) - 1)
        m_awaitingFreshFrames = false;

    // Judgements waiting for pictures taken after their trigger go on as soon as they are here.
    if (alarmState != AlarmRaised) {
        for (int stage = 0; stage < kStages; ++stage)
            if (m_stageAwaiting[stage])
                TimerUp(stage);
        if (m_redetectAwaiting)
            ReCheck();
    }

    // 6. Input edges.
    bool edges[kStages] = {};
    const qint64 seenAt = mono();
    for (int input = 0; input < kStages; ++input) {
        edges[input] = m_io && m_io->IOInTrigger(input);
        if (edges[input])
            m_edgeAt[input] = seenAt;
    }

    // A working mode without a cycle never detects.
    if (!modeHasCycle() && detectState != Stopped)
        refuseDetection();

    // 7. Branch by state.
    if (alarmState == AlarmRaised)
        alarmClearing(edges);
    else if (m_redetectPending)
        redetection();
    else
        triggers(edges);

    // 8. With the machine triggering the cameras, a full set of frames counts as input 1.
    if (para().external_trigger && n > 0 && m_framesDelivered == (1u << n) - 1) {
        m_framesDelivered = 0;
        m_lastSetOpenAt = m_setOpenAt;
        m_setOpenAt = mono() + 1;  // pictures taken in this tick belong to the complete set
        forcedInput = 0;
    }

    // 9. Views of cameras with a new frame and no running countdown.
    for (int cam = 0; cam < n; ++cam)
        if (newFrame[cam] && !anyStageRunning() && m_env.refreshView)
            m_env.refreshView(cam);

    // 10. Outputs, then the next tick; sooner while a judgement waits for pictures after its
    // trigger, so a picture is judged within a millisecond of its arrival.
    publish();
    bool awaiting = m_redetectAwaiting;
    for (bool stage : m_stageAwaiting)
        awaiting = awaiting || stage;
    rearm(awaiting && alarmState != AlarmRaised ? kTickAwaitingMs : kTickMs);
}

// ---------------------------------------------------------------------------------------------
// B. Triggers and cycle start

void InspectionCycle::triggers(const bool edges[kStages])
{
    // 1. Safety-door trigger: the door opening runs the last stage at once.
    if (para().enable_trigger_safety && detectState != Stopped && (edges[1] || forcedInput == 1)) {
        if (!m_safeDoor.isActive()) {
            m_safeDoor.start();
            if (forcedInput == 1)
                forcedInput = -1;
            const int stage = lastStage();
            markOwing(stage);
            // A countdown already running for the stage goes on to its own end.
            if (!m_stageTimer[stage].isActive()) {
                m_stageOrigin[stage] = FromDoor;
                armStage(stage, 0, mono());
            }
        }
    }

    // 2. Manual trigger: a cycle start (skipping, interlocks, counts) with the stage judged at once.
    if (manualTrigStage != gDNum) {
        const int stage = manualTrigStage;
        manualTrigStage = gDNum;
        // (An alarm stops detection and no manual trigger is taken while it stands.)
        if (isActive(stage) && detectState != Stopped) {
            if (!skipConsumesCycleStart()) {
                startCycle(kManualStart);
                if (!fixedMode())
                    switchOnForTrigger(stage);
                m_stageTimer[stage].stop();
                m_stageOrigin[stage] = FromManual;
                armStage(stage, 0, mono());
            }
        }
    }

    // 3. Inputs: an edge starts the hold, which ends at a deadline checked every tick; a
    // confirmed, forced or expected input is processed.
    const bool holdFree = para().input_hold_time == 0;
    const qint64 now = mono();
    for (int input = 0; input < kStages; ++input) {
        if (!edges[input])
            continue;
        if (holdFree || (input == 0 && para().input1_no_hold_idle && !anyStageRunning())) {
            inputConfirmed[input] = true;
            m_holdDue[input] = 0;
        } else {
            m_holdDue[input] = now + para().input_hold_time * 100;
        }
    }
    for (int input = 0; input < kStages; ++input)
        if (m_holdDue[input] != 0 && now >= m_holdDue[input])
            CheckInput(input);
    for (int input = 0; input < kStages; ++input) {
        if (!(inputConfirmed[input] || input == forcedInput || input == m_nextExpectedInput))
            continue;
        // Stages it starts judge pictures taken after its edge (after now when forced or chained).
        m_triggerAt = inputConfirmed[input] && m_edgeAt[input] != 0 ? m_edgeAt[input] : now;
        inputConfirmed[input] = false;
        if (input == forcedInput)
            forcedInput = -1;
        const bool chained = input == m_nextExpectedInput;
        if (chained)
            m_nextExpectedInput = -1;
        processInput(input, chained);
    }
}

void InspectionCycle::CheckInput(int input)
{
    if (input < 0 || input >= kStages)
        return;
    m_holdDue[input] = 0;
    if (m_io)
        inputConfirmed[input] = m_io->IOState(0, input);
}

bool InspectionCycle::startsCycle(int input) const
{
    switch (para().work_mode) {
    case 0:
        return input == 0 || (input == 2 && para().input3_starts_cycle == 1);
    case 1:
    case 3:
        return input == 0;
    case 2:
        return (input == 0 && para().work_submode != 1) || (input == 3 && para().work_submode != 0);
    case 4:
        if (para().cycle_start_input1_only)
            return input == 0 && stageCamMask[slotOf(lastStage())] == 0;
        for (int stage = 0; stage < gDNum; ++stage)
            if (isActive(stage) && triggerOf(stage) == input)
                return true;
        return false;
    default:
        return false;
    }
}

// A chained input (mode 4: the next stage on the same input) continues the cycle; it never
// starts a new one.
void InspectionCycle::processInput(int input, bool chained)
{
    // The side of a two-station machine.
    if (para().work_mode == 1) {
        if (input == 2 && para().work_submode != 1)
            twoStationSide = 1;
        if (input == 3 && para().work_submode != 0)
            twoStationSide = 0;
    }
    if (detectState == Stopped)
        return;
    if (!chained && startsCycle(input)) {
        if (skipConsumesCycleStart())
            return;
        startCycle(input);
    }
    triggerStages(input);
}

// While skipping, a cycle start is counted and consumed: nothing is judged in that cycle.
bool InspectionCycle::skipConsumesCycleStart()
{
    if (!skipActive)
        return false;
    ++skipCount;
    record(LanStr(kRowSkipDone).arg(skipCount));
    if (skipCount >= para().skip_cycles) {
        skipActive = false;
        if (m_env.setSkipText)
            m_env.setSkipText(kRowSkipStart);
    }
    return true;
}

// `input` is the 0-based input that started the cycle, or kManualStart for a manual trigger.
void InspectionCycle::startCycle(int input)
{
    // 1. Cycle time.
    const qint64 now = nowTenths();
    cycleTime = lastTrigTime ? static_cast<int>(now - lastTrigTime) : 0;
    lastTrigTime = now;
    if (para().cycle_records && m_env.recordCycle)
        m_env.recordCycle(cycleTime);
    // Mode 2: a cycle started by input 1 is side 1, one started by input 4 side 0 (a manual
    // trigger keeps the side presented).
    if (para().work_mode == 2 && input != kManualStart)
        twoStationSide = input == 0 ? 1 : 0;

    // 2. The no-input warning goes with the next start.
    if (m_inCheck.property("warning").toBool()) {
        m_inCheck.setProperty("warning", false);
        if (m_env.noInputWarning)
            m_env.noInputWarning(false, QString());
    }
    if (para().input_timeout_len > 0)
        m_inCheck.start(para().input_timeout_len * 1000);

    // 3. Fresh bookkeeping.
    for (int &mask : stageCamMask)
        mask = 0;
    gisSafeDoorOpen = false;
    for (bool &g : m_groupFailed)
        g = false;
    for (int &left : redetectLeft)
        left = 0;
    redetectLeft[1] = (para().ok_ng_pulse || para().word124) ? 0 : para().front_auto_check_time;
    redetectDelay = para().redetect_delay;
    m_mouldAfterAlarmClear = false;
    m_heldForInput = 0;
    m_cycleStartInput = input;
    m_cycleStartedAt = input == kManualStart ? mono() : m_triggerAt;

    // With the machine triggering the cameras, this cycle's pictures are the frame set that came
    // with this start (input 1 and the trigger are one machine event, either may come first), or
    // else the set coming in since the last one was complete.
    m_cycleFramesFrom = mono() - m_setOpenAt <= kFrameSetWithStartMs ? m_lastSetOpenAt : m_setOpenAt;

    // 4. Every camera owes every active stage.
    for (int stage = 0; stage < gDNum && stage < kStages; ++stage)
        if (isActive(stage))
            markOwing(stage);
    skipEjectedProduct(input);
    for (int cam = 0; cam < cameras(); ++cam) {
        m_countArmed[cam] = true;
        m_failArmed[cam] = true;
    }

    // 5. Interlocks for the cycle. With input 3 also starting cycles (word 172) each start input
    // holds its own interlock; a manual trigger, started by neither, holds both.
    if (para().work_mode != 4 && !para().ok_ng_pulse) {
        const bool input3Start = para().work_mode == 0 && para().input3_starts_cycle == 1 && input != kManualStart;
        if (!(para().pre_cut || para().word131 || para().word124) && (!input3Start || input == 2))
            setOut(1, true);
        if (stageCamMask[0] != 0) {
            if (para().enable_stop_not_alarm || para().word130 || para().no_alarm_pulse) {
                setOut(2, false);
                for (int out = 4; out <= 8; ++out)
                    setOut(out, false);
            } else if (!para().enable_cutoff_ontime && (!input3Start || input == 0)) {
                setOut(2, true);
            }
        }
        publish();
    }
}

// A station that comes up while the mould stands open after the ejection sees the mould-open input
// and the mould stage's own input (the ejector's return) in the same first look: no product is
// left to judge, and its first cycle starts at the mould stage. The ejector interlock stays held
// until a product verdict.
void InspectionCycle::skipEjectedProduct(int input)
{
    const bool first = m_firstCycle;
    m_firstCycle = false;
    const int mode = para().work_mode;
    const int mouldInput = triggerOf(1);
    if (!first || !m_io || input != 0 || (mode != 0 && mode != 3) || !isActive(0) || mouldInput == triggerOf(0)
        || mouldInput < 0 || mouldInput >= kStages || !inputConfirmed[mouldInput] || !m_io->IOState(0, mouldInput))
        return;
    stageCamMask[0] = 0;
    for (int cam = 0; cam < kCameras; ++cam)
        m_owes[cam][0] = false;
    qInfo("the mould stood open after the ejection when the station came up: the cycle starts at the mould stage");
}

// Custom mode: a triggered stage's source kind names the outputs switched on (interlocks held)
// until their stages pass: kinds 0 and 4 every stage from this one on, kinds 1 and 3 those of
// them with the same source, kind 2 none.
void InspectionCycle::switchOnForTrigger(int stage)
{
    const int kind = sourceKind(stage);
    if (kind < 0 || kind == 2 || kind > 4)
        return;
    const int source = para().stage_source[stage];
    for (int later = stage; later < gDNum && later < kStages; ++later) {
        if (!isActive(later))
            continue;
        if ((kind == 1 || kind == 3) && para().stage_source[later] != source)
            continue;
        if (later == 0 && !para().enable_product_detect)
            continue;
        setOut(stageOutput(later), true);
    }
    publish();
}

// Custom mode: when the next configured stage waits on the same input as this one, that input is
// processed again at once (no new edge, no hold check), so the stages on one input follow one
// another, each after its own delay.
void InspectionCycle::noteNextExpectedInput(int stage)
{
    m_nextExpectedInput = -1;
    for (int next = stage + 1; next < gDNum && next < kStages; ++next) {
        if (!isActive(next))
            continue;
        if (triggerOf(next) == triggerOf(stage) && stageCamMask[slotOf(next)] != 0)
            m_nextExpectedInput = triggerOf(next);
        return;
    }
}

void InspectionCycle::markOwing(int stage)
{
    const int slot = slotOf(stage);
    for (int cam = 0; cam < cameras(); ++cam) {
        stageCamMask[slot] |= 1 << cam;
        m_owes[cam][stage] = true;
    }
}

void InspectionCycle::triggerStages(int input)
{
    const int mode = para().work_mode;
    for (int stage = 0; stage < gDNum && stage < kStages; ++stage) {
        // A stage that raised the alarm or the continuous-NG box ends the cycle's progress.
        if (detectState == Stopped || alarmState == AlarmRaised || m_continuousNgShown)
            break;
        if (!isActive(stage) || m_stageTimer[stage].isActive())
            continue;
        const int slot = slotOf(stage);
        const int trigger = triggerOf(stage);
        bool due = false;
        if (mode == 1 || mode == 2) {
            if (trigger == 255)
                due = mode == 1 ? input <= 3 : (input == 0 || input == 3);
            else
                due = trigger == input;
            due = due && stageCamMask[slot] != 0;
            // After a cleared product alarm the mould stage follows the next processed input.
            if (slot == 1 && m_mouldAfterAlarmClear && stageCamMask[slot] != 0)
                due = true;
            // Stages 0/2 and 1/3 are one check on either side: one countdown per slot at a time.
            for (int other = slot; other < gDNum && other < kStages && due; other += 2)
                due = !m_stageTimer[other].isActive();
        } else if (mode == 4) {
            // Stages on one input run in their order: a stage waits while an earlier one on the
            // same input still owes its detection.
            due = trigger == input && stageCamMask[slot] != 0;
            for (int earlier = 0; earlier < stage && due; ++earlier)
                due = !(isActive(earlier) && triggerOf(earlier) == input && stageCamMask[slotOf(earlier)] != 0);
        } else {
            due = trigger == input && stageCamMask[slot] != 0;
            // After a cleared alarm the mould stage follows the next processed input.
            if (stage == 1 && m_mouldAfterAlarmClear && stageCamMask[slot] != 0)
                due = true;
        }
        if (!due)
            continue;
        int delay = para().trigInDelay[stage];
        const bool chained = (mode == 0 || mode == 3) && para().enable_product_detect && !para().semi_auto;
        if (stage == 0)
            m_productDelayTenths = delay;
        else if (stage == 1 && chained && !m_mouldAfterAlarmClear && input == 0)
            delay += m_productDelayTenths;
        if (fixedMode() && slot == 1)
            m_mouldAfterAlarmClear = false;
        if (mode == 4)
            switchOnForTrigger(stage);
        m_stageOrigin[stage] = FromCycle;
        armStage(stage, delay, m_triggerAt);
    }
}

// The stage's delay runs out at a deadline; its pictures must be taken after `triggeredAt`.
void InspectionCycle::armStage(int stage, int delayTenths, qint64 triggeredAt)
{
    m_heldForInput = 0;
    m_stageTriggeredAt[stage] = triggeredAt;
    m_stageAwaiting[stage] = false;
    m_waitSince[stage] = 0;
    m_frameFaultShown[stage] = false;
    const qint64 now = mono();
    if (delayTenths <= 0) {
        m_stageDue[stage] = now;
        stageDelayLeft[stage] = 0;
        TimerUp(stage);
        return;
    }
    m_stageDue[stage] = now + delayTenths * 100;
    stageDelayLeft[stage] = delayTenths / 10.0f;
    m_stageTimer[stage].start(stageWakeMs(stage, delayTenths * 100));
}

// The next wake-up of a running countdown: the next 0.1 s of the view's countdown, the pre-cut
// moment or the deadline, whichever comes first.
int InspectionCycle::stageWakeMs(int stage, qint64 left) const
{
    qint64 wake = std::min<qint64>(left, kStepMs);
    const qint64 preCutMs = para().pre_cut * 100;
    if (isLastStage(stage) && para().pre_cut >= 1 && para().pre_cut <= 99 && left > preCutMs)
        wake = std::min(wake, left - preCutMs);
    return static_cast<int>(std::max<qint64>(wake, 1));
}

// ---------------------------------------------------------------------------------------------
// C. Input timeout

void InspectionCycle::InCheck()
{
    setOut(1, true);
    publish();
    record(LanStr(kRowNoInput));
    m_inCheck.setProperty("warning", true);
    if (m_env.noInputWarning)
        m_env.noInputWarning(true, LanStr(kRowNoInput));
}

// ---------------------------------------------------------------------------------------------
// D. Stage countdown and detection

void InspectionCycle::TimerUp(int stage)
{
    if (stage < 0 || stage >= kStages)
        return;
    const qint64 left = std::max<qint64>(m_stageDue[stage] - mono(), 0);
    // 1. Pre-cut: clamping prohibited shortly before the last stage is judged.
    if (isLastStage(stage) && para().pre_cut >= 1 && para().pre_cut <= 99 && left <= para().pre_cut * 100
        && !para().ok_ng_pulse) {
        setOut(1, true);
        publish();
    }
    // 2. Countdown to the deadline; the views show what is left.
    if (left > 0) {
        stageDelayLeft[stage] = left / 1000.0f;
        for (int cam = 0; cam < cameras(); ++cam)
            if (m_env.refreshView)
                m_env.refreshView(cam);
        m_stageTimer[stage].start(stageWakeMs(stage, left));
        return;
    }
    stageDelayLeft[stage] = 0;
    // A stage judges only pictures taken after its trigger, never while a camera is away or before
    // every camera has sent a picture since it came back: meanwhile clamping stays prohibited and
    // the stage waits (the tick looks again with every new picture).
    if (!framesReady(stage, m_stageTriggeredAt[stage])) {
        m_stageAwaiting[stage] = true;
        if (!m_stageTimer[stage].isActive())
            m_stageTimer[stage].start(kStepMs);
        return;
    }
    m_stageAwaiting[stage] = false;
    // 3. Detection and decision.
    m_stageTimer[stage].stop();
    m_manualCycle = m_stageOrigin[stage] == FromManual;
    m_safetyDoorResult = m_stageOrigin[stage] == FromDoor;
    m_stageOrigin[stage] = FromCycle;
    struct Judged
    {
        InspectionCycle *cycle;
        ~Judged() { cycle->m_manualCycle = cycle->m_safetyDoorResult = false; }
    } judged{this};
    if (!runStageOnAllCameras(stage))
        return;
    CheckNG();
    if (detectState == Resampling)
        return;
    // 4. Alarm line.
    if (alarmState == AlarmRaised) {
        logFailedCameras();
        return;
    }
    // 5. A whole good cycle can feed the re-training images.
    bool allOk = true;
    for (int cam = 0; cam < cameras(); ++cam)
        allOk = allOk && m_cameraOk[cam];
    if (allOk && isLastStage(stage) && !m_redetectPending && para().save_retrain_images) {
        for (int cam = 0; cam < cameras(); ++cam)
            if (m_env.storeRetrainImage)
                m_env.storeRetrainImage(cam, curStage);  // the detection run (the side's in modes 1, 2)
        setProperty("retrainAfterShow", true);
    }
}

// Runs the stage on every camera; false when the frames went to a re-sampling and there is no
// verdict to decide.
bool InspectionCycle::runStageOnAllCameras(int stage)
{
    const bool resampling = detectState == Resampling;
    m_decidingStage = stage;
    if (!resampling)
        judgeAllCameras(detectionOf(stage));
    for (int cam = 0; cam < cameras(); ++cam)
        RunAlgorithm(cam, stage);
    std::fill(std::begin(m_verdictReady), std::end(m_verdictReady), false);
    return !resampling;
}

// Position correction and detection of every camera, side by side on the judging pool; the
// verdicts wait for RunAlgorithm, which decides camera by camera in order as before.
void InspectionCycle::judgeAllCameras(int detection)
{
    if (!m_env.detect)
        return;
    m_judgePool->run(std::min(cameras(), int(kCameras)), [this, detection](int cam) {
        m_verdict[cam] = m_env.detect(cam, detection);
        m_verdictReady[cam] = true;
    });
}

void InspectionCycle::logFailedCameras()
{
    QStringList failed;
    for (int cam = 0; cam < cameras(); ++cam)
        if (!m_cameraOk[cam])
            failed << LanStr(kRowCameraFailed).arg(cam + 1);
    if (failed.isEmpty())
        return;
    QString line = failed.join(QString());
    line.chop(1);  // the separator after the last camera
    line += LanStr(kRowAlarm);
    if (m_manualCycle)
        line.prepend(QStringLiteral("手动抓拍导致"));
    record(line);
}

// ---------------------------------------------------------------------------------------------
// E. One camera's detection

// The detection run of a stage: in modes 1 and 2 one side of the machine uses detections 0 and 1,
// the other 2 and 3; elsewhere the stage's own.
int InspectionCycle::detectionOf(int stage) const
{
    const int mode = para().work_mode;
    if (mode == 1 || mode == 2)
        return twoStationSide == 0 ? (stage & 1) + 2 : stage & 1;
    return stage;
}

void InspectionCycle::RunAlgorithm(int camera, int stage)
{
    if (camera < 0 || camera >= kCameras || stage < 0 || stage >= kStages)
        return;
    const int mode = para().work_mode;
    const int slot = mode == 1 || mode == 2 ? stage & 1 : stage;
    const int detection = detectionOf(stage);
    curStage = detection;
    stageCamMask[slot] &= ~(1 << camera);

    // Raw images: the image as it is judged, in a ring of 200 per camera and detection.
    if (gSaveRawImages && m_env.saveRawImage) {
        int &index = m_rawIndex[camera][detection];
        m_env.saveRawImage(camera, detection, index);
        index = (index + 1) % kRawImages;
    }

    // Re-sampling: frames become the new reference templates, no verdict. While the operator
    // checks the regions on them, detections do nothing at all.
    if (detectState == Resampling) {
        if (m_regionCheck)
            return;
        if (m_owes[camera][stage] && isActive(stage) && m_env.storeRetrainImage)
            m_env.storeRetrainImage(camera, detection);
        m_owes[camera][stage] = false;
        bool allDone = true;
        for (int cam = 0; cam < cameras(); ++cam)
            for (int s = 0; s < gDNum && s < kStages; ++s)
                allDone = allDone && !(isActive(s) && m_owes[cam][s]);
        if (!allDone)
            return;
        StartDetect();
        if (!para().ok_ng_pulse)
            setOut(1, true);
        publish();
        detectState = Resampling;
        const bool regionCheck = m_env.resampleDone && Guard::Require(Guard::Action::Resample);
        if (!regionCheck) {
            detectState = Detecting;
            return;
        }
        m_regionCheck = true;
        alarmState = Browsing;
        m_env.resampleDone(stage);
        return;
    }

    DetectVerdict verdict;
    if (m_verdictReady[camera]) {
        verdict = m_verdict[camera];
        m_verdictReady[camera] = false;
    } else if (m_env.detect) {
        verdict = m_env.detect(camera, detection);
    }
    const bool ok = verdict.ok;
    m_cameraOk[camera] = ok;
    if (!ok && !para().ok_ng_pulse) {
        if (fixedMode()) {
            if (slot == 0) {
                if (!(para().enable_cutoff_ontime || para().enable_stop_not_alarm || para().no_alarm_pulse)) {
                    setOut(2, true);
                    if (!(para().pre_cut || para().word131 || para().input3_starts_cycle))
                        setOut(1, true);
                }
                if (!(para().enable_stop_not_alarm || para().no_alarm_pulse))
                    setOut(3, true);
            } else if (!para().word124) {
                setOut(3, true);
                if (!(para().pre_cut && redetectLeft[slot] > 0))
                    setOut(1, true);
            }
        } else if (stage != 0 || !(para().enable_stop_not_alarm || para().no_alarm_pulse)) {
            setOut(3, true);
        }
        if (m_failArmed[camera]) {
            m_failArmed[camera] = false;
            gFailNum[camera]++;
        }
        // The pulse groups follow the NG output groups of the failed regions; a failed image that
        // names no region (a region that could not be judged) fails every group.
        if (slot == 0 && (para().enable_stop_not_alarm || para().no_alarm_pulse)) {
            const unsigned groups = (verdict.ngGroups & 0xFu) != 0 ? verdict.ngGroups : 0xFu;
            for (int g = 0; g < 4; ++g)
                m_groupFailed[g] = m_groupFailed[g] || ((groups >> g) & 1u);
        }
        if (m_owes[camera][stage] && m_env.keepFailedFrame)
            m_env.keepFailedFrame(camera, detection);
    }
    if (m_countArmed[camera]) {
        m_countArmed[camera] = false;
        gAllNum[camera]++;
    }
    publish();
}

// ---------------------------------------------------------------------------------------------
// F. Decision

void InspectionCycle::CheckNG()
{
    if (detectState == Resampling)
        return;
    const int stage = m_decidingStage;
    releaseStartUpHold(stage);
    const int slot = slotOf(stage);
    const bool productSlot = fixedMode() && slot == 0;
    const bool mouldSlot = fixedMode() && slot == 1;
    const int n = cameras();

    // 1. Verdict. A stage that no camera looked at has not passed.
    bool ng = n == 0;
    for (int cam = 0; cam < n; ++cam) {
        if (!m_cameraOk[cam]) {
            ng = true;
            if (m_env.showFailure)
                m_env.showFailure(cam);
        }
    }
    gContinuousNg[slot] = ng ? gContinuousNg[slot] + 1 : 0;

    // 2. Network: the stage's statistics, and the failure's details on NG.
    if (para().net_report && m_env.netSendStageResult)
        m_env.netSendStageResult(curStage, ng, triggerKind(stage));

    if (!fixedMode())
        noteNextExpectedInput(stage);

    // 3. A pass releases the stage's interlock.
    if (!ng && !para().ok_ng_pulse) {
        if (!fixedMode()) {
            // Kinds 3 and 4 allow the machine step only for the clamp pulse.
            setOut(stageOutput(stage), false);
            const int kind = sourceKind(stage);
            if ((kind == 3 || kind == 4) && para().mold_pulse > 0)
                m_stagePulse[stage].start(para().mold_pulse * 100);
        } else if (mouldSlot) {
            if (detectState != Resampling && !para().word124)
                setOut(1, false);
        } else if (productSlot) {
            if (!(para().enable_cutoff_ontime || para().enable_stop_not_alarm || para().no_alarm_pulse))
                setOut(2, false);
        }
        m_redetectPending = false;
        publish();
        if (mouldSlot && para().mold_cutoff && para().enable_product_detect && !(para().enable_cutoff_ontime || para().enable_stop_not_alarm || para().no_alarm_pulse)) {
            setOut(2, true);
            publish();
        }
    } else if (ng && !fixedMode() && sourceKind(stage) == 5) {
        setOut(stageOutput(stage), true);
        publish();
    }

    // 4-5. Alarm, re-detection, or the pulse options.
    const bool noAlarmOption = fixedMode() && ((productSlot && (para().enable_stop_not_alarm || para().no_alarm_pulse)) || (mouldSlot && para().word124));
    const bool redetectFollows = ng && !noAlarmOption && !para().ok_ng_pulse && fixedMode() && redetectLeft[slot] > 0;
    if (ng && !noAlarmOption && !para().ok_ng_pulse) {
        if (fixedMode() && redetectLeft[slot] > 0) {
            m_redetectPending = true;
            m_redetectStage = stage;
        } else if (alarmState != AlarmRaised) {
            m_redetectPending = false;
            m_alarmStage = stage;
            raiseAlarm();
        }
    }

    // 6. OK/NG pulse option.
    if (para().ok_ng_pulse) {
        const bool swap = para().swap_ok_ng_pulse != 0;
        setOut(1, ng ? !swap : swap);
        setOut(2, ng ? swap : !swap);
        setOut(3, ng);
        publish();
        m_notAllowClose.start(para().mold_pulse * 100);
    }

    // 7-8. Pulse options.
    if (!para().ok_ng_pulse)
        pulseOptions(ng, slot);

    // 9. Image keeping and statistics for every camera that owed the stage.
    const int hour = (m_env.now ? m_env.now() : QDateTime::currentDateTime()).time().hour();
    for (int cam = 0; cam < n; ++cam) {
        if (!m_owes[cam][stage])
            continue;
        m_owes[cam][stage] = false;
        const bool ok = m_cameraOk[cam];
        const bool keepOk = ok && para().ok_record_max_num >= 1 && (slot != 0 || para().word170);
        const bool keepNg = !ok && para().ng_max_num >= 1 && redetectLeft[slot] == 0;
        if ((keepOk || keepNg) && m_env.keepJudgedImage)
            m_env.keepJudgedImage(cam, curStage, ok, m_safetyDoorResult);
        // A stage that will be re-detected has not given its verdict yet.
        if (!redetectFollows && m_env.keepReplayImage)
            m_env.keepReplayImage(cam, curStage, ok);
        if (gpWPara->enable_statistics && m_env.countResult)
            m_env.countResult(hour, ok, cam, curStage);
        if (m_env.watchCamera)
            m_env.watchCamera(cam, curStage);
    }

    // 10. A complete cycle updates the counters.
    if (isLastStage(stage) && (!ng || para().ok_ng_pulse)) {
        CountWrite();
        if (para().net_report && m_env.netSendStatistics)
            m_env.netSendStatistics();
    }

    // 11. Result display; none over a raised alarm or while the operator browses the NG images.
    if (alarmState != AlarmRaised && alarmState != Browsing) {
        alarmState = ShowingResult;
        m_show.start();
        m_shownStage = curStage;
        lamp(kLampOk, !ng);
        lamp(kLampNg, ng);
    }
}

void InspectionCycle::pulseOptions(bool ng, int slot)
{
    if (!fixedMode())
        return;
    const bool productPulse = slot == 0 && (para().enable_stop_not_alarm || para().no_alarm_pulse);
    if (productPulse) {
        if (para().no_alarm_pulse) {
            setOut(5, m_groupFailed[0]);
            setOut(6, !m_groupFailed[0]);
            setOut(7, m_groupFailed[1]);
            setOut(8, !m_groupFailed[1]);
        }
        if (para().enable_stop_not_alarm) {
            const int groupOutputs[4] = {2, 4, 5, 6};
            for (int g = 0; g < 4; ++g)
                if (!m_groupFailed[g])
                    setOut(groupOutputs[g], true);
        }
        if (ng) {
            const int limit = para().continuous_ng_count;
            if (limit >= 1 && gContinuousNg[0] >= limit) {
                setOut(1, true);
                setOut(3, true);
                for (QTimer &t : m_stageTimer)
                    t.stop();
                m_continuousNgShown = true;
                if (m_env.continuousNgBox)
                    m_env.continuousNgBox(true);
            } else if (limit < 1) {
                gContinuousNg[0] = 0;
            }
            if ((para().enable_stop_not_alarm && para().alarm_with_ng_pulse) || para().no_alarm_pulse)
                setOut(3, true);
            if (!(para().enable_cutoff_ontime || para().enable_stop_not_alarm))
                setOut(2, true);
            publish();
            m_outNG.start(para().thimble_pulse * 100);
        } else {
            if (para().no_alarm_pulse) {
                setOut(4, true);
                m_outNG.start(para().thimble_pulse * 100);
            }
            publish();
            if (para().is_cut_ontime_thimble)
                m_notAllowThimble.start(para().thimble_pulse * 100);
        }
        return;
    }
    if (slot == 1 && ng && para().word124) {
        setOut(1, true);
        publish();
        m_notAllowClose.start(para().mold_pulse * 100);
    } else if (slot == 1 && !ng && para().is_cut_ontime) {
        m_notAllowClose.start(para().mold_pulse * 100);
    } else if (slot == 0 && !ng && para().is_cut_ontime_thimble) {
        m_notAllowThimble.start(para().thimble_pulse * 100);
    }
}

void InspectionCycle::raiseAlarm()
{
    m_releaseCode = -1;
    // On disk first: a station ended from here on comes up in this alarm.
    m_alarmSince = m_env.now ? m_env.now() : QDateTime::currentDateTime();
    storeAlarm(true);
    if (para().alarm_switches_capture && m_startedExternal && para().external_trigger) {
        para().external_trigger = 0;
        if (m_env.setExternalTrigger)
            m_env.setExternalTrigger(false);
        setProperty("externalSwitched", true);
    }
    if (m_safetyDoorResult && fixedMode())
        setOut(1, true);
    publish();
    if (m_env.screenOn)
        m_env.screenOn();
    else
        LCDOnOff(1);
    SetStopDetect();
    alarmState = AlarmRaised;
    if (m_env.keepAlarmEvidence)
        for (int cam = 0; cam < cameras(); ++cam)
            if (!m_cameraOk[cam])
                m_env.keepAlarmEvidence(cam, curStage);
    if (m_env.showAlarmView)
        m_env.showAlarmView();
    lamp(kLampOk, false);
    lamp(kLampNg, true);
}

// ---------------------------------------------------------------------------------------------
// G. Alarm clearing

void InspectionCycle::alarmClearing(const bool edges[kStages])
{
    const bool mouldStage = isLastStage(m_alarmStage);
    const bool door = edges[1] || forcedInput == 1;
    const bool input3 = mouldStage && para().semi_auto && (edges[2] || forcedInput == 2);
    if (!door && !input3) {
        m_inCheck.stop();
        if (m_reCheckRequested)
            runReCheck();
        return;
    }
    forcedInput = -1;
    if (para().work_mode == 2 && m_io)
        twoStationSide = m_io->IOState(0, 0) ? 1 : (m_io->IOState(0, 3) ? 0 : twoStationSide);
    SlotReCheckAlarm();
}

// The re-check judges pictures taken after it was asked for (the door opened, the button was
// pressed), once every camera is back: until then the stage's interlock holds.
void InspectionCycle::SlotReCheckAlarm()
{
    if (alarmState != AlarmRaised)
        return;
    const int stage = m_alarmStage;
    // The stage's interlock again while it is re-checked.
    if (fixedMode()) {
        if (isLastStage(stage) && !(para().word131 || para().word124))
            setOut(1, true);
        if (slotOf(stage) == 0 && !(para().enable_cutoff_ontime || para().word130 || para().no_alarm_pulse))
            setOut(2, true);
    } else {
        setOut(stageOutput(stage), true);
    }
    publish();
    m_reCheckRequested = true;
    m_reCheckAt = mono();
    m_waitSince[kReCheckWait] = 0;
    m_frameFaultShown[kReCheckWait] = false;
    runReCheck();
}

void InspectionCycle::SlotReCheckAlarm(int releaseCode)
{
    if (alarmState != AlarmRaised)
        return;
    m_releaseCode = releaseCode;
    SlotReCheckAlarm();
}

void InspectionCycle::DontDetectRelease(int camera, int releaseCode)
{
    if (alarmState != AlarmRaised)
        return;
    m_releaseCode = releaseCode;
    bool passed = true;
    for (int cam = 0; cam < cameras(); ++cam) {
        if (camera < 0 || cam == camera)
            m_cameraOk[cam] = true;
        passed = passed && m_cameraOk[cam];
    }
    if (!passed)
        return;
    m_decidingStage = m_alarmStage;
    CheckNG();
    endAlarmAfterPass();
}

void InspectionCycle::runReCheck()
{
    if (alarmState != AlarmRaised) {
        m_reCheckRequested = false;
        return;
    }
    if (!framesReady(kReCheckWait, m_reCheckAt))
        return;
    m_reCheckRequested = false;
    const int stage = m_alarmStage;
    for (int cam = 0; cam < cameras(); ++cam) {
        if (m_env.resetRun)
            m_env.resetRun(cam);
        m_cameraOk[cam] = true;
    }
    markOwing(stage);
    if (!runStageOnAllCameras(stage))
        return;
    bool passed = true;
    for (int cam = 0; cam < cameras(); ++cam)
        passed = passed && m_cameraOk[cam];
    if (!passed && productTakenOut(stage)) {
        // The part was taken out and the mould is empty: nothing is left for the product check, so
        // it counts as passed, and the mould check follows as after any product pass (at its own
        // trigger, after the ejector has moved), which alone allows clamping.
        record(LanStr(kRowProductTakenOut));
        for (int cam = 0; cam < cameras(); ++cam)
            m_cameraOk[cam] = true;
    }
    CheckNG();
    passed = true;
    for (int cam = 0; cam < cameras(); ++cam)
        passed = passed && m_cameraOk[cam];
    if (passed)
        endAlarmAfterPass();
    else
        logFailedCameras();
}

// A failed product re-check in the fixed modes: true when every camera's mould check passes on
// the same pictures, so the mould is empty and the part is out (its verdict changes nothing else).
bool InspectionCycle::productTakenOut(int stage)
{
    if (!fixedMode() || slotOf(stage) != 0 || !isActive(stage + 1) || !m_env.detect || cameras() == 0)
        return false;
    const int detection = detectionOf(stage + 1);
    for (int cam = 0; cam < cameras(); ++cam)
        if (!m_env.detect(cam, detection).ok)
            return false;
    return true;
}

// The capture mode that the raised alarm switched (word 477) comes back when the alarm ends.
void InspectionCycle::restoreCaptureModeAfterAlarm()
{
    if (property("externalSwitched").toBool()) {
        setProperty("externalSwitched", false);
        para().external_trigger = 1;
        if (m_env.setExternalTrigger)
            m_env.setExternalTrigger(true);
    }
}

// The network hears how long the alarm stood and that it is over.
void InspectionCycle::reportAlarmEnded(int releaseCode)
{
    if (para().net_report && m_env.netReportAlarm) {
        const QDateTime now = m_env.now ? m_env.now() : QDateTime::currentDateTime();
        m_env.netReportAlarm(static_cast<int>(m_alarmSince.secsTo(now)), true, releaseCode);
    }
}

// A pass of the failed stage ends the alarm. Only the last stage's pass restarts detection with
// the interlocks released; after an earlier stage's pass the alarm output goes off, the other
// interlocks stay as the cycle holds them (clamping prohibited) and the cycle goes on to its later
// stages, the last of which alone allows clamping.
void InspectionCycle::endAlarmAfterPass()
{
    const int stage = m_alarmStage;
    const bool last = isLastStage(stage);
    restoreCaptureModeAfterAlarm();
    if (last) {
        StartDetect();  // records that the alarm is gone
    } else {
        setOut(3, false);
        publish();
        detectState = Detecting;
        alarmState = Waiting;
        storeAlarm(false);
        m_redetectPending = false;
        if (fixedMode()) {
            // The product is good now: the mould stage follows, at once when the cycle's start
            // armed it or the ejector already came back in this cycle, else at its own trigger.
            markOwing(stage + 1);
            if (mouldFollowsProductAtOnce() || ejectorBackInThisCycle(triggerOf(stage + 1))) {
                forcedInput = 1;
                m_mouldAfterAlarmClear = true;
            } else {
                m_heldForInput = inputNumber(triggerOf(stage + 1));
            }
        } else {
            // The later stages are still owed (also after an alarm restored at start-up); the next
            // one follows at once on the same input, else at its own input's edge.
            for (int later = stage + 1; later < gDNum && later < kStages; ++later)
                if (isActive(later))
                    markOwing(later);
            noteNextExpectedInput(stage);
            for (int next = stage + 1; next < gDNum && next < kStages && m_nextExpectedInput < 0; ++next) {
                if (isActive(next)) {
                    m_heldForInput = inputNumber(triggerOf(next));
                    break;
                }
            }
        }
        if (m_env.setStartStopText)
            m_env.setStartStopText(kRowStopDetection);
    }
    alarmState = Waiting;
    // The operator's action names the release; a pass on its own says which check ended it.
    const int code = m_releaseCode >= 0 ? m_releaseCode : (last ? kReleasedByReCheck : kReleasedToMouldCheck);
    m_releaseCode = code;  // stays readable until the next alarm
    reportAlarmEnded(code);
}

// Whether the mould stage's input (the ejector back) came after the cycle's start and is still
// active while the mould stays open: the ejector has moved already (the machine ejected before the
// product was judged, or during the alarm) and will not report again in this cycle. A mould that
// closed since (the start input gone) or an input that dropped again is a cycle that went on.
bool InspectionCycle::ejectorBackInThisCycle(int input) const
{
    if (!m_io || input < 0 || input >= kStages || m_edgeAt[input] == 0 || m_edgeAt[input] < m_cycleStartedAt)
        return false;
    const bool mouldOpen = m_cycleStartInput == kManualStart || m_io->IOState(0, m_cycleStartInput);
    return mouldOpen && m_io->IOState(0, input);
}

// After a product pass that ended an alarm: whether the mould stage runs at once (with its own
// delay) rather than at its own trigger input.
bool InspectionCycle::mouldFollowsProductAtOnce() const
{
    const int mode = para().work_mode;
    if (mode == 0 || mode == 3)
        return !para().semi_auto;  // both stages on input 1
    const int mouldTrigger = triggerOf(1);
    return mouldTrigger == 255 || mouldTrigger == triggerOf(0);
}

// ---------------------------------------------------------------------------------------------
// H. Re-detection

void InspectionCycle::redetection()
{
    const int slot = slotOf(m_redetectStage);
    if (m_reCheck.isActive() || redetectLeft[slot] <= 0) {
        if (redetectLeft[slot] <= 0 && !m_reCheck.isActive())
            m_redetectPending = false;
        return;
    }
    --redetectLeft[slot];
    // The re-detection looks at pictures taken after this moment, not again at the failed one.
    const qint64 now = mono();
    m_redetectTriggeredAt = now;
    m_redetectAwaiting = false;
    m_waitSince[kRedetectWait] = 0;
    m_frameFaultShown[kRedetectWait] = false;
    m_redetectDue = now + std::max(redetectDelay, 0) * 100;
    if (redetectDelay > 0) {
        setOut(4, true);
        publish();
        m_reCheck.start(static_cast<int>(std::min<qint64>(redetectDelay * 100, kStepMs)));
        m_output4Off.start(redetectDelay * 50);
    } else {
        ReCheck();
    }
}

void InspectionCycle::ReCheck()
{
    const qint64 left = m_redetectDue - mono();
    if (left > 0) {
        m_reCheck.start(static_cast<int>(std::min<qint64>(left, kStepMs)));
        return;
    }
    if (!framesReady(kRedetectWait, m_redetectTriggeredAt)) {
        m_redetectAwaiting = true;
        if (!m_reCheck.isActive())
            m_reCheck.start(kStepMs);
        return;
    }
    m_redetectAwaiting = false;
    m_reCheck.stop();
    const int stage = m_redetectStage;
    const int slot = slotOf(stage);
    stageCamMask[slot] = 0;
    if (fixedMode()) {
        if (isLastStage(stage) && !(para().pre_cut && redetectLeft[slot] > 0) && !(para().enable_stop_not_alarm || para().no_alarm_pulse))
            setOut(1, true);
        if (slot == 0 && !(para().enable_cutoff_ontime || para().enable_stop_not_alarm || para().no_alarm_pulse))
            setOut(2, true);
    }
    markOwing(stage);
    m_redetectPending = false;
    if (!runStageOnAllCameras(stage))
        return;
    CheckNG();
    if (alarmState == AlarmRaised) {
        logFailedCameras();
        return;
    }
    // The failed first look switched the alarm output on; a passing re-detection takes it back,
    // or it would stand through the good cycles that follow.
    bool passed = true;
    for (int cam = 0; cam < cameras(); ++cam)
        passed = passed && m_cameraOk[cam];
    if (passed && !m_continuousNgShown) {
        setOut(3, false);
        publish();
    }
}

bool InspectionCycle::camerasReady() const
{
    if (m_env.cameraLost && m_env.cameraLost())
        return false;
    return !m_awaitingFreshFrames;
}

// True when every camera's working image was taken after `triggeredAt` (continuous capture) or
// belongs to this cycle's pictures (machine trigger), and every camera is there. Otherwise
// clamping is prohibited; a camera that sends no such picture within kFrameWaitMs is a camera
// fault, told and recorded once, and the judgement goes on waiting.
bool InspectionCycle::framesReady(int wait, qint64 triggeredAt)
{
    const int n = cameras();
    QStringList missing;
    if (!(m_env.cameraLost && m_env.cameraLost())) {
        for (int cam = 0; cam < n; ++cam) {
            const qint64 from = std::max(m_externalMode ? m_cycleFramesFrom : triggeredAt, m_captureModeAt);
            const bool sinceLoss = !m_awaitingFreshFrames || (m_framesSinceLoss & (1u << cam));
            if (m_frameAt[cam] < from || !sinceLoss)
                missing << QString::number(cam + 1);
        }
        if (missing.isEmpty()) {
            m_waitSince[wait] = 0;
            m_frameFaultShown[wait] = false;
            return true;
        }
    }
    setOut(1, true);
    publish();
    const qint64 now = mono();
    if (m_waitSince[wait] == 0) {
        m_waitSince[wait] = now;
    } else if (!missing.isEmpty() && !m_frameFaultShown[wait] && now - m_waitSince[wait] >= kFrameWaitMs) {
        // A lost camera has its own box; this is a camera that is there but sends nothing new.
        m_frameFaultShown[wait] = true;
        const QString text = LanStr(kRowNoNewPicture).arg(missing.join(QStringLiteral(", ")));
        record(text);
        Operator::Notify(text);
    }
    return false;
}

// Switching between machine trigger and continuous capture: no picture from before the switch
// is judged, and the frame set that counts as input 1 starts again.
void InspectionCycle::noteCaptureMode()
{
    const bool external = para().external_trigger != 0;
    if (external == m_externalMode)
        return;
    m_externalMode = external;
    m_captureModeAt = mono();
    m_setOpenAt = m_lastSetOpenAt = m_cycleFramesFrom = m_captureModeAt;
    m_framesDelivered = 0;
}

// ---------------------------------------------------------------------------------------------
// I. End of result display

void InspectionCycle::TimerShow()
{
    if (alarmState != AlarmRaised) {
        lamp(kLampOk, true);
        lamp(kLampNg, true);
    }
    if (m_shownStage == curStage && !m_redetectPending && gDNum > 0) {
        int next = (curStage + 1) % gDNum;
        if (fixedMode() && !para().enable_product_detect && next % 2 == 0)
            next = (next + 1) % gDNum;
        curStage = next;
    }
    if (alarmState == ShowingResult)
        alarmState = Waiting;
    if (property("retrainAfterShow").toBool()) {
        setProperty("retrainAfterShow", false);
        if (m_env.rebuildModels)
            for (int stage = 0; stage < gDNum; ++stage)
                if (isActive(stage))
                    m_env.rebuildModels(stage);
    }
}

// ---------------------------------------------------------------------------------------------
// J. Start and stop

void InspectionCycle::StartDetect()
{
    if (!modeHasCycle()) {
        refuseDetection();
        return;
    }
    if (m_io)
        m_io->IOResetAllOut();
    if (para().mold_cutoff || para().is_cut_ontime_thimble)
        setOut(2, true);
    releaseUngatedHolds();
    publish();
    if (alarmState == AlarmRaised)
        storeAlarm(false);
    alarmState = Waiting;
    m_redetectPending = false;
    for (int &left : redetectLeft)
        left = 0;
    ResetRun(cameras());
    detectState = Detecting;
    m_regionCheck = false;
    m_nextExpectedInput = -1;
    m_heldForInput = 0;
    m_ticks = 0;
    if (m_env.setStartStopText)
        m_env.setStartStopText(kRowStopDetection);
}

void InspectionCycle::StopDetect()
{
    if (m_io)
        m_io->IOResetAllOut();
    if (para().enable_stop_mold == 1)
        setOut(1, true);
    if (para().stop_detect_cut_thimble)
        setOut(2, true);
    else if (para().is_cut_ontime_thimble)
        setOut(2, false);
    publish();
    if (!fixedMode()) {
        for (int &mask : stageCamMask)
            mask = 0;
        curStage = lastStage();
    }
    SetStopDetect();
    if (m_env.setStartStopText)
        m_env.setStartStopText(kRowStartDetection);
}

void InspectionCycle::SetStopDetect()
{
    stageCamMask[slotOf(curStage) % kStages] = 0;
    for (int stage = 0; stage < kStages; ++stage) {
        m_stageTimer[stage].stop();
        stageDelayLeft[stage] = 0;
        m_stageDue[stage] = 0;
        m_stageAwaiting[stage] = false;
        m_stageOrigin[stage] = FromCycle;
    }
    m_nextExpectedInput = -1;
    m_heldForInput = 0;
    detectState = Stopped;
}

bool InspectionCycle::modeHasCycle() const { return para().work_mode >= 0 && para().work_mode <= 4; }

// A working mode without a cycle (mode 5 keeps whatever stage tables the record holds, which no
// setter chose): detection stays stopped with clamping prohibited, and the operator is told why.
void InspectionCycle::refuseDetection()
{
    if (m_io)
        m_io->IOResetAllOut();
    setOut(1, true);
    publish();
    SetStopDetect();
    if (m_env.setStartStopText)
        m_env.setStartStopText(kRowStartDetection);
    const QString text = LanStr(kRowModeWithoutCycle).arg(para().work_mode);
    record(text);
    Operator::Notify(text);
}

void InspectionCycle::ResetRun(int camera)
{
    const int n = cameras();
    for (int cam = 0; cam < n; ++cam) {
        if (camera != n && cam != camera)
            continue;
        m_cameraOk[cam] = true;
        if (m_env.resetRun)
            m_env.resetRun(cam);
    }
    for (float &left : stageDelayLeft)
        left = 0;
}

void InspectionCycle::SlotStartStop()
{
    // While the alarm stands only the stop is offered: the operator's way out of an alarm that no
    // re-check can pass (password and question as for any stop).
    if (alarmState == Browsing)
        return;
    const bool alarm = alarmState == AlarmRaised;
    // The network hears of every manual start and stop, with the statistics.
    auto report = [this](bool stopped) {
        if (!para().net_report)
            return;
        if (m_env.netReportManualStop)
            m_env.netReportManualStop(stopped);
        if (m_env.netSendStatistics)
            m_env.netSendStatistics();
    };
    // Starting needs no password: it only brings the interlocks back under the judgement.
    if (detectState == Stopped && !alarm) {
        StartDetect();
        if (detectState == Stopped)
            return;  // refused
        if (para().is_cut_ontime && para().mold_pulse > 0) {
            setOut(1, true);
            publish();
        }
        record(LanStr(kRowStartManually));
        lamp(kLampDetecting, true);
        report(false);
        return;
    }
    // The login levels decide how the stop password is asked (the stop password switch, word 136).
    if (!Guard::Require(Guard::Action::StartStopDetection))
        return;
    if (!Operator::Ask(kRowConfirmStop))
        return;
    // The operator takes the machine over: the interlocks follow the stopped state from now on.
    if (m_io) {
        m_io->releaseHold(0);
        m_io->releaseHold(1);
    }
    StopDetect();
    if (alarm)
        endAlarmByStop();
    record(LanStr(kRowStopManually));
    lamp(kLampDetecting, false);
    report(true);
}

// The operator stopped detection while the alarm stood: the alarm ends without a pass and the
// outputs stay as a stop leaves them.
void InspectionCycle::endAlarmByStop()
{
    restoreCaptureModeAfterAlarm();
    alarmState = Waiting;
    storeAlarm(false);
    lamp(kLampNg, false);
    reportAlarmEnded(kReleasedByStop);
}

void InspectionCycle::SlotStartSkipDetect()
{
    if (!para().offer_skip_detect)
        return;
    if (skipActive) {
        if (!Operator::Ask(kRowSkipEndConfirm))
            return;
        skipActive = false;
        if (m_env.setSkipText)
            m_env.setSkipText(kRowSkipStart);
    } else {
        QString question = LanStr(kRowSkipConfirm);
        if (question.contains(QLatin1String("%1")))
            question = question.arg(para().skip_cycles);
        if (!Operator::Ask(question))
            return;
        skipActive = true;
        if (m_env.setSkipText)
            m_env.setSkipText(kRowSkipStop);
    }
    StopDetect();
    StartDetect();
    skipCount = 0;
}

void InspectionCycle::SlotManualTrig(int stage)
{
    if (detectState == Stopped || alarmState == Browsing)
        return;
    if (stage == 0 && !para().enable_product_detect) {
        Operator::Warn(kRowProductNotEnabled);
        return;
    }
    manualTrigStage = stage;
}

void InspectionCycle::StartResample()
{
    if (alarmState == AlarmRaised || alarmState == Browsing)
        return;
    if (m_env.resampleStarted)
        m_env.resampleStarted();
    detectState = Resampling;
    m_regionCheck = false;
    for (int stage = 0; stage < gDNum && stage < kStages; ++stage)
        if (isActive(stage))
            markOwing(stage);
}

void InspectionCycle::RegionCheckDone()
{
    if (!m_regionCheck)
        return;
    m_regionCheck = false;
    if (alarmState == Browsing)
        alarmState = Waiting;
    detectState = Detecting;
}

void InspectionCycle::ContinuousNgClosed()
{
    m_continuousNgShown = false;
    if (m_env.continuousNgBox)
        m_env.continuousNgBox(false);
    if (alarmState == AlarmRaised)
        return;
    if (para().pre_cut || para().word131 || para().word124)
        setOut(1, false);
    setOut(3, false);
    publish();
    gContinuousNg[0] = 0;
}

// ---------------------------------------------------------------------------------------------
// K. Counters

void InspectionCycle::CountRead()
{
    QFile file(QStringLiteral("count.txt"));
    for (int cam = 0; cam < kCameras; ++cam)
        gAllNum[cam] = gFailNum[cam] = 0;
    if (file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        QTextStream in(&file);
        for (int cam = 0; cam < kCameras; ++cam) {
            qint64 all = 0, failed = 0;
            in >> all >> failed;
            gAllNum[cam] = (all < 0 || all > 100000000) ? 0 : static_cast<int>(all);
            gFailNum[cam] = (failed < 0 || failed > 100000000) ? 0 : static_cast<int>(failed);
        }
    }
    saveImageCount = ReadSaveImageCount();
}

void InspectionCycle::CountWrite()
{
    QByteArray text;
    for (int cam = 0; cam < kCameras; ++cam)
        text += QByteArray::number(gAllNum[cam]) + ' ' + QByteArray::number(gFailNum[cam]) + ' ';
    QFile file(QStringLiteral("count.txt"));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(text) != text.size())
        qWarning("count.txt could not be written");
}

void InspectionCycle::SaveCountWrite()
{
    WriteSaveImageCount(saveImageCount);
}
