// The control port's rules on the shared words: edges, level sense, substitution, door, outputs.
#include "io/controlport.h"
#include "tests/io/iotestenv.h"

#include <vector>

namespace {

class IoControlPortTest : public IoGlobalsTest
{
protected:
    // The port is built per case, after the parameters of the case are set.
    ControlPort &port()
    {
        if (!m_port)
            m_port = std::make_unique<ControlPort>(ControlPort::Link::Detached);
        return *m_port;
    }

private:
    std::unique_ptr<ControlPort> m_port;
};

}  // namespace

TEST_F(IoControlPortTest, ConstructorPublishesTheClearWordWithTheInterlocksHeld)
{
    setOutputWord(0x1FF);
    setInputWord(0);
    para.output_level[2] = 1;  // the alarm output inverted, as in the default set-up
    EXPECT_EQ(port().outputWord(), 0x004u);
    EXPECT_EQ(outputWord(), 0x007u) << "outputs 1 and 2 held from the first publication";
    EXPECT_EQ(port().inputWord(), 0u);

    // The hold lies over the desired word until the cycle releases it, output by output.
    port().IOSetOut(1, 1);
    port().IOFlashOut();
    port().releaseHold(0);
    port().IOFlashOut();
    EXPECT_EQ(outputWord(), 0x006u);
    port().releaseHold(1);
    port().IOSetOut(1, 0);
    port().IOFlashOut();
    EXPECT_EQ(outputWord(), 0x004u);
    EXPECT_FALSE(port().isHeld(0) || port().isHeld(1));
}

TEST_F(IoControlPortTest, HoldAndStartOutputsFollowTheLevelSense)
{
    para.output_level[0] = 1;       // the clamp interlock wired inverted
    para.output_level[2] = 1;
    para.enable_mold_backup = 2;    // output 4 follows output 2
    ControlPort cp(ControlPort::Link::Detached, 1u << 2);  // an alarm stood
    EXPECT_EQ(cp.outputWord(), 0x001u) << "alarm on: its inverted bit cleared";
    EXPECT_EQ(outputWord(), 0x00Au) << "clamp held: bit cleared; ejector held with its backup";
}

TEST_F(IoControlPortTest, InputEdges)
{
    struct Row
    {
        const char *name;
        int input;
        int sense;
        std::vector<unsigned> words;  // board input word per tick
        std::vector<bool> edges;
    };
    const Row rows[] = {
        {"risingActiveHigh", 0, 0, {0x0, 0x1, 0x1, 0x0}, {false, true, false, false}},
        {"fallingActiveLow", 0, 1, {0x0, 0x1, 0x1, 0x0}, {false, false, false, true}},
        {"highAtStartIsAnEdge", 2, 0, {0x4, 0x4}, {true, false}},
        {"lowAtStartActiveLowIsNot", 2, 1, {0x0, 0x0}, {false, false}},
        {"otherInputsDoNotCount", 3, 0, {0x0, 0x7, 0x0, 0x8}, {false, false, false, true}},
        {"input8", 7, 0, {0x80, 0x0, 0x80}, {true, false, true}},
        {"toggleEveryTick", 4, 0, {0x10, 0x0, 0x10, 0x0}, {true, false, true, false}},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        ControlPort cp(ControlPort::Link::Detached);
        para.input_level[row.input] = row.sense;
        std::vector<bool> edges;
        for (unsigned word : row.words) {
            setInputWord(word);
            edges.push_back(cp.IOInTrigger(row.input));
        }
        EXPECT_EQ(edges, row.edges);
        para.input_level[row.input] = 0;
    }
}

TEST_F(IoControlPortTest, InputStateWithSenseAndSubstitution)
{
    struct Row
    {
        const char *name;
        int substitute;  // enable_output_thimble_pulse
        int senseOfInput1;
        unsigned word;
        std::vector<bool> active;  // IOState(0, 0..3)
    };
    const Row rows[] = {
        {"none", 0, 0, 0x8, {false, false, false, true}},
        {"input4ForInput1", 1, 0, 0x8, {true, false, false, true}},
        {"input4ForInput2", 2, 0, 0x8, {false, true, false, true}},
        {"input4ForInput3", 3, 0, 0x8, {false, false, true, true}},
        {"outOfRangeIgnored", 4, 0, 0x8, {false, false, false, true}},
        {"negativeIgnored", -1, 0, 0x8, {false, false, false, true}},
        // The substitute replaces the input's own level, also when that level was on.
        {"substituteLowMasksInput", 1, 0, 0x1, {false, false, false, false}},
        {"activeLowInput1", 0, 1, 0x0, {true, false, false, false}},
        {"activeLowWithSubstitute", 1, 1, 0x8, {false, false, false, true}},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        ControlPort cp(ControlPort::Link::Detached);
        para.enable_output_thimble_pulse = row.substitute;
        para.input_level[0] = row.senseOfInput1;
        setInputWord(row.word);
        cp.IOInTrigger(0);
        std::vector<bool> active;
        for (int i = 0; i < 4; ++i)
            active.push_back(cp.IOState(0, i));
        EXPECT_EQ(active, row.active);
    }
}

