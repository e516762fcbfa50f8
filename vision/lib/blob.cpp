#include "vision/lib/blob.h"

#include <algorithm>
#include <cstring>

namespace {

struct Run
{
    int row;
    int begin;  // first pixel
    int end;    // one past the last pixel
    int parent; // union-find link, index into the run list
};

int findRoot(std::vector<Run>& runs, int i)
{
    while (runs[i].parent != i) {
        runs[i].parent = runs[runs[i].parent].parent;
        i = runs[i].parent;
    }
    return i;
}

void unite(std::vector<Run>& runs, int a, int b)
{
    a = findRoot(runs, a);
    b = findRoot(runs, b);
    // The earlier run stays root, so a blob is named by its first pixel in scan order.
    if (a < b)
        runs[b].parent = a;
    else if (b < a)
        runs[a].parent = b;
}

// Appends the runs of pixels != background of one row. Stretches of background are skipped
// eight bytes at a time.
void collectRuns(const uchar* pixels, const uchar* mask, int width, uchar background, int row,
                 std::vector<Run>& runs)
{
    const uint64_t fill = 0x0101010101010101ULL * background;
    int x = 0;
    while (x < width) {
        if (!mask) {
            while (x + 8 <= width) {
                uint64_t word;
                std::memcpy(&word, pixels + x, 8);
                if (word != fill)
                    break;
                x += 8;
            }
        }
        while (x < width && (pixels[x] == background || (mask && !mask[x])))
            ++x;
        if (x >= width)
            break;
        const int begin = x;
        while (x < width && pixels[x] != background && (!mask || mask[x]))
            ++x;
        runs.push_back({row, begin, x, int(runs.size())});
    }
}

} // namespace

CBlobResult::CBlobResult(const cv::Mat& image, const cv::Mat* mask, int background)
{
    if (image.empty() || image.type() != CV_8UC1)
        return;
    if (mask && (mask->empty() || mask->size() != image.size() || mask->type() != CV_8UC1))
        mask = nullptr;
    const uchar backgroundValue = cv::saturate_cast<uchar>(background);

    thread_local std::vector<Run> runs;
    runs.clear();
    int previousBegin = 0; // runs of the row above: [previousBegin, currentBegin)
    for (int y = 0; y < image.rows; ++y) {
        const int currentBegin = int(runs.size());
        collectRuns(image.ptr<uchar>(y), mask ? mask->ptr<uchar>(y) : nullptr, image.cols,
                    backgroundValue, y, runs);
        const int currentEnd = int(runs.size());
        if (y > 0) {
            // 8-connectivity: runs touch when they overlap after widening by one pixel.
            int above = previousBegin;
            for (int i = currentBegin; i < currentEnd; ++i) {
                const Run run = runs[i];
                while (above < currentBegin && runs[above].end < run.begin)
                    ++above;
                for (int j = above; j < currentBegin && runs[j].begin <= run.end; ++j)
                    unite(runs, i, j);
            }
        }
        previousBegin = currentBegin;
    }

    // Roots are the first run of their blob, so walking the runs in order numbers the blobs by
    // their first pixel.
    thread_local std::vector<int> blobOfRoot;
    blobOfRoot.assign(runs.size(), -1);
    struct Extent { long long area; int x1, y1, x2, y2; };
    std::vector<Extent> extents;
    for (int i = 0; i < int(runs.size()); ++i) {
        const int root = findRoot(runs, i);
        int& blob = blobOfRoot[root];
        const Run& run = runs[i];
        if (blob < 0) {
            blob = int(extents.size());
            extents.push_back({0, run.begin, run.row, run.end - 1, run.row});
        }
        Extent& e = extents[blob];
        e.area += run.end - run.begin;
        e.x1 = std::min(e.x1, run.begin);
        e.x2 = std::max(e.x2, run.end - 1);
        e.y2 = run.row;
    }
    m_blobs.reserve(extents.size());
    for (const Extent& e : extents)
        m_blobs.emplace_back(double(e.area), cv::Rect(e.x1, e.y1, e.x2 - e.x1 + 1, e.y2 - e.y1 + 1));
}

const CBlob& CBlobResult::GetBlob(int i) const
{
    static const CBlob empty;
    if (i < 0 || i >= int(m_blobs.size()))
        return empty;
    return m_blobs[i];
}
