#include "vision/templatelibrary.h"

#include "core/globals.h"
#include "core/guard.h"
#include "core/operatorport.h"
#include "log/eventrecord.h"
#include "params/lastgood.h"
#include "vision/cameravision.h"
#include "vision/cammerrecong.h"
#include "vision/imagefiles.h"
#include "vision/visionhooks.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>

namespace TemplateLibrary {

namespace {

int slotCount(const CameraVision &view, int d) { return int(view.tempFlag[d].size()); }

bool validDetection(int d) { return d >= 0 && d < kMaxDetect; }

// The synthetic reference: 255 in the middle half of the image, 0 elsewhere, over the first
// gImageW x gImageH bytes of the buffer.
void makeSyntheticTemplate(cv::Mat &image)
{
    image.setTo(0);
    uint8_t *bytes = image.ptr();
    const int x0 = gImageW / 4, x1 = (gImageW / 4) * 3;
    const int y0 = gImageH / 4, y1 = (gImageH / 4) * 3;
    for (int y = y0; y <= y1 && y < gImageH; ++y)
        for (int x = x0; x <= x1 && x < gImageW; ++x)
            bytes[size_t(y) * gImageW + x] = 255;
}

cv::Mat blankImage(const CameraVision &view)
{
    return cv::Mat::zeros(gImageH, gImageW, view.isColor() ? CV_8UC4 : CV_8UC1);
}

// A template file of the camera's format; any other counts as unreadable.
ImageFileState readTemplate(const CameraVision &view, const QString &path, cv::Mat &file)
{
    const ImageFileState state = ReadStationImage(path, file, gColorLen);
    if (state == ImageFileState::Loaded && file.type() != (view.isColor() ? CV_8UC4 : CV_8UC1))
        return ImageFileState::WrongFormat;
    return state;
}

// The slot number in a file name "template<n>.bmp"; -1 when it is not such a name.
int slotOfFile(const QString &fileName)
{
    static const QString prefix = QStringLiteral("template");
    static const QString suffix = QStringLiteral(".bmp");
    if (!fileName.startsWith(prefix) || !fileName.endsWith(suffix))
        return -1;
    const QString number = fileName.mid(prefix.size(), fileName.size() - prefix.size() - suffix.size());
    bool ok = false;
    const int n = number.toInt(&ok);
    return ok && n >= 0 ? n : -1;
}

// The slot a new template replaces when the library is full: the oldest template file other than
// template 0. A file numbered beyond the library is removed and the last slot is used instead.
int slotToReplace(CameraVision &view, int d)
{
    const int slotNum = slotCount(view, d);
    const QDir dir(view.DetectionDir(d));
    const QFileInfoList files = dir.entryInfoList({QStringLiteral("template*.bmp")}, QDir::Files,
                                                  QDir::Time | QDir::Reversed);
    for (const QFileInfo &file : files) {
        const int n = slotOfFile(file.fileName());
        if (n <= 0)
            continue;  // template 0, or a name that is no slot
        if (n < slotNum)
            return n;
        QFile::remove(file.absoluteFilePath());
        if (VisionHooks::sendDelTempPic)
            VisionHooks::sendDelTempPic(view.camNo() + 1, d + 1, QStringLiteral("template%1").arg(n));
        return slotNum - 1;
    }
    return slotNum - 1;
}

}  // namespace

QString TemplatePath(int camNo, int detection, int slot)
{
    return CameraVision::DetectionDir(camNo, detection) + QStringLiteral("/template%1.bmp").arg(slot);
}

QStringList LoadTemplates(CameraVision &view)
{
    QStringList unreadable;
    const int detections = std::clamp(gDNum, 0, kMaxDetect);
    for (int d = 0; d < detections; ++d) {
        const int slotNum = slotCount(view, d);
        view.tempCount[d] = 0;
        view.tempCur[d] = 0;
        for (int j = 0; j < slotNum; ++j) {
            cv::Mat &image = view.tempImage[d][j];
            cv::Mat file;
            const QString path = TemplatePath(view.camNo(), d, j);
            const ImageFileState state = readTemplate(view, path, file);
            const bool loaded = state == ImageFileState::Loaded;
            image = loaded ? file : cv::Mat();
            view.tempFlag[d][j] = loaded;
            view.tempInFile[d][j] = loaded;
            if (loaded)
                ++view.tempCount[d];
            else if (state != ImageFileState::Missing)
                unreadable << UnreadableFileText(view.camNo(), d, path);
        }
        if (slotNum > 0 && !view.tempFlag[d][0])
            SetSyntheticTemplate(view, d);
    }
    return unreadable;
}

bool SaveTemplate(CameraVision &view, int d, int slot)
{
    if (!validDetection(d) || slot < 0 || slot >= slotCount(view, d))
        return false;
    const bool written = SaveStationImage(TemplatePath(view.camNo(), d, slot), view.tempImage[d][slot]);
    if (size_t(slot) < view.tempInFile[d].size())
        view.tempInFile[d][slot] = written;
    return written;
}

bool ReadTemplate(const CameraVision &view, const QString &path, cv::Mat &image)
{
    cv::Mat file;
    if (readTemplate(view, path, file) != ImageFileState::Loaded)
        return false;
    image = file;
    return true;
}

void SetSyntheticTemplate(CameraVision &view, int d)
{
    if (!validDetection(d) || slotCount(view, d) < 1)
        return;
    view.tempImage[d][0] = blankImage(view);
    makeSyntheticTemplate(view.tempImage[d][0]);
    view.tempInFile[d][0] = 0;
    if (!view.tempFlag[d][0]) {
        view.tempFlag[d][0] = 1;
        ++view.tempCount[d];
    }
}

bool Resample(CameraVision &view, int d)
{
    if (!validDetection(d) || slotCount(view, d) < 1)
        return false;
    view.captureImage.copyTo(view.workImage);
    view.captureImage.copyTo(view.displayImage);
    view.captureImage.copyTo(view.tempImage[d][0]);
    if (!view.tempFlag[d][0]) {
        view.tempFlag[d][0] = 1;
        ++view.tempCount[d];
    }
    if (!SaveTemplate(view, d, 0))
        return false;
    LastGood::Keep(LastGood::Saved::Teaching);
    if (VisionHooks::sendTempPic)
        VisionHooks::sendTempPic(QFileInfo(TemplatePath(view.camNo(), d, 0)).absoluteFilePath());
    return true;
}

AddResult AddTemplate(CameraVision &view, CammerRecong *recong, const AddRequest &request, int *slotUsed)
{
    int d = request.detection;
    if (request.alarmPending) {
        if (!request.alarmOnThisCamera) {
            Operator::Warn(107);
            return AddResult::NotAlarmCamera;
        }
        if (request.doorMustBeOpen && !request.doorOpen) {
            Operator::Warn(195);
            return AddResult::DoorClosed;
        }
        d = request.alarmDetection;
    }
    if (!validDetection(d))
        return AddResult::Cancelled;
    const int slotNum = slotCount(view, d);
    if (slotNum <= 1) {
        Operator::Warn(258);
        return AddResult::SingleSlot;
    }
    if (!Guard::Require(Guard::Action::AddTemplate))
        return AddResult::NotAllowed;
    if (!Operator::Ask(108))
        return AddResult::Cancelled;

    const int frame = ((request.failFrameShown % kFailFrames) + kFailFrames) % kFailFrames;
    const cv::Mat &source = request.liveShown ? view.captureImage : view.failFrame[d][frame];
    if (source.empty())
        return AddResult::WriteFailed;  // no failed frame has reached that slot yet

    EventRecord::Insert(LanStr(109).arg(view.camNo() + 1));
    int slot = -1;
    if (view.tempCount[d] < slotNum) {
        const auto free = std::find(view.tempFlag[d].begin(), view.tempFlag[d].end(), 0);
        if (free != view.tempFlag[d].end())
            slot = int(free - view.tempFlag[d].begin());
    }
    if (slot < 0) {
        slot = slotToReplace(view, d);
    }
    if (!view.tempFlag[d][slot]) {
        view.tempFlag[d][slot] = 1;
        ++view.tempCount[d];
    }

    source.copyTo(view.tempImage[d][slot]);
    if (slotUsed)
        *slotUsed = slot;
    const bool written = SaveTemplate(view, d, slot);
    if (written)
        LastGood::Keep(LastGood::Saved::Teaching);
    if (recong)
        recong->VarTrain(d);
    return written ? AddResult::Added : AddResult::WriteFailed;
}

bool DeleteCurrent(CameraVision &view, int d)
{
    if (!validDetection(d))
        return false;
    const int slot = view.tempCur[d];
    if (slot == 0) {
        Operator::Warn(68);
        return false;
    }
    if (slot < 0 || slot >= slotCount(view, d) || !view.tempFlag[d][slot])
        return false;
    if (!Operator::Ask(69))
        return false;
    view.tempFlag[d][slot] = 0;
    view.tempImage[d][slot].release();
    --view.tempCount[d];
    view.isReTrain = true;
    QFile::remove(TemplatePath(view.camNo(), d, slot));
    if (VisionHooks::sendDelTempPic)
        VisionHooks::sendDelTempPic(view.camNo() + 1, d + 1, QStringLiteral("template%1.bmp").arg(slot));
    Browse(view, d, 1);
    EventRecord::Insert(LanStr(70).arg(view.camNo() + 1).arg(slot + 1));
    LastGood::Keep(LastGood::Saved::Teaching);
    return true;
}

void DeleteAll(std::span<CameraVision *const> views)
{
    const int detections = std::clamp(gDNum, 0, kMaxDetect);
    for (CameraVision *view : views) {
        if (!view)
            continue;
        for (int d = 0; d < detections; ++d) {
            const int slotNum = slotCount(*view, d);
            if (slotNum < 1)
                continue;
            std::fill(view->tempFlag[d].begin() + 1, view->tempFlag[d].end(), 0);
            for (size_t j = 1; j < view->tempImage[d].size(); ++j)
                view->tempImage[d][j].release();
            view->tempFlag[d][0] = 1;
            view->tempCount[d] = 1;
            view->tempCur[d] = 0;
            // Only template0.bmp stays, whatever else the directory holds.
            const QDir dir(view->DetectionDir(d));
            const QFileInfoList files = dir.entryInfoList({QStringLiteral("template*")}, QDir::Files, QDir::Name);
            for (const QFileInfo &file : files) {
                if (file.fileName() == QLatin1String("template0.bmp"))
                    continue;
                QFile::remove(file.absoluteFilePath());
                if (VisionHooks::sendDelTempPic)
                    VisionHooks::sendDelTempPic(view->camNo() + 1, d + 1, file.fileName());
            }
        }
    }
    EventRecord::Insert(LanStr(71));
    LastGood::Keep(LastGood::Saved::Teaching);
}

int Browse(CameraVision &view, int d, int step)
{
    if (!validDetection(d))
        return 0;
    const int slotNum = slotCount(view, d);
    if (slotNum < 1)
        return 0;
    const int dir = step < 0 ? -1 : 1;
    int j = std::clamp(view.tempCur[d], 0, slotNum - 1);
    for (int k = 0; k < slotNum; ++k) {
        j = (j + dir + slotNum) % slotNum;
        if (view.tempFlag[d][j]) {
            view.tempCur[d] = j;
            break;
        }
    }
    return view.tempCur[d];
}

}  // namespace TemplateLibrary
