// The camera-SDK seam: the one small interface every vendor back-end talks to a camera library through.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <variant>
#include <vector>

namespace camsdk {

// The vendor libraries the station knows. A real SDK plugs in by implementing Sdk for its vendor.
enum class Vendor { Daheng, UEye, MindVision, Hikvision, Imv, Dvp };
const char *VendorName(Vendor vendor);

// Result codes: 0 is success, as in every vendor library.
enum Status : int {
    Ok = 0,
    ErrNotFound = -1,   // no such device, feature or frame
    ErrBusy = -2,       // device already open
    ErrTimeout = -3,    // no frame within the wait
    ErrGone = -4,       // device unplugged
    ErrInvalid = -5,    // bad handle or argument
};

using Handle = int;  // -1 is no handle

// One entry of a device list, as the enumeration returns it.
struct DeviceInfo
{
    std::string serial;            // serial number (uEye, MindVision, Daheng content, Hikvision GigE)
    std::string key;               // camera key (IMV) or friendly name (DVP)
    std::string model;             // model name (Hikvision: a trailing 'M' is a mono sensor)
    std::string manufacturerInfo;  // IMV: "Machine Vision" for the station's cameras
    bool gige = true;              // Hikvision: GigE device (type 1), else USB
    int sensorWidth = 0;
    int sensorHeight = 0;
    bool color = false;
    // GigE devices: the address the device holds now and the host interface the library found it
    // on (address, mask, gateway), as dotted texts; empty for USB devices.
    std::string ip;
    std::string mask;
    std::string gateway;
    std::string hostIp;
    std::string hostMask;
    std::string hostGateway;
    std::string ipConfig = "Valid";  // IMV: "Valid" when the device's address suits its interface
    bool accessible = true;          // Hikvision: can be opened in exclusive mode now
};

// A feature value: integers, floats, switches and texts, as the vendor libraries have them.
using Value = std::variant<int64_t, double, bool, std::string>;
std::string ValueText(const Value &value);

// A frame as the library hands it out; the bytes stay valid until the next grab or release on the
// same handle (polled) or until the callback returns (callback delivery).
struct FrameView
{
    const uint8_t *data = nullptr;
    int width = 0;
    int height = 0;
    int channels = 1;  // 1 gray, 3 RGB
    std::size_t length = 0;
    int status = 0;    // 0 a complete frame
};

using FrameCallback = std::function<void(const FrameView &)>;
// Device events: MindVision connection state (0 = disconnected), Hikvision exception (0x8001).
using EventCallback = std::function<void(int code)>;

// How open() finds a device besides its enumeration index.
enum class OpenBy { Serial, Key, Name };

class Sdk
{
public:
    virtual ~Sdk() = default;
    virtual Vendor vendor() const = 0;

    // Library initialisation and the device list (present devices only, in enumeration order).
    virtual int init() = 0;
    virtual int enumerate(std::vector<DeviceInfo> *devices) = 0;

    // Opening by enumeration index (0-based) or by serial, key or name.
    virtual int open(int index, Handle *handle) = 0;
    virtual int openBy(OpenBy by, const std::string &what, Handle *handle) = 0;
    virtual int close(Handle handle) = 0;

    // Features and commands by their vendor name ("ExposureTime", "0x20000BC1", ...).
    virtual int set(Handle handle, const std::string &feature, const Value &value) = 0;
    virtual int get(Handle handle, const std::string &feature, Value *value) = 0;
    virtual int range(Handle handle, const std::string &feature, double *minimum, double *maximum) = 0;
    virtual int execute(Handle handle, const std::string &command) = 0;

    // Acquisition.
    virtual int startStream(Handle handle) = 0;
    virtual int stopStream(Handle handle) = 0;
    // Polled delivery: waits at most timeoutMs for a frame.
    virtual int grab(Handle handle, int timeoutMs, FrameView *frame) = 0;
    virtual int releaseFrame(Handle handle) = 0;
    // Callback delivery, on a thread of the library.
    virtual int setFrameCallback(Handle handle, FrameCallback callback) = 0;
    virtual int setEventCallback(Handle handle, EventCallback callback) = 0;

    // GigE force-IP of a device found by serial or key, without opening it (address, mask, gateway
    // as dotted texts). Libraries without it answer ErrNotFound.
    virtual int forceIp(OpenBy by, const std::string &what, const std::string &ip, const std::string &mask,
                        const std::string &gateway)
    {
        return ErrNotFound;
    }
};

// The library of each vendor in use; none is set on a machine without camera libraries.
Sdk *SdkFor(Vendor vendor);
void SetSdk(Vendor vendor, Sdk *sdk);  // borrowed: the owner keeps it alive while set

}  // namespace camsdk
