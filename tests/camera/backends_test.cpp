// The vendor back-ends against the simulated libraries: opening and binding, the configuration
// written, the setting mappings, trigger changes, frame delivery and the capture speed.
#include "camerafixture.h"

#include "camera/cameraprobe.h"

using camsdk::Vendor;

namespace {

struct VendorCase
{
    const char *name;
    Vendor vendor;
    int code;
};

void PrintTo(const VendorCase &vendor, std::ostream *out) { *out << vendor.name; }

const VendorCase kBindingVendors[] = {
    {"Daheng", Vendor::Daheng, kCameraDaheng},
    {"uEye", Vendor::UEye, kCameraUEye},
    {"MindVision", Vendor::MindVision, kCameraMindVision},
    {"Hikvision", Vendor::Hikvision, kCameraHikvision},
    {"IMV", Vendor::Imv, kCameraImv},
};

}  // namespace

class CameraBinding : public CameraTest, public ::testing::WithParamInterface<VendorCase>
{
protected:
    // Three cameras of the vendor, listed where each back-end looks for them.
    camsdk::SimCameraPool &threeCameras()
    {
        camsdk::SimCameraPool &sim = pool(GetParam().vendor);
        for (const char *serial : {"SN0000001", "SN0000002", "SN0000003"})
            sim.addDevice(device(serial));
        gCameraID = GetParam().code;
        gFindCamera = 3;
        sim.enumerate(&gCList);
        gDevList = gCList;
        Dahua_EnumDevices();
        return sim;
    }
};

TEST_P(CameraBinding, shortSerialOpensByEnumerationOrder)
{
    camsdk::SimCameraPool &sim = threeCameras();
    bind(1, "1234");
    makeCameras(2);
    openAll();
    EXPECT_EQ(numCamera, 2);
    EXPECT_TRUE(sim.isOpen(0));
    EXPECT_TRUE(sim.isOpen(1));
    EXPECT_FALSE(sim.isOpen(2));
}

TEST_P(CameraBinding, boundSerialOpensOnlyThatCamera)
{
    camsdk::SimCameraPool &sim = threeCameras();
    const std::string bound = GetParam().vendor == Vendor::Imv ? "key-SN0000003" : "SN0000003";
    bind(0, bound.c_str());
    makeCameras(1);
    openAll();
    EXPECT_EQ(numCamera, 1);
    EXPECT_FALSE(sim.isOpen(0));
    EXPECT_TRUE(sim.isOpen(2));
}

TEST_P(CameraBinding, boundSerialAbsentLeavesPositionClosed)
{
    camsdk::SimCameraPool &sim = threeCameras();
    bind(0, "SN9999999");
    makeCameras(1);
    openAll();
    EXPECT_EQ(numCamera, 0);
    EXPECT_FALSE(cameras[0]->isOpen());
    for (int slot = 0; slot < 3; ++slot)
        EXPECT_FALSE(sim.isOpen(slot)) << slot;
}

INSTANTIATE_TEST_SUITE_P(Vendors, CameraBinding, ::testing::ValuesIn(kBindingVendors),
                         [](const auto &info) { return std::string(info.param.name); });

TEST_F(CameraTest, positionsFromFindCountUpStayClosed)
{
    gCameraID = kCameraNone;
    gFindCamera = 4;
    makeCameras(6);
    openAll();
    EXPECT_EQ(numCamera, 4);
    EXPECT_FALSE(cameras[4]->isOpen());
    // Code 0: open, but nothing is ever delivered.
    EXPECT_FALSE(cameras[0]->TakeFrame());
}

