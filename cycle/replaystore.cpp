#include "cycle/replaystore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>

#include <algorithm>

ReplayStore::Limits ReplayStore::ReadLimits(const QString &path, int cameras, int detections)
{
    const QSettings file(path, QSettings::IniFormat);
    Limits limits;
    limits.pictures = std::max(1, file.value(QStringLiteral("store/pictures"), limits.pictures).toInt());
    const qint64 megabytes = std::max(1, file.value(QStringLiteral("store/megabytes"), kDefaultMegabytes).toInt());
    const int folders = std::max(1, cameras) * std::max(1, detections) * 2;
    limits.folderBytes = megabytes * 1024 * 1024 / folders;
    return limits;
}

ReplayStore::ReplayStore(QString root, Limits limits)
    : m_root(std::move(root)), m_limits(limits), m_writer(32 * 1024 * 1024, true)
{
}

bool ReplayStore::keep(int camera, int detection, const cv::Mat &image, bool ok, const QList<int> &ngRegions,
                       const QDateTime &time)
{
    if (image.empty() || (image.type() != CV_8UC1 && image.type() != CV_8UC4))
        return false;
    const QImage::Format format = image.channels() == 4 ? QImage::Format_RGBA8888 : QImage::Format_Grayscale8;
    QImage picture = QImage(image.data, image.cols, image.rows, qsizetype(image.step), format).copy();
    picture.setText(QLatin1String(Replay::kNgRegionsKey), Replay::NgRegionsText(ngRegions));
    const QString dir = Replay::PictureFolder(m_root, camera, detection, ok);
    const QString path = dir + QLatin1Char('/') + Replay::PictureName(time, m_sequence++);
    const Limits limits = m_limits;
    const QString absoluteDir = QDir::current().absoluteFilePath(dir);
    // PNG quality 80 is zlib's fastest level: about 0.1 to 0.2 s of the writer thread and 0.7 MB
    // for a gray 1280 x 1024 picture, where the default level takes several times as long for 10 %
    // less.
    return m_writer.write(
        path, std::move(picture), QImage::Format_Invalid,
        [absoluteDir, limits] { PruneOldest(absoluteDir, limits.pictures, limits.folderBytes); }, 80);
}

int PruneOldest(const QString &dir, int maxPictures, qint64 maxBytes)
{
    const QFileInfoList files = QDir(dir).entryInfoList({QStringLiteral("*.png")}, QDir::Files, QDir::Name);
    qint64 bytes = 0;
    for (const QFileInfo &file : files)
        bytes += file.size();
    int removed = 0;
    for (const QFileInfo &file : files) {
        const int left = int(files.size()) - removed;
        if (left <= std::max(0, maxPictures) && (maxBytes <= 0 || bytes <= maxBytes))
            break;
        if (left <= 1)
            break;  // the newest picture stays whatever its size
        if (!QFile::remove(file.absoluteFilePath()))
            break;
        bytes -= file.size();
        ++removed;
    }
    return removed;
}
