#include "vision/lib/surf.h"

#include <opencv2/core/hal/intrin.hpp>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>

namespace {

constexpr int TargetPixels = 4096;  // reduced region size aimed at
constexpr int CellSize = 8;         // reduced pixels per cell side
constexpr double MinCellWeight = 8; // cells with fewer masked pixels are not judged
constexpr double C2 = 58.5;         // (0.03 x 255)^2, keeps flat cells stable
constexpr double LevelHalving = 12; // mean difference that halves a cell's similarity
constexpr double CellAgrees = 0.8;
constexpr double CellDiffers = 0.4;
constexpr double GainMin = 0.5, GainMax = 2.0;
constexpr double MinLevelVariance = 4.0; // cell means spread less than 2 levels: gain unknown
constexpr double MinResidual = 3.0;      // cells within 3 levels of the fit always count
constexpr float LevelOffset = 128.f; // reduced images are kept around 0 for float precision
constexpr float EdgeFloor = 16.f;    // Sobel response of 2 levels per pixel: weaker is no edge

// Sum of a1*b1 + a2*b2 over n floats.
double dot2(const float* a1, const float* b1, const float* a2, const float* b2, int n)
{
    int i = 0;
    float sum = 0.f;
#if CV_SIMD
    cv::v_float32 acc = cv::vx_setzero_f32();
    const int lanes = cv::v_float32::nlanes;
    for (; i <= n - lanes; i += lanes) {
        acc = cv::v_fma(cv::vx_load(a1 + i), cv::vx_load(b1 + i), acc);
        acc = cv::v_fma(cv::vx_load(a2 + i), cv::vx_load(b2 + i), acc);
    }
    sum = cv::v_reduce_sum(acc);
#endif
    for (; i < n; ++i)
        sum += a1[i] * b1[i] + a2[i] * b2[i];
    return sum;
}

// Per-cell sums of an image over the cells (row-major grid of CellSize cells).
void cellSums(const cv::Mat& image, const std::vector<cv::Rect>& cells, std::vector<double>& sums)
{
    sums.assign(cells.size(), 0.0);
    for (size_t k = 0; k < cells.size(); ++k) {
        const cv::Rect& r = cells[k];
        double s = 0.0;
        for (int y = r.y; y < r.y + r.height; ++y) {
            const float* row = image.ptr<float>(y) + r.x;
            for (int x = 0; x < r.width; ++x)
                s += row[x];
        }
        sums[k] = s;
    }
}

// Vertex of the parabola through (-1, a), (0, b), (1, c), limited to half a step.
double parabolaPeak(double a, double b, double c)
{
    const double curvature = a - 2 * b + c;
    if (curvature >= 0.0)
        return 0.0;
    return std::clamp(0.5 * (a - c) / curvature, -0.5, 0.5);
}

struct Photometry
{
    double gain = 1.0;
    double offset = 0.0;
};

// Fits cut = gain x template + offset to the cell means (gray levels shifted by LevelOffset).
// Light changes the whole region, a foreign object or a missing part only its own cells, so the
// fit starts from medians, which ignore up to half of the cells: the gain from the ratio of
// the absolute levels, the offset from what is left. Least squares over the cells that agree
// with that start then refines both.
Photometry fitPhotometry(const std::vector<double>& sumCut, const std::vector<double>& sumTemplate,
                         const std::vector<double>& weight)
{
    std::vector<double> cut, tmpl;
    for (size_t k = 0; k < weight.size(); ++k) {
        if (weight[k] <= 0.0)
            continue;
        cut.push_back(sumCut[k] / weight[k] + LevelOffset);
        tmpl.push_back(sumTemplate[k] / weight[k] + LevelOffset);
    }
    Photometry fit;
    if (cut.empty())
        return fit;
    auto median = [](std::vector<double> v) {
        std::nth_element(v.begin(), v.begin() + v.size() / 2, v.end());
        return v[v.size() / 2];
    };
    std::vector<double> values(cut.size());
    for (size_t k = 0; k < cut.size(); ++k)
        values[k] = cut[k] / std::max(1.0, tmpl[k]);
    fit.gain = std::clamp(median(values), GainMin, GainMax);
    for (size_t k = 0; k < cut.size(); ++k)
        values[k] = cut[k] - fit.gain * tmpl[k];
    fit.offset = median(values);

    for (int pass = 0; pass < 2; ++pass) {
        for (size_t k = 0; k < cut.size(); ++k)
            values[k] = std::abs(cut[k] - fit.gain * tmpl[k] - fit.offset);
        const double limit = std::max(MinResidual, 2.5 * median(values));
        double n = 0, st = 0, sc = 0, stt = 0, stc = 0;
        for (size_t k = 0; k < cut.size(); ++k) {
            if (values[k] > limit)
                continue;
            n += 1; st += tmpl[k]; sc += cut[k]; stt += tmpl[k] * tmpl[k]; stc += tmpl[k] * cut[k];
        }
        if (n < 2)
            break;
        const double mt = st / n, mc = sc / n;
        const double vt = stt / n - mt * mt, ct = stc / n - mt * mc;
        // Cells of nearly one level say nothing about the gain; the start value stays.
        if (vt > MinLevelVariance)
            fit.gain = std::clamp(ct / vt, GainMin, GainMax);
        fit.offset = mc - fit.gain * mt;
    }
    // Back to levels shifted by LevelOffset on both sides.
    fit.offset += LevelOffset * (fit.gain - 1.0);
    return fit;
}

} // namespace

