#include "vision/cammerrecong.h"

#include "core/globals.h"
#include "params/wizardpara.h"
#include "vision/cameravision.h"
#include "vision/edgepoint.h"
#include "log/eventrecord.h"
#include "vision/lib/blob.h"
#include "vision/lib/transform.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <climits>

std::vector<param_roi> g_listParamROI;
QMutex g_listParamROIMutex;

namespace {

// The parameters in force; the factory values until the main window has loaded them.
const WizardPara &para()
{
    static const WizardPara factory;
    return gpWPara ? *gpWPara : factory;
}

// The rotation range of position correction: system5 position 10, searched when within 1..180.
bool rotationSearched(const WizardPara &p) { return p.word179 >= 1 && p.word179 <= 180; }

int lowByte(int v) { return v & 0xFF; }

}  // namespace

CammerRecong::CammerRecong(CameraVision &view, bool train)
    : m_view(view), m_gray(kMaxDetect * kMaxRoi), m_surf(kMaxDetect * kMaxRoi)
{
    if (train)
        TrainEnabledStages();
}

void CammerRecong::TrainEnabledStages()
{
    if (!gpWPara)
        return;
    const int detections = std::clamp(gDNum, 0, kMaxDetect);
    for (int d = 0; d < detections; ++d) {
        if (gpWPara->stage_enable[d]) {
            CreateShape(d);
            VarTrain(d);
        }
    }
    for (int d = 0; d < kMaxDetect; ++d)
        m_view.ParkTemplates(d);  // those of stages not trained as well
}

void CammerRecong::VarTrain(int d)
{
    if (d < 0 || d >= kMaxDetect)
        return;
    CameraVision &view = m_view;
    CammerSingleton &regions = view.singleton;
    for (int i = 0; i < kMaxRoi; ++i) {
        if (grayModel(d, i).IsValid())
            grayModel(d, i).Clear();
        if (surfModel(d, i).IsValid())
            surfModel(d, i).Clear();
    }

    // Allowed mask: ignore points plus the pixels of every ignore area; inverted, non-zero is
    // where detection may alarm. An ignore area is added, not copied over its rectangle, so the
    // ignore points in the corners of a circle's or polygon's rectangle stay ignored.
    // Nothing to ignore (the usual case) leaves the mask empty: alarms allowed everywhere.
    cv::Mat &allowed = allowMask[d];
    const int count = std::clamp(regions.roiNum[d], 0, kMaxRoi);
    // Shapes and masks brought up to date first: a shape's image rectangle is only refreshed
    // together with its mask.
    for (int i = 0; i < count; ++i)
        view.RebuildMask(d, i);
    auto regionMask = [&](int i) -> const cv::Mat & { return view.roiMask[d][i]; };
    const bool ignoreArea = std::any_of(regions.roiFunc[d], regions.roiFunc[d] + count,
                                        [](int func) { return func == FuncIgnore; });
    allowed.release();
    if (!view.ignorePoint[d].empty())
        view.ignorePoint[d].copyTo(allowed);
    else if (ignoreArea)
        allowed = cv::Mat::zeros(gImageH, gImageW, CV_8UC1);
    for (int i = 0; i < count && !allowed.empty(); ++i) {
        if (regions.roiFunc[d][i] != FuncIgnore)
            continue;
        const cv::Rect r = regions.RegionCvRect(d, i);
        const cv::Mat &mask = regionMask(i);
        if (r.area() > 0 && !mask.empty()) {
            cv::Mat area = allowed(r);
            cv::bitwise_or(area, mask, area);
        }
    }
    if (!allowed.empty())
        cv::bitwise_not(allowed, allowed);

    // The templates as one byte per pixel, reduced once for all regions.
    const int slotNum = int(view.tempFlag[d].size());
    std::vector<cv::Mat> templates;
    cv::Mat reference;
    if (slotNum > 0)
        CameraVision::OneChannel(view.Template(d, 0), reference);
    for (int j = 0, used = 0; j < slotNum && used < view.tempCount[d]; ++j) {
        const cv::Mat &image = view.Template(d, j);
        if (!view.tempFlag[d][j] || image.empty())
            continue;
        cv::Mat one;
        CameraVision::OneChannel(image, one);
        templates.push_back(one);
        ++used;
    }

    for (int i = 0; i < count; ++i) {
        const int func = regions.roiFunc[d][i];
        if (func != FuncDefect && func != FuncSimilarity && func != FuncDistance)
            continue;
        const cv::Rect r = regions.RegionCvRect(d, i);
        if (r.width < 1 || r.height < 1)
            continue;
        const cv::Mat &mask = regionMask(i);
        cv::Mat effective;
        if (mask.empty())
            effective = cv::Mat::zeros(r.size(), CV_8UC1);
        else if (allowed.empty())
            effective = mask;
        else
            cv::bitwise_and(mask, allowed(r), effective);

        if (func == FuncDistance) {
            int *ref = view.roiRefPoint[d][i];
            std::fill(ref, ref + 5, 0);
            view.roiValue[d][i] = 0;
            if (reference.empty())
                continue;
            _EdgePointDetParam search;
            search.sensitivity = regions.roiPara2[d][i];
            Rect2RotateRect(r, regions.roiPara1[d][i], search);
            clcEdgePoint(reference, search);
            const auto &points = search.points;
            if (points.size() == 1) {
                view.roiValue[d][i] = int(points.front().x);
                ref[0] = 1;
                ref[1] = int(points.front().x);
                ref[2] = int(points.front().y);
            } else if (points.size() >= 2) {
                view.roiValue[d][i] = int(DistP2P(points.front(), points.back()));
                ref[0] = 2;
                ref[1] = int(points.front().x);
                ref[2] = int(points.front().y);
                ref[3] = int(points.back().x);
                ref[4] = int(points.back().y);
            }
            continue;
        }

        if (func == FuncSimilarity) {
            SURF &model = surfModel(d, i);
            model.Create(r.width, r.height, effective);
            for (const cv::Mat &t : templates)
                model.AddTemp(t(r), 1, 50, regions.roiPara2[d][i]);
            model.Train(0, 0, 0, 0);
        } else {
            GrayMatch &model = grayModel(d, i);
            model.SetLightingCompensation(gpWPara && gpWPara->lighting_compensation == 1);
            model.Create(r.width, r.height, effective, 0);
            for (const cv::Mat &t : templates)
                model.AddTemp(t(r));
            const int multiplier = gpWPara ? gpWPara->difference_multiplier : 0;
            model.Train(regions.roiPara2[d][i], multiplier, 100, 150);
            model.Compact();  // a retrain starts a new model
        }
    }
    view.isReTrain = false;
    view.ParkTemplates(d);
}

