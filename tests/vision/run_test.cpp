// The detection run: decisions and limits of the region functions, blob records, errors, reports.
#include "vision/cammerrecong.h"

#include "log/eventrecord.h"
#include "vision/cameravision.h"
#include "vision/templatelibrary.h"
#include "visionfixture.h"

namespace {

class Run : public VisionFixture
{
protected:
    void SetUp() override
    {
        VisionFixture::SetUp();
        EventRecord::SetSink([this](const QString &text) { records << text; });
        gpWPara->enable_display_detail = 1;
        gpWPara->enable_stop_check = 1;  // min_spot: no opening
        gpWPara->word149 = 0;
        view = std::make_unique<CameraVision>(0);
        TemplateLibrary::LoadTemplates(*view);
        view->tempImage[0][0].setTo(100);
        recong = std::make_unique<CammerRecong>(*view, false);
    }
    void TearDown() override
    {
        EventRecord::SetSink(nullptr);
        VisionFixture::TearDown();
    }

    int addRegion(int func, const QRect &r, int p1, int p2, int p3)
    {
        CammerSingleton &s = view->singleton;
        const int i = s.roiNum[0]++;
        s.SetDefaultRegion(0, i);
        s.roiFunc[0][i] = func;
        s.rect[0][i].setCorners(r.left(), r.top(), r.right(), r.bottom());
        s.roiPara1[0][i] = p1;
        s.roiPara2[0][i] = p2;
        s.roiPara3[0][i] = p3;
        view->RebuildMask(0, i);
        return i;
    }

    // Trains, puts `image` into the working image and runs detection 0.
    void run(const cv::Mat &image)
    {
        recong->VarTrain(0);
        image.copyTo(view->workImage);
        recong->Run(0);
    }

    cv::Mat plain(int gray = 100) const { return cv::Mat(kH, kW, CV_8UC1, cv::Scalar(gray)); }

    std::unique_ptr<CameraVision> view;
    std::unique_ptr<CammerRecong> recong;
    QStringList records;
};

}  // namespace

TEST_F(Run, DefectAreaAgainstTheAlarmArea)
{
    const struct { const char *name; int pixels; bool inverted; bool ok; } rows[] = {
        {"equalIsOk", 16, false, true},
        {"oneMoreIsNg", 17, false, false},
        {"invertedEqualIsOk", 16, true, true},
        {"invertedOneLessIsNg", 15, true, false},
        {"invertedMoreIsOk", 40, true, true},
    };
    for (const auto &r : rows) {
        SCOPED_TRACE(r.name);
        gpWPara->word149 = r.inverted;
        view->singleton.roiNum[0] = 0;
        const int i = addRegion(FuncDefect, QRect(20, 20, 60, 60), 1, 45, 16);
        cv::Mat image = plain();
        for (int k = 0; k < r.pixels; ++k)
            image.at<uint8_t>(30 + k / 8, 30 + k % 8) = 250;
        run(image);
        EXPECT_EQ(view->roiValue[0][i], r.pixels);
        EXPECT_EQ(view->roiOK[0][i], r.ok);
        EXPECT_EQ(view->imageOK, r.ok);
        EXPECT_EQ(cv::countNonZero(view->alarmMap), r.pixels);
    }
}

TEST_F(Run, GlobalFilterAndAreaWhenDetailIsOff)
{
    gpWPara->enable_display_detail = 0;
    gpWPara->minimum_size = 3;
    gpWPara->minimum_area = 20;
    const int i = addRegion(FuncDefect, QRect(10, 10, 100, 100), 1, 45, 100000);
    cv::Mat image = plain();
    image(cv::Rect(20, 20, 5, 5)).setTo(250);           // 25 pixels survive the opening
    for (int k = 0; k < 10; ++k)
        image.at<uint8_t>(60, 20 + 3 * k) = 250;         // single pixels vanish in it
    run(image);
    EXPECT_EQ(view->roiBlobNum[0][i], 1);
    EXPECT_GT(view->roiValue[0][i], 20);
    EXPECT_EQ(view->roiOK[0][i], 0);
}

