// The network service against a fake relay on 127.0.0.1: bytes on the wire, the attempt rule,
// replies split and joined, the queue's bound, switches, connections and the relay process.
#include "net/network.h"

#include "core/globals.h"
#include "params/wizardpara.h"
#include "tests/support/stationdir.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QHostInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>

#include <csignal>
#include <thread>

#include <sys/sem.h>
#include <sys/shm.h>

namespace {

const QByteArray kAck = "POST /back/ HTTP/1.1\r\nContent-Length: 0\r\n\r\n";
const QByteArray kHeart = "POST /heart/ HTTP/1.1\r\nContent-Length: 0\r\n\r\n";

bool waitUntil(const std::function<bool()> &done, int ms = 3000)
{
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > ms)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::msleep(2);
    }
    return true;
}

// The relay's end of the link, driven by the test.
struct FakeRelay
{
    QTcpSocket socket;
    QByteArray in;

    explicit FakeRelay(quint16 port)
    {
        socket.connectToHost(QHostAddress::LocalHost, port);
        socket.waitForConnected(2000);
    }
    // The next whole message: type and body; type -1 when none came within `ms`.
    std::pair<int, QByteArray> next(int ms = 3000)
    {
        static const QRegularExpression header(QStringLiteral("^(\\d+):(\\d+):\\.\\.!"));
        std::pair<int, QByteArray> message{-1, {}};
        waitUntil([&] {
            in += socket.readAll();
            const auto m = header.match(QString::fromLatin1(in.left(32)));
            if (!m.hasMatch() || in.size() < m.capturedLength() + m.captured(2).toInt())
                return false;
            message = {m.captured(1).toInt(), in.mid(m.capturedLength(), m.captured(2).toInt())};
            in.remove(0, m.capturedLength() + m.captured(2).toInt());
            return true;
        }, ms);
        return message;
    }
    void send(const QByteArray &bytes)
    {
        socket.write(bytes);
        socket.flush();
    }
};

class Net : public ::testing::Test
{
protected:
    void SetUp() override
    {
        setNetSwitch(1);
        gpWPara = &para;
    }
    void TearDown() override
    {
        net.reset();
        gpNet = nullptr;
        gpWPara = nullptr;
    }

    void setNetSwitch(int on)
    {
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("nettest"));
            db.setDatabaseName(station.file(QStringLiteral("PARAM.db")));
            ASSERT_TRUE(db.open());
            QSqlQuery(db).exec(QStringLiteral("update sysparam set value='%1 1 3 0 0 6 1 10000' where name='CntNet'").arg(on));
        }
        QSqlDatabase::removeDatabase(QStringLiteral("nettest"));
    }

    static NetOptions fast()
    {
        NetOptions options;
        options.port = 0;
        options.ackTimeoutMs = 300;
        options.heartIntervalMs = 600000;
        return options;
    }

    CNT_Net &make(const NetOptions &options = fast())
    {
        net = std::make_unique<CNT_Net>(nullptr, options);
        gpNet = net.get();
        return *net;
    }

    TempStation station;
    WizardPara para;
    std::unique_ptr<CNT_Net> net;
    const QByteArray host = QHostInfo::localHostName().toUtf8();
};

