#include "net/netwire.h"

#include <cjson/cJSON.h>

namespace NetWire {

QByteArray Frame(int type, const QByteArray &body)
{
    QByteArray message = QByteArray::number(type) + ':' + QByteArray::number(body.size()) + ":..!";
    message += body;
    return message;
}

QByteArray FormValue(const QString &value)
{
    const QByteArray utf8 = value.toUtf8();
    QByteArray out;
    out.reserve(utf8.size());
    static const char hex[] = "0123456789ABCDEF";
    for (const char c : utf8) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '%' || c == '&' || c == '=' || c == '+' || u < 0x20 || u == 0x7f) {
            out += '%';
            out += hex[u >> 4];
            out += hex[u & 15];
        } else {
            out += c;
        }
    }
    return out;
}

QByteArray Form(const QList<QPair<QString, QString>> &fields)
{
    QByteArray body;
    for (const auto &[name, value] : fields) {
        if (!body.isEmpty())
            body += '&';
        body += name.toUtf8() + '=' + FormValue(value);
    }
    return body;
}

void ReplyBuffer::append(const QByteArray &bytes)
{
    m_buffer += bytes;
}

std::optional<Reply> ReplyBuffer::next()
{
    const qsizetype end = m_buffer.indexOf("\r\n\r\n");
    if (end < 0) {
        if (m_buffer.size() > kMaxPending)
            m_buffer.clear();
        return std::nullopt;
    }
    Reply reply;
    reply.head = m_buffer.left(end).split('\n');
    for (QByteArray &line : reply.head)
        line = line.trimmed();
    qsizetype length = -1;
    for (const QByteArray &line : reply.head) {
        if (line.toLower().startsWith("content-length:")) {
            bool ok = false;
            length = line.mid(15).trimmed().toLongLong(&ok);
            if (!ok || length < 0)
                length = -1;
        }
    }
    const qsizetype bodyStart = end + 4;
    if (length < 0)
        length = m_buffer.size() - bodyStart;
    if (m_buffer.size() - bodyStart < length) {
        if (length > kMaxPending)
            m_buffer.clear();
        return std::nullopt;  // the body is still on its way
    }
    reply.body = m_buffer.mid(bodyStart, length);
    m_buffer.remove(0, bodyStart + length);
    return reply;
}

ReplyKind Classify(const Reply &reply, int *session)
{
    if (reply.head.isEmpty() || reply.head.first().isEmpty())
        return ReplyKind::Ignored;
    const QByteArray &first = reply.head.first();
    if (first.contains("/back/"))
        return ReplyKind::Ack;
    if (first.contains("/heart/"))
        return ReplyKind::Heart;
    if (first.contains("/reline/"))
        return ReplyKind::Reline;
    for (const QByteArray &line : reply.head) {
        if (!line.contains("SessionId"))
            continue;
        const QList<QByteArray> parts = line.split(':');
        if (parts.size() != 2)
            continue;
        bool ok = false;
        const int number = parts[1].trimmed().toInt(&ok);
        if (ok && (number == SendGetProduct || number == SendGetRemindList)) {
            if (session)
                *session = number;
            return ReplyKind::Session;
        }
    }
    return ReplyKind::Ignored;
}

std::array<bool, kSendTypes> ParseSwitches(const QByteArray &json)
{
    std::array<bool, kSendTypes> on;
    on.fill(true);
    cJSON *root = cJSON_ParseWithLength(json.constData(), size_t(json.size()));
    if (!root)
        return on;
    if (cJSON_IsObject(root)) {
        for (int n = 0; n < kSendTypes; ++n) {
            const cJSON *item = cJSON_GetObjectItemCaseSensitive(root, QByteArray::number(n).constData());
            if (item && cJSON_IsFalse(item))
                on[n] = false;
        }
    }
    cJSON_Delete(root);
    return on;
}

}  // namespace NetWire
