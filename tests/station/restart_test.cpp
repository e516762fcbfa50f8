// The station as a program of its own, ended by kill -9 or SIGTERM and started again while the
// machine holds a part in the open mould: the interlocks never leave the board until it is judged.
#include "tests/station/stationfixture.h"

#include "cycle/alarmstore.h"

#include <csignal>

namespace {

class Restart : public StationScenario
{
protected:
    void SetUp() override
    {
        StationScenario::SetUp();
        // The product is judged 0.5 s after the mould opens: long enough to end the station
        // in between. A fault shows in either stage.
        setParams([](WizardPara &p) {
            p.trigInDelay[0] = 5;
            p.trigInDelay[1] = 2;
        });
        for (int camera = 0; camera < kCameras; ++camera) {
            teachFault(camera, 0);
            teachFault(camera, 1);
        }
    }

    void showAll(bool fault)
    {
        for (int camera = 0; camera < kCameras; ++camera)
            showFrame(camera, fault, false);
        settle(300);  // the program's cameras take the new frames in
    }

    // Outputs 1 and 2, and the alarm when `alarm`, stayed on at the board all the time since `since`.
    void expectHeldSince(Clock::time_point since, bool alarm)
    {
        EXPECT_EQ(msToOutput(1, false, since), -1) << "the clamp interlock was released";
        EXPECT_EQ(msToOutput(2, false, since), -1) << "the ejector interlock was released";
        if (alarm)
            EXPECT_EQ(msToOutput(3, false, since), -1) << "the alarm output went off";
        EXPECT_TRUE(output(1) && output(2));
    }

    // The setter takes the part out and opens the door; the re-check passes and the cycle ends.
    void clearAtTheDoor()
    {
        showAll(false);
        pulse(2);
        EXPECT_TRUE(waitOutput(3, false, 3000)) << "the alarm stays";
        EXPECT_TRUE(waitOutput(2, false, 3000));
        EXPECT_TRUE(waitOutput(1, false, 3000));
        setInput(1, false);
    }
};

}  // namespace

TEST_F(Restart, PartInTheOpenMouldStaysHeldThroughKillsAndStops)
{
    const std::pair<int, const char *> ends[] = {{SIGKILL, "kill -9"}, {SIGTERM, "SIGTERM"}};
    ASSERT_NO_FATAL_FAILURE(startProcess());

    // The alarm stands on a faulty product; the station that comes up again is in it.
    showAll(true);
    setInput(1, true);
    ASSERT_TRUE(waitOutput(3, true, 3000));
    // The alarm output comes on with the first failed camera, the alarm on disk with the verdict.
    ASSERT_TRUE(waitUntil([] { return AlarmStore::Read().has_value(); }, 2000));
    EXPECT_EQ(AlarmStore::Read()->stage, 0);
    EXPECT_EQ(AlarmStore::Read()->cameras, 0x3u);
    for (const auto &[signal, name] : ends) {
        SCOPED_TRACE(name);
        const Clock::time_point since = Clock::now();
        const double ms = endProcess(signal);
        if (signal == SIGTERM)
            EXPECT_LT(ms, 1000);
        ASSERT_NO_FATAL_FAILURE(startProcess());
        settle(600);
        expectHeldSince(since, true);
        EXPECT_TRUE(output(3));
    }
    clearAtTheDoor();
    EXPECT_FALSE(AlarmStore::Read().has_value());

    // The station ends while the product's delay runs; the one that comes up judges the open mould.
    for (const auto &[signal, name] : ends) {
        SCOPED_TRACE(name);
        showAll(true);
        setInput(1, true);
        ASSERT_TRUE(waitOutput(2, true, 2000));
        settle(200);
        const Clock::time_point since = Clock::now();
        endProcess(signal);
        ASSERT_NO_FATAL_FAILURE(startProcess());
        EXPECT_TRUE(waitOutput(3, true, 3000)) << "the faulty product was not judged";
        expectHeldSince(since, false);
        clearAtTheDoor();
    }
}
