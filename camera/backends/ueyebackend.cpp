// IDS uEye cameras: opened by handle or found by serial, one image memory whose change of content
// is a new frame.
#include "core/globals.h"
#include "camera/backends/sdkbackend.h"
#include "camera/cameraglobals.h"
#include "camera/framehandover.h"
#include "params/wizardpara.h"

#include <string>
#include <vector>

namespace {

class UEyeBackend : public SdkBackend
{
public:
    UEyeBackend(int position, FrameSlot &slot) : SdkBackend(position, slot, camsdk::Vendor::UEye) {}
    ~UEyeBackend() override { closeHandle(); }

    int code() const override { return kCameraUEye; }
    bool polled() const override { return true; }

    bool open() override
    {
        if (!m_sdk)
            return false;
        const char *serial = gSerialNB[m_position];
        if (!SerialBinds(serial, true)) {
            // Handle (p + 1) | 0x8000.
            if (m_sdk->open(m_position, &m_handle) != camsdk::Ok) {
                m_handle = -1;
                return false;
            }
        } else if (!openBound(serial)) {
            return false;
        }
        setInt("ColorMode", 6);  // 8-bit mono
        setInt("BitsPerPixel", 8);
        command("AllocImageMem " + std::to_string(gImageW) + "x" + std::to_string(gImageH) + "x8");
        command("SetImageMem");
        setText("AOI", std::to_string(gImageW) + "x" + std::to_string(gImageH));
        setInt("AutoParameter 0x8800", 0);
        setInt("AutoParameter 0x8802", 0);
        setBool("HardwareGamma", true);
        setInt("PixelClock", 5);
        return true;
    }

    bool start() override
    {
        m_sdk->startStream(m_handle);  // capture video, wait mode 1
        return true;
    }
    void stop() override { m_sdk->stopStream(m_handle); }
    void close() override
    {
        if (isValidHandle())
            command("FreeImageMem");
        closeHandle();
    }

    void grabStep() override
    {
        camsdk::FrameView memory;
        if (m_sdk->grab(m_handle, 0, &memory) == camsdk::Ok && memory.data)
            m_slot.deliverIfChanged(memory.data, memory.length);
    }

    void applySpeed(int speed) override { setInt("PixelClock", speed); }
    void setExposeTime(const WizardPara &para) override
    {
        setFloat("Exposure", static_cast<double>(para.expose_time[m_position]));
    }
    void setAdjustPlus(const WizardPara &para) override
    {
        const int v = para.adjust_plus[m_position];
        for (const char *channel : {"HardwareGain.Master", "HardwareGain.Red", "HardwareGain.Green", "HardwareGain.Blue"})
            setInt(channel, v);
    }
    void setGamma(const WizardPara &para) override { setInt("Gamma", para.gamma[m_position]); }

    std::string serialNumber() override { return getText("DeviceSerialNumber"); }

private:
    // Tries every camera in turn and keeps the one with the bound serial number.
    bool openBound(const std::string &serial)
    {
        std::vector<camsdk::DeviceInfo> devices;
        if (m_sdk->enumerate(&devices) != camsdk::Ok)
            return false;
        for (int i = 0; i < static_cast<int>(devices.size()); ++i) {
            if (m_sdk->open(i, &m_handle) != camsdk::Ok)
                continue;
            if (getText("DeviceSerialNumber") == serial)
                return true;
            m_sdk->close(m_handle);
        }
        m_handle = -1;
        return false;
    }
};

}  // namespace

std::unique_ptr<CameraBackend> MakeUEyeBackend(int position, FrameSlot &slot)
{
    return std::make_unique<UEyeBackend>(position, slot);
}
