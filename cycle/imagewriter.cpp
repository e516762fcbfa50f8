#include "cycle/imagewriter.h"

#include "core/atomicfile.h"

#include <QDir>
#include <QFileInfo>
#include <QtDebug>

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

ImageWriter::ImageWriter(qint64 maxQueuedBytes, bool background)
    : m_maxQueuedBytes(maxQueuedBytes)
    , m_background(background)
    , m_thread([this] { run(); })
{
}

ImageWriter::~ImageWriter()
{
    {
        std::lock_guard lock(m_mutex);
        m_stop = true;
        if (m_background && !m_queue.empty()) {
            qInfo("image writer: %d pictures not written at the end", int(m_queue.size()));
            for (const Job &job : m_queue)
                m_queuedBytes -= job.image.sizeInBytes();
            m_queue.clear();
        }
    }
    m_wake.notify_all();
    m_thread.join();
}

bool ImageWriter::write(const QString &path, QImage image, QImage::Format format, std::function<void()> written,
                        int quality)
{
    if (image.isNull())
        return false;
    const qint64 bytes = image.sizeInBytes();
    {
        std::lock_guard lock(m_mutex);
        if (!m_queue.empty() && m_queuedBytes + bytes > m_maxQueuedBytes) {
            // The disk does not keep up: drop, and say so now and then rather than for every image.
            if (m_dropped++ % 100 == 0)
                qWarning().noquote() << "image writer: queue full, dropped" << path;
            return false;
        }
        m_queuedBytes += bytes;
        m_queue.push_back({QDir::current().absoluteFilePath(path), std::move(image), format, std::move(written), quality});
    }
    m_wake.notify_one();
    return true;
}

void ImageWriter::waitIdle()
{
    std::unique_lock lock(m_mutex);
    m_idle.wait(lock, [this] { return m_queue.empty() && !m_busy; });
}

int ImageWriter::dropped() const
{
    std::lock_guard lock(m_mutex);
    return m_dropped;
}

int ImageWriter::failed() const
{
    std::lock_guard lock(m_mutex);
    return m_failed;
}

void ImageWriter::run()
{
    if (m_background)
        setpriority(PRIO_PROCESS, pid_t(syscall(SYS_gettid)), 19);  // this thread only, on Linux
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_wake.wait(lock, [this] { return m_stop || !m_queue.empty(); });
        if (m_queue.empty())
            return;  // stopping, and everything is written
        Job job = std::move(m_queue.front());
        m_queue.pop_front();
        m_busy = true;
        lock.unlock();

        const qint64 bytes = job.image.sizeInBytes();
        if (job.format != QImage::Format_Invalid && job.image.format() != job.format)
            job.image = job.image.convertToFormat(job.format);
        // Beside the file and renamed over it: a crash mid-write never leaves half an image.
        const QByteArray format = QFileInfo(job.path).suffix().toLatin1();
        const bool ok = AtomicFile::Write(job.path, [&](QIODevice &file) {
            return job.image.save(&file, format.isEmpty() ? nullptr : format.constData(), job.quality);
        });
        if (!ok)
            qWarning().noquote() << "image writer: could not write" << job.path;
        else if (job.written)
            job.written();

        lock.lock();
        m_queuedBytes -= bytes;
        m_busy = false;
        if (!ok)
            ++m_failed;
        if (m_queue.empty())
            m_idle.notify_all();
    }
}
