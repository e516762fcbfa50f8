// GigE discovery and address repair: the bytes on the wire, the address rules, the camera
// interfaces, the library force-IPs, and one repair against a fake camera. The binary runs in a
// private network namespace of its own; the repair skips when none could be made.
#include "camera/gige/gvcp.h"
#include "camera/gige/ipconfig.h"
#include "camera/gige/sdkipconfig.h"
#include "tests/camera/camerafixture.h"
#include "tests/camera/privatenetwork.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <thread>

namespace {

const bool gPrivateNetwork = EnterPrivateNetwork();

gvcp::Ip4 ip(const char *text)
{
    gvcp::Ip4 value{};
    EXPECT_TRUE(gvcp::Parse(text, &value)) << text;
    return value;
}

std::string hex(const uint8_t *data, std::size_t length)
{
    std::string text;
    char byte[4];
    for (std::size_t i = 0; i < length; ++i) {
        std::snprintf(byte, sizeof byte, i ? " %02X" : "%02X", data[i]);
        text += byte;
    }
    return text;
}

// A discovery acknowledge as a camera sends it.
std::vector<uint8_t> discoveryAck(const gvcp::Mac &mac, const gvcp::Ip4 &address, const gvcp::Ip4 &mask, const std::string &info,
                                  uint16_t id = 1)
{
    std::vector<uint8_t> ack(256, 0);
    ack[3] = 0x03;
    ack[5] = 248;
    ack[6] = uint8_t(id >> 8);
    ack[7] = uint8_t(id);
    std::copy(mac.begin(), mac.end(), ack.begin() + 18);
    std::copy(address.begin(), address.end(), ack.begin() + 44);
    std::copy(mask.begin(), mask.end(), ack.begin() + 60);
    std::copy(info.begin(), info.end(), ack.begin() + 176);
    return ack;
}

}  // namespace

TEST(GvcpBytes, CommandsAndAnswers)
{
    EXPECT_EQ(hex(gvcp::DiscoveryCommand(0x1234).data(), 8), "42 11 00 02 00 00 12 34");

    const auto force = gvcp::ForceIpCommand(7, {0x00, 0x11, 0x22, 0x33, 0x44, 0x55}, ip("10.0.0.77"), ip("255.255.255.0"),
                                            ip("0.0.0.0"));
    ASSERT_EQ(force.size(), 64u);
    EXPECT_EQ(hex(force.data(), 28), "42 11 F0 08 00 38 00 07 00 11 22 33 44 55 0A 00 00 4D FF FF FF 00 00 00 00 00 00 01");
    EXPECT_EQ(std::count(force.begin() + 28, force.end(), 0), 36);
    EXPECT_EQ(gvcp::ForceIpCommand(7, {}, {}, {}, {}, false)[1], 0x10);

    // Offsets count from the first byte of the datagram.
    const auto ack = discoveryAck({1, 2, 3, 4, 5, 6}, ip("192.168.1.50"), ip("255.255.0.0"), "F622-cam");
    EXPECT_TRUE(gvcp::IsDiscoveryAck(ack.data(), ack.size()));
    const gvcp::DeviceAck read = gvcp::ReadAck(ack.data(), ack.size());
    EXPECT_EQ(gvcp::MacText(read.mac), "01:02:03:04:05:06");
    EXPECT_EQ(gvcp::Text(read.ip), "192.168.1.50");
    EXPECT_EQ(gvcp::Text(read.mask), "255.255.0.0");
    EXPECT_EQ(read.manufacturerInfo, "F622-cam");
    const uint8_t notAck[8] = {0, 0, 0xF0, 0x09, 0, 0, 0, 1};
    EXPECT_FALSE(gvcp::IsDiscoveryAck(notAck, 8));

    struct Row { const char *name; std::vector<uint8_t> bytes; uint16_t id; int expected; };
    const Row answers[] = {
        {"success", {0, 0, 0xF0, 0x09, 0, 0, 0, 7}, 7, 1},
        {"failureStatus", {0x80, 0x06, 0xF0, 0x09, 0, 0, 0, 7}, 7, 0},
        {"otherRequest", {0, 0, 0xF0, 0x09, 0, 0, 0, 6}, 7, -1},
        {"discoveryAck", {0, 0, 0x00, 0x03, 0, 0, 0, 7}, 7, -1},
        {"short", {0, 0, 0xF0, 0x09}, 7, -1},
    };
    for (const Row &row : answers)
        EXPECT_EQ(gvcp::ForceIpAnswer(row.bytes.data(), row.bytes.size(), row.id), row.expected) << row.name;
}

