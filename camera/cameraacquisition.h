// The acquisition side of one camera position: back-end, camera thread, frame buffers, open/start/
// stop/close, trigger change and the image settings. A plain object, driven by the camera view.
#pragma once

#include "camera/camerabackend.h"
#include "camera/framehandover.h"

#include <QThread>
#include <QTimer>
#include <atomic>
#include <functional>
#include <memory>
#include <string>

class CameraAcquisition;

// The grab loop of a polled back-end: 300 ms settling, then one grab step every 10 ms while running.
class CameraThread : public QThread
{
public:
    explicit CameraThread(CameraAcquisition *view) : m_view(view) {}
    std::atomic<bool> running{false};
    // The settling wait before the first grab; tests shorten it.
    static std::atomic<int> startDelayMs;

protected:
    void run() override;

private:
    CameraAcquisition *m_view;  // the owner; outlives the thread
};

class CameraAcquisition
{
public:
    // Allocates the buffers for the current image size; the back-end is the one of gCameraID.
    explicit CameraAcquisition(int position);
    ~CameraAcquisition();
    CameraAcquisition(const CameraAcquisition &) = delete;
    CameraAcquisition &operator=(const CameraAcquisition &) = delete;

    int position() const { return m_position; }
    bool isOpen() const { return m_opened; }
    FrameSlot &frames() { return m_frames; }
    CameraBackend *backend() { return m_backend.get(); }
    // Serial number of the device last opened here (empty for back-ends without one); kept after a
    // loss so that the loss check can tell which camera went.
    const std::string &openedSerial() const { return m_openedSerial; }

    void CameraOpen();
    int CameraStart();
    void CameraStop();
    void CameraClose();
    void CameraChangeTrig(bool restart);
    bool IsValidHandle() const;
    // The capture speed on this camera: stop, set, start (CameraSetSpeed does it for all).
    void ApplySpeed(int speed);

    void SetExposeTime();
    void SetAdjustPlus();
    void SetSharp();
    void SetContrast();
    void SetGamma();
    void SetHMirror();
    void SetVMirror();
    void SetWB();
    void RestoreDefaultSettings();
    // One-shot automatic exposure: starts it and, 2 s later, reads the result into the edit copy
    // and calls `done` (the parameter screen shows the values).
    void OneShotAutoExposure(std::function<void()> done = {});
    void FinishOneShotAutoExposure();

    // The cycle's take: the newest frame into the working buffer; true when there was one.
    bool TakeFrame() { return m_frames.take(); }
    uint8_t *workingImage() { return m_frames.working(); }

    // Called after a trigger change (the view repaints).
    std::function<void()> onTriggerChanged;

    // One pass of the grab loop (the camera thread's body).
    void grabStep();

private:
    const int m_position;
    FrameSlot m_frames;
    std::unique_ptr<CameraBackend> m_backend;
    std::unique_ptr<CameraThread> m_thread;
    std::atomic<bool> m_opened{false};
    std::string m_openedSerial;
    QTimer m_autoExposureTimer;
    std::function<void()> m_autoExposureDone;
};

// The capture speed applied to every open camera below numCamera.
void CameraSetSpeed();
