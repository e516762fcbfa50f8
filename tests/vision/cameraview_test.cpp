// The vision state of a camera view: hit tests, copying between detections, ignore-point files.
#include "vision/cameravision.h"

#include "vision/imagefiles.h"
#include "visionfixture.h"

#include <QFile>
#include <QImage>

namespace {

class CameraView : public VisionFixture
{
protected:
    // Four overlapping rectangles in detection 0: 0 at the left, 1 and 3 over the middle, 2 right.
    void fourRegions(CameraVision &view)
    {
        const QRect rects[] = {{0, 0, 20, 20}, {40, 40, 40, 40}, {100, 0, 20, 20}, {50, 50, 40, 40}};
        view.singleton.roiNum[0] = 4;
        for (int i = 0; i < 4; ++i) {
            view.singleton.SetDefaultRegion(0, i);
            const QRect &r = rects[i];
            view.singleton.rect[0][i].setCorners(r.left(), r.top(), r.right(), r.bottom());
            view.RebuildMask(0, i);
        }
    }
};

}  // namespace

TEST_F(CameraView, PtInRectSearchesCyclicallyFromTheSelectedRegion)
{
    const QPoint inOneAndThree(60, 60);
    const struct { const char *name; int selected; QPoint p; bool hit; int result; } rows[] = {
        {"fromTwoFindsThree", 2, inOneAndThree, true, 3},
        {"fromThreeKeepsThree", 3, inOneAndThree, true, 3},
        {"fromZeroFindsOne", 0, inOneAndThree, true, 1},
        {"noneSelectedStartsAtZero", -1, inOneAndThree, true, 1},
        {"staleSelectionStartsAtZero", 7, inOneAndThree, true, 1},
        {"wrapsAround", 3, QPoint(5, 5), true, 0},
        {"missKeepsSelection", 2, QPoint(150, 110), false, 2},
    };
    for (const auto &r : rows) {
        SCOPED_TRACE(r.name);
        CameraVision view(0);
        fourRegions(view);
        view.selectedRoi = r.selected;
        EXPECT_EQ(view.PtInRect(0, r.p), r.hit);
        EXPECT_EQ(view.selectedRoi, r.result);
        if (r.hit) {
            for (int i = 0; i < 4; ++i)
                EXPECT_EQ(view.singleton.RegionSelected(0, i), i == r.result) << i;
            EXPECT_EQ(view.pressPoint, r.p);
            EXPECT_EQ(view.dragOrigin, view.singleton.rect[0][r.result].topLeft());
        }
    }
}

TEST_F(CameraView, HitTestsOfTheSelectedRegion)
{
    CameraVision view(0);
    fourRegions(view);
    EXPECT_FALSE(view.PtInRegion(0, QPoint(10, 10)));  // nothing selected
    ASSERT_TRUE(view.PtInRect(0, QPoint(10, 10)));
    EXPECT_TRUE(view.PtInRegion(0, QPoint(19, 19)));
    EXPECT_TRUE(view.PtInRegion(0, QPoint(24, 24)));   // near the bottom-right handle
    EXPECT_FALSE(view.PtInRegion(0, QPoint(60, 60)));  // inside another region only
    ASSERT_TRUE(view.PtInRect(0, QPoint(45, 45)));
    ASSERT_EQ(view.selectedRoi, 1);
    const QPoint centre = view.singleton.rect[0][1].outline().center();
    EXPECT_TRUE(view.PtInRectMove(0, centre));
    EXPECT_FALSE(view.PtInRectMove(0, QPoint(40, 40)));  // a corner handle
    EXPECT_FALSE(view.PtInRectMove(0, QPoint(5, 5)));    // another region
    // A polygon's drag origin is its first vertex.
    view.singleton.roiType[0][2] = ShapePolygon;
    view.singleton.polygon[0][2] = RePolygon(std::vector<QPoint>{{130, 5}, {150, 5}, {140, 30}});
    ASSERT_TRUE(view.PtInRect(0, QPoint(140, 12)));
    EXPECT_EQ(view.selectedRoi, 2);
    EXPECT_EQ(view.dragOrigin, QPoint(130, 5));
}

TEST_F(CameraView, CopyParaByMachineMode)
{
    const struct { const char *name; int mode; int twoTest; int product; std::vector<std::pair<int, int>> copies; } rows[] = {
        {"productToMould", 0, 1, 1, {{0, 1}}},
        {"mode3ProductToMould", 3, 1, 1, {{0, 1}}},
        {"productStageOff", 0, 1, 0, {}},
        {"switchOff", 0, 0, 1, {}},
        {"leftToRight", 1, 1, 0, {{1, 3}, {0, 2}}},
        {"mode2LeftToRight", 2, 1, 1, {{1, 3}, {0, 2}}},
        {"customModeNone", 4, 1, 1, {}},
    };
    for (const auto &r : rows) {
        SCOPED_TRACE(r.name);
        gpWPara->work_mode = r.mode;
        gpWPara->enabe_two_test = r.twoTest;
        gpWPara->enable_product_detect = r.product;
        CameraVision view(0);
        for (int d = 0; d < 4; ++d) {
            view.singleton.roiNum[d] = d + 1;
            for (int i = 0; i <= d; ++i) {
                view.singleton.SetDefaultRegion(d, i);
                view.singleton.roiPara2[d][i] = 10 * d + i;
                view.singleton.roiType[d][i] = ShapeCircle;
                view.singleton.circle[d][i] = Circle(30 + 10 * d, 40, 5 + d, 0);
                view.singleton.circle[d][i].SetSelected(true);
                view.RebuildMask(d, i);
            }
        }
        EXPECT_EQ(view.CopyPara(), !r.copies.empty());
        for (auto [from, to] : r.copies) {
            ASSERT_EQ(view.singleton.roiNum[to], from + 1);
            for (int i = 0; i <= from; ++i) {
                EXPECT_EQ(view.singleton.roiPara2[to][i], 10 * from + i);
                EXPECT_EQ(view.singleton.circle[to][i].center(), QPoint(30 + 10 * from, 40));
                EXPECT_FALSE(view.singleton.circle[to][i].IsSelected());
                EXPECT_EQ(view.roiMask[to][i].size(), view.roiMask[from][i].size());
            }
        }
        if (r.copies.empty()) {
            EXPECT_EQ(view.singleton.roiNum[1], 2);
        }
    }
}

