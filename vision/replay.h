// Trying region settings on stored judged pictures: where the pictures lie and the re-judging run.
#pragma once

#include "vision/cammersingleton.h"

#include <QDateTime>
#include <QList>
#include <QPainterPath>
#include <QRect>
#include <QString>
#include <QVector>
#include <opencv2/core.hpp>

#include <array>
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

class CameraVision;

namespace Replay {

// The stored pictures: "<root>/camera%1/detect%2/OK" and ".../NG" (camera and detection from 1),
// one lossless PNG per judged picture as the camera took it (before position correction), named
// by the time it was judged so that name order is age order. Each file carries its verdict's
// failed regions as the text "ngRegions" (region numbers from 1, blank separated).
inline constexpr const char *kRoot = "replayimage";
QString PictureFolder(const QString &root, int camera, int detection, bool ok);
// "2026-12-07_04.05.06.007_000042.png": the time, then a running number for pictures of the
// same millisecond.
QString PictureName(const QDateTime &time, qint64 sequence);
inline constexpr const char *kNgRegionsKey = "ngRegions";
QString NgRegionsText(const QList<int> &regions);  // 0-based in, "1 4" out
QList<int> ParseNgRegions(const QString &text);    // "1 4" in, 0-based out

struct StoredPicture
{
    QString path;
    bool storedOk = true;
};
// The pictures of one camera and detection, good ones first, each kind oldest first.
QList<StoredPicture> ListPictures(const QString &root, int camera, int detection);

// A copy of what judging one detection of one camera needs: the regions and their masks, the
// templates and the ignore points. Taken on the GUI thread from the region editor's tables as
// they stand (saved or not); the replay then trains its own models on it off the GUI thread.
struct Settings
{
    int camera = 0;     // 0-based
    int detection = 0;
    std::shared_ptr<const CammerSingleton> regions;
    std::vector<cv::Mat> masks;      // kMaxRoi, of the detection
    std::vector<cv::Mat> templates;  // gTempNum slots of the camera format
    std::vector<int> templateFlags;
    int templateCount = 0;
    cv::Mat ignorePoints;
};
Settings TakeSettings(const CameraVision &view, int detection);

// A stored picture whose verdict the settings turn over.
struct Flip
{
    QString path;
    bool storedOk = true;
    // Stored good: the regions that fail now. Stored failure: the regions that failed then.
    QList<int> regions;      // 0-based
    QList<QPainterPath> outlines;  // of those regions, image pixels
    QVector<QRect> ngRects;  // NG rectangles of the new verdict, image pixels
};

struct Result
{
    int camera = 0;
    int detection = 0;
    int storedGood = 0;
    int storedFailed = 0;
    int goodNowFailing = 0;
    int failedNowPassing = 0;
    int unreadable = 0;  // files that could not be read or do not fit the camera image
    // How many stored good pictures each region now fails.
    std::array<int, kMaxRoi> goodFailsByRegion{};
    QList<Flip> flips;  // in the order judged
    bool cancelled = false;
    int judged = 0;
};

// Judges every picture with `settings` and compares with its stored verdict. Runs on any thread;
// reads the system parameters in force (gpWPara) and the image geometry, writes nothing. `progress`
// is called after each picture with (done, total); returning false stops the run (the result then
// holds what was judged).
Result Run(const Settings &settings, const QList<StoredPicture> &pictures,
           const std::function<bool(int done, int total)> &progress = {});

// Run() on a thread of its own, so the screen stays live; polled by the screen.
class Job
{
public:
    Job(Settings settings, QList<StoredPicture> pictures);
    // Stops the run and waits for the thread.
    ~Job();
    Job(const Job &) = delete;
    Job &operator=(const Job &) = delete;

    void cancel() { m_cancel = true; }
    int done() const { return m_done; }
    int total() const { return m_total; }
    bool finished() const { return m_finished; }
    // The outcome; meaningful once finished() is true.
    Result result() const;

private:
    std::atomic<bool> m_cancel{false};
    std::atomic<int> m_done{0};
    const int m_total;
    std::atomic<bool> m_finished{false};
    mutable std::mutex m_mutex;
    Result m_result;
    std::thread m_thread;  // last: starts once the state above exists
};

}  // namespace Replay