TEST(GvcpAddresses, ReachabilityAndCandidates)
{
    EXPECT_TRUE(gvcp::Reachable(ip("10.0.0.9"), ip("255.255.255.0"), ip("10.0.0.5"), ip("255.255.255.0")));
    EXPECT_FALSE(gvcp::Reachable(ip("192.168.1.50"), ip("255.255.255.0"), ip("10.0.0.5"), ip("255.255.255.0")));
    EXPECT_FALSE(gvcp::Reachable(ip("10.0.0.5"), ip("255.255.255.0"), ip("10.0.0.5"), ip("255.255.255.0")));

    struct Row { const char *name; const char *host; const char *mask; const char *r; bool usable; const char *candidate; };
    const Row rows[] = {
        {"slash24", "10.0.0.5", "255.255.255.0", "200.100.50.77", true, "10.0.0.77"},
        {"ownAddress", "10.0.0.5", "255.255.255.0", "10.10.10.5", false, "10.0.0.5"},
        {"slash25Network", "10.0.0.130", "255.255.255.128", "10.10.10.128", false, "10.0.0.128"},
        {"slash25Broadcast", "10.0.0.130", "255.255.255.128", "10.10.10.255", false, "10.0.0.255"},
        {"slash25Host", "10.0.0.130", "255.255.255.128", "10.10.10.140", true, "10.0.0.140"},
        {"slash16", "172.16.3.4", "255.255.0.0", "10.200.12.34", true, "172.16.12.34"},
    };
    for (const Row &row : rows) {
        gvcp::Ip4 candidate{};
        EXPECT_EQ(gvcp::Candidate(ip(row.host), ip(row.mask), ip(row.r), &candidate), row.usable) << row.name;
        EXPECT_EQ(gvcp::Text(candidate), row.candidate) << row.name;
    }

    // Every candidate answers ARP: the device is left alone instead of being given a taken address.
    int probes = 0;
    gvcp::Ip4 chosen{};
    EXPECT_FALSE(gvcp::ChooseFreeAddress(ip("10.0.0.5"), ip("255.255.255.0"), [] { return std::rand(); },
                                         [&](const gvcp::Ip4 &) { return ++probes, 0; }, &chosen));
    EXPECT_EQ(probes, 5);
    // The third is free; an ARP probe that cannot run (-1) counts as free.
    probes = 0;
    ASSERT_TRUE(gvcp::ChooseFreeAddress(ip("10.0.0.5"), ip("255.255.255.0"), [] { return std::rand(); },
                                        [&](const gvcp::Ip4 &) { return ++probes == 3 ? -1 : 0; }, &chosen));
    EXPECT_EQ(probes, 3);
    EXPECT_EQ(chosen[2], 0);
    EXPECT_TRUE(chosen[3] >= 10 && chosen[3] <= 254 && chosen[3] != 5) << gvcp::Text(chosen);

    // Search order from the device's host number, the interface's own address left out.
    const auto order = gvcp::SearchOrder(ip("10.0.0.5"), ip("255.255.255.0"), 253);
    ASSERT_EQ(order.size(), 253u);
    EXPECT_EQ(gvcp::Text(order[0]), "10.0.0.253");
    EXPECT_EQ(gvcp::Text(order[2]), "10.0.0.252");
    EXPECT_EQ(std::count(order.begin(), order.end(), ip("10.0.0.5")), 0);
    const auto narrow = gvcp::SearchOrder(ip("10.0.0.130"), ip("255.255.255.192"), 50);  // 10.0.0.128/26
    EXPECT_EQ(gvcp::Text(narrow.front()), "10.0.0.178");
    EXPECT_EQ(gvcp::Text(narrow.back()), "10.0.0.129");
    EXPECT_EQ(narrow.size(), 61u);  // hosts .129 .. .190 without the interface's own
}

