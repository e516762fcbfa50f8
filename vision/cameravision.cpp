#include "vision/cameravision.h"

#include "core/globals.h"
#include "core/operatorport.h"
#include "log/eventrecord.h"
#include "params/lastgood.h"
#include "params/wizardpara.h"
#include "vision/imagefiles.h"
#include "vision/lib/checkrange.h"
#include "vision/lib/imageconv.h"
#include "vision/templatelibrary.h"
#include "vision/visionhooks.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>
#include <cstring>

namespace {

QString ignorePointPath(const QString &dir) { return dir + QStringLiteral("/ignorepoint.bmp"); }

}  // namespace

CameraVision::CameraVision(int camNo)
    : singleton(camNo), m_camNo(camNo), m_color(gisColor)
{
    // The shapes clamp to the image size the library knows.
    SetImageSize(gImageW, gImageH);
    const int type = m_color ? CV_8UC4 : CV_8UC1;
    // The shown image is made by the first preview or resample that draws it.
    for (cv::Mat *image : {&captureImage, &workImage, &detectImage})
        *image = cv::Mat::zeros(gImageH, gImageW, type);
    alarmMap = cv::Mat::zeros(gImageH, gImageW, CV_8UC1);
    const int slotNum = std::max(gTempNum, 1);
    for (int d = 0; d < kMaxDetect; ++d) {
        if (d < gDNum)
            ignorePoint[d] = cv::Mat::zeros(gImageH, gImageW, CV_8UC1);
        tempImage[d].resize(slotNum);
        tempFlag[d].assign(slotNum, 0);
        tempInFile[d].assign(slotNum, 0);
    }
    std::fill(&roiOK[0][0], &roiOK[0][0] + kMaxDetect * kMaxRoi, uint8_t(1));
    std::fill(&roiValue[0][0], &roiValue[0][0] + kMaxDetect * kMaxRoi, 0);
    std::fill(&roiBlobNum[0][0], &roiBlobNum[0][0] + kMaxDetect * kMaxRoi, 0);
    std::fill(&roiRefPoint[0][0][0], &roiRefPoint[0][0][0] + kMaxDetect * kMaxRoi * 5, 0);
    std::fill(&roiCurPoint[0][0][0], &roiCurPoint[0][0][0] + kMaxDetect * kMaxRoi * 5, 0);
    roiBlobRect = std::make_unique<int[][kMaxRoi][kMaxBlobRect][4]>(kMaxDetect);
}

void CameraVision::LoadFiles()
{
    LoadRegions();
    ReportUnreadable(LoadImageFiles());
}

QStringList CameraVision::LoadImageFiles()
{
    QStringList unreadable = TemplateLibrary::LoadTemplates(*this);
    unreadable += LoadIgnorePoint();
    return unreadable;
}

void CameraVision::ReportUnreadable(const QStringList &unreadable)
{
    // A damaged file is named, so that a station failing every cycle on a lost template says why.
    if (unreadable.isEmpty())
        return;
    for (const QString &line : unreadable)
        EventRecord::Insert(line);
    Operator::Warn(unreadable.join(QLatin1Char('\n')));
}

QString CameraVision::DetectionDir(int camNo, int detection)
{
    return QStringLiteral("cammer%1%2").arg(camNo + 1).arg(detection + 1);
}

void CameraVision::OneChannel(const cv::Mat &image, cv::Mat &out)
{
    if (image.channels() == 1) {
        out = image;
        return;
    }
    if (out.rows != image.rows || out.cols != image.cols || out.type() != CV_8UC1 || out.data == image.data)
        out.create(image.rows, image.cols, CV_8UC1);
    const cv::Mat source = image.isContinuous() ? image : image.clone();
    if (gisGrayHue)
        RGBA2Gray(source.ptr(), out.ptr(), image.cols, image.rows);
    else
        RGBA2Hue(source.ptr(), out.ptr(), image.cols, image.rows);
}

