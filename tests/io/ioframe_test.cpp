// Frames of the board protocol: check byte, the bytes sent, and the receive scan.
#include "io/ioframe.h"

#include <gtest/gtest.h>

#include <vector>

using Bytes = std::vector<uint8_t>;

namespace {

template<size_t N>
Bytes bytesOf(const std::array<uint8_t, N> &a)
{
    return Bytes(a.begin(), a.end());
}

// Feeds `chunks` one after another and returns the frames found, in order.
std::vector<Bytes> scanChunks(FrameScanner &scanner, const std::vector<Bytes> &chunks)
{
    std::vector<Bytes> frames;
    for (const Bytes &chunk : chunks) {
        scanner.append(chunk.data(), int(chunk.size()));
        scanner.scan([&](const FrameView &f) { frames.emplace_back(f.bytes, f.bytes + f.len); });
    }
    return frames;
}

const Bytes kInputs5 = {0x5F, 0x02, 0x05, 0x00, 0x00, 0x00, 0x66, 0xF5};

}  // namespace

TEST(IoFrame, CheckByteIsTheSumModulo256)
{
    const uint8_t bytes[] = {0x5F, 0x02, 0x05, 0x00, 0x00, 0x00};
    EXPECT_EQ(calcLRC(bytes, 6), 0x66);
    const uint8_t wrap[] = {0xFF, 0xFF, 0x03};
    EXPECT_EQ(calcLRC(wrap, 3), 0x01);
    EXPECT_EQ(calcLRC(bytes, 0), 0);
    EXPECT_EQ(calcLRC(nullptr, 5), 0);
    EXPECT_EQ(calcLRC(bytes, -3), 0);
}

TEST(IoFrame, CommandFramesOnTheWire)
{
    EXPECT_EQ(bytesOf(MakeCommandFrame(kCmdSetOutputs, 0x0103)), (Bytes{0x5F, 0x01, 0x03, 0x01, 0x64, 0xF5}));
    EXPECT_EQ(bytesOf(MakeCommandFrame(kCmdPoll, 0)), (Bytes{0x5F, 0x02, 0x00, 0x00, 0x61, 0xF5}));
    // Only the low 16 bits of the value travel.
    EXPECT_EQ(bytesOf(MakeCommandFrame(kCmdSetOutputs, 0x10103)), bytesOf(MakeCommandFrame(kCmdSetOutputs, 0x0103)));
}

TEST(IoFrame, BoardFramesDecode)
{
    EXPECT_EQ(bytesOf(MakePollAnswer(5, 0)), kInputs5);
    // The high byte carries inputs 9 and 10 only; its other bits are ignored.
    const Bytes f = bytesOf(MakePollAnswer(0x3FF, 0x2A5));
    FrameView view{f.data(), 8};
    EXPECT_EQ(view.inputWord(), 0x3FFu);
    EXPECT_EQ(view.driveWord(), 0x2A5u);
    const uint8_t noisyHigh[8] = {0x5F, 0x02, 0x01, 0xFE, 0x02, 0xFD, 0, 0xF5};
    FrameView noisy{noisyHigh, 8};
    EXPECT_EQ(noisy.inputWord(), 0x201u);
    EXPECT_EQ(noisy.driveWord(), 0x102u);

    for (int32_t reading : {0, 1, -1, -123456, INT32_MAX, INT32_MIN}) {
        const Bytes r = bytesOf(MakeReadingAnswer(kCmdReadingsLow, reading));
        EXPECT_EQ((FrameView{r.data(), 8}.reading()), reading);
    }
}

// Receive scan over board frames: what arrives in which reads, and which frames come out.
TEST(IoFrame, ReceiveScan)
{
    Bytes wrongCheck = kInputs5;
    wrongCheck[6] = 0x67;
    Bytes wrongTail = kInputs5;
    wrongTail[7] = 0xF4;
    const Bytes inputs1 = bytesOf(MakePollAnswer(1, 0));
    auto cat = [](std::initializer_list<Bytes> parts) {
        Bytes all;
        for (const Bytes &p : parts)
            all.insert(all.end(), p.begin(), p.end());
        return all;
    };

    struct Row
    {
        const char *name;
        std::vector<Bytes> chunks;
        std::vector<Bytes> frames;
        int pendingAfter;
    };
    const Row rows[] = {
        {"plainFrame", {kInputs5}, {kInputs5}, 0},
        {"garbageBefore", {cat({{0x00, 0x11}, kInputs5})}, {kInputs5}, 0},
        {"wrongCheckSkipped", {wrongCheck}, {}, 7},
        {"wrongCheckThenFrame", {cat({wrongCheck, inputs1})}, {inputs1}, 0},
        {"wrongTailThenFrame", {cat({wrongTail, inputs1})}, {inputs1}, 0},
        {"splitSevenAndOne", {Bytes(kInputs5.begin(), kInputs5.begin() + 7), Bytes{0xF5}}, {kInputs5}, 0},
        {"splitByteByByte",
         [&] {
             std::vector<Bytes> c;
             for (uint8_t b : kInputs5)
                 c.push_back({b});
             return c;
         }(),
         {kInputs5},
         0},
        {"twoFramesOneRead", {cat({kInputs5, inputs1})}, {kInputs5, inputs1}, 0},
        {"spuriousHeadBeforeFrame", {cat({{0x5F}, kInputs5})}, {kInputs5}, 0},
        {"frameAndPartOfNext", {cat({kInputs5, {0x5F, 0x02}})}, {kInputs5}, 2},
        {"lessThanAFrame", {{0x5F, 0x02, 0x05}}, {}, 3},
        {"onlyGarbage", {Bytes(20, 0xAA)}, {}, 7},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        FrameScanner scanner(kBoardFrameLen);
        EXPECT_EQ(scanChunks(scanner, row.chunks), row.frames);
        EXPECT_EQ(scanner.pending(), row.pendingAfter);
    }
}

TEST(IoFrame, StationFramesScanToo)
{
    FrameScanner scanner(kCommandFrameLen);
    const Bytes set = bytesOf(MakeCommandFrame(kCmdSetOutputs, 0x0103));
    std::vector<unsigned> values;
    Bytes stream = {0x00, 0x5F};
    stream.insert(stream.end(), set.begin(), set.end());
    scanner.append(stream.data(), int(stream.size()));
    scanner.scan([&](const FrameView &f) {
        EXPECT_EQ(f.command(), kCmdSetOutputs);
        values.push_back(f.value());
    });
    EXPECT_EQ(values, std::vector<unsigned>{0x0103});
}

TEST(IoFrame, FullBufferDropsTheNewestBytes)
{
    FrameScanner scanner(kBoardFrameLen);
    const Bytes partial(kInputs5.begin(), kInputs5.begin() + 7);
    scanner.append(partial.data(), 7);
    Bytes backlog(FrameScanner::kBufferSize, 0x00);
    backlog[0] = 0xF5;  // completes the pending frame
    EXPECT_EQ(scanner.append(backlog.data(), int(backlog.size())), FrameScanner::kBufferSize - 7);
    EXPECT_EQ(scanner.droppedBytes(), 7u);
    EXPECT_EQ(scanner.append(backlog.data(), 10), 0);
    int frames = 0;
    scanner.scan([&](const FrameView &) { ++frames; });
    EXPECT_EQ(frames, 1);
    EXPECT_LT(scanner.pending(), kBoardFrameLen);
}
