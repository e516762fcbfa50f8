// The frame buffers of one camera position and the latest-frame hand-over between the delivery
// path (camera thread or SDK callback) and the inspection cycle.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <vector>

// Expands 3-byte RGB to 4-byte pixels R, G, B, 255: the order the vision library reads colour
// images in (RGBA2Gray, RGBA2Hue) and that the view shows as an RGBA8888 image.
void RGB2RGBA(uint8_t *dst, const uint8_t *src, int width, int height);

// The software contrast of Daheng frames: contrast -50..100 around mid-grey, over `length` bytes.
void DxContrast(const uint8_t *src, uint8_t *dst, std::size_t length, int contrast);

class FrameSlot
{
public:
    // Allocates the buffers for the current image size (gImageLen, gColorLen); creates the
    // position's mutex when the start-up has not (tests).
    explicit FrameSlot(int position);
    FrameSlot(const FrameSlot &) = delete;
    FrameSlot &operator=(const FrameSlot &) = delete;

    int position() const { return m_position; }
    std::size_t frameBytes() const { return m_latest.size(); }  // gColorLen

    // Delivery: one copy of `length` bytes (at most gColorLen) into the latest-frame buffer under
    // the position's mutex, then isImageFill. A frame not yet taken is overwritten.
    void deliver(const uint8_t *frame, std::size_t length);

    // The same for a caller that already holds the position's mutex (the V4L2 step).
    void deliverLocked(const uint8_t *frame, std::size_t length);

    // Delivery by change of content (uEye image memory): copies only when the first `length` bytes
    // differ from the latest-frame buffer. True when a frame was delivered.
    bool deliverIfChanged(const uint8_t *frame, std::size_t length);

    // The cycle's take: under the mutex, when a frame is waiting, copy it to the working buffer and
    // clear the flag. True when a new frame was taken.
    bool take();

    // Drops a frame that has not been taken (trigger change).
    void dropPending();

    // Buffers: the working image the cycle judges, the conversion buffer (gImageLen x 4) and the raw
    // buffer for SDK image processing. Owned here for the position's life. Most cameras deliver
    // frames as the station uses them, so the conversion and raw buffers are made on their first
    // use, by the delivery path (the only one that touches them): once, never per frame.
    uint8_t *working() { return m_working.data(); }
    uint8_t *conversion() { return onFirstUse(m_conversion); }
    uint8_t *raw() { return onFirstUse(m_raw); }
    // The latest-frame buffer; read or write it only under pMutex[position].
    uint8_t *latestLocked() { return m_latest.data(); }

    long framesDelivered() const { return m_delivered.load(); }
    // Steady-clock time of the frame now in the working buffer (nanoseconds), for the frame age.
    int64_t takenFrameTime() const { return m_takenTime; }

private:
    uint8_t *onFirstUse(std::vector<uint8_t> &buffer);

    const int m_position;
    std::vector<uint8_t> m_latest;
    std::vector<uint8_t> m_working;
    std::vector<uint8_t> m_conversion;
    std::vector<uint8_t> m_raw;
    std::atomic<long> m_delivered{0};
    int64_t m_latestTime = 0;  // guarded by the position's mutex
    int64_t m_takenTime = 0;
};
