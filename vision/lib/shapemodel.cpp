#include "vision/lib/shapemodel.h"

#include <opencv2/core/hal/intrin.hpp>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <array>
#include <cmath>

namespace ShapeModel {

void halve(const cv::Mat &src, cv::Mat &dst)
{
    CV_Assert(src.type() == CV_8U);
    const int w = src.cols / 2, h = src.rows / 2;
    if (w < 1 || h < 1) {
        dst.release();
        return;
    }
    // An exact factor of two takes OpenCV's fast 2 x 2 area path.
    cv::resize(src(cv::Rect(0, 0, 2 * w, 2 * h)), dst, cv::Size(w, h), 0, 0, cv::INTER_AREA);
}

std::vector<EdgePoint> edgePixels(const cv::Mat &image, const cv::Mat &mask, float threshold)
{
    std::vector<EdgePoint> points;
    if (image.rows < 3 || image.cols < 3)
        return points;
    cv::Mat gx, gy;
    cv::Sobel(image, gx, CV_32F, 1, 0, 3, 1.0, 0.0, cv::BORDER_REPLICATE);
    cv::Sobel(image, gy, CV_32F, 0, 1, 3, 1.0, 0.0, cv::BORDER_REPLICATE);
    cv::Mat magnitude;
    cv::magnitude(gx, gy, magnitude);
    for (int y = 1; y < image.rows - 1; ++y) {
        const float *m = magnitude.ptr<float>(y);
        const float *up = magnitude.ptr<float>(y - 1);
        const float *down = magnitude.ptr<float>(y + 1);
        const float *fx = gx.ptr<float>(y);
        const float *fy = gy.ptr<float>(y);
        const std::uint8_t *inside = mask.empty() ? nullptr : mask.ptr<std::uint8_t>(y);
        for (int x = 1; x < image.cols - 1; ++x) {
            const float v = m[x];
            if (v < threshold || (inside && !inside[x]))
                continue;
            // Thin to the ridge across the edge: compare with the two neighbours along the gradient.
            const float ax = std::abs(fx[x]), ay = std::abs(fy[x]);
            float a, b;
            if (ax > 2.414f * ay) {
                a = m[x - 1];
                b = m[x + 1];
            } else if (ay > 2.414f * ax) {
                a = up[x];
                b = down[x];
            } else if ((fx[x] > 0) == (fy[x] > 0)) {
                a = up[x - 1];
                b = down[x + 1];
            } else {
                a = up[x + 1];
                b = down[x - 1];
            }
            if (v < a || v <= b)
                continue;
            points.push_back({float(x), float(y), fx[x] / v, fy[x] / v, v});
        }
    }
    return points;
}

float automaticThreshold(const cv::Mat &image, const cv::Mat &mask)
{
    // Texture and noise: the median gradient over the region. Edges: the strong end of the ridges.
    cv::Mat gx, gy, magnitude;
    cv::Sobel(image, gx, CV_32F, 1, 0, 3, 1.0, 0.0, cv::BORDER_REPLICATE);
    cv::Sobel(image, gy, CV_32F, 0, 1, 3, 1.0, 0.0, cv::BORDER_REPLICATE);
    cv::magnitude(gx, gy, magnitude);
    std::vector<float> all;
    all.reserve(size_t(image.total()));
    for (int y = 1; y < image.rows - 1; ++y) {
        const float *m = magnitude.ptr<float>(y);
        const std::uint8_t *inside = mask.empty() ? nullptr : mask.ptr<std::uint8_t>(y);
        for (int x = 1; x < image.cols - 1; ++x)
            if (!inside || inside[x])
                all.push_back(m[x]);
    }
    if (all.empty())
        return 1e9f;
    auto quantile = [&](double q) {
        auto nth = all.begin() + std::min<std::ptrdiff_t>(std::ptrdiff_t(q * all.size()), all.size() - 1);
        std::nth_element(all.begin(), nth, all.end());
        return *nth;
    };
    const float median = quantile(0.5);
    const float strong = quantile(0.99);
    // A sharp step of 4 gray levels gives 16 in Sobel units: below that nothing is an edge.
    return std::max({16.0f, 3.0f * median, 0.3f * strong});
}

std::vector<EdgePoint> spreadSelect(std::vector<EdgePoint> candidates, int count)
{
    if (int(candidates.size()) <= count)
        return candidates;
    std::stable_sort(candidates.begin(), candidates.end(),
                     [](const EdgePoint &a, const EdgePoint &b) { return a.strength > b.strength; });
    float minX = 1e9f, minY = 1e9f, maxX = -1e9f, maxY = -1e9f;
    for (const EdgePoint &p : candidates) {
        minX = std::min(minX, p.x);
        minY = std::min(minY, p.y);
        maxX = std::max(maxX, p.x);
        maxY = std::max(maxY, p.y);
    }
    // Take the strongest points no closer than a spacing, shrinking the spacing until enough are
    // taken; a grid of spacing-sized cells keeps the distance checks local.
    double spacing = std::sqrt(double(candidates.size()) / count) * 2.0 + 1.0;
    std::vector<EdgePoint> chosen;
    while (true) {
        chosen.clear();
        const double cell = std::max(1.0, spacing);
        const int gw = int((maxX - minX) / cell) + 1, gh = int((maxY - minY) / cell) + 1;
        std::vector<std::vector<int>> grid(size_t(gw) * gh);
        const double s2 = spacing * spacing;
        for (const EdgePoint &p : candidates) {
            const int cx = int((p.x - minX) / cell), cy = int((p.y - minY) / cell);
            bool free = true;
            for (int yy = std::max(0, cy - 1); free && yy <= std::min(gh - 1, cy + 1); ++yy)
                for (int xx = std::max(0, cx - 1); free && xx <= std::min(gw - 1, cx + 1); ++xx)
                    for (int k : grid[size_t(yy) * gw + xx]) {
                        const double dx = chosen[size_t(k)].x - p.x, dy = chosen[size_t(k)].y - p.y;
                        if (dx * dx + dy * dy < s2) {
                            free = false;
                            break;
                        }
                    }
            if (!free)
                continue;
            grid[size_t(cy) * gw + cx].push_back(int(chosen.size()));
            chosen.push_back(p);
        }
        if (int(chosen.size()) >= count || spacing < 1.0)
            break;
        spacing *= 0.85;
    }
    if (int(chosen.size()) > count) {
        // Too many at this spacing: keep every n-th, so strong and weak edges stay in proportion.
        std::vector<EdgePoint> subset;
        for (int i = 0; i < count; ++i)
            subset.push_back(chosen[size_t(i) * chosen.size() / size_t(count)]);
        chosen.swap(subset);
    }
    return chosen;
}

int orientationBin(double nx, double ny)
{
    double a = std::atan2(ny, nx) * (OrientationBins / (2.0 * CV_PI));
    int bin = int(std::lround(a));
    bin %= OrientationBins;
    return bin < 0 ? bin + OrientationBins : bin;
}

void computeResponses(const cv::Mat &image, float threshold, bool ignorePolarity, int pad, ResponseMaps &out)
{
    // Image orientations in 32 bins; a feature of bin b scores 4 cos^3 of the difference.
    constexpr int ImageBins = 32;
    static const auto table = [] {
        std::array<std::array<std::uint8_t, ImageBins>, 2> t{};
        for (int polarityFree = 0; polarityFree < 2; ++polarityFree)
            for (int d = 0; d < ImageBins; ++d) {
                double c = std::cos(d * 2.0 * CV_PI / ImageBins);
                if (polarityFree)
                    c = std::abs(c);
                t[size_t(polarityFree)][size_t(d)] =
                    std::uint8_t(std::lround(MaxResponse * std::pow(std::max(0.0, c), 3.0)));
            }
        return t;
    }();
    const auto &sim = table[ignorePolarity ? 1 : 0];

    const int rows = image.rows, cols = image.cols;
    out.rows = rows;
    out.cols = cols;
    out.gridRows = (rows + 1) / 2;
    out.gridCols = (cols + 1) / 2;
    out.pad = pad;
    out.stride = (out.gridCols + 2 * pad + 15) & ~15;
    const size_t size = size_t(out.gridRows + 2 * pad + 1) * out.stride + 32;
    // Orientation of every pixel in image bins, 255 where the gradient is too weak to count.
    cv::Mat &gx = out.work[0], &gy = out.work[1], &magnitude = out.work[2], &direction = out.work[3];
    cv::Mat &quantised = out.work[4], &weak = out.work[5], &single = out.work[6], &spread = out.work[7];
    cv::Sobel(image, gx, CV_32F, 1, 0, 3, 1.0, 0.0, cv::BORDER_REPLICATE);
    cv::Sobel(image, gy, CV_32F, 0, 1, 3, 1.0, 0.0, cv::BORDER_REPLICATE);
    cv::cartToPolar(gx, gy, magnitude, direction, true);
    // Degrees to bins, rounded; a full 360 rounds to bin 32, which the table below treats as 0.
    direction.convertTo(quantised, CV_8U, ImageBins / 360.0, 0.0);
    cv::compare(magnitude, threshold, weak, cv::CMP_LT);
    quantised.setTo(255, weak);

    const cv::Mat kernel = cv::getStructuringElement(cv::MORPH_RECT, cv::Size(3, 3));
    cv::Mat lut(1, 256, CV_8U);
    for (int b = 0; b < OrientationBins; ++b) {
        // A feature of bin b against image bin q: the difference in image bins is q - 2b.
        for (int q = 0; q < 256; ++q)
            lut.at<std::uint8_t>(q) = q <= ImageBins ? sim[size_t((q - 2 * b + 2 * ImageBins) % ImageBins)] : 0;
        cv::LUT(quantised, lut, single);
        cv::dilate(single, spread, kernel, cv::Point(-1, -1), 1, cv::BORDER_CONSTANT, cv::Scalar(0));
        // Split into the four quarter maps; their padding is zeroed once and never written.
        for (int phase = 0; phase < 4; ++phase) {
            std::vector<std::uint8_t> &map = out.maps[b * 4 + phase];
            if (map.size() != size)
                map.assign(size, 0);
        }
        for (int y = 0; y < rows; ++y) {
            const std::uint8_t *src = spread.ptr<std::uint8_t>(y);
            const size_t offset = size_t((y >> 1) + pad) * out.stride + pad;
            std::uint8_t *even = out.maps[b * 4 + (y & 1) * 2].data() + offset;
            std::uint8_t *odd = out.maps[b * 4 + (y & 1) * 2 + 1].data() + offset;
            int x = 0;
#if CV_SIMD128
            for (; x + 32 <= cols; x += 32) {
                cv::v_uint8x16 e, o;
                cv::v_load_deinterleave(src + x, e, o);
                cv::v_store(even + x / 2, e);
                cv::v_store(odd + x / 2, o);
            }
#endif
            // Written as an if rather than a conditional pointer: GCC 12 miscompiles the latter
            // under -fsanitize=shift.
            for (; x < cols; ++x) {
                if (x & 1)
                    odd[x >> 1] = src[x];
                else
                    even[x >> 1] = src[x];
            }
        }
    }
}

namespace {

// 1 for the two ends of the gray scale (0 and 255 wrap to 1 and 0), else 0.
inline int atEnd(std::uint8_t v) { return std::uint8_t(v + 1) <= 1; }
static_assert(SaturatedLow == 0 && SaturatedHigh == 255, "atEnd tests 0 and 255");

// Bilinear sample at (x, y), also telling whether one of its four pixels is at the end of the gray scale.
inline float sample(const cv::Mat &image, float x, float y, int &saturated)
{
    const int x0 = int(x), y0 = int(y);
    const float fx = x - x0, fy = y - y0;
    const std::uint8_t *row = image.ptr<std::uint8_t>(y0) + x0;
    const std::uint8_t *next = row + image.step[0];
    saturated |= atEnd(row[0]) | atEnd(row[1]) | atEnd(next[0]) | atEnd(next[1]);
    const float top = row[0] + fx * (row[1] - row[0]);
    const float bottom = next[0] + fx * (next[1] - next[0]);
    return top + fy * (bottom - top);
}

}  // namespace

EdgeHit measureEdge(const cv::Mat &image, cv::Point2f at, cv::Point2f normal, float reach, bool ignorePolarity)
{
    // Samples every half pixel from -reach - 1 to +reach + 1; the rise at s is I(s + 1) - I(s - 1).
    constexpr float Step = 0.5f;
    constexpr int MaxSamples = 64;
    const int half = int(std::ceil(reach / Step)) + 2;
    const int n = 2 * half + 1;
    EdgeHit hit;
    if (n > MaxSamples)
        return hit;
    const cv::Point2f tangent(-normal.y, normal.x);
    // Seven parallel lines one pixel apart (the edge itself and three either side) average the
    // noise; the bounds are checked once for the whole sampled patch.
    constexpr int lines = 3;
    const float ext = half * Step + lines + 0.5f;
    if (at.x - ext < 0.0f || at.y - ext < 0.0f || at.x + ext >= image.cols - 1 || at.y + ext >= image.rows - 1)
        return hit;
    float profile[MaxSamples];
    bool clipped[MaxSamples];
    for (int k = 0; k < n; ++k) {
        const float s = (k - half) * Step;
        const cv::Point2f p = at + normal * s;
        float v = 0.0f;
        int saturated = 0;
        for (int t = -lines; t <= lines; ++t)
            v += sample(image, p.x + t * tangent.x, p.y + t * tangent.y, saturated);
        profile[k] = v;
        clipped[k] = saturated != 0;
    }
    float rise[MaxSamples];
    int best = -1;
    float bestValue = 0.0f;
    for (int k = 2; k < n - 2; ++k) {
        float r = (profile[k + 2] - profile[k - 2]) / float(2 * lines + 1);
        if (ignorePolarity)
            r = std::abs(r);
        rise[k] = r;
    }
    for (int k = 3; k < n - 3; ++k)
        if (rise[k] > bestValue) {
            bestValue = rise[k];
            best = k;
        }
    // A rise still growing at the end of the reach belongs to an edge beyond it.
    if (best < 0 || rise[best + 1] > bestValue)
        return hit;
    // The edge lies at the centre of mass of the rise above half its peak. (A parabola through the
    // top three samples is biased by up to a quarter pixel here: the linear interpolation between
    // pixels flattens the top of the rise.)
    const float floor = 0.5f * bestValue;
    int low = best, high = best;
    while (low > 2 && rise[low - 1] > floor)
        --low;
    while (high < n - 3 && rise[high + 1] > floor)
        ++high;
    float weight = 0.0f, moment = 0.0f;
    for (int k = low; k <= high; ++k) {
        const float w = rise[k] - floor;
        weight += w;
        moment += w * float(k - half);
    }
    hit.found = true;
    hit.offset = moment / weight * Step;
    // The rise from low to high is made of the samples two steps either side of it.
    for (int k = low - 2; k <= high + 2 && !hit.clipped; ++k)
        hit.clipped = clipped[k];
    hit.strength = bestValue;
    return hit;
}

Pose fitPose(const cv::Mat &image, const std::vector<EdgePoint> &points, const Pose &start, bool ignorePolarity,
             bool fitAngle, int iterations)
{
    const size_t n = points.size();
    if (n < 3)
        return start;
    std::vector<float> offset(n), strength(n);
    std::vector<std::uint8_t> found(n);
    std::vector<std::array<double, 3>> jacobian(n);
    std::vector<double> ratio;
    ratio.reserve(n);
    Pose pose = start;
    pose.fitted = 0;
    double gain = 1.0;

    auto measure = [&](float reach) {
        const double c = std::cos(pose.angle), s = std::sin(pose.angle);
        ratio.clear();
        for (size_t i = 0; i < n; ++i) {
            const EdgePoint &p = points[i];
            const cv::Point2d q = turn(p.x, p.y, c, s);
            const cv::Point2d m = turn(p.nx, p.ny, c, s);
            const EdgeHit hit = measureEdge(image, cv::Point2f(float(pose.x + q.x), float(pose.y + q.y)),
                                            cv::Point2f(float(m.x), float(m.y)), reach, ignorePolarity);
            // An edge clipped here but not in the model would pull the pose towards its unclipped
            // side: it is left out. One clipped in both (a saturated glint, a black hole) is cut
            // off alike in both and stays.
            found[i] = hit.found && (!hit.clipped || (p.clipped && std::abs(hit.strength / p.strength - 1.0f) < 0.1f));
            offset[i] = hit.offset;
            strength[i] = hit.strength;
            // d(position)/d(angle) of a turned point is (q.y, -q.x).
            jacobian[i] = {m.x, m.y, fitAngle ? m.x * q.y - m.y * q.x : 0.0};
            if (found[i] && p.strength > 0.0f)
                ratio.push_back(hit.strength / p.strength);
        }
        // Illumination gain of the scene against the model, from the typical edge: lets the strength
        // test below follow a darker or brighter image.
        if (!ratio.empty()) {
            std::nth_element(ratio.begin(), ratio.begin() + ratio.size() / 2, ratio.end());
            gain = std::clamp(ratio[ratio.size() / 2], 0.05, 20.0);
        }
        for (size_t i = 0; i < n; ++i)
            if (found[i] && strength[i] < 0.3 * gain * points[i].strength)
                found[i] = 0;
    };

    auto solve = [&](double cutoff, double *delta, int *fitted) {
        // Iteratively reweighted least squares with Tukey's biweight on the residuals.
        double d[3] = {0.0, 0.0, 0.0};
        for (int round = 0; round < 4; ++round) {
            cv::Matx33d a = cv::Matx33d::zeros();
            cv::Vec3d b(0.0, 0.0, 0.0);
            int used = 0;
            for (size_t i = 0; i < n; ++i) {
                if (!found[i])
                    continue;
                const auto &j = jacobian[i];
                const double r = offset[i] - (j[0] * d[0] + j[1] * d[1] + j[2] * d[2]);
                double w = 0.0;
                if (std::abs(r) < cutoff) {
                    const double u = r / cutoff;
                    w = (1.0 - u * u) * (1.0 - u * u);
                }
                if (round == 0)
                    w = std::abs(offset[i]) < cutoff ? 1.0 : 0.0;
                // Weak edges (shaded or partly hidden) place their points less surely.
                const double sure = std::min(1.0, strength[i] / (gain * points[i].strength));
                w *= sure * sure;
                if (w <= 0.0)
                    continue;
                ++used;
                for (int r1 = 0; r1 < 3; ++r1) {
                    b[r1] += w * j[size_t(r1)] * offset[i];
                    for (int c1 = 0; c1 < 3; ++c1)
                        a(r1, c1) += w * j[size_t(r1)] * j[size_t(c1)];
                }
            }
            *fitted = used;
            if (used < 3)
                return false;
            if (!fitAngle)
                a(2, 2) = 1.0;  // the angle row is empty: keep it still
            cv::Vec3d x;
            if (!cv::solve(a, b, x, cv::DECOMP_CHOLESKY))
                return false;
            d[0] = x[0];
            d[1] = x[1];
            d[2] = x[2];
        }
        delta[0] = d[0];
        delta[1] = d[1];
        delta[2] = d[2];
        return true;
    };

    for (int it = 0; it < iterations; ++it) {
        const bool first = it == 0;
        // The first round reaches far for the pyramid's leftover error; later rounds stay close to
        // the fitted edges, so that nearby clutter and noise peaks are not picked up.
        measure(first ? 3.0f : 1.0f);
        double delta[3];
        if (!solve(first ? 3.0 : 1.0, delta, &pose.fitted))
            return pose;
        pose.x += delta[0];
        pose.y += delta[1];
        pose.angle += delta[2];
        // Movement in pixels, the turn counted at 200 pixels from the centre; a hundredth of a pixel
        // more is far below what noise leaves.
        const double moved = std::abs(delta[0]) + std::abs(delta[1]) + std::abs(delta[2]) * 200.0;
        if (!first && moved < 0.01)
            break;
    }
    return pose;
}

}  // namespace ShapeModel
