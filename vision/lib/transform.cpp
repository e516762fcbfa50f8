#include "vision/lib/transform.h"

#include <opencv2/imgproc.hpp>

#include <cmath>
#include <cstdint>
#include <cstring>

namespace {

// warpAffine cannot work in place; a source that shares the destination's pixels is copied first.
cv::Mat separateSource(const cv::Mat &src, const cv::Mat &dst)
{
    return src.data == dst.data ? src.clone() : src;
}

void warpInverse(const cv::Mat &src, cv::Mat &dst, const cv::Matx23d &dstToSrc)
{
    const cv::Mat source = separateSource(src, dst);
    dst.create(source.size(), source.type());
    cv::warpAffine(source, dst, cv::Mat(dstToSrc), source.size(), cv::INTER_LINEAR | cv::WARP_INVERSE_MAP,
                   cv::BORDER_REPLICATE);
}

}  // namespace

void MoveImage(const cv::Mat &src, cv::Mat &dst, double dx, double dy)
{
    const bool whole = dx == std::floor(dx) && dy == std::floor(dy);
    if (!whole) {
        warpInverse(src, dst, cv::Matx23d(1.0, 0.0, -dx, 0.0, 1.0, -dy));
        return;
    }
    const cv::Mat source = separateSource(src, dst);
    dst.create(source.size(), source.type());
    const int ix = int(dx), iy = int(dy);
    const cv::Rect frame(0, 0, source.cols, source.rows);
    const cv::Rect kept = frame & cv::Rect(ix, iy, source.cols, source.rows);
    if (kept.empty()) {
        // Moved out entirely: every pixel repeats the nearest source corner or edge.
        warpInverse(source, dst, cv::Matx23d(1.0, 0.0, -dx, 0.0, 1.0, -dy));
        return;
    }
    // The kept part is copied; the uncovered bands repeat its border pixels.
    source(kept - cv::Point(ix, iy)).copyTo(dst(kept));
    const size_t pixel = dst.elemSize();
    for (int y = kept.y; y < kept.br().y; ++y) {
        std::uint8_t *row = dst.ptr<std::uint8_t>(y);
        for (int x = 0; x < kept.x; ++x)
            std::memcpy(row + x * pixel, row + kept.x * pixel, pixel);
        for (int x = kept.br().x; x < frame.width; ++x)
            std::memcpy(row + x * pixel, row + (kept.br().x - 1) * pixel, pixel);
    }
    for (int y = 0; y < kept.y; ++y)
        dst.row(kept.y).copyTo(dst.row(y));
    for (int y = kept.br().y; y < frame.height; ++y)
        dst.row(kept.br().y - 1).copyTo(dst.row(y));
}

void TransformImage(const cv::Mat &src, cv::Mat &dst, cv::Point2d centre, cv::Point2d shift, double angle)
{
    const double a = angle * CV_PI / 180.0, c = std::cos(a), s = std::sin(a);
    // src point = centre - shift + R v with v = p - centre and R the counter-clockwise turn.
    const cv::Point2d origin = centre - shift;
    const cv::Matx23d m(c, s, origin.x - (c * centre.x + s * centre.y),
                        -s, c, origin.y - (-s * centre.x + c * centre.y));
    warpInverse(src, dst, m);
}
