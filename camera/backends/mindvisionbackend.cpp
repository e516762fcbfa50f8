// MindVision cameras: entries of gCList, preset or centred custom resolution, colour or mono ISP
// output, frames polled; the connection-state callback reports a lost camera.
#include "core/globals.h"
#include "camera/backends/sdkbackend.h"
#include "camera/cameraglobals.h"
#include "camera/framehandover.h"
#include "log/eventrecord.h"
#include "params/wizardpara.h"

#include <glog/logging.h>

#include <algorithm>
#include <string>

namespace {

constexpr int64_t kIspRgb8 = 0x02180014;
constexpr int64_t kIspMono8 = 0x01080001;

class MindVisionBackend : public SdkBackend
{
public:
    MindVisionBackend(int position, FrameSlot &slot) : SdkBackend(position, slot, camsdk::Vendor::MindVision) {}
    ~MindVisionBackend() override { closeHandle(); }

    int code() const override { return kCameraMindVision; }
    bool polled() const override { return true; }

    bool open() override
    {
        if (!m_sdk)
            return false;
        const char *serial = gSerialNB[m_position];
        const bool bound = SerialBinds(serial);
        int status = camsdk::ErrNotFound;
        if (bound) {
            const int listed = std::min<int>(gFindCamera, static_cast<int>(gCList.size()));
            for (int i = 0; i < listed; ++i) {
                if (gCList[i].serial == serial) {
                    EventRecord::Insert(QStringLiteral("Mind Open %1 = %2").arg(m_position + 1).arg(QString::fromLatin1(serial)));
                    status = m_sdk->open(i, &m_handle);
                    break;
                }
            }
        } else if (m_position < static_cast<int>(gCList.size())) {
            status = m_sdk->open(m_position, &m_handle);
        }
        LOG(INFO) << (bound ? "CameraInit 1 " : "CameraInit 2 ") << status;
        if (status != camsdk::Ok) {
            m_handle = -1;
            EventRecord::Insert(QStringLiteral("Mind Fail = %1").arg(status));
            return false;
        }
        // The capability record: ranges of sharpness, contrast and gamma, and the sensor kind.
        range("Sharpness", &m_sharpMin, &m_sharpMax);
        range("Contrast", &m_contrastMin, &m_contrastMax);
        range("Gamma", &m_gammaMin, &m_gammaMax);
        double color = 0;
        getNumber("SensorColor", &color);
        m_colorSensor = color != 0;

        setResolution();
        setOutputFormat();
        setInt("FrameSpeed", 0);
        m_sdk->setEventCallback(m_handle, MindConnectStateCallBack);
        command("set_online_detect_interval(500)");
        return true;
    }

    bool start() override
    {
        m_sdk->startStream(m_handle);
        return true;
    }
    void stop() override
    {
        if (isValidHandle())
            m_sdk->stopStream(m_handle);
    }
    void close() override { closeHandle(); }

    void grabStep() override
    {
        camsdk::FrameView &frame = m_frame;
        if (m_sdk->grab(m_handle, 100, &frame) != camsdk::Ok)
            return;
        if (gisColor && frame.channels == 3) {
            RGB2RGBA(m_slot.conversion(), frame.data, std::min(frame.width, gImageW), std::min(frame.height, gImageH));
            m_slot.deliver(m_slot.conversion(), static_cast<std::size_t>(gColorLen));
        } else {
            m_slot.deliver(frame.data, std::min<std::size_t>(frame.length, gImageLen));
        }
        m_sdk->releaseFrame(m_handle);
    }

    void changeTrigger(bool external, bool restart) override { setInt("TriggerMode", external ? 2 : 0); }
    void applySpeed(int speed) override { setInt("FrameSpeed", gisColor ? speed + 1 : speed); }

    void setExposeTime(const WizardPara &para) override
    {
        if (para.auto_exposure) {
            setBool("AeState", true);
        } else {
            setBool("AeState", false);
            setFloat("ExposureTime", para.expose_time[m_position] * 1000.0);
        }
        command(para.auto_wdr ? "set_awdr_enable(true)" : "set_awdr_enable(false)");
        setWB();
    }

    void setAdjustPlus(const WizardPara &para) override
    {
        setSteps("AnalogGain", para.adjust_plus[m_position], 64, true, true);
        setWB();
    }

