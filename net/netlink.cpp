#include "net/netlink.h"

#include <QTcpSocket>

SendLink::SendLink(NetQueue &queue, const std::atomic<bool> &connected, int ackTimeoutMs, int maxAttempts)
    : m_queue(queue), m_connected(connected), m_maxAttempts(maxAttempts), m_ackTimer(this)
{
    m_ackTimer.setSingleShot(true);
    m_ackTimer.setInterval(ackTimeoutMs);
    connect(&m_ackTimer, &QTimer::timeout, this, &SendLink::onAckTimeout);
}

void SendLink::kickLater()
{
    if (!m_kickPending.exchange(true))
        QMetaObject::invokeMethod(this, &SendLink::kick, Qt::QueuedConnection);
}

void SendLink::adopt(qintptr descriptor, quint64 connection)
{
    if (m_socket)
        drop(m_socket);
    auto *socket = new QTcpSocket(this);
    if (!socket->setSocketDescriptor(descriptor)) {
        delete socket;
        emit linkLost(connection);
        return;
    }
    m_socket = socket;
    m_connection = connection;
    m_replies = {};
    connect(socket, &QTcpSocket::readyRead, this, [this, socket] { onReadyRead(socket); });
    connect(socket, &QTcpSocket::disconnected, this, [this, socket] { onDisconnected(socket); });
    kick();
}

void SendLink::closeSocket()
{
    if (m_socket)
        drop(m_socket);
}

// Forgets a socket: its signals are cut before it is closed, so that its end cannot touch the
// socket that replaced it. The message in flight is written again on the next connection; its
// attempts so far still count.
void SendLink::drop(QTcpSocket *socket)
{
    socket->disconnect(this);
    socket->abort();
    socket->deleteLater();
    if (socket == m_socket) {
        m_socket = nullptr;
        m_inFlight = false;
        m_ackTimer.stop();
    }
}

void SendLink::kick()
{
    m_kickPending = false;
    if (m_inFlight || !m_socket || !m_connected)
        return;
    NetQueue::Entry head;
    while (m_queue.head(&head)) {
        if (head.id != m_headId) {
            m_headId = head.id;
            m_attempts = 0;
        }
        if (m_attempts >= m_maxAttempts) {
            if (m_queue.popIf(head.id))
                emit dropped(head.id);
            continue;
        }
        if (m_socket->bytesToWrite() > kMaxUnwritten) {
            qWarning("network: the relay reads nothing; its connection is closed");
            drop(m_socket);
            emit linkLost(m_connection);
            return;
        }
        // The queue's lock is not held here: a write never waits for it, nor it for a write.
        m_socket->write(head.bytes);
        m_socket->flush();
        ++m_attempts;
        m_inFlight = true;
        m_ackTimer.start();
        emit sent(head.id, m_attempts);
        return;
    }
}

void SendLink::onAckTimeout()
{
    m_inFlight = false;
    kick();
}

void SendLink::acknowledge()
{
    if (!m_inFlight) {
        ++m_lateAcks;  // nothing waits for it: the message it meant was already given up
        return;
    }
    m_ackTimer.stop();
    m_inFlight = false;
    if (m_queue.popIf(m_headId))
        ++m_acked;
    kick();
}

void SendLink::onReadyRead(QTcpSocket *socket)
{
    m_replies.append(socket->readAll());
    while (auto reply = m_replies.next()) {
        int number = 0;
        switch (NetWire::Classify(*reply, &number)) {
        case NetWire::ReplyKind::Ack:
            acknowledge();
            break;
        case NetWire::ReplyKind::Heart:
            emit heart();
            break;
        case NetWire::ReplyKind::Reline:
            emit reline();
            break;
        case NetWire::ReplyKind::Session:
            emit session(number, reply->body);
            break;
        case NetWire::ReplyKind::Ignored:
            break;
        }
        if (socket != m_socket)
            return;  // a reply's handler closed it
    }
}

void SendLink::onDisconnected(QTcpSocket *socket)
{
    if (socket != m_socket)
        return;
    drop(socket);
    emit linkLost(m_connection);
}

CNT_Thread::CNT_Thread(NetQueue &queue, const std::atomic<bool> &connected, int ackTimeoutMs, int maxAttempts,
                       QObject *parent)
    : QThread(parent), m_link(new SendLink(queue, connected, ackTimeoutMs, maxAttempts))
{
    m_link->moveToThread(this);
}

CNT_Thread::~CNT_Thread()
{
    quit();
    wait();
}

void CNT_Thread::run()
{
    exec();
    delete m_link;  // with its socket, in the thread that owns them
    m_link = nullptr;
}
