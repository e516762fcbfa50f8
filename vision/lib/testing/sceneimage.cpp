#include "vision/lib/testing/sceneimage.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>

namespace SceneImage {

namespace {

constexpr int SubPixelBits = 4;  // vertex precision of the anti-aliased drawing: 1/16 px
constexpr double SubPixelScale = 1 << SubPixelBits;

// Band-limited noise of unit standard deviation: white noise blurred at the given scale. Coarse
// scales are made small and enlarged, which keeps scene generation fast.
cv::Mat smoothNoise(cv::Size size, double sigma, cv::RNG &rng)
{
    const int factor = std::max(1, int(sigma / 3.0));
    const cv::Size small((size.width + factor - 1) / factor + 2, (size.height + factor - 1) / factor + 2);
    cv::Mat noise(small, CV_32F);
    rng.fill(noise, cv::RNG::NORMAL, 0.0, 1.0);
    cv::GaussianBlur(noise, noise, cv::Size(), sigma / factor, sigma / factor, cv::BORDER_REFLECT_101);
    if (factor > 1)
        cv::resize(noise, noise, cv::Size(small.width * factor, small.height * factor), 0, 0, cv::INTER_LINEAR);
    noise = noise(cv::Rect(cv::Point(factor, factor), size)).clone();
    cv::Scalar mean, stddev;
    cv::meanStdDev(noise, mean, stddev);
    noise = (noise - mean[0]) / std::max(stddev[0], 1e-9);
    return noise;
}

std::vector<cv::Point> fixedPoint(const std::vector<cv::Point2d> &points)
{
    std::vector<cv::Point> out;
    out.reserve(points.size());
    for (const cv::Point2d &p : points)
        out.emplace_back(cvRound(p.x * SubPixelScale), cvRound(p.y * SubPixelScale));
    return out;
}

// Outline of a part in scene coordinates (rings give two outlines: outer and hole).
std::vector<std::vector<cv::Point2d>> outlines(const Part &part)
{
    std::vector<std::vector<cv::Point2d>> result;
    const double a = part.angleDeg * CV_PI / 180.0;
    const double c = std::cos(a), s = std::sin(a);
    // Counter-clockwise on screen, as the scene poses turn.
    auto place = [&](double x, double y) {
        return cv::Point2d(part.centre.x + c * x + s * y, part.centre.y - s * x + c * y);
    };
    auto circle = [&](double radius) {
        std::vector<cv::Point2d> ring;
        const int steps = std::max(24, int(radius * 2.0));
        for (int i = 0; i < steps; ++i) {
            const double t = 2.0 * CV_PI * i / steps;
            ring.push_back(place(radius * std::cos(t), radius * std::sin(t)));
        }
        return ring;
    };
    switch (part.shape) {
    case PartShape::Rectangle: {
        const double w = part.size.width / 2.0, h = part.size.height / 2.0;
        result.push_back({place(-w, -h), place(w, -h), place(w, h), place(-w, h)});
        break;
    }
    case PartShape::Disc:
        result.push_back(circle(part.size.width / 2.0));
        break;
    case PartShape::Ring:
        result.push_back(circle(part.size.width / 2.0));
        result.push_back(circle(part.size.width / 4.0));
        break;
    case PartShape::Polygon: {
        std::vector<cv::Point2d> poly;
        for (const cv::Point2d &v : part.outline)
            poly.push_back(place(v.x, v.y));
        result.push_back(poly);
        break;
    }
    }
    return result;
}

// Blends `gray` into `canvas` (CV_32F) with the anti-aliased coverage of the outlines.
void fillAntiAliased(cv::Mat &canvas, const std::vector<std::vector<cv::Point2d>> &rings, double gray)
{
    std::vector<std::vector<cv::Point>> polys;
    cv::Rect box;
    for (const auto &ring : rings) {
        polys.push_back(fixedPoint(ring));
        std::vector<cv::Point> whole;
        for (const cv::Point2d &p : ring)
            whole.emplace_back(cvFloor(p.x), cvFloor(p.y));
        box |= cv::boundingRect(whole);
    }
    box = cv::Rect(box.x - 2, box.y - 2, box.width + 5, box.height + 5) & cv::Rect(0, 0, canvas.cols, canvas.rows);
    if (box.empty())
        return;
    cv::Mat coverage(box.size(), CV_8U, cv::Scalar(0));
    const cv::Point offset(-box.x * int(SubPixelScale), -box.y * int(SubPixelScale));
    // The even-odd fill of fillPoly leaves the inner ring of a ring part empty.
    cv::fillPoly(coverage, polys, cv::Scalar(255), cv::LINE_AA, SubPixelBits, offset);
    cv::Mat alpha;
    coverage.convertTo(alpha, CV_32F, 1.0 / 255.0);
    cv::Mat roi = canvas(box);
    roi = roi.mul(1.0 - alpha) + alpha * gray;
}

}  // namespace

cv::Matx23d Pose::matrix() const
{
    cv::Mat rotation = cv::getRotationMatrix2D(centre, angleDeg, 1.0);
    cv::Matx23d m(rotation);
    m(0, 2) += shift.x;
    m(1, 2) += shift.y;
    return m;
}

cv::Point2d Pose::apply(const cv::Point2d &point) const
{
    const cv::Matx23d m = matrix();
    return {m(0, 0) * point.x + m(0, 1) * point.y + m(0, 2), m(1, 0) * point.x + m(1, 1) * point.y + m(1, 2)};
}

Scene::Scene(cv::Size size, std::uint64_t seed, const SceneOptions &options)
    : m_size(size), m_seed(seed), m_options(options)
{
    cv::RNG rng(seed);
    const double mid = 0.5 * (options.grayLow + options.grayHigh);
    // Mould steel: slow shading, medium blotches and a fine grain.
    m_texture = smoothNoise(size, 40.0, rng) * (options.textureSigma * 0.6)
        + smoothNoise(size, 6.0, rng) * (options.textureSigma * 0.6)
        + smoothNoise(size, 1.2, rng) * (options.textureSigma * 0.5)
        + mid;

    const double span = options.grayHigh - options.grayLow;
    for (int i = 0; i < options.partCount; ++i) {
        Part part;
        part.shape = static_cast<PartShape>(rng.uniform(0, 4));
        part.centre = {rng.uniform(0.0, double(size.width)), rng.uniform(0.0, double(size.height))};
        const double w = rng.uniform(options.partMinSize, options.partMaxSize);
        part.size = {w, w * rng.uniform(0.35, 1.0)};
        part.angleDeg = rng.uniform(0.0, 180.0);
        // Parts stand out from the background by at least a fifth of the gray range.
        const double side = rng.uniform(0, 2) ? 1.0 : -1.0;
        const double gray = mid + side * rng.uniform(0.2, 0.45) * span;
        part.gray = std::clamp(int(std::lround(gray)), options.grayLow, options.grayHigh);
        if (part.shape == PartShape::Polygon) {
            const int corners = rng.uniform(5, 9);
            for (int k = 0; k < corners; ++k) {
                const double t = 2.0 * CV_PI * (k + rng.uniform(-0.3, 0.3)) / corners;
                const double r = 0.5 * w * rng.uniform(0.45, 1.0);
                part.outline.emplace_back(r * std::cos(t), r * std::sin(t));
            }
        }
        m_parts.push_back(part);
    }
}

void Scene::addPart(const Part &part)
{
    m_parts.push_back(part);
    m_reference.release();
}

void Scene::removePart(int index)
{
    CV_Assert(index >= 0 && index < int(m_parts.size()));
    m_parts.erase(m_parts.begin() + index);
    m_reference.release();
}

void Scene::draw() const
{
    cv::Mat canvas = m_texture.clone();
    for (const Part &part : m_parts)
        fillAntiAliased(canvas, outlines(part), part.gray);
    // The grain lies over parts too; a light blur stands in for the lens.
    cv::RNG rng(m_seed ^ 0x9e3779b97f4a7c15ULL);
    canvas += smoothNoise(m_size, 1.0, rng) * (m_options.textureSigma * 0.4);
    cv::GaussianBlur(canvas, canvas, cv::Size(), 0.7, 0.7, cv::BORDER_REFLECT_101);
    canvas.convertTo(m_reference, CV_8U);
}

const cv::Mat &Scene::reference() const
{
    if (m_reference.empty())
        draw();
    return m_reference;
}

cv::Mat Scene::render(const Pose &pose) const
{
    return render(pose, cv::Rect(cv::Point(), m_size));
}

cv::Mat Scene::render(const Pose &pose, const cv::Rect &window) const
{
    cv::Matx23d m = pose.matrix();
    m(0, 2) -= window.x;
    m(1, 2) -= window.y;
    cv::Mat out;
    cv::warpAffine(reference(), out, cv::Mat(m), window.size(), cv::INTER_CUBIC, cv::BORDER_REFLECT_101);
    return out;
}

void applyIllumination(cv::Mat &image, double gain, double offset)
{
    image.convertTo(image, CV_8U, gain, offset);
}

void addNoise(cv::Mat &image, double sigma, std::uint64_t seed)
{
    CV_Assert(image.type() == CV_8U);
    cv::RNG rng(seed);
    cv::Mat noise(image.size(), CV_16S);
    rng.fill(noise, cv::RNG::NORMAL, 0.0, sigma);
    cv::add(image, noise, image, cv::noArray(), CV_8U);
}

cv::RotatedRect coveringBox(const cv::Rect &area, double fraction, const Pose &pose, cv::RNG &rng)
{
    const double target = fraction * area.width * area.height;
    double w = std::sqrt(target * rng.uniform(0.5, 2.0));
    w = std::min(w, double(area.width));
    double h = std::min(target / w, double(area.height));
    w = std::min(target / h, double(area.width));
    const cv::Point2d centre(area.x + rng.uniform(w / 2.0, std::max(w / 2.0 + 1e-9, area.width - w / 2.0)),
                             area.y + rng.uniform(h / 2.0, std::max(h / 2.0 + 1e-9, area.height - h / 2.0)));
    const cv::Point2d moved = pose.apply(centre);
    // RotatedRect turns clockwise on screen; poses turn counter-clockwise.
    return cv::RotatedRect(cv::Point2f(float(moved.x), float(moved.y)), cv::Size2f(float(w), float(h)),
                           float(-pose.angleDeg));
}

void paintForeignObject(cv::Mat &image, const cv::RotatedRect &box, int gray, std::uint64_t seed)
{
    CV_Assert(image.type() == CV_8U);
    cv::Point2f corners[4];
    box.points(corners);
    std::vector<cv::Point2d> ring(corners, corners + 4);
    const cv::Rect bounds = (cv::boundingRect(std::vector<cv::Point2f>(corners, corners + 4)) + cv::Size(2, 2)
                          - cv::Point(1, 1)) & cv::Rect(0, 0, image.cols, image.rows);
    if (bounds.empty())
        return;
    for (cv::Point2d &p : ring)
        p -= cv::Point2d(bounds.tl());
    cv::Mat coverage(bounds.size(), CV_8U, cv::Scalar(0));
    cv::fillPoly(coverage, std::vector<std::vector<cv::Point>>{fixedPoint(ring)}, cv::Scalar(255), cv::LINE_AA,
                 SubPixelBits);
    cv::Mat alpha, canvas;
    coverage.convertTo(alpha, CV_32F, 1.0 / 255.0);
    image(bounds).convertTo(canvas, CV_32F);
    cv::RNG rng(seed);
    const cv::Mat object = smoothNoise(bounds.size(), 1.5, rng) * 4.0 + gray;
    canvas = canvas.mul(1.0 - alpha) + object.mul(alpha);
    canvas.convertTo(image(bounds), CV_8U);
}

void addDefect(cv::Mat &image, cv::Point topLeft, int sizePx, int contrast, DefectShape shape)
{
    CV_Assert(image.type() == CV_8U);
    const cv::Rect box = cv::Rect(topLeft, cv::Size(sizePx, sizePx)) & cv::Rect(0, 0, image.cols, image.rows);
    if (box.empty())
        return;
    cv::Mat mask(box.size(), CV_8U, cv::Scalar(255));
    if (shape == DefectShape::Disc) {
        mask.setTo(0);
        // Centre and radius in 1/16 px so even sizes stay centred on the square.
        const cv::Point centre(cvRound((topLeft.x - box.x + (sizePx - 1) / 2.0) * SubPixelScale),
                               cvRound((topLeft.y - box.y + (sizePx - 1) / 2.0) * SubPixelScale));
        cv::circle(mask, centre, cvRound(sizePx / 2.0 * SubPixelScale), cv::Scalar(255), cv::FILLED,
                   cv::LINE_8, SubPixelBits);
    }
    cv::Mat roi = image(box);
    if (contrast >= 0)
        cv::add(roi, cv::Scalar(contrast), roi, mask);
    else
        cv::subtract(roi, cv::Scalar(-contrast), roi, mask);
}

}  // namespace SceneImage
