#include "app/stationcameras.h"

#include "core/globals.h"
#include "params/wizardpara.h"
#include "camera/cameraglobals.h"
#include "camera/cameraloss.h"
#include "camera/camerahealth.h"
#include "camera/cameraprobe.h"
#include "ui/cammerwidget.h"
#include "cycle/alarmevidence.h"
#include "cycle/failimagestore.h"
#include "cycle/imagewriter.h"
#include "cycle/replaystore.h"
#include "vision/cameravision.h"
#include "vision/cammerrecong.h"
#include "vision/imagefiles.h"
#include "vision/judgepool.h"
#include "vision/visionhooks.h"
#include "log/eventrecord.h"

#include <QElapsedTimer>
#include <QGuiApplication>
#include <QImage>
#include <QScreen>
#include <QtDebug>

StationCameras::StationCameras(QWidget *parent)
    : m_rawWriter(std::make_unique<ImageWriter>())
    , m_health(std::make_unique<CameraHealth>(HealthLimits::Load()))
    , m_evidence(std::make_unique<AlarmEvidenceWriter>())
{
    m_evidence->limit = [] { return gpWPara ? gpWPara->ng_max_num : 0; };  // as many as NG images
    QElapsedTimer clock;
    clock.start();
    m_views = CreateCammerWidgets(parent);
    const qint64 viewsMs = clock.restart();
    // The region tables come from PARAM.db on this thread (the connection is this thread's); the
    // template and ignore-point files and the training touch only their own camera and run side by
    // side on the judging pool; unreadable files are reported afterwards, camera by camera.
    QList<int> opened;
    m_replayStore = std::make_unique<ReplayStore>(
        QString::fromLatin1(Replay::kRoot), ReplayStore::ReadLimits(QStringLiteral("replay.ini"), count(), gDNum));
    for (int position = 0; position < 8; ++position) {
        CammerWidget *view = m_views[position];
        if (!view || !view->isOpened())
            continue;
        m_vision[position] = std::make_unique<CameraVision>(position);
        m_vision[position]->AttachCaptureBuffer(view->workingImage());
        m_vision[position]->parkTemplates = true;  // the run needs the trained models, not the templates
        m_vision[position]->LoadRegions();
        opened << position;
    }
    std::array<QStringList, 8> unreadable;
    JudgePool(JudgePool::defaultWorkers()).run(int(opened.size()), [&](int k) {
        const int position = opened[k];
        unreadable[position] = m_vision[position]->LoadImageFiles();
        m_recong[position] = std::make_unique<CammerRecong>(*m_vision[position]);
    });
    for (int position : opened)
        CameraVision::ReportUnreadable(unreadable[position]);
    qInfo("cameras: views opened in %lld ms, vision state of %d cameras built in %lld ms", viewsMs,
          int(opened.size()), clock.elapsed());
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

namespace {

QImage ownedImage(const cv::Mat &m)
{
    return QImage(m.data, m.cols, m.rows, static_cast<qsizetype>(m.step),
                  m.channels() == 4 ? QImage::Format_RGBA8888 : QImage::Format_Grayscale8)
        .copy();
}

// The working image with the verdicts of the last run of the detection, copied out (the next
// frame overwrites the working image).
JudgedImage judgedPicture(const CameraVision &state, int detection)
{
    JudgedImage judged;
    judged.image = ownedImage(state.workImage);
    const int regions = std::clamp(state.singleton.roiNum[detection], 0, kMaxRoi);
    for (int i = 0; i < regions; ++i) {
        JudgedRegion region;
        region.outline = state.RegionOutline(detection, i);
        region.ok = state.roiOK[detection][i] != 0;
        region.value = QString::number(state.roiValue[detection][i]);
        region.limit = state.RegionLimitText(detection, i);
        for (int k = 0; k < std::min(state.roiBlobNum[detection][i], kMaxBlobRect); ++k) {
            const int *b = state.roiBlobRect[detection][i][k];
            region.ngRects << QRect(QPoint(b[0], b[1]), QPoint(b[2], b[3]));
        }
        judged.regions << region;
    }
    return judged;
}

}  // namespace

void StationCameras::keepJudgedImage(int camera, int detection, bool ok, bool doorTrigger)
{
    CameraVision *state = m_vision[camera].get();
    if (!state || !gpFailImage || state->workImage.empty())
        return;
    JudgedImage judged = judgedPicture(*state, detection);
    judged.ok = ok;
    judged.safetyDoorTrigger = doorTrigger;
    // Rendered by the saving thread, which keeps the GUI thread's share to this copy.
    const QScreen *screen = QGuiApplication::primaryScreen();
    gpFailImage->put(camera, detection, ok ? FailImageStore::OkSlot : FailImageStore::NgSlot, std::move(judged),
                     screen ? screen->size().width() : 1920);
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

cv::Rect StationCameras::healthArea(int camera, int detection) const
{
    if (const CameraVision *state = m_vision[camera].get()) {
        const CammerSingleton &regions = state->singleton;
        for (int i = 0; i < std::clamp(regions.roiNum[detection], 0, kMaxRoi); ++i) {
            if (regions.roiFunc[detection][i] != FuncPosition)
                continue;
            const cv::Rect r = regions.RegionCvRect(detection, i);
            if (r.width > 0 && r.height > 0)
                return r;
            break;
        }
    }
    return cv::Rect(gImageW / 4, gImageH / 4, gImageW / 2, gImageH / 2);
}

static QString healthFile(int camera, int detection)
{
    return CameraVision::DetectionDir(camera, detection) + QStringLiteral("/health.txt");
}

void StationCameras::storeHealthReference(int camera, int detection)
{
    CameraVision *state = m_vision[camera].get();
    if (!state || state->tempImage[detection].empty() || state->tempImage[detection][0].empty())
        return;
    cv::Mat gray;
    CameraVision::OneChannel(state->tempImage[detection][0], gray);
    HealthReference reference;
    reference.area = healthArea(camera, detection);
    const HealthSample sample = MeasureHealth(gray, reference.area);
    reference.brightness = sample.brightness;
    reference.contrast = sample.contrast;
    reference.focus = sample.focus;
    reference.valid = sample.brightness > 0;
    m_health->setReference(camera, detection, reference);
    m_healthLoaded[camera][detection] = true;
    if (reference.valid)
        WriteHealthReference(healthFile(camera, detection), reference);
}

// After the verdict: brightness, contrast and focus over the position region of the judged
// (position-corrected) picture, with the shift and turn the correction found. A change of a
// warning goes to the operation record; the machine is never held for it.
void StationCameras::watchCamera(int camera, int detection)
{
    CameraVision *state = m_vision[camera].get();
    CammerRecong *recong = m_recong[camera].get();
    if (!state || !recong || state->workImage.empty() || detection < 0 || detection >= 8)
        return;
    const cv::Rect area = healthArea(camera, detection);
    const HealthReference &known = m_health->reference(camera, detection);
    if (!m_healthLoaded[camera][detection] || (known.valid && known.area != area)) {
        HealthReference stored = ReadHealthReference(healthFile(camera, detection));
        if (!stored.valid || stored.area != area) {
            qInfo().noquote() << QStringLiteral("camera %1 detection %2: no training values for the position region; "
                                                "the first %3 judged pictures become the reference")
                                     .arg(camera + 1)
                                     .arg(detection + 1)
                                     .arg(CameraHealth::kReferencePictures);
            stored = HealthReference();
            stored.area = area;
        }
        m_health->setReference(camera, detection, stored);
        m_healthLoaded[camera][detection] = true;
    }
    cv::Mat gray;
    CameraVision::OneChannel(state->workImage, gray);
    HealthSample sample = MeasureHealth(gray, area);
    const CammerRecong::MatchResult &match = recong->lastMatch;
    sample.located = match.found;
    sample.shiftX = match.dx;
    sample.shiftY = match.dy;
    sample.turnDeg = match.angle;
    for (const CameraHealth::Change &change : m_health->add(camera, detection, sample))
        EventRecord::Insert(CameraHealth::Text(change));
    if (m_health->takeNewReference(camera, detection)) {
        HealthReference reference = m_health->reference(camera, detection);
        reference.area = area;
        WriteHealthReference(healthFile(camera, detection), reference);
        qInfo().noquote() << QStringLiteral("camera %1 detection %2: reference taken from the first judged pictures")
                                 .arg(camera + 1)
                                 .arg(detection + 1);
    }
}

QStringList StationCameras::healthWarnings(int position) const
{
    return m_health->warnings(position);
}

// The GUI thread only copies the pictures and the region results; the evidence writer renders
// and writes them.
void StationCameras::keepAlarmEvidence(int camera, int detection)
{
    CameraVision *state = m_vision[camera].get();
    if (!state || state->workImage.empty() || detection < 0 || detection >= kMaxDetect)
        return;
    AlarmEvidence evidence;
    evidence.camera = camera;
    evidence.detection = detection;
    evidence.time = QDateTime::currentDateTime();
    if (!state->tempImage[detection].empty() && !state->tempImage[detection][0].empty())
        evidence.reference = ownedImage(state->tempImage[detection][0]);
    evidence.judged = judgedPicture(*state, detection);
    evidence.judged.ok = state->imageOK != 0;
    if (!m_evidence->put(std::move(evidence)))
        qWarning("alarm evidence of camera %d dropped: the writer is behind", camera + 1);
}

void StationCameras::waitForEvidence() { m_evidence->waitIdle(); }

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
    env.detectConcurrently = true;  // each camera judges on its own vision state and recognizer
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
            if (state->SaveReTrainImage(detection))
                storeHealthReference(camera, detection);
    };
    env.watchCamera = [this](int camera, int detection) { watchCamera(camera, detection); };
    env.keepAlarmEvidence = [this](int camera, int detection) { keepAlarmEvidence(camera, detection); };
}
