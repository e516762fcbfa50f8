// The start-up probe: which back-end wins, the image size each vendor's rules give, the start-up
// questions about the serial numbers and SaveSN into SN.db.
#include "camerafixture.h"

#include "core/systemgateway.h"
#include "core/texttable.h"
#include "camera/cameraprobe.h"
#include "camera/cameraregistry.h"
#include "../support/stationdir.h"

#include <QSqlDatabase>
#include <QSqlQuery>

using camsdk::Vendor;

class CameraProbe : public CameraTest
{
protected:
    void SetUp() override
    {
        CameraTest::SetUp();
        FillTextTable();
        gLan = 1;
        ASSERT_TRUE(station.isValid());
        CameraPaths::inputDevices = station.file("no-input-devices").toStdString();
    }

    TempStation station;
};

TEST_F(CameraProbe, imageSizeByVendorSensorAndCropMode)
{
    struct Row
    {
        const char *name;
        Vendor vendor;
        int sensorWidth, sensorHeight;
        int crop;
        int code, width, height;
    };
    const Row rows[] = {
        {"daheng1280Crop", Vendor::Daheng, 1280, 1024, 1, kCameraDaheng, 1120, 840},
        {"daheng1280Full", Vendor::Daheng, 1280, 1024, 0, kCameraDaheng, 1280, 1024},
        {"daheng2048Crop", Vendor::Daheng, 2048, 1536, 1, kCameraDaheng, 1600, 1200},
        {"daheng2592AlwaysHalved", Vendor::Daheng, 2592, 1944, 0, kCameraDaheng, 1296, 972},
        {"uEyeFixed", Vendor::UEye, 1600, 1200, 0, kCameraUEye, 1280, 1024},
        {"mind1280Crop", Vendor::MindVision, 1280, 1024, 1, kCameraMindVision, 1120, 840},
        {"mind1600Crop", Vendor::MindVision, 1600, 1200, 1, kCameraMindVision, 1300, 1000},
        {"mind3088Crop", Vendor::MindVision, 3088, 2064, 1, kCameraMindVision, 2592, 1944},
        {"mind3088Full", Vendor::MindVision, 3088, 2064, 0, kCameraMindVision, 3088, 2064},
        {"dvpRegionOfInterest", Vendor::Dvp, 1440, 1080, 1, kCameraDvp, 1440, 1080},
        {"imvWidthHeight", Vendor::Imv, 1280, 960, 1, kCameraImv, 1280, 960},
        {"hikWidthHeight", Vendor::Hikvision, 1920, 1200, 1, kCameraHikvision, 1920, 1200},
        {"hikTallSensor", Vendor::Hikvision, 5472, 4096, 0, kCameraHikvision, 2304, 1296},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        resetPools();
        camsdk::SimCameraPool &sim = pool(row.vendor);
        sim.addDevice(device("SN0000001", row.sensorWidth, row.sensorHeight));
        sim.addDevice(device("SN0000002", row.sensorWidth, row.sensorHeight));
        gisCut = row.crop;
        CheckCameraID();
        EXPECT_EQ(gCameraID, row.code);
        EXPECT_EQ(gFindCamera, 2);
        EXPECT_EQ(gImageW, row.width);
        EXPECT_EQ(gImageH, row.height);
        EXPECT_EQ(gImageLen, row.width * row.height);
        // The probe leaves every camera closed for the views to open.
        EXPECT_FALSE(sim.isOpen(0));
        camsdk::SetSdk(row.vendor, nullptr);
    }
}

TEST_F(CameraProbe, mindVision2592CropTakesTheFirstPreset)
{
    camsdk::SimCameraPool &sim = pool(Vendor::MindVision);
    sim.addDevice(device("SN0000001", 2592, 1944));
    sim.setValue(0, "PresetResolution", std::string("3,2048,1536"));
    gisCut = 1;
    CheckCameraID();
    EXPECT_EQ(gImageW, 2048);
    EXPECT_EQ(gImageH, 1536);
    EXPECT_EQ(gImageResolution.index, 3);
}

TEST_F(CameraProbe, firstVendorInProbeOrderWins)
{
    pool(Vendor::Hikvision).addDevice(device("SN0000001"));
    pool(Vendor::MindVision).addDevice(device("SN0000002"));
    CheckCameraID();
    EXPECT_EQ(gCameraID, kCameraMindVision);
}

TEST_F(CameraProbe, failingStepFallsThroughToTheNext)
{
    camsdk::SimCameraPool &daheng = pool(Vendor::Daheng);
    daheng.addDevice(device("SN0000001"));
    daheng.setFailure(0, "open", -8);
    pool(Vendor::Hikvision).addDevice(device("SN0000002"));
    CheckCameraID();
    EXPECT_EQ(gCameraID, kCameraHikvision);
}

