#include "tools/demo-teach/demoteach.h"

#include "core/globals.h"
#include "vision/cameravision.h"
#include "vision/cammerrecong.h"
#include "vision/lib/checkrange.h"
#include "vision/templatelibrary.h"

#include <QDir>
#include <QFile>
#include <QSqlDatabase>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <array>
#include <cmath>
#include <functional>
#include <future>
#include <iterator>
#include <utility>

namespace demoteach {

namespace {

const QString kParamConnection = QStringLiteral("dbIn");
const QString kSerialConnection = QStringLiteral("dbT");

// Region parameters. A defect region marks the pixels that leave the band its templates span,
// opens them with a disc of `filter` pixels, which removes the thin seams of edges that sit a pixel
// elsewhere, and fails above `area` pixels. The band is the templates' mean give or take
// max(0.4 S, M sigma) darker and max(0.6 S, M sigma) brighter (S the sensitivity, M the difference
// multiplier, sigma the templates' spread), as the station's gray model learns it.
//
// Filter and sensitivity of each region are measured, not guessed: the light drifts by a tenth
// between shots and the gloss on the parts wanders, so on bright plastic a good shot comes close
// to a fixed band while on dark steel it stays far inside. Teaching judges good shots and every
// fault of the stage in the region's cavity and, for the filter that keeps them furthest apart,
// picks the sensitivity half-way (geometrically) between the least that keeps the good shots
// passing with their deviations 1.7 times larger and the most that still fails the faults with
// theirs 1.5 times smaller. The good shots get the wider room: a few dozen of them are only a
// sample of what a long run shows, the faults are what they are.
constexpr int kFilters[] = {3, 5, 7};  // tried on every region; 5 until measured
constexpr int kSensitivity = 110;      // until measured
constexpr int kMinSensitivity = 60;    // never narrower, whatever little the steel's shots showed
constexpr int kMaxSensitivity = 255;
constexpr double kGoodRoom = 1.7;
constexpr double kFaultRoom = 1.5;
constexpr double kDarkShare = 0.4;     // the station splits the sensitivity 100 : 150
constexpr double kBrightShare = 0.6;
constexpr int kMultiplier = 3;
constexpr int kPositionSpeed = 10;
constexpr int kRotationSearch = 1;  // degrees either way; the camera turns by up to 0.2
constexpr int kSearchMargin = 24;   // pixels around the position region; a shot moves by up to 3

cv::Rect inflate(const cv::Rect &r, int dx, int dy, const cv::Size &image)
{
    return cv::Rect(r.x - dx, r.y - dy, r.width + 2 * dx, r.height + 2 * dy) & cv::Rect(cv::Point(), image);
}

scenegen::Stage stageOf(int detection)
{
    return detection == 0 ? scenegen::Stage::Product : scenegen::Stage::Mould;
}

void putRegion(CameraVision &vision, int d, const PlannedRegion &planned)
{
    CammerSingleton &s = vision.singleton;
    const int i = s.roiNum[d]++;
    s.SetDefaultRegion(d, i);
    s.roiFunc[d][i] = planned.function;
    s.roiType[d][i] = ShapeRect;
    const cv::Rect &r = planned.rect;
    s.rect[d][i].setCorners(r.x, r.y, r.x + r.width - 1, r.y + r.height - 1);
    s.roiPara1[d][i] = planned.para1;
    s.roiPara2[d][i] = planned.para2;
    s.roiPara3[d][i] = planned.para3;
    vision.RebuildMask(d, i);
}

// Position correction, copy and run, as the cycle does for one camera and stage.
void judge(CameraVision &vision, CammerRecong &recong, int d, const cv::Mat &image)
{
    image.copyTo(vision.captureImage);
    recong.ShapeMatch(d);
    vision.workImage.copyTo(vision.detectImage);
    recong.Run(d);
}

// Good shots for templates come from far beyond any run's shot numbers and step through several
// periods of the light's drift; the measuring shots come from another range still, so the margins
// are measured on shots the templates never saw.
constexpr uint64_t kTeachShots = 50'000'000;
constexpr uint64_t kTeachStep = 13;
constexpr int kCandidatesPerTemplate = 3;
constexpr uint64_t kMeasureShots = 60'000'000;
constexpr uint64_t kMeasureStep = 7;
constexpr int kMeasureGoodShots = 24;  // per stage
constexpr int kMeasureFaultRounds = 2; // of every fault kind in every cavity

// The band of one defect region: the templates' mean and the multiplier times their spread.
struct Band
{
    cv::Mat mean;    // CV_32F, region size
    cv::Mat spread;
};

Band learnBand(const CameraVision &vision, int d, const cv::Rect &r, int multiplier)
{
    cv::Mat sum = cv::Mat::zeros(r.size(), CV_64F), squares = sum.clone();
    int n = 0;
    for (size_t j = 0; j < vision.tempImage[d].size() && n < vision.tempCount[d]; ++j) {
        if (!vision.tempFlag[d][j] || vision.tempImage[d][j].empty())
            continue;
        cv::accumulate(vision.tempImage[d][j](r), sum);
        cv::accumulateSquare(vision.tempImage[d][j](r), squares);
        ++n;
    }
    Band band;
    if (n == 0)
        return band;
    const cv::Mat mean = sum / n;
    cv::Mat variance = squares / n - mean.mul(mean), sigma;
    cv::sqrt(cv::max(variance, 0.0), sigma);
    mean.convertTo(band.mean, CV_32F);
    sigma.convertTo(band.spread, CV_32F, multiplier);
    return band;
}

// The level that more than `area` pixels of the opened image `values` exceed: thresholded above it
// the region stays within its area limit. Opening with a flat disc commutes with thresholding, so
// one opening of the values stands for the opening of every NG image thresholded from them.
float areaLevel(const cv::Mat &values, int filter, int area)
{
    if (area >= int(values.total()))
        return 0.0f;
    cv::Mat opened = values;
    if (filter > 1)
        cv::morphologyEx(values, opened, cv::MORPH_OPEN,
                         cv::getStructuringElement(cv::MORPH_ELLIPSE, cv::Size(filter, filter)));
    std::vector<float> v(opened.begin<float>(), opened.end<float>());
    std::nth_element(v.begin(), v.begin() + area, v.end(), std::greater<float>());
    return v[size_t(area)];
}

// Applies `f(deviation from the mean, spread)` to every pixel of a cut (8-bit, region size); all
// zero without a band (no templates).
template<typename F>
cv::Mat perPixel(const Band &band, const cv::Mat &cut, F f)
{
    cv::Mat out = cv::Mat::zeros(cut.size(), CV_32F);
    if (band.mean.size() != cut.size() || cut.type() != CV_8UC1)
        return out;
    for (int y = 0; y < cut.rows; ++y) {
        const uint8_t *p = cut.ptr<uint8_t>(y);
        const float *mean = band.mean.ptr<float>(y);
        const float *spread = band.spread.ptr<float>(y);
        float *o = out.ptr<float>(y);
        for (int x = 0; x < cut.cols; ++x)
            o[x] = f(float(p[x]) - mean[x], spread[x]);
    }
    return out;
}

// The band use of a cut: the factor by which the region's band (sensitivity and spread alike)
// could be scaled before the verdict turns. Below 1 the region passes, above 1 it fails.
double bandUse(const Band &band, const cv::Mat &cut, int sensitivity, int filter, int area)
{
    const float dark = float(kDarkShare * sensitivity), bright = float(kBrightShare * sensitivity);
    return areaLevel(perPixel(band, cut,
                              [=](float dev, float spread) {
                                  return dev < 0 ? -dev / std::max(dark, spread) : dev / std::max(bright, spread);
                              }),
                     filter, area);
}

// The sensitivity edges of a cut whose deviations are `scale` times as large: a pixel is NG at
// every sensitivity below its edge. The region fails at every sensitivity below the areaLevel of
// the edges and passes from it on.
cv::Mat sensitivityEdges(const Band &band, const cv::Mat &cut, double scale)
{
    const float s = float(scale);
    return perPixel(band, cut, [=](float dev, float spread) {
        dev *= s;
        if (std::abs(dev) <= spread)
            return 0.0f;  // inside the spread no sensitivity makes it NG
        return dev < 0 ? float(-dev / kDarkShare) : float(dev / kBrightShare);
    });
}

// Renders the shots on a second thread, one ahead, and hands each picture to `use` in order.
void forEachShot(const scenegen::MouldView &view, const std::vector<scenegen::Shot> &shots,
                 const std::function<void(size_t, const cv::Mat &)> &use)
{
    auto render = [&view](const scenegen::Shot &shot) {
        return std::async(std::launch::async, [&view, shot] { return view.render(shot); });
    };
    std::future<cv::Mat> next;
    if (!shots.empty())
        next = render(shots.front());
    for (size_t k = 0; k < shots.size(); ++k) {
        const cv::Mat image = next.get();
        if (k + 1 < shots.size())
            next = render(shots[k + 1]);
        use(k, image);
    }
}

}  // namespace

std::vector<PlannedRegion> planRegions(const scenegen::MouldView &view, int detection)
{
    const cv::Size image = view.options().size;
    const std::vector<cv::Rect> &cavities = view.cavityRects();
    std::vector<PlannedRegion> regions;

    // Position: the steel above the cavities, with the plate's edge and the two upper guide
    // pillars, which no part, sprue or object covers.
    int top = image.height;
    int typicalHeight = 0;
    for (const cv::Rect &c : cavities) {
        top = std::min(top, c.y);
        typicalHeight = std::max(typicalHeight, c.height);
    }
    const int bottom = top - typicalHeight / 4;
    if (bottom >= std::max(24, image.height / 20))
        regions.push_back({FuncPosition, cv::Rect(0, 0, image.width, bottom), kPositionSpeed, 10, 10});

    for (const cv::Rect &c : cavities) {
        const int m = std::min(c.width, c.height);
        // product: the part with its moulded edge (it may sit a little off and turned);
        // mould: the empty recess and the steel around it, where sprue falls and parts hang
        const cv::Rect area = detection == 0 ? inflate(c, c.width / 12 + 4, c.height / 12 + 4, image)
                                             : inflate(c, m / 4, m / 4, image);
        // The smallest fault, a screw, covers about a thirtieth of the cavity: the area limit stays
        // at a fifth of that, so it follows the image size. Filter and sensitivity are measured.
        const int limit = std::max(12, c.area() / 150);
        regions.push_back({FuncDefect, area, kFilters[1], kSensitivity, limit});
    }
    return regions;
}

DemoStation::DemoStation(const QString &dir, const DemoOptions &options)
    : m_options(options), m_previousDir(QDir::currentPath())
{
    if (!QDir::setCurrent(dir))
        return;
    QSqlDatabase params = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), kParamConnection);
    params.setDatabaseName(QStringLiteral("PARAM.db"));
    QSqlDatabase serials = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), kSerialConnection);
    serials.setDatabaseName(QStringLiteral("SN.db"));
    if (!params.open() || !serials.open())
        return;

    const cv::Size size = options.mould.size;
    gImageW = size.width;
    gImageH = size.height;
    gImageLen = size.width * size.height;
    gColorLen = gImageLen;  // the demo's cameras are gray
    gisColor = false;
    gisGrayHue = true;
    SetImageSize(size.width, size.height);
    gpWPara = &m_para;
    m_para.LoadDatafromFile();
    gTempNum = m_para.max_mold_num;
    m_open = true;
}

