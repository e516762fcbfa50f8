// The automatic region between the product and the mould reference.
#include "vision/autoregion.h"

#include "vision/cameravision.h"
#include "vision/templatelibrary.h"
#include "visionfixture.h"

namespace {

class AutoRegion : public VisionFixture
{
protected:
    void SetUp() override
    {
        VisionFixture::SetUp();
        gpWPara->minimum_size = 4;
        gpWPara->minimum_area = 150;
        view = std::make_unique<CameraVision>(0);
        TemplateLibrary::LoadTemplates(*view);
        view->tempImage[0][0].setTo(30);
        view->tempImage[1][0].setTo(30);
    }
    std::unique_ptr<CameraVision> view;
};

}  // namespace

TEST_F(AutoRegion, NothingWhereNothingDiffersEnough)
{
    const struct { const char *name; cv::Rect part; int contrast; } rows[] = {
        {"identical", {}, 0},
        {"tooSmallForAPart", {40, 40, 20, 20}, 100},
        {"differenceOf50", {40, 40, 60, 50}, 50},
        {"faintDifferenceIsNotAPart", {40, 40, 60, 50}, 20},  // the limit is a cut, not a truncation
    };
    for (const auto &r : rows) {
        SCOPED_TRACE(r.name);
        view->tempImage[0][0].setTo(30);
        if (!r.part.empty())
            view->tempImage[0][0](r.part).setTo(30 + r.contrast);
        EXPECT_FALSE(AutogenerationRegion(*view, 1, *gpWPara));
        EXPECT_EQ(view->singleton.roiNum[1], 0);
    }
}

TEST_F(AutoRegion, PolygonAroundTheDifference)
{
    const cv::Rect part(50, 40, 50, 40);
    view->tempImage[0][0](part).setTo(130);  // a uniform difference of 100
    view->tempImage[0][0].at<uint8_t>(5, 5) = 200;  // a speck, opened away
    view->singleton.roiOut[0] = 2;  // region 1 of the product detection drives NG output group 2
    ASSERT_TRUE(AutogenerationRegion(*view, 1, *gpWPara));
    const CammerSingleton &s = view->singleton;
    EXPECT_EQ(s.roiOut[0], 2) << "the output group is shared with the other detections";
    EXPECT_EQ(s.roiNum[1], 1);
    EXPECT_EQ(s.roiType[1][0], ShapePolygon);
    EXPECT_EQ(s.roiFunc[1][0], FuncDefect);
    EXPECT_TRUE(s.polygon[1][0].IsSelected());
    EXPECT_EQ(std::make_tuple(s.roiPara1[1][0], s.roiPara2[1][0], s.roiPara3[1][0]), std::make_tuple(4, 20, 150));
    // The polygon holds the part with a margin, and not the speck.
    const QRect r = s.RegionImageRect(1, 0);
    EXPECT_TRUE(r.contains(QRect(part.x - 15, part.y - 15, part.width + 30, part.height + 30)));
    EXPECT_FALSE(r.contains(QPoint(5, 5)));
    EXPECT_EQ(view->roiMask[1][0].size(), cv::Size(r.width(), r.height()));

    // A detection that has regions keeps them.
    EXPECT_FALSE(AutogenerationRegion(*view, 1, *gpWPara));
    EXPECT_EQ(s.roiNum[1], 1);
}
