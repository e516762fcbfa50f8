#include "cycle/failimagestore.h"

#include "core/globals.h"

#include <QDir>
#include <QSaveFile>
#include <QFont>
#include <QMutex>
#include <QMutexLocker>
#include <QPainter>
#include <QtDebug>

#include <utility>

FailImageStore *gpFailImage = nullptr;

namespace {

constexpr int kRowSafetyDoorTrigger = 265;

QMutex *storeMutex()
{
    // The station creates pMutexSaveFail at start-up; tools and tests may not have.
    static QMutex fallback;
    return pMutexSaveFail ? pMutexSaveFail : &fallback;
}

bool valid(int camera, int detection)
{
    return camera >= 0 && camera < FailImageStore::kCameras && detection >= 0
           && detection < FailImageStore::kDetections;
}

}  // namespace

QImage RenderJudgedImage(const JudgedImage &judged, int displayWidth, int *firstNgRegion)
{
    QImage out = judged.image.convertToFormat(QImage::Format_RGB32);
    QPainter p(&out);
    p.setRenderHint(QPainter::Antialiasing);
    const QColor green(0, 200, 0), red(230, 0, 0);

    QFont big(QStringLiteral("WenQuanYi Micro Hei"));
    big.setPixelSize(26);
    p.setFont(big);
    const int y0 = displayWidth <= 1024 ? 70 : 80;
    p.setPen(judged.ok ? green : red);
    p.drawText(5, y0, judged.ok ? QStringLiteral("OK") : QStringLiteral("NG"));
    if (judged.safetyDoorTrigger)
        p.drawText(5, y0 + 30, LanStr(kRowSafetyDoorTrigger));

    QFont small = big;
    small.setPixelSize(16);
    p.setFont(small);
    const bool withLimits = judged.regions.size() <= 10;
    int firstNg = 0;
    int line = y0 + 60;
    for (int i = 0; i < judged.regions.size(); ++i) {
        const JudgedRegion &region = judged.regions[i];
        const QColor colour = region.ok ? green : red;
        if (!region.ok) {
            if (firstNg == 0)
                firstNg = i + 1;
            p.setPen(QPen(red, 2));
            for (const QRect &r : region.ngRects)
                p.drawRect(r);
        }
        p.setPen(QPen(colour, 2));
        p.setBrush(Qt::NoBrush);
        p.drawPath(region.outline);
        const QString text = withLimits ? QStringLiteral("%1: %2 / %3 ").arg(i + 1).arg(region.value, region.limit)
                                        : QStringLiteral("%1: %2").arg(i + 1).arg(region.value);
        p.drawText(QRect(5, line, 400, 20), Qt::AlignLeft | Qt::AlignVCenter, text);
        line += 20;
    }
    p.end();
    if (firstNgRegion)
        *firstNgRegion = firstNg;
    return out;
}

int FirstNgRegion(const JudgedImage &judged)
{
    for (int i = 0; i < judged.regions.size(); ++i)
        if (!judged.regions[i].ok)
            return i + 1;
    return 0;
}

void FailImageStore::put(int camera, int detection, Slot slot, const QImage &image, int firstNgRegion)
{
    if (!valid(camera, detection))
        return;
    Waiting waiting;
    waiting.rendered = image;
    QMutexLocker lock(storeMutex());
    // The image it replaces is released after the lock.
    std::swap(m_images[camera][detection][slot], waiting);
    m_pending[camera][detection][slot] = true;
    if (m_failIndex[camera][detection] == 0)
        m_failIndex[camera][detection] = firstNgRegion;
}

void FailImageStore::put(int camera, int detection, Slot slot, JudgedImage judged, int displayWidth)
{
    if (!valid(camera, detection))
        return;
    const int firstNg = FirstNgRegion(judged);
    Waiting waiting;
    waiting.judged = std::move(judged);
    waiting.displayWidth = displayWidth;
    QMutexLocker lock(storeMutex());
    std::swap(m_images[camera][detection][slot], waiting);
    m_pending[camera][detection][slot] = true;
    if (m_failIndex[camera][detection] == 0)
        m_failIndex[camera][detection] = firstNg;
}

bool FailImageStore::take(int camera, int detection, Slot slot, QImage *image)
{
    if (!valid(camera, detection))
        return false;
    Waiting waiting;
    {
        QMutexLocker lock(storeMutex());
        if (!m_pending[camera][detection][slot])
            return false;
        std::swap(waiting, m_images[camera][detection][slot]);
        m_pending[camera][detection][slot] = false;
    }
    // Rendering happens outside the lock, on the taker's thread.
    *image = waiting.rendered.isNull() && !waiting.judged.image.isNull()
                 ? RenderJudgedImage(waiting.judged, waiting.displayWidth)
                 : waiting.rendered;
    return true;
}

bool FailImageStore::pending(int camera, int detection, Slot slot)
{
    QMutexLocker lock(storeMutex());
    return valid(camera, detection) && m_pending[camera][detection][slot];
}

