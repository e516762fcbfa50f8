// Stored judged pictures and trying edited region settings on them.
#include "core/globals.h"
#include "cycle/replaystore.h"
#include "params/wizardpara.h"
#include "vision/cameravision.h"
#include "vision/lib/checkrange.h"
#include "vision/regionedit.h"
#include "vision/replay.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <opencv2/imgproc.hpp>

#include <gtest/gtest.h>

#include <memory>

namespace {

constexpr int kW = 160;
constexpr int kH = 120;

class ReplayTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        gImageW = kW;
        gImageH = kH;
        gImageLen = gColorLen = kW * kH;
        gisColor = false;
        gisGrayHue = true;
        gTempNum = 1;
        gDNum = 2;
        SetImageSize(kW, kH);
        gpWPara = &m_para;
        m_view = std::make_unique<CameraVision>(0);
    }
    void TearDown() override { gpWPara = nullptr; }

    // Detection 0 gets two white-area regions: 0 on the left, 1 on the right.
    void addRegions(int leftLimit, int rightLimit)
    {
        CammerSingleton &s = m_view->singleton;
        const QRect outlines[] = {QRect(10, 10, 60, 60), QRect(90, 10, 60, 60)};
        const int limits[] = {leftLimit, rightLimit};
        for (int k = 0; k < 2; ++k) {
            int i = -1;
            ASSERT_EQ(RegionEdit::AddRect(*m_view, 0, outlines[k], m_para, &i), RegionEdit::AddOutcome::Added);
            s.roiFunc[0][i] = FuncWhiteArea;
            s.roiPara2[0][i] = 200;  // min gray
            s.roiPara3[0][i] = limits[k];
        }
    }

    // A mid-gray picture with a white square of `side` pixels in the left and the right region.
    static cv::Mat picture(int leftSide, int rightSide)
    {
        cv::Mat image(kH, kW, CV_8UC1, cv::Scalar(100));
        if (leftSide > 0)
            image(cv::Rect(25, 25, leftSide, leftSide)).setTo(255);
        if (rightSide > 0)
            image(cv::Rect(105, 25, rightSide, rightSide)).setTo(255);
        return image;
    }

    QString root() const { return m_dir.filePath(QStringLiteral("replayimage")); }

    QTemporaryDir m_dir;
    WizardPara m_para;
    std::unique_ptr<CameraVision> m_view;
};

}  // namespace

// 50 good cycles (three of them with a larger white spot on the left) and 4 failures (three with a
// large spot on the right, one with a small one). Lowering the left limit fails exactly the three,
// naming the left region; raising the right limit passes exactly the small failure. Unchanged
// settings turn nothing over: the stored pictures are judged as they were.
TEST_F(ReplayTest, EditedLimitsReportExactlyTheFlippedCycles)
{
    addRegions(600, 100);
    ReplayStore store(root());
    const QDateTime start(QDate(2026, 12, 7), QTime(4, 0));
    QStringList bigGood;
    for (int k = 0; k < 50; ++k) {
        const bool big = k == 7 || k == 23 || k == 41;
        ASSERT_TRUE(store.keep(0, 0, picture(big ? 20 : 10, 0), true, {}, start.addSecs(k)));
        if (big)
            bigGood << Replay::PictureName(start.addSecs(k), k);
    }
    for (int k = 0; k < 4; ++k)
        ASSERT_TRUE(store.keep(0, 0, picture(10, k == 2 ? 14 : 20), false, {1}, start.addSecs(100 + k)));
    const QString smallFailure = Replay::PictureName(start.addSecs(102), 52);
    store.waitIdle();
    const QList<Replay::StoredPicture> pictures = Replay::ListPictures(root(), 0, 0);
    ASSERT_EQ(pictures.size(), 54);

    const Replay::Result same = Replay::Run(Replay::TakeSettings(*m_view, 0), pictures);
    EXPECT_EQ(same.judged, 54);
    EXPECT_EQ(same.storedGood, 50);
    EXPECT_EQ(same.storedFailed, 4);
    EXPECT_TRUE(same.flips.isEmpty());

    m_view->singleton.roiPara3[0][0] = 300;
    m_view->singleton.roiPara3[0][1] = 250;
    int calls = 0;
    const Replay::Result r = Replay::Run(Replay::TakeSettings(*m_view, 0), pictures, [&](int done, int total) {
        EXPECT_EQ(done, ++calls);
        EXPECT_EQ(total, 54);
        return true;
    });
    EXPECT_EQ(r.goodNowFailing, 3);
    EXPECT_EQ(r.failedNowPassing, 1);
    EXPECT_EQ(r.goodFailsByRegion[0], 3);
    EXPECT_EQ(r.goodFailsByRegion[1], 0);
    ASSERT_EQ(r.flips.size(), 4);
    for (int k = 0; k < 3; ++k) {
        const Replay::Flip &flip = r.flips[k];
        EXPECT_TRUE(flip.storedOk);
        EXPECT_EQ(QFileInfo(flip.path).fileName(), bigGood[k]);
        EXPECT_EQ(flip.regions, QList<int>{0});
        ASSERT_EQ(flip.ngRects.size(), 1);
        EXPECT_TRUE(flip.ngRects[0].intersects(QRect(25, 25, 20, 20)));
        EXPECT_EQ(flip.outlines.size(), 1);
    }
    EXPECT_FALSE(r.flips[3].storedOk);
    EXPECT_EQ(QFileInfo(r.flips[3].path).fileName(), smallFailure);
    EXPECT_EQ(r.flips[3].regions, QList<int>{1}) << "the region the failure was stored with";

    // A run stopped after ten pictures says so and holds what it judged.
    const Replay::Result stopped = Replay::Run(Replay::TakeSettings(*m_view, 0), pictures,
                                               [](int done, int) { return done < 10; });
    EXPECT_TRUE(stopped.cancelled);
    EXPECT_EQ(stopped.judged, 10);
}

