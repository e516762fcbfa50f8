#include "camera/cameraprobe.h"

#include "core/globals.h"
#include "core/operatorport.h"
#include "core/systemgateway.h"
#include "camera/backends/aravisbackend.h"
#include "camera/backends/sdkbackend.h"
#include "camera/cameraacquisition.h"
#include "camera/cameraglobals.h"
#include "camera/cameraregistry.h"
#include "camera/sdk/foldercameras.h"
#include "log/eventrecord.h"
#include "params/wizardpara.h"

extern "C" {
#include <libavdevice/avdevice.h>
#include <libavformat/avformat.h>
}

#include <QCoreApplication>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTextStream>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <sstream>

using camsdk::Vendor;

namespace {

constexpr int kRowCountChanged = 360;
constexpr int kRowCameraUnavailable = 134;

// Reads an integer feature; returns the library's status (0 on success).
int readInt(camsdk::Sdk *sdk, camsdk::Handle handle, const char *feature, int *out)
{
    camsdk::Value value;
    const int status = sdk->get(handle, feature, &value);
    if (status == camsdk::Ok)
        *out = static_cast<int>(NumberOf(value));
    return status;
}

bool getNumber(camsdk::Sdk *sdk, camsdk::Handle handle, const char *feature, int *out)
{
    return readInt(sdk, handle, feature, out) == camsdk::Ok;
}

void setImageSize(int width, int height)
{
    gImageW = width;
    gImageH = height;
}

bool probeDaheng()
{
    camsdk::Sdk *sdk = camsdk::SdkFor(Vendor::Daheng);
    if (!sdk)
        return false;
    if (const int status = sdk->init())
        std::printf("GXInitLib %d\n", status);
    std::vector<camsdk::DeviceInfo> devices;  // list update with a 20 ms time-out
    if (sdk->enumerate(&devices) != camsdk::Ok || devices.empty()) {
        std::printf("find 0 MerCamera \n");
        return false;
    }
    camsdk::Handle handle = -1;
    if (const int status = sdk->open(0, &handle)) {
        std::printf("Open MerCamera Error : %d\n", status);
        return false;
    }
    int width = 0, height = 0;
    if (const int status = readInt(sdk, handle, "0x100003EE", &width)) {
        std::printf("Get MerCamera width Error : %d\n", status);
        sdk->close(handle);
        return false;
    }
    if (const int status = readInt(sdk, handle, "0x100003EF", &height)) {
        std::printf("Get MerCamera height Error : %d\n", status);
        sdk->close(handle);
        return false;
    }
    gOW = width;
    gOH = height;
    if (gOW == 1280 && gisCut)
        setImageSize(1120, 840);
    else if (gOW == 2048 && gisCut)
        setImageSize(1600, 1200);
    else if (gOW == 2592)
        setImageSize(1296, gOH / 2);
    else
        setImageSize(gOW, gOH);
    std::printf("find MerCamera count : %d\n", static_cast<int>(devices.size()));
    gCameraID = kCameraDaheng;
    gFindCamera = static_cast<int>(devices.size());
    sdk->close(handle);
    return true;
}

bool probeUEye()
{
    camsdk::Sdk *sdk = camsdk::SdkFor(Vendor::UEye);
    if (!sdk)
        return false;
    // CameraUSBDeviceInit: the USB start-up of the camera libraries has nothing to do here.
    std::vector<camsdk::DeviceInfo> devices;
    if (sdk->enumerate(&devices) != camsdk::Ok || devices.empty())
        return false;
    camsdk::Handle handle = -1;
    if (sdk->open(0, &handle) != camsdk::Ok)
        return false;
    camsdk::Value sensor;
    if (sdk->get(handle, "SensorColor", &sensor) != camsdk::Ok) {
        sdk->close(handle);
        return false;
    }
    setImageSize(1280, 1024);
    gCameraID = kCameraUEye;
    CameraHooks::sleepMs(3000);
    sdk->enumerate(&devices);
    gFindCamera = static_cast<int>(devices.size());
    sdk->close(handle);
    return true;
}

void enumerateInto(camsdk::Sdk *sdk, std::vector<camsdk::DeviceInfo> *list, std::size_t limit)
{
    if (sdk->enumerate(list) != camsdk::Ok)
        list->clear();
    if (list->size() > limit)
        list->resize(limit);
}

bool probeMindVision()
{
    camsdk::Sdk *sdk = camsdk::SdkFor(Vendor::MindVision);
    if (!sdk)
        return false;
    sdk->init();  // language 0
    enumerateInto(sdk, &gCList, 12);
    if (gCList.empty())
        return false;
    camsdk::Handle handle = -1;
    if (sdk->open(0, &handle) != camsdk::Ok)
        return false;
    int color = 0;
    getNumber(sdk, handle, "HeightMax", &gOH);
    getNumber(sdk, handle, "WidthMax", &gOW);
    getNumber(sdk, handle, "SensorColor", &color);
    gSensorColor = color ? 1 : 0;
    setImageSize(gOW, gOH);
    if (gisCut) {
        switch (gOW) {
        case 1280: setImageSize(1120, 840); break;
        case 1600: setImageSize(1300, 1000); break;
        case 2048: setImageSize(1600, 1200); break;
        case 3088: setImageSize(2592, 1944); break;
        case 2592: {
            // The first preset resolution: "index,width,height".
            camsdk::Value preset;
            if (sdk->get(handle, "PresetResolution", &preset) == camsdk::Ok) {
                std::istringstream text(camsdk::ValueText(preset));
                char comma;
                text >> gImageResolution.index >> comma >> gImageResolution.width >> comma >> gImageResolution.height;
                setImageSize(gImageResolution.width, gImageResolution.height);
            }
            break;
        }
        default: break;
        }
    }
    gCameraID = kCameraMindVision;
    gFindCamera = static_cast<int>(gCList.size());
    sdk->close(handle);
    enumerateInto(sdk, &gCList, 12);
    return true;
}

bool probeDvp()
{
    camsdk::Sdk *sdk = camsdk::SdkFor(Vendor::Dvp);
    if (!sdk)
        return false;
    std::vector<camsdk::DeviceInfo> devices;
    if (sdk->enumerate(&devices) != camsdk::Ok) {
        std::printf("Enumerate fail!\n");
        return false;
    }
    if (devices.empty()) {
        std::printf("find camera count: 0\n");
        return false;
    }
    const int count = std::min<int>(static_cast<int>(devices.size()), 16);
    camsdk::Handle handle = -1;
    if (sdk->openBy(camsdk::OpenBy::Name, devices[0].key, &handle) != camsdk::Ok) {
        std::printf("find camera fail\n");
        return false;
    }
    int color = 0, width = 0, height = 0;
    getNumber(sdk, handle, "SensorColor", &color);
    getNumber(sdk, handle, "Width", &width);
    getNumber(sdk, handle, "Height", &height);
    gSensorColor = color ? 1 : 0;
    setImageSize(width, height);
    sdk->close(handle);
    gCameraID = kCameraDvp;
    gFindCamera = count;
    return true;
}

bool probeV4l2()
{
    gFindCamera = CheckUSBCameraNum();
    if (gFindCamera <= 0)
        return false;
    avdevice_register_all();
    char path[512];
    std::snprintf(path, sizeof path, CameraPaths::videoDevice.c_str(), 0);
    AVFormatContext *format = nullptr;
    if (avformat_open_input(&format, path, av_find_input_format(CameraPaths::videoFormat.c_str()), nullptr) < 0)
        return false;
    bool video = false;
    if (avformat_find_stream_info(format, nullptr) >= 0)
        for (unsigned i = 0; i < format->nb_streams; ++i)
            video = video || format->streams[i]->codecpar->codec_type == AVMEDIA_TYPE_VIDEO;
    avformat_close_input(&format);
    if (!video)
        return false;
    gCameraID = kCameraV4l2;
    setImageSize(960, 540);
    return true;
}

bool probeImv()
{
    camsdk::Sdk *sdk = camsdk::SdkFor(Vendor::Imv);
    if (!sdk || Dahua_EnumDevices() == 0)
        return false;
    bool moved = false;
    if (CameraHooks::autoSetCameraIP)
        for (const camsdk::DeviceInfo &device : gDeviceInfoList)
            moved = CameraHooks::autoSetCameraIP(device) == 1 || moved;
    if (moved)
        CameraHooks::sleepMs(6000);
    camsdk::Handle handle = -1;
    if (sdk->openBy(camsdk::OpenBy::Key, gDeviceInfoList.front().key, &handle) != camsdk::Ok)
        return false;
    int width = 0, height = 0;
    getNumber(sdk, handle, "Width", &width);
    const bool haveHeight = getNumber(sdk, handle, "Height", &height);
    sdk->close(handle);
    if (!haveHeight)
        return false;
    gCameraID = kCameraImv;
    gFindCamera = static_cast<int>(gDeviceInfoList.size());
    setImageSize(width, height);
    return true;
}

bool probeHikvision()
{
    camsdk::Sdk *sdk = camsdk::SdkFor(Vendor::Hikvision);
    if (!sdk)
        return false;
    if (CameraHooks::ensureDeviceReach)
        CameraHooks::ensureDeviceReach();
    enumerateInto(sdk, &gDevList, 256);  // GigE and USB devices
    if (gDevList.empty())
        return false;
    camsdk::Handle handle = -1;
    if (sdk->open(0, &handle) != camsdk::Ok)
        return false;
    camsdk::Value model;
    sdk->get(handle, "DeviceModelName", &model);
    const std::string name = camsdk::ValueText(model);
    gSensorColor = !name.empty() && name.back() == 'M' ? 0 : 1;
    int width = 0, height = 0;
    getNumber(sdk, handle, "WidthMax", &gOW);
    getNumber(sdk, handle, "HeightMax", &gOH);
    getNumber(sdk, handle, "Width", &width);
    getNumber(sdk, handle, "Height", &height);
    setImageSize(width, height);
    if (gOH > 4095)
        setImageSize(2304, 1296);
    sdk->close(handle);
    gCameraID = kCameraHikvision;
    gFindCamera = static_cast<int>(gDevList.size());
    return true;
}

std::unique_ptr<FolderCameras> &folderCameras()
{
    static std::unique_ptr<FolderCameras> cameras;
    return cameras;
}

// The watcher decodes frames with OpenCV, whose own statics are destroyed at exit, some of them
// before ours: the watcher ends with the application object, or at the latest at exit.
void stopFolderCameras()
{
    if (folderCameras())
        folderCameras()->stopWatching();
}

// The simulated folder cameras of MOULD_SIM_CAMERAS, presented as Hikvision GigE cameras; they live
// for the rest of the process.
bool useSimulatedCameras()
{
    const QString dir = qEnvironmentVariable("MOULD_SIM_CAMERAS");
    if (dir.isEmpty())
        return false;
    std::unique_ptr<FolderCameras> &cameras = folderCameras();
    if (!cameras) {
        cameras = std::make_unique<FolderCameras>(dir);
        cameras->startWatching();
        qAddPostRoutine(stopFolderCameras);
        std::atexit(stopFolderCameras);
    }
    camsdk::SetSdk(Vendor::Hikvision, cameras.get());
    return true;
}

}  // namespace