void CammerRecong::CreateShape(int d)
{
    if (d < 0 || d >= kMaxDetect)
        return;
    const WizardPara &p = para();
    CameraVision &view = m_view;
    if (p.enable_correct == -1 || view.isColor() || view.tempImage[d].empty() || view.Template(d, 0).empty())
        return;
    CammerSingleton &regions = view.singleton;

    cv::Rect area;
    cv::Mat mask;
    int speed = 5;
    const int count = std::clamp(regions.roiNum[d], 0, kMaxRoi);
    for (int i = 0; i < count; ++i) {
        if (regions.roiFunc[d][i] != FuncPosition)
            continue;
        view.RebuildMask(d, i);
        const cv::Rect r = regions.RegionCvRect(d, i);
        if (r.width > 0 && r.height > 0 && !view.roiMask[d][i].empty()) {
            area = r;
            mask = view.roiMask[d][i];
            speed = regions.roiPara1[d][i];
        }
        break;  // only the first position region counts
    }
    if (area.empty()) {
        area = cv::Rect(gImageW / 4, gImageH / 4, gImageW / 2, gImageH / 2);
        mask = cv::Mat(area.size(), CV_8UC1, cv::Scalar(255));
        speed = 5;
    }
    shapeCenterX[d] = area.width / 2 + area.x;
    shapeCenterY[d] = area.height / 2 + area.y;
    const cv::Mat patch = view.Template(d, 0)(area).clone();
    view.ParkTemplates(d);
    const int range = rotationSearched(p) ? p.word179 : p.enable_correct;
    shapeModel[d].CreateShape(patch, 0.0, 0, range, shapeCenterX[d], shapeCenterY[d], false, 255, mask, speed, 0);

    const int m = p.location_adge;
    const int x0 = std::max(0, area.x - m);
    const int y0 = std::max(0, area.y - m);
    const int x1 = std::min(gImageW, area.x + area.width + m);
    const int y1 = std::min(gImageH, area.y + area.height + m);
    shapeSearchRect[d] = (x1 - x0 < 1 || y1 - y0 < 1) ? cv::Rect() : cv::Rect(x0, y0, x1 - x0, y1 - y0);
}

