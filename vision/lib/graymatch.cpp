#include "vision/lib/graymatch.h"

#include <opencv2/core/hal/intrin.hpp>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>

namespace {

// The lighting fit (see the header): pixels used, distance kept from the ends of the gray scale,
// least spread of the reference, the range a fit is held to.
constexpr int MaxLightingSamples = 2048;
constexpr int LightingMargin = 8;
constexpr double LeastSpreadForGain = 8.0;
constexpr double MinLightingGain = 0.7;
constexpr double MaxLightingGain = 1.4;
constexpr double MaxLightingOffset = 60.0;

float median(std::vector<float>& values)
{
    const auto middle = values.begin() + std::ptrdiff_t(values.size() / 2);
    std::nth_element(values.begin(), middle, values.end());
    return *middle;
}

} // namespace

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
    m_outside = m_mask == 0;
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
    m_sum.convertTo(m_reference, CV_8U, 1.0 / n);
    // The lighting fit's pixels: spread evenly over the mask, away from the ends of the gray scale.
    m_samples.clear();
    const int inside = cv::countNonZero(m_mask);
    const int step = std::max(1, int(std::ceil(std::sqrt(double(inside) / MaxLightingSamples))));
    for (int y = step / 2; y < m_size.height; y += step) {
        const uchar* mask = m_mask.ptr<uchar>(y);
        const uchar* reference = m_reference.ptr<uchar>(y);
        for (int x = step / 2; x < m_size.width; x += step)
            if (mask[x] && reference[x] >= LightingMargin && reference[x] <= 255 - LightingMargin)
                m_samples.push_back(y * m_size.width + x);
    }
    // On a nearly uniform reference a change of light cannot be told from a uniform object laid
    // over the whole region: such a region keeps the absolute band.
    double sum = 0.0, sumSq = 0.0;
    for (const int i : m_samples) {
        const double r = m_reference.data[i];
        sum += r;
        sumSq += r * r;
    }
    const double count = double(std::max<size_t>(1, m_samples.size()));
    if (sumSq / count - (sum / count) * (sum / count) < LeastSpreadForGain * LeastSpreadForGain)
        m_samples.clear();
    m_trained = true;
    return true;
}

GrayMatch::Lighting GrayMatch::FitLighting(const cv::Mat& patch) const
{
    Lighting fit;
    if (!m_trained || patch.size() != m_size || patch.type() != CV_8UC1 || m_samples.size() < 16)
        return fit;
    size_t n = m_samples.size();
    std::vector<float> reference, value, work;
    reference.reserve(n);
    value.reserve(n);
    work.reserve(n);
    const int width = m_size.width;
    for (size_t i = 0; i < n; ++i) {
        const int y = m_samples[i] / width, x = m_samples[i] % width;
        const uchar v = patch.at<uchar>(y, x);
        // A saturated pixel says only that the light is at least (or at most) so much; near the
        // ends noise is cut off on one side.
        if (v < LightingMargin || v > 255 - LightingMargin)
            continue;
        reference.push_back(m_reference.at<uchar>(y, x));
        value.push_back(v);
        work.push_back(float(v) - reference.back());
    }
    if (work.size() < 16)
        return fit;
    fit.offset = median(work);
    n = work.size();
    double kept = 0;
    for (int round = 0; round < 3; ++round) {
        // Robust spread of the residuals: 1.4826 x their median absolute value.
        for (size_t i = 0; i < n; ++i)
            work[i] = std::abs(value[i] - float(fit.gain * reference[i] + fit.offset));
        const double limit = std::max(6.0, 3.0 * 1.4826 * median(work));
        double count = 0, sumR = 0, sumV = 0, sumRR = 0, sumRV = 0;
        for (size_t i = 0; i < n; ++i) {
            if (std::abs(value[i] - (fit.gain * reference[i] + fit.offset)) > limit)
                continue;
            ++count;
            sumR += reference[i];
            sumV += value[i];
            sumRR += reference[i] * reference[i];
            sumRV += reference[i] * value[i];
        }
        if (count < 8)
            break;
        const double meanR = sumR / count, meanV = sumV / count;
        const double varR = sumRR / count - meanR * meanR;
        double gain = 1.0;
        if (varR > 1e-6)
            gain = std::clamp((sumRV / count - meanR * meanV) / varR, MinLightingGain, MaxLightingGain);
        fit.gain = gain;
        fit.offset = std::clamp(meanV - gain * meanR, -MaxLightingOffset, MaxLightingOffset);
        kept = count;
    }
    // A fit that ends at its limits, or that explains less than half of the pixels, has not found
    // a change of light (an object over most of the region does that): no compensation.
    const bool atLimit = fit.gain <= MinLightingGain || fit.gain >= MaxLightingGain
        || std::abs(fit.offset) >= MaxLightingOffset;
    if (atLimit || kept < 0.5 * double(n))
        return Lighting();
    return fit;
}

bool GrayMatch::Match(const cv::Mat& patch, cv::Mat& out) const
{
    if (!m_trained || patch.size() != m_size || patch.type() != CV_8UC1) {
        out = cv::Mat::zeros(m_size.empty() ? patch.size() : m_size, CV_8UC1);
        return false;
    }
    out.create(m_size, CV_8UC1);
    cv::Mat lowerLit, upperLit;
    const cv::Mat* lowerLimit = &m_lower;
    const cv::Mat* upperLimit = &m_upper;
    if (m_compensate) {
        // The band carried into the patch's lighting; saturating, so a limit beyond 255 (or 0)
        // accepts a saturated pixel there.
        const Lighting lit = FitLighting(patch);
        if (lit.gain != 1.0 || lit.offset != 0.0) {
            m_lower.convertTo(lowerLit, CV_8U, lit.gain, lit.offset);
            m_upper.convertTo(upperLit, CV_8U, lit.gain, lit.offset);
            // Outside the mask the limits stay 0 and 255.
            lowerLit.setTo(0, m_outside);
            upperLit.setTo(255, m_outside);
            lowerLimit = &lowerLit;
            upperLimit = &upperLit;
        }
    }
    const int width = m_size.width;
    for (int y = 0; y < m_size.height; ++y) {
        const uchar* src = patch.ptr<uchar>(y);
        const uchar* lower = lowerLimit->ptr<uchar>(y);
        const uchar* upper = upperLimit->ptr<uchar>(y);
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
    m_outside.release();
    m_sum.release();
    m_sumSq.release();
    m_lower.release();
    m_upper.release();
    m_reference.release();
    m_samples.clear();
    m_count = 0;
    m_trained = false;
}
