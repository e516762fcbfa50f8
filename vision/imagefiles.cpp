#include "vision/imagefiles.h"

#include "core/atomicfile.h"
#include "core/globals.h"

#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QImageReader>

#include <cstring>

const QVector<QRgb> &GrayColorTable()
{
    static const QVector<QRgb> table = [] {
        QVector<QRgb> t(256);
        for (int i = 0; i < 256; ++i)
            t[i] = qRgb(i, i, i);
        return t;
    }();
    return table;
}

bool SaveStationImage(const QString &path, const cv::Mat &image)
{
    if (image.empty() || image.depth() != CV_8U)
        return false;
    QImage out;
    if (image.channels() == 1) {
        out = QImage(image.cols, image.rows, QImage::Format_Indexed8);
        out.setColorTable(GrayColorTable());
    } else if (image.channels() == 4) {
        out = QImage(image.cols, image.rows, QImage::Format_RGBA8888);
    } else {
        return false;
    }
    // QImage rows are padded to 4 bytes; copy row by row.
    const size_t rowBytes = size_t(image.cols) * image.elemSize();
    for (int y = 0; y < image.rows; ++y)
        std::memcpy(out.scanLine(y), image.ptr(y), rowBytes);
    // Written beside the file and renamed over it: a crash mid-write leaves the previous image.
    const QByteArray format = QFileInfo(path).suffix().toLatin1();
    return AtomicFile::Write(path, [&](QIODevice &file) { return out.save(&file, format.constData()); });
}

bool LoadStationImage(const QString &path, cv::Mat &image, qint64 bufferBytes)
{
    return ReadStationImage(path, image, bufferBytes) == ImageFileState::Loaded;
}

ImageFileState ReadStationImage(const QString &path, cv::Mat &image, qint64 bufferBytes)
{
    if (!QFile::exists(path))
        return ImageFileState::Missing;
    QImageReader reader(path);
    QImage file;
    // A file cut short (a write that never finished) is damaged even where the reader would
    // hand back the rows it got.
    if (!reader.read(&file) || file.isNull() || !AtomicFile::IsWhole(path))
        return ImageFileState::Unreadable;
    if (file.width() != gImageW || file.height() != gImageH)
        return ImageFileState::WrongFormat;
    if (qint64(file.depth()) * gImageW * gImageH != 8 * bufferBytes)
        return ImageFileState::WrongFormat;
    if (file.depth() != 8 && file.depth() != 32)
        return ImageFileState::WrongFormat;
    const bool colour = file.depth() == 32;
    if (colour)
        file = file.convertToFormat(QImage::Format_RGBA8888);
    const int type = colour ? CV_8UC4 : CV_8UC1;
    if (image.rows != gImageH || image.cols != gImageW || image.type() != type || !image.isContinuous())
        image.create(gImageH, gImageW, type);
    const size_t rowBytes = size_t(gImageW) * image.elemSize();
    for (int y = 0; y < gImageH; ++y)
        std::memcpy(image.ptr(y), file.constScanLine(y), rowBytes);
    return ImageFileState::Loaded;
}

QString UnreadableFileText(int camNo, int detection, const QString &path)
{
    return LanStr(kRowUnreadableFile).arg(camNo + 1).arg(detection + 1).arg(path);
}
