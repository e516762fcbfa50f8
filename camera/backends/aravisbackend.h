// Standard GenICam cameras (GigE Vision, USB3 Vision) through the Aravis library: enumeration,
// opening by serial number, exposure, gain and trigger, and a polled stream with a buffer pool.
// Without Aravis at build time the functions report nothing found.
#pragma once

#include "camera/camerabackend.h"

#include <memory>
#include <string>
#include <vector>

// True when the station was built with Aravis.
bool AravisBuilt();

// The Aravis interfaces looked at ("GigEVision", "USB3Vision", "Fake"). By default: MOULD_ARAVIS
// (comma separated) when set, else both camera interfaces in a panel build and none in the
// default build, whose developers' and CI's machines have no cameras to broadcast for.
void AravisUseInterfaces(const std::vector<std::string> &interfaces);
std::vector<std::string> AravisInterfaces();

struct AravisDevice
{
    std::string id;      // the library's device id, what it is opened by
    std::string serial;
    std::string model;
    std::string vendor;
    std::string protocol;
};
// The devices present now, in the library's order.
std::vector<AravisDevice> AravisEnumerate();

// The start-up probe: with at least one device, opens the first and sets gOW, gOH (sensor), the
// image size (its current region), gSensorColor, gCameraID and gFindCamera.
bool AravisProbe();

// The back-end of one position (code kCameraAravis).
std::unique_ptr<CameraBackend> MakeAravisBackend(int position, FrameSlot &slot);

// What the Aravis back-end offers beyond the common interface.
class AravisControl
{
public:
    virtual ~AravisControl() = default;
    // The station's soft trigger: the camera waits for software triggers, and one is sent.
    virtual void useSoftwareTrigger() = 0;
    virtual bool softTrigger() = 0;
    // Frames completed, and frames lost (incomplete, timed out, no free buffer) since opening.
    virtual long framesCompleted() const = 0;
    virtual long framesLost() const = 0;
    virtual std::string triggerSource() const = 0;  // "" in free run
};
