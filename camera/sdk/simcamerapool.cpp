#include "camera/sdk/simcamerapool.h"

#include <chrono>
#include <cstdio>
#include <cstring>

namespace camsdk {

namespace {

Sdk *gSdks[6] = {};

}  // namespace

const char *VendorName(Vendor vendor)
{
    switch (vendor) {
    case Vendor::Daheng: return "Daheng";
    case Vendor::UEye: return "uEye";
    case Vendor::MindVision: return "MindVision";
    case Vendor::Hikvision: return "Hikvision";
    case Vendor::Imv: return "IMV";
    case Vendor::Dvp: return "DVP";
    }
    return "?";
}

std::string ValueText(const Value &value)
{
    if (const auto *i = std::get_if<int64_t>(&value))
        return std::to_string(*i);
    if (const auto *d = std::get_if<double>(&value)) {
        char text[64];
        std::snprintf(text, sizeof text, "%.9g", *d);
        return text;
    }
    if (const auto *b = std::get_if<bool>(&value))
        return *b ? "true" : "false";
    return std::get<std::string>(value);
}

Sdk *SdkFor(Vendor vendor) { return gSdks[static_cast<int>(vendor)]; }
void SetSdk(Vendor vendor, Sdk *sdk) { gSdks[static_cast<int>(vendor)] = sdk; }

Delivery DefaultDelivery(Vendor vendor)
{
    switch (vendor) {
    case Vendor::UEye: return Delivery::Memory;
    case Vendor::Hikvision:
    case Vendor::Imv:
    case Vendor::Dvp: return Delivery::Callback;
    default: return Delivery::Polled;
    }
}

SimCameraPool::SimCameraPool(Vendor vendor) : SimCameraPool(vendor, DefaultDelivery(vendor)) {}

SimCameraPool::SimCameraPool(Vendor vendor, Delivery delivery) : m_vendor(vendor), m_delivery(delivery)
{
    m_devices.reserve(16);
}

SimCameraPool::~SimCameraPool() = default;

int SimCameraPool::addDevice(const DeviceInfo &info)
{
    std::lock_guard lock(m_mutex);
    Device device;
    device.info = info;
    m_devices.push_back(std::move(device));
    return static_cast<int>(m_devices.size()) - 1;
}

int SimCameraPool::deviceCount() const
{
    std::lock_guard lock(m_mutex);
    return static_cast<int>(m_devices.size());
}

DeviceInfo SimCameraPool::info(int slot) const
{
    std::lock_guard lock(m_mutex);
    return m_devices.at(slot).info;
}

void SimCameraPool::setInfo(int slot, const DeviceInfo &info)
{
    std::lock_guard lock(m_mutex);
    m_devices.at(slot).info = info;
}

void SimCameraPool::setRange(int slot, const std::string &feature, double minimum, double maximum)
{
    std::lock_guard lock(m_mutex);
    m_devices.at(slot).ranges[feature] = {minimum, maximum};
}

void SimCameraPool::setValue(int slot, const std::string &feature, const Value &value)
{
    std::lock_guard lock(m_mutex);
    m_devices.at(slot).values[feature] = value;
}

bool SimCameraPool::value(int slot, const std::string &feature, Value *value) const
{
    std::lock_guard lock(m_mutex);
    const auto &values = m_devices.at(slot).values;
    const auto it = values.find(feature);
    if (it == values.end())
        return false;
    *value = it->second;
    return true;
}

int64_t SimCameraPool::intValue(int slot, const std::string &feature) const
{
    Value v;
    if (!value(slot, feature, &v))
        return 0;
    if (const auto *i = std::get_if<int64_t>(&v))
        return *i;
    if (const auto *d = std::get_if<double>(&v))
        return static_cast<int64_t>(*d);
    if (const auto *b = std::get_if<bool>(&v))
        return *b ? 1 : 0;
    return 0;
}

double SimCameraPool::doubleValue(int slot, const std::string &feature) const
{
    Value v;
    if (!value(slot, feature, &v))
        return 0;
    if (const auto *d = std::get_if<double>(&v))
        return *d;
    return static_cast<double>(intValue(slot, feature));
}

std::string SimCameraPool::textValue(int slot, const std::string &feature) const
{
    Value v;
    return value(slot, feature, &v) ? ValueText(v) : std::string();
}

void SimCameraPool::setFailure(int slot, const std::string &what, int code)
{
    std::lock_guard lock(m_mutex);
    auto &failures = slot < 0 ? m_poolFailures : m_devices.at(slot).failures;
    if (code == 0)
        failures.erase(what);
    else
        failures[what] = code;
}

void SimCameraPool::unplug(int slot)
{
    EventCallback event;
    {
        std::lock_guard lock(m_mutex);
        Device &device = m_devices.at(slot);
        if (!device.plugged)
            return;
        device.plugged = false;
        device.streaming = false;
        device.fresh = false;
        event = device.open ? device.eventCallback : EventCallback();
    }
    m_frameArrived.notify_all();
    // The vendors' disconnect reports: MindVision's connection state 0, Hikvision's exception 0x8001.
    if (event)
        event(m_vendor == Vendor::Hikvision ? 0x8001 : 0);
}

void SimCameraPool::replug(int slot)
{
    std::lock_guard lock(m_mutex);
    Device &device = m_devices.at(slot);
    device.plugged = true;
    device.open = false;
    device.streaming = false;
    device.frameCallback = nullptr;
    device.eventCallback = nullptr;
}

bool SimCameraPool::plugged(int slot) const
{
    std::lock_guard lock(m_mutex);
    return m_devices.at(slot).plugged;
}

bool SimCameraPool::isOpen(int slot) const
{
    std::lock_guard lock(m_mutex);
    return m_devices.at(slot).open;
}

bool SimCameraPool::streaming(int slot) const
{
    std::lock_guard lock(m_mutex);
    return m_devices.at(slot).streaming;
}

bool SimCameraPool::pushFrame(int slot, const uint8_t *data, int width, int height, int channels, int status)
{
    std::lock_guard gate(m_callbackGate);
    FrameCallback callback;
    FrameView view{data, width, height, channels, static_cast<std::size_t>(width) * height * channels, status};
    {
        std::lock_guard lock(m_mutex);
        Device &device = m_devices.at(slot);
        if (!device.plugged || !device.open || !device.streaming)
            return false;
        if (m_delivery == Delivery::Callback) {
            callback = device.frameCallback;
        } else {
            // Kept in the device's own buffer; it only grows when the frame size grows.
            if (device.pending.size() < view.length)
                device.pending.resize(view.length);
            std::memcpy(device.pending.data(), data, view.length);
            view.data = device.pending.data();
            device.pendingView = view;
            device.fresh = true;
        }
    }
    if (callback)
        callback(view);
    else
        m_frameArrived.notify_all();
    return true;
}

bool SimCameraPool::externallyTriggered(int slot) const
{
    switch (m_vendor) {
    case Vendor::MindVision: return intValue(slot, "TriggerMode") == 2;
    case Vendor::Hikvision: return intValue(slot, "TriggerMode") == 1;
    case Vendor::Imv: return textValue(slot, "TriggerMode") == "On";
    case Vendor::Dvp: return intValue(slot, "TriggerState") != 0;
    default: return false;
    }
}

std::vector<std::string> SimCameraPool::calls() const
{
    std::lock_guard lock(m_mutex);
    return m_calls;
}

void SimCameraPool::clearCalls()
{
    std::lock_guard lock(m_mutex);
    m_calls.clear();
}

std::vector<std::string> SimCameraPool::callsStartingWith(const std::string &prefix) const
{
    std::vector<std::string> found;
    for (const std::string &line : calls())
        if (line.compare(0, prefix.size(), prefix) == 0)
            found.push_back(line);
    return found;
}

SimCameraPool::Device *SimCameraPool::deviceLocked(Handle handle)
{
    if (handle < 0 || handle >= static_cast<int>(m_devices.size()))
        return nullptr;
    return &m_devices[handle];
}

int SimCameraPool::failureLocked(Device &device, const std::string &what)
{
    const auto it = device.failures.find(what);
    return it == device.failures.end() ? Ok : it->second;
}

void SimCameraPool::recordLocked(std::string line) { m_calls.push_back(std::move(line)); }

int SimCameraPool::init()
{
    std::lock_guard lock(m_mutex);
    recordLocked("init");
    const auto it = m_poolFailures.find("init");
    return it == m_poolFailures.end() ? Ok : it->second;
}

int SimCameraPool::enumerate(std::vector<DeviceInfo> *devices)
{
    std::lock_guard lock(m_mutex);
    recordLocked("enumerate");
    const auto it = m_poolFailures.find("enumerate");
    if (it != m_poolFailures.end())
        return it->second;
    devices->clear();
    for (const Device &device : m_devices)
        if (device.plugged)
            devices->push_back(device.info);
    return Ok;
}

int SimCameraPool::openLocked(int slot, Handle *handle, const std::string &how)
{
    recordLocked("open " + std::to_string(slot) + how);
    Device &device = m_devices[slot];
    if (const int failure = failureLocked(device, "open"))
        return failure;
    if (device.open)
        return ErrBusy;
    device.open = true;
    device.streaming = false;
    device.fresh = false;
    *handle = slot;
    return Ok;
}

int SimCameraPool::open(int index, Handle *handle)
{
    std::lock_guard lock(m_mutex);
    *handle = -1;
    int seen = 0;
    for (int slot = 0; slot < static_cast<int>(m_devices.size()); ++slot) {
        if (!m_devices[slot].plugged)
            continue;
        if (seen++ == index)
            return openLocked(slot, handle, "");
    }
    recordLocked("open index " + std::to_string(index) + " missing");
    return ErrNotFound;
}

int SimCameraPool::openBy(OpenBy by, const std::string &what, Handle *handle)
{
    std::lock_guard lock(m_mutex);
    *handle = -1;
    static const char *const names[] = {" serial=", " key=", " name="};
    for (int slot = 0; slot < static_cast<int>(m_devices.size()); ++slot) {
        const Device &device = m_devices[slot];
        if (!device.plugged)
            continue;
        const std::string &id = by == OpenBy::Serial ? device.info.serial : device.info.key;
        if (id == what)
            return openLocked(slot, handle, names[static_cast<int>(by)] + what);
    }
    recordLocked(std::string("open missing") + names[static_cast<int>(by)] + what);
    return ErrNotFound;
}

int SimCameraPool::close(Handle handle)
{
    {
        std::lock_guard lock(m_mutex);
        Device *device = deviceLocked(handle);
        if (!device)
            return ErrInvalid;
        recordLocked("close " + std::to_string(handle));
        const bool wasOpen = device->open;
        device->open = false;
        device->streaming = false;
        device->fresh = false;
        device->frameCallback = nullptr;
        device->eventCallback = nullptr;
        if (!wasOpen)
            return ErrInvalid;
    }
    m_frameArrived.notify_all();
    std::lock_guard gate(m_callbackGate);  // a callback still running ends before the close returns
    return Ok;
}

int SimCameraPool::set(Handle handle, const std::string &feature, const Value &value)
{
    std::lock_guard lock(m_mutex);
    Device *device = deviceLocked(handle);
    if (!device)
        return ErrInvalid;
    recordLocked("set " + std::to_string(handle) + " " + feature + "=" + ValueText(value));
    if (!device->plugged || !device->open)
        return ErrGone;
    if (const int failure = failureLocked(*device, "set " + feature))
        return failure;
    device->values[feature] = value;
    return Ok;
}

int SimCameraPool::get(Handle handle, const std::string &feature, Value *value)
{
    std::lock_guard lock(m_mutex);
    Device *device = deviceLocked(handle);
    if (!device)
        return ErrInvalid;
    recordLocked("get " + std::to_string(handle) + " " + feature);
    if (!device->plugged || !device->open)
        return ErrGone;
    if (const int failure = failureLocked(*device, "get " + feature))
        return failure;
    const auto it = device->values.find(feature);
    if (it != device->values.end()) {
        *value = it->second;
        return Ok;
    }
    // What every camera can tell about itself.
    const DeviceInfo &info = device->info;
    if (feature == "DeviceSerialNumber")
        *value = info.serial;
    else if (feature == "DeviceKey")
        *value = info.key;
    else if (feature == "DeviceModelName")
        *value = info.model;
    else if (feature == "WidthMax" || feature == "Width" || feature == "0x100003EE")
        *value = static_cast<int64_t>(info.sensorWidth);
    else if (feature == "HeightMax" || feature == "Height" || feature == "0x100003EF")
        *value = static_cast<int64_t>(info.sensorHeight);
    else if (feature == "SensorColor")
        *value = info.color;
    else if (feature == "StreamState")
        *value = static_cast<int64_t>(device->streaming ? 2 : 0);
    else
        return ErrNotFound;
    return Ok;
}

int SimCameraPool::range(Handle handle, const std::string &feature, double *minimum, double *maximum)
{
    std::lock_guard lock(m_mutex);
    Device *device = deviceLocked(handle);
    if (!device)
        return ErrInvalid;
    recordLocked("range " + std::to_string(handle) + " " + feature);
    if (!device->plugged || !device->open)
        return ErrGone;
    if (const int failure = failureLocked(*device, "range " + feature))
        return failure;
    const auto it = device->ranges.find(feature);
    if (it == device->ranges.end())
        return ErrNotFound;
    *minimum = it->second.first;
    *maximum = it->second.second;
    return Ok;
}

int SimCameraPool::execute(Handle handle, const std::string &command)
{
    std::lock_guard lock(m_mutex);
    Device *device = deviceLocked(handle);
    if (!device)
        return ErrInvalid;
    recordLocked("execute " + std::to_string(handle) + " " + command);
    if (!device->plugged || !device->open)
        return ErrGone;
    if (const int failure = failureLocked(*device, "execute " + command))
        return failure;
    // Galaxy cameras start and stop acquiring by command.
    if (m_vendor == Vendor::Daheng && command == "0x70000BB9")
        device->streaming = true;
    else if (m_vendor == Vendor::Daheng && command == "0x70000BBA")
        device->streaming = false;
    return Ok;
}

int SimCameraPool::startStream(Handle handle)
{
    std::lock_guard lock(m_mutex);
    Device *device = deviceLocked(handle);
    if (!device)
        return ErrInvalid;
    recordLocked("start " + std::to_string(handle));
    if (!device->plugged || !device->open)
        return ErrGone;
    if (const int failure = failureLocked(*device, "startStream"))
        return failure;
    device->streaming = true;
    return Ok;
}

int SimCameraPool::stopStream(Handle handle)
{
    {
        std::lock_guard lock(m_mutex);
        Device *device = deviceLocked(handle);
        if (!device)
            return ErrInvalid;
        recordLocked("stop " + std::to_string(handle));
        if (!device->plugged || !device->open)
            return ErrGone;
        device->streaming = false;
    }
    m_frameArrived.notify_all();
    return Ok;
}

int SimCameraPool::grab(Handle handle, int timeoutMs, FrameView *frame)
{
    std::unique_lock lock(m_mutex);
    Device *device = deviceLocked(handle);
    if (!device)
        return ErrInvalid;
    if (m_delivery == Delivery::Memory) {
        // The image memory: whatever the camera wrote last, new or not.
        if (!device->plugged || !device->open)
            return ErrGone;
        if (device->pendingView.data == nullptr)
            return ErrNotFound;
        // Handed out as a copy so that a camera writing meanwhile never tears the reader's bytes.
        if (device->grabbed.size() < device->pendingView.length)
            device->grabbed.resize(device->pendingView.length);
        std::memcpy(device->grabbed.data(), device->pendingView.data, device->pendingView.length);
        device->grabbedView = device->pendingView;
        device->grabbedView.data = device->grabbed.data();
        *frame = device->grabbedView;
        return Ok;
    }
    const bool arrived = m_frameArrived.wait_for(lock, std::chrono::milliseconds(timeoutMs), [device] {
        return device->fresh || !device->plugged || !device->open || !device->streaming;
    });
    if (!device->plugged)
        return ErrGone;
    if (!arrived || !device->fresh)
        return ErrTimeout;
    std::swap(device->pending, device->grabbed);
    device->grabbedView = device->pendingView;
    device->grabbedView.data = device->grabbed.data();
    device->pendingView.data = nullptr;
    device->fresh = false;
    *frame = device->grabbedView;
    return Ok;
}

int SimCameraPool::releaseFrame(Handle handle)
{
    std::lock_guard lock(m_mutex);
    return deviceLocked(handle) ? Ok : ErrInvalid;
}

int SimCameraPool::setFrameCallback(Handle handle, FrameCallback callback)
{
    std::lock_guard lock(m_mutex);
    Device *device = deviceLocked(handle);
    if (!device)
        return ErrInvalid;
    recordLocked("frameCallback " + std::to_string(handle));
    device->frameCallback = std::move(callback);
    return Ok;
}

int SimCameraPool::setEventCallback(Handle handle, EventCallback callback)
{
    std::lock_guard lock(m_mutex);
    Device *device = deviceLocked(handle);
    if (!device)
        return ErrInvalid;
    recordLocked("eventCallback " + std::to_string(handle));
    device->eventCallback = std::move(callback);
    return Ok;
}

int SimCameraPool::forceIp(OpenBy by, const std::string &what, const std::string &ip, const std::string &mask,
                           const std::string &gateway)
{
    std::lock_guard lock(m_mutex);
    static const char *const names[] = {"serial=", "key=", "name="};
    recordLocked(std::string("forceIp ") + names[static_cast<int>(by)] + what + " " + ip + " " + mask + " " + gateway);
    for (Device &device : m_devices) {
        const std::string &id = by == OpenBy::Serial ? device.info.serial : device.info.key;
        if (!device.plugged || id != what)
            continue;
        if (const int failure = failureLocked(device, "forceIp"))
            return failure;
        device.info.ip = ip;
        device.info.mask = mask;
        device.info.gateway = gateway;
        device.info.ipConfig = "Valid";
        return Ok;
    }
    return ErrNotFound;
}

}  // namespace camsdk