DemoStation::~DemoStation()
{
    if (gpWPara == &m_para)
        gpWPara = nullptr;
    for (const QString &name : {kParamConnection, kSerialConnection}) {
        QSqlDatabase::database(name, false).close();
        QSqlDatabase::removeDatabase(name);
    }
    QDir::setCurrent(m_previousDir);
}

bool DemoStation::teach(QString *error)
{
    if (!m_open) {
        *error = QStringLiteral("the station directory or its databases could not be opened");
        return false;
    }
    m_taught.clear();
    WizardPara &p = m_para;
    // One mould: the product check follows the mould opening (input 1), the mould check the
    // ejector's return (input 3), so it always sees the mould after the ejection however long the
    // product check and the ejection took.
    p.work_mode = 0;
    p.enable_product_detect = 1;
    p.semi_auto = 1;
    p.enable_correct = 0;          // position correction on
    p.word179 = kRotationSearch;
    p.location_adge = kSearchMargin;
    p.difference_multiplier = kMultiplier;
    p.enable_display_detail = 1;   // each region's own filter and area limit
    p.enable_defect_detect = 1;
    if (m_options.productDelay >= 0)
        p.trigInDelay[0] = m_options.productDelay;
    if (m_options.mouldDelay >= 0)
        p.trigInDelay[1] = m_options.mouldDelay;
    if (m_options.inputHold >= 0)
        p.input_hold_time = m_options.inputHold;
    p.Repair();
    p.DeriveStages();
    if (!p.SaveDatatoFile()) {
        *error = QStringLiteral("PARAM.db refused the parameters");
        return false;
    }
    gTempNum = p.max_mold_num;
    for (int camera = 0; camera < m_options.cameras; ++camera) {
        if (!teachCamera(camera, error))
            return false;
    }
    return true;
}