TEST_F(Net, MessagesGoOutByteForByte)
{
    CNT_Net &service = make();
    ASSERT_TRUE(service.isListening());
    EXPECT_EQ(service.serverAddress(), QHostAddress(QHostAddress::LocalHost));
    FakeRelay relay(service.port());
    service.runState = [] { return RunState::Detecting; };
    service.userName = [] { return QStringLiteral("王工"); };

    // Type 1, sent from another thread: carried over to the service's thread, form text.
    const QDateTime time = QDateTime::fromMSecsSinceEpoch(1767225600000, Qt::UTC);
    std::thread([&] { service.CNT_SendRecord(time, QStringLiteral("Advanced"), QStringLiteral("a&b=c 模具")); }).join();
    QByteArray body = "device_id=" + host + "&operater=Advanced&utc=1767225600000&description=a%26b%3Dc "
                      + QStringLiteral("模具").toUtf8();
    EXPECT_EQ(relay.next(), std::make_pair(1, body));
    relay.send(kAck);

    // Type 2: JSON in its members' order, the password empty.
    qstrcpy(para.password, "secret");
    para.enabe_two_test = 1;
    service.CNT_SendParam();
    auto [type, param] = relay.next();
    EXPECT_EQ(type, 2);
    EXPECT_TRUE(param.startsWith("{\n\t\"device_id\":\t\"" + host + "\",\n\t\"finished_product_detect\":\t"));
    EXPECT_TRUE(param.contains("\n\t\"password\":\t\"\",\n\t\"semi_auto\":\t"));
    EXPECT_FALSE(param.contains("secret"));
    EXPECT_LT(param.indexOf("\"enabe_two_test\":\t1,"), param.indexOf("\"location_adge\""));
    EXPECT_TRUE(param.contains("\"camera_id\":\t\"8\""));
    relay.send(kAck);

    // Type 10: stop, with its file written whole.
    service.CNT_SendManualStop(true);
    const CNT_Path_ManualStop &stop = service.manualStop();
    body = "{\n\t\"device_id\":\t\"" + host + "\",\n\t\"state\":\t0,\n\t\"utc\":\t" + QByteArray::number(stop.utc)
           + ",\n\t\"stop_check_timeslot\":\t\"" + stop.stop_check_timeslot.toUtf8()
           + "\",\n\t\"stop_check_timelen\":\t0,\n\t\"timeout_time\":\t0,\n\t\"operator_id\":\t\"王工\",\n"
             "\t\"disalarm_operator_id\":\t\"王工\",\n\t\"stop_check_reason\":\t\"\"\n}";
    EXPECT_EQ(relay.next(), std::make_pair(10, body));
    QFile file(QString::fromLatin1(CNT_Net::kManualStopFile));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), body);
    relay.send(kAck);

    // Type 19 only when the state changes; Chinese counts three bytes a character.
    service.noteRunState();
    service.noteRunState();
    auto [runType, run] = relay.next();
    EXPECT_EQ(runType, 19);
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^\\{\n\t\"device_id\":\t\"[^\"]+\",\n\t\"state\":\t\"正在检测\",\n\t\"utc\":\t\\d{13}\n\\}$"))
                    .match(QString::fromUtf8(run)).hasMatch()) << run.constData();
    relay.send(kAck);
    EXPECT_EQ(relay.next(400).first, -1) << "the same state is not sent again";
}

TEST_F(Net, EachMessageTwiceThenDroppedAndOnlyAnAckInFlightCounts)
{
    CNT_Net &service = make();
    FakeRelay relay(service.port());
    relay.send(kAck);  // nothing is in flight: it counts for nothing
    ASSERT_TRUE(waitUntil([&] { return service.lateAcks() == 1; }));

    service.send(SendRunState, "A");
    service.send(SendRunState, "B");
    QElapsedTimer timer;
    timer.start();
    EXPECT_EQ(relay.next().second, "A");
    EXPECT_EQ(relay.next().second, "A");
    EXPECT_GE(timer.elapsed(), 250) << "the second attempt waits for the acknowledgement time";
    EXPECT_EQ(relay.next().second, "B");
    EXPECT_GE(timer.elapsed(), 500);
    ASSERT_TRUE(waitUntil([&] { return service.droppedUnanswered() == 1; }));
    EXPECT_EQ(relay.next().second, "B");
    ASSERT_TRUE(waitUntil([&] { return service.droppedUnanswered() == 2 && service.queued() == 0; }));
}

TEST_F(Net, RepliesSplitOrJoinedAreReadWhole)
{
    CNT_Net &service = make();
    FakeRelay relay(service.port());
    for (const char *m : {"A", "B", "C"})
        service.send(SendRunState, m);
    EXPECT_EQ(relay.next().second, "A");
    QElapsedTimer timer;
    timer.start();
    relay.send(kAck.left(9));
    QThread::msleep(30);
    relay.send(kAck.mid(9));
    EXPECT_EQ(relay.next().second, "B");
    // An acknowledgement joined with a heartbeat and a piece of data reply.
    QByteArray productBody;
    QObject::connect(&service, &CNT_Net::productList, [&](const QByteArray &b) { productBody = b; });
    relay.send(kAck + kHeart + "POST /data/ HTTP/1.1\r\nSessionId: 14\r\nContent-Length: 5\r\n\r\n[1,");
    EXPECT_EQ(relay.next().second, "C");
    EXPECT_LT(timer.elapsed(), 250) << "acknowledgements let the next go at once";
    relay.send("2]");
    ASSERT_TRUE(waitUntil([&] { return !productBody.isEmpty(); }));
    EXPECT_EQ(productBody, "[1,2]");
    relay.send(kAck);
    EXPECT_TRUE(waitUntil([&] { return service.queued() == 0; }));
}

