// The back-end of one camera position: what each camera kind does to open, configure, deliver
// frames and apply the image settings. One class per back-end code.
#pragma once

#include <memory>
#include <string>

class FrameSlot;
class WizardPara;

class CameraBackend
{
public:
    // `slot` is the position's frame buffers, owned by the camera view and outliving the back-end.
    CameraBackend(int position, FrameSlot &slot) : m_position(position), m_slot(slot) {}
    virtual ~CameraBackend() = default;
    CameraBackend(const CameraBackend &) = delete;
    CameraBackend &operator=(const CameraBackend &) = delete;

    virtual int code() const = 0;

    // Opens the position's camera and configures it; false leaves the position closed.
    virtual bool open() = 0;
    // Starts acquisition; false when the camera refused (the thread is not started then).
    virtual bool start() { return true; }
    virtual void stop() {}
    virtual void close() {}

    // True when the camera thread fetches frames (grabStep); callback back-ends deliver themselves.
    virtual bool polled() const { return false; }
    // One pass of the camera thread: fetch at most one frame (waits bounded by 100 ms).
    virtual void grabStep() {}

    virtual void changeTrigger(bool external, bool restart) {}
    virtual void applySpeed(int speed) {}

    // Image settings, read from `para` (the live record or the edit copy).
    virtual void setExposeTime(const WizardPara &para) {}
    virtual void setAdjustPlus(const WizardPara &para) {}
    virtual void setSharp(const WizardPara &para) {}
    virtual void setContrast(const WizardPara &para) {}
    virtual void setGamma(const WizardPara &para) {}
    virtual void setHMirror(const WizardPara &para) {}
    virtual void setVMirror(const WizardPara &para) {}
    virtual void setWB() {}
    // Loads the factory settings and writes what the camera then reports into `edit`.
    virtual void restoreDefaults(WizardPara &edit, const WizardPara &live) {}
    // One-shot automatic exposure: begin, and 2 s later finish with the values read back.
    virtual bool beginAutoExposure() { return false; }
    virtual void finishAutoExposure(WizardPara &edit) {}

    // The serial stored for this camera by SaveSN; empty when the back-end stores none.
    virtual std::string serialNumber() { return {}; }
    virtual bool isValidHandle() const { return true; }

    int position() const { return m_position; }

protected:
    const int m_position;
    FrameSlot &m_slot;
};

// The back-end for code `code` (gCameraID); code 0 and unknown codes give the empty back-end.
std::unique_ptr<CameraBackend> MakeCameraBackend(int code, int position, FrameSlot &slot);

// A serial string binds a position when it is 9 characters or longer (uEye and IMV: and at most 19).
bool SerialBinds(const char *serial, bool shortSerialsOnly = false);

// Steps across a camera's range: minimum + value x (maximum - minimum) / steps, and its inverse.
double StepsToCamera(int value, double minimum, double maximum, int steps);
int CameraToSteps(double cameraValue, double minimum, double maximum, int steps);
