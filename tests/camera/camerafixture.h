// Test support of the camera tests: station globals set to a small image, a fresh parameter record,
// simulated vendor libraries and the hooks recorded instead of shown.
#pragma once

#include "core/globals.h"
#include "camera/cameraacquisition.h"
#include "camera/cameraglobals.h"
#include "camera/sdk/simcamerapool.h"
#include "log/eventrecord.h"
#include "params/wizardpara.h"
#include "tests/support/testport.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QMutex>
#include <QStringList>
#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

class CameraTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_para = std::make_unique<WizardPara>();
        m_edit = std::make_unique<WizardPara>();
        gpWPara = m_para.get();
        gpWParaBak = m_edit.get();
        for (auto *&mutex : pMutex)
            if (!mutex)
                mutex = new QMutex;
        std::fill(std::begin(isImageFill), std::end(isImageFill), false);
        setImage(64, 48, false);
        gCameraID = kCameraNone;
        gFindCamera = 0;
        numCamera = 0;
        gOW = gOH = 0;
        gSensorColor = 0;
        gisCut = 0;
        gisLost = 0;
        gLost = 0;
        gParamScreenVisible = false;
        gCList.clear();
        gDevList.clear();
        gDeviceInfoList.clear();
        for (int i = 0; i < 8; ++i) {
            gCamNO[i] = i;
            std::memset(gSerialNB[i], 0, sizeof gSerialNB[i]);
            gSerialNB[i][0] = '0';
            gContrast[i] = 0;
            gCameraWatch.frameCount[i] = 0;
            gCameraWatch.lastCount[i] = 0;
            gCameraWatch.stall[i] = 0;
        }
        gCameraWatch.cameraFault = false;
        for (int v = 0; v < 6; ++v)
            camsdk::SetSdk(static_cast<camsdk::Vendor>(v), nullptr);
        CameraThread::startDelayMs = 0;
        CameraHooks::sleepMs = [this](int ms) { sleeps.push_back(ms); };
        CameraHooks::clampInterlockOn = [this] { events << QStringLiteral("output1"); };
        CameraHooks::detectionRunning = [this] { return detecting; };
        CameraHooks::showLostCameraBox = [this] { events << QStringLiteral("lostBox"); };
        CameraHooks::hideCameraBoxes = [this] { events << QStringLiteral("hideBoxes"); };
        CameraHooks::showReconnectBox = [this] { events << QStringLiteral("reconnectBox"); };
        CameraHooks::repairAllCameraIP = nullptr;
        CameraHooks::ensureDeviceReach = nullptr;
        CameraHooks::autoSetCameraIP = nullptr;
        EventRecord::SetSink([this](const QString &text) { records << text; });
    }

    void TearDown() override
    {
        cameras.clear();  // stops and closes before the pools go
        EventRecord::SetSink(nullptr);
        for (int v = 0; v < 6; ++v)
            camsdk::SetSdk(static_cast<camsdk::Vendor>(v), nullptr);
        gpWPara = nullptr;
        gpWParaBak = nullptr;
    }

    static void setImage(int width, int height, bool color)
    {
        gImageW = width;
        gImageH = height;
        gisColor = color;
        gImageLen = width * height;
        gColorLen = color ? gImageLen * 4 : gImageLen;
    }

    // Closes the cameras and removes every simulated library (between rows of a table).
    void resetPools()
    {
        cameras.clear();
        for (int v = 0; v < 6; ++v)
            camsdk::SetSdk(static_cast<camsdk::Vendor>(v), nullptr);
        pools.clear();
    }

    // A pool for `vendor` installed as that vendor's library.
    camsdk::SimCameraPool &pool(camsdk::Vendor vendor)
    {
        pools.push_back(std::make_unique<camsdk::SimCameraPool>(vendor));
        camsdk::SetSdk(vendor, pools.back().get());
        return *pools.back();
    }

    static camsdk::DeviceInfo device(const std::string &serial, int width = 64, int height = 48, bool color = false)
    {
        camsdk::DeviceInfo info;
        info.serial = serial;
        info.key = "key-" + serial;
        info.model = color ? "MV-CA013-C" : "MV-CA013-M";
        info.manufacturerInfo = "Machine Vision";
        info.sensorWidth = width;
        info.sensorHeight = height;
        info.color = color;
        return info;
    }

    // Camera views (acquisition side) for positions 0 .. count-1.
    void makeCameras(int count)
    {
        for (int p = static_cast<int>(cameras.size()); p < count; ++p)
            cameras.push_back(std::make_unique<CameraAcquisition>(p));
    }

    // One camera "SN0000001" of `vendor`, back-end `code`, listed in `list` and opened at position 0.
    camsdk::SimCameraPool &openOneCamera(camsdk::Vendor vendor, int code, std::vector<camsdk::DeviceInfo> *list)
    {
        camsdk::SimCameraPool &sim = pool(vendor);
        sim.addDevice(device("SN0000001"));
        gCameraID = code;
        gFindCamera = 1;
        sim.enumerate(list);
        makeCameras(1);
        openAll();
        return sim;
    }

    // Opens and starts every camera made, counting the opened ones in numCamera.
    void openAll()
    {
        numCamera = 0;
        for (auto &camera : cameras) {
            camera->CameraOpen();
            if (camera->isOpen())
                ++numCamera;
            camera->CameraStart();
        }
    }

    static void bind(int position, const char *serial)
    {
        std::memset(gSerialNB[position], 0, sizeof gSerialNB[position]);
        std::strncpy(gSerialNB[position], serial, 99);
    }

    // A frame of one grey value, in the size of the station.
    static std::vector<uint8_t> grayFrame(uint8_t value) { return std::vector<uint8_t>(gImageLen, value); }

    // Waits (briefly, in small steps) until the position has a frame to take.
    static bool waitForFrame(int position, int timeoutMs = 2000)
    {
        QElapsedTimer timer;
        timer.start();
        while (timer.elapsed() < timeoutMs) {
            {
                QMutexLocker lock(pMutex[position]);
                if (isImageFill[position])
                    return true;
            }
            QThread::msleep(2);
        }
        return false;
    }

    static std::vector<std::string> without(std::vector<std::string> lines, const std::string &prefix)
    {
        lines.erase(std::remove_if(lines.begin(), lines.end(),
                                   [&](const std::string &l) { return l.compare(0, prefix.size(), prefix) == 0; }),
                    lines.end());
        return lines;
    }

    std::unique_ptr<WizardPara> m_para;
    std::unique_ptr<WizardPara> m_edit;
    std::vector<std::unique_ptr<camsdk::SimCameraPool>> pools;
    std::vector<std::unique_ptr<CameraAcquisition>> cameras;
    std::vector<int> sleeps;
    QStringList events;
    QStringList records;
    bool detecting = true;
    bool answer = false;
    // The operator's boxes as events, in order with the other hooks.
    struct EventPort : TestOperatorPort
    {
        explicit EventPort(CameraTest *test) : test(test) {}
        void notify(const QString &text) override { test->events << QStringLiteral("warn ") + text; }
        bool ask(const QString &text) override
        {
            test->events << QStringLiteral("ask ") + text;
            return test->answer;
        }
        CameraTest *test;
    } operatorPort{this};
};
