// Alarms through the whole station: re-detection before the alarm, clearing and triggering at the
// safety door, repeated product failures, a silent IO board and a camera unplugged during a cycle.
#include "tests/station/stationfixture.h"

#include "core/globals.h"
#include "core/panel.h"
#include "camera/cameraglobals.h"
#include "cycle/alarmevidence.h"
#include "ui/alarmband.h"
#include "ui/indexpanel.h"
#include "ui/warnbox.h"

#include <QDir>
#include <QLabel>
#include <QPushButton>

using Alarms = StationScenario;

// A mould fault is looked at twice more (output 4 pulsed for each re-detection) before the alarm.
// The alarm holds the clamp while the part stays: input 3 does nothing without semi-automatic,
// the door re-checks and fails; once the mould is empty the door clears it.
TEST_F(Alarms, MouldFaultRedetectsTwiceThenTheDoorClearsItOnceTheMouldIsEmpty)
{
    setParams([](WizardPara &p) {
        p.front_auto_check_time = 2;
        p.redetect_delay = 2;
    });
    teachFault(1, 1);
    ASSERT_NO_FATAL_FAILURE(start());
    showFrame(1, true);
    setInput(1, true);
    const auto t0 = lastInput();
    ASSERT_TRUE(waitUntil([&] { return cycle().alarmState == InspectionCycle::AlarmRaised; }, 3000));
    EXPECT_EQ(pulsesOf(4, t0), 2);
    // The first failure at 0.3 s, two re-detections 0.2 s apart: the alarm not before 0.7 s.
    const double alarmAt = std::chrono::duration<double, std::milli>(IoBoardSim::Clock::now() - t0).count();
    EXPECT_GE(alarmAt, 650);
    EXPECT_TRUE(output(1));
    EXPECT_TRUE(output(3));
    EXPECT_EQ(records().count(QStringLiteral("Camera 2 Alarm")), 1);
    EXPECT_EQ(LampByte() & (1 << kLampOk | 1 << kLampNg), 1 << kLampNg);
    setInput(1, false);

    pulse(3);
    settle(200);
    EXPECT_EQ(cycle().alarmState, InspectionCycle::AlarmRaised) << "input 3 re-checks only in semi-automatic";
    EXPECT_EQ(records().count(QStringLiteral("Camera 2 Alarm")), 1);

    setInput(2, true);
    settle(200);
    EXPECT_EQ(cycle().alarmState, InspectionCycle::AlarmRaised);
    EXPECT_TRUE(output(1));
    EXPECT_TRUE(output(3));
    EXPECT_EQ(records().count(QStringLiteral("Camera 2 Alarm")), 2) << "the failed re-check is recorded";
    setInput(2, false);
    settle(100);
    EXPECT_TRUE(output(1)) << "clamping stays prohibited while the part is in the mould";

    showFrame(1, false);
    setInput(2, true);
    ASSERT_TRUE(waitUntil([&] { return cycle().alarmState != InspectionCycle::AlarmRaised; }, 1000));
    settle(100);
    EXPECT_TRUE(waitOutput(1, false, 500));
    EXPECT_TRUE(waitOutput(3, false, 500));
    setInput(2, false);
    settle(50);

    // The next cycle runs as usual.
    setInput(1, true);
    const auto t1 = lastInput();
    ASSERT_TRUE(waitUntil([&] { return msToOutput(1, false, t1) >= 0; }, 2000));
    EXPECT_LT(msToOutput(3, true, t1), 0);
}

// A product alarm cleared at the door: the alarm output and the ejector go off at once and the
// mould stage follows with its own delay, so the cycle ends with clamping allowed.
TEST_F(Alarms, ProductAlarmClearedAtTheDoorFinishesTheCycle)
{
    teachFault(0, 0);
    ASSERT_NO_FATAL_FAILURE(start());
    showFrame(0, true);
    setInput(1, true);
    ASSERT_TRUE(waitUntil([&] { return cycle().alarmState == InspectionCycle::AlarmRaised; }, 2000));
    EXPECT_TRUE(output(1));
    EXPECT_TRUE(output(2));
    EXPECT_TRUE(waitOutput(3, true, 500));
    setInput(1, false);
    showFrame(0, false);
    setInput(2, true);
    const auto door = lastInput();
    ASSERT_TRUE(waitUntil([&] { return msToOutput(1, false, door) >= 0; }, 2000));
    EXPECT_NE(cycle().alarmState, InspectionCycle::AlarmRaised);
    EXPECT_MS_IN(msToOutput(2, false, door), 0, 150);
    EXPECT_MS_IN(msToOutput(1, false, door), 150, 400);
    EXPECT_FALSE(output(3));
    setInput(2, false);
}

