// Position correction: the shape model's region, search window and rotation rule, and pass-through.
#include "vision/cammerrecong.h"

#include "vision/cameravision.h"
#include "vision/lib/testing/sceneimage.h"
#include "vision/templatelibrary.h"
#include "visionfixture.h"

#include <opencv2/imgproc.hpp>

namespace {

class PositionCorrection : public VisionFixture
{
protected:
    static constexpr int W = 320, H = 240;

    void SetUp() override
    {
        VisionFixture::SetUp();
        setGeometry(W, H, false);
        gpWPara->enable_correct = 0;
        gpWPara->word179 = 0;
        gpWPara->location_adge = 40;
        view = std::make_unique<CameraVision>(0);
        TemplateLibrary::LoadTemplates(*view);
        scene.reference().copyTo(view->tempImage[0][0]);
        recong = std::make_unique<CammerRecong>(*view, false);
    }

    void addPositionRegion(const QRect &r, int speed)
    {
        CammerSingleton &s = view->singleton;
        const int i = s.roiNum[0]++;
        s.SetDefaultRegion(0, i);
        s.ApplyFunctionDefaults(0, i, FuncPosition);
        s.roiPara1[0][i] = speed;
        s.rect[0][i].setCorners(r.left(), r.top(), r.right(), r.bottom());
        view->RebuildMask(0, i);
    }

    // Mean gray difference between the working image and the reference in the middle of the image.
    double residual() const
    {
        const cv::Rect middle(W / 4, H / 4, W / 2, H / 2);
        return cv::mean(cv::abs(view->workImage(middle) - scene.reference()(middle)) +
                        cv::abs(scene.reference()(middle) - view->workImage(middle)))[0];
    }

    SceneImage::Scene scene{cv::Size(W, H), 11};
    std::unique_ptr<CameraVision> view;
    std::unique_ptr<CammerRecong> recong;
};

}  // namespace

TEST_F(PositionCorrection, ModelFromTheFirstPositionRegionOrTheMiddle)
{
    recong->CreateShape(0);
    EXPECT_TRUE(recong->shapeModel[0].IsValid());
    EXPECT_EQ(recong->shapeCenterX[0], W / 4 + W / 4);
    EXPECT_EQ(recong->shapeCenterY[0], H / 4 + H / 4);
    EXPECT_EQ(recong->shapeSearchRect[0], cv::Rect(W / 4 - 40, H / 4 - 40, W / 2 + 80, H / 2 + 80));

    addPositionRegion(QRect(0, 10, 101, 61), 20);  // at the left border
    addPositionRegion(QRect(200, 100, 50, 50), 20);
    recong->CreateShape(0);
    EXPECT_EQ(recong->shapeCenterX[0], 50);
    EXPECT_EQ(recong->shapeCenterY[0], 10 + 30);
    EXPECT_EQ(recong->shapeSearchRect[0], cv::Rect(0, 0, 141, 10 + 61 + 40));
    gpWPara->location_adge = 8000;
    recong->CreateShape(0);
    EXPECT_EQ(recong->shapeSearchRect[0], cv::Rect(0, 0, W, H));
}

TEST_F(PositionCorrection, PassesTheImageUnchanged)
{
    const struct { const char *name; int correct; bool build; } rows[] = {
        {"correctionOff", -1, true},
        {"noModel", 0, false},
    };
    for (const auto &r : rows) {
        SCOPED_TRACE(r.name);
        CammerRecong fresh(*view, false);
        gpWPara->enable_correct = 0;
        if (r.build)
            fresh.CreateShape(0);
        gpWPara->enable_correct = r.correct;
        view->captureImage = scene.render({cv::Point2d(W / 2, H / 2), cv::Point2d(6, -4), 0.0});
        view->workImage.setTo(0);
        fresh.ShapeMatch(0);
        EXPECT_EQ(cv::norm(view->workImage, view->captureImage, cv::NORM_INF), 0.0);
    }
    // With correction off no model is built at all.
    CammerRecong off(*view, false);
    gpWPara->enable_correct = -1;
    off.CreateShape(0);
    EXPECT_FALSE(off.shapeModel[0].IsValid());
}

TEST_F(PositionCorrection, ShiftIsUndone)
{
    recong->CreateShape(0);
    view->captureImage = scene.render({cv::Point2d(W / 2, H / 2), cv::Point2d(7, -5), 0.0});
    view->captureImage.copyTo(view->workImage);
    const double before = residual();
    recong->ShapeMatch(0);
    EXPECT_LT(residual(), before / 4);
}

TEST_F(PositionCorrection, RotationOnlyWithARangeOf1To180)
{
    const SceneImage::Pose turned{cv::Point2d(W / 2, H / 2), cv::Point2d(4, 3), 4.0};
    std::map<int, cv::Mat> corrected;
    std::map<int, double> left;
    for (int range : {0, 181, 180}) {
        gpWPara->word179 = range;
        CammerRecong fresh(*view, false);
        fresh.CreateShape(0);
        view->captureImage = scene.render(turned);
        fresh.ShapeMatch(0);
        corrected[range] = view->workImage.clone();
        left[range] = residual();
    }
    EXPECT_EQ(cv::norm(corrected[0], corrected[181], cv::NORM_INF), 0.0);  // 181 searches no rotation
    EXPECT_LT(left[180], left[0] / 2);
}