bool SURF::Create(int width, int height, const cv::Mat& mask)
{
    Clear();
    if (width < 1 || height < 1)
        return false;
    if (!mask.empty() && (mask.cols != width || mask.rows != height || mask.type() != CV_8UC1))
        return false;
    m_size = cv::Size(width, height);
    m_factor = std::max(1, int(std::sqrt(double(width) * height / TargetPixels)));
    m_reducedSize = cv::Size(std::max(1, width / m_factor), std::max(1, height / m_factor));
    m_searchRadius = (4 + m_factor - 1) / m_factor + 1;
    // The search must leave an inner area to correlate.
    m_searchRadius = std::min(m_searchRadius, (std::min(m_reducedSize.width, m_reducedSize.height) - 1) / 4);
    m_searchRadius = std::max(0, m_searchRadius);

    if (mask.empty())
        m_fullMask = cv::Mat(m_size, CV_8UC1, cv::Scalar(255));
    else
        m_fullMask = (mask != 0);
    const cv::Rect used(0, 0, m_reducedSize.width * m_factor, m_reducedSize.height * m_factor);
    cv::Mat coverage;
    cv::resize(m_fullMask(used), coverage, m_reducedSize, 0, 0, cv::INTER_AREA);
    // Reduced pixels at least half inside the mask count; a mask thinner than that keeps every
    // reduced pixel it touches.
    const int threshold = cv::countNonZero(coverage >= 128) > 0 ? 127 : 0;
    cv::threshold(coverage, coverage, threshold, 1, cv::THRESH_BINARY);
    coverage.convertTo(m_weight, CV_32F);
    return true;
}

void SURF::reduce(const cv::Mat& patch, cv::Mat& reduced) const
{
    const cv::Rect used(0, 0, m_reducedSize.width * m_factor, m_reducedSize.height * m_factor);
    cv::Mat small;
    if (m_factor > 1)
        cv::resize(patch(used), small, m_reducedSize, 0, 0, cv::INTER_AREA);
    else
        small = patch(used);
    small.convertTo(reduced, CV_32F, 1.0, -LevelOffset);
    cv::GaussianBlur(reduced, reduced, cv::Size(3, 3), 0.8, 0.8, cv::BORDER_REPLICATE);
}

bool SURF::AddTemp(const cv::Mat& patch, int levels, int threshold, int minScore)
{
    if (m_size.empty() || patch.size() != m_size || patch.type() != CV_8UC1)
        return false;
    Template t;
    reduce(patch, t.image);
    m_templates.push_back(std::move(t));
    m_minScore = minScore;
    m_trained = false;
    return true;
}

