#include "camera/backends/aravisbackend.h"

#ifdef MOULD_HAVE_ARAVIS
#include <arv.h>
#endif

#include "core/globals.h"
#include "core/systemgateway.h"
#include "camera/backends/sdkbackend.h"
#include "camera/cameraglobals.h"
#include "camera/framehandover.h"
#include "params/wizardpara.h"

#include <QtGlobal>
#include <algorithm>
#include <atomic>
#include <cstring>
#include <mutex>
#include <sstream>

namespace {

std::mutex gInterfaceMutex;
bool gInterfacesChosen = false;
std::vector<std::string> gInterfaces;

std::vector<std::string> defaultInterfaces()
{
    std::vector<std::string> names;
    const QString configured = qEnvironmentVariable("MOULD_ARAVIS");
    if (!configured.isEmpty()) {
        std::istringstream list(configured.toStdString());
        std::string name;
        while (std::getline(list, name, ','))
            if (!name.empty())
                names.push_back(name);
    } else if (SystemGateway::isPanelBuild()) {
        names = {"GigEVision", "USB3Vision"};
    }
    return names;
}

}  // namespace

void AravisUseInterfaces(const std::vector<std::string> &interfaces)
{
    std::lock_guard lock(gInterfaceMutex);
    gInterfaces = interfaces;
    gInterfacesChosen = true;
}

std::vector<std::string> AravisInterfaces()
{
    std::lock_guard lock(gInterfaceMutex);
    if (!gInterfacesChosen) {
        gInterfaces = defaultInterfaces();
        gInterfacesChosen = true;
    }
    return gInterfaces;
}

#ifndef MOULD_HAVE_ARAVIS

bool AravisBuilt() { return false; }
std::vector<AravisDevice> AravisEnumerate() { return {}; }
bool AravisProbe() { return false; }
std::unique_ptr<CameraBackend> MakeAravisBackend(int position, FrameSlot &slot)
{
    return MakeCameraBackend(kCameraNone, position, slot);
}

#else

namespace {

constexpr int kBuffers = 4;  // the stream's buffer pool

std::string text(const char *value) { return value ? value : ""; }

// Applies the chosen interfaces to the library; false when none is chosen (nothing is looked at).
bool prepareInterfaces()
{
    const std::vector<std::string> chosen = AravisInterfaces();
    if (chosen.empty())
        return false;
    const unsigned count = arv_get_n_interfaces();
    for (unsigned i = 0; i < count; ++i) {
        const std::string id = text(arv_get_interface_id(i));
        if (std::find(chosen.begin(), chosen.end(), id) == chosen.end())
            arv_disable_interface(id.c_str());
    }
    for (const std::string &id : chosen)
        arv_enable_interface(id.c_str());
    return true;
}

// Runs a library call that reports through GError; false (and the message logged) on failure.
template <typename Call>
bool attempt(const char *what, Call &&call)
{
    GError *error = nullptr;
    call(&error);
    if (!error)
        return true;
    qInfo("aravis %s: %s", what, error->message);
    g_error_free(error);
    return false;
}

bool hasEntry(ArvCamera *camera, const char *feature, const char *entry)
{
    guint count = 0;
    GError *error = nullptr;
    const char **entries = arv_camera_dup_available_enumerations_as_strings(camera, feature, &count, &error);
    if (error)
        g_error_free(error);
    bool found = false;
    for (guint i = 0; entries && i < count && !found; ++i)
        found = std::strcmp(entries[i], entry) == 0;
    g_free(entries);
    return found;
}

std::vector<std::string> entries(ArvCamera *camera, const char *feature)
{
    guint count = 0;
    GError *error = nullptr;
    const char **list = arv_camera_dup_available_enumerations_as_strings(camera, feature, &count, &error);
    if (error)
        g_error_free(error);
    std::vector<std::string> found;
    for (guint i = 0; list && i < count; ++i)
        found.emplace_back(list[i]);
    g_free(list);
    return found;
}

bool colourSensor(ArvCamera *camera)
{
    for (const std::string &format : entries(camera, "PixelFormat"))
        if (format.rfind("Bayer", 0) == 0 || format.rfind("RGB", 0) == 0)
            return true;
    return false;
}

class AravisBackend : public CameraBackend, public AravisControl
{
public:
    using CameraBackend::CameraBackend;
    ~AravisBackend() override { release(); }

    int code() const override { return kCameraAravis; }

