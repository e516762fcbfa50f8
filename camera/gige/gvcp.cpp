#include "camera/gige/gvcp.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace gvcp {

uint32_t ToHost(const Ip4 &ip)
{
    return (uint32_t(ip[0]) << 24) | (uint32_t(ip[1]) << 16) | (uint32_t(ip[2]) << 8) | ip[3];
}

Ip4 FromHost(uint32_t value)
{
    return {uint8_t(value >> 24), uint8_t(value >> 16), uint8_t(value >> 8), uint8_t(value)};
}

std::string Text(const Ip4 &ip)
{
    char text[16];
    std::snprintf(text, sizeof text, "%u.%u.%u.%u", ip[0], ip[1], ip[2], ip[3]);
    return text;
}

bool Parse(const std::string &text, Ip4 *ip)
{
    unsigned a, b, c, d;
    char tail;
    if (std::sscanf(text.c_str(), "%u.%u.%u.%u%c", &a, &b, &c, &d, &tail) != 4 || a > 255 || b > 255 || c > 255 || d > 255)
        return false;
    *ip = {uint8_t(a), uint8_t(b), uint8_t(c), uint8_t(d)};
    return true;
}

std::string MacText(const Mac &mac)
{
    char text[18];
    std::snprintf(text, sizeof text, "%02x:%02x:%02x:%02x:%02x:%02x", mac[0], mac[1], mac[2], mac[3], mac[4], mac[5]);
    return text;
}

std::array<uint8_t, 8> DiscoveryCommand(uint16_t requestId)
{
    return {0x42, 0x11, 0x00, 0x02, 0x00, 0x00, uint8_t(requestId >> 8), uint8_t(requestId)};
}

std::array<uint8_t, kForceIpLength> ForceIpCommand(uint16_t requestId, const Mac &mac, const Ip4 &ip,
                                                   const Ip4 &mask, const Ip4 &gateway, bool acknowledge)
{
    std::array<uint8_t, kForceIpLength> bytes{};
    bytes[0] = 0x42;
    bytes[1] = acknowledge ? 0x11 : 0x10;
    bytes[2] = kForceIpCmd >> 8;
    bytes[3] = kForceIpCmd & 0xFF;
    bytes[4] = 0x00;
    bytes[5] = kForceIpLength - 8;
    bytes[6] = uint8_t(requestId >> 8);
    bytes[7] = uint8_t(requestId);
    std::copy(mac.begin(), mac.end(), bytes.begin() + 8);
    std::copy(ip.begin(), ip.end(), bytes.begin() + 14);
    std::copy(mask.begin(), mask.end(), bytes.begin() + 18);
    std::copy(gateway.begin(), gateway.end(), bytes.begin() + 22);
    bytes[26] = 0;
    bytes[27] = 1;
    return bytes;
}

bool IsDiscoveryAck(const uint8_t *data, std::size_t length)
{
    return length >= 8 && data[2] == 0x00 && data[3] == (kDiscoveryAck & 0xFF);
}

DeviceAck ReadAck(const uint8_t *data, std::size_t length)
{
    uint8_t kept[kAckKeep] = {};
    std::memcpy(kept, data, std::min(length, kAckKeep));
    DeviceAck ack;
    std::copy(kept + 18, kept + 24, ack.mac.begin());
    std::copy(kept + 44, kept + 48, ack.ip.begin());
    std::copy(kept + 60, kept + 64, ack.mask.begin());
    ack.manufacturerInfo.assign(reinterpret_cast<const char *>(kept + 176), strnlen(reinterpret_cast<const char *>(kept + 176), 48));
    return ack;
}

int ForceIpAnswer(const uint8_t *data, std::size_t length, uint16_t requestId)
{
    if (length < 8 || data[2] != (kForceIpAck >> 8) || data[3] != (kForceIpAck & 0xFF))
        return -1;
    if (data[6] != uint8_t(requestId >> 8) || data[7] != uint8_t(requestId))
        return -1;
    return data[0] == 0 && data[1] == 0 ? 1 : 0;
}

bool Reachable(const Ip4 &device, const Ip4 &deviceMask, const Ip4 &host, const Ip4 &hostMask)
{
    return (ToHost(device) & ToHost(deviceMask)) == (ToHost(host) & ToHost(hostMask)) && device != host;
}

bool Candidate(const Ip4 &host, const Ip4 &mask, const Ip4 &r, Ip4 *candidate)
{
    const uint32_t m = ToHost(mask);
    const uint32_t value = (ToHost(host) & m) | (~m & ToHost(r));
    *candidate = FromHost(value);
    if (value == ToHost(host))
        return false;
    // A subnet of at least four addresses has a network and a broadcast address no host may take.
    const uint32_t hostBits = ~m;
    if (hostBits >= 3 && ((value & hostBits) == 0 || (value & hostBits) == hostBits))
        return false;
    return true;
}

HostRange HostsAround(const Ip4 &host, const Ip4 &mask)
{
    HostRange range;
    const uint32_t m = ToHost(mask);
    if (~m >= 0xFF) {
        range.base = ToHost(host) & 0xFFFFFF00u;
        return range;
    }
    range.base = ToHost(host) & m;
    range.first = 1;
    range.last = static_cast<int>(~m) - 1;  // 0 or below for /31 and /32: no host
    return range;
}

std::vector<Ip4> SearchOrder(const Ip4 &host, const Ip4 &mask, int start)
{
    const HostRange range = HostsAround(host, mask);
    start = std::clamp(start, range.first, std::max(range.first, range.last));
    std::vector<Ip4> order;
    auto add = [&](int n) {
        const Ip4 ip = FromHost(range.base + static_cast<uint32_t>(n));
        if (ip != host)
            order.push_back(ip);
    };
    for (int n = start; n <= range.last; ++n)
        add(n);
    for (int n = start - 1; n >= range.first; --n)
        add(n);
    return order;
}

bool ImvAddress(const Ip4 &host, const Ip4 &mask, const std::vector<std::string> &used, Ip4 *chosen)
{
    const HostRange range = HostsAround(host, mask);
    for (int n = range.last - 1; n >= range.first; --n) {
        const Ip4 ip = FromHost(range.base + static_cast<uint32_t>(n));
        if (ip == host)
            continue;
        if (std::find(used.begin(), used.end(), Text(ip)) == used.end()) {
            *chosen = ip;
            return true;
        }
    }
    return false;
}

}  // namespace gvcp
