// DVP cameras: opened by the name of enumeration entry p, frames by stream callback with frame
// skipping after the capture speed.
#include "core/globals.h"
#include "camera/backends/sdkbackend.h"
#include "camera/cameraglobals.h"
#include "camera/framehandover.h"
#include "params/wizardpara.h"

#include <algorithm>
#include <atomic>
#include <string>
#include <vector>

namespace {

class DvpBackend : public SdkBackend
{
public:
    DvpBackend(int position, FrameSlot &slot) : SdkBackend(position, slot, camsdk::Vendor::Dvp) {}
    ~DvpBackend() override { closeHandle(); }

    int code() const override { return kCameraDvp; }

    bool open() override
    {
        if (!m_sdk)
            return false;
        std::vector<camsdk::DeviceInfo> devices;
        if (m_sdk->enumerate(&devices) != camsdk::Ok || m_position >= static_cast<int>(devices.size()))
            return false;
        m_colorSensor = devices[m_position].color;
        // Open mode 0x21, by the device's name.
        if (m_sdk->openBy(camsdk::OpenBy::Name, devices[m_position].key, &m_handle) != camsdk::Ok) {
            m_handle = -1;
            return false;
        }
        setProcessing();
        setText("HdrEnable", "false");
        setInt("AeOperation", 0);
        setInt("TriggerSource", 1);
        setRoi();
        m_sdk->setFrameCallback(m_handle, [this](const camsdk::FrameView &frame) { dvpStreamCallback(frame); });
        return true;
    }

    bool start() override
    {
        double state = 0;
        if (isValidHandle() && getNumber("StreamState", &state) == camsdk::Ok && state == 0)
            m_sdk->startStream(m_handle);
        return true;
    }
    void stop() override
    {
        double state = 0;
        if (isValidHandle() && getNumber("StreamState", &state) == camsdk::Ok && state == 2)
            m_sdk->stopStream(m_handle);
    }
    void close() override { closeHandle(); }

    void changeTrigger(bool external, bool restart) override { setBool("TriggerState", external); }
    void applySpeed(int speed) override { m_frameSkip = speed; }

    void setExposeTime(const WizardPara &para) override
    {
        if (para.auto_exposure) {
            setInt("AeOperation", 2);
        } else {
            setInt("AeOperation", 0);
            setFloat("Exposure", para.expose_time[m_position] * 1000.0);
        }
        setText("HdrEnable", para.auto_wdr ? "true" : "false");
    }
    void setAdjustPlus(const WizardPara &para) override
    {
        setSteps("AnalogGain", para.adjust_plus[m_position], 64, false, false);
    }
    void setSharp(const WizardPara &para) override { setSteps("Sharpness", para.sharp[m_position], 100, true, true); }
    void setContrast(const WizardPara &para) override { setSteps("Contrast", para.contrast[m_position], 200, true, true); }
    void setGamma(const WizardPara &para) override { setSteps("Gamma", para.gamma[m_position], 250, true, true); }

    void restoreDefaults(WizardPara &edit, const WizardPara &) override
    {
        stop();
        command("LoadDefault");
        setInt("AeOperation", 0);
        setProcessing();
        setRoi();
        setText("HdrEnable", edit.auto_wdr ? "true" : "false");
        // The camera's own values, without conversion to steps.
        double value = 0;
        if (getNumber("Exposure", &value) == camsdk::Ok)
            edit.expose_time[m_position] = static_cast<int>(value / 1000);
        if (getNumber("AnalogGain", &value) == camsdk::Ok)
            edit.adjust_plus[m_position] = static_cast<int>(value);
        if (getNumber("Sharpness", &value) == camsdk::Ok)
            edit.sharp[m_position] = static_cast<int>(value);
        if (getNumber("Gamma", &value) == camsdk::Ok)
            edit.gamma[m_position] = static_cast<int>(value);
        if (getNumber("Contrast", &value) == camsdk::Ok)
            edit.contrast[m_position] = static_cast<int>(value);
        start();
    }

    int frameSkip() const { return m_frameSkip; }

private:
    void setProcessing()
    {
        setBool("GammaState", true);
        setBool("ContrastState", true);
        setBool("SharpnessState", true);
        setInt("TargetFormat", gisColor && m_colorSensor ? 10 : 30);
    }

    void setRoi() { setText("Roi", "0,0," + std::to_string(gImageW) + "," + std::to_string(gImageH)); }

    // Uses one frame, then drops `frame-skip` frames; the very first frame is always used.
    void dvpStreamCallback(const camsdk::FrameView &frame)
    {
        const int counter = ++m_skipCounter;
        if (counter > m_frameSkip) {
            m_skipCounter = 0;
        } else if (counter != 0) {
            return;
        }
        if (frame.channels == 3 && gisColor) {
            RGB2RGBA(m_slot.conversion(), frame.data, std::min(frame.width, gImageW), std::min(frame.height, gImageH));
            m_slot.deliver(m_slot.conversion(), static_cast<std::size_t>(gColorLen));
        } else {
            m_slot.deliver(frame.data, std::min<std::size_t>(frame.length, gColorLen));
        }
    }

    bool m_colorSensor = false;
    std::atomic<int> m_frameSkip{0};
    std::atomic<int> m_skipCounter{-1};
};

}  // namespace

std::unique_ptr<CameraBackend> MakeDvpBackend(int position, FrameSlot &slot)
{
    return std::make_unique<DvpBackend>(position, slot);
}
