// The send queue between the station's senders and the send thread: bounded, oldest dropped.
#pragma once

#include <QByteArray>
#include <QMutex>

#include <cstdint>
#include <deque>

// Senders push from the GUI thread; the send thread peeks at the head and removes it once it was
// acknowledged or tried twice. The lock is held only to move a message in or out, never while
// bytes are written. Each message carries a number, so that a removal meant for a message that
// the bound dropped in the meantime cannot take its successor.
class NetQueue
{
public:
    struct Entry
    {
        quint64 id = 0;
        QByteArray bytes;
    };

    NetQueue(qsizetype maxMessages = 10000, qint64 maxBytes = 64ll << 20)
        : m_maxMessages(maxMessages), m_maxBytes(maxBytes) {}

    // Appends a message; drops the oldest ones while the queue is over its bound. Returns the
    // number of messages dropped by this push.
    int push(const QByteArray &message);
    // A copy of the head (bytes are shared, not copied); false when the queue is empty.
    bool head(Entry *entry) const;
    // Removes the head when it is still message `id`; false otherwise.
    bool popIf(quint64 id);

    qsizetype size() const;
    qint64 bytes() const;
    quint64 dropped() const;
    quint64 pushed() const;

private:
    mutable QMutex m_mutex;
    std::deque<Entry> m_entries;
    qint64 m_bytes = 0;
    quint64 m_nextId = 1;
    quint64 m_dropped = 0;
    quint64 m_pushed = 0;
    const qsizetype m_maxMessages;
    const qint64 m_maxBytes;
};
