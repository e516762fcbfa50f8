// Loss of cameras: the stall watch, disconnect reports, the loss check that closes everything with
// the clamp interlock on, and the restart that waits until every camera is back.
#include "camerafixture.h"

#include "core/texttable.h"
#include "camera/cameraloss.h"
#include "camera/cameraprobe.h"

using camsdk::Vendor;

class CameraLoss : public CameraTest
{
protected:
    void SetUp() override
    {
        CameraTest::SetUp();
        FillTextTable();
        gLan = 1;
        gpWPara->enable_camera_check = 1;
    }

    // Two MindVision cameras opened and started.
    camsdk::SimCameraPool &twoCameras()
    {
        camsdk::SimCameraPool &sim = pool(Vendor::MindVision);
        sim.addDevice(device("SN0000001"));
        sim.addDevice(device("SN0000002"));
        gCameraID = kCameraMindVision;
        gFindCamera = 2;
        sim.enumerate(&gCList);
        makeCameras(2);
        openAll();
        return sim;
    }
};

TEST_F(CameraLoss, stallRaisesLossOnlyInFreeRunningMode)
{
    struct Row
    {
        const char *name;
        bool external;
        std::vector<int> framesPerSecond;  // frames of position 0 in each one-second tick
        bool lost;
    };
    const Row rows[] = {
        {"fiveSecondsIsNotYet", false, {0, 0, 0, 0, 0}, false},
        {"sixSecondsWithoutFrame", false, {0, 0, 0, 0, 0, 0}, true},
        {"aFrameResetsTheCount", false, {0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0}, false},
        {"externalTriggerNeverStalls", true, std::vector<int>(20, 0), false},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        resetPools();
        events.clear();
        gisLost = 0;
        gCameraWatch.frameCount[0] = gCameraWatch.frameCount[1] = 0;
        gCameraWatch.lastCount[0] = gCameraWatch.lastCount[1] = 0;
        gCameraWatch.stall[0] = gCameraWatch.stall[1] = 0;
        twoCameras();
        gpWPara->external_trigger = row.external ? 1 : 0;
        for (int frames : row.framesPerSecond) {
            gCameraWatch.frameCount[0] += frames;
            gCameraWatch.frameCount[1] += 1;  // position 1 keeps delivering
            CameraSecondTick();
        }
        EXPECT_EQ(gisLost != 0, row.lost);
        EXPECT_EQ(cameras[0]->isOpen(), !row.lost);
        EXPECT_EQ(events.contains(QStringLiteral("output1")), row.lost);
    }
}

TEST_F(CameraLoss, lossRecordsClosesAllAndShowsTheRightBox)
{
    struct Row
    {
        const char *name;
        bool cameraCheck;
        bool detecting;
        QStringList expected;
    };
    const Row rows[] = {
        {"checkOn", true, true, {QStringLiteral("output1"), QStringLiteral("lostBox")}},
        {"checkOff", false, true, {QStringLiteral("output1"), QStringLiteral("warn ") + LanStr(39)}},
        {"detectionStopped", true, false, {QStringLiteral("lostBox")}},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        resetPools();
        events.clear();
        records.clear();
        gisLost = 0;
        gLost = 4;
        camsdk::SimCameraPool &sim = twoCameras();
        gpWPara->enable_camera_check = row.cameraCheck ? 1 : 0;
        detecting = row.detecting;
        CameraCheck(1);
        EXPECT_EQ(gisLost.load(), 1);
        EXPECT_EQ(gLost, 5);
        EXPECT_EQ(events, row.expected);
        EXPECT_EQ(records, QStringList{LanStr(332).arg(5).arg(2)});
        EXPECT_FALSE(sim.isOpen(0));
        EXPECT_FALSE(sim.isOpen(1));
        // A second check while lost changes nothing.
        CameraCheck(0);
        EXPECT_EQ(gLost, 5);
    }
}