TEST(GigeInterfaces, OnlyCameraInterfaces)
{
    auto make = [](const char *name, const char *address, bool broadcast, bool loopback) {
        NetInterface interface;
        interface.name = name;
        gvcp::Parse(address, &interface.ip);
        gvcp::Parse("255.255.255.0", &interface.mask);
        interface.up = true;
        interface.broadcast = broadcast;
        interface.loopback = loopback;
        return interface;
    };
    const std::vector<NetInterface> all = {make("lo", "127.0.0.1", false, true), make("eth0", "192.0.2.2", true, false),
                                           make("cam0", "10.0.0.5", true, false), make("tun0", "10.8.0.2", false, false),
                                           make("lo2", "127.0.0.2", true, true)};
    auto names = [](const std::vector<NetInterface> &list) {
        std::string text;
        for (const NetInterface &interface : list)
            text += (text.empty() ? "" : ",") + interface.name;
        return text;
    };
    struct Row { const char *name; std::vector<std::string> configured; bool panel; const char *expected; };
    const Row rows[] = {
        {"panelSkipsDefaultRoute", {}, true, "cam0"},
        {"defaultBuildNone", {}, false, ""},
        {"configuredDefaultRoute", {"eth0"}, false, "eth0"},
        {"configuredNeverLoopback", {"lo", "lo2", "tun0", "cam0"}, true, "cam0"},
    };
    for (const Row &row : rows)
        EXPECT_EQ(names(SelectCameraInterfaces(all, {"eth0"}, row.configured, row.panel)), row.expected) << row.name;
}

TEST(GigeDiscoveryTable, FilterDuplicatesAndLimit)
{
    // Bound to loopback and never sent from: only the table is exercised.
    CGevDiscovery discovery("F622", ip("127.0.0.1"), false);
    const auto ours = discoveryAck({0, 1, 2, 3, 4, 5}, ip("192.168.1.50"), ip("255.255.255.0"), "F622 GigE");
    discovery.take(ours.data(), ours.size());
    discovery.take(ours.data(), ours.size());
    const auto foreign = discoveryAck({0, 1, 2, 3, 4, 6}, ip("192.168.1.51"), ip("255.255.255.0"), "F623 GigE");
    discovery.take(foreign.data(), foreign.size());
    EXPECT_EQ(discovery.devices().size(), 1u);
    for (int i = 0; i < 300; ++i) {
        const auto ack = discoveryAck({9, 9, 0, 0, uint8_t(i >> 8), uint8_t(i)}, ip("192.168.2.1"), ip("255.255.255.0"), "F622");
        discovery.take(ack.data(), ack.size());
    }
    EXPECT_EQ(discovery.devices().size(), 250u);
}

class GigeSdkTest : public CameraTest
{
protected:
    void SetUp() override
    {
        CameraTest::SetUp();
        gDHIPList.clear();
        NetInterface camera;
        camera.name = "cam0";
        gvcp::Parse("10.0.0.5", &camera.ip);
        gvcp::Parse("255.255.255.0", &camera.mask);
        SetNetInfoSource([camera] { return std::vector<NetInterface>{camera}; });
    }
    void TearDown() override
    {
        SetNetInfoSource(nullptr);
        CameraTest::TearDown();
    }
    static camsdk::DeviceInfo gigeDevice(const std::string &serial, const char *address, const char *host)
    {
        camsdk::DeviceInfo info = device(serial);
        info.ip = address;
        info.mask = "255.255.255.0";
        info.hostIp = host;
        info.hostMask = "255.255.255.0";
        info.hostGateway = "10.0.0.1";
        return info;
    }
};