int FailImageStore::failIndex(int camera, int detection)
{
    QMutexLocker lock(storeMutex());
    return valid(camera, detection) ? m_failIndex[camera][detection] : 0;
}

void FailImageStore::clearFailIndex(int camera, int detection)
{
    QMutexLocker lock(storeMutex());
    if (valid(camera, detection))
        m_failIndex[camera][detection] = 0;
}

QString FailImageDir(int camera, int detection, bool ng)
{
    return QStringLiteral("%1//camera%2//detect%3//%4")
        .arg(QStringLiteral("./alarmimage"))
        .arg(camera + 1)
        .arg(detection + 1)
        .arg(ng ? QStringLiteral("NG") : QStringLiteral("OK"));
}

QString FailImageName(qint64 counter, const QDateTime &time)
{
    return QStringLiteral("%1_%2")
        .arg(counter, 10, 10, QLatin1Char('0'))
        .arg(time.toString(QStringLiteral("yyyy-MM-dd_hh.mm.ss.zzz")));
}

qint64 ReadSaveImageCount()
{
    QFile file(QStringLiteral("saveImageCount.txt"));
    if (!file.open(QIODevice::ReadOnly))
        return 0;
    bool ok = false;
    const qint64 count = file.readAll().trimmed().toLongLong(&ok);
    return ok && count >= 0 ? count : 0;
}

bool WriteSaveImageCount(qint64 count)
{
    QSaveFile file(QStringLiteral("saveImageCount.txt"));
    if (!file.open(QIODevice::WriteOnly) || file.write(QByteArray::number(count)) < 0 || !file.commit()) {
        qWarning("saveImageCount.txt could not be written");
        return false;
    }
    return true;
}

int MakeRoomInDir(const QString &dir, int limit)
{
    QDir d(dir);
    const QStringList files = d.entryList({QStringLiteral("*.jpg")}, QDir::Files, QDir::Name);
    int removed = 0;
    const int excess = static_cast<int>(files.size()) - std::max(limit, 0) + 1;
    for (int i = 0; i < excess && i < files.size(); ++i)
        if (d.remove(files[i]))
            ++removed;
    return removed;
}

SaveFialImageThread::SaveFialImageThread(FailImageStore *store, QObject *parent)
    : QThread(parent)
    , m_store(store)
{
}

SaveFialImageThread::~SaveFialImageThread()
{
    stop();
    wait();
}

void SaveFialImageThread::stop()
{
    QMutexLocker lock(&m_pauseMutex);
    m_stop = true;
    m_pauseWake.wakeAll();
}

void SaveFialImageThread::pause(int ms)
{
    QMutexLocker lock(&m_pauseMutex);
    if (!m_stop && ms > 0)
        m_pauseWake.wait(&m_pauseMutex, static_cast<unsigned long>(ms));
}

bool SaveFialImageThread::write(const QImage &image, int camera, int detection, bool ng)
{
    const QString dir = FailImageDir(camera, detection, ng);
    QDir().mkpath(dir);
    const int limit = ng ? (ngLimit ? ngLimit() : 0) : (okLimit ? okLimit() : 0);
    MakeRoomInDir(dir, limit);
    const QDateTime time = now ? now() : QDateTime::currentDateTime();
    const QString path = QDir(dir).absolutePath() + QLatin1Char('/') + FailImageName(counter++, time)
                         + QStringLiteral(".jpg");
    if (!image.save(path, "JPG")) {
        // The image is gone from the hand-over already; say so rather than lose it silently.
        qWarning().noquote() << "judged image could not be written:" << path;
        return false;
    }
    WriteSaveImageCount(counter);
    if (fileSaved)
        fileSaved(path);
    return true;
}

int SaveFialImageThread::savePass()
{
    int written = 0;
    const int count = std::clamp(detections ? detections() : gDNum, 0, FailImageStore::kDetections);
    for (int camera = 0; camera < FailImageStore::kCameras && !m_stop; ++camera) {
        for (int detection = 0; detection < count && !m_stop; ++detection) {
            const bool ngPending = m_store->pending(camera, detection, FailImageStore::NgSlot);
            const bool okPending = m_store->pending(camera, detection, FailImageStore::OkSlot);
            for (int slot = 0; slot < 2; ++slot) {
                QImage image;
                if (!m_store->take(camera, detection, FailImageStore::Slot(slot), &image))
                    continue;
                // An OK image that arrived with an NG one belongs to the failed cycle.
                const bool ng = slot == 0 || ngPending;
                if (write(image, camera, detection, ng))
                    ++written;
                const int rest = (slot == 0 && ngPending && okPending) ? pauseAfterBothMs : pauseAfterFileMs;
                pause(rest);
            }
            if (ngPending)
                m_store->clearFailIndex(camera, detection);
        }
    }
    return written;
}

void SaveFialImageThread::run()
{
    while (!m_stop) {
        savePass();
        pause(pausePerPassMs);
    }
}