QStringList CameraVision::LoadIgnorePoint()
{
    QStringList unreadable;
    const int detections = std::clamp(gDNum, 0, kMaxDetect);
    for (int d = 0; d < detections; ++d) {
        cv::Mat file;
        const QString path = ignorePointPath(DetectionDir(d));
        // The ignore points are one byte per pixel whatever the camera delivers.
        const ImageFileState state = ReadStationImage(path, file, gImageLen);
        // A detection without ignore points holds no image for them.
        if (state == ImageFileState::Loaded && file.type() == CV_8UC1) {
            if (cv::countNonZero(file) > 0)
                file.copyTo(ignorePoint[d]);
            else
                ignorePoint[d].release();
        } else {
            ignorePoint[d].release();
            if (state != ImageFileState::Missing)
                unreadable << UnreadableFileText(m_camNo, d, path);
        }
    }
    return unreadable;
}

cv::Mat &CameraVision::IgnorePoints(int d)
{
    cv::Mat &points = ignorePoint[std::clamp(d, 0, kMaxDetect - 1)];
    if (points.empty())
        points = cv::Mat::zeros(gImageH, gImageW, CV_8UC1);
    return points;
}

bool CameraVision::SaveIgnorePoint(int d)
{
    if (d < 0 || d >= kMaxDetect)
        return false;
    const QString path = ignorePointPath(DetectionDir(d));
    const cv::Mat none = ignorePoint[d].empty() ? cv::Mat::zeros(gImageH, gImageW, CV_8UC1) : cv::Mat();
    if (!SaveStationImage(path, ignorePoint[d].empty() ? none : ignorePoint[d]))
        return false;
    LastGood::Keep(LastGood::Saved::Teaching);
    if (VisionHooks::sendIgnorePoint)
        VisionHooks::sendIgnorePoint(QFileInfo(path).absoluteFilePath());
    return true;
}

const cv::Mat &CameraVision::Template(int d, int j)
{
    static const cv::Mat none;
    if (d < 0 || d >= kMaxDetect || j < 0 || j >= int(tempImage[d].size()))
        return none;
    cv::Mat &image = tempImage[d][j];
    if (!image.empty() || !tempFlag[d][j])
        return image;
    const QString path = TemplateLibrary::TemplatePath(m_camNo, d, j);
    if (!TemplateLibrary::ReadTemplate(*this, path, image)) {
        tempFlag[d][j] = 0;
        tempInFile[d][j] = 0;
        --tempCount[d];
        if (j == 0)
            TemplateLibrary::SetSyntheticTemplate(*this, d);
        EventRecord::Insert(UnreadableFileText(m_camNo, d, path));
    }
    return image;
}

void CameraVision::ParkTemplates(int d)
{
    if (!parkTemplates || d < 0 || d >= kMaxDetect)
        return;
    for (size_t j = 0; j < tempImage[d].size(); ++j)
        if (tempFlag[d][j] && tempInFile[d][j])
            tempImage[d][j].release();
}

bool CameraVision::SaveReTrainImage(int d)
{
    return TemplateLibrary::Resample(*this, d);
}

void CameraVision::AttachCaptureBuffer(uint8_t *bytes)
{
    if (bytes)
        captureImage = cv::Mat(gImageH, gImageW, m_color ? CV_8UC4 : CV_8UC1, bytes);
}

QPainterPath CameraVision::RegionOutline(int d, int i) const
{
    QPainterPath path;
    if (d < 0 || d >= kMaxDetect || i < 0 || i >= kMaxRoi)
        return path;
    switch (singleton.roiType[d][i]) {
    case ShapeRect: {
        const QRect r = singleton.rect[d][i].outline();
        path.addRect(QRectF(r.x(), r.y(), r.width() - 1, r.height() - 1));
        break;
    }
    case ShapeCircle: {
        const Circle &c = singleton.circle[d][i];
        path.addEllipse(QPointF(c.center()), c.outerRadius(), c.outerRadius());
        if (c.innerRadius() > 0)
            path.addEllipse(QPointF(c.center()), c.innerRadius(), c.innerRadius());
        break;
    }
    case ShapePolygon: {
        QPolygonF polygon;
        for (const QPoint &p : singleton.polygon[d][i].points())
            polygon << QPointF(p);
        path.addPolygon(polygon);
        path.closeSubpath();
        break;
    }
    default:
        break;
    }
    return path;
}

