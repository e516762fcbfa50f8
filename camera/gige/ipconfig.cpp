#include "camera/gige/ipconfig.h"

#include "core/systemgateway.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <linux/if_packet.h>
#include <net/ethernet.h>
#include <net/if.h>
#include <net/if_arp.h>
#include <netinet/if_ether.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QtGlobal>
#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <thread>

namespace {

gvcp::Ip4 ipOf(const sockaddr *address)
{
    gvcp::Ip4 ip{};
    if (address && address->sa_family == AF_INET)
        std::memcpy(ip.data(), &reinterpret_cast<const sockaddr_in *>(address)->sin_addr, 4);
    return ip;
}

gvcp::Mac macOf(const std::string &name)
{
    gvcp::Mac mac{};
    const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
    if (fd < 0)
        return mac;
    ifreq request{};
    std::strncpy(request.ifr_name, name.c_str(), IFNAMSIZ - 1);
    if (::ioctl(fd, SIOCGIFHWADDR, &request) == 0)
        std::memcpy(mac.data(), request.ifr_hwaddr.sa_data, 6);
    ::close(fd);
    return mac;
}

bool contains(const std::vector<std::string> &names, const std::string &name)
{
    return std::find(names.begin(), names.end(), name) != names.end();
}

}  // namespace

std::vector<NetInterface> LocalInterfaces()
{
    std::vector<NetInterface> found;
    ifaddrs *list = nullptr;
    if (::getifaddrs(&list) != 0)
        return found;
    for (const ifaddrs *entry = list; entry; entry = entry->ifa_next) {
        if (!entry->ifa_addr || entry->ifa_addr->sa_family != AF_INET)
            continue;
        NetInterface interface;
        interface.name = entry->ifa_name;
        interface.ip = ipOf(entry->ifa_addr);
        interface.mask = ipOf(entry->ifa_netmask);
        interface.up = entry->ifa_flags & IFF_UP;
        interface.broadcast = entry->ifa_flags & IFF_BROADCAST;
        interface.loopback = entry->ifa_flags & IFF_LOOPBACK;
        interface.mac = macOf(interface.name);
        found.push_back(interface);
    }
    ::freeifaddrs(list);
    return found;
}

std::vector<std::string> DefaultRouteInterfaces()
{
    std::vector<std::string> names;
    std::ifstream routes("/proc/net/route");
    std::string line;
    std::getline(routes, line);  // header
    while (std::getline(routes, line)) {
        std::istringstream fields(line);
        std::string name, destination;
        if (fields >> name >> destination && destination == "00000000" && !contains(names, name))
            names.push_back(name);
    }
    return names;
}

std::vector<std::string> ConfiguredCameraInterfaces()
{
    std::vector<std::string> names;
    std::istringstream list(qEnvironmentVariable("MOULD_GIGE_INTERFACES").toStdString());
    std::string name;
    while (std::getline(list, name, ','))
        if (!name.empty())
            names.push_back(name);
    return names;
}

std::vector<NetInterface> SelectCameraInterfaces(const std::vector<NetInterface> &all,
                                                 const std::vector<std::string> &defaultRoute,
                                                 const std::vector<std::string> &configured, bool panelBuild)
{
    std::vector<NetInterface> chosen;
    for (const NetInterface &interface : all) {
        if (static_cast<int>(chosen.size()) >= CIpConfig::kMaxInterfaces)
            break;
        const gvcp::Ip4 &ip = interface.ip;
        if (interface.loopback || !interface.up || !interface.broadcast || ip[0] == 0 || ip[0] == 255 || ip[0] == 127 ||
            ip == gvcp::Ip4{224, 0, 0, 1})
            continue;
        if (!configured.empty()) {
            if (!contains(configured, interface.name))
                continue;
        } else if (!panelBuild || contains(defaultRoute, interface.name)) {
            continue;
        }
        chosen.push_back(interface);
    }
    return chosen;
}

CIpConfig::CIpConfig()
    : CIpConfig(SelectCameraInterfaces(LocalInterfaces(), DefaultRouteInterfaces(), ConfiguredCameraInterfaces(),
                                       SystemGateway::isPanelBuild()))
{
}

CIpConfig::CIpConfig(std::vector<NetInterface> interfaces) : m_interfaces(std::move(interfaces))
{
    if (m_interfaces.size() > kMaxInterfaces)
        m_interfaces.resize(kMaxInterfaces);
    for (const NetInterface &interface : m_interfaces)
        m_discovery.push_back(std::make_unique<CGevDiscovery>("F622", interface.ip, false, interface.name));
}

