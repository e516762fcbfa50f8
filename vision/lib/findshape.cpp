#include "vision/lib/findshape.h"

#include "vision/lib/shapemodel.h"

#include <opencv2/core/hal/intrin.hpp>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

using ShapeModel::EdgePoint;

namespace {

// Pyramid levels at most, full resolution included.
constexpr int MaxLevels = 6;
constexpr double DefaultMinScore = 0.5;
// Coarse scan: a candidate must reach this part of the model's own minimum score.
constexpr double CoarseScoreShare = 0.6;
// Enough distinct edge points for a level to be the coarsest one.
constexpr int MinCoarseFeatures = 24;
// Smallest side of the pattern on the coarsest level: smaller parts of it would vanish there.
constexpr int MinCoarseSide = 32;
// Coarse edge points that re-rank the peaks of the scan.
constexpr int MaxCoarseRankPoints = 200;
// Peaks of the scan that are re-ranked, per candidate followed further.
constexpr int RankShare = 4;
// After re-ranking, peaks below this share of the best are clutter.
constexpr double RankKeep = 0.7;
// The final fit must rest on at least this many of its points.
constexpr int MinFitPoints = 24;

double toRadians(double degrees) { return degrees * CV_PI / 180.0; }

double wrapDegrees(double degrees)
{
    double a = std::fmod(degrees, 360.0);
    if (a <= -180.0)
        a += 360.0;
    else if (a > 180.0)
        a -= 360.0;
    return a;
}

// The model centre in pixels of level l: x_l = (x_0 + 0.5) / 2^l - 0.5.
cv::Point2d levelCentre(const cv::Point2d &centre, int l)
{
    const double scale = 1.0 / (1 << l);
    return {(centre.x + 0.5) * scale - 0.5, (centre.y + 0.5) * scale - 0.5};
}

// Interpolates linearly between the values at speed 1 and speed 100.
int bySpeed(int speed, int atSlowest, int atFastest)
{
    return atSlowest + int(std::lround((atFastest - atSlowest) * (speed - 1) / 99.0));
}

struct TurnedFeature {
    std::int16_t dx;
    std::int16_t dy;
    std::uint8_t bin;
};

struct Candidate {
    int x = 0;  // on the current level
    int y = 0;
    double angle = 0.0;  // degrees
    double score = 0.0;
    int angleIndex = 0;  // coarse scan only
};

}  // namespace

struct FindShape::Model {
    struct Level {
        std::vector<EdgePoint> points;  // relative to the model centre, in pixels of the level
        double angleStep = 1.0;         // degrees
        float imageThreshold = 0.0f;    // least gradient counted in the window, Sobel units
    };
    int levels = 1;
    int angleRange = 0;
    cv::Point reference;
    bool ignorePolarity = false;
    double minScore = DefaultMinScore;
    int flags = 0;
    int candidates = 5;
    std::vector<Level> level;
    // Coarsest level: the feature points turned through every angle of the scan.
    std::vector<double> coarseAngles;
    std::vector<std::vector<TurnedFeature>> turned;
    // All coarse edge points, turned the same way: they re-rank the scan's peaks.
    // Three entries per scan angle: half a step below, at and above it.
    std::vector<std::vector<TurnedFeature>> turnedAll;
    double coarseStep = 0.0;
    int coarsePad = 0;
    // Full resolution: sub-pixel edge points for the final fit.
    std::vector<EdgePoint> finePoints;
};

struct FindShape::Buffers {
    std::vector<cv::Mat> pyramid;
    ShapeModel::ResponseMaps responses;
    std::vector<std::uint8_t> best;
    std::vector<std::uint8_t> bestAngle;
};

FindShape::FindShape() = default;
FindShape::~FindShape() = default;
FindShape::FindShape(const FindShape &other) = default;
FindShape &FindShape::operator=(const FindShape &other) = default;
FindShape::FindShape(FindShape &&other) noexcept = default;
FindShape &FindShape::operator=(FindShape &&other) noexcept = default;

bool FindShape::IsValid() const { return m_model != nullptr; }

void FindShape::Clear() { m_model.reset(); }

int FindShape::Levels() const { return m_model ? m_model->levels : 0; }

int FindShape::AngleRange() const { return m_model ? m_model->angleRange : 0; }

cv::Point FindShape::ReferenceCentre() const { return m_model ? m_model->reference : cv::Point(); }

