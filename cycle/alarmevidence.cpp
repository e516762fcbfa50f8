#include "cycle/alarmevidence.h"

#include "core/globals.h"

#include <QDir>
#include <QFont>
#include <QPainter>
#include <QtDebug>

#include <algorithm>
#include <cmath>

namespace {

constexpr int kRowTemplate = 1572;
constexpr int kRowJudged = 1573;
constexpr int kRowDifference = 1574;
constexpr int kRowTitle = 1575;  // "Camera %1  Detection %2  %3"

constexpr int kMaxPanelWidth = 960;
constexpr int kTitleHeight = 34;
constexpr int kLineHeight = 22;
constexpr int kValueColumnWidth = 230;
// Differences are faint next to the picture's own contrast; tripled they show at a glance.
constexpr int kDifferenceGain = 3;

QFont evidenceFont(int pixels)
{
    QFont font(QStringLiteral("WenQuanYi Micro Hei"));
    font.setPixelSize(pixels);
    return font;
}

// |a - b| times the gain, as a gray picture of a's size (b is taken as black where it is smaller).
QImage difference(const QImage &a, const QImage &b)
{
    const QImage ga = a.convertToFormat(QImage::Format_Grayscale8);
    const QImage gb = b.convertToFormat(QImage::Format_Grayscale8);
    QImage out(ga.size(), QImage::Format_Grayscale8);
    for (int y = 0; y < ga.height(); ++y) {
        const uchar *pa = ga.constScanLine(y);
        const uchar *pb = y < gb.height() ? gb.constScanLine(y) : nullptr;
        uchar *po = out.scanLine(y);
        for (int x = 0; x < ga.width(); ++x) {
            const int v = pb && x < gb.width() ? std::abs(int(pa[x]) - int(pb[x])) : pa[x];
            po[x] = uchar(std::min(255, v * kDifferenceGain));
        }
    }
    return out;
}

}  // namespace

QImage RenderAlarmEvidence(const AlarmEvidence &e)
{
    const QImage &judged = e.judged.image;
    const QSize size = judged.size();
    if (size.isEmpty())
        return {};
    const QImage reference = e.reference.isNull() ? QImage(size, QImage::Format_Grayscale8) : e.reference;
    QImage referenceShown = reference;
    if (e.reference.isNull())
        referenceShown.fill(0);
    const double scale = std::min(1.0, double(kMaxPanelWidth) / size.width());
    const int pw = qRound(size.width() * scale), ph = qRound(size.height() * scale);
    const int columns = std::max(1, 3 * pw / kValueColumnWidth);
    const int regions = int(e.judged.regions.size());
    const int valueRows = (regions + columns - 1) / columns;
    QImage out(3 * pw, kTitleHeight + ph + valueRows * kLineHeight + 8, QImage::Format_RGB32);
    out.fill(QColor(20, 20, 20));

    QPainter p(&out);
    p.setRenderHint(QPainter::Antialiasing);
    const QColor green(0, 200, 0), red(240, 40, 40), white(240, 240, 240);
    const QImage panels[3] = {referenceShown, judged, difference(judged, referenceShown)};
    const int titles[3] = {kRowTemplate, kRowJudged, kRowDifference};
    p.setFont(evidenceFont(20));
    for (int k = 0; k < 3; ++k) {
        const QRect target(k * pw, kTitleHeight, pw, ph);
        p.drawImage(target, panels[k]);
        p.setPen(white);
        QString title = LanStr(titles[k]);
        if (k == 1)
            title += QStringLiteral("  ") + (e.judged.ok ? QStringLiteral("OK") : QStringLiteral("NG"));
        const QRect titleRect(k * pw + 6, 0, pw - 12, kTitleHeight);
        p.drawText(titleRect, Qt::AlignLeft | Qt::AlignVCenter, title);
        if (k == 2)
            p.drawText(titleRect, Qt::AlignRight | Qt::AlignVCenter,
                       LanStr(kRowTitle).arg(e.camera + 1).arg(e.detection + 1).arg(
                           e.time.toString(QStringLiteral("yyyy-MM-dd hh:mm:ss"))));
        // Regions in panel coordinates: failed ones red and thick, with their NG rectangles.
        p.save();
        p.setClipRect(target);
        p.translate(target.topLeft());
        p.scale(scale, scale);
        for (const JudgedRegion &region : e.judged.regions) {
            p.setBrush(Qt::NoBrush);
            p.setPen(QPen(region.ok ? green : red, (region.ok ? 1.5 : 3.0) / scale));
            p.drawPath(region.outline);
            if (!region.ok && k > 0) {
                p.setPen(QPen(red, 2.0 / scale));
                for (const QRect &r : region.ngRects)
                    p.drawRect(r);
            }
        }
        p.restore();
        if (k > 0) {
            p.setPen(QPen(QColor(90, 90, 90), 1));
            p.drawLine(k * pw, 0, k * pw, kTitleHeight + ph);
        }
    }

    // The verdict values: region number, measured value and the limit it was judged against.
    p.setFont(evidenceFont(17));
    for (int i = 0; i < regions; ++i) {
        const JudgedRegion &region = e.judged.regions[i];
        const QRect cell((i % columns) * kValueColumnWidth + 6, kTitleHeight + ph + 4 + (i / columns) * kLineHeight,
                         kValueColumnWidth - 8, kLineHeight);
        p.setPen(region.ok ? white : red);
        p.drawText(cell, Qt::AlignLeft | Qt::AlignVCenter,
                   QStringLiteral("%1: %2 / %3").arg(i + 1).arg(region.value, region.limit));
    }
    p.end();
    return out;
}

QString AlarmEvidenceDir(int camera, int detection)
{
    return QStringLiteral("./alarmimage//camera%1//detect%2//evidence").arg(camera + 1).arg(detection + 1);
}

AlarmEvidenceWriter::AlarmEvidenceWriter() : m_thread([this] { run(); }) {}

AlarmEvidenceWriter::~AlarmEvidenceWriter()
{
    {
        std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    m_wake.notify_all();
    m_thread.join();
}

bool AlarmEvidenceWriter::put(AlarmEvidence evidence)
{
    {
        std::lock_guard lock(m_mutex);
        if (int(m_queue.size()) >= kMaxQueued)
            return false;
        m_queue.push_back(std::move(evidence));
    }
    m_wake.notify_one();
    return true;
}

void AlarmEvidenceWriter::waitIdle()
{
    std::unique_lock lock(m_mutex);
    m_idle.wait(lock, [this] { return m_queue.empty() && !m_busy; });
}

void AlarmEvidenceWriter::run()
{
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_wake.wait(lock, [this] { return m_stop || !m_queue.empty(); });
        if (m_queue.empty()) {
            if (m_stop)
                return;
            continue;
        }
        AlarmEvidence evidence = std::move(m_queue.front());
        m_queue.pop_front();
        m_busy = true;
        lock.unlock();

        const QString dir = AlarmEvidenceDir(evidence.camera, evidence.detection);
        QDir().mkpath(dir);
        MakeRoomInDir(dir, limit ? limit() : 0);
        const QString path = QDir(dir).absoluteFilePath(
            evidence.time.toString(QStringLiteral("yyyy-MM-dd_hh.mm.ss.zzz")) + QStringLiteral(".jpg"));
        const QImage picture = RenderAlarmEvidence(evidence);
        if (picture.isNull() || !picture.save(path, "JPG", 90))
            qWarning().noquote() << "alarm evidence could not be written:" << path;

        lock.lock();
        m_busy = false;
        if (m_queue.empty())
            m_idle.notify_all();
    }
}
