// Machine cycles through the whole station: stage delays time the interlocks at the board, a stage
// without delay answers its own edge, the input time-out, skipped cycles and the custom mode.
#include "tests/station/stationfixture.h"

#include "app/stationcameras.h"
#include "core/globals.h"
#include "ui/cammerwidget.h"
#include "ui/warnbox.h"

#include <cstdio>

using MachineCycle = StationScenario;

// Custom mode, three stages: stages 1 and 2 on source 0 (input 1, outputs 2 and 4), the last on
// source 1 (input 3, output 1); both sources of kind 0, cycles started by input 1 only.
static void customThreeStages(WizardPara &p)
{
    p.work_mode = 4;
    p.custom_stage_count = 3;
    for (int &source : p.custom_stage_source)
        source = -1;
    p.custom_stage_source[0] = 0;
    p.custom_stage_source[1] = 0;
    p.custom_stage_source[2] = 1;
    p.trigger_source_input[0] = 0;  // input 1
    p.trigger_source_input[1] = 1;  // input 3
    p.trigger_source_kind[0] = 0;
    p.trigger_source_kind[1] = 0;
    p.cycle_start_input1_only = 1;
    p.trigInDelay[0] = 1;
    p.trigInDelay[1] = 3;
    p.trigInDelay[2] = 1;
}

// Input 1 prohibits clamping and the ejector (the first cycle finds them held since start-up); the
// product stage 0.2 s later allows the ejector, the mould stage, which waits its own 0.8 s after
// the product stage's delay, allows clamping.
TEST_F(MachineCycle, StageDelaysTimeTheEjectorAndClampRelease)
{
    setParams([](WizardPara &p) {
        p.trigInDelay[0] = 2;
        p.trigInDelay[1] = 8;
    });
    ASSERT_NO_FATAL_FAILURE(start());
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        setInput(1, true);
        const auto t0 = lastInput();
        ASSERT_TRUE(waitUntil([&] { return msToOutput(1, false, t0) >= 0; }, 3000));
        if (round > 0) {
            EXPECT_MS_IN(msToOutput(1, true, t0), 0, 150);
            EXPECT_MS_IN(msToOutput(2, true, t0), 0, 150);
        }
        EXPECT_MS_IN(msToOutput(2, false, t0), 50, 350);
        EXPECT_MS_IN(msToOutput(1, false, t0), 850, 1150);
        std::printf("ejector allowed after %.0f ms, clamping after %.0f ms\n", msToOutput(2, false, t0),
                    msToOutput(1, false, t0));
        EXPECT_LT(msToOutput(3, true, t0), 0) << "no alarm on good frames";
        setInput(1, false);
        settle(100);
    }
}

