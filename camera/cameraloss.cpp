#include "camera/cameraloss.h"

#include "core/globals.h"
#include "core/operatorport.h"
#include "camera/backends/aravisbackend.h"
#include "camera/cameraacquisition.h"
#include "camera/cameraglobals.h"
#include "camera/cameraprobe.h"
#include "camera/cameraregistry.h"
#include "log/eventrecord.h"
#include "params/wizardpara.h"

#include <QCoreApplication>

#include <algorithm>

namespace {

constexpr int kRowCameraLost = 332;
constexpr int kRowCameraUnavailable = 39;

int enumerateCount(camsdk::Vendor vendor, std::vector<camsdk::DeviceInfo> *list = nullptr, std::size_t limit = 256)
{
    camsdk::Sdk *sdk = camsdk::SdkFor(vendor);
    std::vector<camsdk::DeviceInfo> devices;
    if (!sdk || sdk->enumerate(&devices) != camsdk::Ok)
        devices.clear();
    if (devices.size() > limit)
        devices.resize(limit);
    if (list)
        *list = devices;
    return static_cast<int>(devices.size());
}

bool cameraCheckEnabled() { return gpWPara && gpWPara->enable_camera_check; }

// Cameras present now, by the back-end's own count; -1 when the back-end has none.
int camerasPresent()
{
    switch (gCameraID) {
    case kCameraUEye: return enumerateCount(camsdk::Vendor::UEye);
    case kCameraMindVision: return enumerateCount(camsdk::Vendor::MindVision, &gCList, 12);
    case kCameraHikvision:
        if (CameraHooks::ensureDeviceReach)
            CameraHooks::ensureDeviceReach();
        return enumerateCount(camsdk::Vendor::Hikvision, &gDevList);
    case kCameraImv: return Dahua_EnumDevices();
    case kCameraV4l2: return CheckUSBCameraNum();
    case kCameraDvp: return enumerateCount(camsdk::Vendor::Dvp);
    // Daheng cameras are counted by their device list too, so that they come back after a loss.
    case kCameraDaheng: return enumerateCount(camsdk::Vendor::Daheng);
    case kCameraAravis: return static_cast<int>(AravisEnumerate().size());
    default: return -1;
    }
}

// The first position whose camera is missing from the back-end's device list, so that the record
// names the camera that went; -1 when the back-end lists no serial numbers or none is missing.
int missingPosition()
{
    camsdk::Vendor vendor;
    switch (gCameraID) {
    case kCameraHikvision: vendor = camsdk::Vendor::Hikvision; break;
    case kCameraMindVision: vendor = camsdk::Vendor::MindVision; break;
    case kCameraDvp: vendor = camsdk::Vendor::Dvp; break;
    case kCameraDaheng: vendor = camsdk::Vendor::Daheng; break;
    case kCameraUEye: vendor = camsdk::Vendor::UEye; break;
    default: return -1;
    }
    std::vector<camsdk::DeviceInfo> devices;
    enumerateCount(vendor, &devices);
    for (int p = 0; p < numCamera && p < 8; ++p) {
        const CameraAcquisition *camera = CameraRegistry::At(p);
        if (!camera || camera->openedSerial().empty())
            continue;
        const bool listed = std::any_of(devices.begin(), devices.end(), [&](const camsdk::DeviceInfo &d) {
            return d.serial == camera->openedSerial();
        });
        if (!listed)
            return p;
    }
    return -1;
}

}  // namespace

void CameraCheck(int position)
{
    if (gisLost)
        return;
    switch (gCameraID) {
    case kCameraHikvision:
        if (enumerateCount(camsdk::Vendor::Hikvision) == numCamera)
            return;
        break;
    case kCameraDvp:
        if (enumerateCount(camsdk::Vendor::Dvp) == numCamera)
            return;
        break;
    case kCameraAravis:
        if (static_cast<int>(AravisEnumerate().size()) == numCamera)
            return;
        break;
    case kCameraDaheng:
    case kCameraUEye:
    case kCameraMindVision:
    case kCameraImv:
    case kCameraV4l2:
        break;
    default:
        return;
    }
    gisLost = 1;
    ++gLost;
    EventRecord::Insert(LanStr(kRowCameraLost).arg(gLost).arg(position + 1));
    // Clamping stays prohibited while a camera is missing (unless detection is stopped).
    if ((!CameraHooks::detectionRunning || CameraHooks::detectionRunning()) && CameraHooks::clampInterlockOn)
        CameraHooks::clampInterlockOn();
    if (cameraCheckEnabled()) {
        if (CameraHooks::showLostCameraBox)
            CameraHooks::showLostCameraBox();
        QCoreApplication::processEvents();
    }
    for (int p = 0; p < numCamera && p < 8; ++p) {
        if (CameraAcquisition *camera = CameraRegistry::At(p)) {
            camera->CameraStop();
            camera->CameraClose();
        }
    }
    if (!cameraCheckEnabled())
        Operator::Notify(LanStr(kRowCameraUnavailable));
}

void CameraRestart()
{
    if (!gisLost)
        return;
    const int present = camerasPresent();
    if (present < 0 || present != numCamera)
        return;
    gisLost = 0;
    for (int p = 0; p < numCamera && p < 8; ++p) {
        if (CameraAcquisition *camera = CameraRegistry::At(p)) {
            camera->CameraOpen();
            camera->CameraStart();
        }
    }
    if (CameraHooks::hideCameraBoxes)
        CameraHooks::hideCameraBoxes();
    if (CameraHooks::showReconnectBox)
        CameraHooks::showReconnectBox();
    EventRecord::Insert(QStringLiteral("Camera Restart"));
    int notOpen = -1;
    for (int p = 0; p < numCamera && p < 8; ++p) {
        gCameraWatch.stall[p] = 0;
        CameraAcquisition *camera = CameraRegistry::At(p);
        if (!camera || !camera->isOpen())
            notOpen = p;
    }
    if (notOpen >= 0) {
        CameraCheck(notOpen);
    } else {
        gCameraWatch.cameraFault = false;
        CameraSetSpeed();
    }
}

void CameraFaultTick()
{
    if (!gCameraWatch.cameraFault || !cameraCheckEnabled())
        return;
    if (const int missing = missingPosition(); missing >= 0)
        CameraCheck(missing);
    for (int p = 0; p < numCamera && p < 8; ++p)
        CameraCheck(p);
}

void CameraSecondTick()
{
    const bool freeRunning = !gpWPara || !gpWPara->external_trigger;
    for (int p = 0; p < numCamera && p < 8; ++p) {
        const long count = gCameraWatch.frameCount[p];
        gCameraWatch.framesLastSecond[p] = static_cast<int>(count - gCameraWatch.lastCount[p]);
        gCameraWatch.lastCount[p] = count;
        if (!freeRunning || gCameraWatch.framesLastSecond[p] != 0) {
            gCameraWatch.stall[p] = 0;
            continue;
        }
        if (++gCameraWatch.stall[p] > 5) {
            gCameraWatch.stall[p] = 0;
            CameraCheck(p);
        }
    }
}
