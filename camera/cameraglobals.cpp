#include "camera/cameraglobals.h"

#include "core/globals.h"
#include "params/wizardpara.h"

#include <QThread>

int gFindCamera = 0;
int gOW = 0;
int gOH = 0;
int gSensorColor = 0;
int gisCut = 0;
CameraResolution gImageResolution;
std::vector<camsdk::DeviceInfo> gCList;
std::vector<camsdk::DeviceInfo> gDevList;
std::vector<camsdk::DeviceInfo> gDeviceInfoList;
int gCamNO[8] = {0, 1, 2, 3, 4, 5, 6, 7};
std::atomic<int> gisLost{0};
int gLost = 0;
int gContrast[8] = {};
std::atomic<bool> gParamScreenVisible{false};
CameraWatch gCameraWatch;

namespace {

WizardPara &fallbackRecord()
{
    static WizardPara record;
    return record;
}

}  // namespace

const WizardPara &CameraSettingsRecord()
{
    if (gParamScreenVisible && gpWParaBak)
        return *gpWParaBak;
    return gpWPara ? *gpWPara : fallbackRecord();
}

WizardPara &CameraEditRecord()
{
    if (gpWParaBak)
        return *gpWParaBak;
    return gpWPara ? *gpWPara : fallbackRecord();
}

namespace CameraHooks {
std::function<void()> clampInterlockOn;
std::function<bool()> detectionRunning;
std::function<void()> showLostCameraBox;
std::function<void()> hideCameraBoxes;
std::function<void()> showReconnectBox;
std::function<int()> repairAllCameraIP;
std::function<int()> ensureDeviceReach;
std::function<int(const camsdk::DeviceInfo &)> autoSetCameraIP;
std::function<void(int ms)> sleepMs = [](int ms) { QThread::msleep(static_cast<unsigned long>(ms)); };
}  // namespace CameraHooks

namespace CameraPaths {
std::string inputDevices = "/proc/bus/input/devices";
std::string videoDevice = "/dev/video%d";
std::string videoFormat = "video4linux2";
}  // namespace CameraPaths
