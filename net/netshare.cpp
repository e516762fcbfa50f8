#include "net/netshare.h"

#include <glog/logging.h>
#include <cjson/cJSON.h>

#include <QDateTime>
#include <QFont>
#include <QImage>
#include <QPainter>

#include <opencv2/imgproc.hpp>

#include <cerrno>
#include <cstring>
#include <ctime>

#include <sys/ipc.h>
#include <sys/sem.h>
#include <sys/shm.h>

namespace {

constexpr int kOwnerOnly = 0600;

union semun {
    int val;
    struct semid_ds *buf;
    unsigned short *array;
};

// Keys as the relay knows them: "100" or "200" followed by the position.
key_t keyOf(const QString &path, int base, int position)
{
    return ftok(path.toLocal8Bit().constData(), base + position);
}

// The ids this process made, for RemoveAllNow; a slot holds id + 1, 0 when free.
constexpr int kRegistrySlots = 64;
using Registry = std::array<std::atomic<int>, kRegistrySlots>;
Registry shmRegistry{};
Registry semRegistry{};

void remember(Registry &registry, int id)
{
    for (auto &slot : registry) {
        int free = 0;
        if (slot.compare_exchange_strong(free, id + 1))
            return;
    }
}

void forget(Registry &registry, int id)
{
    for (auto &slot : registry) {
        int expected = id + 1;
        if (slot.compare_exchange_strong(expected, 0))
            return;
    }
}

}  // namespace

// ---- CNT_Semaphore ----

bool CNT_Semaphore::create_sem(int n)
{
    if (m_key == -1)
        return false;
    m_id = semget(m_key, n, IPC_CREAT | kOwnerOnly);
    if (m_id == -1) {
        LOG(WARNING) << "CNT: semaphore " << m_key << " cannot be made: " << std::strerror(errno);
        return false;
    }
    semun arg{};
    arg.val = 1;
    return semctl(m_id, 0, SETVAL, arg) == 0;
}

bool CNT_Semaphore::get_sem()
{
    if (m_key == -1)
        return false;
    m_id = semget(m_key, 0, 0);
    return m_id != -1;
}

bool CNT_Semaphore::P_sem(int timeoutMs)
{
    if (m_id == -1)
        return false;
    sembuf op{0, -1, SEM_UNDO};
    const timespec wait{timeoutMs / 1000, long(timeoutMs % 1000) * 1000000L};
    while (semtimedop(m_id, &op, 1, &wait) == -1) {
        if (errno != EINTR)
            return false;
    }
    return true;
}

void CNT_Semaphore::V_sem()
{
    if (m_id == -1)
        return;
    sembuf op{0, 1, SEM_UNDO};
    semop(m_id, &op, 1);
}

void CNT_Semaphore::retInitPV()
{
    if (m_id == -1)
        return;
    semun arg{};
    arg.val = 1;
    semctl(m_id, 0, SETVAL, arg);
}

int CNT_Semaphore::value() const { return m_id == -1 ? -1 : semctl(m_id, 0, GETVAL); }

bool CNT_Semaphore::remove()
{
    if (m_id == -1)
        return false;
    const bool ok = semctl(m_id, 0, IPC_RMID) == 0;
    m_id = -1;
    return ok;
}

// ---- NetShare ----

NetShare::NetShare(const QString &keyPath, int lockTimeoutMs)
    : m_keyPath(keyPath), m_lockTimeoutMs(lockTimeoutMs), m_thread([this] { run(); })
{
}

