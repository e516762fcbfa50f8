// The IO loop against a scripted port: inputs, output re-send, link loss, reading schedule.
#include "io/iothread.h"
#include "log/eventrecord.h"
#include "tests/io/iotestenv.h"

#include <QStringList>

#include <deque>
#include <utility>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;
using Sent = std::pair<int, unsigned>;

// Hands out one scripted chunk per read and records what the loop sends.
class ScriptedPort : public BoardPort
{
public:
    std::deque<Bytes> reads;  // one per read(); an empty one is a read that finds nothing
    std::vector<Sent> sent;
    bool canWait = false;     // whether the loop may wait for the rest of the period

    int read(uint8_t *buffer, int max) override
    {
        if (reads.empty())
            return 0;
        Bytes chunk = std::move(reads.front());
        reads.pop_front();
        const int n = std::min<int>(max, int(chunk.size()));
        std::copy_n(chunk.begin(), n, buffer);
        return n;
    }
    bool send(int command, unsigned value) override
    {
        sent.emplace_back(command, value);
        return true;
    }
    bool waitForBytes(Clock::time_point) override { return canWait && !reads.empty(); }
};

template<size_t N>
Bytes bytesOf(const std::array<uint8_t, N> &a)
{
    return Bytes(a.begin(), a.end());
}

const Bytes kInputs5 = {0x5F, 0x02, 0x05, 0x00, 0x00, 0x00, 0x66, 0xF5};
const Sent kPoll{kCmdPoll, 0};

class IoLinkTest : public IoGlobalsTest
{
protected:
    void SetUp() override
    {
        IoGlobalsTest::SetUp();
        EventRecord::SetSink([this](const QString &text) { records << text; });
    }
    void TearDown() override
    {
        EventRecord::SetSink(nullptr);
        IoGlobalsTest::TearDown();
    }
    void iterate(int times)
    {
        for (int i = 0; i < times; ++i)
            link.iterate(port);
    }

    IoLink link;
    ScriptedPort port;
    QStringList records;
};

}  // namespace

TEST_F(IoLinkTest, PollAnswerStoresInputsAndResendsDifferingOutputs)
{
    struct Row
    {
        const char *name;
        unsigned desired;
        Bytes answer;
        unsigned inputs;
        std::vector<Sent> sent;
    };
    // A link that has not heard the board yet sends its output word before the first poll.
    const Row rows[] = {
        {"echoMatchesClearWord", 0, kInputs5, 5, {{kCmdSetOutputs, 0}, kPoll}},
        {"echoDiffers", 0x0103, kInputs5, 5, {{kCmdSetOutputs, 0x0103}, kPoll, {kCmdSetOutputs, 0x0103}}},
        {"echoMatchesWord", 0x0103, bytesOf(MakePollAnswer(0x200, 0x0103)), 0x200, {{kCmdSetOutputs, 0x0103}, kPoll}},
        {"boardDrivesMore", 0x001, bytesOf(MakePollAnswer(0, 0x3FF)), 0,
         {{kCmdSetOutputs, 0x001}, kPoll, {kCmdSetOutputs, 0x001}}},
        // The board knows ten outputs; bits beyond them cannot be echoed and must not cause a re-send.
        {"bitsBeyondTheBoard", 0x1401, bytesOf(MakePollAnswer(0, 0x001)), 0, {{kCmdSetOutputs, 0x1401}, kPoll}},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        setOutputWord(row.desired);
        port.sent.clear();
        port.reads = {row.answer};
        IoLink fresh;  // has not heard the board yet
        fresh.iterate(port);
        EXPECT_EQ(inputWord(), row.inputs);
        EXPECT_EQ(port.sent, row.sent);
    }
}