TEST_F(Net, TheQueueIsBoundedAndNeverWaits)
{
    NetOptions options = fast();
    options.maxMessages = 1000;
    options.maxBytes = 600 * 1024;
    CNT_Net &service = make(options);
    // A relay that connects and never reads.
    FakeRelay stalled(service.port());
    const QByteArray body(1024, 'x');
    qint64 worst = 0;
    QElapsedTimer timer;
    QElapsedTimer all;
    all.start();
    for (int i = 0; i < 5000; ++i) {
        timer.start();
        service.send(SendRunState, body + QByteArray::number(i));
        worst = std::max(worst, timer.nsecsElapsed());
    }
    // A write that waited would take the acknowledgement time or more.
    EXPECT_LT(worst, 50'000'000) << "an enqueue took " << worst << " ns";
    EXPECT_LT(all.nsecsElapsed() / 5000, 100'000) << "mean ns per enqueue";
    EXPECT_LE(service.queued(), 600);
    EXPECT_EQ(service.droppedByBound() + quint64(service.queued()), 5000u);

    // Oldest first: a new relay gets the newest messages.
    FakeRelay relay(service.port());
    const auto first = relay.next();
    EXPECT_EQ(first.first, 19);
    EXPECT_GT(first.second.mid(1024).toInt(), 4000);
}

TEST_F(Net, SwitchesStopTheirTypeOnly)
{
    QFile file(QString::fromLatin1(CNT_Net::kSwitchFile));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(R"({"1": false, "7": false, "19": 0})");
    file.close();
    CNT_Net &service = make();
    EXPECT_FALSE(service.sendsType(1));
    EXPECT_FALSE(service.sendsType(7));
    EXPECT_TRUE(service.sendsType(19));
    service.CNT_SendRecord(QDateTime::currentDateTime(), "u", "t");
    EXPECT_FALSE(service.send(SendStatistics, "{}"));
    EXPECT_EQ(service.queued(), 0);
    service.CNT_SendRunState();
    EXPECT_EQ(service.queued(), 1);
}

TEST_F(Net, ANewConnectionReplacesTheOldOne)
{
    CNT_Net &service = make();
    FakeRelay first(service.port());
    ASSERT_TRUE(waitUntil([&] { return service.isConnected(); }));
    FakeRelay second(service.port());
    ASSERT_TRUE(waitUntil([&] {
        first.socket.waitForReadyRead(1);
        return first.socket.state() == QAbstractSocket::UnconnectedState;
    }));
    // The old socket's end must not take the new link down.
    QCoreApplication::processEvents();
    EXPECT_TRUE(service.isConnected());
    service.send(SendRunState, "to the second");
    EXPECT_EQ(second.next().second, "to the second");
}

// Counts this process's children running `program`.
int children(const char *program)
{
    int count = 0;
    for (const QString &pid : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
        if (!stat.open(QIODevice::ReadOnly))
            continue;
        const QList<QByteArray> f = stat.readAll().split(' ');
        if (f.size() > 3 && f[1] == QByteArray("(") + program + ")" && f[3].toLongLong() == QCoreApplication::applicationPid()
            && f[2] != "Z")
            ++count;
    }
    return count;
}

TEST_F(Net, ASilentRelayIsRestartedAndNeverDoubled)
{
    NetOptions options = fast();
    options.heartIntervalMs = 200;
    options.heartLimitMs = 150;
    options.relayProgram = QStringLiteral("sleep");
    options.relayArguments = {QStringLiteral("30")};
    options.relayStopMs = 300;
    CNT_Net &service = make(options);
    QList<qint64> started;
    QObject::connect(&service, &CNT_Net::relayStarted, [&](qint64 pid) { started << pid; });
    service.restartRelay();
    service.restartRelay();  // a restart asked twice still leaves one relay
    ASSERT_TRUE(waitUntil([&] { return started.size() >= 2; }, 5000));
    EXPECT_NE(started[0], started[1]);
    EXPECT_NE(::kill(pid_t(started[0]), 0), 0) << "the old relay has gone";
    EXPECT_EQ(children("sleep"), 1);
    const qint64 last = service.relayPid();
    net.reset();
    EXPECT_NE(::kill(pid_t(last), 0), 0) << "the station's end stops its relay";
}

TEST_F(Net, OffMeansNothingListensAndNothingIsMade)
{
    setNetSwitch(0);
    const QStringList before = QDir(QStringLiteral("cnt_net")).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);
    // A station running beside the tests may hold the port; then only the service's own state tells.
    const auto portOpen = [] {
        QTcpSocket probe;
        probe.connectToHost(QHostAddress::LocalHost, 8890);
        return probe.waitForConnected(300);
    };
    const bool openBefore = portOpen();
    CNT_Net &service = make(NetOptions());
    EXPECT_FALSE(service.isEnabled());
    EXPECT_FALSE(service.isListening());
    if (!openBefore)
        EXPECT_FALSE(portOpen());
    service.CNT_SendRecord(QDateTime::currentDateTime(), "u", "t");
    service.CNT_SendManualStop(true);
    EXPECT_EQ(service.queued(), 0);
    EXPECT_EQ(QDir(QStringLiteral("cnt_net")).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), before);
}