NetShare::~NetShare()
{
    {
        std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    m_wake.notify_all();
    m_thread.join();
    freeAll();
}

bool NetShare::add(int position, int width, int height, int fps, const cv::Mat &source, PixelOrder order)
{
    if (position < 0 || position >= kPositions || width < 2 || height < 2)
        return false;
    width &= ~1;
    height &= ~1;
    drain();
    std::lock_guard copying(m_copyMutex);
    if (auto old = m_infos.find(position); old != m_infos.end()) {
        remove(old->second);
        m_infos.erase(old);
    }
    VideoShareInfo info;
    info.position = position;
    info.width = width;
    info.height = height;
    info.size = qsizetype(width) * height * 3 / 2;
    info.fps = fps;
    const key_t shmKey = keyOf(m_keyPath, 1000, position);
    if (shmKey == -1) {
        LOG(WARNING) << "CNT: no key for the shared picture of position " << position;
        return false;
    }
    info.shmid = shmget(shmKey, size_t(info.size), IPC_CREAT | kOwnerOnly);
    shmid_ds state{};
    if (info.shmid != -1 && shmctl(info.shmid, IPC_STAT, &state) == 0 && qsizetype(state.shm_segsz) != info.size) {
        // Left by an earlier run with another picture size: the relay would read it wrongly.
        shmctl(info.shmid, IPC_RMID, nullptr);
        info.shmid = -1;
    }
    if (info.shmid == -1) {
        // A larger stale segment refuses the smaller size (EINVAL): it goes, and a new one is made.
        const int stale = shmget(shmKey, 0, 0);
        if (stale != -1)
            shmctl(stale, IPC_RMID, nullptr);
        info.shmid = shmget(shmKey, size_t(info.size), IPC_CREAT | IPC_EXCL | kOwnerOnly);
    }
    if (info.shmid == -1) {
        LOG(WARNING) << "CNT: shared picture " << position << " cannot be made: " << std::strerror(errno);
        return false;
    }
    info.address = shmat(info.shmid, nullptr, 0);
    if (info.address == reinterpret_cast<void *>(-1)) {
        LOG(WARNING) << "CNT: shared picture " << position << " cannot be attached: " << std::strerror(errno);
        shmctl(info.shmid, IPC_RMID, nullptr);
        return false;
    }
    info.semaphore = CNT_Semaphore(keyOf(m_keyPath, 2000, position));
    if (!info.semaphore.create_sem(1)) {
        shmdt(info.address);
        shmctl(info.shmid, IPC_RMID, nullptr);
        return false;
    }
    info.semid = info.semaphore.id();
    remember(shmRegistry, info.shmid);
    remember(semRegistry, info.semid);
    m_infos[position] = info;
    m_sources[position] = {source, order};
    return true;
}

const VideoShareInfo *NetShare::info(int position) const
{
    const auto it = m_infos.find(position);
    return it == m_infos.end() ? nullptr : &it->second;
}

QByteArray NetShare::memoryInfo() const
{
    cJSON *root = cJSON_CreateObject();
    cJSON *list = cJSON_AddArrayToObject(root, "memoryinfo");
    for (const auto &[position, info] : m_infos) {
        cJSON *item = cJSON_CreateObject();
        cJSON_AddNumberToObject(item, "shmid", info.shmid);
        cJSON_AddNumberToObject(item, "semid", info.semid);
        cJSON_AddNumberToObject(item, "cameraid", position);
        cJSON_AddNumberToObject(item, "size", double(info.size));
        cJSON_AddNumberToObject(item, "width", info.width);
        cJSON_AddNumberToObject(item, "height", info.height);
        cJSON_AddNumberToObject(item, "fps", info.fps);
        cJSON_AddItemToArray(list, item);
    }
    char *text = cJSON_Print(root);
    QByteArray bytes(text ? text : "");
    cJSON_free(text);
    cJSON_Delete(root);
    return bytes;
}

bool NetShare::post(int position, const cv::Mat &picture, PixelOrder order, const QString &stamp)
{
    if (!info(position))
        return false;
    const Source &source = m_sources[position];
    const cv::Mat &from = picture.empty() ? source.picture : picture;
    if (from.empty())
        return false;
    {
        std::lock_guard lock(m_mutex);
        Pending &pending = m_pending[position];
        from.copyTo(pending.picture);  // reuses the buffer while the size stays
        pending.order = picture.empty() ? source.order : order;
        pending.stamp = stamp;
        pending.waiting = true;
    }
    m_wake.notify_one();
    return true;
}

bool NetShare::post(int position, const QImage &image)
{
    if (!info(position) || image.isNull() || image.depth() != 32)
        return false;
    {
        std::lock_guard lock(m_mutex);
        Pending &pending = m_pending[position];
        pending.image = image;
        pending.order = PixelOrder::Bgra;
        pending.stamp.clear();
        pending.waiting = true;
    }
    m_wake.notify_one();
    return true;
}

void NetShare::run()
{
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_wake.wait(lock, [this] {
            return m_stop || m_reset || std::any_of(m_pending.begin(), m_pending.end(), [](const Pending &p) { return p.waiting; });
        });
        if (m_stop)
            return;
        m_busy = true;
        if (m_reset) {
            m_reset = false;
            lock.unlock();
            {
                std::lock_guard copying(m_copyMutex);
                for (auto &[position, info] : m_infos)
                    info.semaphore.retInitPV();
            }
            lock.lock();
        }
        for (int position = 0; position < kPositions; ++position) {
            Pending &pending = m_pending[position];
            if (!pending.waiting)
                continue;
            pending.waiting = false;
            m_workImage = std::move(pending.image);
            pending.image = QImage();
            if (m_workImage.isNull())
                std::swap(pending.picture, m_work);
            const PixelOrder order = pending.order;
            const QString stamp = pending.stamp;
            lock.unlock();
            if (m_workImage.isNull()) {
                copy(position, m_work, order, stamp, true);
            } else {
                const cv::Mat shared(m_workImage.height(), m_workImage.width(), CV_8UC4,
                                     const_cast<uchar *>(m_workImage.constBits()), size_t(m_workImage.bytesPerLine()));
                copy(position, shared, order, stamp, false);
                m_workImage = QImage();
            }
            lock.lock();
        }
        m_busy = false;
        m_idle.notify_all();
    }
}

