// Hikvision MVS cameras: entries of gDevList, frames by the library's image callback, the exception
// callback reports a disconnected device.
#include "core/globals.h"
#include "camera/backends/sdkbackend.h"
#include "camera/cameraglobals.h"
#include "camera/framehandover.h"
#include "params/wizardpara.h"

#include <algorithm>
#include <string>

namespace {

constexpr int64_t kBayerRG8 = 0x01080009;
constexpr int64_t kMono8 = 0x01080001;
constexpr int kDeviceDisconnected = 0x8001;

class HikvisionBackend : public SdkBackend
{
public:
    HikvisionBackend(int position, FrameSlot &slot) : SdkBackend(position, slot, camsdk::Vendor::Hikvision) {}
    ~HikvisionBackend() override { closeHandle(); }

    int code() const override { return kCameraHikvision; }

    bool open() override
    {
        if (!m_sdk)
            return false;
        const char *serial = gSerialNB[m_position];
        int index = -1;
        if (SerialBinds(serial)) {
            const int listed = std::min<int>(gFindCamera, static_cast<int>(gDevList.size()));
            for (int i = 0; i < listed && index < 0; ++i)
                if (gDevList[i].gige && gDevList[i].serial == serial)
                    index = i;
        } else if (m_position < static_cast<int>(gDevList.size())) {
            index = m_position;
        }
        if (index < 0)
            return false;
        m_device = gDevList[index];
        // Access mode 1 (exclusive); a failed open destroys the handle.
        if (m_sdk->open(index, &m_handle) != camsdk::Ok) {
            m_handle = -1;
            return false;
        }
        m_colorSensor = m_device.model.empty() || m_device.model.back() != 'M';
        setInt("UserSetSelector", 0);
        command("UserSetLoad");
        setBool("SharpnessEnable", true);
        setBool("GammaEnable", true);
        setInt("Width", gImageW);
        setInt("Height", gImageH);
        setInt("GevHeartbeatTimeout", 500);
        m_width = gImageW;
        m_height = gImageH;
        m_sdk->setFrameCallback(m_handle, [this](const camsdk::FrameView &frame) { ImageCallBack(frame); });
        m_sdk->setEventCallback(m_handle, ExceptionImageCallBack);
        setPixelFormat();
        return true;
    }

    bool start() override
    {
        m_sdk->startStream(m_handle);
        return true;
    }
    void stop() override { m_sdk->stopStream(m_handle); }
    void close() override { closeHandle(); }

    void changeTrigger(bool external, bool restart) override
    {
        if (external) {
            setInt("TriggerMode", 1);
            setInt("TriggerSource", 0);
        } else {
            setInt("TriggerMode", 0);
        }
    }

    void applySpeed(int speed) override
    {
        setBool("AcquisitionFrameRateEnable", true);
        setFloat("AcquisitionFrameRate", speed < 5 ? 20.0 : static_cast<double>(speed));
    }

    void setExposeTime(const WizardPara &para) override
    {
        setInt("ExposureMode", 0);
        setInt("ExposureAuto", 0);
        setFloat("ExposureTime", para.expose_time[m_position] * 1000.0);
        setWB();
    }
    void setAdjustPlus(const WizardPara &para) override
    {
        setInt("GainAuto", 0);
        setSteps("Gain", para.adjust_plus[m_position], 64, false, false);
        setWB();
    }
    void setSharp(const WizardPara &para) override { setSteps("Sharpness", para.sharp[m_position], 100, true, true); }
    void setGamma(const WizardPara &para) override { setSteps("Gamma", para.gamma[m_position], 250, false, false); }
    void setWB() override
    {
        if (gisColor)
            setInt("BalanceWhiteAuto", 2);
    }

    void restoreDefaults(WizardPara &edit, const WizardPara &) override
    {
        stop();
        setInt("UserSetSelector", 0);
        command("UserSetLoad");
        setPixelFormat();
        start();
        double exposure = 0;
        if (getNumber("ExposureTime", &exposure) == camsdk::Ok)
            edit.expose_time[m_position] = static_cast<int>(exposure / 1000);
        int steps = 0;
        if (readSteps("Gain", 64, &steps))
            edit.adjust_plus[m_position] = steps;
        if (readSteps("Sharpness", 100, &steps))
            edit.sharp[m_position] = steps;
        if (readSteps("Gamma", 250, &steps))
            edit.gamma[m_position] = steps;
    }

    // Only GigE devices carry the serial that binds them.
    std::string serialNumber() override { return m_device.gige ? m_device.serial : std::string(); }

private:
    void setPixelFormat() { setInt("PixelFormat", m_colorSensor && gisColor ? kBayerRG8 : kMono8); }

    void ImageCallBack(const camsdk::FrameView &frame)
    {
        if (!frame.data || frame.length == 0)
            return;
        if (gisColor && frame.channels == 3) {
            RGB2RGBA(m_slot.conversion(), frame.data, std::min(frame.width, m_width), std::min(frame.height, m_height));
            m_slot.deliver(m_slot.conversion(), static_cast<std::size_t>(gColorLen));
        } else if (frame.channels == 3) {
            RgbToGray(m_slot.conversion(), frame.data, std::min(frame.width, m_width), std::min(frame.height, m_height));
            m_slot.deliver(m_slot.conversion(), static_cast<std::size_t>(gImageLen));
        } else if (gisColor) {
            GrayToRgba(m_slot.conversion(), frame.data, std::min(frame.width, m_width), std::min(frame.height, m_height));
            m_slot.deliver(m_slot.conversion(), static_cast<std::size_t>(gColorLen));
        } else {
            m_slot.deliver(frame.data, std::min<std::size_t>(frame.length, gImageLen));
        }
    }

    static void ExceptionImageCallBack(int message)
    {
        if (message == kDeviceDisconnected)
            gCameraWatch.cameraFault = true;
    }

    camsdk::DeviceInfo m_device;
    bool m_colorSensor = false;
    int m_width = 0;
    int m_height = 0;
};

}  // namespace

std::unique_ptr<CameraBackend> MakeHikvisionBackend(int position, FrameSlot &slot)
{
    return std::make_unique<HikvisionBackend>(position, slot);
}
