// Framing, form text, the relay's replies cut from the byte stream, and the send switches.
#include "net/netmessages.h"
#include "net/netwire.h"

#include <gtest/gtest.h>

TEST(NetWire, FrameCountsUtf8Bytes)
{
    EXPECT_EQ(NetWire::Frame(19, "0123456789"), QByteArray("19:10:..!0123456789"));
    EXPECT_EQ(NetWire::Frame(14, {}), QByteArray("14:0:..!"));
    const QByteArray chinese = QStringLiteral("正在检测").toUtf8();
    EXPECT_EQ(NetWire::Frame(1, chinese), "1:12:..!" + chinese);
}

TEST(NetWire, FormValuesCannotBreakTheForm)
{
    EXPECT_EQ(NetWire::Form({{"a", "x&y=z"}, {"b", "50%+1\r\n"}, {"c", QStringLiteral("模具")}}),
              "a=x%26y%3Dz&b=50%25%2B1%0D%0A&c=" + QStringLiteral("模具").toUtf8());
}

TEST(NetWire, RepliesAreCutWholeHoweverTheyArrive)
{
    const QByteArray ack = "POST /back/ HTTP/1.1\r\nContent-Length: 0\r\n\r\n";
    const QByteArray data = "POST /data/ HTTP/1.1\r\nSessionId: 17\r\nContent-Length: 5\r\n\r\n{\"a\"}";
    NetWire::ReplyBuffer buffer;
    // Split inside the head and inside the body.
    buffer.append(data.left(10));
    EXPECT_FALSE(buffer.next());
    buffer.append(data.mid(10, data.size() - 12));
    EXPECT_FALSE(buffer.next());
    buffer.append(data.right(2) + ack + ack.left(7));  // joined with the next, and a piece of a third
    auto first = buffer.next();
    ASSERT_TRUE(first);
    int session = 0;
    EXPECT_EQ(NetWire::Classify(*first, &session), NetWire::ReplyKind::Session);
    EXPECT_EQ(session, 17);
    EXPECT_EQ(first->body, QByteArray("{\"a\"}"));
    auto second = buffer.next();
    ASSERT_TRUE(second);
    EXPECT_EQ(NetWire::Classify(*second), NetWire::ReplyKind::Ack);
    EXPECT_FALSE(buffer.next());
    buffer.append(ack.mid(7));
    ASSERT_TRUE(buffer.next());

    // An older relay without a length: one read is one reply.
    buffer.append("x /heart/ y\r\n\r\n");
    auto heart = buffer.next();
    ASSERT_TRUE(heart);
    EXPECT_EQ(NetWire::Classify(*heart), NetWire::ReplyKind::Heart);
}

TEST(NetWire, ReplyKinds)
{
    const struct
    {
        QList<QByteArray> head;
        NetWire::ReplyKind kind;
        int session;
    } cases[] = {
        {{"GET /reline/"}, NetWire::ReplyKind::Reline, 0},
        {{"POST /data/", "SessionId: 14"}, NetWire::ReplyKind::Session, 14},
        {{"POST /data/", "SessionId: 15"}, NetWire::ReplyKind::Ignored, 0},
        {{"POST /data/", "SessionId:1:4"}, NetWire::ReplyKind::Ignored, 0},
        {{""}, NetWire::ReplyKind::Ignored, 0},
    };
    for (const auto &c : cases) {
        int session = 0;
        EXPECT_EQ(NetWire::Classify({c.head, {}}, &session), c.kind) << c.head.first().constData();
        EXPECT_EQ(session, c.session);
    }
}

TEST(NetWire, OnlyFalseSwitchesATypeOff)
{
    const auto on = NetWire::ParseSwitches(R"({"7": false, "18": 0, "19": "false", "2": true})");
    for (int type = 0; type < kSendTypes; ++type)
        EXPECT_EQ(on[type], type != 7) << type;
    EXPECT_TRUE(NetWire::ParseSwitches("{not json")[7]);
}

TEST(NetMessages, ManualStopSlotAndMinutes)
{
    CNT_Path_ManualStop stop;
    stop.stop_check_timelen = 5;
    const QDate day(2026, 3, 2);
    NetMessages::ManualStopBody("panel", stop, true, RunState::Stopped, QDateTime(day, QTime(8, 30)), "li");
    EXPECT_EQ(stop.stop_check_timeslot, QStringLiteral("08:30---:--"));
    const QByteArray body = NetMessages::ManualStopBody("panel", stop, false, RunState::Detecting,
                                                        QDateTime(day, QTime(9, 15)), "li");
    EXPECT_EQ(stop.stop_check_timeslot, QStringLiteral("08:30-09:15"));
    EXPECT_EQ(stop.stop_check_timelen, 50);
    // A restart without an open stop changes neither slot nor minutes.
    NetMessages::ManualStopBody("panel", stop, false, RunState::Detecting, QDateTime(day, QTime(10, 0)), "li");
    EXPECT_EQ(stop.stop_check_timeslot, QStringLiteral("08:30-09:15"));
    EXPECT_EQ(stop.stop_check_timelen, 50);
    EXPECT_TRUE(body.contains("\"state\":\t0"));
}

TEST(NetMessages, ReleaseMethods)
{
    EXPECT_STREQ(NetMessages::ReleaseMethod(0), "不检测此模解除");
    EXPECT_STREQ(NetMessages::ReleaseMethod(4), "重检检测OK");
    EXPECT_STREQ(NetMessages::ReleaseMethod(7), "");
}