    bool open() override
    {
        release();
        const std::vector<AravisDevice> devices = AravisEnumerate();
        const char *serial = gSerialNB[m_position];
        const AravisDevice *device = nullptr;
        if (SerialBinds(serial)) {
            for (const AravisDevice &d : devices)
                if (d.serial == serial)
                    device = &d;
        } else if (m_position < static_cast<int>(devices.size())) {
            device = &devices[m_position];
        }
        if (!device)
            return false;
        if (!attempt("open", [&](GError **e) { m_camera = arv_camera_new(device->id.c_str(), e); }) || !m_camera) {
            release();
            return false;
        }
        m_serial = device->serial;
        configure();
        if (!attempt("stream", [&](GError **e) { m_stream = arv_camera_create_stream(m_camera, nullptr, nullptr, e); }) ||
            !m_stream) {
            release();
            return false;
        }
        // The buffer pool: every frame is written into one of these, handed over and given back.
        m_payload = arv_camera_get_payload(m_camera, nullptr);
        for (int i = 0; i < kBuffers; ++i)
            arv_stream_push_buffer(m_stream, arv_buffer_new(m_payload, nullptr));
        // A camera whose control link breaks (unplugged, powered off) is reported like the others.
        m_lostHandler = g_signal_connect(arv_camera_get_device(m_camera), "control-lost",
                                         G_CALLBACK(+[](ArvDevice *, gpointer) { gCameraWatch.cameraFault = true; }), nullptr);
        return true;
    }

    bool start() override
    {
        return m_camera && attempt("start", [&](GError **e) { arv_camera_start_acquisition(m_camera, e); });
    }

    void stop() override
    {
        if (m_camera)
            attempt("stop", [&](GError **e) { arv_camera_stop_acquisition(m_camera, e); });
    }

    void close() override { release(); }

    bool polled() const override { return true; }

    void grabStep() override
    {
        if (!m_stream)
            return;
        ArvBuffer *buffer = arv_stream_timeout_pop_buffer(m_stream, 100000);
        if (!buffer)
            return;
        if (arv_buffer_get_status(buffer) == ARV_BUFFER_STATUS_SUCCESS) {
            ++m_completed;
            deliver(buffer);
        } else {
            ++m_lost;
        }
        arv_stream_push_buffer(m_stream, buffer);
    }

    void changeTrigger(bool external, bool restart) override
    {
        if (!m_camera)
            return;
        if (hasEntry(m_camera, "TriggerSelector", "FrameStart"))
            attempt("trigger selector", [&](GError **e) { arv_camera_set_string(m_camera, "TriggerSelector", "FrameStart", e); });
        if (!external) {
            attempt("trigger off", [&](GError **e) { arv_camera_set_string(m_camera, "TriggerMode", "Off", e); });
            m_source.clear();
            return;
        }
        // The station's trigger input: Line1 where the camera has it, else its first input line.
        const std::vector<std::string> sources = entries(m_camera, "TriggerSource");
        std::string source = "Line1";
        if (std::find(sources.begin(), sources.end(), source) == sources.end()) {
            const auto line = std::find_if(sources.begin(), sources.end(), [](const std::string &s) { return s.rfind("Line", 0) == 0; });
            source = line != sources.end() ? *line : std::string("Software");
        }
        setTrigger(source);
    }

    void applySpeed(int speed) override
    {
        if (!m_camera)
            return;
        if (arv_camera_is_feature_available(m_camera, "AcquisitionFrameRateEnable", nullptr))
            attempt("frame rate enable", [&](GError **e) { arv_camera_set_boolean(m_camera, "AcquisitionFrameRateEnable", true, e); });
        attempt("frame rate", [&](GError **e) { arv_camera_set_frame_rate(m_camera, speed < 5 ? 20.0 : speed, e); });
    }

    void setExposeTime(const WizardPara &para) override
    {
        if (!m_camera)
            return;
        if (arv_camera_is_exposure_auto_available(m_camera, nullptr))
            attempt("exposure auto", [&](GError **e) { arv_camera_set_exposure_time_auto(m_camera, ARV_AUTO_OFF, e); });
        double minimum = 0, maximum = 0;
        arv_camera_get_exposure_time_bounds(m_camera, &minimum, &maximum, nullptr);
        const double us = std::clamp(para.expose_time[m_position] * 1000.0, minimum, std::max(minimum, maximum));
        attempt("exposure", [&](GError **e) { arv_camera_set_exposure_time(m_camera, us, e); });
    }