TEST_F(Net, APortInUseIsReportedAndMessagesStillQueue)
{
    QTcpServer taken;
    ASSERT_TRUE(taken.listen(QHostAddress::LocalHost, 0));
    NetOptions options = fast();
    options.port = taken.serverPort();
    CNT_Net &service = make(options);
    EXPECT_FALSE(service.isListening());
    EXPECT_FALSE(service.listenError().isEmpty());
    EXPECT_TRUE(service.isEnabled());
    EXPECT_TRUE(service.send(SendRunState, "kept for later"));
}

TEST_F(Net, ReminderAndStopFilesSurviveDamage)
{
    CNT_Net &service = make();
    QDir().mkpath(QStringLiteral("cnt_net/data"));
    QFile bad(QString::fromLatin1(CNT_Net::kRemindFile));
    ASSERT_TRUE(bad.open(QIODevice::WriteOnly));
    bad.write("{\"remind\": [");
    bad.close();
    CNT_Path_Remind a{1000, 2000, 3600000, QStringLiteral("换模"), QStringLiteral("li")};
    CNT_Path_Remind b = a;
    b.utc = 3000;
    service.CNT_SendAddRemind(a);
    service.CNT_SendAddRemind(b);
    service.CNT_SendAddRemind(a);
    EXPECT_EQ(QDir(QStringLiteral("cnt_net/data")).entryList({QStringLiteral("Remind.bad-*")}).size(), 1);
    service.CNT_SendDelRemind(1000);
    QFile remind(QString::fromLatin1(CNT_Net::kRemindFile));
    ASSERT_TRUE(remind.open(QIODevice::ReadOnly));
    const QByteArray kept = remind.readAll();
    EXPECT_EQ(kept.count("\"utc\""), 1);
    EXPECT_TRUE(kept.contains("3000"));

    // A stop record without a member is deleted; one that is not JSON is set aside.
    QFile stop(QString::fromLatin1(CNT_Net::kManualStopFile));
    ASSERT_TRUE(stop.open(QIODevice::WriteOnly));
    stop.write(R"({"utc": 5, "stop_check_timeslot": "08:30---:--"})");
    stop.close();
    service.InitManualStop();
    EXPECT_FALSE(service.manualStop().valid);
    EXPECT_FALSE(QFile::exists(QString::fromLatin1(CNT_Net::kManualStopFile)));
}

