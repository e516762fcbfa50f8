// The simulated device pool: device lists, opening, the call record, failures, polled and memory
// delivery, unplug and replug.
#include "camera/sdk/simcamerapool.h"

#include <gtest/gtest.h>

#include <chrono>

using namespace camsdk;

namespace {

DeviceInfo info(const std::string &serial)
{
    DeviceInfo device;
    device.serial = serial;
    device.key = "key-" + serial;
    device.sensorWidth = 4;
    device.sensorHeight = 2;
    return device;
}

}  // namespace

TEST(CameraSimPool, recordsCallsWithTheirValues)
{
    SimCameraPool pool(Vendor::Hikvision);
    pool.addDevice(info("A"));
    Handle handle = -1;
    ASSERT_EQ(pool.open(0, &handle), Ok);
    pool.set(handle, "Width", int64_t{640});
    pool.set(handle, "Gain", 12.375);
    pool.set(handle, "PixelFormat", std::string("Mono8"));
    pool.set(handle, "GammaEnable", true);
    pool.execute(handle, "UserSetLoad");
    double minimum, maximum;
    EXPECT_EQ(pool.range(handle, "Gain", &minimum, &maximum), ErrNotFound);
    EXPECT_EQ(pool.calls(), (std::vector<std::string>{"open 0", "set 0 Width=640", "set 0 Gain=12.375",
                                                      "set 0 PixelFormat=Mono8", "set 0 GammaEnable=true",
                                                      "execute 0 UserSetLoad", "range 0 Gain"}));
    EXPECT_EQ(pool.intValue(0, "Width"), 640);
}

TEST(CameraSimPool, openingByIndexSerialAndKeySkipsUnplugged)
{
    SimCameraPool pool(Vendor::Imv);
    pool.addDevice(info("A"));
    pool.addDevice(info("B"));
    pool.addDevice(info("C"));
    pool.unplug(0);
    std::vector<DeviceInfo> devices;
    pool.enumerate(&devices);
    ASSERT_EQ(devices.size(), 2u);
    EXPECT_EQ(devices[0].serial, "B");
    Handle handle = -1;
    EXPECT_EQ(pool.open(0, &handle), Ok);
    EXPECT_EQ(handle, 1);
    EXPECT_EQ(pool.openBy(OpenBy::Key, "key-B", &handle), ErrBusy);
    EXPECT_EQ(pool.openBy(OpenBy::Serial, "A", &handle), ErrNotFound);
    EXPECT_EQ(pool.openBy(OpenBy::Serial, "C", &handle), Ok);
    EXPECT_EQ(handle, 2);
    pool.replug(0);
    pool.enumerate(&devices);
    EXPECT_EQ(devices.size(), 3u);
}

TEST(CameraSimPool, injectedFailures)
{
    SimCameraPool pool(Vendor::Daheng);
    pool.addDevice(info("A"));
    pool.setFailure(0, "open", -9);
    Handle handle = -1;
    EXPECT_EQ(pool.open(0, &handle), -9);
    pool.setFailure(0, "open", 0);
    ASSERT_EQ(pool.open(0, &handle), Ok);
    pool.setFailure(0, "set ExposureTime", -4);
    EXPECT_EQ(pool.set(handle, "ExposureTime", 1.0), -4);
    EXPECT_EQ(pool.set(handle, "Gain", 1.0), Ok);
    pool.setFailure(-1, "enumerate", -2);
    std::vector<DeviceInfo> devices;
    EXPECT_EQ(pool.enumerate(&devices), -2);
}

TEST(CameraSimPool, polledGrabWaitsBoundedAndTakesTheNewestFrame)
{
    SimCameraPool pool(Vendor::MindVision);
    pool.addDevice(info("A"));
    Handle handle = -1;
    pool.open(0, &handle);
    const uint8_t first[8] = {1}, second[8] = {2};
    EXPECT_FALSE(pool.pushFrame(0, first, 4, 2, 1));  // not streaming
    pool.startStream(handle);
    FrameView frame;
    const auto before = std::chrono::steady_clock::now();
    EXPECT_EQ(pool.grab(handle, 30, &frame), ErrTimeout);
    EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::milliseconds(500));
    pool.pushFrame(0, first, 4, 2, 1);
    pool.pushFrame(0, second, 4, 2, 1);
    ASSERT_EQ(pool.grab(handle, 30, &frame), Ok);
    EXPECT_EQ(frame.data[0], 2);
    EXPECT_EQ(frame.length, 8u);
    EXPECT_EQ(pool.grab(handle, 1, &frame), ErrTimeout);
}

TEST(CameraSimPool, memoryDeliveryRereadsTheSameImage)
{
    SimCameraPool pool(Vendor::UEye);
    pool.addDevice(info("A"));
    Handle handle = -1;
    pool.open(0, &handle);
    pool.startStream(handle);
    const uint8_t image[8] = {5};
    pool.pushFrame(0, image, 4, 2, 1);
    FrameView frame;
    ASSERT_EQ(pool.grab(handle, 0, &frame), Ok);
    ASSERT_EQ(pool.grab(handle, 0, &frame), Ok);
    EXPECT_EQ(frame.data[0], 5);
}

TEST(CameraSimPool, unplugReportsTheVendorsDisconnect)
{
    const struct
    {
        Vendor vendor;
        int code;
    } rows[] = {{Vendor::Hikvision, 0x8001}, {Vendor::MindVision, 0}};
    for (const auto &row : rows) {
        SimCameraPool pool(row.vendor);
        pool.addDevice(info("A"));
        Handle handle = -1;
        pool.open(0, &handle);
        int reported = -1;
        pool.setEventCallback(handle, [&](int code) { reported = code; });
        pool.unplug(0);
        EXPECT_EQ(reported, row.code);
        FrameView frame;
        EXPECT_EQ(pool.grab(handle, 0, &frame), ErrGone);
        pool.replug(0);
        EXPECT_FALSE(pool.isOpen(0));
        EXPECT_EQ(pool.open(0, &handle), Ok);
    }
}
