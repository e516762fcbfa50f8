#include "camera/camerahealth.h"

#include "core/atomicfile.h"
#include "core/globals.h"

#include <QFile>
#include <QIODevice>
#include <QSettings>
#include <QTextStream>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>
#include <utility>

namespace {

constexpr int kRowDarker = 1560;
constexpr int kRowBrighter = 1561;
constexpr int kRowContrastLower = 1562;
constexpr int kRowContrastHigher = 1563;
constexpr int kRowLessSharp = 1564;
constexpr int kRowShifted = 1565;
constexpr int kRowTurned = 1566;
constexpr int kRowBackFirst = 1567;  // 1567-1571: each measure back, in Measure order

// A warning ends only once the measure is well back, so a value near the limit does not flicker.
constexpr double kBackFraction = 0.75;

double relative(double value, double reference)
{
    return reference > 1e-6 ? (value - reference) / reference * 100.0 : 0.0;
}

}  // namespace

HealthSample MeasureHealth(const cv::Mat &gray, const cv::Rect &area)
{
    HealthSample s;
    const cv::Rect r = area & cv::Rect(0, 0, gray.cols, gray.rows);
    if (r.width < 8 || r.height < 8 || gray.type() != CV_8UC1)
        return s;
    cv::Scalar mean, deviation;
    cv::meanStdDev(gray(r), mean, deviation);
    s.brightness = mean[0];
    s.contrast = deviation[0];
    cv::Mat half, laplacian;
    cv::pyrDown(gray(r), half);
    cv::Laplacian(half, laplacian, CV_16S);
    cv::meanStdDev(laplacian, mean, deviation);
    // Relative to the picture's own contrast, so that light growing or fading does not pass
    // for a change of focus.
    s.focus = deviation[0] * deviation[0] / std::max(s.contrast * s.contrast, 1.0);
    return s;
}

HealthReference ReadHealthReference(const QString &path)
{
    HealthReference r;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return r;
    QTextStream in(&file);
    int x = 0, y = 0, w = 0, h = 0, found = 0;
    while (!in.atEnd()) {
        const QStringList item = in.readLine().split(QLatin1Char(' '), Qt::SkipEmptyParts);
        if (item.size() == 2) {
            const QString &key = item[0];
            const double v = item[1].toDouble();
            double *target = key == QLatin1String("brightness") ? &r.brightness
                             : key == QLatin1String("contrast") ? &r.contrast
                             : key == QLatin1String("focus")    ? &r.focus
                                                                : nullptr;
            if (target) {
                *target = v;
                ++found;
            }
        } else if (item.size() == 5 && item[0] == QLatin1String("area")) {
            x = item[1].toInt(), y = item[2].toInt(), w = item[3].toInt(), h = item[4].toInt();
            ++found;
        }
    }
    r.area = cv::Rect(x, y, w, h);
    r.valid = found == 4 && !r.area.empty() && r.brightness > 0;
    return r;
}

bool WriteHealthReference(const QString &path, const HealthReference &r)
{
    const QString text = QStringLiteral("brightness %1\ncontrast %2\nfocus %3\narea %4 %5 %6 %7\n")
                             .arg(r.brightness, 0, 'f', 2)
                             .arg(r.contrast, 0, 'f', 2)
                             .arg(r.focus, 0, 'g', 6)
                             .arg(r.area.x)
                             .arg(r.area.y)
                             .arg(r.area.width)
                             .arg(r.area.height);
    const QByteArray bytes = text.toUtf8();
    return AtomicFile::Write(path, [&bytes](QIODevice &out) { return out.write(bytes) == bytes.size(); });
}

HealthLimits HealthLimits::Load(const QString &path)
{
    HealthLimits l;
    if (!QFile::exists(path))
        return l;
    QSettings ini(path, QSettings::IniFormat);
    ini.beginGroup(QStringLiteral("limits"));
    auto get = [&ini](const char *key, double fallback) {
        bool ok = false;
        const double v = ini.value(QLatin1String(key)).toDouble(&ok);
        return ok && v > 0 ? v : fallback;
    };
    l.brightnessPercent = get("brightnessPercent", l.brightnessPercent);
    l.contrastPercent = get("contrastPercent", l.contrastPercent);
    l.focusPercent = get("focusPercent", l.focusPercent);
    l.shiftPx = get("shiftPx", l.shiftPx);
    l.turnDeg = get("turnDeg", l.turnDeg);
    l.cycles = std::clamp(int(get("cycles", l.cycles)), 1, 1000);
    return l;
}

CameraHealth::CameraHealth(const HealthLimits &limits) : m_limits(limits) {}

void CameraHealth::setReference(int camera, int detection, const HealthReference &reference)
{
    if (camera < 0 || camera >= kCameras || detection < 0 || detection >= kDetections)
        return;
    Track &t = m_tracks[camera][detection];
    t = Track();
    t.reference = reference;
}

const HealthReference &CameraHealth::reference(int camera, int detection) const
{
    static const HealthReference none;
    if (camera < 0 || camera >= kCameras || detection < 0 || detection >= kDetections)
        return none;
    return m_tracks[camera][detection].reference;
}

