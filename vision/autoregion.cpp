#include "vision/autoregion.h"

#include "params/wizardpara.h"
#include "vision/cameravision.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>

bool AutogenerationRegion(CameraVision &view, int d, const WizardPara &para)
{
    CammerSingleton &regions = view.singleton;
    if (d < 0 || d >= kMaxDetect || regions.roiNum[d] != 0)
        return false;
    if (view.tempImage[0].empty() || view.tempImage[1].empty())
        return false;

    // Colour references are compared as the run sees them, one byte per pixel.
    cv::Mat product, mould;
    CameraVision::OneChannel(view.Template(0, 0), product);
    CameraVision::OneChannel(view.Template(1, 0), mould);
    if (product.empty() || product.size() != mould.size())
        return false;
    cv::Mat difference;
    cv::absdiff(mould, product, difference);

    // Pixels that differ by more than 50 gray levels, cleaned: specks removed, the part closed,
    // areas too small for a part dropped, and a margin added around what remains. (The limit 50
    // is given as a truncating threshold, which taken literally would keep every pixel that
    // differs at all, down to sensor noise; it is read as the cut it names.)
    cv::Mat area;
    cv::threshold(difference, area, 50, 255, cv::THRESH_BINARY);
    const auto morph = [&](int op, int shape, int size) {
        const cv::Mat kernel = cv::getStructuringElement(shape, cv::Size(size, size));
        cv::morphologyEx(area, area, op, kernel, cv::Point(-1, -1), 1, cv::BORDER_CONSTANT, cv::Scalar(0));
    };
    morph(cv::MORPH_OPEN, cv::MORPH_RECT, 3);
    morph(cv::MORPH_CLOSE, cv::MORPH_ELLIPSE, 30);
    morph(cv::MORPH_OPEN, cv::MORPH_ELLIPSE, 30);
    morph(cv::MORPH_DILATE, cv::MORPH_ELLIPSE, 50);

    std::vector<std::vector<cv::Point>> contours;
    cv::findContours(area, contours, cv::RETR_TREE, cv::CHAIN_APPROX_SIMPLE);
    std::vector<cv::Point> points;
    for (const auto &contour : contours)
        points.insert(points.end(), contour.begin(), contour.end());
    if (points.empty())
        return false;
    std::vector<cv::Point> hull, outline;
    cv::convexHull(points, hull, false, true);
    cv::approxPolyDP(hull, outline, 10.0, true);

    std::vector<QPoint> vertices;
    for (const cv::Point &p : outline)
        vertices.emplace_back(p.x, p.y);
    // Only the region's own fields are set: its NG output group (roiOut) belongs to the region
    // number in every detection and stays as it is.
    const int i = 0;
    regions.polygon[d][i] = RePolygon(vertices);
    regions.roiType[d][i] = ShapePolygon;
    regions.roiFunc[d][i] = FuncDefect;
    view.RebuildMask(d, i);
    regions.SetRegionSelected(d, i, true);

    // Sensitivity: a fifth of the mean difference of the differing pixels in the bounding box.
    const cv::Rect box = cv::boundingRect(outline) & cv::Rect(0, 0, difference.cols, difference.rows);
    const cv::Mat cut = difference(box);
    const int differing = cv::countNonZero(cut);
    regions.roiPara2[d][i] = differing > 0 ? int(0.2 * (cv::sum(cut)[0] / differing)) : 45;
    regions.roiPara1[d][i] = para.minimum_size;
    regions.roiPara3[d][i] = para.minimum_area;
    regions.roiNum[d] = 1;
    return true;
}
