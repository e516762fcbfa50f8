// Camera state shared by the probe, the camera views, the loss handling and the settings screens,
// and the hooks through which the camera layer reaches the main window.
#pragma once

#include "camera/sdk/camerasdk.h"

#include <QString>
#include <atomic>
#include <functional>
#include <string>
#include <vector>

class WizardPara;

// Back-end codes of gCameraID.
enum CameraCode : int {
    kCameraNone = 0,
    kCameraDaheng = 4,
    kCameraUEye = 5,
    kCameraMindVision = 6,
    kCameraHikvision = 7,
    kCameraImv = 8,
    kCameraV4l2 = 9,
    kCameraDvp = 12,
    kCameraAravis = 13,  // standard GenICam cameras (GigE Vision, USB3 Vision) through Aravis
};

extern int gFindCamera;      // cameras the probe found (4 when none)
extern int gOW;              // sensor width as read from the camera
extern int gOH;              // sensor height
extern int gSensorColor;     // 1 for a colour sensor
extern int gisCut;           // crop mode: 1 - prohibit_optimize, set before the probe

// A MindVision preset resolution (crop mode on 2592-wide sensors).
struct CameraResolution
{
    int index = 0xFF;
    int width = 0;
    int height = 0;
};
extern CameraResolution gImageResolution;

extern std::vector<camsdk::DeviceInfo> gCList;           // MindVision device list (up to 12)
extern std::vector<camsdk::DeviceInfo> gDevList;         // Hikvision device list
extern std::vector<camsdk::DeviceInfo> gDeviceInfoList;  // IMV devices of the station's make

extern int gCamNO[8];          // position the camera open at index i is saved to (renumbering)
extern std::atomic<int> gisLost;  // 1 while the cameras are considered lost
extern int gLost;              // camera losses since start
extern int gContrast[8];       // Daheng software contrast per position; guarded by pMutex[p]

// Set by the system parameter screen while it is visible: the camera settings then read the edit
// copy gpWParaBak, so the operator sees a change before accepting it.
extern std::atomic<bool> gParamScreenVisible;

// The record the camera settings read now (edit copy while the parameter screen is visible).
const WizardPara &CameraSettingsRecord();
// The record restored factory settings are written into (the edit copy, else the live record).
WizardPara &CameraEditRecord();

// What the main window keeps per position for the loss watch: frames delivered, the count seen at
// the last one-second tick, the frames of the last second and the stall seconds; and the fault flag
// that SDK disconnect callbacks set.
struct CameraWatch
{
    std::atomic<long> frameCount[8] = {};
    long lastCount[8] = {};
    int framesLastSecond[8] = {};
    int stall[8] = {};
    std::atomic<bool> cameraFault{false};
};
extern CameraWatch gCameraWatch;

// Hooks the main window installs at start-up; each does nothing (or answers no) until installed.
namespace CameraHooks {
extern std::function<void()> clampInterlockOn;             // output 1 on and publish the outputs
extern std::function<bool()> detectionRunning;            // false while detection is stopped
extern std::function<void()> showLostCameraBox;           // gpLostCameraWarnBox
extern std::function<void()> hideCameraBoxes;             // hides the warning and lost-camera boxes
extern std::function<void()> showReconnectBox;            // gpReconnectCameraWarnBox
// GigE address repair, filled by the GigE configuration.
extern std::function<int()> repairAllCameraIP;                          // cameras re-addressed
extern std::function<int()> ensureDeviceReach;                          // Hikvision devices unreachable
extern std::function<int(const camsdk::DeviceInfo &)> autoSetCameraIP;  // 1 when moved
// Waits of the probe (6 s after a re-addressing, 3 s for uEye, 2 s for eight cameras). Tests
// replace it so no test sleeps.
extern std::function<void(int ms)> sleepMs;
}  // namespace CameraHooks

// Where the V4L2 back-end and the USB camera count look; tests point them at files of their own.
namespace CameraPaths {
extern std::string inputDevices;  // "/proc/bus/input/devices"
extern std::string videoDevice;   // "/dev/video%d"
extern std::string videoFormat;   // "video4linux2"
}  // namespace CameraPaths