bool FindShape::CreateShape(const cv::Mat &patch, double minScore, int numLevels, int angleRange, int centreX,
                            int centreY, bool ignorePolarity, int edgeContrast, const cv::Mat &mask, int speed,
                            int flags)
{
    Clear();
    if (patch.empty() || patch.type() != CV_8U || patch.rows < 8 || patch.cols < 8)
        return false;
    if (!mask.empty() && (mask.size() != patch.size() || mask.type() != CV_8U))
        return false;
    speed = std::clamp(speed, 1, 100);
    auto model = std::make_shared<Model>();
    model->angleRange = std::clamp(angleRange, 0, 180);
    model->reference = {centreX, centreY};
    model->ignorePolarity = ignorePolarity;
    model->minScore = minScore > 0.0 ? std::min(minScore, 1.0) : DefaultMinScore;
    model->flags = flags;
    model->candidates = bySpeed(speed, 10, 3);

    // Pyramids of the patch and of its mask; a coarse mask pixel counts only when fully inside.
    std::vector<cv::Mat> image(1, patch), inside(1);
    if (mask.empty())
        inside[0] = cv::Mat(patch.size(), CV_8U, cv::Scalar(255));
    else
        inside[0] = mask != 0;
    while (int(image.size()) < MaxLevels && std::min(image.back().rows, image.back().cols) >= 16) {
        cv::Mat smaller, smallerMask;
        ShapeModel::halve(image.back(), smaller);
        ShapeModel::halve(inside.back(), smallerMask);
        image.push_back(smaller);
        inside.push_back(smallerMask >= 255);
    }
    const int available = int(image.size());
    std::vector<float> threshold(static_cast<size_t>(available));
    std::vector<std::vector<EdgePoint>> edges(static_cast<size_t>(available));
    for (int l = 0; l < available; ++l) {
        threshold[size_t(l)] = edgeContrast > 0 && edgeContrast < 255
            ? 4.0f * float(edgeContrast)
            : ShapeModel::automaticThreshold(image[size_t(l)], inside[size_t(l)]);
        edges[size_t(l)] = ShapeModel::edgePixels(image[size_t(l)], inside[size_t(l)], threshold[size_t(l)]);
    }
    if (edges[0].size() < 8)
        return false;

    int top = 0;
    if (numLevels > 0) {
        top = std::min(numLevels, available) - 1;
    } else {
        for (int l = available - 1; l > 0; --l)
            if (int(edges[size_t(l)].size()) >= MinCoarseFeatures
                && std::min(image[size_t(l)].rows, image[size_t(l)].cols) >= MinCoarseSide) {
                top = l;
                break;
            }
    }
    model->levels = top + 1;
    model->level.resize(size_t(top + 1));

    const cv::Point2d centre(patch.cols / 2, patch.rows / 2);
    for (int l = 0; l <= top; ++l) {
        const cv::Point2d c = levelCentre(centre, l);
        const int count = l == top ? bySpeed(speed, ShapeModel::MaxTopFeatures, 33) : bySpeed(speed, 96, 48);
        Model::Level &level = model->level[size_t(l)];
        level.points = ShapeModel::spreadSelect(edges[size_t(l)], count);
        double radius = 1.0;
        for (EdgePoint &p : level.points) {
            p.x -= float(c.x);
            p.y -= float(c.y);
            radius = std::max(radius, std::hypot(double(p.x), double(p.y)));
        }
        // One step moves the farthest point by about one pixel of the level.
        level.angleStep = std::atan2(1.0, radius) * 180.0 / CV_PI;
        // Darker scenes (gain down to a third) keep their edges above this.
        level.imageThreshold = 0.3f * threshold[size_t(l)];
    }

    // Points for the final fit: thinned edges of the full-resolution patch, moved onto their
    // sub-pixel edge position the same way the search measures the window.
    for (EdgePoint p : ShapeModel::spreadSelect(edges[0], bySpeed(speed, 400, 120))) {
        cv::Point2f at(p.x, p.y);
        const cv::Point2f normal(p.nx, p.ny);
        ShapeModel::EdgeHit hit;
        for (int round = 0; round < 2; ++round) {
            hit = ShapeModel::measureEdge(patch, at, normal, 1.5f, ignorePolarity);
            if (!hit.found)
                break;
            at += normal * hit.offset;
        }
        if (!hit.found || std::abs(at.x - p.x) + std::abs(at.y - p.y) > 1.5f)
            continue;
        p.x = float(at.x - centre.x);
        p.y = float(at.y - centre.y);
        p.strength = hit.strength;
        p.clipped = hit.clipped;
        model->finePoints.push_back(p);
    }
    if (model->finePoints.size() < 8)
        return false;

    // Coarse scan angles: the whole range in steps of the coarsest level.
    const Model::Level &coarse = model->level[size_t(top)];
    // The scan tolerates one pixel of misplacement (its 3 x 3 spread), so its angle step may move
    // the farthest point by one and a half pixels.
    const double step = 1.5 * coarse.angleStep * (1.0 + 0.5 * (speed - 1) / 99.0);
    if (model->angleRange == 0) {
        model->coarseAngles = {0.0};
    } else if (model->angleRange >= 180) {
        const int count = std::min(255, int(std::ceil(360.0 / step)));
        for (int k = 0; k < count; ++k)
            model->coarseAngles.push_back(-180.0 + (k + 1) * 360.0 / count);
    } else {
        const int half = std::min(127, int(std::ceil(model->angleRange / step)));
        const double fitted = std::max(double(model->angleRange) / half, step);
        for (int k = -half; k <= half; ++k)
            model->coarseAngles.push_back(k * fitted);
    }
    std::vector<EdgePoint> allCoarse = ShapeModel::spreadSelect(edges[size_t(top)], MaxCoarseRankPoints);
    const cv::Point2d coarseCentre = levelCentre(centre, top);
    for (EdgePoint &p : allCoarse) {
        p.x -= float(coarseCentre.x);
        p.y -= float(coarseCentre.y);
    }
    double radius = 0.0;
    auto turnPoints = [&](const std::vector<EdgePoint> &points, double angle) {
        const double a = toRadians(angle), c = std::cos(a), s = std::sin(a);
        std::vector<TurnedFeature> features;
        for (const EdgePoint &p : points) {
            const cv::Point2d q = ShapeModel::turn(p.x, p.y, c, s);
            const cv::Point2d n = ShapeModel::turn(p.nx, p.ny, c, s);
            const TurnedFeature f{std::int16_t(std::lround(q.x)), std::int16_t(std::lround(q.y)),
                                  std::uint8_t(ShapeModel::orientationBin(n.x, n.y))};
            radius = std::max({radius, std::abs(double(f.dx)), std::abs(double(f.dy))});
            features.push_back(f);
        }
        return features;
    };
    model->coarseStep = model->coarseAngles.size() > 1 ? model->coarseAngles[1] - model->coarseAngles[0] : step;
    for (const double angle : model->coarseAngles) {
        model->turned.push_back(turnPoints(coarse.points, angle));
        for (int half = -1; half <= 1; ++half)
            model->turnedAll.push_back(turnPoints(allCoarse, angle + 0.5 * half * model->coarseStep));
    }
    model->coarsePad = int(radius) / 2 + 2;
    m_model = std::move(model);
    return true;
}