TEST_F(CameraTest, dahengConfigurationAfterOpening)
{
    struct Row
    {
        const char *name;
        int sensorWidth, sensorHeight;
        std::vector<std::string> expected;
    };
    const Row rows[] = {
        {"binning", 128, 96,
         {"open 0", "set 0 0x10000BBB=0", "set 0 0x100003F0=2", "set 0 0x100003F1=2", "set 0 0x100003F2=2",
          "set 0 0x100003F3=2", "set 0 0x100003EC=0", "set 0 0x100003ED=0", "set 0 0x100003EE=64",
          "set 0 0x100003EF=48", "set 0 0x3000178A=1", "set 0 0x40001395=true"}},
        {"centredCrop", 80, 60,
         {"open 0", "set 0 0x10000BBB=0", "set 0 0x100003EC=8", "set 0 0x100003ED=6", "set 0 0x100003EE=64",
          "set 0 0x100003EF=48", "set 0 0x3000178A=1", "set 0 0x40001395=true"}},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        resetPools();
        camsdk::SimCameraPool &sim = pool(Vendor::Daheng);
        sim.addDevice(device("SN0000001", row.sensorWidth, row.sensorHeight));
        gCameraID = kCameraDaheng;
        gFindCamera = 1;
        gOW = row.sensorWidth;
        gOH = row.sensorHeight;
        makeCameras(1);
        cameras[0]->CameraOpen();
        const std::vector<std::string> calls = sim.calls();
        ASSERT_GE(calls.size(), row.expected.size());
        EXPECT_EQ(std::vector<std::string>(calls.begin(), calls.begin() + row.expected.size()), row.expected);
        // Then the trigger (always free-running) and the settings, gain first.
        const std::vector<std::string> rest(calls.begin() + row.expected.size(), calls.end());
        ASSERT_GE(rest.size(), 5u);
        EXPECT_EQ(rest[0], "execute 0 0x70000BBA");
        EXPECT_EQ(rest[1], "set 0 0x30000BB8=2");
        EXPECT_EQ(rest[2], "set 0 0x30000BBD=0");
        EXPECT_EQ(rest[3], "execute 0 0x70000BB9");
        EXPECT_EQ(rest[4], "range 0 0x20001393");
    }
}

TEST_F(CameraTest, hikvisionConfigurationAndPixelFormat)
{
    struct Row
    {
        const char *name;
        bool colorSensor;
        bool colorOutput;
        int64_t pixelFormat;
    };
    const Row rows[] = {
        {"monoSensor", false, false, 0x01080001},
        {"colourSensorMonoOutput", true, false, 0x01080001},
        {"colourSensorColourOutput", true, true, 0x01080009},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        resetPools();
        setImage(64, 48, row.colorOutput);
        camsdk::SimCameraPool &sim = pool(Vendor::Hikvision);
        sim.addDevice(device("SN0000001", 64, 48, row.colorSensor));
        gCameraID = kCameraHikvision;
        gFindCamera = 1;
        sim.enumerate(&gDevList);
        sim.clearCalls();
        makeCameras(1);
        cameras[0]->CameraOpen();
        ASSERT_TRUE(cameras[0]->isOpen());
        const std::vector<std::string> expected = {
            "open 0", "set 0 UserSetSelector=0", "execute 0 UserSetLoad", "set 0 SharpnessEnable=true",
            "set 0 GammaEnable=true", "set 0 Width=64", "set 0 Height=48", "set 0 GevHeartbeatTimeout=500",
            "frameCallback 0", "eventCallback 0"};
        const std::vector<std::string> calls = sim.calls();
        EXPECT_EQ(std::vector<std::string>(calls.begin(), calls.begin() + expected.size()), expected);
        EXPECT_EQ(sim.intValue(0, "PixelFormat"), row.pixelFormat);
    }
}

TEST_F(CameraTest, imvConfigurationAndStartFailure)
{
    camsdk::SimCameraPool &sim = pool(Vendor::Imv);
    sim.addDevice(device("SN0000001"));
    camsdk::DeviceInfo other = device("SN0000002");
    other.manufacturerInfo = "Someone Else";
    sim.addDevice(other);
    gCameraID = kCameraImv;
    EXPECT_EQ(Dahua_EnumDevices(), 1);
    gFindCamera = 1;
    makeCameras(1);
    cameras[0]->CameraOpen();
    ASSERT_TRUE(cameras[0]->isOpen());
    EXPECT_EQ(sim.textValue(0, "PixelFormat"), "Mono8");
    EXPECT_DOUBLE_EQ(sim.doubleValue(0, "AcquisitionFrameRate"), 20.0);
    EXPECT_EQ(sim.intValue(0, "GevHeartbeatTimeout"), 1000);
    EXPECT_EQ(cameras[0]->backend()->serialNumber(), "key-SN0000001");
    sim.setFailure(0, "startStream", -7);
    EXPECT_EQ(cameras[0]->CameraStart(), 0);
}

