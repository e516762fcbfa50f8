// Judged pictures kept for trying settings on later: the last ones of each camera, detection and verdict.
#pragma once

#include "cycle/imagewriter.h"
#include "vision/replay.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <opencv2/core.hpp>

// Pictures go to Replay::PictureFolder as lossless PNG (a re-judged JPEG would differ from what
// was judged), written and pruned on the store's own writer thread. A gray 1280 x 1024 picture of
// the mould takes about 0.7 MB (a colour one about three times that), so the default of 200
// pictures per folder needs about 280 MB per camera and detection (good and failed); the byte
// budget (2 GB by default, shared evenly by the folders in use) prunes further on stations with
// many cameras: 2 cameras x 2 detections keep all 200, 8 cameras x 2 detections about 90.
struct ReplayLimits
{
    int pictures = 200;      // per camera, detection and verdict
    qint64 folderBytes = 0;  // per folder; 0 = no bound in bytes
};

class ReplayStore
{
public:
    using Limits = ReplayLimits;
    static constexpr int kDefaultMegabytes = 2048;
    // Reads "[store] pictures=" and "megabytes=" of the settings file at `path` (defaults when it
    // is missing) and spreads the megabytes over `cameras` x `detections` x 2 folders.
    static Limits ReadLimits(const QString &path, int cameras, int detections);

    explicit ReplayStore(QString root = QString::fromLatin1(Replay::kRoot), Limits limits = {});

    // GUI thread: copies `image` (camera format: 8-bit gray or RGBA) and queues it with its verdict
    // and failed regions (0-based). False when the writer's queue was full and it was dropped.
    bool keep(int camera, int detection, const cv::Mat &image, bool ok, const QList<int> &ngRegions,
              const QDateTime &time = QDateTime::currentDateTime());
    void waitIdle() { m_writer.waitIdle(); }
    const Limits &limits() const { return m_limits; }

private:
    QString m_root;
    Limits m_limits;
    qint64 m_sequence = 0;
    ImageWriter m_writer;  // last: its thread runs while the rest exists
};

// Deletes the oldest pictures (name order) of `dir` until at most `maxPictures` remain and, with
// `maxBytes` above 0, they take at most that many bytes. Returns how many went.
int PruneOldest(const QString &dir, int maxPictures, qint64 maxBytes);
