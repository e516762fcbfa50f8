#include "camera/gige/gevdiscovery.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sys/select.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>

namespace {

// One answer takes at most this long to arrive; a camera silent for longer is sent the command again.
constexpr int kForceIpAnswerMs = 1000;

int openUdp(const std::string &interfaceName)
{
    const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
    if (fd < 0)
        return -1;
    const int on = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_BROADCAST, &on, sizeof on);
    if (!interfaceName.empty())
        ::setsockopt(fd, SOL_SOCKET, SO_BINDTODEVICE, interfaceName.c_str(), static_cast<socklen_t>(interfaceName.size()));
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
    return fd;
}

bool bindTo(int fd, uint32_t addressHostOrder, uint16_t port)
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(addressHostOrder);
    return ::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0;
}

}  // namespace

int64_t GetTickCount()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

CBroadcastSocket::CBroadcastSocket(const gvcp::Ip4 &localIp, uint16_t remotePort, const std::string &interfaceName)
    : m_remotePort(remotePort)
{
    for (int attempt = 0; attempt < 1000; ++attempt) {
        int port = 0;
        while ((port & 0xFFFF) <= 10000)
            port = std::rand();
        m_port = static_cast<uint16_t>(port & 0xFFFF);
        // Broadcasts leave through the interface that holds the send socket's address; the broadcast
        // receiver only listens on that interface.
        m_receive = openUdp(interfaceName);
        m_send = openUdp({});
        if (m_receive >= 0 && m_send >= 0 && bindTo(m_receive, INADDR_BROADCAST, m_port) &&
            bindTo(m_send, gvcp::ToHost(localIp), m_port))
            return;
        close();
    }
    m_port = 0;
}

CBroadcastSocket::~CBroadcastSocket() { close(); }

void CBroadcastSocket::close()
{
    if (m_receive >= 0)
        ::close(m_receive);
    if (m_send >= 0)
        ::close(m_send);
    m_receive = m_send = -1;
}

bool CBroadcastSocket::send(const uint8_t *data, std::size_t length)
{
    if (m_send < 0)
        return false;
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(m_remotePort);
    to.sin_addr.s_addr = htonl(INADDR_BROADCAST);
    return ::sendto(m_send, data, length, 0, reinterpret_cast<sockaddr *>(&to), sizeof to) == static_cast<ssize_t>(length);
}

int CBroadcastSocket::receive(uint8_t *buffer, std::size_t capacity, int waitMs)
{
    if (m_send < 0 || m_receive < 0)
        return -1;
    // Cameras answer by broadcast or straight to the sender's address: both sockets are read.
    fd_set ready;
    FD_ZERO(&ready);
    FD_SET(m_receive, &ready);
    FD_SET(m_send, &ready);
    timeval wait{waitMs / 1000, (waitMs % 1000) * 1000};
    if (::select(std::max(m_receive, m_send) + 1, &ready, nullptr, nullptr, &wait) <= 0)
        return 0;
    const int fd = FD_ISSET(m_send, &ready) ? m_send : m_receive;
    const ssize_t length = ::recv(fd, buffer, capacity, 0);
    return length < 0 ? 0 : static_cast<int>(length);
}

CGevDiscovery::CGevDiscovery(const std::string &filter, const gvcp::Ip4 &localIp, bool automatic,
                             const std::string &interfaceName)
    : m_socket(localIp, gvcp::kPort, interfaceName), m_table(kMaxDevices), m_filter(filter), m_automatic(automatic)
{
    if (!m_socket.isOpen())
        return;
    m_threads.emplace_back(&CGevDiscovery::receiveLoop, this);
    if (m_automatic) {
        m_threads.emplace_back(&CGevDiscovery::sendLoop, this);
        m_threads.emplace_back(&CGevDiscovery::checkLoop, this);
    }
}

CGevDiscovery::~CGevDiscovery()
{
    m_stop = true;
    for (std::thread &thread : m_threads)
        thread.join();
}