// With a relay connected: the pictures are announced and copied, the per-cycle message and the
// totals go out and the totals reach their file; a relay that leaves while holding a picture
// sets it free, and the service leaves no shared memory behind.
TEST_F(Net, SharedPicturesAndStatisticsWithTheRelay)
{
    para.net_report = 1;
    para.net_options[0] = 2;  // each camera
    para.net_options[1] = 4;  // 25 frames a second
    QTemporaryDir keys;
    NetOptions options = fast();
    options.shareKeyPath = keys.path();
    CNT_Net &service = make(options);
    service.runState = [] { return RunState::Detecting; };
    cv::Mat picture(48, 64, CV_8UC1, cv::Scalar(90));
    ASSERT_TRUE(service.CNT_AddUseMemory(0, 64, 48, picture, PixelOrder::Gray));
    service.CNT_FirstInit();
    EXPECT_EQ(service.videoIntervalMs(), 40);
    const int shmid = service.share()->info(0)->shmid, semid = service.share()->info(0)->semid;

    FakeRelay relay(service.port());
    auto [type, info] = relay.next();
    ASSERT_EQ(type, 9);
    EXPECT_EQ(QJsonDocument::fromJson(info).object().value("memoryinfo").toArray()[0].toObject().value("shmid").toInt(), shmid);
    relay.send(kAck);
    EXPECT_EQ(relay.next(300).first, -1) << "announced once";

    const auto *seen = static_cast<const uint8_t *>(shmat(shmid, nullptr, SHM_RDONLY));
    ASSERT_NE(seen, reinterpret_cast<const uint8_t *>(-1));
    service.videoTick();
    service.share()->drain();
    EXPECT_EQ(seen[0], 90);
    qstrcpy(para.net_user_name, "null");
    picture.setTo(10);
    service.videoTick();
    service.share()->drain();
    EXPECT_EQ(seen[0], 90) << "no copies for the user \"null\"";
    shmdt(seen);

    const int cameras = numCamera;
    numCamera = 1;
    gAllNum[0] = 5;
    gFailNum[0] = 2;
    service.CNT_SendStatistics_Once({{0, 0, 1, 0, 600, 0, 300, true}}, true, 1);
    auto [onceType, once] = relay.next();
    ASSERT_EQ(onceType, 18);
    const QJsonObject cycle = QJsonDocument::fromJson(once).object();
    EXPECT_EQ(cycle.value("detect_method").toString(), QStringLiteral("开模到位"));
    EXPECT_EQ(cycle.value("array").toArray()[0].toObject().value("device_ng").toInt(), 2);
    EXPECT_EQ(qint64(cycle.value("utc").toDouble()), service.bindUtc()) << "the bind time of the release";
    relay.send(kAck);

    service.ChkandAddStaticticsItem(0, 0, 1);
    service.CNT_SendStatistics(QStringLiteral("./alarmimage/x.bmp"));
    auto [totalsType, totals] = relay.next();
    ASSERT_EQ(totalsType, 7);
    EXPECT_EQ(QJsonDocument::fromJson(totals).object().value("ng_count_total").toInt(), 2);
    service.statistics().flush();
    QFile file(QString::fromLatin1(CNT_Net::kStatisticsFile));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), totals);
    relay.send(kAck);
    numCamera = cameras;
    gAllNum[0] = gFailNum[0] = 0;

    sembuf take{0, -1, 0};
    ASSERT_EQ(semop(semid, &take, 1), 0);
    relay.socket.disconnectFromHost();
    EXPECT_TRUE(waitUntil([&] { return !service.isConnected() && semctl(semid, 0, GETVAL) == 1; }));
    net.reset();
    shmid_ds gone{};
    EXPECT_EQ(shmctl(shmid, IPC_STAT, &gone), -1);
    EXPECT_EQ(semctl(semid, 0, GETVAL), -1);
}

}  // namespace

TEST(NetTables, CardsWithoutLoopbackAndEveryMac)
{
    const QMap<QString, QStringList> cards = CNT_Net::getNewNetCardInfo();
    EXPECT_FALSE(cards.contains(QStringLiteral("lo")));
    static const QRegularExpression dotted(QStringLiteral("^\\d+\\.\\d+\\.\\d+\\.\\d+$"));
    for (const QStringList &entry : cards) {
        ASSERT_EQ(entry.size(), 3);
        for (const QString &address : entry)
            EXPECT_TRUE(dotted.match(address).hasMatch()) << address.toStdString();
    }
    const QMap<QString, QString> macs = CNT_Net::getNetMac();
    EXPECT_EQ(macs.value(QStringLiteral("lo")), QStringLiteral("00:00:00:00:00:00"));
    for (const QString &card : cards.keys())
        EXPECT_TRUE(macs.contains(card)) << card.toStdString();
}