TEST_F(CameraProbe, nothingFoundGivesFourEmptyPositions)
{
    gisColor = true;
    CheckCameraID();
    EXPECT_EQ(gCameraID, kCameraNone);
    EXPECT_EQ(gFindCamera, 4);
    EXPECT_EQ(gImageW, 1920);
    EXPECT_EQ(gImageH, 1080);
    EXPECT_EQ(gColorLen, 1920 * 1080 * 4);
    makeCameras(8);
    openAll();
    EXPECT_EQ(numCamera, 4);
}

TEST_F(CameraProbe, waitsAfterAddressRepairAndForUEye)
{
    CameraHooks::repairAllCameraIP = [] { return 1; };
    pool(Vendor::UEye).addDevice(device("SN0000001"));
    CheckCameraID();
    EXPECT_EQ(sleeps, (std::vector<int>{6000, 3000}));
}

TEST_F(CameraProbe, imvCamerasOfOtherMakesAreNotCounted)
{
    camsdk::SimCameraPool &sim = pool(Vendor::Imv);
    sim.addDevice(device("SN0000001", 1280, 960));
    camsdk::DeviceInfo other = device("SN0000002");
    other.manufacturerInfo = "Other";
    sim.addDevice(other);
    int moved = 0;
    CameraHooks::autoSetCameraIP = [&](const camsdk::DeviceInfo &) { return ++moved == 1 ? 1 : 0; };
    CheckCameraID();
    EXPECT_EQ(gCameraID, kCameraImv);
    EXPECT_EQ(gFindCamera, 1);
    EXPECT_EQ(moved, 1);
    EXPECT_EQ(sleeps, std::vector<int>{6000});
}

TEST_F(CameraProbe, usbCameraCountReadsTheInputDeviceList)
{
    QFile list(station.file("input-devices"));
    ASSERT_TRUE(list.open(QIODevice::WriteOnly));
    list.write("N: Name=\"USB Camera\"\nN: Name=\"Keyboard\"\nN: Name=\"HD Camera front\"\n");
    list.close();
    CameraPaths::inputDevices = list.fileName().toStdString();
    EXPECT_EQ(CheckUSBCameraNum(), 2);
    EXPECT_TRUE(QFile::exists(station.file("devices")));
    CameraPaths::inputDevices = station.file("missing").toStdString();
    QFile::remove(station.file("devices"));
    EXPECT_EQ(CheckUSBCameraNum(), 0);
}

class CameraStartupCount : public CameraProbe
{
protected:
    void SetUp() override
    {
        CameraProbe::SetUp();
        SystemGateway::clearRecorded();
        SystemGateway::setRestartHandler([this] { restarted = true; });
        for (int p = 0; p < 8; ++p)
            bind(p, p < 2 ? "SN0000001" : "0");
    }
    void TearDown() override
    {
        SystemGateway::setRestartHandler(nullptr);
        CameraProbe::TearDown();
    }
    bool restarted = false;
};

TEST_F(CameraStartupCount, questionsAndTheirConsequences)
{
    struct Row
    {
        const char *name;
        int code, found, opened, stored;
        bool answer;
        int askedRow;  // 0: nothing asked
        bool cleared, rebooted;
        int numCameraAfter;
    };
    const Row rows[] = {
        {"countChangedYes", kCameraHikvision, 3, 3, 2, true, 360, true, true, 3},
        {"countChangedNo", kCameraHikvision, 3, 3, 2, false, 360, false, false, 3},
        {"countSame", kCameraHikvision, 2, 2, 2, true, 0, false, false, 2},
        {"noSerialStored", kCameraHikvision, 3, 3, 0, true, 0, false, false, 3},
        {"noBackEndYes", kCameraNone, 4, 4, 2, true, 134, true, false, 4},
        {"noneOpenedNo", kCameraHikvision, 2, 0, 2, false, 134, false, false, 2},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        events.clear();
        restarted = false;
        bind(0, "SN0000001");
        gCameraID = row.code;
        gFindCamera = row.found;
        numCamera = row.opened;
        gpWPara->camera_serial_count = row.stored;
        answer = row.answer;
        CheckCameraCountAtStartup();
        const QStringList asked = events.filter(QStringLiteral("ask "));
        if (row.askedRow == 0) {
            EXPECT_TRUE(asked.isEmpty());
        } else {
            ASSERT_EQ(asked.size(), 1);
            EXPECT_EQ(asked.front(), QStringLiteral("ask ") + LanStr(row.askedRow));
        }
        EXPECT_EQ(QString::fromLatin1(gSerialNB[0]) == QStringLiteral("0"), row.cleared);
        EXPECT_EQ(restarted, row.rebooted);
        EXPECT_EQ(numCamera, row.numCameraAfter);
        EXPECT_EQ(SystemGateway::recorded().contains(QStringLiteral("sync")), row.rebooted);
        SystemGateway::clearRecorded();
    }
}

TEST_F(CameraStartupCount, eightCamerasWaitTwoSeconds)
{
    gCameraID = kCameraHikvision;
    gFindCamera = 8;
    numCamera = 8;
    gpWPara->camera_serial_count = 8;
    CheckCameraCountAtStartup();
    EXPECT_EQ(sleeps, std::vector<int>{2000});
}

