// The latest-frame hand-over and the camera thread: one copy per frame, the newest frame wins,
// polled back-ends deliver through the thread, a stopped camera delivers nothing.
#include "camerafixture.h"


#include <QImage>

using camsdk::Vendor;

TEST_F(CameraTest, rgbToFourBytePixels)
{
    const uint8_t rgb[] = {10, 20, 30, 200, 100, 0};
    uint8_t out[8] = {};
    RGB2RGBA(out, rgb, 2, 1);
    EXPECT_EQ(std::vector<uint8_t>(out, out + 8), (std::vector<uint8_t>{10, 20, 30, 255, 200, 100, 0, 255}));
}

TEST_F(CameraTest, softwareContrastAroundMidGrey)
{
    const struct
    {
        int contrast;
        uint8_t in, out;
    } rows[] = {{0, 77, 77}, {-50, 0, 64}, {-50, 255, 191}, {100, 200, 255}, {100, 100, 72}, {100, 20, 0}};
    for (const auto &row : rows) {
        uint8_t out = 0;
        DxContrast(&row.in, &out, 1, row.contrast);
        EXPECT_EQ(out, row.out) << row.contrast << " " << int(row.in);
    }
}

TEST_F(CameraTest, newestFrameWinsAndIsTakenOnce)
{
    FrameSlot slot(2);
    const std::vector<uint8_t> first = grayFrame(1), second = grayFrame(2);
    slot.deliver(first.data(), first.size());
    slot.deliver(second.data(), second.size());
    EXPECT_TRUE(isImageFill[2]);
    ASSERT_TRUE(slot.take());
    EXPECT_EQ(slot.working()[gImageLen - 1], 2);
    EXPECT_FALSE(isImageFill[2]);
    EXPECT_FALSE(slot.take());
    EXPECT_EQ(slot.framesDelivered(), 2);
    EXPECT_EQ(gCameraWatch.frameCount[2].load(), 2);
}

TEST_F(CameraTest, oversizedFrameIsCutToTheBuffer)
{
    FrameSlot slot(0);
    std::vector<uint8_t> big(gImageLen * 3, 9);
    slot.deliver(big.data(), big.size());
    ASSERT_TRUE(slot.take());
    EXPECT_EQ(slot.working()[gImageLen - 1], 9);
}

TEST_F(CameraTest, dahengThreadAppliesContrastToEachFrame)
{
    camsdk::SimCameraPool &sim = pool(Vendor::Daheng);
    sim.addDevice(device("SN0000001"));
    gCameraID = kCameraDaheng;
    gFindCamera = 1;
    gpWPara->contrast[0] = 150;  // software contrast 100
    makeCameras(1);
    openAll();
    const std::vector<uint8_t> frame = grayFrame(100);
    ASSERT_TRUE(sim.pushFrame(0, frame.data(), gImageW, gImageH, 1));
    ASSERT_TRUE(waitForFrame(0));
    ASSERT_TRUE(cameras[0]->TakeFrame());
    EXPECT_EQ(cameras[0]->workingImage()[0], 72);

    // An incomplete frame (status not 0) is not handed over.
    sim.pushFrame(0, frame.data(), gImageW, gImageH, 1, 3);
    EXPECT_FALSE(waitForFrame(0, 150));

    cameras[0]->CameraStop();
    EXPECT_FALSE(sim.pushFrame(0, frame.data(), gImageW, gImageH, 1));
    cameras[0]->CameraClose();
    EXPECT_FALSE(sim.isOpen(0));
}

TEST_F(CameraTest, uEyeDeliversOnChangeOfImageMemory)
{
    camsdk::SimCameraPool &sim = pool(Vendor::UEye);
    sim.addDevice(device("SN0000001"));
    gCameraID = kCameraUEye;
    gFindCamera = 1;
    makeCameras(1);
    openAll();
    const std::vector<uint8_t> frame = grayFrame(50);
    sim.pushFrame(0, frame.data(), gImageW, gImageH, 1);
    ASSERT_TRUE(waitForFrame(0));
    ASSERT_TRUE(cameras[0]->TakeFrame());
    // The same memory content polled again is no new frame.
    EXPECT_FALSE(waitForFrame(0, 100));
    const std::vector<uint8_t> next = grayFrame(51);
    sim.pushFrame(0, next.data(), gImageW, gImageH, 1);
    ASSERT_TRUE(waitForFrame(0));
    EXPECT_EQ(cameras[0]->frames().framesDelivered(), 2);
}

TEST_F(CameraTest, stopAndStartAgainKeepsThePollingThread)
{
    camsdk::SimCameraPool &sim = openOneCamera(Vendor::MindVision, kCameraMindVision, &gCList);
    for (int round = 0; round < 5; ++round) {
        cameras[0]->CameraStop();
        ASSERT_EQ(cameras[0]->CameraStart(), 1);
        const std::vector<uint8_t> frame = grayFrame(static_cast<uint8_t>(round));
        sim.pushFrame(0, frame.data(), gImageW, gImageH, 1);
        ASSERT_TRUE(waitForFrame(0)) << round;
        ASSERT_TRUE(cameras[0]->TakeFrame());
        EXPECT_EQ(cameras[0]->workingImage()[0], round);
    }
}

TEST_F(CameraTest, colourFramesBecomeFourBytePixels)
{
    setImage(4, 2, true);
    camsdk::SimCameraPool &sim = pool(Vendor::Hikvision);
    sim.addDevice(device("SN0000001", 4, 2, true));
    gCameraID = kCameraHikvision;
    gFindCamera = 1;
    sim.enumerate(&gDevList);
    makeCameras(1);
    openAll();
    std::vector<uint8_t> rgb(4 * 2 * 3);
    for (std::size_t i = 0; i < rgb.size(); i += 3) {
        rgb[i] = 200;
        rgb[i + 1] = 100;
        rgb[i + 2] = 50;
    }
    sim.pushFrame(0, rgb.data(), 4, 2, 3);
    ASSERT_TRUE(cameras[0]->TakeFrame());
    const uint8_t *pixel = cameras[0]->workingImage() + 7 * 4;
    EXPECT_EQ(std::vector<uint8_t>(pixel, pixel + 4), (std::vector<uint8_t>{200, 100, 50, 255}));
}
