#include "tools/demo-teach/demoteach.h"

#include "core/globals.h"
#include "vision/cameravision.h"
#include "vision/cammerrecong.h"
#include "vision/lib/checkrange.h"
#include "vision/templatelibrary.h"

#include <QDir>
#include <QFile>
#include <QSqlDatabase>

#include <algorithm>

namespace demoteach {

namespace {

const QString kParamConnection = QStringLiteral("dbIn");
const QString kSerialConnection = QStringLiteral("dbT");

// Region parameters. A defect region marks the pixels that leave the band the good templates
// span (sensitivity, widened to 3 standard deviations of the good shots where they differ more),
// opens them with a disc of `filter` pixels, which removes the thin seams of edges that sit a
// pixel elsewhere, and fails above `area` pixels. The light drifts by up to a tenth between
// shots and the gloss on the parts moves, so the band is wide (44 levels darker, 66 brighter);
// every fault of the demo mould differs by 70 gray levels or more over 2000 pixels or more, and
// thousands of good shots leave less than 150.
constexpr int kFilter = 5;
constexpr int kSensitivity = 110;
constexpr int kArea = 500;
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

// Good shots for templates come from far beyond any run's shot numbers and step through a whole
// period of the light's drift.
constexpr uint64_t kTeachShots = 50'000'000;
constexpr uint64_t kTeachStep = 13;

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
    if (bottom >= 48)
        regions.push_back({FuncPosition, cv::Rect(0, 0, image.width, bottom), kPositionSpeed, 10, 10});

    for (const cv::Rect &c : cavities) {
        const int m = std::min(c.width, c.height);
        // product: the part with its moulded edge (it may sit a little off and turned);
        // mould: the empty recess and the steel around it, where sprue falls and parts hang
        const cv::Rect area = detection == 0 ? inflate(c, c.width / 12 + 4, c.height / 12 + 4, image)
                                             : inflate(c, m / 4, m / 4, image);
        regions.push_back({FuncDefect, area, kFilter, kSensitivity, kArea});
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

        // Add As Temp on good shots, each moved back onto the reference pose first.
        shot.vary = true;
        for (int j = 1; j < templates; ++j) {
            shot.number = kTeachShots + kTeachStep * uint64_t(j);
            view.render(shot).copyTo(vision.captureImage);
            recong.ShapeMatch(d);
            vision.workImage.copyTo(vision.tempImage[d][j]);
            vision.tempFlag[d][j] = 1;
        }
        vision.tempCount[d] = templates;
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

CheckResult DemoStation::check(int camera, int shots, uint64_t firstShot) const
{
    CheckResult result;
    if (!m_open)
        return result;
    const scenegen::MouldView view(m_options.mould, camera);
    CameraVision vision(camera);
    vision.LoadFiles();
    CammerRecong recong(vision);

    const int cavities = int(view.cavityRects().size());
    // the cavity regions are the last ones of each detection
    auto cavityArea = [&](int d, int cavity) { return vision.roiValue[d][vision.singleton.roiNum[d] - cavities + cavity]; };
    for (int k = 0; k < shots; ++k) {
        for (int d = 0; d < 2; ++d) {
            scenegen::Shot shot;
            shot.stage = stageOf(d);
            shot.number = firstShot + uint64_t(k);
            judge(vision, recong, d, view.render(shot));
            ++result.goodImages;
            if (!vision.imageOK)
                ++result.goodFailed;
            for (int c = 0; c < cavities; ++c)
                result.worstGoodArea = std::max(result.worstGoodArea, cavityArea(d, c));
        }
    }
    uint64_t number = firstShot + uint64_t(shots);
    for (scenegen::Fault fault : scenegen::kFaultKinds) {
        const int d = scenegen::faultStage(fault) == scenegen::Stage::Product ? 0 : 1;
        const size_t kind = size_t(fault);
        for (int round = 0; round < std::max(1, shots / 10); ++round) {
            for (int c = 0; c < cavities; ++c) {
                scenegen::Shot shot;
                shot.stage = stageOf(d);
                shot.fault = fault;
                shot.faultCavity = c;
                shot.number = number++;
                judge(vision, recong, d, view.render(shot));
                ++result.faultImages[kind];
                if (vision.imageOK)
                    ++result.faultsPassed[kind];
                const int area = cavityArea(d, c);
                if (result.smallestFaultArea[kind] < 0 || area < result.smallestFaultArea[kind])
                    result.smallestFaultArea[kind] = area;
            }
        }
    }
    return result;
}

}  // namespace demoteach