// With the door trigger on, the door opening between cycles looks into the mould at once: a
// foreign object prohibits clamping and raises the alarm without waiting for the next cycle (on the
// first picture taken after the door opened, within a frame interval of 83 ms).
TEST_F(Alarms, DoorTriggerLooksIntoTheMouldAtOnce)
{
    setParams([](WizardPara &p) { p.enable_trigger_safety = 1; });
    teachFault(1, 1);
    ASSERT_NO_FATAL_FAILURE(start());
    setInput(1, true);
    const auto t0 = lastInput();
    ASSERT_TRUE(waitUntil([&] { return msToOutput(1, false, t0) >= 0; }, 2000));
    setInput(1, false);
    showFrame(1, true);
    setInput(2, true);
    const auto door = lastInput();
    ASSERT_TRUE(waitUntil([&] { return msToOutput(1, true, door) >= 0 && msToOutput(3, true, door) >= 0; }, 1000));
    EXPECT_EQ(cycle().alarmState, InspectionCycle::AlarmRaised);
    EXPECT_MS_IN(msToOutput(1, true, door), 0, 100);
    EXPECT_MS_IN(msToOutput(3, true, door), 0, 180);
    setInput(2, false);
}

// A mould fault that is gone at the first re-detection: clamping allowed, no alarm, and the alarm
// output is not left on for the cycles that follow.
TEST_F(Alarms, FaultGoneAtTheRedetectionLeavesNoAlarmOutput)
{
    setParams([](WizardPara &p) {
        p.front_auto_check_time = 2;
        p.redetect_delay = 5;
    });
    teachFault(1, 1);
    ASSERT_NO_FATAL_FAILURE(start());
    showFrame(1, true);
    setInput(1, true);
    const auto t0 = lastInput();
    ASSERT_TRUE(waitOutput(4, true, 2000)) << "the re-detection starts";
    showFrame(1, false);
    ASSERT_TRUE(waitUntil([&] { return msToOutput(1, false, t0) >= 0; }, 2000));
    settle(100);
    EXPECT_NE(cycle().alarmState, InspectionCycle::AlarmRaised);
    EXPECT_EQ(pulsesOf(4, t0), 1);
    EXPECT_FALSE(output(3)) << "no alarm output after a passing re-detection";
}

// Three product failures in a row under the no-alarm option: clamping prohibited, the alarm
// output on and the box shown; closing it switches the alarm output off and counts from 0 again.
TEST_F(Alarms, ContinuousProductFailuresShowTheBoxAndCountAgainAfterIt)
{
    setParams([](WizardPara &p) {
        p.enable_stop_not_alarm = 1;
        p.continuous_ng_count = 3;
        p.thimble_pulse = 1;
    });
    teachFault(0, 0);
    ASSERT_NO_FATAL_FAILURE(start());
    showFrame(0, true);
    for (int k = 1; k <= 6; ++k) {
        SCOPED_TRACE(k);
        setInput(1, true);
        const auto t = lastInput();
        if (k % 3 != 0) {
            // The mould stage still runs and allows clamping.
            ASSERT_TRUE(waitUntil([&] { return msToOutput(1, false, t) >= 0; }, 2000));
            EXPECT_FALSE(gContinuousNgWarnBox->isVisible());
            EXPECT_FALSE(output(3));
        } else {
            ASSERT_TRUE(waitUntil([] { return gContinuousNgWarnBox->isVisible(); }, 2000));
            settle(400);
            EXPECT_TRUE(output(1)) << "the mould stage does not run while the box stands";
            EXPECT_TRUE(output(3));
            EXPECT_LT(msToOutput(1, false, t), 0);
            gContinuousNgWarnBox->accept();
            settle(100);
            EXPECT_FALSE(gContinuousNgWarnBox->isVisible());
            EXPECT_TRUE(waitOutput(3, false, 500));
        }
        EXPECT_NE(cycle().alarmState, InspectionCycle::AlarmRaised);
        setInput(1, false);
        settle(50);
    }
}