class CameraSerials : public CameraProbe
{
protected:
    void SetUp() override
    {
        CameraProbe::SetUp();
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("dbT"));
        db.setDatabaseName(station.file("SN.db"));
        ASSERT_TRUE(db.open());
    }
    void TearDown() override
    {
        CameraProbe::TearDown();
        QSqlDatabase::database(QStringLiteral("dbT")).close();
        QSqlDatabase::removeDatabase(QStringLiteral("dbT"));
    }
    static QString stored(int position)
    {
        QSqlQuery query(QSqlDatabase::database(QStringLiteral("dbT")));
        query.prepare(QStringLiteral("select value from sysparam where name=:name"));
        query.bindValue(QStringLiteral(":name"), QStringLiteral("serialNB%1").arg(position));
        return query.exec() && query.next() ? query.value(0).toString() : QStringLiteral("<missing>");
    }
};

TEST_F(CameraSerials, renumberedSerialsAreStoredAndRecorded)
{
    camsdk::SimCameraPool &sim = pool(Vendor::Hikvision);
    sim.addDevice(device("SN0000001"));
    sim.addDevice(device("SN'000002"));  // a quote is a value, never part of the statement
    gCameraID = kCameraHikvision;
    gFindCamera = 2;
    sim.enumerate(&gDevList);
    makeCameras(2);
    openAll();
    gCamNO[0] = 1;
    gCamNO[1] = 0;
    SaveSN(0);
    EXPECT_EQ(stored(0), QStringLiteral("SN'000002"));
    EXPECT_EQ(stored(1), QStringLiteral("SN0000001"));
    EXPECT_EQ(stored(2), QStringLiteral("0"));
    EXPECT_STREQ(gSerialNB[0], "SN'000002");
    EXPECT_EQ(records.filter(QStringLiteral("Save SN")),
              (QStringList{QStringLiteral("Save SN 1: SN'000002"), QStringLiteral("Save SN 2: SN0000001")}));

    // Lost cameras are all closed: a training started then keeps the stored serials.
    for (auto &camera : cameras) {
        camera->CameraStop();
        camera->CameraClose();
    }
    gisLost = 1;
    SaveSN(0);
    EXPECT_EQ(stored(0), QStringLiteral("SN'000002"));
    EXPECT_STREQ(gSerialNB[1], "SN0000001");
    gisLost = 0;

    SaveSN(1);
    for (int p = 0; p < 8; ++p)
        EXPECT_EQ(stored(p), QStringLiteral("0")) << p;
}

TEST_F(CameraSerials, imvKeepsItsCameraAtItsIndex)
{
    camsdk::SimCameraPool &sim = pool(Vendor::Imv);
    sim.addDevice(device("SN0000001"));
    sim.addDevice(device("SN0000002"));
    gCameraID = kCameraImv;
    Dahua_EnumDevices();
    gFindCamera = 2;
    makeCameras(2);
    openAll();
    gCamNO[0] = 1;
    gCamNO[1] = 0;
    SaveSN(0);
    EXPECT_EQ(stored(0), QStringLiteral("key-SN0000001"));
    EXPECT_EQ(stored(1), QStringLiteral("key-SN0000002"));
}

TEST_F(CameraSerials, camerasBoundAtATrainingKeepTheirPositionsInAnotherEnumerationOrder)
{
    // First start, nothing bound: the positions take the cameras in enumeration order, and the
    // start of a training binds them.
    camsdk::SimCameraPool &first = pool(Vendor::Hikvision);
    first.addDevice(device("SN0000001"));
    first.addDevice(device("SN0000002"));
    gCameraID = kCameraHikvision;
    gFindCamera = 2;
    first.enumerate(&gDevList);
    makeCameras(2);
    openAll();
    SaveSN(0);

    // Restart: the serials come back from SN.db, and the library lists the cameras the other way.
    resetPools();
    for (auto &serial : gSerialNB)
        serial[0] = '\0';
    QSqlDatabase param = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("dbIn"));
    param.setDatabaseName(station.file("PARAM.db"));
    ASSERT_TRUE(param.open());
    m_para->LoadDatafromFile();
    param.close();
    param = QSqlDatabase();
    QSqlDatabase::removeDatabase(QStringLiteral("dbIn"));
    EXPECT_EQ(m_para->camera_serial_count, 2);
    camsdk::SimCameraPool &second = pool(Vendor::Hikvision);
    second.addDevice(device("SN0000002"));
    second.addDevice(device("SN0000001"));
    second.enumerate(&gDevList);
    makeCameras(2);
    openAll();
    ASSERT_EQ(numCamera, 2);
    EXPECT_EQ(cameras[0]->backend()->serialNumber(), "SN0000001");
    EXPECT_EQ(cameras[1]->backend()->serialNumber(), "SN0000002");
    CheckCameraCountAtStartup();
    EXPECT_TRUE(events.isEmpty()) << "the count matches: nothing to ask";
}
