// Training of a detection: the allowed mask, gray and feature models, reference edge points.
#include "vision/cammerrecong.h"

#include "vision/cameravision.h"
#include "vision/templatelibrary.h"
#include "visionfixture.h"

namespace {

class Training : public VisionFixture
{
protected:
    void SetUp() override
    {
        VisionFixture::SetUp();
        view = std::make_unique<CameraVision>(0);
        TemplateLibrary::LoadTemplates(*view);
        recong = std::make_unique<CammerRecong>(*view, false);
    }

    int addRegion(int d, int func, const QRect &r, int type = ShapeRect)
    {
        CammerSingleton &s = view->singleton;
        const int i = s.roiNum[d]++;
        s.SetDefaultRegion(d, i);
        s.ApplyFunctionDefaults(d, i, func);
        s.roiType[d][i] = type;
        if (type == ShapeCircle)
            s.circle[d][i] = Circle(r.center().x(), r.center().y(), r.width() / 2, 0);
        else
            s.rect[d][i].setCorners(r.left(), r.top(), r.right(), r.bottom());
        view->RebuildMask(d, i);
        return i;
    }

    // Template 0 of detection d: gray 50 with gray 200 in `bright`.
    void setReference(int d, const QRect &bright)
    {
        cv::Mat &t = view->tempImage[d][0];
        t.setTo(50);
        if (!bright.isEmpty())
            t(cv::Rect(bright.x(), bright.y(), bright.width(), bright.height())).setTo(200);
    }

    std::unique_ptr<CameraVision> view;
    std::unique_ptr<CammerRecong> recong;
};

}  // namespace

TEST_F(Training, AllowedMaskRemovesIgnorePointsAndIgnoreAreas)
{
    view->ignorePoint[0].at<uint8_t>(100, 150) = 255;
    view->ignorePoint[0].at<uint8_t>(10, 10) = 255;  // in a corner of the circle's rectangle
    addRegion(0, FuncIgnore, QRect(0, 0, 41, 41), ShapeCircle);
    recong->VarTrain(0);
    const cv::Mat &allowed = recong->allowMask[0];
    EXPECT_EQ(allowed.at<uint8_t>(100, 150), 0);
    EXPECT_EQ(allowed.at<uint8_t>(20, 20), 0);     // the circle's centre
    EXPECT_EQ(allowed.at<uint8_t>(10, 10), 0);     // the ignore point stays ignored
    EXPECT_EQ(allowed.at<uint8_t>(1, 39), 255);    // the rest of the circle's rectangle may alarm
    EXPECT_EQ(allowed.at<uint8_t>(110, 100), 255);
}

TEST_F(Training, DefectRegionInsideAnIgnoreAreaTrainsOnAnEmptyMask)
{
    addRegion(0, FuncIgnore, QRect(20, 20, 80, 60));
    const int inside = addRegion(0, FuncDefect, QRect(30, 30, 20, 20));
    const int outside = addRegion(0, FuncDefect, QRect(130, 5, 20, 20));  // black in the synthetic template
    recong->VarTrain(0);
    for (int i : {inside, outside}) {
        ASSERT_TRUE(recong->grayModel(0, i).IsValid()) << i;
        cv::Mat different(20, 20, CV_8UC1, cv::Scalar(250)), ng;
        recong->grayModel(0, i).Match(different, ng);
        EXPECT_EQ(cv::countNonZero(ng), i == inside ? 0 : 20 * 20) << i;
    }
}