bool DemoStation::teachCamera(int camera, QString *error)
{
    const scenegen::MouldView view(m_options.mould, camera);
    CameraVision vision(camera);
    vision.LoadFiles();
    CammerRecong recong(vision, false);
    const int templates = std::min(int(vision.tempImage[0].size()), m_options.goodShots + 1);

    for (int d = 0; d < 2; ++d) {
        CammerSingleton &s = vision.singleton;
        s.roiNum[d] = 0;
        for (const PlannedRegion &planned : planRegions(view, d))
            putRegion(vision, d, planned);

        // Resample: the noise-free view is template 0 and the pose every image is corrected to.
        scenegen::Shot shot;
        shot.stage = stageOf(d);
        shot.vary = false;
        view.render(shot).copyTo(vision.tempImage[d][0]);
        std::fill(vision.tempFlag[d].begin(), vision.tempFlag[d].end(), 0);
        vision.tempFlag[d][0] = 1;
        recong.CreateShape(d);

        // Add As Temp on good shots, each moved back onto the reference pose first. The templates
        // are to show how far good shots go, so of three candidates per template the darkest and
        // the brightest are taken, in turn.
        shot.vary = true;
        std::vector<scenegen::Shot> shots;
        for (int j = 1; j <= kCandidatesPerTemplate * (templates - 1); ++j) {
            shot.number = kTeachShots + kTeachStep * uint64_t(j);
            shots.push_back(shot);
        }
        std::vector<std::pair<double, cv::Mat>> candidates;
        forEachShot(view, shots, [&](size_t, const cv::Mat &image) {
            image.copyTo(vision.captureImage);
            recong.ShapeMatch(d);
            candidates.emplace_back(cv::mean(vision.workImage)[0], vision.workImage.clone());
        });
        std::stable_sort(candidates.begin(), candidates.end(),
                         [](const auto &a, const auto &b) { return a.first < b.first; });
        for (int j = 1; j < templates; ++j) {
            const size_t pick = j % 2 ? size_t(j / 2) : candidates.size() - size_t(j / 2);
            candidates[pick].second.copyTo(vision.tempImage[d][j]);
            vision.tempFlag[d][j] = 1;
        }
        vision.tempCount[d] = templates;
        measureSensitivities(view, vision, recong, d);
        for (int j = 0; j < int(vision.tempImage[d].size()); ++j) {
            const QString path = TemplateLibrary::TemplatePath(camera, d, j);
            if (j >= templates) {
                QFile::remove(path);
                continue;
            }
            if (!TemplateLibrary::SaveTemplate(vision, d, j)) {
                *error = QStringLiteral("cannot write %1").arg(path);
                return false;
            }
        }
    }
    if (!vision.singleton.SaveDatatoFile()) {
        *error = QStringLiteral("PARAM.db refused the regions of camera %1").arg(camera + 1);
        return false;
    }
    return true;
}