bool SURF::Train(int, int, int, int)
{
    m_trained = false;
    if (m_templates.empty())
        return false;

    m_cells.clear();
    m_cellWeight.clear();
    for (int y = 0; y < m_reducedSize.height; y += CellSize)
        for (int x = 0; x < m_reducedSize.width; x += CellSize)
            m_cells.emplace_back(x, y, std::min(CellSize, m_reducedSize.width - x),
                                 std::min(CellSize, m_reducedSize.height - y));
    cellSums(m_weight, m_cells, m_cellWeight);
    // Small cells at the edge of the mask are left out, unless the whole mask is that small.
    const double maskCount = cv::sum(m_weight)[0];
    const double minWeight = std::min(MinCellWeight, maskCount);
    m_weightSum = 0.0;
    for (double& w : m_cellWeight) {
        if (w < minWeight)
            w = 0.0;
        m_weightSum += w;
    }
    if (m_weightSum <= 0.0) {
        // Nothing inside the mask (a region wholly under an ignore area): nothing can differ.
        m_trained = true;
        return true;
    }

    cv::Mat meanTemplate = cv::Mat::zeros(m_reducedSize, CV_32F);
    cv::Mat product;
    for (Template& t : m_templates) {
        meanTemplate += t.image;
        cv::multiply(t.image, m_weight, product);
        cellSums(product, m_cells, t.cellSum);
        cv::multiply(product, t.image, product);
        cellSums(product, m_cells, t.cellSumSq);
    }
    meanTemplate /= double(m_templates.size());

    // Alignment reference: the gradients of the mean template inside the mask, on the inner area.
    const int r = m_searchRadius;
    const cv::Rect inner(r, r, m_reducedSize.width - 2 * r, m_reducedSize.height - 2 * r);
    cv::Mat gradX, gradY;
    cv::Sobel(meanTemplate, gradX, CV_32F, 1, 0, 3, 1.0, 0.0, cv::BORDER_REPLICATE);
    cv::Sobel(meanTemplate, gradY, CV_32F, 0, 1, 3, 1.0, 0.0, cv::BORDER_REPLICATE);
    m_edgeX = gradX(inner).mul(m_weight(inner));
    m_edgeY = gradY(inner).mul(m_weight(inner));
    m_trained = true;
    return true;
}

cv::Point2d SURF::estimateShift(const cv::Mat& reduced)
{
    const int r = m_searchRadius;
    if (r == 0)
        return cv::Point2d(0, 0);
    // Edge directions of the cut, as unit vectors where there is an edge: an occluder can hide
    // template edges and add its own, but only the template's edges line up at the true shift.
    cv::Sobel(reduced, m_dirX, CV_32F, 1, 0, 3, 1.0, 0.0, cv::BORDER_REPLICATE);
    cv::Sobel(reduced, m_dirY, CV_32F, 0, 1, 3, 1.0, 0.0, cv::BORDER_REPLICATE);
    cv::magnitude(m_dirX, m_dirY, m_product);
    cv::add(m_product, cv::Scalar(EdgeFloor), m_product);
    cv::divide(m_dirX, m_product, m_dirX);
    cv::divide(m_dirY, m_product, m_dirY);

    const int side = 2 * r + 1;
    const cv::Rect inner(r, r, m_reducedSize.width - 2 * r, m_reducedSize.height - 2 * r);
    std::vector<double> score(side * side, 0.0);
    int best = -1;
    for (int dy = -r; dy <= r; ++dy) {
        for (int dx = -r; dx <= r; ++dx) {
            double sum = 0.0;
            for (int y = 0; y < inner.height; ++y) {
                const int sy = inner.y + y + dy;
                sum += dot2(m_edgeX.ptr<float>(y), m_dirX.ptr<float>(sy) + inner.x + dx,
                            m_edgeY.ptr<float>(y), m_dirY.ptr<float>(sy) + inner.x + dx, inner.width);
            }
            const int index = (dy + r) * side + (dx + r);
            score[index] = sum;
            if (best < 0 || sum > score[best])
                best = index;
        }
    }
    const int bx = best % side, by = best / side;
    double sx = bx - r, sy = by - r;
    if (bx > 0 && bx < side - 1)
        sx += parabolaPeak(score[best - 1], score[best], score[best + 1]);
    if (by > 0 && by < side - 1)
        sy += parabolaPeak(score[best - side], score[best], score[best + side]);
    return cv::Point2d(sx, sy);
}

