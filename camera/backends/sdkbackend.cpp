#include "camera/backends/sdkbackend.h"

#include "camera/backends/aravisbackend.h"
#include "core/globals.h"
#include "camera/cameraglobals.h"

#include <cmath>
#include <cstring>

double NumberOf(const camsdk::Value &value)
{
    if (const auto *i = std::get_if<int64_t>(&value))
        return static_cast<double>(*i);
    if (const auto *d = std::get_if<double>(&value))
        return *d;
    if (const auto *b = std::get_if<bool>(&value))
        return *b ? 1 : 0;
    return std::atof(std::get<std::string>(value).c_str());
}

void GrayToRgba(uint8_t *dst, const uint8_t *src, int width, int height)
{
    const std::size_t pixels = static_cast<std::size_t>(width) * height;
    for (std::size_t i = 0; i < pixels; ++i, dst += 4) {
        dst[0] = dst[1] = dst[2] = src[i];
        dst[3] = 255;
    }
}

void RgbToGray(uint8_t *dst, const uint8_t *src, int width, int height)
{
    const std::size_t pixels = static_cast<std::size_t>(width) * height;
    for (std::size_t i = 0; i < pixels; ++i, src += 3)
        dst[i] = static_cast<uint8_t>((src[0] * 77 + src[1] * 150 + src[2] * 29) >> 8);
}

bool SerialBinds(const char *serial, bool shortSerialsOnly)
{
    const std::size_t length = strnlen(serial, 100);
    if (length < 9)
        return false;
    return !(shortSerialsOnly && length > 19);
}

double StepsToCamera(int value, double minimum, double maximum, int steps)
{
    return minimum + value * (maximum - minimum) / steps;
}

int CameraToSteps(double cameraValue, double minimum, double maximum, int steps)
{
    const double step = (maximum - minimum) / steps;
    if (step == 0)
        return 0;
    return static_cast<int>(std::trunc((cameraValue - minimum) / step));
}

SdkBackend::SdkBackend(int position, FrameSlot &slot, camsdk::Vendor vendor)
    : CameraBackend(position, slot), m_sdk(camsdk::SdkFor(vendor))
{
}

int SdkBackend::setInt(const std::string &feature, int64_t value)
{
    return m_sdk->set(m_handle, feature, value);
}

int SdkBackend::setFloat(const std::string &feature, double value)
{
    return m_sdk->set(m_handle, feature, value);
}

int SdkBackend::setBool(const std::string &feature, bool value)
{
    return m_sdk->set(m_handle, feature, value);
}

int SdkBackend::setText(const std::string &feature, const std::string &value)
{
    return m_sdk->set(m_handle, feature, value);
}

int SdkBackend::command(const std::string &name) { return m_sdk->execute(m_handle, name); }

int SdkBackend::getNumber(const std::string &feature, double *value)
{
    camsdk::Value v;
    const int status = m_sdk->get(m_handle, feature, &v);
    *value = status == camsdk::Ok ? NumberOf(v) : 0;
    return status;
}

std::string SdkBackend::getText(const std::string &feature)
{
    camsdk::Value v;
    return m_sdk->get(m_handle, feature, &v) == camsdk::Ok ? camsdk::ValueText(v) : std::string();
}

bool SdkBackend::range(const std::string &feature, double *minimum, double *maximum)
{
    return m_sdk->range(m_handle, feature, minimum, maximum) == camsdk::Ok;
}

int SdkBackend::setSteps(const std::string &feature, int value, int steps, bool integer, bool truncate)
{
    double minimum = 0, maximum = 0;
    if (!range(feature, &minimum, &maximum))
        return camsdk::ErrNotFound;
    double cameraValue = StepsToCamera(value, minimum, maximum, steps);
    if (truncate)
        cameraValue = std::trunc(cameraValue);
    if (integer)
        return setInt(feature, static_cast<int64_t>(cameraValue));
    return setFloat(feature, cameraValue);
}

bool SdkBackend::readSteps(const std::string &feature, int steps, int *value)
{
    double minimum = 0, maximum = 0, cameraValue = 0;
    if (!range(feature, &minimum, &maximum) || getNumber(feature, &cameraValue) != camsdk::Ok)
        return false;
    *value = CameraToSteps(cameraValue, minimum, maximum, steps);
    return true;
}

void SdkBackend::closeHandle()
{
    if (m_sdk && m_handle >= 0)
        m_sdk->close(m_handle);
    m_handle = -1;
}

namespace {

// Code 0: positions count as open and never deliver.
class NoCameraBackend : public CameraBackend
{
public:
    using CameraBackend::CameraBackend;
    int code() const override { return kCameraNone; }
    bool open() override { return true; }
};

}  // namespace

std::unique_ptr<CameraBackend> MakeCameraBackend(int code, int position, FrameSlot &slot)
{
    switch (code) {
    case kCameraDaheng: return MakeDahengBackend(position, slot);
    case kCameraUEye: return MakeUEyeBackend(position, slot);
    case kCameraMindVision: return MakeMindVisionBackend(position, slot);
    case kCameraHikvision: return MakeHikvisionBackend(position, slot);
    case kCameraImv: return MakeImvBackend(position, slot);
    case kCameraV4l2: return MakeV4l2Backend(position, slot);
    case kCameraDvp: return MakeDvpBackend(position, slot);
    case kCameraAravis: return MakeAravisBackend(position, slot);
    default: return std::make_unique<NoCameraBackend>(position, slot);
    }
}
