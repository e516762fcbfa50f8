// The demo station: what demo-teach writes guards the simulated machine against every fault it injects.
#include "tests/support/stationdir.h"
#include "tools/demo-teach/demoteach.h"
#include "vision/cameravision.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

namespace {

demoteach::DemoOptions demoOptions(uint64_t seed)
{
    demoteach::DemoOptions options;
    options.mould.seed = seed;
    options.cameras = 2;
    options.mould.cavities = 4;
    // Short stage delays: the product check 0.2 s after the mould opens, the mould check 0.1 s
    // after the ejector is back.
    options.productDelay = 2;
    options.mouldDelay = 1;
    options.inputHold = 0;
    return options;
}

}  // namespace

TEST(DemoTeach, TaughtRegionsPassGoodShotsAndFailEveryFaultInEveryCavity)
{
    TempStation station;
    ASSERT_TRUE(station.isValid());
    const demoteach::DemoOptions options = demoOptions(3);
    demoteach::DemoStation demo(station.path(), options);
    ASSERT_TRUE(demo.isOpen());
    QString error;
    ASSERT_TRUE(demo.teach(&error)) << error.toStdString();
    EXPECT_TRUE(QFile::exists(station.file("cammer22/template9.bmp")));
    {
        // what the station will load: correction on, the mould check on the ejector's return
        WizardPara stored;
        stored.LoadDatafromFile();
        EXPECT_EQ(stored.enable_correct, 0);
        EXPECT_EQ(stored.semi_auto, 1);
        EXPECT_EQ(stored.trigInDelay[0], 2);
        EXPECT_EQ(stored.trigInDelay[1], 1);
        EXPECT_EQ(stored.input_hold_time, 0);
    }

    for (int camera = 0; camera < options.cameras; ++camera) {
        SCOPED_TRACE(camera);
        // shot numbers of a run, not those the templates were taught on
        const demoteach::CheckResult r = demo.check(camera, 6, 1);
        EXPECT_EQ(r.goodImages, 12);
        EXPECT_EQ(r.goodFailed, 0);
        // with room to spare on both sides of the area limit (500)
        EXPECT_LT(r.worstGoodArea, 250);
        for (scenegen::Fault fault : scenegen::kFaultKinds) {
            const size_t k = size_t(fault);
            SCOPED_TRACE(scenegen::faultName(fault));
            EXPECT_EQ(r.faultImages[k], options.mould.cavities);
            EXPECT_EQ(r.faultsPassed[k], 0);
            EXPECT_GT(r.smallestFaultArea[k], 1000);
        }
    }
}

// Every camera of several moulds keeps room on both sides of its verdicts: good shots the templates
// never saw use well under the band of every cavity region, every fault well over it. Smaller images
// keep it quick and show that the limits follow the cavities.
TEST(DemoTeach, EveryCameraOfSeveralMouldsKeepsRoomOnBothSides)
{
    constexpr double kRoom = 1.3;
    struct Row
    {
        uint64_t seed;
        cv::Size size;
    };
    for (const Row &row : {Row{1, {640, 512}}, Row{2, {640, 512}}, Row{5, {320, 256}}}) {
        SCOPED_TRACE(row.seed);
        TempStation station;
        ASSERT_TRUE(station.isValid());
        demoteach::DemoOptions options = demoOptions(row.seed);
        options.cameras = 4;
        options.mould.size = row.size;
        demoteach::DemoStation demo(station.path(), options);
        QString error;
        ASSERT_TRUE(demo.teach(&error)) << error.toStdString();
        ASSERT_EQ(demo.taught().size(), size_t(options.cameras * 2 * options.mould.cavities));
        for (const demoteach::RegionTeaching &t : demo.taught()) {
            EXPECT_LE(t.least, t.most) << "camera " << t.camera << " detection " << t.detection << " cavity "
                                       << t.cavity;
        }
        for (int camera = 0; camera < options.cameras; ++camera) {
            SCOPED_TRACE(camera);
            const demoteach::CheckResult r = demo.check(camera, 4, 1);
            EXPECT_EQ(r.goodFailed, 0);
            EXPECT_LT(r.worstGoodUse * kRoom, 1.0);
            EXPECT_GT(r.leastFaultUse, kRoom);
            EXPECT_LT(2 * r.worstGoodArea, r.smallestLimit);
            for (scenegen::Fault fault : scenegen::kFaultKinds) {
                SCOPED_TRACE(scenegen::faultName(fault));
                EXPECT_EQ(r.faultsPassed[size_t(fault)], 0);
                EXPECT_GT(r.smallestFaultArea[size_t(fault)], 2 * r.largestLimit);
            }
        }
    }
}

