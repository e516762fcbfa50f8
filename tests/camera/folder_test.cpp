// The simulated folder cameras with real files: frames on replacement, repeats in free-running
// mode, unplugging and replugging by folder, and the probe finding them.
#include "camerafixture.h"

#include "camera/cameraloss.h"
#include "camera/cameraprobe.h"
#include "camera/sdk/foldercameras.h"
#include "../support/stationdir.h"

#include <opencv2/imgcodecs.hpp>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

namespace {

// Writes the frame beside the folder's frame file and renames it over it, as the contract asks.
void replaceFrame(const QString &folder, const cv::Mat &image, const char *name = "frame.png")
{
    QDir().mkpath(folder);
    const QString temporary = folder + QStringLiteral("/.next.png");
    ASSERT_TRUE(cv::imwrite(temporary.toStdString(), image));
    ASSERT_EQ(std::rename(temporary.toLocal8Bit().constData(), (folder + "/" + name).toLocal8Bit().constData()), 0);
}

void makeCamera(const QString &folder, const char *serial, const cv::Mat &image)
{
    QDir().mkpath(folder);
    QFile file(folder + QStringLiteral("/serial"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(serial);
    file.write("\n");
    file.close();
    replaceFrame(folder, image);
}

cv::Mat gray(uint8_t value) { return cv::Mat(48, 64, CV_8UC1, cv::Scalar(value)); }

}  // namespace

class CameraFolders : public CameraTest
{
protected:
    void SetUp() override
    {
        CameraTest::SetUp();
        ASSERT_TRUE(dir.isValid());
    }
    void TearDown() override
    {
        CameraTest::TearDown();
        m_folders.reset();
    }
    // The folder cameras of `dir`, kept until the cameras using them are closed.
    FolderCameras &makeFolders()
    {
        m_folders = std::make_unique<FolderCameras>(dir.path());
        return *m_folders;
    }
    QString cam(int n) const { return QDir(dir.path()).filePath(QStringLiteral("cam%1").arg(n)); }

    // The folder cameras as the Hikvision library, opened and started on positions 0 .. n-1.
    void openFolderCameras(FolderCameras &folders, int count)
    {
        camsdk::SetSdk(camsdk::Vendor::Hikvision, &folders);
        gCameraID = kCameraHikvision;
        folders.enumerate(&gDevList);
        gFindCamera = static_cast<int>(gDevList.size());
        makeCameras(count);
        openAll();
    }

    QTemporaryDir dir;
    std::unique_ptr<FolderCameras> m_folders;
};

TEST_F(CameraFolders, foldersBecomeCamerasWithSerialSizeAndColour)
{
    makeCamera(cam(1), "SIMCAM001", gray(10));
    makeCamera(cam(3), "SIMCAM003", cv::Mat(30, 40, CV_8UC3, cv::Scalar(1, 2, 3)));
    FolderCameras &folders = makeFolders();
    std::vector<camsdk::DeviceInfo> devices;
    folders.enumerate(&devices);
    ASSERT_EQ(devices.size(), 2u);
    EXPECT_EQ(devices[0].serial, "SIMCAM001");
    EXPECT_EQ(devices[0].sensorWidth, 64);
    EXPECT_FALSE(devices[0].color);
    EXPECT_EQ(devices[1].serial, "SIMCAM003");
    EXPECT_EQ(devices[1].sensorHeight, 30);
    EXPECT_TRUE(devices[1].color);
    EXPECT_EQ(devices[1].model.back(), 'C');
}

TEST_F(CameraFolders, replacedFrameIsDeliveredAndRepeatedWhenFreeRunning)
{
    makeCamera(cam(1), "SIMCAM001", gray(10));
    FolderCameras &folders = makeFolders();
    openFolderCameras(folders, 1);
    folders.setValue(0, "AcquisitionFrameRate", 1000.0);

    folders.scanOnce();
    ASSERT_TRUE(cameras[0]->TakeFrame());
    EXPECT_EQ(cameras[0]->workingImage()[0], 10);

    replaceFrame(cam(1), gray(200));
    folders.scanOnce();
    ASSERT_TRUE(cameras[0]->TakeFrame());
    EXPECT_EQ(cameras[0]->workingImage()[0], 200);

    // Free-running: the same frame again at the frame rate.
    QThread::msleep(3);
    EXPECT_EQ(folders.scanOnce(), 1);
    EXPECT_TRUE(cameras[0]->TakeFrame());

    // Triggered: only a replacement (the trigger) brings a frame.
    gpWPara->external_trigger = 1;
    cameras[0]->CameraChangeTrig(false);
    QThread::msleep(3);
    EXPECT_EQ(folders.scanOnce(), 0);
    replaceFrame(cam(1), gray(77));
    EXPECT_EQ(folders.scanOnce(), 1);
    ASSERT_TRUE(cameras[0]->TakeFrame());
    EXPECT_EQ(cameras[0]->workingImage()[0], 77);
}

TEST_F(CameraFolders, bmpFramesAndHalfWrittenFiles)
{
    QDir().mkpath(cam(1));
    ASSERT_TRUE(cv::imwrite((cam(1) + "/frame.bmp").toStdString(), gray(33)));
    FolderCameras &folders = makeFolders();
    openFolderCameras(folders, 1);
    folders.scanOnce();
    ASSERT_TRUE(cameras[0]->TakeFrame());
    EXPECT_EQ(cameras[0]->workingImage()[5], 33);
    // A file that is not an image yet keeps the last good frame, and is decoded once until it changes.
    QFile broken(cam(1) + "/frame.bmp");
    ASSERT_TRUE(broken.open(QIODevice::WriteOnly));
    broken.write("BM");
    broken.close();
    folders.setValue(0, "AcquisitionFrameRate", 1000.0);
    const int decodes = folders.decodes();
    for (int look = 0; look < 5; ++look) {
        QThread::msleep(2);
        folders.scanOnce();
    }
    EXPECT_EQ(folders.decodes(), decodes + 1);
    ASSERT_TRUE(cameras[0]->TakeFrame());
    EXPECT_EQ(cameras[0]->workingImage()[5], 33);
    ASSERT_TRUE(broken.open(QIODevice::Append));
    broken.write("still not an image");
    broken.close();
    folders.scanOnce();
    EXPECT_EQ(folders.decodes(), decodes + 2);
}

TEST_F(CameraFolders, folderGoneIsUnpluggedAndBackIsReplugged)
{
    gpWPara->enable_camera_check = 1;
    makeCamera(cam(1), "SIMCAM001", gray(10));
    makeCamera(cam(2), "SIMCAM002", gray(20));
    FolderCameras &folders = makeFolders();
    openFolderCameras(folders, 2);
    ASSERT_EQ(numCamera, 2);

    const QString away = dir.path() + QStringLiteral("/away");
    ASSERT_TRUE(QDir().rename(cam(2), away));
    folders.scanOnce();
    EXPECT_FALSE(folders.plugged(1));
    EXPECT_TRUE(gCameraWatch.cameraFault.load());
    CameraFaultTick();
    ASSERT_EQ(gisLost.load(), 1);
    CameraRestart();
    EXPECT_EQ(gisLost.load(), 1);

    ASSERT_TRUE(QDir().rename(away, cam(2)));
    folders.scanOnce();
    EXPECT_TRUE(folders.plugged(1));
    CameraRestart();
    EXPECT_EQ(gisLost.load(), 0);
    EXPECT_TRUE(cameras[1]->isOpen());
    replaceFrame(cam(2), gray(99));
    folders.scanOnce();
    ASSERT_TRUE(cameras[1]->TakeFrame());
    EXPECT_EQ(cameras[1]->workingImage()[0], 99);
}

TEST_F(CameraFolders, folderWithoutFrameIsPluggedOnceItHasOne)
{
    makeCamera(cam(1), "SIMCAM001", gray(10));
    QDir().mkpath(cam(2));
    FolderCameras &folders = makeFolders();
    EXPECT_FALSE(folders.plugged(1));
    replaceFrame(cam(2), cv::Mat(96, 128, CV_8UC1, cv::Scalar(60)));
    folders.scanOnce();
    EXPECT_TRUE(folders.plugged(1));
    EXPECT_EQ(folders.info(1).sensorWidth, 128);

    // A later frame of another size keeps the camera's size.
    openFolderCameras(folders, 2);
    replaceFrame(cam(2), gray(70));
    folders.scanOnce();
    ASSERT_TRUE(cameras[1]->TakeFrame());
    EXPECT_EQ(cameras[1]->workingImage()[0], 70);
}

// The whole road: the variable set, the probe finds two cameras, their frames follow the files.
TEST_F(CameraFolders, probeFindsTheSimulatedCameras)
{
    TempStation station;
    CameraPaths::inputDevices = station.file("none").toStdString();
    makeCamera(cam(1), "SIMCAM001", gray(10));
    makeCamera(cam(2), "SIMCAM002", gray(20));
    qputenv("MOULD_SIM_CAMERAS", dir.path().toLocal8Bit());
    CheckCameraID();
    qunsetenv("MOULD_SIM_CAMERAS");
    EXPECT_EQ(gCameraID, kCameraHikvision);
    EXPECT_EQ(gFindCamera, 2);
    EXPECT_EQ(gImageW, 64);
    EXPECT_EQ(gImageH, 48);
    EXPECT_EQ(gSensorColor, 0);
    makeCameras(2);
    openAll();
    ASSERT_EQ(numCamera, 2);
    ASSERT_TRUE(waitForFrame(1));
    ASSERT_TRUE(cameras[1]->TakeFrame());
    EXPECT_EQ(cameras[1]->workingImage()[0], 20);
    replaceFrame(cam(1), gray(123));
    QElapsedTimer timer;
    timer.start();
    bool changed = false;
    while (!changed && timer.elapsed() < 3000) {
        if (waitForFrame(0, 100) && cameras[0]->TakeFrame())
            changed = cameras[0]->workingImage()[0] == 123;
    }
    EXPECT_TRUE(changed);
    cameras.clear();
    camsdk::SetSdk(camsdk::Vendor::Hikvision, nullptr);
}
