// The simulated device pool: a camera library of any vendor, with devices, features and frames that
// tests and simulated runs control, and a record of every call.
#pragma once

#include "camera/sdk/camerasdk.h"

#include <condition_variable>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace camsdk {

// How the pool hands frames out: grabbed by a thread of ours, read from an image memory whose
// content changes (uEye), or pushed to a callback on the pushing thread (Hikvision, IMV, DVP).
enum class Delivery { Polled, Memory, Callback };
Delivery DefaultDelivery(Vendor vendor);

class SimCameraPool : public Sdk
{
public:
    explicit SimCameraPool(Vendor vendor);
    SimCameraPool(Vendor vendor, Delivery delivery);
    ~SimCameraPool() override;

    // --- what a test or a simulated run controls ---

    // Adds a device (plugged in); returns its slot, which stays its handle for the pool's life.
    int addDevice(const DeviceInfo &info);
    int deviceCount() const;  // slots, plugged or not
    DeviceInfo info(int slot) const;
    void setInfo(int slot, const DeviceInfo &info);

    // Feature ranges and preset values, as the camera would report them.
    void setRange(int slot, const std::string &feature, double minimum, double maximum);
    void setValue(int slot, const std::string &feature, const Value &value);
    // The value a feature holds now; false when it was never set.
    bool value(int slot, const std::string &feature, Value *value) const;
    int64_t intValue(int slot, const std::string &feature) const;     // 0 when unset
    double doubleValue(int slot, const std::string &feature) const;   // also reads integers
    std::string textValue(int slot, const std::string &feature) const;

    // The next calls matching `what` fail with `code` ("open", "startStream", "set ExposureTime",
    // "get Height", "enumerate", ...); code 0 removes the failure.
    void setFailure(int slot, const std::string &what, int code);

    // Unplugging drops the device from the list, ends its streaming and reports the disconnect to
    // its event callback; replugging lists it again, closed.
    void unplug(int slot);
    void replug(int slot);
    bool plugged(int slot) const;
    bool isOpen(int slot) const;
    bool streaming(int slot) const;

    // A new frame from the sensor (gray or RGB). Polled and memory delivery keep it for the next
    // grab; callback delivery calls the callback on this thread while the device is streaming.
    // Returns false when the device is not streaming (nothing delivered).
    bool pushFrame(int slot, const uint8_t *data, int width, int height, int channels, int status = 0);
    // True when the device waits for a hardware trigger (the vendor's trigger feature is set).
    bool externallyTriggered(int slot) const;

    // Every call with its values, in order, one line each: "open 0", "set 0 ExposureTime=5000".
    // Grabs and frame releases are not recorded (the camera thread polls every 10 ms).
    std::vector<std::string> calls() const;
    void clearCalls();
    // The recorded lines that start with `prefix`.
    std::vector<std::string> callsStartingWith(const std::string &prefix) const;

    // --- the library ---
    Vendor vendor() const override { return m_vendor; }
    int init() override;
    int enumerate(std::vector<DeviceInfo> *devices) override;
    int open(int index, Handle *handle) override;
    int openBy(OpenBy by, const std::string &what, Handle *handle) override;
    int close(Handle handle) override;  // waits for a running frame callback; never call it from one
    int set(Handle handle, const std::string &feature, const Value &value) override;
    int get(Handle handle, const std::string &feature, Value *value) override;
    int range(Handle handle, const std::string &feature, double *minimum, double *maximum) override;
    int execute(Handle handle, const std::string &command) override;
    int startStream(Handle handle) override;
    int stopStream(Handle handle) override;
    int grab(Handle handle, int timeoutMs, FrameView *frame) override;
    int releaseFrame(Handle handle) override;
    int setFrameCallback(Handle handle, FrameCallback callback) override;
    int setEventCallback(Handle handle, EventCallback callback) override;
    // Moves the device (recorded as "forceIp serial=X ip mask gateway"); its IP configuration then
    // reads "Valid". A failure set for "forceIp" answers that code.
    int forceIp(OpenBy by, const std::string &what, const std::string &ip, const std::string &mask,
                const std::string &gateway) override;

private:
    struct Device
    {
        DeviceInfo info;
        bool plugged = true;
        bool open = false;
        bool streaming = false;
        std::map<std::string, Value> values;
        std::map<std::string, std::pair<double, double>> ranges;
        std::map<std::string, int> failures;
        std::vector<uint8_t> pending;  // newest frame not yet grabbed
        std::vector<uint8_t> grabbed;  // the frame handed out by the last grab
        FrameView pendingView;
        FrameView grabbedView;
        bool fresh = false;
        FrameCallback frameCallback;
        EventCallback eventCallback;
    };

    Device *deviceLocked(Handle handle);
    int failureLocked(Device &device, const std::string &what);
    void recordLocked(std::string line);
    int openLocked(int slot, Handle *handle, const std::string &how);

    const Vendor m_vendor;
    const Delivery m_delivery;
    mutable std::mutex m_mutex;
    // Held while a frame callback runs; close() passes through it so that no callback is still
    // running into a camera that has been closed (and may be destroyed next).
    std::mutex m_callbackGate;
    std::condition_variable m_frameArrived;
    std::vector<Device> m_devices;
    std::vector<std::string> m_calls;
    std::map<std::string, int> m_poolFailures;  // failures of calls without a device (enumerate)
};

}  // namespace camsdk