void CIpConfig::Refresh()
{
    m_devices.clear();
    if (m_discovery.empty())
        return;
    for (auto &discovery : m_discovery)
        discovery->refresh();
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    for (std::size_t i = 0; i < m_discovery.size(); ++i)
        for (const std::vector<uint8_t> &ack : m_discovery[i]->devices())
            if (m_devices.size() < kMaxDevices)
                m_devices.push_back({gvcp::ReadAck(ack.data(), ack.size()), static_cast<int>(i)});
}

int arpping(const gvcp::Ip4 &candidate, const gvcp::Ip4 &ownIp, const gvcp::Mac &ownMac, const std::string &interfaceName)
{
    const int fd = ::socket(AF_PACKET, SOCK_RAW, htons(ETH_P_ARP));
    if (fd < 0)
        return -1;
    const int on = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_BROADCAST, &on, sizeof on);
    sockaddr_ll device{};
    device.sll_family = AF_PACKET;
    device.sll_protocol = htons(ETH_P_ARP);
    device.sll_ifindex = static_cast<int>(if_nametoindex(interfaceName.c_str()));
    device.sll_halen = 6;
    std::memset(device.sll_addr, 0xFF, 6);
    if (device.sll_ifindex == 0 || ::bind(fd, reinterpret_cast<sockaddr *>(&device), sizeof device) != 0) {
        ::close(fd);
        return 0;
    }
    // Ethernet header, then the ARP request: hardware 1, protocol 0x0800, sizes 6 and 4, operation 1.
    uint8_t frame[60] = {};
    std::memset(frame, 0xFF, 6);
    std::memcpy(frame + 6, ownMac.data(), 6);
    frame[12] = 0x08, frame[13] = 0x06;
    uint8_t *arp = frame + 14;
    arp[0] = 0, arp[1] = 1, arp[2] = 0x08, arp[3] = 0x00, arp[4] = 6, arp[5] = 4, arp[6] = 0, arp[7] = 1;
    std::memcpy(arp + 8, ownMac.data(), 6);
    std::memcpy(arp + 14, ownIp.data(), 4);
    std::memcpy(arp + 24, candidate.data(), 4);
    if (::sendto(fd, frame, sizeof frame, 0, reinterpret_cast<sockaddr *>(&device), sizeof device) != sizeof frame) {
        ::close(fd);
        return 0;
    }
    int result = 1;
    const int64_t deadline = GetTickCount() + 1000;
    for (int64_t left = 1000; left > 0 && result == 1; left = deadline - GetTickCount()) {
        pollfd ready{fd, POLLIN, 0};
        if (::poll(&ready, 1, static_cast<int>(left)) <= 0)
            break;
        uint8_t in[1600];
        const ssize_t length = ::recv(fd, in, sizeof in, 0);
        if (length < 42 || in[12] != 0x08 || in[13] != 0x06)
            continue;
        const uint8_t *reply = in + 14;
        const bool isReply = reply[6] == 0 && reply[7] == 2;
        if (isReply && std::memcmp(reply + 18, ownMac.data(), 6) == 0 && std::memcmp(reply + 14, candidate.data(), 4) == 0)
            result = 0;
    }
    ::close(fd);
    return result;
}

bool AutoSetIpAddr(const CIpConfig::Device &device, const NetInterface &interface)
{
    std::srand(static_cast<unsigned>(GetTickCount()));
    gvcp::Ip4 chosen{};
    const bool free = gvcp::ChooseFreeAddress(
        interface.ip, interface.mask, [] { return std::rand(); },
        [&](const gvcp::Ip4 &candidate) { return arpping(candidate, interface.ip, interface.mac, interface.name); },
        &chosen);
    if (!free) {
        // Every candidate answered: taking one anyway would put two devices on one address.
        qWarning("GigE camera %s: no free address on %s, left at %s", gvcp::MacText(device.ack.mac).c_str(),
                 interface.name.c_str(), gvcp::Text(device.ack.ip).c_str());
        return false;
    }
    CGevForceIp force(interface.ip, interface.name);
    const bool done = force.ForceIp(device.ack.mac, chosen, interface.mask, gvcp::Ip4{0, 0, 0, 0});
    qInfo("GigE camera %s: %s -> %s %s", gvcp::MacText(device.ack.mac).c_str(), gvcp::Text(device.ack.ip).c_str(),
          gvcp::Text(chosen).c_str(), done ? "acknowledged" : "not acknowledged");
    return done;
}

int RepairAllCameraIP()
{
    CIpConfig config;
    if (config.interfaces().empty())
        return 0;
    config.Refresh();
    int moved = 0;
    for (const CIpConfig::Device &device : config.devices()) {
        const NetInterface &interface = config.interfaces()[device.interfaceIndex];
        if (gvcp::Reachable(device.ack.ip, device.ack.mask, interface.ip, interface.mask))
            continue;
        if (AutoSetIpAddr(device, interface))
            ++moved;
    }
    return moved;
}
