// The inspection cycle: machine signals and detection results in, interlocks and alarms out.
#pragma once

#include <QDateTime>
#include <QObject>
#include <QString>
#include <QTimer>

#include <array>
#include <functional>
#include <memory>

class ControlPort;
class JudgePool;

// What one camera's detection run of one detection found.
struct DetectVerdict
{
    bool ok = true;  // every region passed
    // Bit g (0-3): a failed region drives NG output group g (the region's roiOut).
    unsigned ngGroups = 0;
};

// Everything the cycle needs from the cameras, the screens and the records. The main window fills
// it in (app/'s wiring checks that the station's required hooks are all there); tests fill in what
// they check, and an empty hook does nothing. Questions, warnings and passwords go through the
// operator port instead.
struct CycleEnvironment
{
    std::function<int()> cameraCount;
    // Takes the camera's newest frame into its working image when one arrived (under its mutex);
    // true when there was a new frame, whose arrival time goes to `capturedAt` (milliseconds of
    // the monotonic clock below).
    std::function<bool(int camera, qint64 &capturedAt)> takeFrame;
    // Position correction and the detection run of one detection on the camera's working image:
    // whether every region passed, and the NG output groups of the regions that failed.
    std::function<DetectVerdict(int camera, int detection)> detect;
    // True when `detect` may run for different cameras at once on worker threads (each camera's
    // vision state is its own): the cameras of a stage are then judged side by side.
    bool detectConcurrently = false;
    std::function<bool()> cameraLost;
    std::function<void()> restartCameras;
    std::function<void()> checkCameras;       // a camera fault was flagged: test every connection
    std::function<bool()> cameraFaultFlagged;
    std::function<void()> whiteBalance;
    std::function<void()> secondTick;         // once a second: the cameras' frame stall watch
    // Saves the camera's working image as raw image `index` (0-199) of the detection.
    std::function<void(int camera, int detection, int index)> saveRawImage;
    std::function<void(int camera)> resetRun;  // every region and the camera OK again
    std::function<void(int camera, int detection)> storeRetrainImage;
    std::function<void(int camera, int detection)> keepFailedFrame;  // the ring of recent failed frames
    // OK/NG image store; doorTrigger: the safety door started this judgement (noted on the image).
    std::function<void(int camera, int detection, bool ok, bool doorTrigger)> keepJudgedImage;
    // The picture as judged, with its final verdict, for trying settings on later (optional).
    std::function<void(int camera, int detection, bool ok)> keepReplayImage;
    std::function<void(int hour, bool ok, int camera, int detection)> countResult;  // statistics
    // The camera's judged picture, once the verdict is out: the watch on its slow drifts.
    std::function<void(int camera, int detection)> watchCamera;
    // An alarm was raised on this camera's failed picture: its evidence picture is kept.
    std::function<void(int camera, int detection)> keepAlarmEvidence;
    std::function<void(int camera)> showFailure;            // one second of failure display
    std::function<void(int camera)> refreshView;
    std::function<void()> showAlarmView;                    // the multi-camera alarm view
    std::function<void(bool shown, const QString &text)> linkLostBox;
    std::function<bool()> linkLostBoxShown;
    std::function<void(bool shown, const QString &text)> noInputWarning;
    std::function<void(bool shown)> continuousNgBox;
    std::function<void(bool on)> setExternalTrigger;        // cameras: machine trigger or continuous
    std::function<void(int detection)> rebuildModels;       // shape models and training
    // A re-sampling (a training) starts: the open cameras' serial numbers are bound to their positions.
    std::function<void()> resampleStarted;
    // After a re-sampling, when the operator gave the password: the hand-over to the region check
    // on the new templates (which ends with RegionCheckDone()).
    std::function<void(int stage)> resampleDone;
    std::function<void(int row)> setStartStopText;
    std::function<void(int row)> setSkipText;
    std::function<void(const QString &text)> record;        // operation record; default EventRecord
    std::function<void(int lamp, bool on)> lamp;            // default LEDOnOff
    std::function<void()> screenOn;
    std::function<QDateTime()> now;                          // default the system clock
    // Milliseconds of a monotonic clock, default the steady clock (the cameras stamp their frames
    // with it): stage delays, re-detection delays, the input hold and the age of frames.
    std::function<qint64()> monotonicMs;
    std::function<void(int cycleTime)> recordCycle;         // detection-cycle records
    // Network reports; called only while reporting is on (parameter word 219).
    // Per-stage statistics and NG details. triggerKind: what started the judgement: 1 mould open
    // (input 1), 2 safety door (input 2), 3 ejector back (input 3), -1 a manual trigger of a product
    // stage, -2 of a mould stage, 0 anything else.
    std::function<void(int detection, bool ng, int triggerKind)> netSendStageResult;
    std::function<void()> netSendStatistics;                      // after a complete cycle, start/stop
    // The alarm ended; releaseCode (InspectionCycle::ReleaseCode) says how.
    std::function<void(int durationSeconds, bool cancelled, int releaseCode)> netReportAlarm;
    std::function<void(bool stopped)> netReportManualStop;        // the start/stop button was used
};

