// Dahua IMV cameras: opened by camera key (bound) or the first free one, Mono8 frames by callback.
#include "core/globals.h"
#include "camera/backends/sdkbackend.h"
#include "camera/cameraglobals.h"
#include "camera/framehandover.h"
#include "params/wizardpara.h"

#include <glog/logging.h>

#include <QString>
#include <algorithm>
#include <cstdio>
#include <string>

namespace {

class ImvBackend : public SdkBackend
{
public:
    ImvBackend(int position, FrameSlot &slot) : SdkBackend(position, slot, camsdk::Vendor::Imv) {}
    ~ImvBackend() override { closeHandle(); }

    int code() const override { return kCameraImv; }

    bool open() override
    {
        if (!m_sdk)
            return false;
        const char *serial = gSerialNB[m_position];
        if (SerialBinds(serial, true)) {
            if (m_sdk->openBy(camsdk::OpenBy::Key, serial, &m_handle) != camsdk::Ok) {
                m_handle = -1;
                return false;
            }
        } else {
            // The first listed camera that nobody has open yet.
            const int listed = std::min<int>(gFindCamera, static_cast<int>(gDeviceInfoList.size()));
            bool opened = false;
            for (int i = 0; i < listed && !opened; ++i)
                opened = m_sdk->openBy(camsdk::OpenBy::Key, gDeviceInfoList[i].key, &m_handle) == camsdk::Ok;
            if (!opened) {
                m_handle = -1;
                return false;
            }
        }
        m_key = getText("DeviceKey").substr(0, 255);
        setText("UserSetSelector", "Default");
        command("UserSetLoad");
        setText("UserSetDefault", "Default");
        configure();
        m_sdk->setFrameCallback(m_handle, [this](const camsdk::FrameView &frame) { FrameCallback(frame); });
        return true;
    }

    bool start() override
    {
        const int status = m_sdk->startStream(m_handle);
        if (status != camsdk::Ok) {
            std::printf("start grabbing failed! ErrorCode[%d]\n", status);
            return false;
        }
        return true;
    }
    void stop() override { m_sdk->stopStream(m_handle); }
    void close() override { closeHandle(); }

    void changeTrigger(bool external, bool restart) override
    {
        if (external) {
            setText("TriggerMode", "On");
            setText("TriggerSource", "Line1");
        } else {
            setText("TriggerMode", "Off");
        }
    }

    void setExposeTime(const WizardPara &para) override
    {
        const double value = para.expose_time[m_position] * 1000.0;
        const int status = setFloat("ExposureTime", value);
        if (status != camsdk::Ok) {
            LOG(INFO) << QStringLiteral("set ExposureTime value = %1 fail, ErrorCode[%2]").arg(value).arg(status).toStdString();
            return;
        }
        setWB();
    }

    void setAdjustPlus(const WizardPara &para) override
    {
        double minimum = 0, maximum = 0;
        range("GainRaw", &minimum, &maximum);
        const double value = StepsToCamera(para.adjust_plus[m_position], minimum, maximum, 64);
        const int status = setFloat("GainRaw", value);
        if (status != camsdk::Ok) {
            LOG(INFO) << QStringLiteral("set GainRaw value = %1 fail, ErrorCode[%2]").arg(value).arg(status).toStdString();
            return;
        }
        setWB();
    }

    void setSharp(const WizardPara &para) override { setSteps("Sharpness", para.sharp[m_position], 100, true, true); }
    void setGamma(const WizardPara &para) override { setSteps("Gamma", para.gamma[m_position], 250, false, false); }
    void setHMirror(const WizardPara &para) override { setBool("ReverseX", para.h_mirror[m_position] != 0); }
    void setVMirror(const WizardPara &para) override { setBool("ReverseY", para.v_mirror[m_position] != 0); }

    void restoreDefaults(WizardPara &edit, const WizardPara &) override
    {
        if (!isValidHandle())
            return;
        stop();
        command("UserSetLoad");
        configure();
        // For this camera the read-back does not subtract the range's minimum.
        readBack("ExposureTime", 0, &edit.expose_time[m_position]);
        readBack("GainRaw", 64, &edit.adjust_plus[m_position]);
        readBack("Sharpness", 100, &edit.sharp[m_position]);
        readBack("Gamma", 250, &edit.gamma[m_position]);
        setHMirror(edit);
        setVMirror(edit);
        start();
    }

    // The camera key read after opening; SaveSN stores it at this position.
    std::string serialNumber() override { return m_key; }

private:
    void configure()
    {
        setInt("Width", gImageW);
        setInt("Height", gImageH);
        setBool("AcquisitionFrameRateEnable", true);
        setFloat("AcquisitionFrameRate", 20.0);
        setInt("SharpnessEnabled", 1);
        setInt("GevHeartbeatTimeout", 1000);
        setText("PixelFormat", "Mono8");
    }

    // steps 0: exposure in ms; else value / ((maximum - minimum) / steps). A range of zero width
    // leaves the stored value as it was.
    void readBack(const std::string &feature, int steps, int32_t *stored)
    {
        double value = 0;
        if (getNumber(feature, &value) != camsdk::Ok)
            return;
        if (steps == 0) {
            *stored = static_cast<int32_t>(value / 1000);
            return;
        }
        double minimum = 0, maximum = 0;
        if (!range(feature, &minimum, &maximum) || maximum == minimum)
            return;
        *stored = static_cast<int32_t>(value / ((maximum - minimum) / steps));
    }

    // Mono8 as it comes; with colour output the gray is spread over the four bytes of a pixel.
    void FrameCallback(const camsdk::FrameView &frame)
    {
        if (!frame.data)
            return;
        if (gisColor && frame.channels == 1) {
            GrayToRgba(m_slot.conversion(), frame.data, std::min(frame.width, gImageW), std::min(frame.height, gImageH));
            m_slot.deliver(m_slot.conversion(), static_cast<std::size_t>(gColorLen));
        } else {
            m_slot.deliver(frame.data, frame.length);
        }
    }

    std::string m_key;
};

}  // namespace

std::unique_ptr<CameraBackend> MakeImvBackend(int position, FrameSlot &slot)
{
    return std::make_unique<ImvBackend>(position, slot);
}