// Steps across each camera's range: 0 gives the minimum, the top of the scale the maximum.
TEST_F(CameraTest, settingStepsReachTheRangeEnds)
{
    struct Row
    {
        const char *name;
        Vendor vendor;
        int code;
        const char *feature;
        int value;
        double minimum, maximum, expected;
    };
    const Row rows[] = {
        {"dahengGainMin", Vendor::Daheng, kCameraDaheng, "0x20001393", 0, 2, 26, 2},
        {"dahengGainMax", Vendor::Daheng, kCameraDaheng, "0x20001393", 64, 2, 26, 26},
        {"dahengGainTruncated", Vendor::Daheng, kCameraDaheng, "0x20001393", 33, 0, 24, 12},
        {"mindGainMax", Vendor::MindVision, kCameraMindVision, "AnalogGain", 64, 16, 128, 128},
        {"mindGainMin", Vendor::MindVision, kCameraMindVision, "AnalogGain", 0, 16, 128, 16},
        {"hikGainMax", Vendor::Hikvision, kCameraHikvision, "Gain", 64, 0, 17.5, 17.5},
        {"hikGainNotTruncated", Vendor::Hikvision, kCameraHikvision, "Gain", 33, 0, 24, 12.375},
        {"imvGainMin", Vendor::Imv, kCameraImv, "GainRaw", 0, 1, 32, 1},
        {"imvGainMax", Vendor::Imv, kCameraImv, "GainRaw", 64, 1, 32, 32},
        {"dvpGainMax", Vendor::Dvp, kCameraDvp, "AnalogGain", 64, 1, 16, 16},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        resetPools();
        camsdk::SimCameraPool &sim = pool(row.vendor);
        sim.addDevice(device("SN0000001"));
        sim.setRange(0, row.feature, row.minimum, row.maximum);
        gCameraID = row.code;
        gFindCamera = 1;
        sim.enumerate(&gCList);
        gDevList = gCList;
        Dahua_EnumDevices();
        gpWPara->adjust_plus[0] = row.value;
        makeCameras(1);
        cameras[0]->CameraOpen();
        ASSERT_TRUE(cameras[0]->isOpen());
        EXPECT_DOUBLE_EQ(sim.doubleValue(0, row.feature), row.expected);
    }
}

TEST_F(CameraTest, dahengSoftwareContrast)
{
    const struct
    {
        int stored;
        int applied;
    } rows[] = {{151, 100}, {150, 100}, {200, 100}, {50, 0}, {0, -50}, {120, 70}};
    pool(Vendor::Daheng).addDevice(device("SN0000001"));
    gCameraID = kCameraDaheng;
    gFindCamera = 1;
    makeCameras(1);
    cameras[0]->CameraOpen();
    for (const auto &row : rows) {
        gpWPara->contrast[0] = row.stored;
        cameras[0]->SetContrast();
        EXPECT_EQ(gContrast[0], row.applied) << row.stored;
    }
}