float SURF::Match(const cv::Mat& patch, cv::Mat& out)
{
    out = cv::Mat::zeros(m_size.empty() ? patch.size() : m_size, CV_8UC1);
    if (!m_trained || patch.size() != m_size || patch.type() != CV_8UC1)
        return 0.f;
    if (m_weightSum <= 0.0)
        return 100.f;

    reduce(patch, m_reduced);
    const cv::Point2d shift = estimateShift(m_reduced);
    if (shift.x == 0.0 && shift.y == 0.0) {
        m_reduced.copyTo(m_aligned);
    } else {
        const cv::Matx23d move(1, 0, shift.x, 0, 1, shift.y);
        cv::warpAffine(m_reduced, m_aligned, move, m_reducedSize,
                       cv::INTER_LINEAR | cv::WARP_INVERSE_MAP, cv::BORDER_REPLICATE);
    }

    // Statistics of the aligned cut per cell, inside the mask.
    cv::Mat weighted;
    cv::multiply(m_aligned, m_weight, weighted);
    std::vector<double> sumP, sumPP, sumPT;
    cellSums(weighted, m_cells, sumP);
    cv::multiply(weighted, m_aligned, m_product);
    cellSums(m_product, m_cells, sumPP);

    const size_t cellCount = m_cells.size();
    std::vector<double> bestSimilarity(cellCount, -1.0);
    for (const Template& t : m_templates) {
        cv::multiply(weighted, t.image, m_product);
        cellSums(m_product, m_cells, sumPT);
        // The cut's levels brought onto this template's: P' = (P - offset) / gain.
        const Photometry fit = fitPhotometry(sumP, t.cellSum, m_cellWeight);
        const double a = fit.gain, b = fit.offset;
        for (size_t k = 0; k < cellCount; ++k) {
            const double n = m_cellWeight[k];
            if (n <= 0.0)
                continue;
            const double sx = (sumP[k] - b * n) / a;
            const double sxx = (sumPP[k] - 2 * b * sumP[k] + b * b * n) / (a * a);
            const double sxy = (sumPT[k] - b * t.cellSum[k]) / a;
            const double mx = sx / n, my = t.cellSum[k] / n;
            const double vx = std::max(0.0, sxx / n - mx * mx);
            const double vy = std::max(0.0, t.cellSumSq[k] / n - my * my);
            const double cxy = sxy / n - mx * my;
            const double structure = (2 * cxy + C2) / (vx + vy + C2);
            const double level = (mx - my) / LevelHalving;
            const double similarity = structure / (1.0 + level * level);
            bestSimilarity[k] = std::max(bestSimilarity[k], similarity);
        }
    }

    double differing = 0.0;
    std::vector<char> cellDiffers(cellCount, 0);
    for (size_t k = 0; k < cellCount; ++k) {
        if (m_cellWeight[k] <= 0.0)
            continue;
        const double part = std::clamp((CellAgrees - bestSimilarity[k]) / (CellAgrees - CellDiffers), 0.0, 1.0);
        differing += part * m_cellWeight[k];
        cellDiffers[k] = part >= 0.5;
    }
    const double score = std::clamp(100.0 * (1.0 - 2.0 * differing / m_weightSum), 0.0, 100.0);

    if (score < m_minScore) {
        const cv::Rect region(0, 0, m_size.width, m_size.height);
        for (size_t k = 0; k < cellCount; ++k) {
            if (!cellDiffers[k])
                continue;
            const cv::Rect& c = m_cells[k];
            cv::Rect full(c.x * m_factor, c.y * m_factor, c.width * m_factor, c.height * m_factor);
            // Cells at the right and bottom edge also cover what the reduction left out.
            if (c.x + c.width == m_reducedSize.width)
                full.width = m_size.width - full.x;
            if (c.y + c.height == m_reducedSize.height)
                full.height = m_size.height - full.y;
            full &= region;
            out(full).setTo(255, m_fullMask(full));
        }
    }
    return float(score);
}

void SURF::Clear()
{
    m_size = cv::Size();
    m_factor = 1;
    m_reducedSize = cv::Size();
    m_fullMask.release();
    m_weight.release();
    m_templates.clear();
    m_cells.clear();
    m_cellWeight.clear();
    m_weightSum = 0.0;
    m_edgeX.release();
    m_edgeY.release();
    m_minScore = 0;
    m_trained = false;
}
