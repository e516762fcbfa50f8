#include "vision/edgepoint.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>

void Rect2RotateRect(const cv::Rect &rect, int direction, _EdgePointDetParam &param)
{
    param.centerX = rect.x + rect.width / 2;
    param.centerY = rect.y + rect.height / 2;
    if (direction == 1) {
        param.angle = 90.0;
        param.width = rect.height;
        param.height = rect.width;
    } else {
        param.angle = 0.0;
        param.width = rect.width;
        param.height = rect.height;
    }
}

float DistP2P(const cv::Point2f &a, const cv::Point2f &b)
{
    const float dx = a.x - b.x;
    const float dy = a.y - b.y;
    return std::sqrt(dx * dx + dy * dy);
}

bool clcEdgePoint(const cv::Mat &image, _EdgePointDetParam &param)
{
    param.points.clear();
    param.found = false;
    const int w = param.width;
    const int h = param.height;
    if (w < 1 || h < 1 || image.empty())
        return false;

    // Strip coordinates (u along, v across) to image coordinates.
    const double a = param.angle * CV_PI / 180.0;
    const double c = std::cos(a);
    const double s = std::sin(a);
    auto toImage = [&](double u, double v) {
        const double du = u - w / 2.0;
        const double dv = v - h / 2.0;
        return cv::Point2f(float(param.centerX + du * c - dv * s), float(param.centerY + du * s + dv * c));
    };
    const cv::Point2f from[4] = {toImage(0, 0), toImage(w, 0), toImage(w, h), toImage(0, h)};
    const cv::Point2f to[4] = {{0.f, 0.f}, {float(w), 0.f}, {float(w), float(h)}, {0.f, float(h)}};
    const cv::Mat warp = cv::getPerspectiveTransform(from, to);
    cv::Mat strip;
    cv::warpPerspective(image, strip, warp, cv::Size(w, h), cv::INTER_LINEAR, cv::BORDER_CONSTANT);
    if (strip.channels() == 4)
        cv::cvtColor(strip, strip, cv::COLOR_RGBA2GRAY);
    else if (strip.channels() == 3)
        cv::cvtColor(strip, strip, cv::COLOR_BGR2GRAY);

    cv::Mat profileMat;
    cv::reduce(strip, profileMat, 0, cv::REDUCE_AVG, CV_64F);
    const double *p = profileMat.ptr<double>(0);

    // Gradient in the walking direction, by polarity, below the sensitivity cut away.
    std::vector<double> g(w, 0.0);
    const bool backwards = param.direction == 1;
    for (int x = 0; x < w; ++x) {
        const int prev = backwards ? x + 1 : x - 1;
        if (prev < 0 || prev >= w)
            continue;
        const double d = p[x] - p[prev];
        double v;
        if (param.polarity == 0)
            v = std::abs(d);
        else if (param.polarity == 1)
            v = d < 0 ? -d : 0.0;
        else
            v = d > 0 ? d : 0.0;
        g[x] = v < param.sensitivity ? 0.0 : v;
    }

    // Moving average; at the ends over the columns that exist.
    std::vector<double> smooth(w, 0.0);
    const int half = std::max(param.smoothWindow, 1) / 2;
    for (int x = 0; x < w; ++x) {
        const int lo = std::max(0, x - half);
        const int hi = std::min(w - 1, x + half);
        double sum = 0.0;
        for (int k = lo; k <= hi; ++k)
            sum += g[k];
        smooth[x] = sum / (hi - lo + 1);
    }

    const double peak = *std::max_element(smooth.begin(), smooth.end());
    const double threshold = param.relThreshold * peak / 100.5;

    // Walk, compressing runs of equal values; a run higher than both neighbouring runs is an
    // edge at its middle.
    std::vector<int> order(w);
    for (int k = 0; k < w; ++k)
        order[k] = backwards ? w - 1 - k : k;
    struct Run { double value; int first; int last; };
    std::vector<Run> runs;
    for (int k = 0; k < w; ++k) {
        const int x = order[k];
        if (!runs.empty() && runs.back().value == smooth[x])
            runs.back().last = x;
        else
            runs.push_back({smooth[x], x, x});
    }
    for (size_t r = 0; r < runs.size(); ++r) {
        const Run &run = runs[r];
        if (run.value <= threshold || run.value <= 0.0)
            continue;
        const bool aboveBefore = r == 0 || runs[r - 1].value < run.value;
        const bool aboveAfter = r + 1 == runs.size() || runs[r + 1].value < run.value;
        if (aboveBefore && aboveAfter) {
            const double u = (run.first + run.last) / 2.0;
            param.points.push_back(toImage(u, h / 2.0));
        }
    }
    param.found = !param.points.empty();
    return param.found;
}
