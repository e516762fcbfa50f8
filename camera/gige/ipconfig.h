// GigE address repair of the station's own GVCP client: the camera interfaces, discovery on all of
// them, the ARP probe of a candidate address and the re-addressing of unreachable cameras.
#pragma once

#include "camera/gige/gevdiscovery.h"
#include "camera/gige/gvcp.h"

#include <memory>
#include <string>
#include <vector>

// One IPv4 address of a local interface.
struct NetInterface
{
    std::string name;
    gvcp::Mac mac{};
    gvcp::Ip4 ip{};
    gvcp::Ip4 mask{};
    bool up = false;
    bool broadcast = false;  // broadcast-capable
    bool loopback = false;
};

// Every IPv4 address of the machine's interfaces (getifaddrs), with the interface's MAC address.
std::vector<NetInterface> LocalInterfaces();
// Interfaces holding a default route (/proc/net/route).
std::vector<std::string> DefaultRouteInterfaces();
// Interfaces named in MOULD_GIGE_INTERFACES (comma separated); empty when unset.
std::vector<std::string> ConfiguredCameraInterfaces();

// The interfaces cameras are looked for on, at most 32: never loopback, only interfaces that are up
// and broadcast-capable, addresses whose first byte is neither 0 nor 255 and not 224.0.0.1. When
// interfaces are configured only those; otherwise, in a panel build, every such interface except
// those holding the default route (the plant network), and in the default build none, so that a
// developer's or CI's machine never re-addresses a camera of another machine.
std::vector<NetInterface> SelectCameraInterfaces(const std::vector<NetInterface> &all,
                                                 const std::vector<std::string> &defaultRoute,
                                                 const std::vector<std::string> &configured, bool panelBuild);

// Discovery on every camera interface, with the manufacturer filter "F622".
class CIpConfig
{
public:
    static constexpr int kMaxInterfaces = 32;
    static constexpr int kMaxDevices = 8000;

    struct Device
    {
        gvcp::DeviceAck ack;
        int interfaceIndex = 0;
    };

    // The camera interfaces of this machine (SelectCameraInterfaces).
    CIpConfig();
    explicit CIpConfig(std::vector<NetInterface> interfaces);

    const std::vector<NetInterface> &interfaces() const { return m_interfaces; }
    // Clears every table, broadcasts one discovery per interface, waits 200 ms and collects.
    void Refresh();
    const std::vector<Device> &devices() const { return m_devices; }

private:
    std::vector<NetInterface> m_interfaces;
    std::vector<std::unique_ptr<CGevDiscovery>> m_discovery;
    std::vector<Device> m_devices;
};

// ARP probe of `candidate` through the named interface: 1 nobody answered within 1 s, 0 the address
// is in use (or the request could not be sent), -1 no raw socket.
int arpping(const gvcp::Ip4 &candidate, const gvcp::Ip4 &ownIp, const gvcp::Mac &ownMac, const std::string &interfaceName);

// Moves one device to a free address of the interface's subnet; true when the camera acknowledged.
bool AutoSetIpAddr(const CIpConfig::Device &device, const NetInterface &interface);

// Discovers the cameras on every camera interface and re-addresses each one that the interface
// cannot reach. Returns the number of cameras given a new address.
int RepairAllCameraIP();
