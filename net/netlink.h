// The send thread: owns the relay's socket and sends the queue one message at a time, each
// waiting for its acknowledgement.
#pragma once

#include "net/netqueue.h"
#include "net/netwire.h"

#include <QObject>
#include <QThread>
#include <QTimer>

#include <atomic>

class QTcpSocket;

// Lives in CNT_Thread; every member is touched only there. The rule of sending: the head of the
// queue is written, then the link waits up to the acknowledgement time; an acknowledgement that
// arrives while the message is in flight removes it and lets the next go at once. Without one the
// message is written again, and after its second unanswered attempt it is dropped.
class SendLink : public QObject
{
    Q_OBJECT
public:
    // A relay that reads nothing: the socket is dropped once this much waits to be written.
    static constexpr qint64 kMaxUnwritten = 4 << 20;

    SendLink(NetQueue &queue, const std::atomic<bool> &connected, int ackTimeoutMs, int maxAttempts);

    // Thread-safe: asks the link to look at the queue (coalesced; O(1)).
    void kickLater();

    quint64 lateAcks() const { return m_lateAcks; }
    quint64 acknowledged() const { return m_acked; }

public slots:
    // A new connection (numbered by the service): the previous socket, if any, is closed first.
    void adopt(qintptr descriptor, quint64 connection);
    void kick();
    void closeSocket();

signals:
    void heart();
    void reline();
    void session(int number, const QByteArray &body);
    // The connection numbered `connection` ended.
    void linkLost(quint64 connection);
    void sent(quint64 id, int attempt);
    void dropped(quint64 id);

private:
    void onReadyRead(QTcpSocket *socket);
    void onDisconnected(QTcpSocket *socket);
    void onAckTimeout();
    void acknowledge();
    void drop(QTcpSocket *socket);

    NetQueue &m_queue;
    const std::atomic<bool> &m_connected;
    const int m_maxAttempts;
    QTcpSocket *m_socket = nullptr;
    quint64 m_connection = 0;
    QTimer m_ackTimer;
    NetWire::ReplyBuffer m_replies;
    bool m_inFlight = false;
    quint64 m_headId = 0;  // the message the attempts count for
    int m_attempts = 0;
    std::atomic<quint64> m_lateAcks{0};
    std::atomic<quint64> m_acked{0};
    std::atomic<bool> m_kickPending{false};
};

// The thread the link runs in, for the life of the network service.
class CNT_Thread : public QThread
{
    Q_OBJECT
public:
    CNT_Thread(NetQueue &queue, const std::atomic<bool> &connected, int ackTimeoutMs, int maxAttempts,
               QObject *parent = nullptr);
    ~CNT_Thread() override;

    SendLink *link() const { return m_link; }

protected:
    void run() override;

private:
    SendLink *m_link;
};
