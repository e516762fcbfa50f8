// A camera view taught on generated good images: good cycles pass, each kind of fault fails.
#include "vision/cammerrecong.h"

#include "vision/cameravision.h"
#include "vision/judgepool.h"
#include "vision/lib/testing/sceneimage.h"
#include "vision/templatelibrary.h"
#include "visionfixture.h"

using namespace SceneImage;

namespace {

class EndToEnd : public VisionFixture
{
protected:
    static constexpr int W = 400, H = 300;
    enum Fault { None, MissingPart, ForeignObject, ReversedPart, ShiftedEdge };
    enum Region { PositionRoi, ProductRoi, CavityRoi, DirectionRoi, DistanceRoi };

    void SetUp() override
    {
        VisionFixture::SetUp();
        setGeometry(W, H, false);
        gDNum = 2;
        gTempNum = 10;
        WizardPara &p = *gpWPara;
        p.stage_enable[0] = 1;
        p.stage_enable[1] = 0;
        p.enable_correct = 0;
        p.word179 = 5;            // rotation searched within +-5 degrees
        p.location_adge = 30;
        p.enable_display_detail = 1;
        p.difference_multiplier = 3;
        p.enable_stop_check = 3;  // min_spot
        p.word149 = 0;
    }

    static Scene scene(Fault fault)
    {
        SceneOptions options;
        options.partCount = 0;
        Scene s(cv::Size(W, H), 5, options);
        // Fixed mould features for the position model.
        s.addPart({PartShape::Disc, {185, 160}, {36, 36}, 0.0, 160, {}});
        s.addPart({PartShape::Rectangle, {228, 160}, {20, 50}, 20.0, 30, {}});
        s.addPart({PartShape::Polygon, {205, 140}, {0, 0}, 0.0, 200, {{-8, -6}, {8, -6}, {0, 8}}});
        if (fault != MissingPart)
            s.addPart({PartShape::Rectangle, {100, 90}, {60, 40}, 0.0, 200, {}});
        const std::vector<cv::Point2d> ell{{-20, -15}, {-10, -15}, {-10, 5}, {20, 5}, {20, 15}, {-20, 15}};
        std::vector<cv::Point2d> mirrored;
        for (const cv::Point2d &v : ell)
            mirrored.emplace_back(-v.x, v.y);
        s.addPart({PartShape::Polygon, {110, 210}, {0, 0}, 0.0, 230, fault == ReversedPart ? mirrored : ell});
        if (fault == ShiftedEdge)
            s.addPart({PartShape::Rectangle, {306, 220}, {52, 60}, 0.0, 220, {}});
        else
            s.addPart({PartShape::Rectangle, {300, 220}, {40, 60}, 0.0, 220, {}});
        return s;
    }

    static cv::Mat capture(Fault fault, int k)
    {
        cv::RNG rng(100 + k);
        const Pose pose{{W / 2.0, H / 2.0}, {rng.uniform(-4.0, 4.0), rng.uniform(-4.0, 4.0)}, rng.uniform(-1.0, 1.0)};
        cv::Mat image = scene(fault).render(pose);
        if (fault == ForeignObject)
            paintForeignObject(image, coveringBox(cv::Rect(225, 55, 70, 70), 0.3, pose, rng), 190, 7 + k);
        addNoise(image, 2.0, 1000 + k);
        return image;
    }

    void addRegion(CameraVision &view, int func, const QRect &r, int p1, int p2, int p3)
    {
        CammerSingleton &s = view.singleton;
        const int i = s.roiNum[0]++;
        s.SetDefaultRegion(0, i);
        s.roiFunc[0][i] = func;
        s.rect[0][i].setCorners(r.left(), r.top(), r.right(), r.bottom());
        s.roiPara1[0][i] = p1;
        s.roiPara2[0][i] = p2;
        s.roiPara3[0][i] = p3;
        view.RebuildMask(0, i);
    }

    // Regions, five good templates, written to PARAM.db and the template files.
    void teach(CameraVision &view)
    {
        addRegion(view, FuncPosition, QRect(160, 125, 100, 70), 10, 10, 10);
        addRegion(view, FuncDefect, QRect(60, 60, 80, 60), 3, 45, 100);
        addRegion(view, FuncSimilarity, QRect(220, 50, 80, 80), 3, 70, 0);
        addRegion(view, FuncDirection, QRect(70, 170, 80, 80), 0, 200, 5000);
        addRegion(view, FuncDistance, QRect(250, 190, 100, 60), 0, 35, 44);
        const cv::Mat good = scene(None).reference();
        for (int j = 0; j < 5; ++j) {
            cv::Mat t = good.clone();
            addNoise(t, 2.0, 50 + j);
            t.copyTo(view.tempImage[0][j]);
            view.tempFlag[0][j] = 1;
            ASSERT_TRUE(TemplateLibrary::SaveTemplate(view, 0, j));
        }
        view.tempCount[0] = 5;
        ASSERT_TRUE(view.singleton.SaveDatatoFile());
    }

    static void judge(CameraVision &view, CammerRecong &recong, const cv::Mat &image)
    {
        image.copyTo(view.captureImage);
        recong.ShapeMatch(0);
        view.workImage.copyTo(view.detectImage);
        recong.Run(0);
    }
};

}  // namespace

