// Common ground of the vendor back-ends: the library handle and short forms of the seam's calls.
#pragma once

#include "camera/camerabackend.h"
#include "camera/sdk/camerasdk.h"

#include <cstdint>
#include <memory>
#include <string>

class SdkBackend : public CameraBackend
{
public:
    SdkBackend(int position, FrameSlot &slot, camsdk::Vendor vendor);

    bool isValidHandle() const override { return m_sdk && m_handle >= 0; }
    camsdk::Handle handle() const { return m_handle; }

protected:
    int setInt(const std::string &feature, int64_t value);
    int setFloat(const std::string &feature, double value);
    int setBool(const std::string &feature, bool value);
    int setText(const std::string &feature, const std::string &value);
    int command(const std::string &name);
    // Reads a number (0 on failure) or a text.
    int getNumber(const std::string &feature, double *value);
    std::string getText(const std::string &feature);
    bool range(const std::string &feature, double *minimum, double *maximum);
    // Sets `feature` to its range's minimum + value x span / steps; truncated for integer features.
    // Nothing is set when the range cannot be read.
    int setSteps(const std::string &feature, int value, int steps, bool integer, bool truncate);
    // Reads `feature` back as steps of its range; false when it cannot be read.
    bool readSteps(const std::string &feature, int steps, int *value);
    void closeHandle();

    camsdk::Sdk *m_sdk;
    camsdk::Handle m_handle = -1;
};

// One factory per vendor (each in its own source file).
std::unique_ptr<CameraBackend> MakeDahengBackend(int position, FrameSlot &slot);
std::unique_ptr<CameraBackend> MakeUEyeBackend(int position, FrameSlot &slot);
std::unique_ptr<CameraBackend> MakeMindVisionBackend(int position, FrameSlot &slot);
std::unique_ptr<CameraBackend> MakeHikvisionBackend(int position, FrameSlot &slot);
std::unique_ptr<CameraBackend> MakeImvBackend(int position, FrameSlot &slot);
std::unique_ptr<CameraBackend> MakeDvpBackend(int position, FrameSlot &slot);
std::unique_ptr<CameraBackend> MakeV4l2Backend(int position, FrameSlot &slot);

// A number held in a feature value (integers, floats and switches).
double NumberOf(const camsdk::Value &value);

// Gray to 4-byte pixels (B = G = R = gray, 255), for colour output from a mono stream.
void GrayToRgba(uint8_t *dst, const uint8_t *src, int width, int height);
// RGB to gray (integer BT.601 weights), for mono output from a colour stream.
void RgbToGray(uint8_t *dst, const uint8_t *src, int width, int height);