QString CameraVision::RegionLimitText(int d, int i) const
{
    if (d < 0 || d >= kMaxDetect || i < 0 || i >= kMaxRoi)
        return QString();
    switch (singleton.roiFunc[d][i]) {
    case FuncDefect:
        if (gpWPara && !gpWPara->enable_display_detail)
            return QString::number(gpWPara->minimum_area);
        return QString::number(singleton.roiPara3[d][i]);
    case FuncSimilarity:
        return QString::number(singleton.roiPara2[d][i]);
    case FuncSpot:
        return QStringLiteral("%1--%2").arg(singleton.roiPara2[d][i]).arg(singleton.roiPara3[d][i]);
    default:
        return QString::number(singleton.roiPara3[d][i]);
    }
}

void CameraVision::KeepFailedFrame(int d)
{
    if (d < 0 || d >= kMaxDetect)
        return;
    workImage.copyTo(failFrame[d][failCount[d] % kFailFrames]);
    ++failCount[d];
}

bool CameraVision::PtInRegion(int d, const QPoint &p, const ImageViewMap &map) const
{
    const int i = selectedRoi;
    if (d < 0 || d >= kMaxDetect || i < 0 || i >= singleton.roiNum[d])
        return false;
    int handle = RegionShape::NoHandle;
    return singleton.RegionContains(d, i, p) || singleton.RegionPtInCtrl(d, i, p, &handle, map);
}

bool CameraVision::PtInRect(int d, const QPoint &p, const ImageViewMap &map)
{
    if (d < 0 || d >= kMaxDetect)
        return false;
    const int count = std::clamp(singleton.roiNum[d], 0, kMaxRoi);
    const int start = (selectedRoi >= 0 && selectedRoi < count) ? selectedRoi : 0;
    for (int k = 0; k < count; ++k) {
        const int i = (start + k) % count;
        int handle = RegionShape::NoHandle;
        const bool onHandle = singleton.RegionPtInCtrl(d, i, p, &handle, map);
        if (!onHandle && !singleton.RegionContains(d, i, p))
            continue;
        ClearSelection(d);
        singleton.SetRegionSelected(d, i, true);
        selectedRoi = i;
        hitHandle = onHandle ? handle : RegionShape::NoHandle;
        pressPoint = p;
        dragOrigin = singleton.RegionOrigin(d, i);
        return true;
    }
    return false;
}

bool CameraVision::PtInRectMove(int d, const QPoint &p, const ImageViewMap &map) const
{
    const int i = selectedRoi;
    if (d < 0 || d >= kMaxDetect || i < 0 || i >= singleton.roiNum[d])
        return false;
    int handle = RegionShape::NoHandle;
    return singleton.RegionPtInCtrl(d, i, p, &handle, map) && handle == RegionShape::MoveHandle;
}

void CameraVision::ClearSelection(int d)
{
    for (int i = 0; i < kMaxRoi; ++i)
        singleton.SetRegionSelected(d, i, false);
    selectedRoi = -1;
}

void CameraVision::CopyDetection(int from, int to)
{
    if (from == to || from < 0 || to < 0 || from >= kMaxDetect || to >= kMaxDetect)
        return;
    const int count = std::clamp(singleton.roiNum[from], 0, kMaxRoi);
    singleton.roiNum[to] = count;
    for (int i = 0; i < count; ++i) {
        singleton.CopyRegion(from, i, to, i);
        roiMask[to][i] = roiMask[from][i].clone();
    }
}

bool CameraVision::CopyPara()
{
    if (!gpWPara || !gpWPara->enabe_two_test)
        return false;
    switch (gpWPara->work_mode) {
    case 0:
    case 3:
        if (!gpWPara->enable_product_detect)
            return false;
        CopyDetection(0, 1);
        return true;
    case 1:
    case 2:
        CopyDetection(1, 3);
        CopyDetection(0, 2);
        return true;
    default:
        return false;
    }
}