TEST_F(Training, ModelsUseEveryTemplateAndFollowTheFunction)
{
    for (int j : {3, 6}) {
        view->tempImage[0][j] = view->tempImage[0][0].clone();
        view->tempFlag[0][j] = 1;
        ++view->tempCount[0];
    }
    const int defect = addRegion(0, FuncDefect, QRect(10, 10, 30, 30));
    const int similar = addRegion(0, FuncSimilarity, QRect(50, 10, 30, 30));
    const int spot = addRegion(0, FuncSpot, QRect(90, 10, 30, 30));
    const int empty = addRegion(0, FuncDefect, QRect(200, 200, 10, 10));  // outside the image
    recong->VarTrain(0);
    EXPECT_EQ(recong->grayModel(0, defect).templateCount(), 3);
    EXPECT_EQ(recong->grayModel(0, defect).size(), cv::Size(30, 30));
    EXPECT_EQ(recong->surfModel(0, similar).templateCount(), 3);
    EXPECT_TRUE(recong->surfModel(0, similar).IsValid());
    EXPECT_FALSE(recong->grayModel(0, spot).IsValid());
    EXPECT_FALSE(recong->surfModel(0, spot).IsValid());
    EXPECT_FALSE(recong->grayModel(0, empty).IsValid());

    // A region switched to another function loses its model at the next training.
    view->singleton.roiFunc[0][defect] = FuncSpot;
    recong->VarTrain(0);
    EXPECT_FALSE(recong->grayModel(0, defect).IsValid());
    EXPECT_TRUE(recong->surfModel(0, similar).IsValid());
}

// The station-wide switch (word 419) reaches every defect region at its next training.
TEST_F(Training, LightingCompensationFollowsTheStationSwitch)
{
    const int defect = addRegion(0, FuncDefect, QRect(10, 10, 30, 30));
    for (const int on : {1, 0}) {
        gpWPara->lighting_compensation = on;
        recong->VarTrain(0);
        EXPECT_EQ(recong->grayModel(0, defect).LightingCompensation(), on == 1) << on;
    }
}

TEST_F(Training, DistanceRegionsLearnTheirReferencePoints)
{
    const struct { const char *name; QRect bright; int direction; int count; int value; std::vector<int> points; } rows[] = {
        {"noEdge", {}, 0, 0, 0, {}},
        {"oneEdge", {80, 0, 80, 120}, 0, 1, 80, {80, 60}},
        {"twoEdges", {60, 0, 30, 120}, 0, 2, 30, {60, 60, 90, 60}},
        {"turnedTwoEdges", {0, 40, 160, 25}, 1, 2, 25, {80, 40, 80, 65}},
    };
    for (const auto &r : rows) {
        SCOPED_TRACE(r.name);
        view->singleton.roiNum[0] = 0;
        setReference(0, r.bright);
        const int i = addRegion(0, FuncDistance, QRect(40, 30, 80, 60));
        view->singleton.roiPara1[0][i] = r.direction;
        recong->VarTrain(0);
        const int *ref = view->roiRefPoint[0][i];
        ASSERT_EQ(ref[0], r.count);
        EXPECT_NEAR(view->roiValue[0][i], r.value, 1);
        for (size_t k = 0; k < r.points.size(); ++k)
            EXPECT_NEAR(ref[1 + k], r.points[k], 1) << k;
    }
}

TEST_F(Training, ColourTemplatesAreReducedBeforeTraining)
{
    setGeometry(kW, kH, true);
    CameraVision colour(0);
    TemplateLibrary::LoadTemplates(colour);
    colour.tempImage[0][0].setTo(cv::Scalar(90, 90, 90, 255));
    CammerRecong trained(colour, false);
    colour.singleton.roiNum[0] = 1;
    colour.singleton.SetDefaultRegion(0, 0);
    colour.RebuildMask(0, 0);
    trained.VarTrain(0);
    ASSERT_TRUE(trained.grayModel(0, 0).IsValid());
    cv::Mat same(51, 51, CV_8UC1, cv::Scalar(90)), ng;
    trained.grayModel(0, 0).Match(same, ng);
    EXPECT_EQ(cv::countNonZero(ng), 0);
}

// Nothing ignored: no allowed mask is kept, and a region still marks every pixel that leaves its
// band, as with a mask that allows everything.
TEST_F(Training, NothingIgnoredKeepsNoAllowedMaskAndStillAlarms)
{
    view->ignorePoint[0].release();
    const int i = addRegion(0, FuncDefect, QRect(130, 5, 20, 20));  // black in the synthetic template
    recong->VarTrain(0);
    EXPECT_TRUE(recong->allowMask[0].empty());
    view->workImage.setTo(0);
    view->workImage(cv::Rect(135, 10, 8, 8)).setTo(250);
    recong->Run(0);
    EXPECT_EQ(view->roiBlobNum[0][i], 1);
    EXPECT_EQ(cv::countNonZero(view->alarmMap), 64);
}