TEST_F(CameraView, IgnorePointsRoundTripAsIndexedGrayBmp)
{
    gDNum = 2;
    CameraVision view(1);
    view.ignorePoint[1].at<uint8_t>(3, 4) = 255;
    view.ignorePoint[1].at<uint8_t>(kH - 1, kW - 1) = 1;
    ASSERT_TRUE(view.SaveIgnorePoint(1));
    const QImage file(QStringLiteral("cammer22/ignorepoint.bmp"));
    EXPECT_EQ(file.format(), QImage::Format_Indexed8);
    EXPECT_EQ(file.colorTable(), GrayColorTable());

    CameraVision loaded(1);
    loaded.ignorePoint[1].setTo(9);
    loaded.LoadIgnorePoint();
    EXPECT_EQ(cv::norm(loaded.ignorePoint[1], view.ignorePoint[1], cv::NORM_INF), 0.0);
    EXPECT_EQ(cv::countNonZero(loaded.ignorePoint[0]), 0);  // no file: nothing ignored
}

TEST_F(CameraView, UnfitIgnorePointFilesCountAsEmpty)
{
    const struct { const char *name; QImage image; } rows[] = {
        {"wrongWidth", QImage(kW + 1, kH, QImage::Format_Indexed8)},
        {"wrongHeight", QImage(kW, kH - 1, QImage::Format_Indexed8)},
        {"colourFile", QImage(kW, kH, QImage::Format_RGB32)},
    };
    for (const auto &r : rows) {
        SCOPED_TRACE(r.name);
        QImage image = r.image;
        if (image.format() == QImage::Format_Indexed8)
            image.setColorTable(GrayColorTable());
        image.fill(200);
        QDir().mkpath("cammer11");
        ASSERT_TRUE(image.save("cammer11/ignorepoint.bmp"));
        CameraVision view(0);
        view.ignorePoint[0].setTo(5);
        view.LoadIgnorePoint();
        EXPECT_EQ(cv::countNonZero(view.ignorePoint[0]), 0);
    }
    QFile::remove("cammer11/ignorepoint.bmp");
    QFile("cammer11/ignorepoint.bmp").open(QIODevice::WriteOnly);  // unreadable: empty file
    CameraVision view(0);
    view.ignorePoint[0].setTo(5);
    view.LoadIgnorePoint();
    EXPECT_EQ(cv::countNonZero(view.ignorePoint[0]), 0);
}

TEST_F(CameraView, AnnotationOutlinesAndLimits)
{
    gpWPara->minimum_area = 123;
    CameraVision view(0);
    CammerSingleton &s = view.singleton;
    s.roiNum[0] = 4;
    for (int i = 0; i < 4; ++i)
        s.SetDefaultRegion(0, i);
    s.ApplyFunctionDefaults(0, 1, FuncSpot);
    s.ApplyFunctionDefaults(0, 2, FuncSimilarity);
    s.roiType[0][2] = ShapeCircle;
    s.circle[0][2] = Circle(60, 50, 20, 10);
    s.ApplyFunctionDefaults(0, 3, FuncWhiteArea);
    s.roiType[0][3] = ShapePolygon;
    s.polygon[0][3] = RePolygon(std::vector<QPoint>{{10, 10}, {40, 10}, {10, 40}});

    const struct { int region; bool detail; QString limit; } rows[] = {
        {0, true, "100"}, {0, false, "123"}, {1, true, "80--500"}, {2, true, "80"}, {3, true, "100"},
    };
    for (const auto &r : rows) {
        gpWPara->enable_display_detail = r.detail;
        EXPECT_EQ(view.RegionLimitText(0, r.region), r.limit) << r.region;
    }
    EXPECT_EQ(view.RegionOutline(0, 0).boundingRect(), QRectF(50, 50, 50, 50));
    EXPECT_TRUE(view.RegionOutline(0, 2).contains(QPointF(60, 35)));   // in the ring
    EXPECT_FALSE(view.RegionOutline(0, 2).contains(QPointF(60, 50)));  // in its hole
    EXPECT_TRUE(view.RegionOutline(0, 3).contains(QPointF(15, 15)));
    EXPECT_FALSE(view.RegionOutline(0, 3).contains(QPointF(35, 35)));

    // A frame buffer of the camera view is judged without a copy.
    std::vector<uint8_t> frame(size_t(kW) * kH, 42);
    view.AttachCaptureBuffer(frame.data());
    EXPECT_EQ(view.captureImage.ptr(), frame.data());
    EXPECT_EQ(view.captureImage.at<uint8_t>(kH - 1, kW - 1), 42);
}
