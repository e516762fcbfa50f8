// GigE Vision control protocol bytes (discovery, vendor force-IP) and the address rules of the
// re-addressing: subnet tests and the choice of a free host number.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace gvcp {

constexpr uint16_t kPort = 3956;
constexpr uint16_t kDiscoveryCmd = 0x0002;
constexpr uint16_t kDiscoveryAck = 0x0003;
constexpr uint16_t kForceIpCmd = 0xF008;
constexpr uint16_t kForceIpAck = 0xF009;
constexpr std::size_t kAckKeep = 256;       // bytes of a discovery acknowledge kept per device
constexpr std::size_t kForceIpLength = 64;  // header + 56 bytes

using Mac = std::array<uint8_t, 6>;
using Ip4 = std::array<uint8_t, 4>;  // dotted order: 192.168.1.50 is {192, 168, 1, 50}

uint32_t ToHost(const Ip4 &ip);   // 192.168.1.50 -> 0xC0A80132
Ip4 FromHost(uint32_t value);
std::string Text(const Ip4 &ip);  // "192.168.1.50"
bool Parse(const std::string &text, Ip4 *ip);
std::string MacText(const Mac &mac);

// 42 11 00 02 00 00 <request id>.
std::array<uint8_t, 8> DiscoveryCommand(uint16_t requestId);

// 64 bytes: header (flags 0x11 with acknowledge, else 0x10), MAC at 8-13, IP 14-17, mask 18-21,
// gateway 22-25, byte 26 = 0, byte 27 = 1, zeros to the end.
std::array<uint8_t, kForceIpLength> ForceIpCommand(uint16_t requestId, const Mac &mac, const Ip4 &ip,
                                                   const Ip4 &mask, const Ip4 &gateway, bool acknowledge = true);

// What the station reads from a discovery acknowledge. Offsets count from the first byte of the
// datagram (the 8-byte acknowledge header included): MAC 18, IP 44, mask 60, manufacturer info 176.
struct DeviceAck
{
    Mac mac{};
    Ip4 ip{};
    Ip4 mask{};
    std::string manufacturerInfo;  // up to 48 characters, cut at the first zero
};

// A discovery acknowledge: positive length, status byte 2 is 0 and byte 3 is 3.
bool IsDiscoveryAck(const uint8_t *data, std::size_t length);
// Fields of an acknowledge (shorter datagrams read as zeros past their end).
DeviceAck ReadAck(const uint8_t *data, std::size_t length);

// The answer to force-IP `requestId`: 1 success, 0 a failure status, -1 not that answer.
int ForceIpAnswer(const uint8_t *data, std::size_t length, uint16_t requestId);

// --- addresses ---

// A device is reachable from an interface when both lie in the interface's subnet and the device
// does not hold the interface's own address.
bool Reachable(const Ip4 &device, const Ip4 &deviceMask, const Ip4 &host, const Ip4 &hostMask);

// A host address of the interface's subnet for the random bytes `r`: (host AND mask) OR (NOT mask
// AND r). Returns false when it is not usable: the interface's own address, or, for subnets with
// room for it (masks up to /30), the subnet's network or broadcast address.
bool Candidate(const Ip4 &host, const Ip4 &mask, const Ip4 &r, Ip4 *candidate);

// Up to five candidates, each tried with `inUse` (1 free, 0 taken, -1 the probe cannot run, which
// counts as free). Returns the first free one; false when every attempt found its address taken
// (or no usable address could be drawn): the device is then left as it is.
template <typename Random, typename Probe>
bool ChooseFreeAddress(const Ip4 &host, const Ip4 &mask, Random &&random, Probe &&probe, Ip4 *chosen)
{
    for (int attempt = 0; attempt < 5; ++attempt) {
        Ip4 candidate{};
        bool drawn = false;
        for (int draw = 0; draw < 100 && !drawn; ++draw) {
            Ip4 r;
            for (auto &byte : r)
                byte = static_cast<uint8_t>(random() % 245 + 10);
            drawn = Candidate(host, mask, r, &candidate);
        }
        if (!drawn)
            return false;
        if (probe(candidate) != 0) {
            *chosen = candidate;
            return true;
        }
    }
    return false;
}

// The host addresses a searched address may take around an interface: with a mask of /24 or wider
// the interface's own "a.b.c" network, hosts 1..254; with a narrower mask the hosts of the real
// subnet (its network and broadcast addresses excluded).
struct HostRange
{
    uint32_t base = 0;  // host order; a host is base + n
    int first = 1;
    int last = 254;
};
HostRange HostsAround(const Ip4 &host, const Ip4 &mask);

// Addresses in the order a free one is searched for from the device's host number: start .. last,
// then start - 1 .. first; the interface's own address is left out.
std::vector<Ip4> SearchOrder(const Ip4 &host, const Ip4 &mask, int start);

// The IMV address for an interface: host numbers from last - 1 (253 on a /24) down to first,
// skipping the interface's own, the first whose text is not in `used`. False when none is left.
bool ImvAddress(const Ip4 &host, const Ip4 &mask, const std::vector<std::string> &used, Ip4 *chosen);

}  // namespace gvcp