class InspectionCycle : public QObject
{
    Q_OBJECT
public:
    enum DetectState { Detecting = 1, Resampling = 2, Stopped = 3 };
    enum AlarmState { Waiting = 0, ShowingResult = 1, AlarmRaised = 2, Browsing = 3 };
    // How an alarm was released, as the network report names it.
    enum ReleaseCode { kReleasedByStop = 0, kReleasedToMouldCheck = 2, kReleasedByReCheck = 4 };
    static constexpr int kStages = 8;
    static constexpr int kCameras = 8;
    // Custom mode: the 1-based output of stages 1-7; the last stage always uses the eighth, output 1.
    static constexpr int OutputNo[8] = {2, 4, 5, 6, 7, 8, 9, 1};

    InspectionCycle(ControlPort *io, CycleEnvironment env, QObject *parent = nullptr);
    ~InspectionCycle() override;

    // Starts the tick 5 ms from now; each tick re-arms itself 3 ms after it ends.
    void start();
    // Stops every timer (for the end of the process and for tests that step by hand).
    void halt();
    static constexpr int kRawImages = 200;  // raw images kept per camera and detection
    // How long a judgement waits for pictures taken after its trigger before the cameras that
    // sent none are reported as faulty (it keeps waiting, clamping prohibited).
    static constexpr int kFrameWaitMs = 1000;
    // When false, Run() does not re-arm its own timer: tests step tick by tick.
    void setSelfClocked(bool on) { m_selfClocked = on; }
    // Worker threads judging the cameras of a stage besides the GUI thread (0: one after the
    // other on the GUI thread). Only with a concurrent `detect`; the decisions stay sequential.
    void setJudgeWorkers(int workers);
    int judgeWorkers() const;

    // The tick, the stage countdown, detection and decision.
    void Run();
    void TimerUp(int stage);
    void RunAlgorithm(int camera, int stage);
    void CheckNG();
    void ReCheck();
    void CheckInput(int input);
    void InCheck();
    void TimerShow();
    // Once a second: frame rates, heartbeat lamp, camera stall watch.
    void SlotFPS();
    // The input word changed (the IO thread says so): the tick waiting its period runs now.
    void WakeForInputs();

    void StartDetect();
    void StopDetect();
    void SetStopDetect();
    void ResetRun(int camera);
    void SlotStartStop();
    void SlotStartSkipDetect();
    void SlotManualTrig(int stage);
    // Working modes 0-4 have a cycle; any other refuses to detect.
    bool modeHasCycle() const;
    // Template re-sampling: the next detection of every active stage becomes its new reference.
    void StartResample();
    // The region check after a re-sampling is over: detection resumes.
    void RegionCheckDone();
    // Re-check of the failed stage, as the alarm view's button does it.
    void SlotReCheckAlarm();
    // The same, naming the operator's way out for the alarm report (the release code: 0 "don't
    // detect", 1 added as template, 2 re-check switched to the mould, 3 re-check, 4 re-check OK).
    void SlotReCheckAlarm(int releaseCode);
    // "Don't detect": the operator lets the failed stage pass without a check on `camera` (-1 all
    // cameras); when no failed camera is left the alarm ends as after a passing re-check.
    void DontDetectRelease(int camera, int releaseCode);
    // The release code of the last way out the operator took (-1 none yet).
    int releaseCode() const { return m_releaseCode; }
    // The continuous-NG box was closed.
    void ContinuousNgClosed();

    void CountRead();
    void CountWrite();
    void SaveCountWrite();