    void setAdjustPlus(const WizardPara &para) override
    {
        if (!m_camera || !arv_camera_is_gain_available(m_camera, nullptr))
            return;
        if (arv_camera_is_gain_auto_available(m_camera, nullptr))
            attempt("gain auto", [&](GError **e) { arv_camera_set_gain_auto(m_camera, ARV_AUTO_OFF, e); });
        double minimum = 0, maximum = 0;
        arv_camera_get_gain_bounds(m_camera, &minimum, &maximum, nullptr);
        const double gain = std::clamp(StepsToCamera(para.adjust_plus[m_position], minimum, maximum, 64), minimum, maximum);
        attempt("gain", [&](GError **e) { arv_camera_set_gain(m_camera, gain, e); });
    }

    void setGamma(const WizardPara &para) override
    {
        if (!m_camera || !arv_camera_is_feature_available(m_camera, "Gamma", nullptr))
            return;
        double minimum = 0, maximum = 0;
        arv_camera_get_float_bounds(m_camera, "Gamma", &minimum, &maximum, nullptr);
        const double gamma = StepsToCamera(para.gamma[m_position], minimum, maximum, 250);
        attempt("gamma", [&](GError **e) { arv_camera_set_float(m_camera, "Gamma", gamma, e); });
    }

    void setHMirror(const WizardPara &para) override { setSwitch("ReverseX", para.h_mirror[m_position] != 0); }
    void setVMirror(const WizardPara &para) override { setSwitch("ReverseY", para.v_mirror[m_position] != 0); }

    void restoreDefaults(WizardPara &edit, const WizardPara &) override
    {
        if (!m_camera)
            return;
        stop();
        if (hasEntry(m_camera, "UserSetSelector", "Default")) {
            attempt("user set", [&](GError **e) { arv_camera_set_string(m_camera, "UserSetSelector", "Default", e); });
            attempt("user set load", [&](GError **e) { arv_camera_execute_command(m_camera, "UserSetLoad", e); });
        }
        configure();
        GError *error = nullptr;
        const double exposure = arv_camera_get_exposure_time(m_camera, &error);
        if (!error)
            edit.expose_time[m_position] = static_cast<int>(exposure / 1000);
        g_clear_error(&error);
        if (arv_camera_is_gain_available(m_camera, nullptr)) {
            double minimum = 0, maximum = 0;
            arv_camera_get_gain_bounds(m_camera, &minimum, &maximum, nullptr);
            edit.adjust_plus[m_position] = CameraToSteps(arv_camera_get_gain(m_camera, nullptr), minimum, maximum, 64);
        }
        start();
    }

    std::string serialNumber() override { return m_serial; }
    bool isValidHandle() const override { return m_camera != nullptr; }

    // --- AravisControl ---
    void useSoftwareTrigger() override
    {
        if (m_camera)
            setTrigger("Software");
    }
    bool softTrigger() override
    {
        return m_camera && attempt("software trigger", [&](GError **e) { arv_camera_software_trigger(m_camera, e); });
    }
    long framesCompleted() const override { return m_completed; }
    long framesLost() const override
    {
        long lost = m_lost;
        if (m_stream) {
            guint64 completed = 0, failures = 0, underruns = 0;
            arv_stream_get_statistics(m_stream, &completed, &failures, &underruns);
            lost = std::max<long>(lost, static_cast<long>(failures + underruns));
        }
        return lost;
    }
    std::string triggerSource() const override { return m_source; }

private:
    void configure()
    {
        gint sensorWidth = 0, sensorHeight = 0;
        arv_camera_get_sensor_size(m_camera, &sensorWidth, &sensorHeight, nullptr);
        const bool colour = colourSensor(m_camera);
        m_rgb = colour && gisColor && hasEntry(m_camera, "PixelFormat", "RGB8");
        const char *format = m_rgb ? "RGB8" : "Mono8";
        attempt("pixel format", [&](GError **e) { arv_camera_set_pixel_format_from_string(m_camera, format, e); });
        // The station's image, centred on the sensor where the camera allows a region.
        const int x = std::max(0, (sensorWidth - gImageW) / 2);
        const int y = std::max(0, (sensorHeight - gImageH) / 2);
        attempt("region", [&](GError **e) { arv_camera_set_region(m_camera, x, y, gImageW, gImageH, e); });
        arv_camera_get_region(m_camera, nullptr, nullptr, &m_width, &m_height, nullptr);
        attempt("acquisition mode", [&](GError **e) { arv_camera_set_acquisition_mode(m_camera, ARV_ACQUISITION_MODE_CONTINUOUS, e); });
    }

