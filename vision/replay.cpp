#include "vision/replay.h"

#include "core/globals.h"
#include "vision/cameravision.h"
#include "vision/cammerrecong.h"

#include <QDir>
#include <QImage>
#include <QImageReader>

#include <algorithm>
#include <cstring>

namespace Replay {

QString PictureFolder(const QString &root, int camera, int detection, bool ok)
{
    return QStringLiteral("%1/camera%2/detect%3/%4")
        .arg(root)
        .arg(camera + 1)
        .arg(detection + 1)
        .arg(ok ? QStringLiteral("OK") : QStringLiteral("NG"));
}

QString PictureName(const QDateTime &time, qint64 sequence)
{
    return QStringLiteral("%1_%2.png")
        .arg(time.toString(QStringLiteral("yyyy-MM-dd_hh.mm.ss.zzz")))
        .arg(sequence % 1000000, 6, 10, QLatin1Char('0'));
}

QString NgRegionsText(const QList<int> &regions)
{
    QStringList numbers;
    for (int i : regions)
        numbers << QString::number(i + 1);
    return numbers.join(QLatin1Char(' '));
}

QList<int> ParseNgRegions(const QString &text)
{
    QList<int> regions;
    for (const QString &word : text.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        bool ok = false;
        const int number = word.toInt(&ok);
        if (ok && number >= 1 && number <= kMaxRoi)
            regions << number - 1;
    }
    return regions;
}

QList<StoredPicture> ListPictures(const QString &root, int camera, int detection)
{
    QList<StoredPicture> pictures;
    for (const bool ok : {true, false}) {
        const QDir dir(PictureFolder(root, camera, detection, ok));
        for (const QString &name : dir.entryList({QStringLiteral("*.png")}, QDir::Files, QDir::Name))
            pictures.append({dir.filePath(name), ok});
    }
    return pictures;
}

Settings TakeSettings(const CameraVision &view, int detection)
{
    Settings s;
    s.camera = view.camNo();
    s.detection = std::clamp(detection, 0, kMaxDetect - 1);
    const int d = s.detection;
    s.regions = std::make_shared<CammerSingleton>(view.singleton);
    s.masks.resize(kMaxRoi);
    for (int i = 0; i < kMaxRoi; ++i)
        s.masks[size_t(i)] = view.roiMask[d][i].clone();
    for (const cv::Mat &t : view.tempImage[d])
        s.templates.push_back(t.clone());
    s.templateFlags = view.tempFlag[d];
    s.templateCount = view.tempCount[d];
    s.ignorePoints = view.ignorePoint[d].clone();
    return s;
}

namespace {

// Reads a stored picture into the capture image of `vision` (camera format); false when the file
// is not a whole picture of the camera's size. `ngRegions` gets the stored failed regions.
bool loadPicture(const QString &path, CameraVision &vision, QList<int> *ngRegions)
{
    QImageReader reader(path);
    QImage image = reader.read();
    if (image.isNull() || image.width() != vision.captureImage.cols || image.height() != vision.captureImage.rows)
        return false;
    *ngRegions = ParseNgRegions(image.text(QLatin1String(kNgRegionsKey)));
    const bool colour = vision.captureImage.channels() == 4;
    image = image.convertToFormat(colour ? QImage::Format_RGBA8888 : QImage::Format_Grayscale8);
    const size_t rowBytes = size_t(vision.captureImage.cols) * size_t(vision.captureImage.channels());
    for (int y = 0; y < image.height(); ++y)
        std::memcpy(vision.captureImage.ptr(y), image.constScanLine(y), rowBytes);
    return true;
}

void addOutlines(const CameraVision &vision, int d, Flip &flip)
{
    for (int i : flip.regions)
        flip.outlines << vision.RegionOutline(d, i);
}

}  // namespace

Result Run(const Settings &settings, const QList<StoredPicture> &pictures,
           const std::function<bool(int done, int total)> &progress)
{
    Result result;
    result.camera = settings.camera;
    result.detection = settings.detection;
    const int d = settings.detection;
    if (!settings.regions || gImageW <= 0 || gImageH <= 0)
        return result;

    // A camera state of its own, trained on the copy: the live one keeps judging the machine.
    CameraVision vision(settings.camera);
    vision.singleton = *settings.regions;
    for (int i = 0; i < kMaxRoi && size_t(i) < settings.masks.size(); ++i)
        vision.roiMask[d][i] = settings.masks[size_t(i)];
    if (!settings.templates.empty()) {
        vision.tempImage[d] = settings.templates;
        vision.tempFlag[d] = settings.templateFlags;
        vision.tempFlag[d].resize(vision.tempImage[d].size(), 0);
    }
    vision.tempCount[d] = settings.templateCount;
    if (!settings.ignorePoints.empty())
        vision.ignorePoint[d] = settings.ignorePoints;
    CammerRecong recong(vision, false);
    recong.quiet = true;
    recong.CreateShape(d);
    recong.VarTrain(d);

    const int total = int(pictures.size());
    const int regionCount = std::clamp(vision.singleton.roiNum[d], 0, kMaxRoi);
    for (int k = 0; k < total; ++k) {
        const StoredPicture &picture = pictures[k];
        QList<int> storedNg;
        if (!loadPicture(picture.path, vision, &storedNg)) {
            ++result.unreadable;
        } else {
            // As the cycle judges: position correction, then the run on the corrected image.
            recong.ShapeMatch(d);
            vision.workImage.copyTo(vision.detectImage);
            recong.Run(d);
            const bool nowOk = vision.imageOK != 0;
            ++result.judged;
            if (picture.storedOk) {
                ++result.storedGood;
                if (!nowOk) {
                    ++result.goodNowFailing;
                    Flip flip{picture.path, true, {}, {}, {}};
                    for (int i = 0; i < regionCount; ++i) {
                        if (vision.roiOK[d][i] != 0)
                            continue;
                        flip.regions << i;
                        ++result.goodFailsByRegion[size_t(i)];
                        for (int b = 0; b < std::min(vision.roiBlobNum[d][i], kMaxBlobRect); ++b) {
                            const int *r = vision.roiBlobRect[d][i][b];
                            flip.ngRects << QRect(QPoint(r[0], r[1]), QPoint(r[2], r[3]));
                        }
                    }
                    addOutlines(vision, d, flip);
                    result.flips << flip;
                }
            } else {
                ++result.storedFailed;
                if (nowOk) {
                    ++result.failedNowPassing;
                    Flip flip{picture.path, false, {}, {}, {}};
                    for (int i : storedNg)
                        if (i < regionCount)
                            flip.regions << i;
                    addOutlines(vision, d, flip);
                    result.flips << flip;
                }
            }
        }
        if (progress && !progress(k + 1, total)) {
            result.cancelled = k + 1 < total;
            break;
        }
    }
    return result;
}

Job::Job(Settings settings, QList<StoredPicture> pictures)
    : m_total(int(pictures.size()))
    , m_thread([this, settings = std::move(settings), pictures = std::move(pictures)] {
        Result result = Run(settings, pictures, [this](int done, int) {
            m_done = done;
            return !m_cancel.load();
        });
        {
            std::lock_guard lock(m_mutex);
            m_result = std::move(result);
        }
        m_finished = true;
    })
{
}

Job::~Job()
{
    m_cancel = true;
    m_thread.join();
}

Result Job::result() const
{
    std::lock_guard lock(m_mutex);
    return m_result;
}

}  // namespace Replay
