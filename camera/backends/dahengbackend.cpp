// Daheng Galaxy cameras: opened by serial or index, always free-running, frames polled with the
// software contrast applied.
#include "core/globals.h"
#include "camera/backends/sdkbackend.h"
#include "camera/cameraglobals.h"
#include "camera/framehandover.h"
#include "params/wizardpara.h"

#include <QMutex>
#include <algorithm>
#include <cmath>

namespace {

// Feature identifiers of the Galaxy library.
constexpr const char *kAcquisitionStart = "0x70000BB9";
constexpr const char *kAcquisitionStop = "0x70000BBA";
constexpr const char *kExposureAuto = "0x30000BC2";
constexpr const char *kExposure = "0x20000BC1";
constexpr const char *kWideDynamicRange = "0x300036B0";
constexpr const char *kGain = "0x20001393";
constexpr const char *kSharpness = "0x2000178B";
constexpr const char *kGamma = "0x20001397";

class DahengBackend : public SdkBackend
{
public:
    DahengBackend(int position, FrameSlot &slot) : SdkBackend(position, slot, camsdk::Vendor::Daheng) {}
    ~DahengBackend() override { closeHandle(); }

    int code() const override { return kCameraDaheng; }
    bool polled() const override { return true; }

    bool open() override
    {
        if (!m_sdk)
            return false;
        const char *serial = gSerialNB[m_position];
        // Bound: open by content = serial (open mode 0, access mode 4); else by index p + 1.
        const int status = SerialBinds(serial) ? m_sdk->openBy(camsdk::OpenBy::Serial, serial, &m_handle)
                                               : m_sdk->open(m_position, &m_handle);
        if (status != camsdk::Ok) {
            m_handle = -1;
            return false;
        }
        setInt("0x10000BBB", 0);
        if (gImageW * 2 == gOW) {
            // 2x binning and decimation.
            for (const char *feature : {"0x100003F0", "0x100003F1", "0x100003F2", "0x100003F3"})
                setInt(feature, 2);
            setInt("0x100003EC", 0);
            setInt("0x100003ED", 0);
        } else {
            setInt("0x100003EC", (gOW - gImageW) / 2);
            setInt("0x100003ED", (gOH - gImageH) / 2);
        }
        setInt("0x100003EE", gImageW);
        setInt("0x100003EF", gImageH);
        setInt("0x3000178A", 1);
        setBool("0x40001395", true);
        return true;
    }

    bool start() override
    {
        command(kAcquisitionStart);
        return true;
    }
    void stop() override { command(kAcquisitionStop); }
    void close() override { closeHandle(); }

    void grabStep() override
    {
        camsdk::FrameView &frame = m_frame;
        if (m_sdk->grab(m_handle, 100, &frame) != camsdk::Ok)
            return;
        if (frame.status == 0) {
            int contrast;
            {
                QMutexLocker lock(SharedMutex(pMutex[m_position], "pMutex[position]"));
                contrast = gContrast[m_position];
            }
            const std::size_t length = frame.length < m_slot.frameBytes() ? frame.length : m_slot.frameBytes();
            DxContrast(frame.data, m_slot.raw(), length, contrast);
            m_slot.deliver(m_slot.raw(), length);
        }
        m_sdk->releaseFrame(m_handle);
    }

    // The camera always runs free; the trigger switch changes nothing on it.
    void changeTrigger(bool external, bool restart) override
    {
        if (restart)
            command(kAcquisitionStop);
        setInt("0x30000BB8", 2);
        setInt("0x30000BBD", 0);
        if (restart)
            command(kAcquisitionStart);
    }

    void setExposeTime(const WizardPara &para) override
    {
        const int v = para.expose_time[m_position];
        if (para.auto_exposure) {
            setInt(kExposureAuto, 1);
        } else {
            setInt(kExposureAuto, 0);
            double minimum = 0, maximum = 0;
            // Per cent of the camera's exposure range; without a range the value is used as it is.
            const double exposure = range(kExposure, &minimum, &maximum)
                                        ? std::trunc(StepsToCamera(v, minimum, maximum, 100))
                                        : v;
            setFloat(kExposure, exposure);
        }
        setInt(kWideDynamicRange, para.auto_wdr ? 1 : 0);
    }

    void setAdjustPlus(const WizardPara &para) override
    {
        setSteps(kGain, para.adjust_plus[m_position], 64, false, true);
    }

    void setSharp(const WizardPara &para) override
    {
        setSteps(kSharpness, para.sharp[m_position], 100, false, true);
    }

    // Applied in software by the camera thread to every frame.
    void setContrast(const WizardPara &para) override
    {
        const int v = para.contrast[m_position];
        QMutexLocker lock(SharedMutex(pMutex[m_position], "pMutex[position]"));
        gContrast[m_position] = v > 150 ? 100 : v - 50;
    }

    void setGamma(const WizardPara &para) override
    {
        setSteps(kGamma, para.gamma[m_position], 250, false, false);
    }

private:
    camsdk::FrameView m_frame;  // the frame of the current grab step (camera thread only)
};

}  // namespace

std::unique_ptr<CameraBackend> MakeDahengBackend(int position, FrameSlot &slot)
{
    return std::make_unique<DahengBackend>(position, slot);
}