// Spot, black area, white area and white count take their limits as a gray band (inclusive), not
// as the truncation their limits are written as: a truncation would count every non-black pixel.
TEST_F(Run, ThresholdLimitsAreReadAsAGrayBand)
{
    cv::Mat image = plain(0);
    const int grays[] = {49, 50, 120, 200, 201, 255};
    for (int k = 0; k < 6; ++k)
        image(cv::Rect(10 + 20 * k, 10, 10, 10)).setTo(grays[k]);  // 100 pixels each
    const struct { const char *name; int func; int p1; int p2; int p3; int value; bool ok; } rows[] = {
        {"spotInBand", FuncSpot, 50 | (200 << 8), 100, 300, 300, true},
        {"spotBytesSwapped", FuncSpot, 200 | (50 << 8), 100, 300, 300, true},
        {"spotBelowMinArea", FuncSpot, 50 | (200 << 8), 301, 1000, 300, false},
        {"spotAboveMaxArea", FuncSpot, 50 | (200 << 8), 1, 299, 300, false},
        {"blackArea", FuncBlackArea, 0, 49, 1000, 140 * 60 - 500, false},
        {"whiteArea", FuncWhiteArea, 0, 201, 200, 200, true},
        {"whiteAreaTooLarge", FuncWhiteArea, 0, 201, 199, 200, false},
    };
    for (const auto &r : rows) {
        SCOPED_TRACE(r.name);
        view->singleton.roiNum[0] = 0;
        const int i = addRegion(r.func, QRect(0, 0, 140, 60), r.p1, r.p2, r.p3);
        run(image);
        EXPECT_EQ(view->roiValue[0][i], r.value);
        EXPECT_EQ(view->roiOK[0][i], r.ok);
    }
}

TEST_F(Run, WhiteNumberRange)
{
    const struct { int blobs; bool ok; } rows[] = {{0, false}, {1, true}, {3, true}, {4, false}};
    for (const auto &r : rows) {
        SCOPED_TRACE(r.blobs);
        view->singleton.roiNum[0] = 0;
        const int i = addRegion(FuncWhiteNum, QRect(0, 0, 160, 120), 1, 128, 1 | (3 << 16));
        cv::Mat image = plain(0);
        for (int k = 0; k < r.blobs; ++k)
            image(cv::Rect(10 + 30 * k, 50, 8, 8)).setTo(255);
        run(image);
        EXPECT_EQ(view->roiValue[0][i], r.blobs);
        EXPECT_EQ(view->roiOK[0][i], r.ok);
    }
}

TEST_F(Run, UntrainedSimilarityFailsAPositiveMinimumScore)
{
    const int strict = addRegion(FuncSimilarity, QRect(10, 10, 40, 40), 3, 1, 0);
    const int lenient = addRegion(FuncSimilarity, QRect(60, 10, 40, 40), 3, 0, 0);
    view->workImage.setTo(100);
    recong->Run(0);  // never trained
    EXPECT_EQ(view->roiValue[0][strict], 0);
    EXPECT_EQ(view->roiOK[0][strict], 0);
    EXPECT_EQ(view->roiOK[0][lenient], 1);
    // Trained on the same image, it matches.
    run(plain());
    EXPECT_EQ(view->roiOK[0][strict], 1);
    EXPECT_GE(view->roiValue[0][strict], 90);
}

TEST_F(Run, DistanceComparesWithTheReferencePoints)
{
    auto edges = [&](std::vector<int> xs) {
        cv::Mat image = plain(50);
        bool bright = false;
        int from = 0;
        xs.push_back(kW);
        for (int x : xs) {
            if (bright)
                image(cv::Rect(from, 0, x - from, kH)).setTo(200);
            bright = !bright;
            from = x;
        }
        return image;
    };
    const struct { const char *name; std::vector<int> reference; std::vector<int> current; int p3; bool ok; int value; } rows[] = {
        {"oneAndOneClose", {80}, {82}, 5, true, 82},
        {"oneAndOneFar", {80}, {90}, 5, false, 90},
        {"oneReferenceTwoCurrent", {80}, {60, 90}, 50, false, 30},
        {"twoAndTwo", {60, 90}, {62, 92}, 50, true, 30},
        {"twoAndTwoTooFarApart", {60, 90}, {50, 100}, 40, false, 50},
        {"noEdge", {60, 90}, {}, 50, false, 0},
    };
    for (const auto &r : rows) {
        SCOPED_TRACE(r.name);
        view->singleton.roiNum[0] = 0;
        const int i = addRegion(FuncDistance, QRect(40, 30, 80, 60), 0, 35, r.p3);
        view->tempImage[0][0] = edges(r.reference);
        run(edges(r.current));
        EXPECT_EQ(view->roiCurPoint[0][i][0], std::min<int>(int(r.current.size()), 2));
        EXPECT_NEAR(view->roiValue[0][i], r.value, 1);
        EXPECT_EQ(view->roiOK[0][i], r.ok);
    }
}

