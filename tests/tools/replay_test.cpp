// The replay program on a taught station copy whose settings a setter changed after the pictures were stored.
#include "cycle/replaystore.h"
#include "tests/support/stationdir.h"
#include "tools/demo-teach/demoteach.h"
#include "vision/cameravision.h"
#include "vision/cammerrecong.h"

#include <QProcess>
#include <QRegularExpression>

#include <gtest/gtest.h>

#include <algorithm>

namespace {

void judge(CameraVision &vision, CammerRecong &recong, const cv::Mat &image)
{
    image.copyTo(vision.captureImage);
    recong.ShapeMatch(0);
    vision.workImage.copyTo(vision.detectImage);
    recong.Run(0);
}

QList<int> failedRegions(const CameraVision &vision)
{
    QList<int> failed;
    for (int i = 0; i < vision.singleton.roiNum[0]; ++i)
        if (!vision.roiOK[0][i])
            failed << i;
    return failed;
}

}  // namespace

// 50 good product cycles and two short shots (one per cavity) are stored as the taught station
// judged them. The setter then makes the first cavity finer with an area limit that three
// good cycles exceed, and widens the second cavity's limit above its short shot: the program names
// exactly those three good cycles with the first cavity's region, and the second cavity's short
// shot as passing.
TEST(ReplayTool, NamesTheStoredCyclesAChangedStationWouldTurnOver)
{
    TempStation station;
    ASSERT_TRUE(station.isValid());
    demoteach::DemoOptions options;
    options.mould.seed = 4;
    options.mould.size = {320, 256};
    options.mould.cavities = 2;
    options.cameras = 1;
    const QDateTime start(QDate(2026, 12, 7), QTime(4, 0));
    QStringList expected;
    int first = 0, second = 0;
    {
        demoteach::DemoStation demo(station.path(), options);
        QString error;
        ASSERT_TRUE(demo.teach(&error)) << error.toStdString();
        CameraVision vision(0);
        vision.LoadFiles();
        CammerRecong recong(vision);
        CammerSingleton &s = vision.singleton;
        first = s.roiNum[0] - 2;  // the cavity regions come last
        second = first + 1;
        const scenegen::MouldView view(options.mould, 0);
        ReplayStore store(station.file(QStringLiteral("replayimage")));

        std::vector<cv::Mat> good;
        for (int k = 0; k < 50; ++k) {
            scenegen::Shot shot;
            shot.stage = scenegen::Stage::Product;
            shot.number = uint64_t(k) + 1;
            good.push_back(view.render(shot));
            judge(vision, recong, good.back());
            ASSERT_TRUE(vision.imageOK) << k;
            ASSERT_TRUE(store.keep(0, 0, good.back(), true, {}, start.addSecs(k)));
        }
        std::vector<cv::Mat> shortShots;
        for (int cavity = 0; cavity < 2; ++cavity) {
            scenegen::Shot shot;
            shot.stage = scenegen::Stage::Product;
            shot.fault = scenegen::Fault::ShortShot;
            shot.faultCavity = cavity;
            shot.number = 100 + uint64_t(cavity);
            shortShots.push_back(view.render(shot));
            judge(vision, recong, shortShots.back());
            ASSERT_EQ(failedRegions(vision), QList<int>{first + cavity});
            ASSERT_TRUE(store.keep(0, 0, shortShots.back(), false, failedRegions(vision), start.addSecs(100 + cavity)));
        }
        store.waitIdle();
        const int widened = vision.roiValue[0][second];

        // The setter's change: the first cavity's smallest filter (and, if need be, a higher
        // sensitivity) with an area limit that only the three largest good areas exceed, found by
        // judging the good shots as the setter would.
        std::vector<std::pair<int, int>> areas;  // first cavity's area, shot
        int tightened = -1;
        s.roiPara1[0][first] = 1;  // the smallest filter: single pixels count
        for (int sensitivity = s.roiPara2[0][first]; sensitivity > 0 && tightened < 0; sensitivity -= 4) {
            s.roiPara2[0][first] = sensitivity;
            recong.VarTrain(0);
            areas.clear();
            for (int k = 0; k < 50; ++k) {
                judge(vision, recong, good[size_t(k)]);
                areas.emplace_back(vision.roiValue[0][first], k);
            }
            std::sort(areas.rbegin(), areas.rend());
            judge(vision, recong, shortShots[1]);
            if (areas[2].first > areas[3].first && areas[3].first >= vision.roiValue[0][first])
                tightened = areas[3].first;
        }
        ASSERT_GE(tightened, 0) << "no sensitivity sets three good shots apart";
        for (int k = 0; k < 3; ++k)
            expected << QStringLiteral("would fail: camera1/detect1/OK/%1 regions %2")
                            .arg(Replay::PictureName(start.addSecs(areas[size_t(k)].second), areas[size_t(k)].second))
                            .arg(first + 1);
        expected << QStringLiteral("would pass: camera1/detect1/NG/%1 failed before in regions %2")
                        .arg(Replay::PictureName(start.addSecs(101), 51))
                        .arg(second + 1);

        s.roiPara3[0][first] = tightened;
        s.roiPara3[0][second] = widened;
        ASSERT_TRUE(s.SaveDatatoFile());
    }

    QProcess tool;
    tool.start(QStringLiteral(REPLAY_PATH),
               {QStringLiteral("--station"), station.path(), QStringLiteral("--camera"), QStringLiteral("1"),
                QStringLiteral("--detection"), QStringLiteral("1")});
    ASSERT_TRUE(tool.waitForFinished(120000));
    EXPECT_EQ(tool.exitCode(), 0) << tool.readAllStandardError().toStdString();
    const QStringList lines = QString::fromUtf8(tool.readAllStandardOutput()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    EXPECT_TRUE(lines.contains(QStringLiteral("stored good cycles: 50, would now fail: 3"))) << lines.join('\n').toStdString();
    EXPECT_TRUE(lines.contains(QStringLiteral("stored failures: 2, would now pass: 1")));
    EXPECT_TRUE(lines.contains(QStringLiteral("region %1 fails 3 stored good cycles").arg(first + 1)));
    QStringList flips = lines.filter(QRegularExpression(QStringLiteral("^would (fail|pass): ")));
    QStringList sortedExpected = expected;
    flips.sort();
    sortedExpected.sort();
    EXPECT_EQ(flips, sortedExpected);
}