bool CameraHealth::takeNewReference(int camera, int detection)
{
    if (camera < 0 || camera >= kCameras || detection < 0 || detection >= kDetections)
        return false;
    return std::exchange(m_tracks[camera][detection].newReference, false);
}

void CameraHealth::update(Track &t, const HealthSample &s)
{
    const double alpha = 2.0 / (m_limits.cycles + 1);
    auto smooth = [alpha](double &value, double sample, bool first) {
        value = first ? sample : value + alpha * (sample - value);
    };
    // Shift and turn are measured against the template's pose itself: no reference is needed.
    if (s.located) {
        const bool first = t.located++ == 0;
        smooth(t.smoothed[3], s.shiftX, first);
        smooth(t.smoothed[4], s.shiftY, first);
        smooth(t.smoothed[5], s.turnDeg, first);
    }
    if (!t.reference.valid) {
        // An old teaching without stored values: the first judged pictures become the reference.
        t.collecting.brightness += s.brightness;
        t.collecting.contrast += s.contrast;
        t.collecting.focus += s.focus;
        if (++t.referencePictures >= kReferencePictures) {
            t.reference.brightness = t.collecting.brightness / t.referencePictures;
            t.reference.contrast = t.collecting.contrast / t.referencePictures;
            t.reference.focus = t.collecting.focus / t.referencePictures;
            t.reference.valid = true;
            t.newReference = true;
        }
    } else {
        const bool first = t.samples++ == 0;
        smooth(t.smoothed[0], s.brightness, first);
        smooth(t.smoothed[1], s.contrast, first);
        smooth(t.smoothed[2], s.focus, first);
    }

    // Judged only once the smoothing has seen enough pictures for one odd picture not to count.
    const int enough = std::max(3, m_limits.cycles / 2);
    double value[kMeasures] = {};
    bool judged[kMeasures] = {};
    if (t.samples >= enough) {
        value[Brightness] = relative(t.smoothed[0], t.reference.brightness);
        value[Contrast] = relative(t.smoothed[1], t.reference.contrast);
        value[Focus] = relative(t.smoothed[2], t.reference.focus);
        judged[Brightness] = judged[Contrast] = judged[Focus] = true;
    }
    if (t.located >= enough) {
        value[Shift] = std::hypot(t.smoothed[3], t.smoothed[4]);
        value[Turn] = t.smoothed[5];
        judged[Shift] = judged[Turn] = true;
    }
    const double limit[kMeasures] = {m_limits.brightnessPercent, m_limits.contrastPercent, m_limits.focusPercent,
                                     m_limits.shiftPx, m_limits.turnDeg};
    for (int m = 0; m < kMeasures; ++m) {
        if (!judged[m])
            continue;
        // A sharper picture than at training is no fault: only lost sharpness counts.
        const double size = m == Focus ? -value[m] : std::abs(value[m]);
        t.over[m] = t.over[m] ? size >= limit[m] * kBackFraction : size > limit[m];
        t.deviation[m] = value[m];
    }
}

QVector<CameraHealth::Change> CameraHealth::add(int camera, int detection, const HealthSample &sample)
{
    QVector<Change> changes;
    if (camera < 0 || camera >= kCameras || detection < 0 || detection >= kDetections)
        return changes;
    update(m_tracks[camera][detection], sample);
    // A camera drifts in a measure when any of its detections does; it is reported with the
    // largest deviation among them.
    for (int m = 0; m < kMeasures; ++m) {
        bool over = false;
        double deviation = 0;
        for (const Track &t : m_tracks[camera]) {
            if (t.over[m] && (!over || std::abs(t.deviation[m]) > std::abs(deviation)))
                deviation = t.deviation[m];
            over = over || t.over[m];
        }
        if (over)
            m_deviation[camera][m] = deviation;
        if (over != m_drifting[camera][m]) {
            m_drifting[camera][m] = over;
            changes.append({camera, Measure(m), over, deviation});
        }
    }
    return changes;
}

bool CameraHealth::drifting(int camera, Measure measure) const
{
    return camera >= 0 && camera < kCameras && measure >= 0 && measure < kMeasures && m_drifting[camera][measure];
}

QStringList CameraHealth::warnings(int camera) const
{
    QStringList lines;
    for (int m = 0; m < kMeasures; ++m)
        if (drifting(camera, Measure(m)))
            lines << Text({camera, Measure(m), true, m_deviation[camera][m]});
    return lines;
}

QString CameraHealth::Text(const Change &c)
{
    if (!c.drifting)
        return LanStr(kRowBackFirst + c.measure).arg(c.camera + 1);
    const double d = c.deviation;
    const QString percent = QString::number(qRound(std::abs(d)));
    switch (c.measure) {
    case Brightness: return LanStr(d < 0 ? kRowDarker : kRowBrighter).arg(c.camera + 1).arg(percent);
    case Contrast: return LanStr(d < 0 ? kRowContrastLower : kRowContrastHigher).arg(c.camera + 1).arg(percent);
    case Focus: return LanStr(kRowLessSharp).arg(c.camera + 1).arg(percent);
    case Shift: return LanStr(kRowShifted).arg(c.camera + 1).arg(qRound(d));
    case Turn: return LanStr(kRowTurned).arg(c.camera + 1).arg(d, 0, 'f', 1);
    default: return QString();
    }
}
