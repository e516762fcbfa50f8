#include "camera/gige/sdkipconfig.h"

#include "core/systemgateway.h"
#include "camera/cameraglobals.h"

#include <QByteArray>
#include <QStringList>
#include <algorithm>
#include <cstdio>

std::vector<std::string> gDHIPList;

namespace {

std::function<std::vector<NetInterface>()> &netInfoSource()
{
    static std::function<std::vector<NetInterface>()> source;
    return source;
}

const NetInterface *interfaceWithIp(const std::vector<NetInterface> &interfaces, const std::string &ip)
{
    for (const NetInterface &interface : interfaces)
        if (gvcp::Text(interface.ip) == ip)
            return &interface;
    return nullptr;
}

void addOnce(const std::string &ip)
{
    if (std::find(gDHIPList.begin(), gDHIPList.end(), ip) == gDHIPList.end())
        gDHIPList.push_back(ip);
}

}  // namespace

std::vector<NetInterface> GetNetInfo()
{
    if (netInfoSource())
        return netInfoSource()();
    return SelectCameraInterfaces(LocalInterfaces(), DefaultRouteInterfaces(), ConfiguredCameraInterfaces(),
                                  SystemGateway::isPanelBuild());
}

void SetNetInfoSource(std::function<std::vector<NetInterface>()> source) { netInfoSource() = std::move(source); }

std::string getStrIp(uint32_t hostOrder) { return gvcp::Text(gvcp::FromHost(hostOrder)); }

uint32_t getIntIp(const std::string &text)
{
    gvcp::Ip4 ip;
    return gvcp::Parse(text, &ip) ? gvcp::ToHost(ip) : 0;
}

std::string execCommand(const std::vector<std::string> &argv)
{
    QStringList command;
    for (const std::string &arg : argv)
        command << QString::fromStdString(arg);
    QByteArray output;
    SystemGateway::run(command, &output);
    return output.toStdString();
}

bool IsFreeIp(const std::string &ip)
{
    return execCommand({"ping", ip, "-w", "1"}).find("ttl") == std::string::npos;
}

bool bChooseNoUseIp(const NetInterface &net, int start, std::string *out, const std::function<bool(const std::string &)> &isFree)
{
    for (const gvcp::Ip4 &candidate : gvcp::SearchOrder(net.ip, net.mask, start)) {
        const std::string text = gvcp::Text(candidate);
        const bool free = isFree(text);
        std::printf("nSetDeviceIp: %s, bFreeIp: %d\n", text.c_str(), free ? 1 : 0);
        if (free) {
            *out = text;
            return true;
        }
    }
    return false;
}

bool DoForceIp(const camsdk::DeviceInfo &device, const std::string &ip, const std::string &mask, const std::string &gateway)
{
    camsdk::Sdk *sdk = camsdk::SdkFor(camsdk::Vendor::Hikvision);
    if (!sdk) {
        std::printf("1 MV_CC_CreateHandle fail! nRet [%x]\n", static_cast<unsigned>(camsdk::ErrNotFound));
        return false;
    }
    const int status = sdk->forceIp(camsdk::OpenBy::Serial, device.serial, ip, mask, gateway);
    if (status != camsdk::Ok) {
        std::printf("1 MV_GIGE_ForceIpEx fail! nRet [%x]\n", static_cast<unsigned>(status));
        return false;
    }
    return true;
}

int EnsureDeviceReach(const std::function<bool(const std::string &)> &isFree)
{
    camsdk::Sdk *sdk = camsdk::SdkFor(camsdk::Vendor::Hikvision);
    std::vector<camsdk::DeviceInfo> devices;
    if (!sdk || sdk->enumerate(&devices) != camsdk::Ok)
        return 0;
    const std::vector<NetInterface> interfaces = GetNetInfo();
    int gige = 0, reachable = 0;
    for (const camsdk::DeviceInfo &device : devices) {
        if (!device.gige)
            continue;
        ++gige;
        gvcp::Ip4 deviceIp{}, deviceMask{}, hostIp{};
        gvcp::Parse(device.ip, &deviceIp);
        gvcp::Parse(device.mask, &deviceMask);
        gvcp::Parse(device.hostIp, &hostIp);
        const NetInterface *interface = interfaceWithIp(interfaces, device.hostIp);
        const gvcp::Ip4 mask = interface ? interface->mask : deviceMask;
        const uint32_t m = gvcp::ToHost(mask);
        if ((gvcp::ToHost(hostIp) & m) == (gvcp::ToHost(deviceIp) & m) && deviceIp != hostIp) {
            if (device.accessible)
                ++reachable;
            continue;
        }
        // Only a camera on one of the station's camera interfaces is ever given another address.
        if (!interface)
            continue;
        std::string chosen;
        if (!bChooseNoUseIp(*interface, deviceIp[3], &chosen, isFree))
            continue;
        const gvcp::HostRange range = gvcp::HostsAround(interface->ip, interface->mask);
        const std::string gateway = getStrIp(range.base + static_cast<uint32_t>(range.last));
        if (DoForceIp(device, chosen, gvcp::Text(interface->mask), gateway))
            ++reachable;
    }
    return gige - reachable;
}