    void setSharp(const WizardPara &para) override
    {
        setInt("Sharpness", static_cast<int64_t>(StepsToCamera(para.sharp[m_position], m_sharpMin, m_sharpMax, 100)));
    }
    void setContrast(const WizardPara &para) override
    {
        setInt("Contrast", static_cast<int64_t>(StepsToCamera(para.contrast[m_position], m_contrastMin, m_contrastMax, 200)));
    }
    void setGamma(const WizardPara &para) override
    {
        setInt("Gamma", static_cast<int64_t>(StepsToCamera(para.gamma[m_position], m_gammaMin, m_gammaMax, 250)));
    }
    void setHMirror(const WizardPara &para) override { setBool("Mirror0", para.h_mirror[m_position] != 0); }
    void setVMirror(const WizardPara &para) override { setBool("Mirror1", para.v_mirror[m_position] != 0); }

    void setWB() override
    {
        if (gisColor)
            command("SetOnceWB");
    }

    void restoreDefaults(WizardPara &edit, const WizardPara &live) override
    {
        stop();
        command("LoadParameter(255)");
        setCustomResolution();
        setOutputFormat();
        setBool("AeState", live.auto_exposure != 0);
        setInt("FrameSpeed", 0);

        double exposure = 0;
        if (getNumber("ExposureTime", &exposure) == camsdk::Ok)
            edit.expose_time[m_position] = static_cast<int>(exposure / 1000);
        int steps = 0;
        if (readSteps("AnalogGain", 64, &steps))
            edit.adjust_plus[m_position] = steps;
        double value = 0;
        if (getNumber("Sharpness", &value) == camsdk::Ok)
            edit.sharp[m_position] = CameraToSteps(value, m_sharpMin, m_sharpMax, 100);
        if (getNumber("Contrast", &value) == camsdk::Ok)
            edit.contrast[m_position] = CameraToSteps(value, m_contrastMin, m_contrastMax, 200);
        if (getNumber("Gamma", &value) == camsdk::Ok)
            edit.gamma[m_position] = CameraToSteps(value, m_gammaMin, m_gammaMax, 250);
        start();
    }

    bool beginAutoExposure() override
    {
        setBool("AeState", true);
        setInt("AeTarget", 120);
        setText("AeExposureRange", "0,100000");
        setBool("AntiFlick", true);
        return true;
    }

    void finishAutoExposure(WizardPara &edit) override
    {
        setBool("AeState", false);
        double exposure = 0, gain = 0;
        if (getNumber("ExposureTime", &exposure) == camsdk::Ok)
            edit.expose_time[m_position] = static_cast<int>(exposure / 1000);
        // The gain as the camera reports it, not in steps.
        if (getNumber("AnalogGain", &gain) == camsdk::Ok)
            edit.adjust_plus[m_position] = static_cast<int>(gain);
    }

    std::string serialNumber() override { return getText("DeviceSerialNumber").substr(0, 32); }

private:
    static void MindConnectStateCallBack(int state)
    {
        if (state == 0)
            gCameraWatch.cameraFault = true;
    }

    void setResolution()
    {
        if (gOW == 2592 && gisCut)
            setText("Resolution", "preset " + std::to_string(gImageResolution.index));
        else
            setCustomResolution();
    }

    // Index 0xFF: gImageW x gImageH centred on the sensor.
    void setCustomResolution()
    {
        setText("Resolution", "custom " + std::to_string(gImageW) + "x" + std::to_string(gImageH) + "+" +
                                  std::to_string((gOW - gImageW) / 2) + "+" + std::to_string((gOH - gImageH) / 2));
    }

    void setOutputFormat()
    {
        if (!m_colorSensor) {
            setInt("IspOutFormat", kIspMono8);
            setBool("Monochrome", false);
            return;
        }
        setInt("WbMode", 0);
        if (gisColor) {
            if (gOW == 2048) {
                setInt("IspOutFormat", kIspRgb8);
                setBool("Monochrome", false);
            } else {
                setInt("MediaType", 0);
                setInt("IspOutFormat", kIspRgb8);
            }
        } else if (gOW == 2048) {
            setInt("IspOutFormat", kIspMono8);
            setBool("Monochrome", true);
        } else {
            setInt("MediaType", 1);
            setInt("IspOutFormat", kIspMono8);
        }
    }

    double m_sharpMin = 0, m_sharpMax = 0;
    double m_contrastMin = 0, m_contrastMax = 0;
    double m_gammaMin = 0, m_gammaMax = 0;
    bool m_colorSensor = false;

private:
    camsdk::FrameView m_frame;  // the frame of the current grab step (camera thread only)
};

}  // namespace

std::unique_ptr<CameraBackend> MakeMindVisionBackend(int position, FrameSlot &slot)
{
    return std::make_unique<MindVisionBackend>(position, slot);
}
