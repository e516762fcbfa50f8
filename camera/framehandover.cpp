#include "camera/framehandover.h"

#include "core/globals.h"
#include "camera/cameraglobals.h"

#include <QMutex>
#include <algorithm>
#include <chrono>
#include <cstring>

void RGB2RGBA(uint8_t *dst, const uint8_t *src, int width, int height)
{
    const std::size_t pixels = static_cast<std::size_t>(width) * height;
    for (std::size_t i = 0; i < pixels; ++i, src += 3, dst += 4) {
        dst[0] = src[0];
        dst[1] = src[1];
        dst[2] = src[2];
        dst[3] = 255;
    }
}

void DxContrast(const uint8_t *src, uint8_t *dst, std::size_t length, int contrast)
{
    uint8_t table[256];
    const int factor = 100 + std::clamp(contrast, -50, 100);
    for (int v = 0; v < 256; ++v)
        table[v] = static_cast<uint8_t>(std::clamp(128 + (v - 128) * factor / 100, 0, 255));
    for (std::size_t i = 0; i < length; ++i)
        dst[i] = table[src[i]];
}

namespace {

int64_t nowNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

}  // namespace

FrameSlot::FrameSlot(int position)
    : m_position(position),
      m_latest(static_cast<std::size_t>(std::max(gColorLen, 1))),
      m_working(m_latest.size())
{
}

uint8_t *FrameSlot::onFirstUse(std::vector<uint8_t> &buffer)
{
    if (buffer.empty())
        buffer.resize(static_cast<std::size_t>(std::max(gImageLen, 1)) * 4);
    return buffer.data();
}

void FrameSlot::deliver(const uint8_t *frame, std::size_t length)
{
    // A frame larger than the buffer is cut to it rather than written past the end.
    length = std::min(length, m_latest.size());
    const int64_t arrived = nowNs();
    QMutexLocker lock(SharedMutex(pMutex[m_position], "pMutex[position]"));
    std::memcpy(m_latest.data(), frame, length);
    m_latestTime = arrived;
    isImageFill[m_position] = true;
    lock.unlock();
    ++m_delivered;
    ++gCameraWatch.frameCount[m_position];
}

void FrameSlot::deliverLocked(const uint8_t *frame, std::size_t length)
{
    length = std::min(length, m_latest.size());
    std::memcpy(m_latest.data(), frame, length);
    m_latestTime = nowNs();
    isImageFill[m_position] = true;
    ++m_delivered;
    ++gCameraWatch.frameCount[m_position];
}

bool FrameSlot::deliverIfChanged(const uint8_t *frame, std::size_t length)
{
    length = std::min(length, m_latest.size());
    const int64_t arrived = nowNs();
    QMutexLocker lock(SharedMutex(pMutex[m_position], "pMutex[position]"));
    if (std::memcmp(m_latest.data(), frame, length) == 0)
        return false;
    std::memcpy(m_latest.data(), frame, length);
    m_latestTime = arrived;
    isImageFill[m_position] = true;
    lock.unlock();
    ++m_delivered;
    ++gCameraWatch.frameCount[m_position];
    return true;
}

bool FrameSlot::take()
{
    QMutexLocker lock(SharedMutex(pMutex[m_position], "pMutex[position]"));
    if (!isImageFill[m_position])
        return false;
    std::memcpy(m_working.data(), m_latest.data(), m_latest.size());
    m_takenTime = m_latestTime;
    isImageFill[m_position] = false;
    return true;
}

void FrameSlot::dropPending()
{
    QMutexLocker lock(SharedMutex(pMutex[m_position], "pMutex[position]"));
    isImageFill[m_position] = false;
}