    // State, read by the screens and tests.
    int detectState = Detecting;
    int alarmState = Waiting;
    int curStage = 0;
    float stageDelayLeft[kStages] = {};
    int stageCamMask[kStages] = {};
    int redetectLeft[kStages] = {};
    int redetectDelay = 0;
    int manualTrigStage = 0;
    int forcedInput = -1;
    bool inputConfirmed[kStages] = {};
    bool skipActive = false;
    int skipCount = 0;
    qint64 lastTrigTime = 0;  // 0.1 s
    int cycleTime = 0;        // 0.1 s
    int twoStationSide = 1;
    qint64 saveImageCount = 0;  // judged-image files written so far (the next file's number)
    float cameraFps[kCameras] = {};  // frames taken per second, shown on the camera views

    bool redetectPending() const { return m_redetectPending; }
    int alarmStage() const { return m_alarmStage; }
    bool stageRunning(int stage) const { return m_stageTimer[stage].isActive(); }
    // A stage whose delay has run out but which still waits for pictures taken after its trigger.
    bool awaitingFrames(int stage) const { return m_stageAwaiting[stage]; }
    bool reCheckPending() const { return m_reCheckRequested; }
    // After an earlier stage's pass ended an alarm: the 1-based input the next stage waits for,
    // with clamping prohibited meanwhile; 0 when the cycle waits for no such input.
    int clampHeldForInput() const { return m_heldForInput; }
    bool anyStageRunning() const;
    int lastStage() const;
    // The stage that gates clamping: the mould stages (odd) in the fixed modes, the last in mode 4.
    bool isLastStage(int stage) const;
    int slotOf(int stage) const;
    // The trigger kind of the judgement of `stage` under way (see netSendStageResult).
    int triggerKind(int stage) const;
    bool cameraOk(int camera) const { return m_cameraOk[camera]; }
    QTimer &tickTimer() { return m_tick; }
    QTimer &inputTimeoutTimer() { return m_inCheck; }
    QTimer &showTimer() { return m_show; }
    QTimer &clampPulseTimer() { return m_notAllowClose; }
    QTimer &ejectorPulseTimer() { return m_notAllowThimble; }
    QTimer &stageTimer(int stage) { return m_stageTimer[stage]; }
    QTimer &reCheckTimer() { return m_reCheck; }
    QTimer &fpsTimer() { return m_fps; }
    // Mode 4: switches a passed stage's output on again after the clamp pulse (kinds 3 and 4).
    QTimer &stagePulseTimer(int stage) { return m_stagePulse[stage]; }
    bool inRegionCheck() const { return m_regionCheck; }
    const CycleEnvironment &environment() const { return m_env; }

private:
    int cameras() const;
    bool fixedMode() const;
    bool isActive(int stage) const;
    int triggerOf(int stage) const;
    static int inputNumber(int input);
    void setOut(int output1Based, bool on);
    void publish();
    void record(const QString &text);
    void lamp(int lamp, bool on);
    qint64 nowTenths() const;
    qint64 mono() const;

    void triggers(const bool edges[kStages]);
    void processInput(int input, bool chained = false);
    bool startsCycle(int input) const;
    bool skipConsumesCycleStart();
    static constexpr int kManualStart = -1;  // startCycle() for a manual trigger
    void startCycle(int input);
    void triggerStages(int input);
    void armStage(int stage, int delayTenths, qint64 triggeredAt);
    int stageWakeMs(int stage, qint64 left) const;
    void alarmClearing(const bool edges[kStages]);
    void runReCheck();
    bool productTakenOut(int stage);
    int detectionOf(int stage) const;
    void redetection();
    void raiseAlarm();
    void endAlarmAfterPass();
    bool mouldFollowsProductAtOnce() const;
    bool ejectorBackInThisCycle(int input) const;
    void endAlarmByStop();
    void restoreCaptureModeAfterAlarm();
    void reportAlarmEnded(int releaseCode);
    void restoreStoredAlarm();
    void storeAlarm(bool raised);
    void releaseStartUpHold(int stage);
    void releaseUngatedHolds();
    bool gatesEjector(int stage) const;
    void skipEjectedProduct(int input);
    void logFailedCameras();
    void pulseOptions(bool ng, int slot);
    bool runStageOnAllCameras(int stage);
    void judgeAllCameras(int detection);
    void markOwing(int stage);
    bool camerasReady() const;
    bool framesReady(int wait, qint64 triggeredAt);
    void noteCaptureMode();
    void refuseDetection();
    int stageOutput(int stage) const;
    int sourceKind(int stage) const;
    void switchOnForTrigger(int stage);
    void noteNextExpectedInput(int stage);