// The band use the check reports follows the station's own verdicts: limits far too tight fail the
// good shots and show a use above 1, a band far too wide lets the faults through and shows one below 1.
TEST(DemoTeach, BandUseAgreesWithTheStationsVerdicts)
{
    struct Row
    {
        const char *name;
        int filter, sensitivity, area;  // 0: as taught
        bool goodShotsFail;
        bool faultsPass;
    };
    const Row rows[] = {
        {"as taught", 0, 0, 0, false, false},
        {"limits far too tight", 1, 10, 2, true, false},
        {"band far too wide", 0, 255, 0, false, true},
    };
    TempStation station;
    ASSERT_TRUE(station.isValid());
    demoteach::DemoOptions options = demoOptions(4);
    options.cameras = 1;
    options.mould.size = {320, 256};
    demoteach::DemoStation demo(station.path(), options);
    QString error;
    ASSERT_TRUE(demo.teach(&error)) << error.toStdString();
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        if (row.sensitivity > 0) {
            CameraVision vision(0);
            vision.LoadFiles();
            CammerSingleton &s = vision.singleton;
            for (const demoteach::RegionTeaching &t : demo.taught()) {
                const int i = s.roiNum[t.detection] - options.mould.cavities + t.cavity;
                s.roiPara1[t.detection][i] = row.filter ? row.filter : t.filter;
                s.roiPara2[t.detection][i] = row.sensitivity;
                s.roiPara3[t.detection][i] = row.area ? row.area : s.roiPara3[t.detection][i];
            }
            ASSERT_TRUE(s.SaveDatatoFile());
        }
        const demoteach::CheckResult r = demo.check(0, 3, 1);
        int faultsPassed = 0;
        for (int passed : r.faultsPassed)
            faultsPassed += passed;
        EXPECT_EQ(r.goodFailed > 0, row.goodShotsFail);
        EXPECT_EQ(r.worstGoodUse > 1.0, row.goodShotsFail) << r.worstGoodUse;
        EXPECT_EQ(faultsPassed > 0, row.faultsPass);
        EXPECT_EQ(r.leastFaultUse < 1.0, row.faultsPass) << r.leastFaultUse;
    }
}

// The station and the machine simulator as separate programs, as the start command runs them.
TEST(DemoRun, TwoHundredCyclesEveryFaultStopsTheMachineAndNoGoodCycleDoes)
{
    QTemporaryDir work;
    ASSERT_TRUE(work.isValid());
    const QString stationDir = work.filePath("station");
    ASSERT_TRUE(copyTree(builtStationDir(), stationDir));
    const uint64_t seed = 5;
    {
        demoteach::DemoStation demo(stationDir, demoOptions(seed));
        QString error;
        ASSERT_TRUE(demo.teach(&error)) << error.toStdString();
    }

    // A quick machine: the station samples its inputs on its own ticks, so the mould stays closed
    // long enough (0.12 s with the opening) for a busy station still to see each new cycle.
    const QString cams = work.filePath("cams"), link = work.filePath("tty"), json = work.filePath("run.json");
    QProcess machine;
    machine.setProcessChannelMode(QProcess::MergedChannels);
    machine.start(MACHINE_SIM_PATH, {"--cameras", "2", "--cavities", "4", "--seed", QString::number(seed),
                                     "--cycles", "200", "--fault-rate", "0.1", "--times", "20,150,30,100",
                                     "--operator-delay", "60", "--door-pulse", "80", "--start-up", "2",
                                     "--format", "bmp", "--wait-timeout", "30",
                                     "--dir", cams, "--link", link, "--json", json});
    ASSERT_TRUE(machine.waitForStarted());
    for (int i = 0; i < 100 && !(QFile::exists(link) && QFile::exists(cams + "/cam2/frame.bmp")); ++i)
        QThread::msleep(50);

    QProcess station;
    station.setWorkingDirectory(stationDir);
    station.setProcessChannelMode(QProcess::MergedChannels);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("MOULD_AUTO_CONFIRM", "1");
    env.insert("MOULD_SERIAL_DEVICE", link);
    env.insert("MOULD_SIM_CAMERAS", cams);
    station.setProcessEnvironment(env);
    station.start(stationDir + "/mould-station", {});
    ASSERT_TRUE(station.waitForStarted());

    const bool finished = machine.waitForFinished(240000);
    station.terminate();
    if (!station.waitForFinished(10000))
        station.kill();
    if (!finished) {
        machine.kill();
        machine.waitForFinished();
    }
    const QString log = QString::fromUtf8(machine.readAll());
    ASSERT_TRUE(finished) << log.toStdString();

    QFile file(json);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << log.toStdString();
    const QJsonObject s = QJsonDocument::fromJson(file.readAll()).object();
    SCOPED_TRACE(log.toStdString());
    EXPECT_FALSE(s["timedOut"].toBool());
    EXPECT_EQ(s["cycles"].toInt(), 200);
    EXPECT_GE(s["faultsInjected"].toInt(), 10);
    EXPECT_EQ(s["faultsCaught"].toInt(), s["faultsInjected"].toInt());
    EXPECT_EQ(s["faultsMissed"].toInt(), 0);
    EXPECT_EQ(s["mouldClosedOnPart"].toInt(), 0);
    EXPECT_EQ(s["falseStops"].toInt(), 0);
    EXPECT_EQ(s["unguardedClamps"].toInt(), 0);
}