TEST_F(IoLinkTest, NewOutputsGoOutBeforeThePoll)
{
    port.reads = {bytesOf(MakePollAnswer(0, 0))};
    iterate(1);
    port.sent.clear();

    // The board takes the word: its next echo matches, nothing more is sent.
    setOutputWord(0x3);
    port.reads = {bytesOf(MakePollAnswer(0, 0x3))};
    iterate(1);
    EXPECT_EQ(port.sent, (std::vector<Sent>{{kCmdSetOutputs, 0x3}, kPoll}));

    // A board that drops the command is sent the word again after its echo, once per period.
    port.sent.clear();
    setOutputWord(0x5);
    port.reads = {bytesOf(MakePollAnswer(0, 0x3)), bytesOf(MakePollAnswer(0, 0x3))};
    iterate(2);
    EXPECT_EQ(port.sent, (std::vector<Sent>{{kCmdSetOutputs, 0x5}, kPoll, {kCmdSetOutputs, 0x5}, kPoll,
                                            {kCmdSetOutputs, 0x5}}));
}

TEST_F(IoLinkTest, SeveralAnswersInOneReadResendOnce)
{
    setOutputWord(0x3);
    Bytes two = kInputs5;
    const Bytes second = bytesOf(MakePollAnswer(1, 0));
    two.insert(two.end(), second.begin(), second.end());
    port.reads = {two};
    iterate(1);
    EXPECT_EQ(inputWord(), 1u);  // the newer answer wins
    EXPECT_EQ(port.sent, (std::vector<Sent>{{kCmdSetOutputs, 0x3}, kPoll, {kCmdSetOutputs, 0x3}}));
}

TEST_F(IoLinkTest, GarbageAndSplitFramesOverSeveralReads)
{
    port.reads = {{0x00, 0x11, 0x5F, 0x02}, {0x05, 0x00, 0x00}, {0x00, 0x66}, {0xF5, 0x5F}};
    iterate(3);
    EXPECT_EQ(inputWord(), 0u);
    iterate(1);
    EXPECT_EQ(inputWord(), 5u);
    EXPECT_EQ(link.framesAccepted(), 1u);
    EXPECT_EQ(link.scanner().pending(), 1);
}

TEST_F(IoLinkTest, AnswerIsTakenInWithinThePeriodItWasAskedIn)
{
    port.canWait = true;
    // Nothing yet, a stray reading, the poll answer in two pieces, then the next period's answer.
    const Bytes reading = bytesOf(MakeReadingAnswer(kCmdReadingsLow, 9));
    port.reads = {{}, reading, Bytes(kInputs5.begin(), kInputs5.begin() + 3),
                  Bytes(kInputs5.begin() + 3, kInputs5.end()), bytesOf(MakePollAnswer(1, 0))};
    iterate(1);
    EXPECT_EQ(inputWord(), 5u);
    EXPECT_EQ(port.reads.size(), 1u) << "the wait ends with the poll's answer";
    EXPECT_EQ(link.emptyIterations(), 0);
    iterate(1);
    EXPECT_EQ(inputWord(), 1u);
}

TEST_F(IoLinkTest, WrongCheckByteIsNotAccepted)
{
    Bytes bad = kInputs5;
    bad[6] = 0x65;
    port.reads = {bad};
    iterate(1);
    EXPECT_EQ(inputWord(), 0u);
    EXPECT_EQ(link.framesAccepted(), 0u);
}

TEST_F(IoLinkTest, SilentBoardIsLostAfterMoreThan1000EmptyPolls)
{
    iterate(1000);
    EXPECT_FALSE(gisLostCom);
    iterate(1);
    EXPECT_TRUE(gisLostCom);
    EXPECT_TRUE(records.isEmpty());
    // Every empty iteration still sends its poll (after the first output word).
    EXPECT_EQ(port.sent.size(), 1002u);

    // Garbage is no sign of life.
    port.reads = {{0x00, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88}};
    iterate(1);
    EXPECT_TRUE(gisLostCom);

    port.reads = {kInputs5};
    iterate(1);
    EXPECT_FALSE(gisLostCom);
    EXPECT_EQ(inputWord(), 5u);
    EXPECT_EQ(records, QStringList{QStringLiteral("IO通讯重新连接")});

    // Later frames of a healthy link record nothing more.
    port.reads = {kInputs5, kInputs5};
    iterate(2);
    EXPECT_EQ(records.size(), 1);
    EXPECT_EQ(link.emptyIterations(), 0);
}