TEST_F(GigeSdkTest, HikvisionDevicesAreMadeReachable)
{
    camsdk::SimCameraPool &sim = pool(camsdk::Vendor::Hikvision);
    sim.addDevice(gigeDevice("SN0000001", "10.0.0.20", "10.0.0.5"));      // reachable
    sim.addDevice(gigeDevice("SN0000002", "192.168.1.50", "10.0.0.5"));   // moved
    sim.addDevice(gigeDevice("SN0000003", "192.168.1.60", "192.0.2.2"));  // not on a camera interface
    camsdk::DeviceInfo usb = device("SN0000004");
    usb.gige = false;
    sim.addDevice(usb);
    std::vector<std::string> pinged;
    // Host numbers 50 .. 254 answer ping: the search goes on below 50.
    const int unreachable = EnsureDeviceReach([&](const std::string &address) {
        pinged.push_back(address);
        return getIntIp(address) % 256 < 50;
    });
    EXPECT_EQ(unreachable, 1);
    EXPECT_EQ(sim.callsStartingWith("forceIp"),
              std::vector<std::string>{"forceIp serial=SN0000002 10.0.0.49 255.255.255.0 10.0.0.254"});
    EXPECT_EQ(pinged.front(), "10.0.0.50");
    EXPECT_EQ(pinged.back(), "10.0.0.49");
    EXPECT_EQ(sim.info(2).ip, "192.168.1.60");
}

TEST_F(GigeSdkTest, ImvDuplicateIsMovedToAnAddressNobodyHolds)
{
    camsdk::SimCameraPool &sim = pool(camsdk::Vendor::Imv);
    sim.addDevice(gigeDevice("SN0000001", "10.0.0.253", "10.0.0.5"));
    sim.addDevice(gigeDevice("SN0000002", "10.0.0.20", "10.0.0.5"));
    sim.addDevice(gigeDevice("SN0000003", "10.0.0.20", "10.0.0.5"));
    std::vector<int> results;
    for (int slot = 0; slot < 3; ++slot)
        results.push_back(autoSetCameraIP(sim.info(slot)));
    EXPECT_EQ(results, (std::vector<int>{0, 0, 1}));
    // 10.0.0.253 is held by the first camera: the text compared is the text assigned.
    EXPECT_EQ(sim.callsStartingWith("forceIp"),
              std::vector<std::string>{"forceIp key=key-SN0000003 10.0.0.252 255.255.255.0 10.0.0.1"});
    EXPECT_EQ(sim.textValue(2, "GevCurrentIPConfigurationPersistentIP"), "true");
    EXPECT_EQ(sim.textValue(2, "GevPersistentIPAddress"), "10.0.0.252");
    EXPECT_EQ(sim.textValue(2, "GevPersistentSubnetMask"), "255.255.255.0");
    EXPECT_FALSE(sim.isOpen(2));
    EXPECT_EQ(sleeps, std::vector<int>{100});
}

