#include "tools/scenegen/mouldscene.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>

namespace scenegen {

namespace {

uint64_t mix(uint64_t a, uint64_t b)
{
    // splitmix64 over the pair, so nearby seeds and camera numbers give unrelated streams
    uint64_t z = a + 0x9E3779B97F4A7C15ull * (b + 1);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

cv::Point2d rotate(cv::Point2d p, double angleDeg)
{
    const double a = angleDeg * CV_PI / 180.0;
    return {p.x * std::cos(a) - p.y * std::sin(a), p.x * std::sin(a) + p.y * std::cos(a)};
}

// Outline of a moulded part in its own coordinates (centre at 0): a rounded body with a tab on
// the right, so that a part turned over shows its tab on the other side.
std::vector<cv::Point2d> partOutline(double w, double h)
{
    const double bw = 0.43 * w, bh = 0.41 * h, r = 0.18 * std::min(w, h);
    std::vector<cv::Point2d> pts;
    auto arc = [&](double cx, double cy, double from) {
        for (int i = 0; i <= 6; ++i) {
            const double a = (from + 90.0 * i / 6) * CV_PI / 180.0;
            pts.emplace_back(cx + r * std::cos(a), cy + r * std::sin(a));
        }
    };
    arc(bw - r, -bh + r, 270);
    // tab on the right edge
    pts.emplace_back(bw, -0.14 * h);
    pts.emplace_back(bw + 0.045 * w, -0.12 * h);
    pts.emplace_back(bw + 0.045 * w, 0.12 * h);
    pts.emplace_back(bw, 0.14 * h);
    arc(bw - r, bh - r, 0);
    arc(-bw + r, bh - r, 90);
    arc(-bw + r, -bh + r, 180);
    return pts;
}

struct Piece
{
    std::vector<cv::Point> line;
    int thickness = 1;
    cv::Point head;
    int headRadius = 0;

    cv::Rect bounds() const
    {
        cv::Rect r = cv::boundingRect(line);
        const int m = std::max(thickness, 2 * headRadius) / 2 + 3;
        r = r | cv::Rect(head.x - headRadius, head.y - headRadius, 2 * headRadius + 1, 2 * headRadius + 1);
        return {r.x - m, r.y - m, r.width + 2 * m, r.height + 2 * m};
    }
};

// A piece of sprue lying over the upper right edge of the cavity: a bent rod with its cone.
Piece spruePiece(const cv::Rect &c)
{
    const double s = std::min(c.width, c.height);
    const cv::Point2d centre(c.x + 0.62 * c.width, c.y + 0.12 * c.height);
    Piece p;
    for (double t : {-0.45, 0.0, 0.45}) {
        const cv::Point2d along = rotate({t * c.width, std::abs(t) * 0.12 * c.height}, -22.0);
        p.line.emplace_back(cvRound(centre.x + along.x), cvRound(centre.y + along.y));
    }
    p.thickness = std::max(3, cvRound(0.075 * s));
    p.head = p.line.back();
    p.headRadius = std::max(3, cvRound(0.09 * s));
    return p;
}

// A screw lying in the lower left part of the cavity.
Piece screwPiece(const cv::Rect &c)
{
    const double s = std::min(c.width, c.height);
    const cv::Point2d centre(c.x + 0.38 * c.width, c.y + 0.68 * c.height);
    const cv::Point2d half = rotate({0.22 * c.width, 0.0}, -35.0);
    Piece p;
    p.line = {cv::Point(cvRound(centre.x - half.x), cvRound(centre.y - half.y)),
              cv::Point(cvRound(centre.x + half.x), cvRound(centre.y + half.y))};
    p.thickness = std::max(3, cvRound(0.07 * s));
    p.head = p.line.front();
    p.headRadius = std::max(3, cvRound(0.08 * s));
    return p;
}

cv::Rect partArea(const cv::Rect &c)
{
    const int mx = cvRound(0.07 * c.width) + 3, my = cvRound(0.07 * c.height) + 3;
    return {c.x - mx, c.y - my, c.width + 2 * mx, c.height + 2 * my};
}

}  // namespace

Stage faultStage(Fault fault)
{
    return fault == Fault::ShortShot || fault == Fault::WrongWay ? Stage::Product : Stage::Mould;
}

const char *faultName(Fault fault)
{
    switch (fault) {
    case Fault::None: return "none";
    case Fault::PartLeft: return "part-left";
    case Fault::ShortShot: return "short-shot";
    case Fault::Sprue: return "sprue";
    case Fault::ForeignObject: return "foreign-object";
    case Fault::WrongWay: return "wrong-way";
    }
    return "none";
}

bool parseFault(const std::string &name, Fault *fault)
{
    for (Fault f : {Fault::None, Fault::PartLeft, Fault::ShortShot, Fault::Sprue, Fault::ForeignObject,
                    Fault::WrongWay}) {
        if (name == faultName(f)) {
            *fault = f;
            return true;
        }
    }
    return false;
}

const char *stageName(Stage stage)
{
    return stage == Stage::Product ? "product" : "mould";
}

MouldView::MouldView(const MouldOptions &options, int camera)
    : m_options(options), m_camera(camera), m_viewSeed(mix(options.seed, static_cast<uint64_t>(camera)))
{
    m_options.cavities = std::clamp(m_options.cavities, 1, 16);
    const cv::Size size = m_options.size;
    const double W = size.width, H = size.height;
    cv::RNG rng(m_viewSeed);

    // Steel: a slow unevenness of the plate and grinding marks along the rows.
    cv::Mat steel(size, CV_32F, cv::Scalar(118 + rng.uniform(-8, 8)));
    cv::Mat coarse(std::max(2, size.height / 40), std::max(2, size.width / 40), CV_32F);
    rng.fill(coarse, cv::RNG::NORMAL, 0, 1);
    cv::Mat up;
    cv::resize(coarse, up, size, 0, 0, cv::INTER_CUBIC);
    steel += up * 7.0;
    cv::Mat marks(size, CV_32F);
    rng.fill(marks, cv::RNG::NORMAL, 0, 1);
    cv::GaussianBlur(marks, marks, cv::Size(41, 1), 0);
    steel += marks * 16.0;
    cv::Mat gray;
    steel.convertTo(gray, CV_8U);

    // Plate edges and guide pillars.
    const int band = std::max(3, cvRound(0.03 * std::min(W, H)));
    cv::rectangle(gray, cv::Rect(0, 0, size.width, size.height), cv::Scalar(62), band);
    const int pillar = std::max(4, cvRound(0.035 * std::min(W, H)));
    for (cv::Point2d p : {cv::Point2d(0.07, 0.09), cv::Point2d(0.93, 0.09), cv::Point2d(0.07, 0.91),
                          cv::Point2d(0.93, 0.91)}) {
        const cv::Point c(cvRound(p.x * W), cvRound(p.y * H));
        cv::circle(gray, c, pillar, cv::Scalar(168), cv::FILLED, cv::LINE_AA);
        cv::circle(gray, c, pillar, cv::Scalar(48), std::max(1, pillar / 6), cv::LINE_AA);
        cv::circle(gray, c - cv::Point(pillar / 3, pillar / 3), std::max(1, pillar / 4), cv::Scalar(230),
                   cv::FILLED, cv::LINE_AA);
    }

    // Cavities in a grid, each camera looking from a slightly different place.
    const int n = m_options.cavities;
    int cols = std::clamp(static_cast<int>(std::ceil(std::sqrt(n * W / H))), 1, n);
    const int rows = (n + cols - 1) / cols;
    cols = (n + rows - 1) / rows;  // 4 cavities as 2 x 2, not 3 + 1
    const double x0 = 0.13 * W + rng.uniform(-0.015, 0.015) * W, y0 = 0.15 * H + rng.uniform(-0.015, 0.015) * H;
    const double cw = 0.74 * W / cols, ch = 0.70 * H / rows;
    for (int i = 0; i < n; ++i) {
        const int col = i % cols, row = i / cols;
        const int w = cvRound(0.70 * cw), h = cvRound(0.66 * ch);
        const int x = cvRound(x0 + (col + 0.5) * cw - w / 2.0), y = cvRound(y0 + (row + 0.5) * ch - h / 2.0);
        m_cavities.emplace_back(x, y, w, h);
    }

    // Runners from the sprue bushing to the near side of each cavity.
    const cv::Point hub(cvRound(x0 + 0.37 * W), cvRound(y0 + 0.35 * H));
    const int runner = std::max(2, cvRound(W / 210));
    for (const cv::Rect &c : m_cavities) {
        const cv::Point centre(c.x + c.width / 2, c.y + c.height / 2);
        const cv::Point gate = std::abs(hub.x - centre.x) > std::abs(hub.y - centre.y)
                                   ? cv::Point(hub.x < centre.x ? c.x : c.x + c.width, centre.y)
                                   : cv::Point(centre.x, hub.y < centre.y ? c.y : c.y + c.height);
        const cv::Point corner(gate.x, hub.y);
        for (auto [a, b] : {std::pair{hub, corner}, std::pair{corner, gate}}) {
            cv::line(gray, a, b, cv::Scalar(88), runner, cv::LINE_AA);
            cv::line(gray, a - cv::Point(0, runner / 2), b - cv::Point(0, runner / 2), cv::Scalar(150), 1,
                     cv::LINE_AA);
        }
    }
    cv::circle(gray, hub, 3 * runner, cv::Scalar(150), cv::FILLED, cv::LINE_AA);
    cv::circle(gray, hub, runner, cv::Scalar(40), cv::FILLED, cv::LINE_AA);

    // Recesses with the light from the upper left on their edges, and ejector pins in the floor.
    for (const cv::Rect &c : m_cavities) {
        gray(c) = gray(c) * 0.55 + cv::Scalar(22);
        const int edge = std::max(1, c.width / 90);
        cv::line(gray, c.tl(), cv::Point(c.x + c.width, c.y), cv::Scalar(185), edge + 1, cv::LINE_AA);
        cv::line(gray, c.tl(), cv::Point(c.x, c.y + c.height), cv::Scalar(185), edge + 1, cv::LINE_AA);
        cv::line(gray, cv::Point(c.x, c.y + c.height), c.br(), cv::Scalar(40), edge + 1, cv::LINE_AA);
        cv::line(gray, cv::Point(c.x + c.width, c.y), c.br(), cv::Scalar(40), edge + 1, cv::LINE_AA);
        const int pin = std::max(2, cvRound(0.045 * std::min(c.width, c.height)));
        for (cv::Point2d p : {cv::Point2d(0.25, 0.28), cv::Point2d(0.75, 0.28), cv::Point2d(0.5, 0.74)}) {
            const cv::Point pc(c.x + cvRound(p.x * c.width), c.y + cvRound(p.y * c.height));
            cv::circle(gray, pc, pin, cv::Scalar(160), cv::FILLED, cv::LINE_AA);
            cv::circle(gray, pc, pin, cv::Scalar(50), std::max(1, pin / 4), cv::LINE_AA);
        }
    }
    cv::GaussianBlur(gray, m_steel, cv::Size(3, 3), 0.8);

    m_noise.create(size.height + kNoiseMargin, size.width + kNoiseMargin, CV_32F);
    rng.fill(m_noise, cv::RNG::NORMAL, 0, 1);
}

MouldView::Variation MouldView::variation(const Shot &shot) const
{
    Variation v;
    if (!shot.vary)
        return v;
    cv::RNG rng(mix(m_viewSeed, shot.number * 2 + 1));
    v.shift = {rng.uniform(-kMaxShift, kMaxShift), rng.uniform(-kMaxShift, kMaxShift)};
    v.angleDeg = rng.uniform(-0.2, 0.2);
    // A slow drift of the light over the run, with a small flicker on top.
    const double phase = static_cast<double>(m_viewSeed % 628) / 100.0;
    v.gain = 1.0 + 0.06 * std::sin(static_cast<double>(shot.number) * 0.05 + phase) + rng.uniform(-0.02, 0.02);
    v.offset = rng.uniform(-6.0, 6.0);
    const double slope = rng.uniform(0.0, 0.08) / m_options.size.width;
    const double dir = rng.uniform(0.0, 2 * CV_PI);
    v.lightSlope = {slope * std::cos(dir), slope * std::sin(dir)};
    v.noiseSigma = rng.uniform(1.8, 2.8);
    return v;
}

void MouldView::drawPart(cv::Mat &gray, cv::Mat &plastic, int cavity, Fault fault, uint64_t shot) const
{
    // each part its own stream, so a fault in one cavity leaves the others as they were
    cv::RNG rng(mix(m_viewSeed ^ 0x5BD1E995u, shot * 32 + static_cast<uint64_t>(cavity)));
    const cv::Rect c = m_cavities[cavity];
    const cv::Rect roi = partArea(c) & cv::Rect(0, 0, gray.cols, gray.rows);
    if (roi.empty())
        return;
    const double w = c.width, h = c.height;
    cv::Point2d centre(c.x + w / 2.0 + rng.uniform(-1.0, 1.0), c.y + h / 2.0 + rng.uniform(-1.0, 1.0));
    double angle = rng.uniform(-0.6, 0.6);
    bool mirrored = false;
    double base = 196;
    if (fault == Fault::PartLeft) {
        // half thrown out: lifted, shifted and skewed
        centre += cv::Point2d(0.035 * w, -0.04 * h);
        angle += 4.0;
        base = 206;
    } else if (fault == Fault::WrongWay) {
        mirrored = true;
        angle += 7.0;
        base = 160;
    }
    auto place = [&](cv::Point2d p) {
        if (mirrored)
            p.x = -p.x;
        const cv::Point2d q = rotate(p, angle) + centre - cv::Point2d(roi.x, roi.y);
        return cv::Point(cvRound(q.x), cvRound(q.y));
    };

    cv::Mat mask = cv::Mat::zeros(roi.size(), CV_8U);
    std::vector<cv::Point> outline;
    for (const cv::Point2d &p : partOutline(w, h))
        outline.push_back(place(p));
    cv::fillPoly(mask, std::vector<std::vector<cv::Point>>{outline}, cv::Scalar(255), cv::LINE_8);
    const int hole = std::max(2, cvRound(0.12 * std::min(w, h)));
    cv::circle(mask, place({-0.18 * w, 0.02 * h}), hole, cv::Scalar(0), cv::FILLED);
    if (fault == Fault::ShortShot) {
        // the melt stopped along a ragged front: everything beyond it is missing
        const double front = rng.uniform(-0.12, 0.1) * w;
        std::vector<cv::Point> missing{place({front, -h}), place({front + 0.08 * w, -0.2 * h}),
                                       place({front - 0.03 * w, 0.25 * h}), place({front + 0.05 * w, h}),
                                       place({w, h}), place({w, -h})};
        cv::fillPoly(mask, std::vector<std::vector<cv::Point>>{missing}, cv::Scalar(0));
    }

    // Shading: a soft fall-off towards the bottom, a glossy highlight, dark moulded edges.
    const cv::Point2d highlight =
        cv::Point2d(place({(0.12 + rng.uniform(-0.05, 0.05)) * w, (-0.2 + rng.uniform(-0.05, 0.05)) * h}));
    const double sigma = 0.11 * std::min(w, h);
    const double amplitude = fault == Fault::WrongWay ? 25.0 : 52.0;
    cv::Mat eroded;
    cv::erode(mask, eroded, cv::Mat());
    for (int y = 0; y < roi.height; ++y) {
        const uint8_t *m = mask.ptr<uint8_t>(y);
        const uint8_t *e = eroded.ptr<uint8_t>(y);
        uint8_t *g = gray.ptr<uint8_t>(roi.y + y) + roi.x;
        uint8_t *pl = plastic.ptr<uint8_t>(roi.y + y) + roi.x;
        for (int x = 0; x < roi.width; ++x) {
            if (!m[x])
                continue;
            const double dx = x - highlight.x, dy = y - highlight.y;
            double v = base + 14.0 * (0.5 - static_cast<double>(y) / roi.height) +
                       amplitude * std::exp(-(dx * dx + dy * dy) / (2 * sigma * sigma));
            if (!e[x])
                v -= 50;
            g[x] = cv::saturate_cast<uint8_t>(v);
            pl[x] = 255;
        }
    }
    if (fault == Fault::WrongWay) {
        // the underside shows its ribs
        cv::Mat ribs = cv::Mat::zeros(roi.size(), CV_8U);
        for (double t : {-0.25, 0.0, 0.25})
            cv::line(ribs, place({-0.38 * w, t * h}), place({0.38 * w, t * h}), cv::Scalar(255),
                     std::max(1, cvRound(0.02 * h)));
        ribs &= eroded;
        gray(roi).setTo(cv::Scalar(110), ribs);
    }
}

void MouldView::drawSprue(cv::Mat &gray, cv::Mat &plastic, int cavity) const
{
    const Piece p = spruePiece(m_cavities[cavity]);
    for (cv::Mat *layer : {&gray, &plastic}) {
        const cv::Scalar value = layer == &gray ? cv::Scalar(192) : cv::Scalar(255);
        cv::polylines(*layer, p.line, false, value, p.thickness, cv::LINE_AA);
        cv::circle(*layer, p.head, p.headRadius, value, cv::FILLED, cv::LINE_AA);
    }
    std::vector<cv::Point> shine = p.line;
    for (cv::Point &q : shine)
        q.y -= p.thickness / 4;
    cv::polylines(gray, shine, false, cv::Scalar(238), std::max(1, p.thickness / 4), cv::LINE_AA);
    cv::circle(gray, p.head - cv::Point(p.headRadius / 3, p.headRadius / 3), std::max(1, p.headRadius / 3),
               cv::Scalar(240), cv::FILLED, cv::LINE_AA);
}

void MouldView::drawForeignObject(cv::Mat &gray, int cavity) const
{
    // a zinc-plated screw: bright shank with dark thread grooves, a head with its slot
    const Piece p = screwPiece(m_cavities[cavity]);
    cv::polylines(gray, p.line, false, cv::Scalar(182), p.thickness, cv::LINE_AA);
    const cv::Point2d a(p.line[0]), b(p.line[1]);
    const cv::Point2d along = b - a;
    const double length = std::hypot(along.x, along.y);
    const cv::Point2d across = cv::Point2d(-along.y, along.x) * (0.5 * p.thickness / std::max(1.0, length));
    for (double t = 0.2; t < 1.0; t += 0.08) {
        const cv::Point2d m = a + along * t;
        cv::line(gray, cv::Point(m - across), cv::Point(m + across), cv::Scalar(95), 1, cv::LINE_AA);
    }
    cv::circle(gray, p.head, p.headRadius, cv::Scalar(200), cv::FILLED, cv::LINE_AA);
    const cv::Point2d slot = cv::Point2d(across.y, -across.x) * (p.headRadius * 1.6 / std::max(1, p.thickness));
    cv::line(gray, cv::Point(cv::Point2d(p.head) - slot), cv::Point(cv::Point2d(p.head) + slot), cv::Scalar(60),
             std::max(1, p.headRadius / 4), cv::LINE_AA);
    cv::circle(gray, p.head - cv::Point(p.headRadius / 3, p.headRadius / 3), std::max(1, p.headRadius / 4),
               cv::Scalar(245), cv::FILLED, cv::LINE_AA);
}

cv::Rect MouldView::faultArea(Fault fault, int cavity) const
{
    if (fault == Fault::None || cavity < 0 || cavity >= static_cast<int>(m_cavities.size()))
        return {};
    const cv::Rect image(0, 0, m_options.size.width, m_options.size.height);
    switch (fault) {
    case Fault::Sprue: return spruePiece(m_cavities[cavity]).bounds() & image;
    case Fault::ForeignObject: return screwPiece(m_cavities[cavity]).bounds() & image;
    default: return partArea(m_cavities[cavity]) & image;
    }
}

cv::Mat MouldView::colourise(const cv::Mat &gray, const cv::Mat &plastic) const
{
    static const cv::Vec3f kPlasticTints[] = {{1.0f, 0.62f, 0.32f}, {0.32f, 0.42f, 1.0f}, {0.45f, 0.95f, 0.5f}};
    const cv::Vec3f plasticTint = kPlasticTints[m_options.seed % 3];
    const cv::Vec3f steelTint(1.03f, 1.0f, 0.95f);
    cv::Mat out(gray.size(), CV_8UC3);
    for (int y = 0; y < gray.rows; ++y) {
        const uint8_t *g = gray.ptr<uint8_t>(y);
        const uint8_t *p = plastic.ptr<uint8_t>(y);
        cv::Vec3b *o = out.ptr<cv::Vec3b>(y);
        for (int x = 0; x < gray.cols; ++x) {
            const cv::Vec3f &tint = p[x] ? plasticTint : steelTint;
            // highlights stay white on coloured plastic
            const float lift = p[x] && g[x] > 215 ? (g[x] - 215) * 6.0f : 0.0f;
            for (int k = 0; k < 3; ++k)
                o[x][k] = cv::saturate_cast<uint8_t>(g[x] * tint[k] + lift);
        }
    }
    return out;
}

const char *driftName(Drift drift)
{
    switch (drift) {
    case Drift::Focus: return "focus";
    case Drift::Shift: return "shift";
    case Drift::Light: return "light";
    case Drift::None: break;
    }
    return "none";
}

bool parseDrift(const std::string &name, Drift *drift)
{
    for (Drift d : {Drift::None, Drift::Focus, Drift::Shift, Drift::Light}) {
        if (name == driftName(d)) {
            *drift = d;
            return true;
        }
    }
    return false;
}

void applyDrift(Drift drift, double progress, Shot *shot)
{
    const double p = std::clamp(progress, 0.0, 1.0);
    switch (drift) {
    case Drift::Focus: shot->blurSigma = 3.0 * p; break;
    case Drift::Shift: shot->driftShift = {24.0 * p, 0.0}; break;
    case Drift::Light: shot->lightFactor = 1.0 - 0.45 * p; break;
    case Drift::None: break;
    }
}

cv::Mat MouldView::render(const Shot &shot) const
{
    cv::Mat gray = m_steel.clone();
    cv::Mat plastic = cv::Mat::zeros(gray.size(), CV_8U);
    const int n = static_cast<int>(m_cavities.size());
    const bool faultHere = shot.fault != Fault::None && shot.faultCavity >= 0 && shot.faultCavity < n;
    const Fault fault = faultHere ? shot.fault : Fault::None;

    if (shot.stage == Stage::Product) {
        for (int i = 0; i < n; ++i)
            drawPart(gray, plastic, i,
                     i == shot.faultCavity && faultStage(fault) == Stage::Product ? fault : Fault::None, shot.number);
        // Leftovers belong to the mould; in a product shot they lie there too.
        if (fault == Fault::Sprue)
            drawSprue(gray, plastic, shot.faultCavity);
        else if (fault == Fault::ForeignObject)
            drawForeignObject(gray, shot.faultCavity);
    } else {
        if (fault == Fault::PartLeft)
            drawPart(gray, plastic, shot.faultCavity, fault, shot.number);
        else if (fault == Fault::Sprue)
            drawSprue(gray, plastic, shot.faultCavity);
        else if (fault == Fault::ForeignObject)
            drawForeignObject(gray, shot.faultCavity);
        // a short shot or a turned part leaves with the ejection
    }

    const Variation v = variation(shot);
    if (!shot.vary)
        return m_options.colour ? colourise(gray, plastic) : gray;

    const cv::Point2d centre(gray.cols / 2.0, gray.rows / 2.0);
    cv::Mat m = cv::getRotationMatrix2D(centre, v.angleDeg, 1.0);
    m.at<double>(0, 2) += v.shift.x + shot.driftShift.x;
    m.at<double>(1, 2) += v.shift.y + shot.driftShift.y;
    cv::Mat moved;
    cv::warpAffine(gray, moved, m, gray.size(), cv::INTER_LINEAR, cv::BORDER_REFLECT);
    // Defocus is optical: it blurs the scene, not the sensor noise added below.
    if (shot.blurSigma > 0.05)
        cv::GaussianBlur(moved, moved, cv::Size(), shot.blurSigma);
    if (m_options.colour)
        cv::warpAffine(plastic, plastic, m, gray.size(), cv::INTER_NEAREST, cv::BORDER_REFLECT);

    // Light (gain, offset, a gentle slope across the image) and sensor noise in one pass. The noise
    // is a window of the view's noise field at an offset of the shot's own.
    cv::RNG pick(mix(m_viewSeed, shot.number * 2 + 3));
    const int ox = pick.uniform(0, kNoiseMargin), oy = pick.uniform(0, kNoiseMargin);
    const float sigma = static_cast<float>(v.noiseSigma), offset = static_cast<float>(v.offset);
    const double gain = v.gain * shot.lightFactor;
    const float step = static_cast<float>(gain * v.lightSlope.x);
    for (int y = 0; y < moved.rows; ++y) {
        uint8_t *row = moved.ptr<uint8_t>(y);
        const float *noise = m_noise.ptr<float>(y + oy) + ox;
        float light = static_cast<float>(gain * (1.0 + v.lightSlope.y * (y - centre.y)) -
                                         gain * v.lightSlope.x * centre.x);
        for (int x = 0; x < moved.cols; ++x, light += step)
            row[x] = cv::saturate_cast<uint8_t>(row[x] * light + offset + noise[x] * sigma);
    }
    return m_options.colour ? colourise(moved, plastic) : moved;
}

}  // namespace scenegen