    void setTrigger(const std::string &source)
    {
        attempt("trigger source", [&](GError **e) { arv_camera_set_string(m_camera, "TriggerSource", source.c_str(), e); });
        attempt("trigger on", [&](GError **e) { arv_camera_set_string(m_camera, "TriggerMode", "On", e); });
        m_source = source;
    }

    void setSwitch(const char *feature, bool on)
    {
        if (m_camera && arv_camera_is_feature_available(m_camera, feature, nullptr))
            attempt(feature, [&](GError **e) { arv_camera_set_boolean(m_camera, feature, on, e); });
    }

    // One image into the hand-over: Mono8 as it is (spread to four bytes with colour output),
    // RGB8 expanded or reduced to gray. Rows beyond the station's image are cut off.
    void deliver(ArvBuffer *buffer)
    {
        size_t size = 0;
        const auto *data = static_cast<const uint8_t *>(arv_buffer_get_data(buffer, &size));
        const int width = std::min(arv_buffer_get_image_width(buffer), gImageW);
        const int height = std::min(arv_buffer_get_image_height(buffer), gImageH);
        if (!data || width <= 0 || height <= 0)
            return;
        const bool rgb = arv_buffer_get_image_pixel_format(buffer) == ARV_PIXEL_FORMAT_RGB_8_PACKED;
        if (rgb && size < static_cast<size_t>(width) * height * 3)
            return;
        if (rgb && gisColor) {
            RGB2RGBA(m_slot.conversion(), data, width, height);
            m_slot.deliver(m_slot.conversion(), static_cast<std::size_t>(gColorLen));
        } else if (rgb) {
            RgbToGray(m_slot.conversion(), data, width, height);
            m_slot.deliver(m_slot.conversion(), static_cast<std::size_t>(gImageLen));
        } else if (gisColor) {
            GrayToRgba(m_slot.conversion(), data, width, height);
            m_slot.deliver(m_slot.conversion(), static_cast<std::size_t>(gColorLen));
        } else {
            m_slot.deliver(data, std::min<std::size_t>(size, static_cast<std::size_t>(gImageLen)));
        }
    }

    void release()
    {
        if (m_camera && m_lostHandler)
            g_signal_handler_disconnect(arv_camera_get_device(m_camera), m_lostHandler);
        m_lostHandler = 0;
        g_clear_object(&m_stream);
        g_clear_object(&m_camera);
    }

    ArvCamera *m_camera = nullptr;
    ArvStream *m_stream = nullptr;
    gulong m_lostHandler = 0;
    guint m_payload = 0;
    bool m_rgb = false;
    gint m_width = 0;
    gint m_height = 0;
    std::string m_serial;
    std::string m_source;
    std::atomic<long> m_completed{0};
    std::atomic<long> m_lost{0};
};

}  // namespace

bool AravisBuilt() { return true; }

std::vector<AravisDevice> AravisEnumerate()
{
    std::vector<AravisDevice> devices;
    if (!prepareInterfaces())
        return devices;
    arv_update_device_list();
    const unsigned count = arv_get_n_devices();
    for (unsigned i = 0; i < count; ++i)
        devices.push_back({text(arv_get_device_id(i)), text(arv_get_device_serial_nbr(i)), text(arv_get_device_model(i)),
                           text(arv_get_device_vendor(i)), text(arv_get_device_protocol(i))});
    return devices;
}

bool AravisProbe()
{
    const std::vector<AravisDevice> devices = AravisEnumerate();
    if (devices.empty())
        return false;
    ArvCamera *camera = nullptr;
    if (!attempt("probe open", [&](GError **e) { camera = arv_camera_new(devices.front().id.c_str(), e); }) || !camera)
        return false;
    gint width = 0, height = 0;
    arv_camera_get_sensor_size(camera, &gOW, &gOH, nullptr);
    arv_camera_get_region(camera, nullptr, nullptr, &width, &height, nullptr);
    gSensorColor = colourSensor(camera) ? 1 : 0;
    g_object_unref(camera);
    if (width <= 0 || height <= 0)
        return false;
    gImageW = width;
    gImageH = height;
    gCameraID = kCameraAravis;
    gFindCamera = static_cast<int>(devices.size());
    std::printf("find Aravis camera count : %d (%s)\n", gFindCamera, devices.front().model.c_str());
    return true;
}

std::unique_ptr<CameraBackend> MakeAravisBackend(int position, FrameSlot &slot)
{
    return std::make_unique<AravisBackend>(position, slot);
}

#endif