TEST_F(EndToEnd, GoodCyclesPassAndEachFaultFails)
{
    CameraVision view(0);
    TemplateLibrary::LoadTemplates(view);
    teach(view);
    CammerRecong recong(view);  // builds the shape model and trains the enabled stage
    ASSERT_TRUE(recong.shapeModel[0].IsValid());
    ASSERT_EQ(view.roiRefPoint[0][DistanceRoi][0], 2);

    for (int k = 0; k < 20; ++k) {
        SCOPED_TRACE(k);
        judge(view, recong, capture(None, k));
        EXPECT_EQ(view.imageOK, 1);
        for (int i = 0; i < view.singleton.roiNum[0]; ++i)
            EXPECT_EQ(view.roiOK[0][i], 1) << "region " << i << " value " << view.roiValue[0][i];
    }

    const struct { const char *name; Fault fault; Region region; } rows[] = {
        {"missingPart", MissingPart, ProductRoi},
        {"foreignObjectInTheEmptyCavity", ForeignObject, CavityRoi},
        {"partTurnedTheWrongWay", ReversedPart, DirectionRoi},
        {"shiftedEdge", ShiftedEdge, DistanceRoi},
    };
    for (const auto &r : rows) {
        for (int k = 0; k < 3; ++k) {
            SCOPED_TRACE(::testing::Message() << r.name << " " << k);
            judge(view, recong, capture(r.fault, k));
            EXPECT_EQ(view.imageOK, 0);
            for (int i = 0; i < view.singleton.roiNum[0]; ++i)
                EXPECT_EQ(view.roiOK[0][i], i == r.region ? 0 : 1) << "region " << i << " value " << view.roiValue[0][i];
        }
    }
}

TEST_F(EndToEnd, WhatOneRunWroteLoadsBackToTheSameVerdicts)
{
    CameraVision taught(0);
    TemplateLibrary::LoadTemplates(taught);
    teach(taught);
    taught.ignorePoint[0](cv::Rect(70, 70, 10, 10)).setTo(255);
    ASSERT_TRUE(taught.SaveIgnorePoint(0));
    CammerRecong first(taught);

    CameraVision loaded(0);
    loaded.LoadFiles();
    EXPECT_EQ(loaded.tempCount[0], 5);
    EXPECT_EQ(cv::norm(loaded.tempImage[0][3], taught.tempImage[0][3], cv::NORM_INF), 0.0);
    EXPECT_EQ(cv::norm(loaded.ignorePoint[0], taught.ignorePoint[0], cv::NORM_INF), 0.0);
    CammerRecong second(loaded);
    EXPECT_EQ(cv::norm(first.allowMask[0], second.allowMask[0], cv::NORM_INF), 0.0);

    for (Fault fault : {None, MissingPart, ForeignObject, ReversedPart, ShiftedEdge}) {
        SCOPED_TRACE(int(fault));
        const cv::Mat image = capture(fault, 3);
        judge(taught, first, image);
        judge(loaded, second, image);
        EXPECT_EQ(cv::norm(taught.workImage, loaded.workImage, cv::NORM_INF), 0.0);
        EXPECT_EQ(loaded.imageOK, taught.imageOK);
        for (int i = 0; i < taught.singleton.roiNum[0]; ++i) {
            EXPECT_EQ(loaded.roiOK[0][i], taught.roiOK[0][i]) << i;
            EXPECT_EQ(loaded.roiValue[0][i], taught.roiValue[0][i]) << i;
        }
    }
}

// The station builds its cameras and judges a stage's cameras on worker threads: the same frames
// must give the verdicts of cameras built and judged one after the other.
TEST_F(EndToEnd, CamerasBuiltAndJudgedSideBySideGiveTheSequentialVerdicts)
{
    constexpr int kCams = 5;
    const Fault faults[kCams] = {None, MissingPart, ForeignObject, ReversedPart, ShiftedEdge};
    std::vector<std::unique_ptr<CameraVision>> seqView, parView;
    std::vector<std::unique_ptr<CammerRecong>> seqRecong(kCams), parRecong(kCams);
    for (int c = 0; c < kCams; ++c) {
        seqView.push_back(std::make_unique<CameraVision>(c));
        TemplateLibrary::LoadTemplates(*seqView[c]);
        teach(*seqView[c]);
        seqRecong[c] = std::make_unique<CammerRecong>(*seqView[c]);
        parView.push_back(std::make_unique<CameraVision>(c));
        parView[c]->LoadRegions();
    }
    JudgePool pool(3);
    ASSERT_EQ(pool.workers(), 3);
    pool.run(kCams, [&](int c) {
        EXPECT_TRUE(parView[c]->LoadImageFiles().isEmpty());
        parRecong[c] = std::make_unique<CammerRecong>(*parView[c]);
    });

    for (int round = 0; round < 3; ++round) {
        std::vector<cv::Mat> frames;
        for (int c = 0; c < kCams; ++c)
            frames.push_back(capture(faults[(c + round) % kCams], round));
        for (int c = 0; c < kCams; ++c)
            judge(*seqView[c], *seqRecong[c], frames[c]);
        pool.run(kCams, [&](int c) { judge(*parView[c], *parRecong[c], frames[c]); });
        for (int c = 0; c < kCams; ++c) {
            SCOPED_TRACE(::testing::Message() << "round " << round << " camera " << c);
            const CameraVision &a = *seqView[c], &b = *parView[c];
            EXPECT_EQ(b.imageOK, a.imageOK);
            EXPECT_EQ(a.imageOK, faults[(c + round) % kCams] == None ? 1 : 0);
            EXPECT_EQ(cv::norm(a.workImage, b.workImage, cv::NORM_INF), 0.0);
            EXPECT_EQ(cv::norm(a.alarmMap, b.alarmMap, cv::NORM_INF), 0.0);
            for (int i = 0; i < a.singleton.roiNum[0]; ++i) {
                EXPECT_EQ(b.roiOK[0][i], a.roiOK[0][i]) << i;
                EXPECT_EQ(b.roiValue[0][i], a.roiValue[0][i]) << i;
            }
        }
    }
}
