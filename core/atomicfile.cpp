#include "core/atomicfile.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QtDebug>

#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace AtomicFile {

namespace {

// A rename is on the disk only once the folder that holds the name is synced.
void syncFolder(const QString &folder)
{
    const int fd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY);
    if (fd < 0)
        return;
    ::fsync(fd);
    ::close(fd);
}

}  // namespace

bool Write(const QString &path, const std::function<bool(QIODevice &)> &write)
{
    const QString folder = QFileInfo(path).absolutePath();
    if (!QDir().mkpath(folder))
        return false;
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        qWarning().noquote() << "cannot write" << path << ":" << file.errorString();
        return false;
    }
    if (!write(file) || !file.flush() || ::fsync(file.handle()) != 0) {
        qWarning().noquote() << "writing" << path << "failed; the file is unchanged";
        file.cancelWriting();
        return false;
    }
    if (!file.commit()) {
        qWarning().noquote() << "cannot replace" << path << ":" << file.errorString();
        return false;
    }
    syncFolder(folder);
    return true;
}

bool Copy(const QString &from, const QString &to)
{
    QFile source(from);
    if (!source.open(QIODevice::ReadOnly))
        return false;
    const QDateTime modified = QFileInfo(from).lastModified();
    return Write(to, [&](QIODevice &out) {
        while (!source.atEnd()) {
            const QByteArray chunk = source.read(1 << 20);
            if (chunk.isEmpty() || out.write(chunk) != chunk.size())
                return false;
        }
        // The time of the original, so that a copy compares equal and "oldest" stays the oldest.
        // (Set after the last write reached the file, or that write would stamp it again.)
        auto *file = qobject_cast<QFileDevice *>(&out);
        return file && file->flush() && file->setFileTime(modified, QFileDevice::FileModificationTime);
    });
}

bool Replace(const QString &from, const QString &to)
{
    if (std::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) != 0)
        return false;
    syncFolder(QFileInfo(to).absolutePath());
    return true;
}

bool Sync(const QString &path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY);
    if (fd < 0)
        return false;
    const bool ok = ::fsync(fd) == 0;
    ::close(fd);
    return ok;
}

bool IsWhole(const QString &path)
{
    if (!path.endsWith(QLatin1String(".bmp"), Qt::CaseInsensitive))
        return true;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    // The BMP file header: "BM", then the file's length in bytes, little-endian.
    const QByteArray header = file.read(6);
    if (header.size() < 6 || header[0] != 'B' || header[1] != 'M')
        return false;
    const auto byte = [&](int i) { return quint32(quint8(header[i])); };
    const quint32 declared = byte(2) | byte(3) << 8 | byte(4) << 16 | byte(5) << 24;
    return declared == quint64(file.size());
}

}  // namespace AtomicFile
