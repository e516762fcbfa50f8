// Writes images to files on a worker thread, so that saving never holds up the cycle tick.
#pragma once

#include <QImage>
#include <QString>

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

class ImageWriter
{
public:
    // At most `maxQueuedBytes` of images wait for the disk; more are dropped and counted. A
    // `background` writer runs at the lowest scheduling priority, so that encoding pictures
    // nobody waits for never delays the cycle on a panel with two cores.
    explicit ImageWriter(qint64 maxQueuedBytes = 64 * 1024 * 1024, bool background = false);
    // Writes what is still queued, then ends the thread. A background writer only finishes the
    // image in hand and drops the rest: the station must stop within its deadline.
    ~ImageWriter();
    ImageWriter(const ImageWriter &) = delete;
    ImageWriter &operator=(const ImageWriter &) = delete;

    // Queues `image` (which must own its pixels) for `path`; the folder is created when missing and
    // the file replaced in one step (written beside it, synced, renamed over it).
    // With `format` set, the worker converts the image to it before writing. `written`, when set,
    // runs on the writer thread after the file is in place (for example to prune its folder).
    // `quality` is that of QImage::save (for PNG the speed against the size). False when the
    // image was dropped because the queue is full.
    bool write(const QString &path, QImage image, QImage::Format format = QImage::Format_Invalid,
               std::function<void()> written = {}, int quality = -1);
    // Blocks until every queued image is written.
    void waitIdle();
    int dropped() const;
    int failed() const;

private:
    struct Job
    {
        QString path;
        QImage image;
        QImage::Format format;
        std::function<void()> written;
        int quality;
    };
    void run();

    const qint64 m_maxQueuedBytes;
    const bool m_background;
    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    std::condition_variable m_idle;
    std::deque<Job> m_queue;
    qint64 m_queuedBytes = 0;
    bool m_busy = false;
    bool m_stop = false;
    int m_dropped = 0;
    int m_failed = 0;
    std::thread m_thread;  // last: starts once the state above exists
};
