// The region editor's rules: adding within the limit, move limits in image pixels, the change rows, ignore points.
#include "tests/vision/visionfixture.h"
#include "vision/cameravision.h"
#include "vision/regionedit.h"

using namespace RegionEdit;

class RegionEditRules : public VisionFixture
{
};

TEST_F(RegionEditRules, NewRegionsTakeTheFirstEnabledFunctionAndStopAtFifty)
{
    CameraVision view(0);
    WizardPara para{};
    int index = -1;
    ASSERT_EQ(AddRect(view, 0, QRect(QPoint(10, 10), QPoint(40, 30)), para, &index), AddOutcome::Added);
    EXPECT_EQ(index, 0);
    EXPECT_EQ(view.singleton.roiFunc[0][0], FuncDefect);
    EXPECT_EQ(std::tie(view.singleton.roiPara1[0][0], view.singleton.roiPara2[0][0], view.singleton.roiPara3[0][0]),
              std::make_tuple(3, 45, 100));
    para.enable_defect_detect = 1;
    para.enable_white_area = 1;
    para.enable_distance = 1;
    ASSERT_EQ(AddCircle(view, 0, QPoint(80, 60), 20, para, &index), AddOutcome::Added);
    EXPECT_EQ(view.singleton.roiFunc[0][1], FuncWhiteArea);
    EXPECT_EQ(view.singleton.roiPara2[0][1], 200);
    EXPECT_EQ(AddPolygon(view, 0, {{10, 10}, {50, 10}}, para), AddOutcome::TooFewPoints) << "two taps make no region";
    EXPECT_EQ(view.singleton.roiNum[0], 2);
    for (int i = 2; i < kMaxRoi; ++i)
        ASSERT_EQ(AddPolygon(view, 0, {{10, 10}, {50, 10}, {30, 40}}, para), AddOutcome::Added);
    EXPECT_EQ(AddRect(view, 0, QRect(5, 5, 20, 20), para), AddOutcome::Limit) << "the 51st region";
    EXPECT_EQ(CopyAt(view, 0, 0, QPoint(60, 60)), AddOutcome::Limit);
    ASSERT_TRUE(DeleteRegion(view, 0, 0));
    EXPECT_EQ(view.singleton.roiType[0][0], ShapeCircle) << "later regions move down";
    ASSERT_EQ(CopyAt(view, 0, 0, QPoint(30, 40), &index), AddOutcome::Added) << "deleting one allows a new one";
    EXPECT_EQ(view.singleton.circle[0][index].center(), QPoint(30, 40));
    EXPECT_EQ(view.singleton.roiNum[0], kMaxRoi);
}

// Limits: 3 <= x < W - 2 and 3 <= y < H - 2 of the image (160 x 120), whatever the screen.
TEST_F(RegionEditRules, NudgeLimitsAreThoseOfTheImage)
{
    const QSize image(kW, kH);
    const struct {
        const char *name;
        QPoint point;
        int dx, dy;
        bool allowed;
    } rows[] = {
        {"leftmostAtThreeRefused", {3, 50}, -1, 0, false},
        {"leftmostAtFourAllowed", {4, 50}, -1, 0, true},
        {"topAtThreeRefused", {50, 3}, 0, -1, false},
        {"rightAtWMinus3Refused", {kW - 3, 50}, 1, 0, false},
        {"rightAtWMinus4Allowed", {kW - 4, 50}, 1, 0, true},
        {"bottomAtHMinus3Refused", {50, kH - 3}, 0, 1, false},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(MoveAllowed({row.point}, row.dx, row.dy, image), row.allowed);
    }
    CameraVision view(0);
    WizardPara para{};
    ASSERT_EQ(AddRect(view, 0, QRect(QPoint(3, 10), QPoint(40, 30)), para), AddOutcome::Added);
    ASSERT_EQ(AddRect(view, 0, QRect(QPoint(100, 10), QPoint(150, 30)), para), AddOutcome::Added);
    EXPECT_FALSE(Nudge(view, 0, 0, -1, 0, image));
    EXPECT_TRUE(Nudge(view, 0, 1, 1, 0, image));
    EXPECT_EQ(view.singleton.rect[0][1].topLeft(), QPoint(101, 10));
    EXPECT_FALSE(Nudge(view, 0, -1, -1, 0, image)) << "moving all is refused when one region would leave";
    EXPECT_TRUE(Nudge(view, 0, -1, 1, 1, image));
    EXPECT_EQ(view.singleton.rect[0][0].topLeft(), QPoint(4, 11));
    EXPECT_TRUE(ChangeSize(view, 0, 0, BottomRight, 10, image));
    EXPECT_EQ(view.singleton.rect[0][0].bottomRight(), QPoint(51, 41));
}

