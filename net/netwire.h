// The bytes between the station and its relay: message framing, form bodies, the relay's replies
// and the send switches.
#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>

#include <array>
#include <optional>

// The message types; the number is the first field of every message header.
enum SendType : int {
    SendRecord = 1,
    SendParam = 2,
    SendAlarmPic = 5,
    SendTempPic = 6,
    SendStatistics = 7,
    SendROIParam = 8,
    SendMemoryInfo = 9,
    SendManualStop = 10,
    SendDelTempPic = 11,
    SendAddRemind = 12,
    SendDelRemind = 13,
    SendGetProduct = 14,
    SendSaveNgVideo = 15,
    SendTelInfo = 16,
    SendGetRemindList = 17,
    SendStatisticsOnce = 18,
    SendRunState = 19,
    SendCancle = 20,
};
constexpr int kSendTypes = 21;  // 0..20

namespace NetWire {

// "%1:%2:..!" with the type and the body's length in UTF-8 bytes, then the body.
QByteArray Frame(int type, const QByteArray &body);

// A form body: name=value pairs joined by "&". The characters that would change the meaning of
// the text ("%", "&", "=", "+" and control characters) are percent-encoded; everything else,
// Chinese included, goes as UTF-8.
QByteArray Form(const QList<QPair<QString, QString>> &fields);
QByteArray FormValue(const QString &value);

// One reply of the relay: head lines, an empty line, a body.
struct Reply
{
    QList<QByteArray> head;
    QByteArray body;
};

// Gathers the relay's bytes and cuts them into whole replies. A reply ends after its body: the
// number of bytes a "Content-Length: N" head line gives, or, without that line, whatever arrived
// with the head (the older relays send each reply in one piece).
class ReplyBuffer
{
public:
    static constexpr int kMaxPending = 1 << 20;  // a head that never ends is thrown away

    void append(const QByteArray &bytes);
    std::optional<Reply> next();
    int pending() const { return int(m_buffer.size()); }

private:
    QByteArray m_buffer;
};

// What a reply asks of the station.
enum class ReplyKind { Ignored, Ack, Heart, Reline, Session };
ReplyKind Classify(const Reply &reply, int *session = nullptr);

// The send switches: every type on unless the JSON object names it (decimal number) with false.
// Text that does not parse leaves every type on.
std::array<bool, kSendTypes> ParseSwitches(const QByteArray &json);

}  // namespace NetWire
