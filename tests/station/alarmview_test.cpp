// The alarm view on the whole station: it opens on the failed camera and its re-check clears the
// alarm on the board only once the mould passes.
#include "tests/station/stationfixture.h"

#include "app/stationcameras.h"
#include "ui/regions/drawroiwidget.h"
#include "ui/warnbox.h"
#include "vision/cameravision.h"

#include <opencv2/imgcodecs.hpp>

#include <QDialog>
#include <QPushButton>

using AlarmView = StationScenario;

TEST_F(AlarmView, ReCheckButtonClearsTheAlarmOnlyAfterAPass)
{
    teachFault(1, 1);
    ASSERT_NO_FATAL_FAILURE(start());
    MoJuWizard &w = window();
    w.show();
    showFrame(1, true);
    setInput(1, true);
    ASSERT_TRUE(waitUntil([&] { return cycle().alarmState == InspectionCycle::AlarmRaised; }, 3000));
    const auto raisedAt = IoBoardSim::Clock::now();
    settle(300);
    DrawROIWidget *view = w.regionEditor();
    ASSERT_TRUE(view && view->isVisible());
    EXPECT_TRUE(view->alarmView());
    EXPECT_EQ(view->camera(), 1) << "opens on the failed camera";
    EXPECT_EQ(view->detection(), 1);
    if (const QString dir = qEnvironmentVariable("MOULD_SCREENSHOTS"); !dir.isEmpty())
        w.grab().save(dir + QStringLiteral("/alarm-view.png"));
    setInput(1, false);

    // The part is still there: the re-check fails and holds everything.
    view->button(61)->click();
    settle(400);
    EXPECT_EQ(cycle().alarmState, InspectionCycle::AlarmRaised);
    EXPECT_TRUE(output(1));
    EXPECT_TRUE(output(3));
    EXPECT_EQ(cycle().releaseCode(), 3);

    // Taken out: the next re-check passes and lets the alarm and the clamp go.
    showFrame(1, false);
    const auto passAt = IoBoardSim::Clock::now();
    view->button(61)->click();
    ASSERT_TRUE(waitUntil([&] { return cycle().alarmState != InspectionCycle::AlarmRaised; }, 2000));
    EXPECT_TRUE(waitOutput(3, false, 500));
    EXPECT_TRUE(waitOutput(1, false, 500));
    const double passMs = std::chrono::duration<double, std::milli>(passAt - raisedAt).count();
    EXPECT_GE(msToOutput(3, false, raisedAt), passMs) << "the alarm output went off before the passing re-check";
    EXPECT_GE(msToOutput(1, false, raisedAt), passMs) << "the clamp was released before the passing re-check";
    settle(300);
    EXPECT_FALSE(view->alarmView());
    EXPECT_FALSE(view->isVisible()) << "the alarm view goes with the alarm";
}

// "Ignore Alarm P" on the alarming camera writes 255 into ignorepoint.bmp only at the NG pixels
// inside the NG rectangles, and the next re-check passes on the same picture.
TEST_F(AlarmView, IgnoreAlarmPointsWriteOnlyInsideTheNgRectangles)
{
    teachFault(1, 1);
    ASSERT_NO_FATAL_FAILURE(start());
    MoJuWizard &w = window();
    w.show();
    showFrame(1, true);
    setInput(1, true);
    ASSERT_TRUE(waitUntil([&] { return cycle().alarmState == InspectionCycle::AlarmRaised; }, 3000));
    settle(300);
    setInput(1, false);
    DrawROIWidget *view = w.regionEditor();
    ASSERT_TRUE(view && view->alarmView());
    const CameraVision *vision = w.cameras()->vision(1);
    ASSERT_GT(vision->roiBlobNum[1][0], 0);
    cv::Mat inside = cv::Mat::zeros(vision->alarmMap.size(), CV_8UC1);
    for (int k = 0; k < vision->roiBlobNum[1][0]; ++k) {
        const int *b = vision->roiBlobRect[1][0][k];
        inside(cv::Rect(cv::Point(b[0], b[1]), cv::Point(b[2] + 1, b[3] + 1))).setTo(255);
    }
    cv::Mat expected;
    cv::bitwise_and(vision->alarmMap, inside, expected);
    expected.setTo(255, expected);

    chooseAnswer = QDialog::Accepted;
    view->button(54)->click();
    const cv::Mat written = cv::imread((m_station.path() + QStringLiteral("/cammer22/ignorepoint.bmp")).toStdString(),
                                       cv::IMREAD_GRAYSCALE);
    ASSERT_FALSE(written.empty());
    EXPECT_GT(cv::countNonZero(written), 0);
    EXPECT_EQ(cv::countNonZero(written != expected), 0) << "set exactly at the NG pixels inside the NG rectangles";
    EXPECT_TRUE(records().contains(QStringLiteral("Camera 2 ignoring the current alarm point")));

    view->button(61)->click();
    ASSERT_TRUE(waitUntil([&] { return cycle().alarmState != InspectionCycle::AlarmRaised; }, 2000));
    EXPECT_TRUE(waitOutput(3, false, 500));
}