namespace {

// The coarse scan: the feature points of every angle summed over the response maps at every scan
// position; `best` keeps the highest sum of each position and `bestAngle` the angle that gave it.
void scanAngles(const ShapeModel::ResponseMaps &maps, const std::vector<std::vector<TurnedFeature>> &turned,
                std::vector<std::uint8_t> &bestSums, std::vector<std::uint8_t> &bestAngles)
{
    // The scan positions are contiguous in the quarter maps' rows, padding columns included: each
    // block of 16 positions sums all features of an angle in registers, the padding columns' sums
    // are never read.
    const size_t padded = (size_t(maps.gridRows) * size_t(maps.stride) + 15) & ~size_t(15);
    bestSums.assign(padded, 0);
    bestAngles.assign(padded, 0);
    std::uint8_t *best = bestSums.data();
    std::uint8_t *bestAngle = bestAngles.data();
    std::vector<const std::uint8_t *> sources;
    for (size_t k = 0; k < turned.size(); ++k) {
        sources.clear();
        for (const TurnedFeature &f : turned[k])
            sources.push_back(maps.scanStart(f.bin, f.dx, f.dy));
        const std::uint8_t *const *src = sources.data();
        const size_t count = sources.size();
        size_t j = 0;
#if CV_SIMD128
        const cv::v_uint8x16 index = cv::v_setall_u8(std::uint8_t(k));
        for (; j < padded; j += 16) {
            cv::v_uint8x16 sum = cv::v_setzero_u8();
            for (size_t i = 0; i < count; ++i)
                sum = sum + cv::v_load(src[i] + j);
            const cv::v_uint8x16 old = cv::v_load(best + j);
            cv::v_store(best + j, cv::v_max(sum, old));
            cv::v_store(bestAngle + j, cv::v_select(sum > old, index, cv::v_load(bestAngle + j)));
        }
#endif
        for (; j < padded; ++j) {
            int sum = 0;
            for (size_t i = 0; i < count; ++i)
                sum += src[i][j];
            if (sum > best[j]) {
                best[j] = std::uint8_t(std::min(sum, 255));
                bestAngle[j] = std::uint8_t(k);
            }
        }
    }
}

// Local maxima of the scan with at least `floorSum`, strongest first, in pixels of the coarse level;
// the score is the raw sum and the angle only its index.
std::vector<Candidate> scanPeaks(const ShapeModel::ResponseMaps &maps, const std::vector<std::uint8_t> &best,
                                 const std::vector<std::uint8_t> &bestAngle, int floorSum)
{
    const int stride = maps.stride, rows = maps.gridRows, cols = maps.gridCols;
    std::vector<Candidate> found;
    for (int y = 0; y < rows; ++y) {
        const std::uint8_t *row = best.data() + size_t(y) * stride;
        for (int x = 0; x < cols; ++x) {
            const int v = row[x];
            if (v < floorSum)
                continue;
            bool peak = true;
            for (int dy = -1; dy <= 1 && peak; ++dy)
                for (int dx = -1; dx <= 1; ++dx) {
                    const int xx = x + dx, yy = y + dy;
                    if ((dx == 0 && dy == 0) || xx < 0 || yy < 0 || xx >= cols || yy >= rows)
                        continue;
                    const int u = best[size_t(yy) * stride + xx];
                    // Ties go to the first in scan order.
                    if (u > v || (u == v && (dy < 0 || (dy == 0 && dx < 0)))) {
                        peak = false;
                        break;
                    }
                }
            if (peak)
                found.push_back({2 * x, 2 * y, 0.0, double(v), bestAngle[size_t(y) * stride + x]});
        }
    }
    std::sort(found.begin(), found.end(), [](const Candidate &a, const Candidate &c) { return a.score > c.score; });
    return found;
}

// The first `count` of the sorted candidates of which no two lie within `apart` pixels and
// `angleApart` degrees of each other.
std::vector<Candidate> distinctBest(const std::vector<Candidate> &sorted, size_t count, double apart,
                                    double angleApart)
{
    std::vector<Candidate> kept;
    const double apart2 = apart * apart;
    for (const Candidate &c : sorted) {
        bool distinct = true;
        for (const Candidate &k : kept) {
            const double dx = c.x - k.x, dy = c.y - k.y;
            if (dx * dx + dy * dy < apart2 && std::abs(wrapDegrees(c.angle - k.angle)) < angleApart) {
                distinct = false;
                break;
            }
        }
        if (!distinct)
            continue;
        kept.push_back(c);
        if (kept.size() >= count)
            break;
    }
    return kept;
}

// Normalised gradient agreement of turned points at an integer centre of one level: the mean of
// cos(model direction, image direction) over the points, counting weak image gradients as zero.
double agreement(const cv::Mat &image, const std::vector<cv::Point> &offsets, const std::vector<cv::Point2f> &dirs,
                 int cx, int cy, float minGradient2, bool ignorePolarity)
{
    double sum = 0.0;
    const int w = image.cols - 1, h = image.rows - 1;
    const size_t step = image.step[0];
    for (size_t i = 0; i < offsets.size(); ++i) {
        const int x = cx + offsets[i].x, y = cy + offsets[i].y;
        if (x < 1 || y < 1 || x >= w || y >= h)
            continue;
        const std::uint8_t *p = image.ptr<std::uint8_t>(y) + x;
        const float gx = float(p[1]) - float(p[-1]);
        const float gy = float(p[step]) - float(p[-std::ptrdiff_t(step)]);
        const float m2 = gx * gx + gy * gy;
        if (m2 < minGradient2)
            continue;
        float d = (gx * dirs[i].x + gy * dirs[i].y) / std::sqrt(m2);
        d = ignorePolarity ? std::abs(d) : std::max(d, 0.0f);
        sum += d;
    }
    return offsets.empty() ? 0.0 : sum / double(offsets.size());
}

// Hill climb in position (one pixel) and angle (one step) on one level until no neighbour is better.
void climb(const cv::Mat &image, const std::vector<EdgePoint> &points, double angleStep, float minGradient2,
           bool ignorePolarity, bool turns, Candidate &candidate)
{
    std::vector<cv::Point> offsets[3];
    std::vector<cv::Point2f> dirs[3];
    auto turnTo = [&](int slot, double angle) {
        const double a = toRadians(angle), c = std::cos(a), s = std::sin(a);
        offsets[slot].clear();
        dirs[slot].clear();
        for (const EdgePoint &p : points) {
            const cv::Point2d q = ShapeModel::turn(p.x, p.y, c, s);
            const cv::Point2d n = ShapeModel::turn(p.nx, p.ny, c, s);
            offsets[slot].emplace_back(int(std::lround(q.x)), int(std::lround(q.y)));
            dirs[slot].emplace_back(float(n.x), float(n.y));
        }
    };
    // The coarser level leaves up to two pixels and two angle steps of doubt here: look at all of
    // that first, with every second point, so that a ridge between position and angle or a nearby
    // parallel edge cannot hold the climb back.
    double best = -1.0;
    int startX = candidate.x, startY = candidate.y;
    double startAngle = candidate.angle;
    const int angleDoubt = turns ? 2 : 0;
    for (int k = -angleDoubt; k <= angleDoubt; ++k) {
        const double angle = candidate.angle + k * angleStep;
        turnTo(0, angle);
        std::vector<cv::Point> &o = offsets[2];
        std::vector<cv::Point2f> &d = dirs[2];
        o.clear();
        d.clear();
        for (size_t i = 0; i < offsets[0].size(); i += 2) {
            o.push_back(offsets[0][i]);
            d.push_back(dirs[0][i]);
        }
        for (int dy = -2; dy <= 2; ++dy)
            for (int dx = -2; dx <= 2; ++dx) {
                const double s = agreement(image, o, d, candidate.x + dx, candidate.y + dy, minGradient2,
                                           ignorePolarity);
                if (s > best + 1e-9) {
                    best = s;
                    startX = candidate.x + dx;
                    startY = candidate.y + dy;
                    startAngle = angle;
                }
            }
    }
    candidate.x = startX;
    candidate.y = startY;
    candidate.angle = startAngle;
    turnTo(1, candidate.angle);
    best = agreement(image, offsets[1], dirs[1], candidate.x, candidate.y, minGradient2, ignorePolarity);
    // Then each move tries the eight neighbouring positions at the current angle and the two
    // neighbouring angles at the best position; it stops where nothing is better.
    for (int move = 0; move < 8; ++move) {
        bool moved = false;
        int bx = candidate.x, by = candidate.y;
        for (int dy = -1; dy <= 1; ++dy)
            for (int dx = -1; dx <= 1; ++dx) {
                if (dx == 0 && dy == 0)
                    continue;
                const double s = agreement(image, offsets[1], dirs[1], candidate.x + dx, candidate.y + dy,
                                           minGradient2, ignorePolarity);
                if (s > best + 1e-9) {
                    best = s;
                    bx = candidate.x + dx;
                    by = candidate.y + dy;
                    moved = true;
                }
            }
        candidate.x = bx;
        candidate.y = by;
        int turnBy = 0;
        for (int k = 0; turns && k < 3; k += 2) {
            turnTo(k, candidate.angle + (k - 1) * angleStep);
            const double s = agreement(image, offsets[k], dirs[k], candidate.x, candidate.y, minGradient2,
                                       ignorePolarity);
            if (s > best + 1e-9) {
                best = s;
                turnBy = k - 1;
            }
        }
        if (turnBy != 0) {
            candidate.angle += turnBy * angleStep;
            std::swap(offsets[1], offsets[turnBy + 1]);
            std::swap(dirs[1], dirs[turnBy + 1]);
            moved = true;
        }
        if (!moved)
            break;
    }
    candidate.score = best;
}

// Gradient agreement of a level's points at a full-resolution pose (the final score).
double agreementAt(const cv::Mat &image, int level, const std::vector<EdgePoint> &points, double x0, double y0,
                   double angleDeg, float minGradient2, bool ignorePolarity)
{
    const double a = toRadians(angleDeg), c = std::cos(a), s = std::sin(a);
    std::vector<cv::Point> offsets;
    std::vector<cv::Point2f> dirs;
    const cv::Point2d at = levelCentre({x0, y0}, level);
    const double cx = at.x, cy = at.y;
    const int ix = int(std::lround(cx)), iy = int(std::lround(cy));
    for (const EdgePoint &p : points) {
        const cv::Point2d q = ShapeModel::turn(p.x, p.y, c, s);
        const cv::Point2d n = ShapeModel::turn(p.nx, p.ny, c, s);
        offsets.emplace_back(int(std::lround(cx + q.x)) - ix, int(std::lround(cy + q.y)) - iy);
        dirs.emplace_back(float(n.x), float(n.y));
    }
    return agreement(image, offsets, dirs, ix, iy, minGradient2, ignorePolarity);
}

}  // namespace

