// What the station leaves on disk from its cycles: the failed images within their limit, and the
// detection counters across a restart.
#include "tests/station/stationfixture.h"

#include "core/globals.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QRegularExpression>

namespace {

using StationFiles = StationScenario;

// Product failures without alarm: each cycle judges the product NG and still ends.
void failingProductWithoutAlarm(WizardPara &p)
{
    p.enable_stop_not_alarm = 1;
    p.continuous_ng_count = 0;
    p.thimble_pulse = 1;
}

}  // namespace

// NG images of the failing camera go to camera1/detect1/NG, named counter and time, and the folder
// keeps the limit by deleting the first names; the passing camera and the OK folders stay empty.
TEST_F(StationFiles, FailedImagesKeptWithinTheLimitByName)
{
    setParams([](WizardPara &p) {
        failingProductWithoutAlarm(p);
        p.ng_max_num = 2;
    });
    teachFault(0, 0);
    const QString ngDir = QStringLiteral("alarmimage/camera1/detect1/NG");
    ASSERT_TRUE(QDir().mkpath(ngDir));
    for (int k = 0; k < 4; ++k) {
        QFile old(ngDir + QStringLiteral("/0000000000_2000-01-01_00.00.00.00%1.jpg").arg(k));
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
    }
    ASSERT_NO_FATAL_FAILURE(start());
    showFrame(0, true);
    const QRegularExpression name(QStringLiteral("^(\\d{10})_\\d{4}-\\d\\d-\\d\\d_\\d\\d\\.\\d\\d\\.\\d\\d\\.\\d{3}\\.jpg$"));
    auto listed = [&] { return QDir(ngDir).entryList({QStringLiteral("*.jpg")}, QDir::Files, QDir::Name); };

    const QString lastOld = QStringLiteral("0000000000_2000-01-01_00.00.00.003.jpg");
    setInput(1, true);
    ASSERT_TRUE(waitUntil([&] {
        const QStringList files = listed();
        return files.size() == 2 && files.last() != lastOld && name.match(files.last()).hasMatch();
    }, 3000)) << listed().join(QLatin1Char(' ')).toStdString();
    EXPECT_EQ(listed().first(), lastOld) << "the first three names went";
    setInput(1, false);
    settle(50);
    for (int k = 2; k <= 3; ++k) {
        setInput(1, true);
        ASSERT_TRUE(waitUntil([&] {
            const QStringList files = listed();
            return files.size() == 2 && name.match(files.last()).captured(1).toInt() == k - 1;
        }, 3000)) << k << ": " << listed().join(QLatin1Char(' ')).toStdString();
        setInput(1, false);
        settle(50);
    }
    const QStringList files = listed();
    ASSERT_EQ(files.size(), 2);
    EXPECT_EQ(name.match(files.first()).captured(1).toInt(), 1);
    EXPECT_EQ(name.match(files.last()).captured(1).toInt(), 2);
    const QImage saved(ngDir + QLatin1Char('/') + files.last());
    EXPECT_EQ(saved.size(), QSize(kW, kH));
    EXPECT_TRUE(QDir(QStringLiteral("alarmimage/camera2/detect1/NG")).entryList({QStringLiteral("*.jpg")}).isEmpty());
    EXPECT_TRUE(QDir(QStringLiteral("alarmimage/camera1/detect1/OK")).entryList({QStringLiteral("*.jpg")}).isEmpty());

    // After a restart the names go on rising, so the folder still keeps its newest images.
    ASSERT_NO_FATAL_FAILURE(restart());
    showFrame(0, true);
    setInput(1, true);
    ASSERT_TRUE(waitUntil([&] {
        const QStringList files = listed();
        return !files.isEmpty() && name.match(files.last()).captured(1).toInt() == 3;
    }, 5000))
        << listed().join(QLatin1Char(' ')).toStdString();
    setInput(1, false);
    EXPECT_EQ(name.match(listed().first()).captured(1).toInt(), 2);
    EXPECT_EQ(readFile(QStringLiteral("saveImageCount.txt")), QStringLiteral("4"));
}

// Detections and failures per camera are in count.txt after each whole cycle and carry on after the
// station object is built again.
TEST_F(StationFiles, CountersSurviveARestart)
{
    setParams(failingProductWithoutAlarm);
    teachFault(0, 0);
    ASSERT_NO_FATAL_FAILURE(start());
    auto cycleOnce = [&] {
        setInput(1, true);
        const auto t = lastInput();
        ASSERT_TRUE(waitUntil([&] { return msToOutput(1, false, t) >= 0; }, 2000));
        setInput(1, false);
        settle(50);
    };
    cycleOnce();
    showFrame(0, true);
    cycleOnce();
    showFrame(0, false);
    cycleOnce();
    EXPECT_EQ(readFile(QStringLiteral("count.txt")), QStringLiteral("3 1 3 0 0 0 0 0 0 0 0 0 0 0 0 0 "));

    ASSERT_NO_FATAL_FAILURE(restart());
    EXPECT_EQ(records().count(QStringLiteral("The system is ready, there is 2 cameras")), 2) << "one per start";
    EXPECT_EQ(gAllNum[0], 3);
    EXPECT_EQ(gFailNum[0], 1);
    cycleOnce();
    EXPECT_EQ(readFile(QStringLiteral("count.txt")), QStringLiteral("4 1 4 0 0 0 0 0 0 0 0 0 0 0 0 0 "));
}