void ComputeImageLengths()
{
    gImageLen = gImageW * gImageH;
    gColorLen = gisColor ? gImageLen * 4 : gImageLen;
}

void CheckCameraID()
{
    const bool simulated = useSimulatedCameras();
    if (CameraHooks::repairAllCameraIP && CameraHooks::repairAllCameraIP() > 0)
        CameraHooks::sleepMs(6000);
    const bool found = probeDaheng() || probeUEye() || probeMindVision() || probeDvp() ||
                       (!simulated && probeV4l2()) || probeImv() || probeHikvision() ||
                       (!simulated && AravisProbe());
    if (!found) {
        gCameraID = kCameraNone;
        gFindCamera = 4;
        setImageSize(1920, 1080);
    }
    ComputeImageLengths();
}

void CheckCameraCountAtStartup()
{
    if (gCameraID != kCameraNone && numCamera != 0) {
        const int stored = gpWPara ? gpWPara->camera_serial_count : 0;
        if (gFindCamera != stored && stored >= 1 && Operator::Ask(kRowCountChanged)) {
            SaveSN(1);
            SystemGateway::run({QStringLiteral("sync")});
            SystemGateway::reboot();
        }
    } else {
        gCameraID = kCameraNone;
        numCamera = gFindCamera;
        if (Operator::Ask(kRowCameraUnavailable))
            SaveSN(1);
    }
    if (gFindCamera == 8)
        CameraHooks::sleepMs(2000);
}