TEST_F(IoControlPortTest, SubstitutedInputMakesTheEdge)
{
    para.enable_output_thimble_pulse = 2;
    ControlPort cp(ControlPort::Link::Detached);
    std::vector<bool> edges;
    for (unsigned word : {0x0u, 0x8u, 0xAu, 0x2u})
        setInputWord(word), edges.push_back(cp.IOInTrigger(1));
    // Input 2 follows input 4 and ignores its own wire.
    EXPECT_EQ(edges, (std::vector<bool>{false, true, false, false}));
}

TEST_F(IoControlPortTest, OutputsWithSenseAndBackup)
{
    enum Op { Set, Reset, SetAll, ResetAll };
    struct Step
    {
        Op op;
        int output;
        int on;
    };
    struct Row
    {
        const char *name;
        std::vector<int> inverted;  // outputs (0-based) with a non-zero output_level
        int backup;                 // enable_mold_backup
        std::vector<Step> steps;
        uint32_t word;
    };
    const Row rows[] = {
        {"plainOn", {}, 0, {{Set, 0, 1}, {Set, 1, 1}}, 0x003},
        {"plainOnOff", {}, 0, {{Set, 0, 1}, {Set, 0, 0}}, 0x000},
        {"anyNonZeroIsOn", {}, 0, {{Set, 4, 7}}, 0x010},
        {"invertedAlarmOnClearsBit", {2}, 0, {{ResetAll, 0, 0}, {Set, 2, 1}}, 0x000},
        {"invertedAlarmAfterReset", {2}, 0, {{ResetAll, 0, 0}}, 0x004},
        {"setAllWithInvertedAlarm", {2}, 0, {{SetAll, 0, 0}}, 0x1FB},
        {"resetAllPlain", {}, 0, {{SetAll, 0, 0}, {ResetAll, 0, 0}}, 0x000},
        {"backupFollowsOutput1", {}, 1, {{Set, 0, 1}}, 0x009},
        {"backupFollowsOutput1Off", {}, 1, {{Set, 0, 1}, {Set, 0, 0}}, 0x000},
        {"backupFollowsOutput9", {}, 9, {{Set, 8, 1}}, 0x108},
        {"backupTakesTheSenseOfItsSource", {1}, 2, {{Set, 1, 1}}, 0x000},
        {"backupOfOtherOutputUntouched", {}, 1, {{Set, 1, 1}}, 0x002},
        {"backupZeroIsOff", {}, 0, {{Set, 0, 1}}, 0x001},
        {"outputOutOfRangeIgnored", {}, 0, {{Set, 9, 1}, {Set, -1, 1}, {Set, 31, 1}}, 0x000},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        WizardPara fresh;
        para = fresh;
        for (int k : row.inverted)
            para.output_level[k] = 1;
        para.enable_mold_backup = row.backup;
        const int32_t neighbour = para.semi_auto;
        ControlPort cp(ControlPort::Link::Detached);
        cp.IOSetAllOut();  // a known start away from the reset word
        cp.IOResetAllOut();
        for (const Step &s : row.steps) {
            switch (s.op) {
            case Set: cp.IOSetOut(s.output, s.on); break;
            case Reset: cp.IOSetOut(s.output, 0); break;
            case SetAll: cp.IOSetAllOut(); break;
            case ResetAll: cp.IOResetAllOut(); break;
            }
        }
        EXPECT_EQ(cp.outputWord(), row.word);
        for (int k = 0; k < 9; ++k)
            EXPECT_EQ(cp.IOState(1, k), bool((row.word >> k) & 1u)) << "output " << k;
        EXPECT_EQ(para.semi_auto, neighbour);
    }
}