void CammerRecong::ShapeMatch(int d)
{
    CameraVision &view = m_view;
    const WizardPara &p = para();
    const bool possible = d >= 0 && d < kMaxDetect && p.enable_correct != -1 && !view.isColor()
                          && shapeModel[d].IsValid() && !shapeSearchRect[d].empty();
    lastMatch = MatchResult();
    if (!possible) {
        view.captureImage.copyTo(view.workImage);
        return;
    }
    const cv::Rect window = shapeSearchRect[d] & cv::Rect(0, 0, view.captureImage.cols, view.captureImage.rows);
    double x = 0.0, y = 0.0, score = 0.0, angle = 0.0;
    if (window.empty() || !shapeModel[d].Find(view.captureImage(window), 0, &x, &y, &score, &angle)) {
        view.captureImage.copyTo(view.workImage);
        return;
    }
    const double dx = x - window.x;
    const double dy = y - window.y;
    lastMatch = {true, dx, dy, rotationSearched(p) ? angle : 0.0};
    if (rotationSearched(p))
        TransformImage(view.captureImage, view.workImage, cv::Point2d(shapeCenterX[d], shapeCenterY[d]),
                       cv::Point2d(dx, dy), angle);
    else
        MoveImage(view.captureImage, view.workImage, dx, dy);
}

void CammerRecong::Run(int d)
{
    if (d < 0 || d >= kMaxDetect)
        return;
    CameraVision &view = m_view;
    const int count = std::clamp(view.singleton.roiNum[d], 0, kMaxRoi);
    view.imageOK = 1;
    for (int i = 0; i < count; ++i)
        view.roiOK[d][i] = 1;
    view.alarmMap.setTo(0);
    CameraVision::OneChannel(view.workImage, m_oneChannel);
    for (int i = 0; i < count; ++i)
        judgeRegion(d, i, true);
}

void CammerRecong::RunTest(int d, int i)
{
    if (d < 0 || d >= kMaxDetect || i < 0 || i >= std::clamp(m_view.singleton.roiNum[d], 0, kMaxRoi))
        return;
    CameraVision &view = m_view;
    view.roiOK[d][i] = 1;
    CameraVision::OneChannel(view.workImage, m_oneChannel);
    const uint8_t imageOK = view.imageOK;
    judgeRegion(d, i, false);
    view.imageOK = imageOK;  // a preview does not change the verdict of the last run
    view.workImage.copyTo(view.displayImage);
    const cv::Scalar red = view.displayImage.channels() == 4 ? cv::Scalar(255, 0, 0, 255) : cv::Scalar(255);
    for (int k = 0; k < view.roiBlobNum[d][i]; ++k) {
        const int *b = view.roiBlobRect[d][i][k];
        cv::rectangle(view.displayImage, cv::Point(b[0], b[1]), cv::Point(b[2], b[3]), red, 1);
    }
}

