// The station's own GigE Vision control client: a broadcast socket pair, the discovery of the
// cameras on one interface and the vendor force-IP command.
#pragma once

#include "camera/gige/gvcp.h"

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// Milliseconds of the monotonic clock.
int64_t GetTickCount();

// Two UDP sockets on one random port above 10000: one bound to 255.255.255.255 for broadcast
// answers, one bound to the interface address that sends and takes unicast answers. Broadcasts
// leave through the interface holding that address; the broadcast receiver is bound to the
// interface when it is named.
class CBroadcastSocket
{
public:
    CBroadcastSocket(const gvcp::Ip4 &localIp, uint16_t remotePort, const std::string &interfaceName = {});
    ~CBroadcastSocket();
    CBroadcastSocket(const CBroadcastSocket &) = delete;
    CBroadcastSocket &operator=(const CBroadcastSocket &) = delete;

    bool isOpen() const { return m_send >= 0; }
    uint16_t localPort() const { return m_port; }
    // To 255.255.255.255 on the remote port; false when nothing was sent.
    bool send(const uint8_t *data, std::size_t length);
    // Waits at most `waitMs` on both sockets: the datagram's length, 0 on time-out, -1 without socket.
    int receive(uint8_t *buffer, std::size_t capacity, int waitMs = 200);

private:
    void close();

    int m_receive = -1;
    int m_send = -1;
    uint16_t m_port = 0;
    uint16_t m_remotePort;
};

// The cameras answering a discovery on one interface. The receive thread takes acknowledges whose
// manufacturer-specific information starts with the filter; in automatic mode a send thread repeats
// the discovery every second and a check thread drops devices not seen for 3 s.
class CGevDiscovery
{
public:
    static constexpr int kMaxDevices = 250;

    struct Entry
    {
        uint8_t ack[gvcp::kAckKeep] = {};
        bool valid = false;
        int64_t tick = 0;
    };

    CGevDiscovery(const std::string &filter, const gvcp::Ip4 &localIp, bool automatic,
                  const std::string &interfaceName = {});
    ~CGevDiscovery();
    CGevDiscovery(const CGevDiscovery &) = delete;
    CGevDiscovery &operator=(const CGevDiscovery &) = delete;

    bool isOpen() const { return m_socket.isOpen(); }
    // Clears the table and broadcasts one discovery command.
    void refresh();
    void sendDiscovery();
    // The valid entries' acknowledges (256 bytes each).
    std::vector<std::vector<uint8_t>> devices() const;

    // Takes one datagram into the table (what the receive thread does with each one).
    void take(const uint8_t *data, std::size_t length);

private:
    void receiveLoop();
    void sendLoop();
    void checkLoop();

    CBroadcastSocket m_socket;
    mutable std::recursive_mutex m_mutex;
    std::vector<Entry> m_table;
    uint16_t m_requestId = 0;
    const std::string m_filter;
    const bool m_automatic;
    std::atomic<bool> m_stop{false};
    std::vector<std::thread> m_threads;
};

// The vendor force-IP command (0xF008) from one interface.
class CGevForceIp
{
public:
    explicit CGevForceIp(const gvcp::Ip4 &localIp, const std::string &interfaceName = {});

    // With acknowledge: up to 4 sends, each waiting for the 0xF009 answer with the request id;
    // true when it came with status 0. Without: true when the first send went out.
    bool ForceIp(const gvcp::Mac &mac, const gvcp::Ip4 &ip, const gvcp::Ip4 &mask, const gvcp::Ip4 &gateway,
                 bool acknowledge = true);
    int sends() const { return m_sends; }

private:
    CBroadcastSocket m_socket;
    uint16_t m_requestId = 0;
    int m_sends = 0;
};