TEST_F(IoControlPortTest, OnlyFlashOutPublishes)
{
    ControlPort &cp = port();
    cp.IOSetOut(2, 1);
    cp.IOSetOut(3, 1);
    EXPECT_EQ(outputWord(), 0x3u) << "only the held interlocks";
    cp.IOFlashOut();
    EXPECT_EQ(outputWord(), 0xFu);
}

TEST_F(IoControlPortTest, SafetyDoorOpening)
{
    struct Row
    {
        const char *name;
        int mode;
        int doorSense;
        int alarmSense;
        unsigned closed, open;  // board words with the door closed and open
        bool opens;
    };
    const Row rows[] = {
        {"mode0ActiveHigh", 0, 0, 0, 0x2, 0x0, true},
        {"mode0ActiveLow", 0, 1, 0, 0x0, 0x2, true},
        {"mode3", 3, 0, 0, 0x2, 0x0, true},
        {"mode4", 4, 0, 0, 0x2, 0x0, true},
        {"mode5", 5, 0, 0, 0x2, 0x0, true},
        {"mode1NeverWatches", 1, 0, 0, 0x2, 0x0, false},
        {"mode2NeverWatches", 2, 0, 0, 0x2, 0x0, false},
        {"invertedAlarmDropsToo", 0, 0, 1, 0x2, 0x0, true},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        WizardPara fresh;
        para = fresh;
        para.work_mode = row.mode;
        para.input_level[1] = row.doorSense;
        para.output_level[2] = row.alarmSense;
        gisSafeDoorOpen = false;
        ControlPort cp(ControlPort::Link::Detached);

        setInputWord(row.closed);
        cp.IOInTrigger(0);
        cp.IOInTrigger(1);
        EXPECT_FALSE(gisSafeDoorOpen);
        cp.IOSetOut(0, 1);  // clamp prohibited
        cp.IOSetOut(2, 1);  // alarm raised
        cp.IOFlashOut();
        const uint32_t raised = cp.outputWord();

        setInputWord(row.open);
        cp.IOInTrigger(0);
        EXPECT_EQ(bool(gisSafeDoorOpen), row.opens);
        if (row.opens) {
            // The alarm is dropped (whatever its sense) and published at once; the clamp stays.
            const bool alarmOn = cp.IOState(1, 2) != (row.alarmSense != 0);
            EXPECT_FALSE(alarmOn);
            EXPECT_TRUE(cp.IOState(1, 0));
            EXPECT_EQ(outputWord(), cp.publishedWord());
        } else {
            EXPECT_EQ(cp.outputWord(), raised);
        }

        // The call for input 2 of the same tick sees the same opening; later calls do not.
        gisSafeDoorOpen = false;
        cp.IOInTrigger(1);
        EXPECT_EQ(bool(gisSafeDoorOpen), row.opens);
        gisSafeDoorOpen = false;
        cp.IOInTrigger(0);
        cp.IOInTrigger(1);
        EXPECT_FALSE(gisSafeDoorOpen);
    }
}

TEST_F(IoControlPortTest, DoorOpeningWithoutAlarmLeavesOutputsAlone)
{
    ControlPort &cp = port();
    cp.releaseHold(0);
    setInputWord(0x2);
    cp.IOInTrigger(1);
    cp.IOSetOut(1, 1);
    setInputWord(0x0);
    cp.IOInTrigger(1);
    EXPECT_TRUE(gisSafeDoorOpen);
    EXPECT_EQ(cp.outputWord(), 0x2u);
    EXPECT_EQ(outputWord(), 0x2u);  // published by the door watch
}

TEST_F(IoControlPortTest, IndicesOutsideTheWordsAreRefused)
{
    ControlPort &cp = port();
    setInputWord(0xFFFF);
    EXPECT_FALSE(cp.IOInTrigger(-1));
    EXPECT_FALSE(cp.IOInTrigger(16));
    EXPECT_FALSE(cp.IOState(0, -1));
    EXPECT_FALSE(cp.IOState(1, 32));
    // Input 9 has no sense word and is active high.
    para.input_level[7] = 1;
    EXPECT_TRUE(cp.IOInTrigger(8));
    EXPECT_TRUE(cp.IOState(0, 8));
}

TEST_F(IoControlPortTest, WithoutAParameterRecordEverythingIsActiveHigh)
{
    gpWPara = nullptr;
    ControlPort cp(ControlPort::Link::Detached);
    setInputWord(0x1);
    EXPECT_TRUE(cp.IOInTrigger(0));
    cp.IOSetOut(2, 1);
    EXPECT_EQ(cp.outputWord(), 0x4u);
}
