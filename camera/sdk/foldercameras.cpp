#include "camera/sdk/foldercameras.h"

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <chrono>
#include <cstring>
#include <sys/stat.h>

namespace {

int64_t nowNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// A stamp that changes with every replacement of the file (new inode on rename) or rewrite.
uint64_t fileStamp(const QString &path)
{
    struct stat info;
    if (::stat(QFile::encodeName(path).constData(), &info) != 0)
        return 0;
    return (static_cast<uint64_t>(info.st_ino) * 1000003u) ^ static_cast<uint64_t>(info.st_size) * 7919u ^
           static_cast<uint64_t>(info.st_mtim.tv_sec) * 1000000007u ^ static_cast<uint64_t>(info.st_mtim.tv_nsec);
}

QString framePath(const QString &folder)
{
    const QString png = folder + QStringLiteral("/frame.png");
    return QFileInfo::exists(png) ? png : folder + QStringLiteral("/frame.bmp");
}

}  // namespace

FolderCameras::FolderCameras(const QString &dir) : SimCameraPool(camsdk::Vendor::Hikvision, camsdk::Delivery::Callback)
{
    m_folders.resize(kFolders);
    for (int i = 0; i < kFolders; ++i) {
        Folder &folder = m_folders[i];
        folder.path = QDir(dir).filePath(QStringLiteral("cam%1").arg(i + 1));
        // A folder without a readable frame yet has no sensor size: it is plugged once it has one.
        bool changed = false;
        folder.present = QFileInfo(folder.path).isDir() && readFrame(folder, &changed);
        addDevice(readInfo(folder));
        if (!folder.present)
            unplug(i);
    }
}

FolderCameras::~FolderCameras()
{
    stopWatching();
}

void FolderCameras::stopWatching()
{
    m_stop = true;
    if (m_watcher.joinable() && m_watcher.get_id() != std::this_thread::get_id())
        m_watcher.join();
}

void FolderCameras::startWatching(int pollMs)
{
    if (m_watcher.joinable())
        return;
    m_stop = false;
    m_watcher = std::thread([this, pollMs] {
        while (!m_stop) {
            scanOnce();
            std::this_thread::sleep_for(std::chrono::milliseconds(pollMs));
        }
    });
}

camsdk::DeviceInfo FolderCameras::readInfo(const Folder &folder)
{
    camsdk::DeviceInfo info;
    QFile serial(folder.path + QStringLiteral("/serial"));
    if (serial.open(QIODevice::ReadOnly | QIODevice::Text))
        info.serial = QString::fromUtf8(serial.readLine()).trimmed().toStdString();
    info.color = folder.channels == 3;
    info.model = info.color ? "SIM-C" : "SIM-M";
    info.gige = true;
    info.sensorWidth = folder.width;
    info.sensorHeight = folder.height;
    return info;
}

bool FolderCameras::readFrame(Folder &folder, bool *changed)
{
    *changed = false;
    const QString path = framePath(folder.path);
    const uint64_t stamp = fileStamp(path);
    if (stamp == 0 || stamp == folder.fileStamp || stamp == folder.failedStamp)
        return !folder.frame.empty();
    ++m_decodes;
    cv::Mat image = cv::imread(QFile::encodeName(path).toStdString(), cv::IMREAD_UNCHANGED);
    if (image.empty() || image.depth() != CV_8U) {
        // Half-written or unreadable: tried again once the file changes, not on every look.
        folder.failedStamp = stamp;
        return !folder.frame.empty();
    }
    folder.fileStamp = stamp;
    folder.failedStamp = 0;
    // A camera keeps the size of its first frame; later files of another size are scaled to it.
    if (folder.width > 0 && (image.cols != folder.width || image.rows != folder.height))
        cv::resize(image, image, cv::Size(folder.width, folder.height));
    if (image.channels() == 4)
        cv::cvtColor(image, image, cv::COLOR_BGRA2RGB);
    else if (image.channels() == 3)
        cv::cvtColor(image, image, cv::COLOR_BGR2RGB);
    folder.width = image.cols;
    folder.height = image.rows;
    folder.channels = image.channels();
    const std::size_t length = image.total() * image.elemSize();
    folder.frame.resize(length);
    if (image.isContinuous())
        std::memcpy(folder.frame.data(), image.data, length);
    *changed = true;
    return true;
}

int FolderCameras::scanOnce()
{
    int pushed = 0;
    const int64_t now = nowNs();
    for (int i = 0; i < kFolders; ++i) {
        Folder &folder = m_folders[i];
        bool changed = false;
        const bool present = QFileInfo(folder.path).isDir() && readFrame(folder, &changed);
        if (!present) {
            if (folder.present) {
                folder.present = false;
                folder.fileStamp = 0;
                folder.failedStamp = 0;
                folder.frame.clear();  // a camera that comes back brings a frame of its own
                unplug(i);
            }
            continue;
        }
        if (!folder.present) {
            folder.present = true;
            setInfo(i, readInfo(folder));
            replug(i);
        }
        bool due = changed;
        if (!due && !externallyTriggered(i)) {
            double rate = doubleValue(i, "AcquisitionFrameRate");
            if (rate <= 0)
                rate = 20;
            due = now - folder.lastPushNs >= static_cast<int64_t>(1e9 / rate);
        }
        if (due && pushFrame(i, folder.frame.data(), folder.width, folder.height, folder.channels)) {
            folder.lastPushNs = now;
            ++pushed;
        }
    }
    return pushed;
}
