#include "vision/lib/graymatch.h"

#include <opencv2/core/hal/intrin.hpp>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>

bool GrayMatch::Create(int width, int height, const cv::Mat& mask, int reserved)
{
    Clear();
    if (width < 1 || height < 1 || reserved != 0)
        return false;
    if (!mask.empty() && (mask.cols != width || mask.rows != height || mask.type() != CV_8UC1))
        return false;
    m_size = cv::Size(width, height);
    if (mask.empty())
        m_mask = cv::Mat(m_size, CV_8UC1, cv::Scalar(255));
    else
        mask.copyTo(m_mask);
    m_sum = cv::Mat::zeros(m_size, CV_64FC1);
    m_sumSq = cv::Mat::zeros(m_size, CV_64FC1);
    return true;
}

bool GrayMatch::AddTemp(const cv::Mat& patch)
{
    if (m_size.empty() || m_sum.empty() || patch.size() != m_size || patch.type() != CV_8UC1)
        return false;
    cv::accumulate(patch, m_sum);
    cv::accumulateSquare(patch, m_sumSq);
    ++m_count;
    m_trained = false;
    return true;
}

bool GrayMatch::Train(int sensitivity, double multiplier, int darkShare, int brightShare)
{
    if (m_sum.empty())
        return false;  // compacted (or never created): the limits stay as they are
    m_trained = false;
    if (m_count < 1)
        return false;
    sensitivity = std::clamp(sensitivity, 0, 255);
    multiplier = std::max(0.0, multiplier);
    darkShare = std::max(0, darkShare);
    brightShare = std::max(0, brightShare);
    const int shares = darkShare + brightShare;
    const double darkBand = shares > 0 ? double(sensitivity) * darkShare / shares : 0.0;
    const double brightBand = shares > 0 ? double(sensitivity) * brightShare / shares : 0.0;

    m_lower.create(m_size, CV_8UC1);
    m_upper.create(m_size, CV_8UC1);
    const double n = m_count;
    for (int y = 0; y < m_size.height; ++y) {
        const double* sum = m_sum.ptr<double>(y);
        const double* sumSq = m_sumSq.ptr<double>(y);
        const uchar* mask = m_mask.ptr<uchar>(y);
        uchar* lower = m_lower.ptr<uchar>(y);
        uchar* upper = m_upper.ptr<uchar>(y);
        for (int x = 0; x < m_size.width; ++x) {
            if (!mask[x]) {
                lower[x] = 0;
                upper[x] = 255;
                continue;
            }
            const double mean = sum[x] / n;
            const double sigma = std::sqrt(std::max(0.0, sumSq[x] / n - mean * mean));
            const double spread = multiplier * sigma;
            // A gray value p is good while ref - below <= p <= ref + above; p is an integer, so
            // the limits round inwards only by what cannot be reached anyway.
            const double lo = std::ceil(mean - std::max(darkBand, spread) - 1e-9);
            const double hi = std::floor(mean + std::max(brightBand, spread) + 1e-9);
            lower[x] = cv::saturate_cast<uchar>(std::max(0.0, lo));
            upper[x] = cv::saturate_cast<uchar>(std::min(255.0, hi));
        }
    }
    m_trained = true;
    return true;
}

bool GrayMatch::Match(const cv::Mat& patch, cv::Mat& out) const
{
    if (!m_trained || patch.size() != m_size || patch.type() != CV_8UC1) {
        out = cv::Mat::zeros(m_size.empty() ? patch.size() : m_size, CV_8UC1);
        return false;
    }
    out.create(m_size, CV_8UC1);
    const int width = m_size.width;
    for (int y = 0; y < m_size.height; ++y) {
        const uchar* src = patch.ptr<uchar>(y);
        const uchar* lower = m_lower.ptr<uchar>(y);
        const uchar* upper = m_upper.ptr<uchar>(y);
        uchar* dst = out.ptr<uchar>(y);
        int x = 0;
#if CV_SIMD
        // One range test: a saturating difference to either limit is non-zero only outside.
        const int lanes = cv::v_uint8::nlanes;
        const cv::v_uint8 zero = cv::vx_setzero_u8();
        for (; x <= width - lanes; x += lanes) {
            const cv::v_uint8 p = cv::vx_load(src + x);
            const cv::v_uint8 outside = (cv::vx_load(lower + x) - p) | (p - cv::vx_load(upper + x));
            cv::v_store(dst + x, ~(outside == zero));
        }
#endif
        for (; x < width; ++x)
            dst[x] = (src[x] < lower[x] || src[x] > upper[x]) ? 255 : 0;
    }
    return true;
}

void GrayMatch::Compact()
{
    if (!m_trained)
        return;
    m_sum.release();
    m_sumSq.release();
    m_mask.release();
}

void GrayMatch::Clear()
{
    m_size = cv::Size();
    m_mask.release();
    m_sum.release();
    m_sumSq.release();
    m_lower.release();
    m_upper.release();
    m_count = 0;
    m_trained = false;
}