void NetShare::drain()
{
    std::unique_lock lock(m_mutex);
    m_idle.wait(lock, [this] {
        return m_stop || (!m_busy && !m_reset && std::none_of(m_pending.begin(), m_pending.end(), [](const Pending &p) { return p.waiting; }));
    });
}

void NetShare::resetSemaphores()
{
    {
        std::lock_guard lock(m_mutex);
        m_reset = true;
    }
    m_wake.notify_one();
}

bool NetShare::copyNow(int position, const cv::Mat &picture, PixelOrder order, const QString &stamp)
{
    return copy(position, picture, order, stamp, false);
}

// `owned`: the picture is the copier's own copy and may be drawn into.
bool NetShare::copy(int position, const cv::Mat &picture, PixelOrder order, const QString &stamp, bool owned)
{
    std::lock_guard copying(m_copyMutex);
    const auto it = m_infos.find(position);
    if (it == m_infos.end() || it->second.shmid == -1 || picture.empty())
        return false;
    VideoShareInfo &info = it->second;
    // The shared size rules; a larger picture gives its top left part, a smaller one is refused.
    if (picture.cols < info.width || picture.rows < info.height)
        return false;
    cv::Mat part = picture(cv::Rect(0, 0, info.width, info.height));
    if (!stamp.isEmpty()) {
        if (!owned) {
            part.copyTo(m_scratch);  // never draw into a picture that belongs to someone else
            part = m_scratch;
        }
        drawStamp(part, order, stamp);
    }
    ToI420(part, order, m_i420);
    if (!info.semaphore.P_sem(m_lockTimeoutMs)) {
        ++m_skipped;  // the relay holds the picture: this frame is left out
        return false;
    }
    std::memcpy(info.address, m_i420.data, size_t(info.size));
    info.semaphore.V_sem();
    ++m_copied;
    return true;
}

void NetShare::ToI420(const cv::Mat &picture, PixelOrder order, cv::Mat &i420)
{
    const int w = picture.cols, h = picture.rows;
    i420.create(h * 3 / 2, w, CV_8UC1);
    if (order == PixelOrder::Gray || picture.channels() == 1) {
        picture.copyTo(i420(cv::Rect(0, 0, w, h)));
        i420(cv::Rect(0, h, w, h / 2)).setTo(cv::Scalar(128));
        return;
    }
    cv::cvtColor(picture, i420, order == PixelOrder::Rgba ? cv::COLOR_RGBA2YUV_I420 : cv::COLOR_BGRA2YUV_I420);
}

QString NetShare::Stamp()
{
    return QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd hh:mm:ss "));
}

// The time stamp goes right-aligned into the bottom band, 50 px high, green.
void NetShare::drawStamp(cv::Mat &picture, PixelOrder order, const QString &stamp)
{
    const int w = picture.cols, h = picture.rows;
    const int band = std::min(kStampBand, h);
    QImage image;
    if (picture.channels() == 4) {
        image = QImage(picture.data, w, h, qsizetype(picture.step),
                       order == PixelOrder::Bgra ? QImage::Format_RGB32 : QImage::Format_RGBA8888);
    } else {
        image = QImage(picture.data, w, h, qsizetype(picture.step), QImage::Format_Grayscale8);
    }
    QPainter painter(&image);
    QFont font(QStringLiteral("wqy-microhei"));
    font.setPixelSize(50);
    painter.setFont(font);
    painter.setPen(QColor(0, 255, 0));
    painter.drawText(QRect(0, h - band, w, band), Qt::AlignRight | Qt::AlignVCenter, stamp);
}

void NetShare::remove(VideoShareInfo &info)
{
    if (info.address && info.address != reinterpret_cast<void *>(-1))
        shmdt(info.address);
    info.address = nullptr;
    if (info.shmid != -1) {
        shmctl(info.shmid, IPC_RMID, nullptr);
        forget(shmRegistry, info.shmid);
    }
    info.shmid = -1;
    forget(semRegistry, info.semid);
    info.semaphore.remove();
    info.semid = -1;
}

void NetShare::RemoveAllNow()
{
    for (auto &slot : shmRegistry) {
        const int id = slot.exchange(0) - 1;
        if (id != -1)
            shmctl(id, IPC_RMID, nullptr);
    }
    for (auto &slot : semRegistry) {
        const int id = slot.exchange(0) - 1;
        if (id != -1)
            semctl(id, 0, IPC_RMID);
    }
}

void NetShare::freeAll()
{
    drain();
    std::lock_guard copying(m_copyMutex);
    for (auto &[position, info] : m_infos)
        remove(info);
    m_infos.clear();
    for (Source &source : m_sources)
        source = {};
}
