#include "vision/cammerrecong.h"

#include "app/globals.h"
#include "params/wizardpara.h"
#include "vision/cameravision.h"
#include "vision/edgepoint.h"

#include <algorithm>

CammerRecong::CammerRecong(CameraVision &view, bool train)
    : m_view(view), m_gray(kMaxDetect * kMaxRoi), m_surf(kMaxDetect * kMaxRoi)
{
    for (cv::Mat &mask : allowMask)
        mask = cv::Mat(gImageH, gImageW, CV_8UC1, cv::Scalar(255));
    if (train)
        TrainEnabledStages();
}

void CammerRecong::TrainEnabledStages()
{
    if (!gpWPara)
        return;
    const int detections = std::clamp(gDNum, 0, kMaxDetect);
    for (int d = 0; d < detections; ++d)
        if (gpWPara->stage_enable[d])
            VarTrain(d);
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
    cv::Mat &allowed = allowMask[d];
    view.ignorePoint[d].copyTo(allowed);
    const int count = std::clamp(regions.roiNum[d], 0, kMaxRoi);
    // Shapes and masks brought up to date first: a shape's image rectangle is only refreshed
    // together with its mask.
    for (int i = 0; i < count; ++i)
        view.RebuildMask(d, i);
    auto regionMask = [&](int i) -> const cv::Mat & { return view.roiMask[d][i]; };
    for (int i = 0; i < count; ++i) {
        if (regions.roiFunc[d][i] != FuncIgnore)
            continue;
        const cv::Rect r = regions.RegionCvRect(d, i);
        const cv::Mat &mask = regionMask(i);
        if (r.area() > 0 && !mask.empty()) {
            cv::Mat area = allowed(r);
            cv::bitwise_or(area, mask, area);
        }
    }
    cv::bitwise_not(allowed, allowed);

    // The templates as one byte per pixel, reduced once for all regions.
    const int slotNum = int(view.tempFlag[d].size());
    std::vector<cv::Mat> templates;
    for (int j = 0, used = 0; j < slotNum && used < view.tempCount[d]; ++j) {
        if (!view.tempFlag[d][j] || view.tempImage[d][j].empty())
            continue;
        cv::Mat one;
        CameraVision::OneChannel(view.tempImage[d][j], one);
        templates.push_back(one);
        ++used;
    }
    cv::Mat reference;
    if (slotNum > 0 && !view.tempImage[d][0].empty())
        CameraVision::OneChannel(view.tempImage[d][0], reference);

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
            model.Create(r.width, r.height, effective, 0);
            for (const cv::Mat &t : templates)
                model.AddTemp(t(r));
            const int multiplier = gpWPara ? gpWPara->difference_multiplier : 0;
            model.Train(regions.roiPara2[d][i], multiplier, 100, 150);
        }
    }
    view.isReTrain = false;
}