TEST_F(CameraTest, exposureMappings)
{
    struct Row
    {
        const char *name;
        Vendor vendor;
        int code;
        const char *feature;
        bool withRange;
        double expected;
    };
    // Stored exposure 40.
    const Row rows[] = {
        {"dahengPerCentOfRange", Vendor::Daheng, kCameraDaheng, "0x20000BC1", true, 10 + 40 * 990 / 100.0},
        {"dahengWithoutRangeUnscaled", Vendor::Daheng, kCameraDaheng, "0x20000BC1", false, 40},
        {"uEyeMilliseconds", Vendor::UEye, kCameraUEye, "Exposure", false, 40},
        {"mindMicroseconds", Vendor::MindVision, kCameraMindVision, "ExposureTime", false, 40000},
        {"hikMicroseconds", Vendor::Hikvision, kCameraHikvision, "ExposureTime", false, 40000},
        {"imvMicroseconds", Vendor::Imv, kCameraImv, "ExposureTime", false, 40000},
        {"dvpMicroseconds", Vendor::Dvp, kCameraDvp, "Exposure", false, 40000},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        resetPools();
        camsdk::SimCameraPool &sim = pool(row.vendor);
        sim.addDevice(device("SN0000001"));
        if (row.withRange)
            sim.setRange(0, row.feature, 10, 1000);
        gCameraID = row.code;
        gFindCamera = 1;
        sim.enumerate(&gCList);
        gDevList = gCList;
        Dahua_EnumDevices();
        gpWPara->expose_time[0] = 40;
        makeCameras(1);
        cameras[0]->CameraOpen();
        ASSERT_TRUE(cameras[0]->isOpen());
        EXPECT_DOUBLE_EQ(sim.doubleValue(0, row.feature), row.expected);
    }
}

TEST_F(CameraTest, settingsReadTheEditCopyWhileTheScreenIsVisible)
{
    camsdk::SimCameraPool &sim = pool(Vendor::Hikvision);
    sim.addDevice(device("SN0000001"));
    gCameraID = kCameraHikvision;
    gFindCamera = 1;
    sim.enumerate(&gDevList);
    makeCameras(1);
    cameras[0]->CameraOpen();
    gpWPara->expose_time[0] = 10;
    gpWParaBak->expose_time[0] = 25;
    gParamScreenVisible = true;
    cameras[0]->SetExposeTime();
    EXPECT_DOUBLE_EQ(sim.doubleValue(0, "ExposureTime"), 25000);
    gParamScreenVisible = false;
    cameras[0]->SetExposeTime();
    EXPECT_DOUBLE_EQ(sim.doubleValue(0, "ExposureTime"), 10000);
}

TEST_F(CameraTest, imvExposureFailureSkipsWhiteBalance)
{
    camsdk::SimCameraPool &sim = pool(Vendor::Imv);
    sim.addDevice(device("SN0000001"));
    gCameraID = kCameraImv;
    Dahua_EnumDevices();
    gFindCamera = 1;
    makeCameras(1);
    cameras[0]->CameraOpen();
    sim.setFailure(0, "set ExposureTime", -3);
    sim.clearCalls();
    cameras[0]->SetExposeTime();
    EXPECT_EQ(sim.calls(), std::vector<std::string>{"set 0 ExposureTime=0"});
}

TEST_F(CameraTest, triggerChangeDropsPendingFrameAndSetsMode)
{
    camsdk::SimCameraPool &sim = openOneCamera(Vendor::Hikvision, kCameraHikvision, &gDevList);
    const std::vector<uint8_t> before = grayFrame(10);
    ASSERT_TRUE(sim.pushFrame(0, before.data(), gImageW, gImageH, 1));
    gpWPara->external_trigger = 1;
    cameras[0]->CameraChangeTrig(false);
    EXPECT_EQ(sim.intValue(0, "TriggerMode"), 1);
    EXPECT_EQ(sim.intValue(0, "TriggerSource"), 0);
    EXPECT_FALSE(cameras[0]->TakeFrame());
    const std::vector<uint8_t> after = grayFrame(200);
    sim.pushFrame(0, after.data(), gImageW, gImageH, 1);
    ASSERT_TRUE(cameras[0]->TakeFrame());
    EXPECT_EQ(cameras[0]->workingImage()[0], 200);
}

TEST_F(CameraTest, dvpFrameSkipDeliversOneInThree)
{
    camsdk::SimCameraPool &sim = pool(Vendor::Dvp);
    sim.addDevice(device("SN0000001"));
    gCameraID = kCameraDvp;
    gFindCamera = 1;
    gpWPara->capture_speed = 2;
    makeCameras(1);
    openAll();
    CameraSetSpeed();
    std::vector<int> used;
    for (int frame = 1; frame <= 9; ++frame) {
        const std::vector<uint8_t> data = grayFrame(static_cast<uint8_t>(frame));
        sim.pushFrame(0, data.data(), gImageW, gImageH, 1);
        if (cameras[0]->TakeFrame())
            used.push_back(cameras[0]->workingImage()[0]);
    }
    EXPECT_EQ(used, (std::vector<int>{1, 4, 7}));
}

