#include "app/wiring.h"

#include "app/mojuwizard.h"
#include "app/stationcameras.h"
#include "camera/cameraglobals.h"
#include "camera/gige/sdkipconfig.h"
#include "core/globals.h"
#include "cycle/inspectioncycle.h"
#include "log/eventrecord.h"
#include "log/operationrecord.h"
#include "net/network.h"
#include "params/wizardpara.h"
#include "records/detectcycle.h"
#include "records/resstatistics.h"
#include "ui/screenport.h"
#include "ui/warnbox.h"
#include "users/loginlevels.h"
#include "ui/cammerwidget.h"
#include "vision/cameravision.h"
#include "vision/cammerrecong.h"
#include "vision/visionhooks.h"

#include <QScreen>
#include <QTimer>

namespace StationWiring {

namespace {

struct Hook
{
    const char *name;
    bool installed;
};

std::vector<Hook> requiredHooks(const MoJuWizard &window)
{
    std::vector<Hook> hooks = {
        {"operator port", OperatorPort::installed() != nullptr},
        {"the login levels (Guard::Install)", Guard::Installed() != nullptr},
        {"CameraHooks::clampInterlockOn", bool(CameraHooks::clampInterlockOn)},
        {"CameraHooks::detectionRunning", bool(CameraHooks::detectionRunning)},
        {"CameraHooks::showLostCameraBox", bool(CameraHooks::showLostCameraBox)},
        {"CameraHooks::hideCameraBoxes", bool(CameraHooks::hideCameraBoxes)},
        {"CameraHooks::showReconnectBox", bool(CameraHooks::showReconnectBox)},
        {"WarnBox::onShown", bool(WarnBox::onShown)},
        {"LostCameraWarnBox::cameraLost", gpLostCameraWarnBox && gpLostCameraWarnBox->cameraLost},
        {"LostCameraWarnBox::shutDown", gpLostCameraWarnBox && gpLostCameraWarnBox->shutDown},
        {"ContinuousNgWarnBox::onClosed", gContinuousNgWarnBox && gContinuousNgWarnBox->onClosed},
    };
    const InspectionCycle *cycle = window.cycle();
    hooks.push_back({"the inspection cycle", cycle != nullptr});
    if (!cycle)
        return hooks;
    const CycleEnvironment &env = cycle->environment();
    const std::vector<Hook> cycleHooks = {
        {"cycle: cameraCount", bool(env.cameraCount)},
        {"cycle: takeFrame", bool(env.takeFrame)},
        {"cycle: detect", bool(env.detect)},
        {"cycle: cameraLost", bool(env.cameraLost)},
        {"cycle: restartCameras", bool(env.restartCameras)},
        {"cycle: checkCameras", bool(env.checkCameras)},
        {"cycle: cameraFaultFlagged", bool(env.cameraFaultFlagged)},
        {"cycle: whiteBalance", bool(env.whiteBalance)},
        {"cycle: secondTick", bool(env.secondTick)},
        {"cycle: saveRawImage", bool(env.saveRawImage)},
        {"cycle: resetRun", bool(env.resetRun)},
        {"cycle: storeRetrainImage", bool(env.storeRetrainImage)},
        {"cycle: keepFailedFrame", bool(env.keepFailedFrame)},
        {"cycle: keepJudgedImage", bool(env.keepJudgedImage)},
        {"cycle: watchCamera", bool(env.watchCamera)},
        {"cycle: keepAlarmEvidence", bool(env.keepAlarmEvidence)},
        {"cycle: showFailure", bool(env.showFailure)},
        {"cycle: refreshView", bool(env.refreshView)},
        {"cycle: showAlarmView", bool(env.showAlarmView)},
        {"cycle: linkLostBox", bool(env.linkLostBox)},
        {"cycle: linkLostBoxShown", bool(env.linkLostBoxShown)},
        {"cycle: noInputWarning", bool(env.noInputWarning)},
        {"cycle: continuousNgBox", bool(env.continuousNgBox)},
        {"cycle: setExternalTrigger", bool(env.setExternalTrigger)},
        {"cycle: rebuildModels", bool(env.rebuildModels)},
        {"cycle: resampleStarted", bool(env.resampleStarted)},
        {"cycle: resampleDone", bool(env.resampleDone)},
        {"cycle: setStartStopText", bool(env.setStartStopText)},
        {"cycle: setSkipText", bool(env.setSkipText)},
        {"cycle: screenOn", bool(env.screenOn)},
    };
    hooks.insert(hooks.end(), cycleHooks.begin(), cycleHooks.end());
    return hooks;
}

// Failed regions of one stage over every camera, for the alarm notification.
int failedRegions(const MoJuWizard &window, int stage)
{
    const StationCameras *cameras = window.cameras();
    if (!cameras || stage < 0 || stage >= kMaxDetect)
        return 0;
    int count = 0;
    for (int position = 0; position < 8; ++position) {
        const CameraVision *vision = cameras->vision(position);
        if (!vision)
            continue;
        const int regions = std::clamp(vision->singleton.roiNum[stage], 0, kMaxRoi);
        for (int i = 0; i < regions; ++i)
            count += vision->roiOK[stage][i] ? 0 : 1;
    }
    return count;
}

// The region verdicts the detection runs of `stage` recorded since the last report; whether a
// region failed is its own verdict, kept by the camera's vision state.
QList<NetRegionResult> takeRegionResults(const MoJuWizard &window, int stage)
{
    std::vector<param_roi> taken;
    {
        QMutexLocker lock(&g_listParamROIMutex);
        taken.swap(g_listParamROI);
    }
    QList<NetRegionResult> results;
    const StationCameras *cameras = window.cameras();
    for (const param_roi &r : taken) {
        const CameraVision *vision = cameras && r.camera >= 0 && r.camera < 8 ? cameras->vision(r.camera) : nullptr;
        if (!vision || r.detection != stage || r.region < 0 || r.region >= kMaxRoi)
            continue;
        results.push_back({r.camera, r.detection, r.region, r.function, r.value, r.lower, r.upper,
                           vision->roiOK[r.detection][r.region] == 0});
    }
    return results;
}

// Every failed region of the stage goes into the network statistics' tree.
void countFailedRegions(const MoJuWizard &window, int stage)
{
    const StationCameras *cameras = window.cameras();
    if (!cameras || stage < 0 || stage >= kMaxDetect)
        return;
    for (int position = 0; position < 8; ++position) {
        const CameraVision *vision = cameras->vision(position);
        if (!vision)
            continue;
        const int regions = std::clamp(vision->singleton.roiNum[stage], 0, kMaxRoi);
        for (int i = 0; i < regions; ++i)
            if (!vision->roiOK[stage][i])
                gpNet->ChkandAddStaticticsItem(position, stage, i);
    }
}

}  // namespace

void FillNetworkHooks(CycleEnvironment &env, const MoJuWizard &window)
{
    if (!gpNet || !gpNet->isEnabled())
        return;
    const MoJuWizard *w = &window;
    gpNet->runState = [w] {
        const InspectionCycle *cycle = w->cycle();
        if (!cycle || cycle->detectState == InspectionCycle::Stopped)
            return RunState::Stopped;
        return cycle->detectState == InspectionCycle::Resampling ? RunState::Training : RunState::Detecting;
    };
    gpNet->userName = [] { return QString::fromUtf8(gpWPara->net_operator, int(qstrnlen(gpWPara->net_operator, 100))); };
    // The region verdicts are recorded only while the cycle judges, never for editor previews.
    env.detect = [inner = env.detect](int camera, int detection) {
        CammerRecong::reportRegions = true;
        const DetectVerdict verdict = inner ? inner(camera, detection) : DetectVerdict{};
        CammerRecong::reportRegions = false;
        return verdict;
    };
    gpNet->cyclePeriod = [w] { return w->cycle() ? w->cycle()->cycleTime : 0; };
    env.netSendStageResult = [w](int stage, bool ng, int triggerKind) {
        const QList<NetRegionResult> results = takeRegionResults(*w, stage);
        if (!results.isEmpty())
            gpNet->CNT_SendStatistics_Once(results, ng, triggerKind);
        if (!ng)
            return;
        countFailedRegions(*w, stage);
        gpNet->reportNg(stage, failedRegions(*w, stage));
    };
    env.netReportAlarm = [](int seconds, bool, int releaseCode) {
        gpNet->reportAlarmReleased(seconds, releaseCode);
        gpNet->noteRunState();
    };
    env.netReportManualStop = [](bool stopped) { gpNet->CNT_SendManualStop(stopped); };
    env.netSendStatistics = [] { gpNet->CNT_SendStatistics(); };
    // The run state changes with the start/stop button, a raised alarm and a re-sampling.
    auto also = [](auto &hook) {
        hook = [inner = hook](auto... args) {
            if (inner)
                inner(args...);
            gpNet->noteRunState();
        };
    };
    also(env.setStartStopText);
    also(env.showAlarmView);
    also(env.resampleStarted);
    also(env.resampleDone);
}

void InstallNetwork(MoJuWizard &window)
{
    if (!gpNet || !gpNet->isEnabled())
        return;
    if (OperationRecord *record = window.operationRecord())
        record->SetForwarder([](const QDateTime &time, const QString &user, const QString &text) {
            gpNet->CNT_SendRecord(time, user, text);
        });
    WizardPara::onSaved = [](const WizardPara &) { gpNet->CNT_SendParam(); };
    VisionHooks::sendTempPic = [](const QString &path) { gpNet->CNT_SendTempPic(path); };
    VisionHooks::sendIgnorePoint = [](const QString &path) { gpNet->CNT_SendTempPic(path); };
    VisionHooks::sendDelTempPic = [](int camera, int detection, const QString &name) {
        gpNet->CNT_SendDelTempPic(camera, detection, name);
    };
    const MoJuWizard *w = &window;
    VisionHooks::sendROIParam = [w](int camera, int detection) {
        if (const CameraVision *vision = w->cameras() ? w->cameras()->vision(camera) : nullptr)
            gpNet->CNT_SendROIParam(vision->singleton, detection);
    };
    // Video sharing: each opened camera's live picture (mode 2), or the whole screen (mode 1),
    // taken from what the screen already shows rather than painted again.
    if (gpWPara->net_options[0] == 2 && window.cameras()) {
        for (int position = 0; position < 8; ++position) {
            CammerWidget *view = window.cameras()->view(position);
            if (view && view->isOpened() && gImageW > 0 && gImageH > 0)
                gpNet->CNT_AddUseMemory(position, gImageW, gImageH,
                                        cv::Mat(gImageH, gImageW, gisColor ? CV_8UC4 : CV_8UC1, view->workingImage()),
                                        gisColor ? PixelOrder::Rgba : PixelOrder::Gray);
        }
    }
    // The station runs full screen: the screen's picture is the main window's.
    MoJuWizard *shown = &window;
    gpNet->screenSize = [shown] { return shown->screen() ? shown->screen()->size() : shown->size(); };
    gpNet->grabScreen = [shown] { return shown->screen() ? shown->screen()->grabWindow(0).toImage() : QImage(); };
    gpNet->noteRunState();
}

static ScreenPort &screenPort()
{
    static ScreenPort port;  // lives as long as the process
    return port;
}

void InstallOperatorPort() { OperatorPort::install(&screenPort()); }

void InstallLoginLevels(LoginLevels *levels)
{
    Guard::Install(levels);
    screenPort().levels = levels;
}

void CreateRecords(MoJuWizard &window)
{
    const auto clock = [] { return MoJuWizard::clock ? MoJuWizard::clock() : QDateTime::currentDateTime(); };
    if (gpWPara && gpWPara->enable_statistics && !gpResStatisticsParam)
        gpResStatisticsParam = new ResStatisticsParam(clock, &window);
    if (!DetectCycleSQL::instance)
        DetectCycleSQL::instance = new DetectCycleSQL(clock, &window);
}

void InstallRecordHooks(CycleEnvironment &env)
{
    env.countResult = [](int hour, bool ok, int camera, int detection) {
        if (gpResStatisticsParam)
            gpResStatisticsParam->Add(hour, ok, camera, detection);
    };
    // Written after the tick that started the cycle has published the interlocks: a slow disk
    // must never delay them.
    env.recordCycle = [](int tenths) {
        if (!DetectCycleSQL::instance)
            return;
        const QDateTime at = MoJuWizard::clock ? MoJuWizard::clock() : QDateTime::currentDateTime();
        QTimer::singleShot(0, DetectCycleSQL::instance, [at, tenths] {
            if (DetectCycleSQL::instance)
                DetectCycleSQL::instance->insertDate({at.toString(QLatin1String(DetectCycleSQL::kTimeFormat)), tenths / 10.0});
        });
    };
}

void InstallCameraAddressRepair() { InstallGigeAddressRepair(); }

QStringList MissingHooks(const MoJuWizard &window)
{
    QStringList missing;
    for (const Hook &hook : requiredHooks(window))
        if (!hook.installed)
            missing << QLatin1String(hook.name);
    return missing;
}

QStringList OpenExtensionPoints(const MoJuWizard &window)
{
    std::vector<Hook> optional = {
        {"VisionHooks::sendROIParam", bool(VisionHooks::sendROIParam)},
        {"VisionHooks::sendTempPic", bool(VisionHooks::sendTempPic)},
        {"VisionHooks::sendDelTempPic", bool(VisionHooks::sendDelTempPic)},
        {"VisionHooks::sendIgnorePoint", bool(VisionHooks::sendIgnorePoint)},
        {"CameraHooks::repairAllCameraIP", bool(CameraHooks::repairAllCameraIP)},
        {"CameraHooks::ensureDeviceReach", bool(CameraHooks::ensureDeviceReach)},
        {"CameraHooks::autoSetCameraIP", bool(CameraHooks::autoSetCameraIP)},
    };
    if (const InspectionCycle *cycle = window.cycle()) {
        const CycleEnvironment &env = cycle->environment();
        optional.push_back({"cycle: countResult", bool(env.countResult)});
        optional.push_back({"cycle: recordCycle", bool(env.recordCycle)});
        optional.push_back({"cycle: netSendStageResult", bool(env.netSendStageResult)});
        optional.push_back({"cycle: netSendStatistics", bool(env.netSendStatistics)});
        optional.push_back({"cycle: netReportAlarm", bool(env.netReportAlarm)});
        optional.push_back({"cycle: netReportManualStop", bool(env.netReportManualStop)});
        optional.push_back({"cycle: keepReplayImage", bool(env.keepReplayImage)});
    }
    QStringList open;
    for (const Hook &hook : optional)
        if (!hook.installed)
            open << QLatin1String(hook.name);
    return open;
}

}  // namespace StationWiring