// Semi-automatic: the mould stage waits for input 3 and, without delay, is judged on the first
// picture taken after the edge (within one frame interval, 83 ms at the factory 12 frames a second).
// Input 3 re-checks a mould alarm, never a product alarm; the door clears that.
TEST_F(MachineCycle, SemiAutoMouldStageOnInput3)
{
    setParams([](WizardPara &p) {
        p.semi_auto = 1;
        p.trigInDelay[0] = 1;
        p.trigInDelay[1] = 0;
    });
    teachFault(0, 0);
    teachFault(0, 1);
    ASSERT_NO_FATAL_FAILURE(start());

    // A good cycle: clamping stays prohibited until input 3, then is allowed at once.
    setInput(1, true);
    const auto t1 = lastInput();
    ASSERT_TRUE(waitUntil([&] { return msToOutput(2, false, t1) >= 0; }, 2000));
    settle(150);
    EXPECT_TRUE(output(1)) << "the mould stage waits for input 3";
    setInput(3, true);
    const auto t3 = lastInput();
    ASSERT_TRUE(waitUntil([&] { return msToOutput(1, false, t3) >= 0; }, 1000));
    EXPECT_MS_IN(msToOutput(1, false, t3), 0, 180);
    std::printf("input 3 to clamping allowed: %.1f ms\n", msToOutput(1, false, t3));
    setInput(1, false);
    setInput(3, false);
    settle(50);

    // A mould fault: the alarm output follows input 3 as quickly.
    setInput(1, true);
    const auto t4 = lastInput();
    ASSERT_TRUE(waitUntil([&] { return msToOutput(2, false, t4) >= 0; }, 2000));
    showFrame(0, true);
    setInput(3, true);
    const auto t5 = lastInput();
    ASSERT_TRUE(waitOutput(3, true, 1000));
    EXPECT_MS_IN(msToOutput(3, true, t5), 0, 180);
    EXPECT_EQ(cycle().alarmState, InspectionCycle::AlarmRaised);
    EXPECT_TRUE(output(1));
    setInput(1, false);
    setInput(3, false);
    settle(50);
    // Input 3 with the fault still there: the re-check fails and the alarm stays.
    pulse(3);
    settle(200);
    EXPECT_EQ(cycle().alarmState, InspectionCycle::AlarmRaised);
    EXPECT_TRUE(output(1));
    EXPECT_TRUE(output(3));
    // The mould emptied: input 3 re-checks, passes and ends the alarm.
    showFrame(0, false);
    pulse(3);
    ASSERT_TRUE(waitUntil([&] { return cycle().alarmState != InspectionCycle::AlarmRaised; }, 1000));
    settle(100);
    EXPECT_TRUE(waitOutput(1, false, 500));
    EXPECT_TRUE(waitOutput(3, false, 500));

    // A product fault: input 3 does not re-check it, the door does.
    showFrame(0, true);
    setInput(1, true);
    ASSERT_TRUE(waitUntil([&] { return cycle().alarmState == InspectionCycle::AlarmRaised; }, 2000));
    EXPECT_TRUE(output(2)) << "the ejector stays prohibited";
    EXPECT_TRUE(waitOutput(3, true, 500));
    setInput(1, false);
    showFrame(0, false);
    pulse(3);
    settle(200);
    EXPECT_EQ(cycle().alarmState, InspectionCycle::AlarmRaised);
    EXPECT_TRUE(output(3));
    pulse(2);
    ASSERT_TRUE(waitUntil([&] { return cycle().alarmState != InspectionCycle::AlarmRaised; }, 1000));
    settle(100);
    EXPECT_TRUE(waitOutput(3, false, 500));
    EXPECT_TRUE(waitOutput(2, false, 500)) << "the product passed: the ejector is allowed";

    // Another product fault cleared at the door: clamping waits for the mould stage at input 3
    // (the ejector has not moved in this cycle), and the camera views say so until it passed.
    window().show();
    showFrame(0, true);
    setInput(1, true);
    ASSERT_TRUE(waitUntil([&] { return cycle().alarmState == InspectionCycle::AlarmRaised; }, 2000));
    setInput(1, false);
    showFrame(0, false);
    pulse(2);
    ASSERT_TRUE(waitUntil([&] { return cycle().alarmState != InspectionCycle::AlarmRaised; }, 1000));
    const QString waiting = LanStr(1113).arg(3);
    auto viewSays = [&] {
        for (const ViewStatusLine &line : window().cameras()->view(0)->paintedStatus())
            if (line.text == waiting)
                return true;
        return false;
    };
    ASSERT_TRUE(waitUntil(viewSays, 1000));
    EXPECT_TRUE(output(1));
    if (const QString dir = qEnvironmentVariable("MOULD_SCREENSHOTS"); !dir.isEmpty())
        window().grab().save(dir + QStringLiteral("/clamp-waits-for-input-3.png"));
    pulse(3);
    EXPECT_TRUE(waitOutput(1, false, 1000));
    EXPECT_TRUE(waitUntil([&] { return !viewSays(); }, 1000));
}

// No cycle start within the time-out: clamping prohibited and the warning shown until the next
// trigger hides it.
TEST_F(MachineCycle, NoInputWithinTimeOutProhibitsClampingUntilTheNextTrigger)
{
    setParams([](WizardPara &p) { p.input_timeout_len = 1; });
    ASSERT_NO_FATAL_FAILURE(start());
    setInput(1, true);
    const auto t0 = lastInput();
    ASSERT_TRUE(waitUntil([&] { return msToOutput(1, false, t0) >= 0; }, 2000));
    setInput(1, false);
    ASSERT_TRUE(waitOutput(1, true, 2000));
    // The time-out runs from the cycle start (whose interlocks were held since start-up).
    EXPECT_MS_IN(msToOutput(1, true, t0, pulsesOf(1, t0)), 950, 1200);
    EXPECT_TRUE(gpWarnBox->isVisible());
    EXPECT_EQ(gpWarnBox->text(), LanStr(335));
    EXPECT_TRUE(records().contains(LanStr(335)));

    setInput(1, true);
    ASSERT_TRUE(waitUntil([] { return !gpWarnBox->isVisible(); }, 1000)) << "the next trigger hides the warning";
    const auto t1 = lastInput();
    ASSERT_TRUE(waitUntil([&] { return msToOutput(1, false, t1) >= 0; }, 2000)) << "and its cycle runs";
}

// Skipping three cycles: three starts pass without interlocks and are recorded one by one; the
// fourth is detected again.
TEST_F(MachineCycle, SkipDetectionSkipsExactlyThreeCycles)
{
    setParams([](WizardPara &p) {
        p.offer_skip_detect = 1;
        p.skip_cycles = 3;
    });
    ASSERT_NO_FATAL_FAILURE(start());
    chooseAnswer = QDialog::Accepted;
    cycle().SlotStartSkipDetect();
    ASSERT_TRUE(cycle().skipActive);
    settle(50);
    const auto skipped = IoBoardSim::Clock::now();
    for (int k = 1; k <= 3; ++k) {
        setInput(1, true);
        settle(200);
        setInput(1, false);
        settle(50);
    }
    EXPECT_EQ(pulsesOf(1, skipped), 0);
    EXPECT_EQ(pulsesOf(2, skipped), 0);
    EXPECT_FALSE(cycle().skipActive);
    const QStringList rows = records();
    for (int k = 1; k <= 4; ++k)
        EXPECT_EQ(rows.contains(LanStr(577).arg(k)), k <= 3) << k;

    // Nothing was judged yet: the interlocks are still held since start-up, and the fourth start's
    // verdicts release them.
    EXPECT_TRUE(output(1) && output(2));
    setInput(1, true);
    const auto t0 = lastInput();
    ASSERT_TRUE(waitUntil([&] { return msToOutput(1, false, t0) >= 0; }, 2000)) << "the fourth start is detected";
    EXPECT_GE(msToOutput(2, false, t0), 0);
}