TEST_F(CameraTest, captureSpeedPerBackEnd)
{
    struct Row
    {
        const char *name;
        Vendor vendor;
        int code;
        bool color;
        int speed;
        const char *feature;
        double expected;
    };
    const Row rows[] = {
        {"hikSlowGivesTwenty", Vendor::Hikvision, kCameraHikvision, false, 4, "AcquisitionFrameRate", 20},
        {"hikFive", Vendor::Hikvision, kCameraHikvision, false, 5, "AcquisitionFrameRate", 5},
        {"mindMono", Vendor::MindVision, kCameraMindVision, false, 2, "FrameSpeed", 2},
        {"mindColourOneMore", Vendor::MindVision, kCameraMindVision, true, 2, "FrameSpeed", 3},
        {"uEyePixelClock", Vendor::UEye, kCameraUEye, false, 30, "PixelClock", 30},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        resetPools();
        setImage(64, 48, row.color);
        camsdk::SimCameraPool &sim = pool(row.vendor);
        sim.addDevice(device("SN0000001"));
        gCameraID = row.code;
        gFindCamera = 1;
        sim.enumerate(&gCList);
        gDevList = gCList;
        gpWPara->capture_speed = row.speed;
        makeCameras(1);
        openAll();
        sim.clearCalls();
        CameraSetSpeed();
        EXPECT_DOUBLE_EQ(sim.doubleValue(0, row.feature), row.expected);
        // Stopped before the speed is set, started again after.
        const std::vector<std::string> calls = sim.calls();
        ASSERT_FALSE(calls.empty());
        EXPECT_EQ(calls.front(), "stop 0");
        EXPECT_EQ(calls.back(), "start 0");
    }
}

TEST_F(CameraTest, restoreDefaultsReadsBackIntoTheEditCopy)
{
    camsdk::SimCameraPool &sim = pool(Vendor::MindVision);
    sim.addDevice(device("SN0000001"));
    sim.setRange(0, "AnalogGain", 16, 144);
    sim.setRange(0, "Sharpness", 0, 200);
    sim.setRange(0, "Contrast", 0, 400);
    sim.setRange(0, "Gamma", 0, 500);
    gCameraID = kCameraMindVision;
    gFindCamera = 1;
    numCamera = 1;
    sim.enumerate(&gCList);
    makeCameras(1);
    cameras[0]->CameraOpen();
    sim.setValue(0, "ExposureTime", 12500.0);
    sim.setValue(0, "AnalogGain", int64_t{80});
    sim.setValue(0, "Sharpness", int64_t{100});
    sim.setValue(0, "Contrast", int64_t{200});
    sim.setValue(0, "Gamma", int64_t{100});
    sim.clearCalls();
    cameras[0]->RestoreDefaultSettings();
    EXPECT_EQ(gpWParaBak->expose_time[0], 12);
    EXPECT_EQ(gpWParaBak->adjust_plus[0], 32);
    EXPECT_EQ(gpWParaBak->sharp[0], 50);
    EXPECT_EQ(gpWParaBak->contrast[0], 100);
    EXPECT_EQ(gpWParaBak->gamma[0], 50);
    const std::vector<std::string> calls = sim.calls();
    ASSERT_GE(calls.size(), 2u);
    EXPECT_EQ(calls[0], "stop 0");
    EXPECT_EQ(calls[1], "execute 0 LoadParameter(255)");
}