void SaveSN(int flag)
{
    // While the cameras are lost every one of them is closed: storing "their" serials would erase
    // every binding, so the stored ones stay until the cameras are back.
    if (flag == 0 && gisLost.load() != 0) {
        qWarning("camera serial numbers not stored: the cameras are lost");
        return;
    }
    for (auto &serial : gSerialNB) {
        std::memset(serial, 0, sizeof serial);
        serial[0] = '0';
    }
    if (flag == 0) {
        for (int i = 0; i < numCamera && i < 8; ++i) {
            CameraAcquisition *camera = CameraRegistry::At(i);
            if (!camera || !camera->isOpen())
                continue;
            const std::string serial = camera->backend()->serialNumber();
            if (serial.empty() && gCameraID != kCameraHikvision)
                continue;  // back-ends without serial numbers store nothing
            // IMV keeps its camera at its index; the others go to the renumbered position.
            const int target = gCameraID == kCameraImv ? i : gCamNO[i];
            if (target < 0 || target >= 8)
                continue;
            std::memset(gSerialNB[target], 0, sizeof gSerialNB[target]);
            std::strncpy(gSerialNB[target], serial.c_str(), sizeof gSerialNB[target] - 1);
        }
    }
    QSqlDatabase db = QSqlDatabase::database(QStringLiteral("dbT"), false);
    for (int p = 0; p < 8; ++p) {
        const QString serial = QString::fromLatin1(gSerialNB[p]);
        if (db.isValid()) {
            QSqlQuery query(db);
            query.prepare(QStringLiteral("update sysparam set value=:value where name=:name"));
            query.bindValue(QStringLiteral(":value"), serial);
            query.bindValue(QStringLiteral(":name"), QStringLiteral("serialNB%1").arg(p));
            query.exec();
        }
        if (p < numCamera)
            EventRecord::Insert(QStringLiteral("Save SN %1: %2").arg(p + 1).arg(serial));
    }
}

int CheckUSBCameraNum()
{
    // A copy of the kernel's list in the working directory, then its "Camera" lines.
    // (Read and written rather than copied: files under /proc report a size of 0.)
    QFile source(QString::fromStdString(CameraPaths::inputDevices));
    if (source.open(QIODevice::ReadOnly)) {
        QFile copy(QStringLiteral("devices"));
        if (copy.open(QIODevice::WriteOnly | QIODevice::Truncate))
            copy.write(source.readAll());
    }
    QFile file(QStringLiteral("devices"));
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return 0;
    int count = 0;
    QTextStream in(&file);
    while (!in.atEnd())
        if (in.readLine().contains(QLatin1String("Camera")))
            ++count;
    return count;
}

int Dahua_EnumDevices()
{
    gDeviceInfoList.clear();
    camsdk::Sdk *sdk = camsdk::SdkFor(Vendor::Imv);
    std::vector<camsdk::DeviceInfo> devices;
    if (!sdk || sdk->enumerate(&devices) != camsdk::Ok)
        return 0;
    for (const camsdk::DeviceInfo &device : devices)
        if (device.manufacturerInfo == "Machine Vision")
            gDeviceInfoList.push_back(device);
    return static_cast<int>(gDeviceInfoList.size());
}