    ControlPort *m_io;
    CycleEnvironment m_env;
    bool m_selfClocked = true;
    bool m_inTick = false;
    std::unique_ptr<JudgePool> m_judgePool;
    // Verdicts of the stage being judged, taken side by side before the cameras are decided in order.
    DetectVerdict m_verdict[kCameras];
    bool m_verdictReady[kCameras] = {};

    QTimer m_tick;
    std::array<QTimer, kStages> m_stageTimer;
    std::array<QTimer, kStages> m_stagePulse;
    QTimer m_inCheck, m_reCheck, m_show, m_notAllowClose, m_notAllowThimble, m_outNG, m_output4Off, m_safeDoor;
    QTimer m_fps;

    // Judgements that may wait for pictures: the stages, the re-detection and the alarm re-check.
    enum { kRedetectWait = kStages, kReCheckWait = kStages + 1, kWaits = kStages + 2 };
    enum StageOrigin { FromCycle, FromDoor, FromManual };

    int m_ticks = 0;
    qint64 m_stageDue[kStages] = {};        // monotonic ms at which the stage's delay runs out
    qint64 m_stageTriggeredAt[kStages] = {};
    int m_stageOrigin[kStages] = {};
    bool m_stageAwaiting[kStages] = {};
    qint64 m_holdDue[kStages] = {};         // end of each input's hold; 0 none running
    qint64 m_edgeAt[kStages] = {};          // when each input's last active edge was seen
    qint64 m_triggerAt = 0;                 // the trigger time of the input being processed
    qint64 m_cycleStartedAt = 0;            // the trigger time of the cycle's start
    int m_cycleStartInput = kManualStart;   // the input that started the cycle
    qint64 m_redetectDue = 0;
    qint64 m_redetectTriggeredAt = 0;
    bool m_redetectAwaiting = false;
    bool m_reCheckRequested = false;
    qint64 m_reCheckAt = 0;
    qint64 m_waitSince[kWaits] = {};        // since when a judgement waits for pictures; 0 not
    bool m_frameFaultShown[kWaits] = {};
    qint64 m_frameAt[kCameras] = {};        // arrival of each camera's working image
    // Machine trigger: the frame set being collected opened at m_setOpenAt (when the last one was
    // complete), the last complete one at m_lastSetOpenAt; this cycle's pictures are from
    // m_cycleFramesFrom on.
    qint64 m_setOpenAt = 0;
    qint64 m_lastSetOpenAt = 0;
    qint64 m_cycleFramesFrom = 0;
    qint64 m_captureModeAt = 0;             // the last change between machine trigger and continuous
    bool m_externalMode = false;
    int m_framesTaken[kCameras] = {};
    unsigned m_framesSinceLoss = 0;     // cameras that sent a picture since the last loss
    bool m_awaitingFreshFrames = false;  // a loss was seen; not every camera has sent one since
    bool m_heartbeat = false;
    int m_rawIndex[kCameras][kStages] = {};
    bool m_regionCheck = false;
    unsigned m_framesDelivered = 0;
    bool m_owes[kCameras][kStages] = {};
    bool m_countArmed[kCameras] = {};
    bool m_failArmed[kCameras] = {};
    bool m_cameraOk[kCameras] = {};
    bool m_groupFailed[4] = {};
    bool m_redetectPending = false;
    int m_redetectStage = 0;
    int m_alarmStage = 0;
    int m_releaseCode = -1;
    int m_decidingStage = 0;
    int m_shownStage = -1;
    int m_heldForInput = 0;  // see clampHeldForInput()
    int m_productDelayTenths = 0;
    bool m_mouldAfterAlarmClear = false;
    bool m_manualCycle = false;       // the stage being judged was started by a manual trigger
    bool m_safetyDoorResult = false;  // ... by the safety door
    bool m_startedExternal = false;
    bool m_continuousNgShown = false;
    int m_nextExpectedInput = -1;
    bool m_firstCycle = true;  // no cycle has started since the station came up
    QDateTime m_alarmSince;
};