bool FindShape::FindMatch(const cv::Mat &window, double minScore, Match *match)
{
    if (!m_model || window.empty() || window.type() != CV_8U)
        return false;
    const Model &m = *m_model;
    // One set of search buffers per thread, shared by every model the thread searches with: a
    // station of eight cameras holds a few sets instead of one per camera and detection.
    thread_local Buffers b;
    const double least = minScore > 0.0 ? std::min(minScore, 1.0) : m.minScore;
    const int top = m.levels - 1;

    b.pyramid.resize(size_t(m.levels));
    b.pyramid[0] = window;
    // The window is only borrowed for this call: do not keep the caller's image alive.
    struct Return {
        cv::Mat &borrowed;
        ~Return() { borrowed.release(); }
    } giveBack{b.pyramid[0]};
    for (int l = 1; l <= top; ++l) {
        ShapeModel::halve(b.pyramid[size_t(l - 1)], b.pyramid[size_t(l)]);
        if (b.pyramid[size_t(l)].rows < 3 || b.pyramid[size_t(l)].cols < 3)
            return false;
    }

    // Coarse scan: every second position of the coarsest level, every angle of the range.
    const cv::Mat &coarse = b.pyramid[size_t(top)];
    const Model::Level &coarseLevel = m.level[size_t(top)];
    ShapeModel::computeResponses(coarse, coarseLevel.imageThreshold, m.ignorePolarity, m.coarsePad, b.responses);
    const ShapeModel::ResponseMaps &maps = b.responses;
    scanAngles(maps, m.turned, b.best, b.bestAngle);

    // Peaks of the scan above the coarse share of the least score, strongest first.
    const double full = double(ShapeModel::MaxResponse) * double(coarseLevel.points.size());
    const int floorSum = int(std::ceil(CoarseScoreShare * least * full));
    std::vector<Candidate> found = scanPeaks(maps, b.best, b.bestAngle, floorSum);
    for (Candidate &c : found) {
        c.angle = m.coarseAngles[size_t(c.angleIndex)];
        c.score /= full;
    }
    auto byScore = [](const Candidate &a, const Candidate &c) { return a.score > c.score; };

    // The best distinct peaks, no two within a quarter of the pattern and two angle steps.
    double radius = 0.0;
    for (const EdgePoint &p : coarseLevel.points)
        radius = std::max(radius, double(std::hypot(p.x, p.y)));
    const double apart = std::max(2.0, radius / 4.0);
    const double angleApart = m.coarseAngles.size() > 1 ? 2.5 * (m.coarseAngles[1] - m.coarseAngles[0]) : 1.0;
    std::vector<Candidate> candidates = distinctBest(found, size_t(RankShare * m.candidates), apart, angleApart);

    // Re-rank with all coarse edge points at the four pixels of each scan cell and half an angle step
    // either side: the scan's few points are quick, but let clutter come close to a partly hidden
    // pattern.
    for (Candidate &c : candidates) {
        int bestSum = -1;
        const int x0 = c.x, y0 = c.y, k0 = c.angleIndex;
        const int halves = m.angleRange > 0 ? 1 : 0;
        for (int half = -halves; half <= halves; ++half) {
            const std::vector<TurnedFeature> &features = m.turnedAll[size_t(k0) * 3 + size_t(half + 1)];
            for (int oy = 0; oy <= 1; ++oy)
                for (int ox = 0; ox <= 1; ++ox) {
                    const int x = x0 + ox, y = y0 + oy;
                    int sum = 0;
                    for (const TurnedFeature &f : features)
                        sum += maps.at(f.bin, x + f.dx, y + f.dy);
                    if (sum > bestSum) {
                        bestSum = sum;
                        c.x = x;
                        c.y = y;
                        c.angle = m.coarseAngles[size_t(k0)] + 0.5 * half * m.coarseStep;
                    }
                }
        }
        c.score = bestSum / (double(ShapeModel::MaxResponse) * double(m.turnedAll.front().size()));
    }
    std::sort(candidates.begin(), candidates.end(), byScore);
    candidates = distinctBest(candidates, size_t(m.candidates), apart, angleApart);
    // Peaks well behind the best are clutter; the pattern itself is rarely below 70 % of it.
    while (candidates.size() > 1 && candidates.back().score < RankKeep * candidates.front().score)
        candidates.pop_back();
    if (candidates.empty())
        return false;

    // Down the pyramid: a local climb on each level. Candidates well behind the best drop out on
    // every level, at most half of them survive, so the fine levels see only the plausible ones.
    for (int l = top; l >= 1; --l) {
        const Model::Level &level = m.level[size_t(l)];
        const float minGradient = level.imageThreshold / 4.0f;  // Sobel units to central differences
        for (Candidate &c : candidates) {
            if (l < top) {
                c.x *= 2;
                c.y *= 2;
            }
            climb(b.pyramid[size_t(l)], level.points, level.angleStep, minGradient * minGradient, m.ignorePolarity,
                  m.angleRange > 0, c);
        }
        std::sort(candidates.begin(), candidates.end(), byScore);
        const double keep = 0.75 * candidates.front().score;
        size_t count = 1;
        while (count < (candidates.size() + 1) / 2 && candidates[count].score >= keep)
            ++count;
        candidates.resize(count);
    }

    // Full resolution: the least-squares fit of the best, and of the runner-up when it is close.
    // The score is the gradient agreement on the first level above full resolution (its 2 x 2
    // average halves the noise) at the fitted pose.
    const int scoreLevel = std::min(1, top);
    const Model::Level &judge = m.level[size_t(scoreLevel)];
    const float judgeGradient = judge.imageThreshold / 4.0f;
    Match bestMatch;
    bool have = false;
    const size_t finalists = candidates.size() > 1 && candidates[1].score >= 0.9 * candidates[0].score ? 2 : 1;
    for (size_t i = 0; i < finalists; ++i) {
        const Candidate &c = candidates[i];
        ShapeModel::Pose start;
        start.x = top > 0 ? 2.0 * c.x + 0.5 : c.x;
        start.y = top > 0 ? 2.0 * c.y + 0.5 : c.y;
        start.angle = toRadians(c.angle);
        const int iterations = (m.flags & NoSubPixel) ? 0 : 6;
        const ShapeModel::Pose fit =
            ShapeModel::fitPose(window, m.finePoints, start, m.ignorePolarity, m.angleRange > 0, iterations);
        // A fit left with few points (the rest clipped, hidden or off their edges) is no better
        // than the pyramid's pixel: not a precise find. Nor is the runner-up then, which the
        // pyramid placed behind it.
        if (iterations > 0 && fit.fitted < MinFitPoints) {
            if (i == 0)
                return false;
            continue;
        }
        const double angle = fit.angle * 180.0 / CV_PI;
        const double score = agreementAt(b.pyramid[size_t(scoreLevel)], scoreLevel, judge.points, fit.x,
                                         fit.y, angle, judgeGradient * judgeGradient, m.ignorePolarity);
        if (!have || score > bestMatch.score) {
            bestMatch.centre = {fit.x, fit.y};
            bestMatch.angle = m.angleRange > 0 ? wrapDegrees(angle) : 0.0;
            bestMatch.score = score;
            have = true;
        }
    }
    if (!have || bestMatch.score < least)
        return false;
    if (match)
        *match = bestMatch;
    return true;
}

bool FindShape::Find(const cv::Mat &window, double minScore, double *x, double *y, double *score, double *angle)
{
    Match match;
    if (!FindMatch(window, minScore, &match))
        return false;
    if (x)
        *x = m_model->reference.x - match.centre.x;
    if (y)
        *y = m_model->reference.y - match.centre.y;
    if (score)
        *score = match.score;
    if (angle)
        *angle = match.angle;
    return true;
}