// A picture of another size or a damaged file is counted as unreadable, not judged.
TEST_F(ReplayTest, PicturesThatDoNotFitAreCountedNotJudged)
{
    addRegions(600, 100);
    const QString ok = Replay::PictureFolder(root(), 0, 0, true);
    ASSERT_TRUE(QDir().mkpath(ok));
    ASSERT_TRUE(QImage(80, 60, QImage::Format_Grayscale8).save(ok + QStringLiteral("/a.png")));
    QFile damaged(ok + QStringLiteral("/b.png"));
    ASSERT_TRUE(damaged.open(QIODevice::WriteOnly));
    damaged.write("\x89PNG not really");
    damaged.close();
    const Replay::Result r = Replay::Run(Replay::TakeSettings(*m_view, 0), Replay::ListPictures(root(), 0, 0));
    EXPECT_EQ(r.unreadable, 2);
    EXPECT_EQ(r.judged, 0);
}

// The store keeps the newest pictures of a folder within its count and its bytes.
TEST_F(ReplayTest, StorePrunesOldestFirstByCountAndBytes)
{
    ReplayStore store(root(), {3, 0});
    const QDateTime start(QDate(2026, 12, 7), QTime(4, 0));
    for (int k = 0; k < 5; ++k)
        ASSERT_TRUE(store.keep(1, 0, picture(10 + k, 0), true, {}, start.addSecs(k)));
    store.waitIdle();
    const QDir ok(Replay::PictureFolder(root(), 1, 0, true));
    QStringList names = ok.entryList(QDir::Files, QDir::Name);
    EXPECT_EQ(names, QStringList({Replay::PictureName(start.addSecs(2), 2), Replay::PictureName(start.addSecs(3), 3),
                                  Replay::PictureName(start.addSecs(4), 4)}));
    const qint64 newestTwo = QFileInfo(ok.filePath(names[1])).size() + QFileInfo(ok.filePath(names[2])).size();
    EXPECT_EQ(PruneOldest(ok.path(), 10, newestTwo), 1);
    EXPECT_EQ(ok.entryList(QDir::Files).size(), 2);

    // replay.ini: 100 pictures and 400 MB spread over 2 cameras x 2 detections x 2 verdicts
    const QString ini = m_dir.filePath(QStringLiteral("replay.ini"));
    QFile file(ini);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("[store]\npictures=100\nmegabytes=400\n");
    file.close();
    const ReplayStore::Limits limits = ReplayStore::ReadLimits(ini, 2, 2);
    EXPECT_EQ(limits.pictures, 100);
    EXPECT_EQ(limits.folderBytes, 50 * 1024 * 1024);
    EXPECT_EQ(ReplayStore::ReadLimits(m_dir.filePath(QStringLiteral("none.ini")), 1, 1).pictures, 200);
}