// Custom mode, three stages: two on input 1 (outputs 2 and 4), the last on input 3 (output 1).
// Input 1 switches on the outputs of all later stages; each stage's pass switches its own off. The
// second stage on input 1 follows the first, after its own delay.
TEST_F(MachineCycle, CustomModeThreeStagesOnTwoInputs)
{
    setParams(customThreeStages);
    teachFault(1, 1);
    ASSERT_NO_FATAL_FAILURE(start());
    ASSERT_EQ(gDNum, 3);

    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        setInput(1, true);
        const auto t0 = lastInput();
        ASSERT_TRUE(waitUntil([&] { return msToOutput(4, false, t0) >= 0; }, 2000));
        if (round > 0) {  // the first cycle finds outputs 1 and 2 held since start-up
            EXPECT_MS_IN(msToOutput(1, true, t0), 0, 150);
            EXPECT_MS_IN(msToOutput(2, true, t0), 0, 150);
        }
        EXPECT_MS_IN(msToOutput(4, true, t0), 0, 150);
        EXPECT_MS_IN(msToOutput(2, false, t0), 80, 250);
        EXPECT_MS_IN(msToOutput(4, false, t0), 340, 560);
        settle(150);
        EXPECT_TRUE(output(1)) << "the last stage waits for input 3";
        setInput(3, true);
        const auto t3 = lastInput();
        ASSERT_TRUE(waitUntil([&] { return msToOutput(1, false, t3) >= 0; }, 2000));
        EXPECT_MS_IN(msToOutput(1, false, t3), 80, 250);
        EXPECT_LT(msToOutput(3, true, t0), 0);
        setInput(1, false);
        setInput(3, false);
        settle(100);
    }

    // A fault on the second stage: its output and the last stage's stay on, the alarm goes on.
    showFrame(1, true);
    setInput(1, true);
    ASSERT_TRUE(waitUntil([&] { return cycle().alarmState == InspectionCycle::AlarmRaised; }, 2000));
    settle(50);
    EXPECT_TRUE(waitOutput(3, true, 500));
    EXPECT_TRUE(output(4));
    EXPECT_TRUE(output(1));
    EXPECT_FALSE(output(2));
}

// Kinds 1 and 3 of input 1's source switch on the outputs of that source's stages only, not the
// last stage's; with kind 3 a pass allows the output only for the clamp pulse. Each station comes
// up with outputs 1 and 2 held until their stages have judged.
TEST_F(MachineCycle, CustomModeSourceKindChoosesTheOutputs)
{
    for (int kind : {1, 3}) {
        SCOPED_TRACE(kind);
        shutDown();
        setParams([kind](WizardPara &p) {
            customThreeStages(p);
            p.trigger_source_kind[0] = kind;
            p.mold_pulse = 2;
        });
        ASSERT_NO_FATAL_FAILURE(start());
        setInput(1, true);
        const auto t0 = lastInput();
        ASSERT_TRUE(waitUntil([&] { return msToOutput(4, false, t0) >= 0; }, 2000));
        settle(350);
        EXPECT_MS_IN(msToOutput(4, true, t0), 0, 150);
        if (kind == 3) {
            EXPECT_MS_IN(msToOutput(2, true, t0), 250, 450);
            EXPECT_MS_IN(msToOutput(4, true, t0, 2), 550, 800);
        } else {
            EXPECT_FALSE(output(2));
            EXPECT_FALSE(output(4));
        }
        setInput(3, true);
        const auto t3 = lastInput();
        ASSERT_TRUE(waitUntil([&] { return msToOutput(1, false, t3) >= 0; }, 2000));
        setInput(1, false);
        setInput(3, false);

        // The next cycle: input 1's kind leaves the last stage's output to its own source.
        settle(100);
        setInput(1, true);
        const auto t1 = lastInput();
        ASSERT_TRUE(waitUntil([&] { return msToOutput(4, false, t1) >= 0; }, 2000));
        EXPECT_LT(msToOutput(1, true, t1), 0) << "the last stage's output belongs to the other source";
        setInput(3, true);
        const auto t4 = lastInput();
        ASSERT_TRUE(waitUntil([&] { return msToOutput(1, false, t4) >= 0; }, 2000));
        EXPECT_MS_IN(msToOutput(1, true, t4), 0, 150);
        setInput(1, false);
        setInput(3, false);
    }
}
