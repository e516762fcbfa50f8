// Randomised receive scan: arbitrary and near-valid bytes in arbitrary pieces, fixed seeds.
#include "io/iothread.h"
#include "tests/io/iotestenv.h"

#include <deque>
#include <random>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

// A byte stream of board frames, near-frames (one byte changed) and noise.
class StreamMaker
{
public:
    explicit StreamMaker(uint32_t seed) : m_random(seed) {}

    Bytes piece()
    {
        switch (m_random() % 6) {
        case 0: {  // noise, rich in head and tail bytes
            Bytes b(1 + m_random() % 24);
            for (auto &x : b)
                x = pick({kFrameHead, kFrameTail, uint8_t(m_random())});
            return b;
        }
        case 1:
        case 2:
            return frame();
        case 3: {  // near-frame: one byte off
            Bytes f = frame();
            f[m_random() % f.size()] ^= uint8_t(1 + m_random() % 255);
            return f;
        }
        case 4: {  // truncated frame
            Bytes f = frame();
            f.resize(1 + m_random() % 7);
            return f;
        }
        default: {  // right check byte, wrong tail, or right tail, check off by one
            Bytes f = frame();
            if (m_random() % 2)
                f[7] = uint8_t(m_random() | 1) == kFrameTail ? 0x00 : uint8_t(m_random() | 1);
            else
                f[6] = uint8_t(f[6] + 1);
            return f;
        }
        }
    }

    Bytes frame()
    {
        const int command = 1 + int(m_random() % 5);
        const uint8_t d[4] = {uint8_t(m_random()), uint8_t(m_random()), uint8_t(m_random()), uint8_t(m_random())};
        const auto f = MakeBoardFrame(command, d);
        return Bytes(f.begin(), f.end());
    }

    uint32_t next() { return m_random(); }

private:
    uint8_t pick(std::initializer_list<uint8_t> options)
    {
        return *(options.begin() + m_random() % options.size());
    }
    std::mt19937 m_random;
};

bool validBoardFrame(const FrameView &f)
{
    return f.len == kBoardFrameLen && f.bytes[0] == kFrameHead && f.bytes[7] == kFrameTail
        && f.bytes[6] == calcLRC(f.bytes, 6);
}

// The same scan done in one pass over the whole stream; `consumed` is where it stopped.
std::vector<Bytes> referenceFrames(const Bytes &stream, size_t *consumed = nullptr)
{
    std::vector<Bytes> frames;
    size_t pos = 0;
    while (stream.size() - pos >= kBoardFrameLen) {
        const uint8_t *p = stream.data() + pos;
        if (p[0] == kFrameHead && p[7] == kFrameTail && p[6] == calcLRC(p, 6)) {
            frames.emplace_back(p, p + kBoardFrameLen);
            pos += kBoardFrameLen;
        } else {
            ++pos;
        }
    }
    if (consumed)
        *consumed = pos;
    return frames;
}

}  // namespace

// 200 000 random chunks of up to 1000 bytes: every accepted frame is valid, and cutting the stream
// into reads changes nothing (the scan gives the frames of one pass over the whole stream).
TEST(IoScanRandom, ChunkingNeverChangesTheFrames)
{
    StreamMaker maker(20261208);
    FrameScanner scanner(kBoardFrameLen);
    Bytes stream;
    std::vector<Bytes> found;
    Bytes pending;
    int chunks = 0;
    while (chunks < 200000) {
        while (pending.size() < 1000)
            for (uint8_t b : maker.piece())
                pending.push_back(b);
        // Reads of at most 1017 bytes always fit next to the fewer than 8 bytes kept.
        const size_t n = 1 + maker.next() % (maker.next() % 8 ? 24 : 1000);
        stream.insert(stream.end(), pending.begin(), pending.begin() + n);
        ASSERT_EQ(scanner.append(pending.data(), int(n)), int(n));
        pending.erase(pending.begin(), pending.begin() + n);
        scanner.scan([&](const FrameView &f) {
            ASSERT_TRUE(validBoardFrame(f));
            found.emplace_back(f.bytes, f.bytes + f.len);
        });
        ASSERT_LT(scanner.pending(), kBoardFrameLen);
        ++chunks;
    }
    const std::vector<Bytes> expected = referenceFrames(stream);
    EXPECT_GT(expected.size(), 10000u);
    ASSERT_EQ(found.size(), expected.size());
    EXPECT_TRUE(found == expected);
}

// Oversized reads overflow the buffer: bytes are lost, never written past it.
TEST(IoScanRandom, OversizedReadsStayInsideTheBuffer)
{
    StreamMaker maker(77);
    FrameScanner scanner(kBoardFrameLen);
    uint64_t offered = 0;
    uint64_t kept = 0;
    for (int i = 0; i < 20000; ++i) {
        Bytes chunk;
        const size_t want = maker.next() % 3000;
        while (chunk.size() < want)
            for (uint8_t b : maker.piece())
                chunk.push_back(b);
        offered += chunk.size();
        kept += scanner.append(chunk.data(), int(chunk.size()));
        if (maker.next() % 4)  // sometimes two reads before a scan
            scanner.scan([&](const FrameView &f) { ASSERT_TRUE(validBoardFrame(f)); });
        ASSERT_LE(scanner.pending(), FrameScanner::kBufferSize);
    }
    EXPECT_EQ(offered - kept, scanner.droppedBytes());
    EXPECT_GT(scanner.droppedBytes(), 0u);
}

// The whole IO loop on random reads: inputs only from valid poll answers, readings only into
// the 16 slots, the link never lost while bytes keep coming.
TEST(IoScanRandom, IoLoopOnRandomReads)
{
    class RandomPort : public BoardPort
    {
    public:
        StreamMaker maker{4242};
        unsigned lastValidInputs = 0;
        int read(uint8_t *buffer, int max) override
        {
            Bytes chunk;
            const size_t want = 1 + maker.next() % 64;
            while (chunk.size() < want)
                for (uint8_t b : maker.piece())
                    chunk.push_back(b);
            const int n = std::min<int>(max, int(chunk.size()));
            std::copy_n(chunk.begin(), n, buffer);
            // What the loop must have stored: the last valid poll answer in the stream so far.
            m_stream.insert(m_stream.end(), chunk.begin(), chunk.begin() + n);
            size_t consumed = 0;
            for (const Bytes &f : referenceFrames(m_stream, &consumed))
                if (f[1] == kCmdPoll)
                    lastValidInputs = f[2] | ((f[3] & 3u) << 8);
            m_stream.erase(m_stream.begin(), m_stream.begin() + consumed);
            return n;
        }
        bool send(int, unsigned) override { return true; }

    private:
        Bytes m_stream;
    };

    if (!pMutexIO)
        pMutexIO = new QMutex;
    IoLink link;
    RandomPort port;
    for (int i = 0; i < 50000; ++i) {
        link.iterate(port);
        QMutexLocker lock(pMutexIO);
        ASSERT_EQ(gDataIn, port.lastValidInputs) << "iteration " << i;
    }
    EXPECT_FALSE(gisLostCom);
    EXPECT_GT(link.framesAccepted(), 10000u);
}
