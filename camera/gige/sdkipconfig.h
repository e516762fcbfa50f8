// GigE address repair through the camera libraries: Hikvision force-IP to a free address found by
// ping, and IMV force-IP with the camera's persistent address, handed out from gDHIPList.
#pragma once

#include "camera/gige/ipconfig.h"
#include "camera/sdk/camerasdk.h"

#include <functional>
#include <string>
#include <vector>

// Addresses already in use by IMV cameras or their interfaces, for the life of the process.
extern std::vector<std::string> gDHIPList;

// The camera interfaces (name, address, mask) devices may be re-addressed on; tests replace the
// source, which is SelectCameraInterfaces over this machine's interfaces.
std::vector<NetInterface> GetNetInfo();
void SetNetInfoSource(std::function<std::vector<NetInterface>()> source);  // empty: the machine's

std::string getStrIp(uint32_t hostOrder);      // 0xC0A80132 -> "192.168.1.50"
uint32_t getIntIp(const std::string &text);     // 0 when the text is no address
// Runs a host command through the system gateway and returns its standard output.
std::string execCommand(const std::vector<std::string> &argv);

// "ping <ip> -w 1": free when the answer holds no "ttl" (a ping that cannot run counts as free).
bool IsFreeIp(const std::string &ip);

// A free address around the interface `net` (address and mask), searched from host number `start`
// (start .. last, then start - 1 .. first, the interface's own address left out). Each candidate is
// printed; the first free one goes to *out.
bool bChooseNoUseIp(const NetInterface &net, int start, std::string *out,
                    const std::function<bool(const std::string &)> &isFree = IsFreeIp);

// Forces the address on a Hikvision device through its library; true on success.
bool DoForceIp(const camsdk::DeviceInfo &device, const std::string &ip, const std::string &mask, const std::string &gateway);

// Makes every Hikvision GigE device reachable from its host interface; returns the number of
// devices that stay unreachable. Only devices found on a camera interface are re-addressed.
int EnsureDeviceReach(const std::function<bool(const std::string &)> &isFree = IsFreeIp);

// The IMV automatic address of one device: 1 moved, 0 left as it was, else the library's error.
int autoSetCameraIP(const camsdk::DeviceInfo &device);

// Installs the three address-repair hooks of CameraHooks.
void InstallGigeAddressRepair();
