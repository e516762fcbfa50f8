#include "app/stationcameras.h"

#include "core/globals.h"
#include "camera/cameraglobals.h"
#include "camera/cameraloss.h"
#include "camera/cameraprobe.h"
#include "ui/cammerwidget.h"
#include "cycle/failimagestore.h"
#include "cycle/imagewriter.h"
#include "cycle/replaystore.h"
#include "vision/cameravision.h"
#include "vision/cammerrecong.h"
#include "vision/imagefiles.h"
#include "vision/visionhooks.h"

#include <QGuiApplication>
#include <QImage>
#include <QScreen>

StationCameras::StationCameras(QWidget *parent)
    : m_rawWriter(std::make_unique<ImageWriter>())
{
    m_views = CreateCammerWidgets(parent);
    m_replayStore = std::make_unique<ReplayStore>(
        QString::fromLatin1(Replay::kRoot), ReplayStore::ReadLimits(QStringLiteral("replay.ini"), count(), gDNum));
    for (int position = 0; position < 8; ++position) {
        CammerWidget *view = m_views[position];
        if (!view || !view->isOpened())
            continue;
        m_vision[position] = std::make_unique<CameraVision>(position);
        m_vision[position]->AttachCaptureBuffer(view->workingImage());
        m_vision[position]->LoadFiles();
        m_recong[position] = std::make_unique<CammerRecong>(*m_vision[position]);
    }
}

StationCameras::~StationCameras() = default;

int StationCameras::count() const { return std::clamp(numCamera, 0, 8); }

QList<int> StationCameras::regionTableFailures() const
{
    QList<int> failed;
    for (int position = 0; position < 8; ++position)
        if (m_vision[position] && m_vision[position]->singleton.LoadFailed())
            failed << position;
    return failed;
}

bool StationCameras::notTaught(int position, int detection) const
{
    if (position < 0 || position >= 8 || detection < 0 || detection >= kMaxDetect || !m_vision[position])
        return false;
    return m_vision[position]->singleton.NotTaught(detection);
}

DetectVerdict StationCameras::detect(int camera, int detection)
{
    CameraVision *state = m_vision[camera].get();
    CammerRecong *recong = m_recong[camera].get();
    DetectVerdict verdict;
    if (!state || !recong) {
        verdict.ok = false;  // a position without a camera cannot pass
        return verdict;
    }
    recong->ShapeMatch(detection);
    state->workImage.copyTo(state->detectImage);
    recong->Run(detection);
    verdict.ok = state->imageOK != 0;
    if (verdict.ok)
        return verdict;
    // The NG output groups of the failed regions (a group outside 0-3 is group 0, as at loading).
    const CammerSingleton &regions = state->singleton;
    for (int i = 0; i < std::clamp(regions.roiNum[detection], 0, kMaxRoi); ++i) {
        if (state->roiOK[detection][i] == 0) {
            const int group = regions.roiOut[i];
            verdict.ngGroups |= 1u << (unsigned(group) > 3 ? 0 : group);
        }
    }
    return verdict;
}

void StationCameras::keepJudgedImage(int camera, int detection, bool ok, bool doorTrigger)
{
    CameraVision *state = m_vision[camera].get();
    if (!state || !gpFailImage || state->workImage.empty())
        return;
    JudgedImage judged;
    const cv::Mat &image = state->workImage;
    judged.image = QImage(image.data, image.cols, image.rows, static_cast<qsizetype>(image.step),
                          image.channels() == 4 ? QImage::Format_RGBA8888 : QImage::Format_Grayscale8)
                       .copy();
    judged.ok = ok;
    judged.safetyDoorTrigger = doorTrigger;
    const int regions = std::clamp(state->singleton.roiNum[detection], 0, kMaxRoi);
    for (int i = 0; i < regions; ++i) {
        JudgedRegion region;
        region.outline = state->RegionOutline(detection, i);
        region.ok = state->roiOK[detection][i] != 0;
        region.value = QString::number(state->roiValue[detection][i]);
        region.limit = state->RegionLimitText(detection, i);
        for (int k = 0; k < std::min(state->roiBlobNum[detection][i], kMaxBlobRect); ++k) {
            const int *b = state->roiBlobRect[detection][i][k];
            region.ngRects << QRect(QPoint(b[0], b[1]), QPoint(b[2], b[3]));
        }
        judged.regions << region;
    }
    const QScreen *screen = QGuiApplication::primaryScreen();
    int firstNg = 0;
    const QImage rendered = RenderJudgedImage(judged, screen ? screen->size().width() : 1920, &firstNg);
    gpFailImage->put(camera, detection, ok ? FailImageStore::OkSlot : FailImageStore::NgSlot, rendered, firstNg);
}