TEST_F(IoLinkTest, GarbageNeitherResetsNorAdvancesTheLossCount)
{
    iterate(500);
    port.reads = {{0x5F, 0x5F, 0x5F, 0x5F, 0x5F, 0x5F, 0x5F, 0x5F, 0x5F}};
    iterate(1);
    EXPECT_EQ(link.emptyIterations(), 500);
    iterate(500);
    EXPECT_FALSE(gisLostCom);
    iterate(1);
    EXPECT_TRUE(gisLostCom);
}

TEST_F(IoLinkTest, LossCountSaturates)
{
    iterate(5000);
    EXPECT_TRUE(gisLostCom);
    EXPECT_EQ(link.emptyIterations(), IoLink::kLostAfter + 1);
}

TEST_F(IoLinkTest, ReadingScheduleFillsBothBlocks)
{
    iterate(199);
    ASSERT_EQ(port.sent.size(), 200u);  // the first output word, then polls
    EXPECT_TRUE(std::all_of(port.sent.begin() + 1, port.sent.end(), [](const Sent &s) { return s == kPoll; }));

    iterate(1);  // 200th: first block instead of a poll
    EXPECT_EQ(port.sent.back(), (Sent{kCmdReadingsLow, 0}));
    Bytes low;
    for (int i = 0; i < 8; ++i) {
        const auto f = MakeReadingAnswer(kCmdReadingsLow, -100 - i);
        low.insert(low.end(), f.begin(), f.end());
    }
    port.reads = {low};
    iterate(9);  // 201st-209th: polls
    EXPECT_EQ(port.sent.back(), kPoll);
    iterate(1);  // 210th: second block
    EXPECT_EQ(port.sent.back(), (Sent{kCmdReadingsHigh, 0}));
    Bytes high;
    for (int i = 0; i < 8; ++i) {
        const auto f = MakeReadingAnswer(kCmdReadingsHigh, 1000 + i);
        high.insert(high.end(), f.begin(), f.end());
    }
    port.reads = {high};
    iterate(1);
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(gFTemp[i], -100 - i) << "slot " << i;
        EXPECT_EQ(gFTemp[8 + i], 1000 + i) << "slot " << 8 + i;
    }
    EXPECT_EQ(port.sent.back(), kPoll);

    // The schedule repeats every 210 iterations.
    port.sent.clear();
    iterate(199);
    EXPECT_EQ(port.sent.back(), (Sent{kCmdReadingsLow, 0}));
}

TEST_F(IoLinkTest, SurplusReadingsStayInsideTheSlots)
{
    iterate(210);  // the schedule now fills from slot 8
    Bytes many;
    for (int i = 0; i < 40; ++i) {
        const auto f = MakeReadingAnswer(kCmdReadingsHigh, 7);
        many.insert(many.end(), f.begin(), f.end());
    }
    port.reads = {many};
    iterate(1);
    for (int i = 8; i < 16; ++i)
        EXPECT_EQ(gFTemp[i], 7);
    EXPECT_EQ(gFTemp[0], 0);
    EXPECT_EQ(link.readingsDropped(), 32u);
}

TEST_F(IoLinkTest, BetweenPollsOnlyAChangedOutputWordGoesOut)
{
    // Before the board has answered, the output word waits for the loop's own order.
    setOutputWord(0x003);
    IoLink fresh;
    fresh.sendChangedOutputs(port);
    EXPECT_TRUE(port.sent.empty());

    port.reads = {bytesOf(MakePollAnswer(0, 0x003))};
    link.iterate(port);
    const struct { const char *name; unsigned desired; std::vector<Sent> sent; } rows[] = {
        {"sameAsTheBoardDrives", 0x003, {}},
        {"clampReleased", 0x002, {{kCmdSetOutputs, 0x002}}},
        {"sentOnceOnly", 0x002, {}},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        port.sent.clear();
        setOutputWord(row.desired);
        link.sendChangedOutputs(port);
        EXPECT_EQ(port.sent, row.sent) << "no poll, no reading request between polls";
    }
}
