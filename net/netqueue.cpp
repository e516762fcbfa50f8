#include "net/netqueue.h"

#include <QMutexLocker>

int NetQueue::push(const QByteArray &message)
{
    QMutexLocker lock(&m_mutex);
    m_entries.push_back({m_nextId++, message});
    m_bytes += message.size();
    ++m_pushed;
    int dropped = 0;
    while (m_entries.size() > 1 && (qsizetype(m_entries.size()) > m_maxMessages || m_bytes > m_maxBytes)) {
        m_bytes -= m_entries.front().bytes.size();
        m_entries.pop_front();
        ++dropped;
    }
    m_dropped += dropped;
    return dropped;
}

bool NetQueue::head(Entry *entry) const
{
    QMutexLocker lock(&m_mutex);
    if (m_entries.empty())
        return false;
    *entry = m_entries.front();
    return true;
}

bool NetQueue::popIf(quint64 id)
{
    QMutexLocker lock(&m_mutex);
    if (m_entries.empty() || m_entries.front().id != id)
        return false;
    m_bytes -= m_entries.front().bytes.size();
    m_entries.pop_front();
    return true;
}

qsizetype NetQueue::size() const
{
    QMutexLocker lock(&m_mutex);
    return qsizetype(m_entries.size());
}

qint64 NetQueue::bytes() const
{
    QMutexLocker lock(&m_mutex);
    return m_bytes;
}

quint64 NetQueue::pushed() const
{
    QMutexLocker lock(&m_mutex);
    return m_pushed;
}

quint64 NetQueue::dropped() const
{
    QMutexLocker lock(&m_mutex);
    return m_dropped;
}