TEST_F(RegionEditRules, ChangeRowsNameWhatChanged)
{
    CameraVision view(0);
    WizardPara para{};
    CammerSingleton &r = view.singleton;
    AddRect(view, 0, QRect(QPoint(10, 10), QPoint(40, 30)), para);
    AddRect(view, 0, QRect(QPoint(50, 10), QPoint(80, 30)), para);
    AddCircle(view, 0, QPoint(100, 60), 10, para);
    const DetectionState before = Snapshot(r, 0);
    EXPECT_TRUE(ChangeRecords(before, Snapshot(r, 0), 0, QStringLiteral("Prod")).isEmpty()) << "nothing changed";

    r.roiPara2[0][0] = 60;  // sensitivity
    r.roiPara3[0][0] = 150; // alarm area
    Nudge(view, 0, 1, 1, 0, QSize(kW, kH));
    r.ApplyFunctionDefaults(0, 2, FuncSpot);
    AddPolygon(view, 0, {{10, 50}, {40, 50}, {25, 80}}, para);
    const QString prefix = QStringLiteral("Detection Prod of camera 1 ");
    EXPECT_EQ(ChangeRecords(before, Snapshot(r, 0), 0, QStringLiteral("Prod")),
              QStringList({prefix + QStringLiteral("Changed the rectangular  area 1, The function is Defect"
                                                   "Defect detection, Changing the sensitivity  from 45 to 60, "
                                                   "Changing the area  from 100 to 150"),
                           prefix + QStringLiteral("Changed the rectangular  area 2, The function is Defect"
                                                   ",Detection position has been modified"),
                           prefix + QStringLiteral("Changed the circle area 3, Changing the function from Defectto Spot Det"),
                           prefix + QStringLiteral("Added Polygon area 4, function is Defect Detection,the sensitivity "
                                                   "is 45,, the filter size is 3, the alarm area is 100")}));
    DeleteRegion(view, 0, 0);
    DeleteRegion(view, 0, 2);
    const QStringList rows = ChangeRecords(before, Snapshot(r, 0), 0, QStringLiteral("Prod"));
    ASSERT_EQ(rows.size(), 3) << "the regions that moved down show as changed";
    EXPECT_EQ(rows.last().toStdString(), (prefix + QStringLiteral("Deleted circle area 3, function is Defect Detection,"
                                                   "the sensitivity is 45,, the filter size is 3, the alarm area is 100"))
                                             .toStdString());

    // An output group and the cavity flags are edits too.
    const DetectionState saved = Snapshot(r, 0);
    r.roiOut[0] = 2;
    r.cavity[0][0] = 2;
    r.cavity[0][3] = 2;
    EXPECT_EQ(ChangeRecords(saved, Snapshot(r, 0), 0, QStringLiteral("Prod")),
              QStringList({prefix + QStringLiteral("Changed the rectangular  area 1, The function is Defect"
                                                   ", NG output changed from Out 1 to Out 3"),
                           prefix + QStringLiteral("Cavities checked: 1,4")}));
}

// Ignoring alarm points sets 255 only at NG pixels inside the NG rectangles of regions up to 2000.
TEST_F(RegionEditRules, IgnoreAlarmPointsStayInsideTheNgRectangles)
{
    CameraVision view(0);
    WizardPara para{};
    AddRect(view, 0, QRect(QPoint(10, 10), QPoint(60, 60)), para);
    AddRect(view, 0, QRect(QPoint(80, 10), QPoint(150, 100)), para);
    view.ignorePoint[0] = cv::Mat::zeros(kH, kW, CV_8UC1);
    view.alarmMap = cv::Mat::zeros(kH, kW, CV_8UC1);
    view.alarmMap(cv::Rect(15, 15, 20, 20)).setTo(255);  // NG pixels, partly outside the NG rectangle
    view.alarmMap(cv::Rect(90, 20, 50, 50)).setTo(255);
    view.roiOK[0][0] = 0;
    view.roiValue[0][0] = 2000;
    view.roiBlobNum[0][0] = 1;
    int *b = view.roiBlobRect[0][0][0];
    b[0] = 20, b[1] = 20, b[2] = 29, b[3] = 24;  // inclusive: 10 x 5
    view.roiOK[0][1] = 0;
    view.roiValue[0][1] = 2001;
    view.roiBlobNum[0][1] = 1;
    int *c = view.roiBlobRect[0][1][0];
    c[0] = 90, c[1] = 20, c[2] = 139, c[3] = 69;
    QList<int> refused;
    EXPECT_EQ(IgnoreAlarmPoints(view, 0, &refused), 50);
    EXPECT_EQ(refused, QList<int>({1})) << "2001 is over the limit";
    EXPECT_EQ(cv::countNonZero(view.ignorePoint[0]), 50);
    EXPECT_EQ(cv::countNonZero(view.ignorePoint[0](cv::Rect(20, 20, 10, 5))), 50);
}