TEST_F(Run, DirectionFindsPartsTurnedTheWrongWay)
{
    // An L-shaped part: heavy on the left when correct (switch 0), on the right when reversed.
    auto part = [](cv::Mat &image, int x, bool reversed) {
        cv::Rect bar(x, 40, 40, 10), foot(reversed ? x + 30 : x, 20, 10, 30);
        image(bar).setTo(255);
        image(foot).setTo(255);
    };
    cv::Mat image = plain(0);
    part(image, 5, false);
    part(image, 60, true);
    part(image, 110, false);
    const int i = addRegion(FuncDirection, QRect(0, 0, 160, 120), 0, 100, 5000);
    run(image);
    EXPECT_EQ(view->roiValue[0][i], 1);
    EXPECT_EQ(view->roiOK[0][i], 0);
    ASSERT_EQ(view->roiBlobNum[0][i], 1);
    const int *b = view->roiBlobRect[0][i][0];
    EXPECT_EQ(std::vector<int>(b, b + 4), (std::vector<int>{60, 20, 100, 50}));
    view->singleton.roiPara1[0][i] = 1;  // the other way round: the two left-heavy ones
    run(image);
    EXPECT_EQ(view->roiValue[0][i], 2);
}

TEST_F(Run, ManyBlobsKeep99RectanglesAndTheWholeArea)
{
    const int i = addRegion(FuncWhiteArea, QRect(0, 0, 160, 120), 0, 200, 100000);
    cv::Mat image = plain(0);
    for (int k = 0; k < 120; ++k)
        image(cv::Rect(2 + (k % 15) * 10, 2 + (k / 15) * 12, 3, 2)).setTo(255);
    run(image);
    EXPECT_EQ(view->roiBlobNum[0][i], 99);
    EXPECT_EQ(view->roiValue[0][i], 120 * 6);
    const int *last = view->roiBlobRect[0][i][98];
    EXPECT_EQ(std::vector<int>(last, last + 4), (std::vector<int>{2 + 8 * 10, 2 + 6 * 12, 2 + 8 * 10 + 3, 2 + 6 * 12 + 2}));
}

TEST_F(Run, RegionsThatCannotBeJudgedMakeTheImageNg)
{
    const int good = addRegion(FuncWhiteArea, QRect(0, 0, 20, 20), 0, 200, 10);
    const int broken = addRegion(FuncWhiteArea, QRect(30, 30, 20, 20), 0, 200, 10);
    const int ignore = addRegion(FuncIgnore, QRect(60, 60, 20, 20), 0, 0, 0);
    recong->VarTrain(0);
    view->singleton.roiType[0][broken] = 3;  // no shape: no mask
    view->roiMask[0][broken] = cv::Mat();
    view->workImage.setTo(0);
    recong->Run(0);
    EXPECT_EQ(view->imageOK, 0);
    for (int i : {good, broken, ignore})
        EXPECT_EQ(view->roiOK[0][i], 1) << i;
    EXPECT_EQ(records, QStringList{"REG RUN ERROR = 0, 0, -1"});
}

TEST_F(Run, VerdictsAreReportedOnlyWhenAsked)
{
    const int i = addRegion(FuncWhiteArea, QRect(0, 0, 20, 20), 0, 200, 10);
    g_listParamROI.clear();
    gpWPara->net_report = 1;
    CammerRecong::reportRegions = false;
    run(plain(255));
    EXPECT_TRUE(g_listParamROI.empty());
    CammerRecong::reportRegions = true;
    run(plain(255));
    CammerRecong::reportRegions = false;
    ASSERT_EQ(g_listParamROI.size(), 1u);
    const param_roi &r = g_listParamROI[0];
    EXPECT_EQ(std::vector<int>({r.camera, r.detection, r.region, r.function, r.value, r.lower, r.upper, r.imageState}),
              (std::vector<int>{0, 0, i, FuncWhiteArea, 400, 0, 10, 0}));
    g_listParamROI.clear();
}

TEST_F(Run, PreviewJudgesOneRegionAndDrawsItsRectangles)
{
    const int i = addRegion(FuncWhiteArea, QRect(0, 0, 100, 100), 0, 200, 10);
    cv::Mat image = plain(0);
    image(cv::Rect(20, 20, 10, 10)).setTo(255);
    image.copyTo(view->workImage);
    view->imageOK = 1;
    recong->RunTest(0, i);
    EXPECT_EQ(view->roiOK[0][i], 0);
    EXPECT_EQ(view->imageOK, 1);
    EXPECT_EQ(view->displayImage.at<uint8_t>(30, 25), 255);  // the rectangle's bottom edge
    EXPECT_EQ(view->displayImage.at<uint8_t>(32, 25), 0);
    EXPECT_EQ(view->workImage.at<uint8_t>(30, 25), 0);       // drawn on the shown copy only
}