void CGevDiscovery::refresh()
{
    {
        std::lock_guard lock(m_mutex);
        for (Entry &entry : m_table)
            entry.valid = false;
    }
    sendDiscovery();
}

void CGevDiscovery::sendDiscovery()
{
    std::lock_guard lock(m_mutex);
    const auto command = gvcp::DiscoveryCommand(++m_requestId);
    m_socket.send(command.data(), command.size());
}

std::vector<std::vector<uint8_t>> CGevDiscovery::devices() const
{
    std::lock_guard lock(m_mutex);
    std::vector<std::vector<uint8_t>> found;
    for (const Entry &entry : m_table)
        if (entry.valid)
            found.emplace_back(entry.ack, entry.ack + gvcp::kAckKeep);
    return found;
}

void CGevDiscovery::take(const uint8_t *data, std::size_t length)
{
    if (!gvcp::IsDiscoveryAck(data, length))
        return;
    const gvcp::DeviceAck ack = gvcp::ReadAck(data, length);
    if (ack.manufacturerInfo.compare(0, m_filter.size(), m_filter) != 0)
        return;
    std::lock_guard lock(m_mutex);
    for (Entry &entry : m_table) {
        if (!entry.valid)
            continue;
        const gvcp::DeviceAck known = gvcp::ReadAck(entry.ack, gvcp::kAckKeep);
        if (known.mac == ack.mac && known.ip == ack.ip) {
            entry.tick = GetTickCount();
            return;
        }
    }
    for (Entry &entry : m_table) {
        if (entry.valid)
            continue;
        std::memset(entry.ack, 0, sizeof entry.ack);
        std::memcpy(entry.ack, data, std::min(length, gvcp::kAckKeep));
        entry.valid = true;
        entry.tick = GetTickCount();
        return;
    }
    // A full table takes no more devices.
}

void CGevDiscovery::receiveLoop()
{
    uint8_t buffer[1500];
    while (!m_stop) {
        const int length = m_socket.receive(buffer, sizeof buffer, 100);
        if (length > 0)
            take(buffer, static_cast<std::size_t>(length));
    }
}

void CGevDiscovery::sendLoop()
{
    for (int step = 0; !m_stop; ++step) {
        if (step % 10 == 0)
            sendDiscovery();
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
}

void CGevDiscovery::checkLoop()
{
    for (int step = 1; !m_stop; ++step) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        if (step % 10 != 0)
            continue;
        std::lock_guard lock(m_mutex);
        const int64_t now = GetTickCount();
        for (Entry &entry : m_table)
            if (entry.valid && now - entry.tick > 3000)
                entry.valid = false;
    }
}

CGevForceIp::CGevForceIp(const gvcp::Ip4 &localIp, const std::string &interfaceName)
    : m_socket(localIp, gvcp::kPort, interfaceName)
{
}

bool CGevForceIp::ForceIp(const gvcp::Mac &mac, const gvcp::Ip4 &ip, const gvcp::Ip4 &mask, const gvcp::Ip4 &gateway,
                          bool acknowledge)
{
    const auto command = gvcp::ForceIpCommand(++m_requestId, mac, ip, mask, gateway, acknowledge);
    m_sends = 0;
    uint8_t buffer[1500];
    for (int send = 0; send < 4; ++send) {
        const bool sent = m_socket.send(command.data(), command.size());
        ++m_sends;
        if (!acknowledge) {
            if (sent)
                return true;
            continue;
        }
        // Up to 200 reads, and no longer than a second of silence per send.
        const int64_t deadline = GetTickCount() + kForceIpAnswerMs;
        for (int read = 0; read < 200 && GetTickCount() < deadline; ++read) {
            const int length = m_socket.receive(buffer, sizeof buffer, 200);
            if (length < 0)
                return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
            const int answer = gvcp::ForceIpAnswer(buffer, static_cast<std::size_t>(std::max(length, 0)), m_requestId);
            if (answer >= 0)
                return answer == 1;
        }
    }
    return false;
}