int autoSetCameraIP(const camsdk::DeviceInfo &device)
{
    camsdk::Sdk *sdk = camsdk::SdkFor(camsdk::Vendor::Imv);
    if (!sdk)
        return camsdk::ErrNotFound;
    if (device.ipConfig == "Valid") {
        addOnce(device.hostIp);
        if (std::find(gDHIPList.begin(), gDHIPList.end(), device.ip) == gDHIPList.end()) {
            gDHIPList.push_back(device.ip);
            return 0;
        }
        std::printf("have same IP\n");
    }
    const std::vector<NetInterface> interfaces = GetNetInfo();
    const NetInterface *interface = interfaceWithIp(interfaces, device.hostIp);
    if (!interface)
        return 0;  // not on a camera interface: never re-addressed
    addOnce(device.hostIp);
    CameraHooks::sleepMs(100);
    gvcp::Ip4 chosen{};
    if (!gvcp::ImvAddress(interface->ip, interface->mask, gDHIPList, &chosen)) {
        std::printf("No free device ip address on %s\n", device.hostIp.c_str());
        return camsdk::ErrNotFound;
    }
    const std::string newIp = gvcp::Text(chosen);
    gDHIPList.push_back(newIp);
    std::printf("New device ip address:[%s]\n", newIp.c_str());
    const std::string mask = device.hostMask.empty() ? gvcp::Text(interface->mask) : device.hostMask;
    int status = sdk->forceIp(camsdk::OpenBy::Key, device.key, newIp, mask, device.hostGateway);
    if (status != camsdk::Ok) {
        std::printf("Set device ip failed! ErrorCode[%d]\n", status);
        return status;
    }
    std::vector<camsdk::DeviceInfo> now;
    status = sdk->enumerate(&now);
    const auto found = std::find_if(now.begin(), now.end(), [&](const camsdk::DeviceInfo &d) { return d.key == device.key; });
    if (status != camsdk::Ok || found == now.end()) {
        std::printf("Get device info failed! ErrorCode[%d]\n", status != camsdk::Ok ? status : int(camsdk::ErrNotFound));
        return status != camsdk::Ok ? status : int(camsdk::ErrNotFound);
    }
    std::printf("Device ip address (after):[%s]\n", found->ip.c_str());
    camsdk::Handle handle = -1;
    status = sdk->openBy(camsdk::OpenBy::Key, device.key, &handle);
    if (status != camsdk::Ok) {
        std::printf("Open camera failed! ErrorCode[%d]\n", status);
        return status;
    }
    const std::pair<const char *, camsdk::Value> persistent[] = {
        {"GevCurrentIPConfigurationPersistentIP", true},
        {"GevPersistentIPAddress", found->ip},
        {"GevPersistentSubnetMask", found->mask},
        {"GevPersistentDefaultGateway", found->gateway},
    };
    for (const auto &[feature, value] : persistent) {
        status = sdk->set(handle, feature, value);
        if (status != camsdk::Ok) {
            std::printf("Set %s failed! ErrorCode[%d]\n", feature, status);
            sdk->close(handle);
            return status;
        }
    }
    sdk->close(handle);
    for (const std::string &ip : gDHIPList)
        std::printf("%s\n", ip.c_str());
    return 1;
}

void InstallGigeAddressRepair()
{
    CameraHooks::repairAllCameraIP = [] { return RepairAllCameraIP(); };
    CameraHooks::ensureDeviceReach = [] { return EnsureDeviceReach(); };
    CameraHooks::autoSetCameraIP = [](const camsdk::DeviceInfo &device) { return autoSetCameraIP(device); };
}