// A GigE camera answering on the camera side of the veth pair: discovery (two devices, one of
// another make, each answered twice) and force-IP, answered straight to the sender.
class FakeGigeCamera
{
public:
    FakeGigeCamera()
    {
        m_fd = ::socket(AF_INET, SOCK_DGRAM, 0);
        const int on = 1;
        ::setsockopt(m_fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        ::setsockopt(m_fd, SOL_SOCKET, SO_BROADCAST, &on, sizeof on);
        timeval wait{0, 50000};
        ::setsockopt(m_fd, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(gvcp::kPort);
        m_bound = ::bind(m_fd, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0;
        m_thread = std::thread([this] { serve(); });
    }
    ~FakeGigeCamera()
    {
        m_stop = true;
        m_thread.join();
        ::close(m_fd);
    }
    bool bound() const { return m_bound; }
    const gvcp::Mac mac{0x00, 0x0C, 0xDF, 0x01, 0x02, 0x03};
    std::atomic<uint32_t> address{gvcp::ToHost({192, 168, 1, 50})};
    std::atomic<int> forceIps{0};
    std::atomic<int> foreignForceIps{0};
    std::vector<uint8_t> lastForceIp;

private:
    void serve()
    {
        uint8_t in[1500];
        while (!m_stop) {
            sockaddr_in from{};
            socklen_t fromLength = sizeof from;
            const ssize_t length = ::recvfrom(m_fd, in, sizeof in, 0, reinterpret_cast<sockaddr *>(&from), &fromLength);
            if (length < 8 || in[0] != 0x42)
                continue;
            const uint16_t command = uint16_t(in[2] << 8 | in[3]);
            const uint16_t id = uint16_t(in[6] << 8 | in[7]);
            if (command == gvcp::kDiscoveryCmd) {
                const auto ours = discoveryAck(mac, gvcp::FromHost(address), {255, 255, 255, 0}, "F622 MV-GE", id);
                const auto foreign = discoveryAck({0x00, 0x0C, 0xDF, 9, 9, 9}, {192, 168, 1, 60}, {255, 255, 255, 0}, "Other", id);
                for (const auto *ack : {&ours, &ours, &foreign})
                    ::sendto(m_fd, ack->data(), ack->size(), 0, reinterpret_cast<sockaddr *>(&from), fromLength);
            } else if (command == gvcp::kForceIpCmd && length == 64) {
                if (!std::equal(mac.begin(), mac.end(), in + 8)) {
                    ++foreignForceIps;
                    continue;
                }
                if (forceIps++ == 0) {
                    lastForceIp.assign(in, in + length);
                    address = gvcp::ToHost({in[14], in[15], in[16], in[17]});
                }
                const uint8_t ack[8] = {0, 0, 0xF0, 0x09, 0, 0, in[6], in[7]};
                ::sendto(m_fd, ack, sizeof ack, 0, reinterpret_cast<sockaddr *>(&from), fromLength);
            }
        }
    }

    int m_fd = -1;
    bool m_bound = false;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

TEST(GigeRepair, UnreachableCameraIsMovedIntoTheInterfaceSubnet)
{
    SKIP_WITHOUT_PRIVATE_NETWORK(gPrivateNetwork);
    FakeGigeCamera camera;
    ASSERT_TRUE(camera.bound());
    qputenv("MOULD_GIGE_INTERFACES", "gvA");
    const int moved = RepairAllCameraIP();
    qunsetenv("MOULD_GIGE_INTERFACES");

    EXPECT_EQ(moved, 1);
    EXPECT_EQ(camera.foreignForceIps, 0);
    const gvcp::Ip4 now = gvcp::FromHost(camera.address);
    EXPECT_EQ(now[0], 10);
    EXPECT_EQ(now[1], 0);
    EXPECT_EQ(now[2], 0);
    EXPECT_TRUE(now[3] >= 10 && now[3] <= 254 && now[3] != 5) << gvcp::Text(now);
    ASSERT_EQ(camera.lastForceIp.size(), 64u);
    EXPECT_TRUE(std::equal(camera.mac.begin(), camera.mac.end(), camera.lastForceIp.begin() + 8));
    EXPECT_EQ(hex(camera.lastForceIp.data() + 18, 10), "FF FF FF 00 00 00 00 00 00 01");

    // Now reachable: a second repair leaves it where it is.
    EXPECT_EQ(RepairAllCameraIP(), 0);  // no interface configured: nothing is sent at all
    qputenv("MOULD_GIGE_INTERFACES", "gvA");
    EXPECT_EQ(RepairAllCameraIP(), 0);
    qunsetenv("MOULD_GIGE_INTERFACES");
    EXPECT_EQ(camera.forceIps, 1);

    // A camera that never answers: four sends of the same request, then given up.
    CGevForceIp silent(ip("10.0.0.5"), "gvA");
    EXPECT_FALSE(silent.ForceIp({0x00, 0x0C, 0xDF, 7, 7, 7}, ip("10.0.0.99"), ip("255.255.255.0"), ip("0.0.0.0")));
    EXPECT_EQ(silent.sends(), 4);
    EXPECT_GE(camera.foreignForceIps, 4);
}