void DemoStation::measureSensitivities(const scenegen::MouldView &view, CameraVision &vision, CammerRecong &recong,
                                       int d)
{
    CammerSingleton &s = vision.singleton;
    const int cavities = int(view.cavityRects().size());
    const int first = s.roiNum[d] - cavities;  // the cavity regions follow the position region
    const scenegen::Stage stage = stageOf(d);

    // Good shots, then every fault of the stage in every cavity; -1: a good shot.
    std::vector<scenegen::Shot> shots;
    std::vector<int> faultCavity;
    scenegen::Shot shot;
    shot.stage = stage;
    shot.number = kMeasureShots;
    for (int k = 0; k < kMeasureGoodShots; ++k) {
        shot.number += kMeasureStep;
        shots.push_back(shot);
        faultCavity.push_back(-1);
    }
    for (scenegen::Fault fault : scenegen::kFaultKinds) {
        if (scenegen::faultStage(fault) != stage)
            continue;
        shot.fault = fault;
        for (int round = 0; round < kMeasureFaultRounds; ++round) {
            for (int c = 0; c < cavities; ++c) {
                shot.faultCavity = c;
                shot.number += kMeasureStep;
                shots.push_back(shot);
                faultCavity.push_back(c);
            }
        }
    }

    // Per cavity region and filter: the least sensitivity that passes every good shot with its
    // deviations kGoodRoom times larger, the most that fails every fault with its deviations
    // kFaultRoom times smaller.
    struct Room
    {
        double least = kMinSensitivity;
        double most = kMaxSensitivity;
    };
    std::vector<Band> bands;
    std::vector<std::array<Room, std::size(kFilters)>> rooms(static_cast<size_t>(cavities));
    for (int c = 0; c < cavities; ++c)
        bands.push_back(learnBand(vision, d, s.RegionCvRect(d, first + c), m_para.difference_multiplier));
    forEachShot(view, shots, [&](size_t k, const cv::Mat &image) {
        image.copyTo(vision.captureImage);
        recong.ShapeMatch(d);
        for (int c = 0; c < cavities; ++c) {
            if (faultCavity[k] >= 0 && faultCavity[k] != c)
                continue;
            const int i = first + c;
            const bool good = faultCavity[k] < 0;
            const cv::Mat edges = sensitivityEdges(bands[size_t(c)], vision.workImage(s.RegionCvRect(d, i)),
                                                   good ? kGoodRoom : 1.0 / kFaultRoom);
            for (size_t f = 0; f < std::size(kFilters); ++f) {
                Room &room = rooms[size_t(c)][f];
                const double level = areaLevel(edges, kFilters[f], s.roiPara3[d][i]);
                if (good)
                    room.least = std::max(room.least, level);
                else
                    room.most = std::min(room.most, level);
            }
        }
    });
    // The filter that leaves the widest room, the sensitivity in the middle of it.
    for (int c = 0; c < cavities; ++c) {
        const auto &byFilter = rooms[size_t(c)];
        size_t best = 0;
        for (size_t f = 1; f < byFilter.size(); ++f) {
            if (byFilter[f].most / byFilter[f].least > byFilter[best].most / byFilter[best].least)
                best = f;
        }
        const Room &room = byFilter[best];
        const int sensitivity =
            std::clamp(int(std::lround(std::sqrt(room.least * room.most))), kMinSensitivity, kMaxSensitivity);
        s.roiPara1[d][first + c] = kFilters[best];
        s.roiPara2[d][first + c] = sensitivity;
        m_taught.push_back({vision.camNo(), d, c, kFilters[best], sensitivity, room.least, room.most});
    }
}