TEST_F(CameraTest, imvRestoreDividesWithoutTheMinimum)
{
    camsdk::SimCameraPool &sim = pool(Vendor::Imv);
    sim.addDevice(device("SN0000001"));
    sim.setRange(0, "GainRaw", 8, 72);
    sim.setRange(0, "Sharpness", 0, 0);  // a range of no width leaves the stored value
    gCameraID = kCameraImv;
    Dahua_EnumDevices();
    gFindCamera = 1;
    makeCameras(1);
    cameras[0]->CameraOpen();
    gpWParaBak->sharp[0] = 33;
    sim.setValue(0, "GainRaw", 40.0);
    sim.setValue(0, "Sharpness", int64_t{5});
    cameras[0]->RestoreDefaultSettings();
    EXPECT_EQ(gpWParaBak->adjust_plus[0], 40);
    EXPECT_EQ(gpWParaBak->sharp[0], 33);
}

TEST_F(CameraTest, oneShotAutoExposureReadsTheCameraBack)
{
    camsdk::SimCameraPool &sim = pool(Vendor::MindVision);
    sim.addDevice(device("SN0000001"));
    gCameraID = kCameraMindVision;
    gFindCamera = 1;
    sim.enumerate(&gCList);
    makeCameras(1);
    cameras[0]->CameraOpen();
    bool done = false;
    cameras[0]->OneShotAutoExposure([&] { done = true; });
    EXPECT_EQ(sim.intValue(0, "AeState"), 1);
    EXPECT_EQ(sim.intValue(0, "AeTarget"), 120);
    sim.setValue(0, "ExposureTime", 8000.0);
    sim.setValue(0, "AnalogGain", int64_t{77});
    cameras[0]->FinishOneShotAutoExposure();
    EXPECT_TRUE(done);
    EXPECT_EQ(sim.intValue(0, "AeState"), 0);
    EXPECT_EQ(gpWParaBak->expose_time[0], 8);
    EXPECT_EQ(gpWParaBak->adjust_plus[0], 77);
}

TEST_F(CameraTest, mindVisionOpenFailureIsRecorded)
{
    camsdk::SimCameraPool &sim = pool(Vendor::MindVision);
    sim.addDevice(device("SN0000001"));
    sim.setFailure(0, "open", -13);
    gCameraID = kCameraMindVision;
    gFindCamera = 1;
    sim.enumerate(&gCList);
    makeCameras(1);
    cameras[0]->CameraOpen();
    EXPECT_FALSE(cameras[0]->isOpen());
    EXPECT_TRUE(records.contains(QStringLiteral("Mind Fail = -13")));
}

TEST_F(CameraTest, triggerModePerBackEnd)
{
    struct Row
    {
        const char *name;
        Vendor vendor;
        int code;
        bool external;
        const char *feature;
        const char *expected;
    };
    const Row rows[] = {
        {"mindHardware", Vendor::MindVision, kCameraMindVision, true, "TriggerMode", "2"},
        {"mindContinuous", Vendor::MindVision, kCameraMindVision, false, "TriggerMode", "0"},
        {"hikOff", Vendor::Hikvision, kCameraHikvision, false, "TriggerMode", "0"},
        {"imvOn", Vendor::Imv, kCameraImv, true, "TriggerMode", "On"},
        {"imvLine1", Vendor::Imv, kCameraImv, true, "TriggerSource", "Line1"},
        {"imvOff", Vendor::Imv, kCameraImv, false, "TriggerMode", "Off"},
        {"dvpOn", Vendor::Dvp, kCameraDvp, true, "TriggerState", "true"},
        {"dvpOff", Vendor::Dvp, kCameraDvp, false, "TriggerState", "false"},
        {"dahengAlwaysFree", Vendor::Daheng, kCameraDaheng, true, "0x30000BB8", "2"},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        resetPools();
        camsdk::SimCameraPool &sim = pool(row.vendor);
        sim.addDevice(device("SN0000001"));
        gCameraID = row.code;
        gFindCamera = 1;
        sim.enumerate(&gCList);
        gDevList = gCList;
        Dahua_EnumDevices();
        gpWPara->external_trigger = row.external ? 1 : 0;
        makeCameras(1);
        cameras[0]->CameraOpen();
        ASSERT_TRUE(cameras[0]->isOpen());
        EXPECT_EQ(sim.textValue(0, row.feature), row.expected);
    }
}