// Under the product pulse option (word 132) the failed region's output group names the failed
// pulse group, not its camera: a group-2 region of camera 1 fails on outputs 7 and 8.
TEST_F(Alarms, ProductPulseGroupFollowsTheFailedRegionsOutputGroup)
{
    setParams([](WizardPara &p) {
        p.no_alarm_pulse = 1;
        p.thimble_pulse = 10;
    });
    teachFault(0, 0, 1);
    ASSERT_NO_FATAL_FAILURE(start());
    showFrame(0, true);
    setInput(1, true);
    const auto t = lastInput();
    ASSERT_TRUE(waitUntil([&] { return msToOutput(7, true, t) >= 0; }, 2000)) << "group 2 failed";
    EXPECT_FALSE(output(5));
    EXPECT_TRUE(output(6)) << "group 1 passed";
    EXPECT_FALSE(output(8));
    setInput(1, false);
}

// The board stops answering: the link box comes up and cannot be dismissed while the link is
// lost; when the board answers again the box says so, can be closed, and cycles run as before.
TEST_F(Alarms, LinkLostBoxFollowsTheBoard)
{
    ASSERT_NO_FATAL_FAILURE(start());
    board().setSilent(true);
    ASSERT_TRUE(waitUntil([] { return gpLostComWarnBox->isVisible(); }, 9000));
    EXPECT_TRUE(gisLostCom);
    EXPECT_EQ(gpLostComWarnBox->text(), LanStr(589));
    EXPECT_TRUE(records().contains(QStringLiteral("IO通讯异常")));
    gpLostComWarnBox->accept();
    settle(100);
    EXPECT_TRUE(gpLostComWarnBox->isVisible()) << "closing it while the board is silent brings it back";

    board().setSilent(false);
    ASSERT_TRUE(waitUntil([] { return gpLostComWarnBox->text() == LanStr(590); }, 3000));
    EXPECT_FALSE(gisLostCom);
    gpLostComWarnBox->accept();
    settle(200);
    EXPECT_FALSE(gpLostComWarnBox->isVisible());

    EXPECT_TRUE(output(1)) << "held since start-up";
    setInput(1, true);
    const auto t0 = lastInput();
    ASSERT_TRUE(waitUntil([&] { return msToOutput(1, false, t0) >= 0; }, 2000));
}

// A camera unplugged during a cycle: the owed stage waits with clamping prohibited while the camera
// is away, and judges a picture taken after it came back.
TEST_F(Alarms, CameraUnpluggedMidCycleHoldsTheClampUntilItReturns)
{
    setParams([](WizardPara &p) {
        p.trigInDelay[0] = 3;
        p.trigInDelay[1] = 5;
    });
    ASSERT_NO_FATAL_FAILURE(start());
    setInput(1, true);
    const auto t0 = lastInput();
    ASSERT_TRUE(waitOutput(1, true, 1000));
    unplug(1);
    ASSERT_TRUE(waitUntil([] { return gisLost.load() != 0; }, 8000)) << "the loss is noticed";
    EXPECT_TRUE(gpLostCameraWarnBox->isVisible());
    settle(1500);
    EXPECT_TRUE(output(1));
    EXPECT_LT(msToOutput(1, false, t0), 0) << "clamping was never allowed while the camera was away";

    plugBack(1);
    const auto back = Clock::now();
    ASSERT_TRUE(waitUntil([] { return gisLost.load() == 0; }, 8000)) << "the camera is taken back";
    ASSERT_TRUE(waitUntil([&] { return msToOutput(1, false, t0) >= 0; }, 5000))
        << "the owed mould stage runs once the camera sends pictures again";
    EXPECT_GE(msToOutput(1, false, t0), std::chrono::duration_cast<std::chrono::milliseconds>(back - t0).count());
    EXPECT_FALSE(output(3));
}

// The record names the camera that went away.
TEST_F(Alarms, LostCameraIsNamedInTheRecord)
{
    ASSERT_NO_FATAL_FAILURE(start());
    unplug(1);
    ASSERT_TRUE(waitUntil([] { return gisLost.load() != 0; }, 8000));
    EXPECT_TRUE(records().contains(LanStr(332).arg(1).arg(2))) << records().join(QLatin1Char('|')).toStdString();
}

