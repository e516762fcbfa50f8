// Frames of the IO board's serial protocol: check byte, frame builders and the receive scan.
#pragma once

// Header-only and free of Qt, so the board simulator and the fuzz test use the very same code.

#include <array>
#include <cstdint>
#include <cstring>

// Every frame starts with 0x5F and ends with 0xF5; the byte before the tail is the check byte,
// the sum of all bytes before it modulo 256. Multi-byte values are little-endian.
inline constexpr uint8_t kFrameHead = 0x5F;
inline constexpr uint8_t kFrameTail = 0xF5;
inline constexpr int kCommandFrameLen = 6;  // station to board
inline constexpr int kBoardFrameLen = 8;    // board to station

enum BoardCommand : uint8_t {
    kCmdSetOutputs = 1,  // value = output word
    kCmdPoll = 2,        // answer: input word and the outputs the board drives
    kCmdReadingsLow = 3, // answers carry one reading each, slots 0-7
    kCmdReadingsHigh = 4 // slots 8-15
};

// The board reports 10 inputs and 10 driven outputs.
inline constexpr unsigned kBoardWordMask = 0x3FF;

// Sum of `len` bytes modulo 256; 0 for an empty or missing buffer.
inline uint8_t calcLRC(const uint8_t *data, int len)
{
    unsigned sum = 0;
    for (int i = 0; data && i < len; ++i)
        sum += data[i];
    return static_cast<uint8_t>(sum);
}

// 5F command low high check F5
inline std::array<uint8_t, kCommandFrameLen> MakeCommandFrame(int command, unsigned value)
{
    std::array<uint8_t, kCommandFrameLen> f{kFrameHead, static_cast<uint8_t>(command),
                                            static_cast<uint8_t>(value & 0xFF),
                                            static_cast<uint8_t>((value >> 8) & 0xFF), 0, kFrameTail};
    f[4] = calcLRC(f.data(), 4);
    return f;
}

// 5F command d0 d1 d2 d3 check F5
inline std::array<uint8_t, kBoardFrameLen> MakeBoardFrame(int command, const uint8_t (&d)[4])
{
    std::array<uint8_t, kBoardFrameLen> f{kFrameHead, static_cast<uint8_t>(command), d[0], d[1], d[2], d[3],
                                          0, kFrameTail};
    f[6] = calcLRC(f.data(), 6);
    return f;
}

// Answer to a poll: d0/d1 the 10-bit input word, d2/d3 the 10-bit word of driven outputs.
inline std::array<uint8_t, kBoardFrameLen> MakePollAnswer(unsigned inputs, unsigned outputs)
{
    const uint8_t d[4] = {static_cast<uint8_t>(inputs & 0xFF), static_cast<uint8_t>((inputs >> 8) & 0x03),
                          static_cast<uint8_t>(outputs & 0xFF), static_cast<uint8_t>((outputs >> 8) & 0x03)};
    return MakeBoardFrame(kCmdPoll, d);
}

// Answer carrying one signed 32-bit reading (command 3 or 4).
inline std::array<uint8_t, kBoardFrameLen> MakeReadingAnswer(int command, int32_t reading)
{
    const uint32_t u = static_cast<uint32_t>(reading);
    const uint8_t d[4] = {static_cast<uint8_t>(u), static_cast<uint8_t>(u >> 8), static_cast<uint8_t>(u >> 16),
                          static_cast<uint8_t>(u >> 24)};
    return MakeBoardFrame(command, d);
}

// A frame found by the scan; points into the scanner's buffer and is valid during the callback only.
struct FrameView
{
    const uint8_t *bytes;
    int len;

    int command() const { return bytes[1]; }
    // Station-to-board frames: the 16-bit value.
    unsigned value() const { return bytes[2] | (bytes[3] << 8); }
    // Board-to-station frames: d0 + ((d1 & 3) << 8), the inputs 1-10.
    unsigned inputWord() const { return bytes[2] | ((bytes[3] & 0x03u) << 8); }
    // d2 + ((d3 & 3) << 8), the outputs the board drives.
    unsigned driveWord() const { return bytes[4] | ((bytes[5] & 0x03u) << 8); }
    int32_t reading() const
    {
        return static_cast<int32_t>(bytes[2] | (bytes[3] << 8) | (bytes[4] << 16) | (uint32_t(bytes[5]) << 24));
    }
};

// Accumulates received bytes in a fixed buffer and cuts frames of one length out of them.
// A frame is head, len-3 bytes, check byte, tail; anything else is skipped one byte at a time,
// which resynchronises on the next head after garbage or a corrupt frame.
class FrameScanner
{
public:
    static constexpr int kBufferSize = 1024;

    explicit FrameScanner(int frameLen) : m_frameLen(frameLen) {}

    // Appends what fits into the buffer; the rest is dropped (a backlog beyond the buffer loses
    // its newest bytes). Returns the number of bytes kept.
    int append(const uint8_t *bytes, int n)
    {
        if (!bytes || n <= 0)
            return 0;
        const int room = kBufferSize - m_len;
        const int kept = n < room ? n : room;
        std::memcpy(m_buf + m_len, bytes, static_cast<size_t>(kept));
        m_len += kept;
        m_dropped += static_cast<uint64_t>(n - kept);
        return kept;
    }

    // Calls onFrame(FrameView) for each frame in order, then keeps the tail shorter than a frame
    // at the start of the buffer. Returns the number of frames found.
    template<typename OnFrame>
    int scan(OnFrame &&onFrame)
    {
        int pos = 0;
        int frames = 0;
        while (m_len - pos >= m_frameLen) {
            const uint8_t *p = m_buf + pos;
            if (isFrame(p)) {
                onFrame(FrameView{p, m_frameLen});
                ++frames;
                pos += m_frameLen;
            } else {
                ++m_skipped;
                ++pos;
            }
        }
        if (pos > 0) {
            m_len -= pos;
            std::memmove(m_buf, m_buf + pos, static_cast<size_t>(m_len));
        }
        return frames;
    }

    bool isFrame(const uint8_t *p) const
    {
        return p[0] == kFrameHead && p[m_frameLen - 1] == kFrameTail
            && p[m_frameLen - 2] == calcLRC(p, m_frameLen - 2);
    }

    int frameLen() const { return m_frameLen; }
    int pending() const { return m_len; }
    uint64_t skippedBytes() const { return m_skipped; }  // dropped while resynchronising
    uint64_t droppedBytes() const { return m_dropped; }  // lost to a full buffer
    void clear() { m_len = 0; }

private:
    int m_frameLen;
    int m_len = 0;
    uint64_t m_skipped = 0;
    uint64_t m_dropped = 0;
    uint8_t m_buf[kBufferSize];
};
