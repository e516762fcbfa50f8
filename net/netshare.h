// Live pictures for the relay: one System V shared-memory segment (I420) and one semaphore per
// position, the copier thread that fills them, and the memory-info document that announces them.
#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>

#include <opencv2/core.hpp>

#include <array>
#include <atomic>
#include <condition_variable>
#include <map>
#include <mutex>
#include <thread>

#include <sys/types.h>

// One System V semaphore (a set of one) guarding a shared picture. The station takes it only
// for the copy into the segment, never longer than a few milliseconds.
class CNT_Semaphore
{
public:
    CNT_Semaphore() = default;
    explicit CNT_Semaphore(key_t key) : m_key(key) {}

    key_t key() const { return m_key; }
    int id() const { return m_id; }
    // Creates (or opens) the set, owner read-write only, and sets it free (value 1).
    bool create_sem(int n = 1);
    bool get_sem();
    // Takes the semaphore, waiting at most `timeoutMs`; false on time-out or error. Taken with
    // undo, so a station that dies while holding it does not block the relay.
    bool P_sem(int timeoutMs);
    void V_sem();
    // After the relay went away: nobody holds the picture any more, so the semaphore is set free
    // (value 1) instead of raised once more, which could let two readers in at the same time.
    void retInitPV();
    int value() const;
    bool remove();

private:
    key_t m_key = -1;
    int m_id = -1;
};

// How the bytes of a picture handed to the share are ordered.
enum class PixelOrder { Gray, Rgba, Bgra };

// One shared picture.
struct VideoShareInfo
{
    int position = 0;
    int width = 0;
    int height = 0;
    qsizetype size = 0;  // width x height x 3 / 2 (I420)
    int shmid = -1;
    int semid = -1;
    void *address = nullptr;  // attached in this process
    CNT_Semaphore semaphore;
    int fps = 0;
};

// The shared pictures of the station, owned by the network service. Segments and semaphores are
// created owner read-write (the relay runs as the station's user) and all removed when the share
// is freed or destroyed. Pictures are converted and copied on the share's own thread, so the GUI
// thread only hands over a copy of the picture and never waits for the relay.
class NetShare
{
public:
    static constexpr int kPositions = 8;
    // The band at the bottom of a camera picture that carries the time stamp.
    static constexpr int kStampBand = 100;

    // `keyPath`: the file the keys are made from (ftok); tests use a folder of their own.
    explicit NetShare(const QString &keyPath = QStringLiteral("/tmp"), int lockTimeoutMs = 5);
    ~NetShare();
    NetShare(const NetShare &) = delete;
    NetShare &operator=(const NetShare &) = delete;

    // Creates (or re-creates) the shared picture of `position` (0-7). Odd sizes are cut to the
    // next even size (I420 keeps one colour sample per 2 x 2 pixels). A segment left over with
    // another size is removed and made anew. `source`, when given, is the picture copied from on
    // every video tick (a header over a buffer that must outlive the share); false on failure.
    bool add(int position, int width, int height, int fps, const cv::Mat &source = cv::Mat(),
             PixelOrder order = PixelOrder::Rgba);
    bool isEmpty() const { return m_infos.empty(); }
    const VideoShareInfo *info(int position) const;
    // {"memoryinfo": [{"shmid", "semid", "cameraid", "size", "width", "height", "fps"}, ...]},
    // one element per shared picture in position order.
    QByteArray memoryInfo() const;

    // Hands a picture to the copier: `picture`, or the position's remembered source when empty.
    // `stamp` is drawn into the bottom band first when not empty. Returns at once; the copier
    // takes the newest picture of each position, so a slow relay makes it skip frames, never
    // queue them. False when the position has no shared picture or no source.
    bool post(int position, const cv::Mat &picture, PixelOrder order, const QString &stamp = QString());
    // The same for a 32-bit picture of Qt (the shown screen): it is shared with the copier, not
    // copied, so the GUI thread pays nothing for the hand-over.
    bool post(int position, const QImage &image);
    // Converts and copies one picture on the calling thread; false when the frame was skipped
    // (semaphore held by the relay beyond the time-out) or could not be copied.
    bool copyNow(int position, const cv::Mat &picture, PixelOrder order, const QString &stamp = QString());
    // Waits until the copier has no picture left (tests, and the end of the process).
    void drain();
    // Sets every semaphore free (value 1); done by the copier between two pictures.
    void resetSemaphores();
    // Detaches and removes every segment and semaphore.
    void freeAll();

    quint64 framesCopied() const { return m_copied; }
    quint64 framesSkipped() const { return m_skipped; }

    // Removes every segment and semaphore any share of this process still has, without waiting
    // for the copier: for a process that must end at once.
    static void RemoveAllNow();

    // I420 of a picture (width and height even): Y plane, then U, then V.
    static void ToI420(const cv::Mat &picture, PixelOrder order, cv::Mat &i420);
    // The local date and time as drawn into the camera pictures.
    static QString Stamp();

private:
    struct Pending
    {
        cv::Mat picture;  // the copier's own copy; reused
        QImage image;     // or a shared Qt picture
        PixelOrder order = PixelOrder::Rgba;
        QString stamp;
        bool waiting = false;
    };
    struct Source
    {
        cv::Mat picture;
        PixelOrder order = PixelOrder::Rgba;
    };
    void run();
    bool copy(int position, const cv::Mat &picture, PixelOrder order, const QString &stamp, bool owned);
    void drawStamp(cv::Mat &picture, PixelOrder order, const QString &stamp);
    void remove(VideoShareInfo &info);

    QString m_keyPath;
    int m_lockTimeoutMs;
    std::map<int, VideoShareInfo> m_infos;  // written by the owner's thread while the copier is idle
    std::array<Source, kPositions> m_sources;

    std::mutex m_mutex;  // guards m_pending, m_reset, m_busy, m_stop
    std::condition_variable m_wake;
    std::condition_variable m_idle;
    std::array<Pending, kPositions> m_pending;
    bool m_reset = false;
    bool m_busy = false;
    bool m_stop = false;
    std::mutex m_copyMutex;  // one conversion and copy at a time (copier or copyNow)
    cv::Mat m_work;          // the copier's picture of the moment
    QImage m_workImage;
    cv::Mat m_i420;
    cv::Mat m_scratch;
    std::atomic<quint64> m_copied{0};
    std::atomic<quint64> m_skipped{0};
    std::thread m_thread;
};