CheckResult DemoStation::check(int camera, int shots, uint64_t firstShot) const
{
    CheckResult result;
    if (!m_open)
        return result;
    const scenegen::MouldView view(m_options.mould, camera);
    CameraVision vision(camera);
    vision.LoadFiles();
    CammerRecong recong(vision);

    const CammerSingleton &s = vision.singleton;
    const int cavities = int(view.cavityRects().size());
    // the cavity regions are the last ones of each detection
    auto region = [&](int d, int cavity) { return s.roiNum[d] - cavities + cavity; };
    std::vector<Band> bands[2];
    for (int d = 0; d < 2; ++d) {
        for (int c = 0; c < cavities; ++c) {
            const int i = region(d, c);
            bands[d].push_back(learnBand(vision, d, s.RegionCvRect(d, i), m_para.difference_multiplier));
            const int limit = s.roiPara3[d][i];
            result.smallestLimit = c == 0 && d == 0 ? limit : std::min(result.smallestLimit, limit);
            result.largestLimit = std::max(result.largestLimit, limit);
        }
    }
    auto use = [&](int d, int cavity) {
        const int i = region(d, cavity);
        return bandUse(bands[d][size_t(cavity)], vision.workImage(s.RegionCvRect(d, i)), s.roiPara2[d][i],
                       s.roiPara1[d][i], s.roiPara3[d][i]);
    };

    // Good shots of both stages, then every fault in every cavity, shots / 10 rounds of them.
    std::vector<scenegen::Shot> list;
    for (int k = 0; k < shots; ++k) {
        for (int d = 0; d < 2; ++d) {
            scenegen::Shot shot;
            shot.stage = stageOf(d);
            shot.number = firstShot + uint64_t(k);
            list.push_back(shot);
        }
    }
    uint64_t number = firstShot + uint64_t(shots);
    for (scenegen::Fault fault : scenegen::kFaultKinds) {
        for (int round = 0; round < std::max(1, shots / 10); ++round) {
            for (int c = 0; c < cavities; ++c) {
                scenegen::Shot shot;
                shot.stage = scenegen::faultStage(fault);
                shot.fault = fault;
                shot.faultCavity = c;
                shot.number = number++;
                list.push_back(shot);
            }
        }
    }
    forEachShot(view, list, [&](size_t k, const cv::Mat &image) {
        const scenegen::Shot &shot = list[k];
        const int d = shot.stage == scenegen::Stage::Product ? 0 : 1;
        judge(vision, recong, d, image);
        if (shot.fault == scenegen::Fault::None) {
            ++result.goodImages;
            if (!vision.imageOK)
                ++result.goodFailed;
            for (int c = 0; c < cavities; ++c) {
                result.worstGoodArea = std::max(result.worstGoodArea, vision.roiValue[d][region(d, c)]);
                result.worstGoodUse = std::max(result.worstGoodUse, use(d, c));
            }
            return;
        }
        const size_t kind = size_t(shot.fault);
        ++result.faultImages[kind];
        if (vision.imageOK)
            ++result.faultsPassed[kind];
        const int area = vision.roiValue[d][region(d, shot.faultCavity)];
        if (result.smallestFaultArea[kind] < 0 || area < result.smallestFaultArea[kind])
            result.smallestFaultArea[kind] = area;
        const double u = use(d, shot.faultCavity);
        if (result.leastFaultUse < 0 || u < result.leastFaultUse)
            result.leastFaultUse = u;
    });
    return result;
}

}  // namespace demoteach
