#include "vision/lib/blob.h"

#include <opencv2/core/hal/intrin.hpp>

#include <algorithm>
#include <cstdint>

namespace {

// A run of foreground pixels in one row and the blob label it was given.
struct Run
{
    int begin; // first pixel
    int end;   // one past the last pixel
    int label;
};

// Blob under construction; labels are merged by pointing the later one at the earlier one,
// so the surviving label is always the blob's first in scan order.
struct Extent
{
    int area; // at most the pixels of one image
    int x1, y1, x2, y2;
    int parent;
};

int findRoot(std::vector<Extent>& extents, int label)
{
    while (extents[label].parent != label) {
        extents[label].parent = extents[extents[label].parent].parent;
        label = extents[label].parent;
    }
    return label;
}

// Marks the foreground pixels of one row as bits (bit x of word x / 64), 64 pixels per word.
void foregroundBits(const uchar* pixels, const uchar* mask, int width, uchar background,
                    std::vector<uint64_t>& bits)
{
    int x = 0;
#if CV_SIMD128
    const cv::v_uint8x16 back = cv::v_setall_u8(background);
    const cv::v_uint8x16 zero = cv::v_setzero_u8();
    for (; x + 64 <= width; x += 64) {
        uint64_t word = 0;
        for (int part = 0; part < 4; ++part) {
            cv::v_uint8x16 fore = cv::v_load(pixels + x + 16 * part) != back;
            if (mask)
                fore = fore & (cv::v_load(mask + x + 16 * part) != zero);
            word |= uint64_t(uint32_t(cv::v_signmask(fore))) << (16 * part);
        }
        bits[x >> 6] = word;
    }
#endif
    for (; x < width; x += 64) {
        uint64_t word = 0;
        for (int i = x; i < std::min(width, x + 64); ++i)
            if (pixels[i] != background && (!mask || mask[i]))
                word |= uint64_t(1) << (i & 63);
        bits[x >> 6] = word;
    }
}

// True when a bit in [first, last] is set.
bool anyBit(const std::vector<uint64_t>& bits, int first, int last)
{
    const int a = first >> 6, b = last >> 6;
    const uint64_t low = ~uint64_t(0) << (first & 63);
    const uint64_t high = ~uint64_t(0) >> (63 - (last & 63));
    if (a == b)
        return bits[a] & low & high;
    if (bits[a] & low)
        return true;
    for (int w = a + 1; w < b; ++w)
        if (bits[w])
            return true;
    return bits[b] & high;
}

// Calls emit(begin, end) for every run of set bits, left to right.
template<typename Emit>
void forEachRun(const std::vector<uint64_t>& bits, int width, Emit&& emit)
{
    int open = -1; // start of a run that reaches the end of the previous word
    for (int word = 0; word < int(bits.size()); ++word) {
        uint64_t w = bits[word];
        const int base = word << 6;
        if (open >= 0) {
            if (w == ~uint64_t(0))
                continue;
            const int e = __builtin_ctzll(~w);
            emit(open, base + e);
            open = -1;
            w &= ~uint64_t(0) << e;
        }
        while (w) {
            const int s = __builtin_ctzll(w);
            const uint64_t clear = ~w & (~uint64_t(0) << s);
            if (!clear) {
                open = base + s;
                break;
            }
            const int e = __builtin_ctzll(clear);
            emit(base + s, base + e);
            w &= ~uint64_t(0) << e;
        }
    }
    if (open >= 0)
        emit(open, width);
}

// Gives the run [begin, end) of row y its label: joins the blobs of the runs above that it
// touches (8-connectivity: overlap after widening by one pixel) or starts a new one. Returns
// the first run above that later runs of the row can still touch.
const Run* labelRun(int begin, int end, int y, const Run* next, const Run* aboveEnd,
                    std::vector<Extent>& extents, std::vector<Run>& current)
{
    while (next != aboveEnd && next->end < begin)
        ++next;
    int label = -1;
    for (const Run* j = next; j != aboveEnd && j->begin <= end; ++j) {
        const int other = findRoot(extents, j->label);
        if (label < 0) {
            label = other;
        } else if (other != label) {
            const int keep = std::min(label, other), gone = std::max(label, other);
            Extent& k = extents[keep];
            const Extent& g = extents[gone];
            k.area += g.area;
            k.x1 = std::min(k.x1, g.x1);
            k.y1 = std::min(k.y1, g.y1);
            k.x2 = std::max(k.x2, g.x2);
            k.y2 = std::max(k.y2, g.y2);
            extents[gone].parent = keep;
            label = keep;
        }
    }
    if (label < 0) {
        label = int(extents.size());
        extents.push_back({end - begin, begin, y, end - 1, y, label});
    } else {
        Extent& e = extents[label];
        e.area += end - begin;
        e.x1 = std::min(e.x1, begin);
        e.x2 = std::max(e.x2, end - 1);
        e.y2 = y;
    }
    current.push_back({begin, end, label});
    return next;
}

} // namespace

CBlobResult::CBlobResult(const cv::Mat& image, const cv::Mat* mask, int background)
{
    if (image.empty() || image.type() != CV_8UC1)
        return;
    if (mask && (mask->empty() || mask->size() != image.size() || mask->type() != CV_8UC1))
        mask = nullptr;
    const uchar backgroundValue = cv::saturate_cast<uchar>(background);

    // Working buffers stay with the thread, so a frame allocates nothing but the result.
    thread_local std::vector<uint64_t> bitsBuffer, aboveBitsBuffer;
    thread_local std::vector<Run> aboveBuffer, currentBuffer;
    thread_local std::vector<Extent> extentsBuffer;
    std::vector<uint64_t>& bits = bitsBuffer;
    std::vector<uint64_t>& aboveBits = aboveBitsBuffer;
    std::vector<Run>& above = aboveBuffer;
    std::vector<Run>& current = currentBuffer;
    std::vector<Extent>& extents = extentsBuffer;
    bits.assign((image.cols + 63) / 64, 0);
    aboveBits.assign(bits.size(), 0);
    above.clear();
    extents.clear();

    for (int y = 0; y < image.rows; ++y) {
        foregroundBits(image.ptr<uchar>(y), mask ? mask->ptr<uchar>(y) : nullptr, image.cols,
                       backgroundValue, bits);
        current.clear();
        const Run* next = above.data(); // first run above that can still touch
        const Run* const aboveEnd = above.data() + above.size();
        forEachRun(bits, image.cols, [&](int begin, int end) {
            // Most runs of a noisy image touch nothing above; the row's bits tell at once.
            if (anyBit(aboveBits, std::max(0, begin - 1), std::min(image.cols - 1, end))) {
                next = labelRun(begin, end, y, next, aboveEnd, extents, current);
            } else {
                const int label = int(extents.size());
                extents.push_back({end - begin, begin, y, end - 1, y, label});
                current.push_back({begin, end, label});
            }
        });
        std::swap(above, current);
        std::swap(aboveBits, bits);
    }

    // Labels are numbered by their first run, and a merged blob keeps its earliest label, so the
    // roots in label order are the blobs in the order of their first pixel.
    m_blobs.reserve(extents.size());
    for (size_t i = 0; i < extents.size(); ++i) {
        const Extent& e = extents[i];
        if (e.parent == int(i))
            m_blobs.emplace_back(e.area, cv::Rect(e.x1, e.y1, e.x2 - e.x1 + 1, e.y2 - e.y1 + 1));
    }
}

const CBlob& CBlobResult::GetBlob(int i) const
{
    static const CBlob empty;
    if (i < 0 || i >= int(m_blobs.size()))
        return empty;
    return m_blobs[i];
}