// An alarm over an open panel: the panel makes way, the red band names the camera, the stage and
// the next step, and offers the way out. Its stop (password, then yes) ends the alarm; the panel
// comes back over the button panel and the stop shows in amber, not red.
TEST_F(Alarms, AlarmBandHidesPanelsAndItsStopEndsTheAlarm)
{
    teachFault(1, 1);
    ASSERT_NO_FATAL_FAILURE(start());
    MoJuWizard &w = window();
    w.show();
    w.SlotHelp();
    QWidget *help = w.panel(MoJuWizard::HelpPanel);
    ASSERT_TRUE(help->isVisible());
    showFrame(1, true);
    setInput(1, true);
    ASSERT_TRUE(waitUntil([&] { return cycle().alarmState == InspectionCycle::AlarmRaised; }, 3000));
    settle(300);
    AlarmBand *band = w.alarmBand();
    EXPECT_FALSE(help->isVisible()) << "no alarm hides behind a panel";
    ASSERT_EQ(band->kind(), AlarmBand::Alarm);
    EXPECT_TRUE(band->isVisible());
    EXPECT_EQ(band->title->text(), QStringLiteral("Alarm:  Camera 2  \u2013  Mold"));
    EXPECT_EQ(band->hint->text(), QStringLiteral("Open the safety door to lift the alarm"));
    EXPECT_EQ(band->geometry().width(), w.width());
    EXPECT_GE(band->stop->height(), 90);
    if (const QString dir = qEnvironmentVariable("MOULD_SCREENSHOTS"); !dir.isEmpty())
        w.grab().save(dir + QStringLiteral("/alarm-band.png"));

    chooseAnswer = QDialog::Rejected;
    band->stop->click();
    EXPECT_EQ(cycle().alarmState, InspectionCycle::AlarmRaised) << "a no keeps the alarm";
    EXPECT_TRUE(output(1));
    chooseAnswer = QDialog::Accepted;
    band->stop->click();
    EXPECT_EQ(cycle().alarmState, InspectionCycle::Waiting);
    EXPECT_TRUE(waitOutput(3, false, 500));
    settle(300);
    EXPECT_EQ(band->kind(), AlarmBand::Stopped);
    EXPECT_EQ(band->title->text(), QStringLiteral("Stop the detection manually"));
    EXPECT_TRUE(help->isVisible()) << "the panel comes back after the alarm";
    if (const QString dir = qEnvironmentVariable("MOULD_SCREENSHOTS"); !dir.isEmpty()) {
        help->hide();
        settle(300);
        w.grab().save(dir + QStringLiteral("/stop-band.png"));
        help->show();
    }
    EXPECT_TRUE(w.indexButton()->isVisible());
    EXPECT_TRUE(help->geometry().intersects(w.indexButton()->geometry()));
    QWidget *top = w.childAt(w.indexButton()->geometry().center());
    EXPECT_TRUE(top == help || help->isAncestorOf(top)) << "the button panel stays under the open panel";
    setInput(1, false);
}

// After the capture-mode button the folder cameras send a picture only when triggered (a new
// file). With none, the product check is no verdict on the old faulty picture: a camera fault, the
// interlocks held, no alarm; the next pictures are judged and the cycle ends as usual.
TEST_F(Alarms, NoPictureAfterTheCaptureModeChangeIsACameraFaultNotAnAlarm)
{
    teachFault(0, 0);
    ASSERT_NO_FATAL_FAILURE(start());
    showFrame(0, true);
    window().SlotChangeCaptureMode();
    setInput(1, true);
    ASSERT_TRUE(waitUntil([&] { return records().contains(LanStr(1111).arg(QStringLiteral("1, 2"))); }, 3000));
    EXPECT_TRUE(output(1) && output(2) && !output(3));
    showFrames(false);  // the machine triggers the cameras
    EXPECT_TRUE(waitOutput(1, false, 2000) && waitOutput(2, false, 2000));
    EXPECT_NE(cycle().alarmState, InspectionCycle::AlarmRaised);
}

// An alarm leaves one evidence picture of the failed camera (template, judged picture and their
// difference side by side) beside its judged images; the camera that passed leaves none.
TEST_F(Alarms, AlarmLeavesAnEvidencePictureOfTheFailedCamera)
{
    teachFault(1, 1);
    ASSERT_NO_FATAL_FAILURE(start());
    showFrame(1, true);
    setInput(1, true);
    ASSERT_TRUE(waitUntil([&] { return cycle().alarmState == InspectionCycle::AlarmRaised; }, 3000));
    const QDir evidence(AlarmEvidenceDir(1, 1));
    const QStringList jpg{QStringLiteral("*.jpg")};
    ASSERT_TRUE(waitUntil([&] { return evidence.entryList(jpg, QDir::Files).size() == 1; }, 3000));
    const QImage picture(evidence.filePath(evidence.entryList(jpg, QDir::Files).first()));
    EXPECT_EQ(picture.width(), 3 * std::min(960, gImageW));
    EXPECT_GT(picture.height(), std::min(960, gImageW) * gImageH / gImageW);
    EXPECT_TRUE(QDir(AlarmEvidenceDir(0, 1)).entryList(jpg, QDir::Files).isEmpty());
    setInput(1, false);
}