TEST_F(CameraLoss, unplugRestartWaitsForTheFullCount)
{
    camsdk::SimCameraPool &sim = twoCameras();
    sim.unplug(1);
    EXPECT_TRUE(gCameraWatch.cameraFault.load());
    CameraFaultTick();
    ASSERT_EQ(gisLost.load(), 1);

    // A second camera goes while lost: still lost, nothing reopened.
    sim.unplug(0);
    CameraRestart();
    EXPECT_EQ(gisLost.load(), 1);
    sim.replug(0);
    CameraRestart();
    EXPECT_EQ(gisLost.load(), 1);
    EXPECT_FALSE(sim.isOpen(0));
    EXPECT_FALSE(events.contains(QStringLiteral("reconnectBox")));

    sim.replug(1);
    CameraRestart();
    EXPECT_EQ(gisLost.load(), 0);
    EXPECT_TRUE(cameras[0]->isOpen());
    EXPECT_TRUE(cameras[1]->isOpen());
    EXPECT_TRUE(sim.streaming(0));
    EXPECT_TRUE(sim.streaming(1));
    EXPECT_TRUE(events.contains(QStringLiteral("hideBoxes")));
    EXPECT_TRUE(events.contains(QStringLiteral("reconnectBox")));
    EXPECT_TRUE(records.contains(QStringLiteral("Camera Restart")));
    EXPECT_FALSE(gCameraWatch.cameraFault.load());
}

TEST_F(CameraLoss, failedReopenRaisesTheLossAgain)
{
    camsdk::SimCameraPool &sim = twoCameras();
    CameraCheck(0);
    ASSERT_EQ(gisLost.load(), 1);
    sim.setFailure(1, "open", -5);
    events.clear();
    CameraRestart();
    EXPECT_EQ(gisLost.load(), 1);
    EXPECT_EQ(gLost, 2);
    EXPECT_TRUE(events.contains(QStringLiteral("output1")));
    EXPECT_EQ(records.last(), LanStr(332).arg(2).arg(2));
}

TEST_F(CameraLoss, hikvisionStillListedIsNotLost)
{
    camsdk::SimCameraPool &sim = openOneCamera(Vendor::Hikvision, kCameraHikvision, &gDevList);
    CameraCheck(0);
    EXPECT_EQ(gisLost.load(), 0);
    sim.unplug(0);
    EXPECT_TRUE(gCameraWatch.cameraFault.load());
    CameraFaultTick();
    EXPECT_EQ(gisLost.load(), 1);
}

TEST_F(CameraLoss, renumberedCamerasSwapAfterRestart)
{
    camsdk::SimCameraPool &sim = pool(Vendor::Hikvision);
    sim.addDevice(device("SN0000001"));
    sim.addDevice(device("SN0000002"));
    gCameraID = kCameraHikvision;
    gFindCamera = 2;
    sim.enumerate(&gDevList);
    makeCameras(2);
    openAll();
    gCamNO[0] = 1;
    gCamNO[1] = 0;
    SaveSN(0);
    sim.unplug(0);
    CameraFaultTick();
    ASSERT_EQ(gisLost.load(), 1);
    sim.replug(0);
    CameraRestart();
    ASSERT_EQ(gisLost.load(), 0);
    EXPECT_EQ(cameras[0]->backend()->serialNumber(), "SN0000002");
    EXPECT_EQ(cameras[1]->backend()->serialNumber(), "SN0000001");
}

TEST_F(CameraLoss, noCameraNeverLost)
{
    gCameraID = kCameraNone;
    gFindCamera = 4;
    makeCameras(4);
    openAll();
    for (int tick = 0; tick < 10; ++tick)
        CameraSecondTick();
    EXPECT_EQ(gisLost.load(), 0);
}

// Daheng cameras are counted by their device list, so they come back after a loss.
TEST_F(CameraLoss, dahengCamerasReopenWhenAllAreListedAgain)
{
    camsdk::SimCameraPool &sim = pool(Vendor::Daheng);
    sim.addDevice(device("SN0000001"));
    sim.addDevice(device("SN0000002"));
    gCameraID = kCameraDaheng;
    gFindCamera = 2;
    makeCameras(2);
    openAll();
    sim.unplug(1);
    CameraCheck(1);
    ASSERT_EQ(gisLost.load(), 1);
    CameraRestart();
    EXPECT_EQ(gisLost.load(), 1);
    sim.replug(1);
    CameraRestart();
    EXPECT_EQ(gisLost.load(), 0);
    EXPECT_TRUE(cameras[1]->isOpen());
}