// A gray image as 8-bit indexed with the gray colour table, a colour image as 32-bit; the copy is
// taken here (the next frame overwrites the working image), the conversion and the disk write are
// the writer thread's.
void StationCameras::saveRawImage(int camera, int detection, int index)
{
    CammerWidget *view = m_views[camera];
    if (!view || !view->isOpened() || gImageW <= 0 || gImageH <= 0)
        return;
    const uchar *pixels = view->workingImage();
    QImage image;
    QImage::Format target = QImage::Format_Invalid;
    if (gisColor) {
        image = QImage(pixels, gImageW, gImageH, gImageW * 4, QImage::Format_RGBA8888).copy();
        target = QImage::Format_RGB32;
    } else {
        image = QImage(pixels, gImageW, gImageH, gImageW, QImage::Format_Indexed8).copy();
        image.setColorTable(GrayColorTable());
    }
    const QString path = QStringLiteral("./originalimage/cammer%1%2/template%3.bmp")
                             .arg(camera + 1)
                             .arg(detection + 1)
                             .arg(index);
    m_rawWriter->write(path, std::move(image), target);
}

// The frame as the camera took it (the capture buffer still holds the judged frame until the next
// tick takes one), so that a replay corrects its position with the settings it tries.
void StationCameras::keepReplayImage(int camera, int detection, bool ok)
{
    const CameraVision *state = m_vision[camera].get();
    if (!state || state->captureImage.empty())
        return;
    QList<int> failed;
    if (!ok)
        for (int i = 0; i < std::clamp(state->singleton.roiNum[detection], 0, kMaxRoi); ++i)
            if (state->roiOK[detection][i] == 0)
                failed << i;
    m_replayStore->keep(camera, detection, state->captureImage, ok, failed);
}

void StationCameras::retrainAll()
{
    for (auto &recong : m_recong)
        if (recong)
            recong->TrainEnabledStages();
}

void StationCameras::fillCycleHooks(CycleEnvironment &env)
{
    env.cameraCount = [this] { return count(); };
    // The frame's arrival time is stamped by the hand-over on the steady clock, the cycle's
    // default monotonic clock.
    env.takeFrame = [this](int camera, qint64 &capturedAt) {
        CammerWidget *view = m_views[camera];
        if (!view || !view->isOpened() || !view->TakeFrame())
            return false;
        capturedAt = view->acquisition().frames().takenFrameTime() / 1000000;
        return true;
    };
    env.detect = [this](int camera, int detection) { return detect(camera, detection); };
    env.cameraLost = [] { return gisLost.load() != 0; };
    env.resampleStarted = [] { SaveSN(0); };
    env.restartCameras = [] { CameraRestart(); };
    env.cameraFaultFlagged = [] { return gCameraWatch.cameraFault.load(); };
    env.checkCameras = [] { CameraFaultTick(); };
    env.secondTick = [] { CameraSecondTick(); };
    env.whiteBalance = [this] {
        for (CammerWidget *view : m_views)
            if (view && view->isOpened())
                view->SetWB();
    };
    env.resetRun = [this](int camera) {
        if (CameraVision *state = m_vision[camera].get()) {
            state->imageOK = 1;
            for (auto &stage : state->roiOK)
                std::fill(std::begin(stage), std::end(stage), uint8_t(1));
        }
    };
    env.keepFailedFrame = [this](int camera, int detection) {
        if (CameraVision *state = m_vision[camera].get())
            state->KeepFailedFrame(detection);
    };
    env.keepJudgedImage = [this](int camera, int detection, bool ok, bool doorTrigger) {
        keepJudgedImage(camera, detection, ok, doorTrigger);
    };
    env.saveRawImage = [this](int camera, int detection, int index) { saveRawImage(camera, detection, index); };
    env.keepReplayImage = [this](int camera, int detection, bool ok) { keepReplayImage(camera, detection, ok); };
    env.refreshView = [this](int camera) {
        if (m_views[camera])
            m_views[camera]->update();
    };
    env.setExternalTrigger = [this](bool) {
        for (CammerWidget *view : m_views)
            if (view && view->isOpened())
                view->CameraChangeTrig(true);
    };
    env.rebuildModels = [this](int detection) {
        for (auto &recong : m_recong) {
            if (recong) {
                recong->CreateShape(detection);
                recong->VarTrain(detection);
            }
        }
    };
    env.storeRetrainImage = [this](int camera, int detection) {
        if (CameraVision *state = m_vision[camera].get())
            state->SaveReTrainImage(detection);
    };
}