// "Don't Detect": the operator's way out without a check, carrying release
// code 0; recorded, the alarm output goes off.
TEST_F(AlarmView, DontDetectEndsTheAlarmWithReleaseCodeZero)
{
    teachFault(1, 1);
    ASSERT_NO_FATAL_FAILURE(start());
    window().show();
    showFrame(1, true);
    setInput(1, true);
    ASSERT_TRUE(waitUntil([&] { return cycle().alarmState == InspectionCycle::AlarmRaised; }, 3000));
    settle(300);
    setInput(1, false);
    DrawROIWidget *view = window().regionEditor();
    ASSERT_TRUE(view && view->alarmView());
    chooseAnswer = QDialog::Rejected;  // neither all cameras nor this one
    view->button(47)->click();
    settle(200);
    EXPECT_EQ(cycle().alarmState, InspectionCycle::AlarmRaised);
    EXPECT_TRUE(output(3));
    chooseAnswer = QDialog::Accepted;  // all cameras
    view->button(47)->click();
    EXPECT_EQ(cycle().alarmState, InspectionCycle::Waiting);
    EXPECT_EQ(cycle().releaseCode(), 0);
    EXPECT_TRUE(waitOutput(3, false, 500));
    EXPECT_TRUE(records().contains(QStringLiteral("All cameras do not detect this mold")));
}

// "Don't Detect" for this camera only: with both cameras failed, the first camera released leaves
// the alarm standing and the view moves on to the other failed camera; releasing it ends the alarm.
TEST_F(AlarmView, DontDetectThisCameraMovesToTheNextFailedOne)
{
    teachFault(0, 1);
    teachFault(1, 1);
    ASSERT_NO_FATAL_FAILURE(start());
    window().show();
    showFrames(true);
    setInput(1, true);
    ASSERT_TRUE(waitUntil([&] { return cycle().alarmState == InspectionCycle::AlarmRaised; }, 3000));
    settle(300);
    setInput(1, false);
    DrawROIWidget *view = window().regionEditor();
    ASSERT_TRUE(view && view->alarmView());
    const int first = view->camera();
    static QStringList asked;  // outlives the test: the answerer stays installed until tear-down
    asked.clear();
    WarnBox::setAnswerer([&](const WarnBox &box) {
        asked << box.text();
        // "not all cameras", then "yes" for this camera.
        return qobject_cast<const ChooseBox *>(&box) && asked.size() % 2 == 0 ? int(QDialog::Accepted)
                                                                               : int(QDialog::Rejected);
    });
    view->button(47)->click();
    EXPECT_EQ(cycle().alarmState, InspectionCycle::AlarmRaised);
    EXPECT_TRUE(output(3));
    EXPECT_EQ(view->camera(), 1 - first) << "the view moves to the camera still failed";
    view->button(47)->click();
    EXPECT_EQ(cycle().alarmState, InspectionCycle::Waiting);
    EXPECT_EQ(cycle().releaseCode(), 0);
    EXPECT_TRUE(waitOutput(3, false, 500));
    EXPECT_EQ(records().filter(QStringLiteral("do not detect the mold")).size(), 2);
}
