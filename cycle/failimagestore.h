// Judged images: rendered with their verdicts on the GUI thread, written to disk by a thread of
// their own, each folder kept within its image limit.
#pragma once

#include <QDateTime>
#include <QImage>
#include <QMutex>
#include <QPainterPath>
#include <QRect>
#include <QString>
#include <QThread>
#include <QWaitCondition>
#include <QVector>

#include <atomic>
#include <functional>

// One region as the annotation shows it.
struct JudgedRegion
{
    QPainterPath outline;  // image coordinates
    bool ok = true;
    QVector<QRect> ngRects;
    QString value;         // measured value
    QString limit;         // the limit it was judged against
};

// What a judged image shows.
struct JudgedImage
{
    QImage image;  // the camera's working image, gray or colour
    bool ok = true;
    bool safetyDoorTrigger = false;
    QVector<JudgedRegion> regions;
};

// Draws the annotation: "OK"/"NG", the door-trigger note, the region outlines in green or red, the
// NG rectangles and one value line per region. Returns the RGB32 image and the number (from 1) of
// the first NG region, 0 when none.
QImage RenderJudgedImage(const JudgedImage &judged, int displayWidth, int *firstNgRegion = nullptr);

// The number (from 1) of the first NG region of a judged image, 0 when none.
int FirstNgRegion(const JudgedImage &judged);

// The hand-over between the GUI thread and the saving thread, guarded by pMutexSaveFail.
class FailImageStore
{
public:
    static constexpr int kCameras = 8;
    static constexpr int kDetections = 8;
    enum Slot { NgSlot = 0, OkSlot = 1 };

    // Puts a rendered image into a slot and marks it pending (a newer image replaces an unwritten
    // one). The GUI thread does no more than this copy.
    void put(int camera, int detection, Slot slot, const QImage &image, int firstNgRegion);
    // The same for an image not rendered yet: the slot keeps the judged image (a gray camera's is
    // a quarter of the rendered 32-bit one, and every camera and stage may have one waiting) and
    // take() renders it for `displayWidth`, on the saving thread.
    void put(int camera, int detection, Slot slot, JudgedImage judged, int displayWidth);
    // Takes a pending image out, rendered, clearing its flag; false when the slot had none.
    bool take(int camera, int detection, Slot slot, QImage *image);
    bool pending(int camera, int detection, Slot slot);
    int failIndex(int camera, int detection);
    void clearFailIndex(int camera, int detection);

private:
    struct Waiting
    {
        QImage rendered;
        JudgedImage judged;  // when not rendered yet
        int displayWidth = 0;
    };
    Waiting m_images[kCameras][kDetections][2];
    bool m_pending[kCameras][kDetections][2] = {};
    int m_failIndex[kCameras][kDetections] = {};
};

extern FailImageStore *gpFailImage;

// "%1//camera%2//detect%3//NG" or "//OK" under ./alarmimage, camera and detection from 1.
QString FailImageDir(int camera, int detection, bool ng);
// "0000000042_2026-12-07_04.05.06.007".
QString FailImageName(qint64 counter, const QDateTime &time);
// The running number of judged-image files, kept in "saveImageCount.txt" so that names keep rising
// across restarts (the store deletes the first names when a folder is full). The write is atomic.
qint64 ReadSaveImageCount();
bool WriteSaveImageCount(qint64 count);
// Deletes the first files in name order so that one more makes `limit`; returns how many went.
int MakeRoomInDir(const QString &dir, int limit);

class SaveFialImageThread : public QThread
{
    Q_OBJECT
public:
    explicit SaveFialImageThread(FailImageStore *store, QObject *parent = nullptr);
    ~SaveFialImageThread() override;

    // One pass over every camera and detection; returns the files written. run() repeats it.
    int savePass();
    void stop();

    // The number of the next file; after each file it is written to "saveImageCount.txt".
    std::atomic<qint64> counter{0};
    std::function<int()> ngLimit;   // gPicNumNG
    std::function<int()> okLimit;   // gPicNumOK
    std::function<int()> detections;
    std::function<QDateTime()> now;
    std::function<void(const QString &path)> fileSaved;  // the network service sends it on
    int pauseAfterFileMs = 200;
    int pauseAfterBothMs = 1000;
    int pausePerPassMs = 100;

protected:
    void run() override;

private:
    bool write(const QImage &image, int camera, int detection, bool ng);
    // Waits `ms` or until stop(): the pacing pauses must not hold up the station's end.
    void pause(int ms);

    FailImageStore *m_store;
    std::atomic<bool> m_stop{false};
    QMutex m_pauseMutex;
    QWaitCondition m_pauseWake;
};