bool CammerRecong::judgeRegion(int d, int i, bool withModels)
{
    CameraVision &view = m_view;
    CammerSingleton &regions = view.singleton;
    const WizardPara &p = para();
    const int func = regions.roiFunc[d][i];
    const int p1 = regions.roiPara1[d][i];
    const int p2 = regions.roiPara2[d][i];
    const int p3 = regions.roiPara3[d][i];
    int &value = view.roiValue[d][i];
    int &blobNum = view.roiBlobNum[d][i];

    if (func == FuncIgnore || func == FuncPosition) {
        value = 0;
        blobNum = 0;
        return true;
    }
    const cv::Rect r = regions.RegionCvRect(d, i);
    if (view.roiMask[d][i].size() != r.size())
        view.RebuildMask(d, i);
    const cv::Mat &mask = view.roiMask[d][i];
    const cv::Mat &allowed = allowMask[d];
    int error = 0;
    if (mask.empty())
        error = -1;
    else if (r.width < 1 || r.height < 1)
        error = -3;
    if (error != 0) {
        value = 0;  // no stale values of an earlier run on the annotated image
        blobNum = 0;
        view.imageOK = 0;
        if (!quiet)
            EventRecord::Insert(QStringLiteral("REG RUN ERROR = %1, %2, %3").arg(view.camNo()).arg(d).arg(error));
        return false;
    }

    const cv::Mat region = m_oneChannel(r);
    cv::Mat alarm = view.alarmMap(r);
    cv::Mat effective = mask;
    if (!allowed.empty())
        cv::bitwise_and(mask, allowed(r), effective);
    cv::Mat ng = cv::Mat::zeros(r.size(), CV_8UC1);
    const bool detail = p.enable_display_detail != 0;
    int filter = 1;
    float score = 0.0f;

    // Pixels of the gray band lo..hi inside the effective mask are NG pixels. The limits are given
    // as a truncating threshold (threshold lo, maximum hi); taken literally that would ignore hi and
    // keep every pixel above 0 (or none, for lo 0), so they are read as the band they name.
    auto grayBand = [&](int lo, int hi) {
        if (hi < lo)
            std::swap(lo, hi);
        cv::inRange(region, cv::Scalar(lo), cv::Scalar(hi), ng);
        cv::bitwise_and(ng, effective, ng);
    };

    if (func == FuncDirection) {
        blobNum = 0;
        const int minA = std::min(p2, p3), maxA = std::max(p2, p3);
        cv::Mat binary;
        cv::threshold(region, binary, 0, 255, cv::THRESH_BINARY | cv::THRESH_OTSU);
        std::vector<std::vector<cv::Point>> contours;
        cv::findContours(binary, contours, cv::RETR_EXTERNAL, cv::CHAIN_APPROX_SIMPLE);
        for (size_t c = 0; c < contours.size(); ++c) {
            const double area = cv::contourArea(contours[c]);
            if (!(area > minA && area < maxA))
                continue;
            const cv::Rect box = cv::boundingRect(contours[c]);
            cv::Mat shape = cv::Mat::zeros(box.size(), CV_8UC1);
            cv::drawContours(shape, contours, int(c), cv::Scalar(255), cv::FILLED, cv::LINE_8, cv::noArray(),
                             INT_MAX, -box.tl());
            const cv::Moments m = cv::moments(shape);
            if (m.m00 == 0)
                continue;
            const int cx = cvRound(m.m10 / m.m00);
            const int half = box.width / 2;
            const bool reversed = (p1 == 0 && cx > half) || (p1 == 1 && cx < half);
            if (!reversed)
                continue;
            cv::drawContours(ng, contours, int(c), cv::Scalar(255), cv::FILLED);
            if (blobNum < kMaxBlobRect) {
                int *b = view.roiBlobRect[d][i][blobNum];
                b[0] = r.x + box.x;
                b[1] = r.y + box.y;
                b[2] = r.x + box.x + box.width;
                b[3] = r.y + box.y + box.height;
            }
            ++blobNum;
        }
        value = blobNum;
        blobNum = std::min(blobNum, kMaxBlobRect);
        ng.copyTo(alarm);
        if (value > 0) {
            view.roiOK[d][i] = 0;
            view.imageOK = 0;
        }
        record(d, i, std::min(p2, p3), std::max(p2, p3));
        return true;
    }

    if (func == FuncDistance) {
        blobNum = 0;
        _EdgePointDetParam search;
        Rect2RotateRect(r, p1, search);
        search.direction = 0;
        search.polarity = 0;
        search.relThreshold = 1;
        search.smoothWindow = 5;
        search.sensitivity = p2;
        clcEdgePoint(m_oneChannel, search);
        int *cur = view.roiCurPoint[d][i];
        const int *ref = view.roiRefPoint[d][i];
        std::fill(cur, cur + 5, 0);
        bool ok = false;
        const auto &points = search.points;
        if (points.size() == 1) {
            value = int(points.front().x);
            cur[0] = 1;
            cur[1] = int(points.front().x);
            cur[2] = int(points.front().y);
            ok = ref[0] == 1 && DistP2P(cv::Point2f(ref[1], ref[2]), points.front()) <= p3;
        } else if (points.size() >= 2) {
            value = int(DistP2P(points.front(), points.back()));
            cur[0] = 2;
            cur[1] = int(points.front().x);
            cur[2] = int(points.front().y);
            cur[3] = int(points.back().x);
            cur[4] = int(points.back().y);
            ok = value <= p3 && ref[0] == 2;
        } else {
            value = 0;
        }
        if (!ok) {
            view.roiOK[d][i] = 0;
            view.imageOK = 0;
        }
        record(d, i, 0, p3);
        return true;
    }

    switch (func) {
    case FuncSpot:
        filter = p.enable_stop_check;  // min_spot
        grayBand(lowByte(p1), lowByte(p1 >> 8));
        break;
    case FuncBlackArea:
        filter = p.enable_stop_check;
        grayBand(0, lowByte(p2));
        break;
    case FuncWhiteArea:
        filter = p.enable_stop_check;
        grayBand(lowByte(p2), 255);
        break;
    case FuncWhiteNum:
        filter = std::max(p1, 1);
        grayBand(lowByte(p2), 255);
        break;
    case FuncSimilarity:
        filter = 1;
        if (withModels && surfModel(d, i).IsValid()) {
            const cv::Mat copy = region.clone();
            score = surfModel(d, i).Match(copy, ng);
        }
        if (ng.size() != r.size() || ng.type() != CV_8UC1)
            ng = cv::Mat::zeros(r.size(), CV_8UC1);
        break;
    default:  // defect, and any function without a rule of its own
        filter = detail ? p1 : p.minimum_size;
        if (withModels && grayModel(d, i).IsValid())
            grayModel(d, i).Match(region, ng);
        break;
    }

    // Blob analysis of the opened NG image.
    filter = std::clamp(filter, 1, 255);
    cv::Mat opened;
    if (filter > 1) {
        const cv::Mat kernel = cv::getStructuringElement(cv::MORPH_ELLIPSE, cv::Size(filter, filter));
        cv::morphologyEx(ng, opened, cv::MORPH_OPEN, kernel, cv::Point(-1, -1), 1);
    } else {
        opened = ng;
    }
    opened.copyTo(alarm);
    value = 0;
    blobNum = 0;
    const CBlobResult blobs(opened, nullptr, 0);
    for (int k = 0; k < blobs.GetNumBlobs(); ++k) {
        const CBlob &blob = blobs.GetBlob(k);
        value += int(blob.Area());
        if (blobNum < kMaxBlobRect) {
            const cv::Rect box = blob.GetBoundingBox();
            int *b = view.roiBlobRect[d][i][blobNum++];
            b[0] = r.x + box.x;
            b[1] = r.y + box.y;
            b[2] = r.x + box.x + box.width;
            b[3] = r.y + box.y + box.height;
        }
    }

    bool ng_ = false;
    int lower = 0, upper = 0;
    switch (func) {
    case FuncSpot:
        lower = p2;
        upper = p3;
        ng_ = value < p2 || value > p3;
        break;
    case FuncBlackArea:
    case FuncWhiteArea:
        upper = p3;
        ng_ = value > p3;
        break;
    case FuncSimilarity:
        value = int(score);
        lower = p2;
        upper = -1;
        ng_ = score < p2;
        break;
    case FuncWhiteNum: {
        value = blobs.GetNumBlobs();
        const int a = p3 & 0xFFFF, b = (p3 >> 16) & 0xFFFF;
        lower = std::min(a, b);
        upper = std::max(a, b);
        ng_ = value < lower || value > upper;
        break;
    }
    default: {
        const int limit = detail ? p3 : p.minimum_area;
        upper = limit;
        ng_ = p.word149 ? value < limit : value > limit;  // word149: inverted decision
        break;
    }
    }
    if (ng_) {
        view.roiOK[d][i] = 0;
        view.imageOK = 0;
    }
    record(d, i, lower, upper);
    return true;
}

void CammerRecong::record(int d, int i, int lower, int upper)
{
    if (quiet || !reportRegions || !para().net_report)
        return;
    CameraVision &view = m_view;
    const param_roi entry{view.camNo(), d, i, view.singleton.roiFunc[d][i], view.roiValue[d][i], lower, upper,
                          view.imageOK};
    QMutexLocker lock(&g_listParamROIMutex);
    g_listParamROI.push_back(entry);
}
