// Simulated cameras for whole-station runs: one camera per folder DIR/cam1 .. DIR/cam8, each with
// a `serial` file and frame.png (or frame.bmp), presented as Hikvision GigE cameras.
#pragma once

#include "camera/sdk/simcamerapool.h"

#include <QString>
#include <atomic>
#include <cstdint>
#include <thread>
#include <vector>

// A replaced frame file (atomic rename) is a new frame; in free-running mode the last frame is
// repeated at the camera's frame rate. A folder that disappears is an unplugged camera, one that
// comes back is replugged. A gray file makes a mono sensor, a colour file a colour sensor; the
// sensor size is the frame's size.
class FolderCameras : public camsdk::SimCameraPool
{
public:
    explicit FolderCameras(const QString &dir);
    ~FolderCameras() override;

    // Watches the folders on a thread of its own (every `pollMs`) until stopped or destroyed.
    void startWatching(int pollMs = 10);
    // Ends the watcher and waits for it; the pool keeps its devices. Safe to call more than once.
    void stopWatching();
    // One look at every folder: plugs, unplugs, new frames and repeats due. Returns frames pushed.
    int scanOnce();
    // Frame files decoded so far, readable or not.
    int decodes() const { return m_decodes; }

    static constexpr int kFolders = 8;

private:
    struct Folder
    {
        QString path;
        bool present = false;
        uint64_t fileStamp = 0;  // inode, size and modification time of the frame file
        uint64_t failedStamp = 0;  // the stamp of a file that did not decode: not tried again
        std::vector<uint8_t> frame;  // RGB or gray, as last read
        int width = 0;
        int height = 0;
        int channels = 1;
        int64_t lastPushNs = 0;
    };

    bool readFrame(Folder &folder, bool *changed);
    static camsdk::DeviceInfo readInfo(const Folder &folder);

    std::vector<Folder> m_folders;
    std::atomic<bool> m_stop{false};
    std::atomic<int> m_decodes{0};
    std::thread m_watcher;
};
