// The network screen's rules: server rows, Wi-Fi values and file, the relay's lists, link check.
#include "net/netsettings.h"

#include "core/systemgateway.h"

#include <gtest/gtest.h>

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>

using namespace NetSettings;

namespace {

void makeSysconf(const QString &path, bool withFileRows)
{
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("make"));
        db.setDatabaseName(path);
        ASSERT_TRUE(db.open());
        QSqlQuery q(db);
        q.exec(QStringLiteral("CREATE TABLE info_sysconf (信息名称 TEXT PRIMARY KEY, 值 TEXT)"));
        q.exec(QStringLiteral("INSERT INTO info_sysconf VALUES ('serverip_info', '10.0.0.1'), ('serverport_info', '8088')"));
        if (withFileRows)
            q.exec(QStringLiteral("INSERT INTO info_sysconf VALUES ('serverip_file', '10.0.0.2'), ('serverport_file', '9000')"));
    }
    QSqlDatabase::removeDatabase(QStringLiteral("make"));
}

}  // namespace

TEST(NetSettings, AddressesAndPorts)
{
    const struct
    {
        const char *text, *address;
    } addresses[] = {{"192.168.1.20", "192.168.1.20"}, {" 010.0.0.7 ", "10.0.0.7"}, {"0.0.0.0", ""},
                     {"255.255.255.255", ""}, {"256.1.1.1", ""}, {"1.2.3", ""}, {"1.2.3.4'; drop", ""},
                     {"", ""}, {"plant-server", ""}};
    for (const auto &c : addresses)
        EXPECT_EQ(NormalAddress(QString::fromUtf8(c.text)), QString::fromUtf8(c.address)) << c.text;
    const struct
    {
        const char *text;
        bool ok;
    } ports[] = {{"1", true}, {"65535", true}, {"0", false}, {"65536", false}, {"-1", false}, {"80a", false},
                 {"", false}, {"8088 or 1=1", false}};
    for (const auto &c : ports)
        EXPECT_EQ(ValidPort(QString::fromUtf8(c.text)), c.ok) << c.text;
}

// The rows are read and written with bound values; a refused value writes nothing, a missing row
// stays missing, a missing file is not created.
TEST(NetSettings, ServerRowsRoundTrip)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("sysconf.db"));
    QString error;
    Server server{QStringLiteral("keep"), QStringLiteral("keep"), QStringLiteral("keep"), QStringLiteral("keep")};
    EXPECT_EQ(ReadServer(path, &server, &error), DbResult::Missing);
    EXPECT_EQ(WriteServer(path, {"10.1.1.1", "1", "10.1.1.2", "2"}, &error), DbResult::Missing);
    EXPECT_FALSE(QFile::exists(path));

    makeSysconf(path, false);
    ASSERT_EQ(ReadServer(path, &server, &error), DbResult::Ok);
    EXPECT_EQ(server.infoIp, QStringLiteral("10.0.0.1"));
    EXPECT_EQ(server.infoPort, QStringLiteral("8088"));
    EXPECT_EQ(server.fileIp, QStringLiteral("keep"));  // no row: the field stays

    QString bad;
    EXPECT_EQ(WriteServer(path, {"10.0.0.9", "80", "10.0.0.9'--", "80"}, &error, &bad), DbResult::InvalidAddress);
    EXPECT_EQ(bad, QStringLiteral("10.0.0.9'--"));
    EXPECT_EQ(WriteServer(path, {"10.0.0.9", "80", "10.0.0.8", "0"}, &error), DbResult::InvalidPort);
    ASSERT_EQ(ReadServer(path, &server, &error), DbResult::Ok);
    EXPECT_EQ(server.infoIp, QStringLiteral("10.0.0.1"));

    ASSERT_EQ(WriteServer(path, {"192.168.001.5", "8090", "192.168.1.6", "8091"}, &error), DbResult::Ok);
    server = {};
    ASSERT_EQ(ReadServer(path, &server, &error), DbResult::Ok);
    EXPECT_EQ(server.infoIp, QStringLiteral("192.168.1.5"));
    EXPECT_EQ(server.infoPort, QStringLiteral("8090"));
    EXPECT_TRUE(server.fileIp.isEmpty());  // only existing rows are updated

    QFile junk(dir.filePath(QStringLiteral("junk.db")));
    ASSERT_TRUE(junk.open(QIODevice::WriteOnly));
    junk.write(QByteArray(4096, 'x'));
    junk.close();
    EXPECT_EQ(ReadServer(junk.fileName(), &server, &error), DbResult::OpenFailed);
    EXPECT_FALSE(error.isEmpty());
}

TEST(NetSettings, WifiValues)
{
    const struct
    {
        QString ssid, psk;
        WifiFault fault;
    } cases[] = {
        {QStringLiteral("Plant WLAN"), QStringLiteral("12345678"), WifiFault::None},
        {QStringLiteral("Café"), QString(63, QLatin1Char('p')), WifiFault::None},
        {QString(), QStringLiteral("12345678"), WifiFault::Ssid},
        {QString(33, QLatin1Char('s')), QStringLiteral("12345678"), WifiFault::Ssid},
        {QStringLiteral("a\"b"), QStringLiteral("12345678"), WifiFault::Ssid},
        {QStringLiteral("a\nnetwork={"), QStringLiteral("12345678"), WifiFault::Ssid},
        {QStringLiteral("车间"), QStringLiteral("12345678"), WifiFault::Ssid},
        {QStringLiteral("ok"), QStringLiteral("1234567"), WifiFault::Psk},
        {QStringLiteral("ok"), QString(64, QLatin1Char('p')), WifiFault::Psk},
        {QStringLiteral("ok"), QStringLiteral("pass\"word"), WifiFault::Psk},
        {QStringLiteral("ok"), QStringLiteral("pass\tword"), WifiFault::Psk},
        {QStringLiteral("ok"), QStringLiteral("pässword"), WifiFault::Psk},
    };
    for (const auto &c : cases)
        EXPECT_EQ(CheckWifi(c.ssid, c.psk), c.fault) << c.ssid.toStdString() << " / " << c.psk.toStdString();
}

// The file is written whole, reads back, and is copied to the system as an argument list.
TEST(NetSettings, WifiFileAndCopy)
{
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("cnt_net/wlanpwd.conf"));
    SystemGateway::clearRecorded();
    EXPECT_FALSE(SaveWifi(QStringLiteral("a\"b"), QStringLiteral("12345678"), file));
    EXPECT_FALSE(QFile::exists(file));
    EXPECT_TRUE(SystemGateway::recorded().isEmpty());

    ASSERT_TRUE(SaveWifi(QStringLiteral("Line 3 Café"), QStringLiteral("s3cret pass"), file));
    QFile in(file);
    ASSERT_TRUE(in.open(QIODevice::ReadOnly));
    const QByteArray text = in.readAll();
    EXPECT_EQ(text, QByteArray("network={\r\n\tssid=\"Line 3 Caf\xE9\"\r\n\tpsk=\"s3cret pass\"\r\n\tproto=RSN\r\n}\r\n"));
    QString ssid, psk;
    ParseWifiConf(text, &ssid, &psk);
    EXPECT_EQ(ssid, QStringLiteral("Line 3 Café"));
    EXPECT_EQ(psk, QStringLiteral("s3cret pass"));
    EXPECT_EQ(SystemGateway::recorded(), QStringList{QStringLiteral("cp -f %1 /etc/wpa_supplicant/").arg(file)});
}

TEST(NetSettings, ProductListReplies)
{
    const struct
    {
        const char *body;
        bool parses;
        QStringList names;
    } cases[] = {
        {R"({"result":[{"product_name":"A"},{"product_name":"B"}]})", true, {"A", "B"}},
        {R"({"result":[]})", true, {}},
        {R"({"result":[{"product_name":"A"},{"name":"B"}]})", false, {}},
        {R"({"result":[{"product_name":7}]})", false, {}},
        {R"({"result":{"product_name":"A"}})", false, {}},
        {R"({"other":[]})", false, {}},
        {R"([{"product_name":"A"}])", false, {}},
        {"not json", false, {}},
    };
    for (const auto &c : cases) {
        const auto names = ParseProductList(c.body);
        EXPECT_EQ(names.has_value(), c.parses) << c.body;
        if (names)
            EXPECT_EQ(*names, c.names) << c.body;
    }
    // A huge list is cut; the name shown stays on top, once.
    QByteArray huge = "{\"result\":[";
    for (int i = 0; i < 2000; ++i)
        huge += (i ? "," : "") + QByteArray("{\"product_name\":\"P") + QByteArray::number(i % 3) + "\"}";
    huge += "]}";
    const auto many = ParseProductList(huge);
    ASSERT_TRUE(many);
    EXPECT_EQ(many->size(), kMaxListItems);
    EXPECT_EQ(ProductChoices(QStringLiteral("B"), {"A", "B", "C", "B"}), (QStringList{"B", "A", "C"}));
    EXPECT_EQ(ProductChoices(QString(), {"A"}), QStringList{"A"});
}

TEST(NetSettings, ReminderListStopsAtTheFirstFaultyElement)
{
    const QByteArray body = R"({"result":[
        {"operator":"li","create_utc":0,"notify_utc":3600000,"duration":30,"reminder_name":"mould change"},
        {"operator":"wang","create_utc":"0","notify_utc":0,"duration":1,"reminder_name":"x"},
        {"operator":"zhao","create_utc":0,"notify_utc":0,"duration":1,"reminder_name":"y"}]})";
    const auto rows = ParseRemindList(body);
    ASSERT_TRUE(rows);
    ASSERT_EQ(rows->size(), 1);
    EXPECT_EQ(rows->at(0).operatorName, QStringLiteral("li"));
    EXPECT_EQ(rows->at(0).notify,
              QDateTime::fromMSecsSinceEpoch(3600000).toString(QStringLiteral("yy-MM-dd hh:mm:ss")));
    EXPECT_EQ(rows->at(0).duration, QStringLiteral("30"));
    EXPECT_EQ(rows->at(0).name, QStringLiteral("mould change"));
    EXPECT_FALSE(ParseRemindList(R"({"result":7})"));
    EXPECT_FALSE(ParseRemindList(""));
}

TEST(NetSettings, LinkCheck)
{
    const QByteArray dev = "Inter-|   Receive                            |  Transmit\n"
                           " face |bytes    packets errs drop fifo frame compressed multicast|bytes\n"
                           "    lo:    1200      12    0    0    0     0          0         0     1200\n"
                           "  eth0:123456789012  4567    0    0    0     0          0         0     99\n"
                           "wlan0:0 0 0 0 0 0 0 0 0\n";
    const QMap<QString, qint64> received = ReceivedBytes(dev);
    EXPECT_EQ(received, (QMap<QString, qint64>{{"lo", 1200}, {"eth0", 123456789012}, {"wlan0", 0}}));

    QTemporaryDir sys;
    const struct
    {
        const char *name, *flags;
        bool running;
    } cases[] = {{"eth0", "0x1043\n", true}, {"eth1", "0x1003\n", false}, {"eth2", "0x40\n", false},
                 {"eth3", "junk", false}};
    for (const auto &c : cases) {
        QDir(sys.path()).mkpath(QString::fromLatin1(c.name));
        QFile flags(sys.filePath(QStringLiteral("%1/flags").arg(QString::fromLatin1(c.name))));
        ASSERT_TRUE(flags.open(QIODevice::WriteOnly));
        flags.write(c.flags);
        flags.close();
        EXPECT_EQ(InterfaceRunning(QString::fromLatin1(c.name), sys.path()), c.running) << c.name;
    }
    EXPECT_FALSE(InterfaceRunning(QStringLiteral("missing"), sys.path()));
    EXPECT_FALSE(InterfaceRunning(QStringLiteral("../eth0"), sys.path() + QStringLiteral("/eth1")));
}

// The reset removes the records and the waiting pictures, never what a linked folder points to.
TEST(NetSettings, StatisticsResetKeepsLinkedFolders)
{
    QTemporaryDir root, elsewhere;
    QDir dir(root.path());
    dir.mkpath(QStringLiteral("cnt_net/data"));
    dir.mkpath(QStringLiteral("cnt_net/cnt_alarmimage/cam1"));
    for (const char *name : {"cnt_net/data/Statistics", "cnt_net/data/ManualStop", "cnt_net/data/Remind",
                             "cnt_net/cnt_alarmimage/cam1/a.bmp"}) {
        QFile f(dir.filePath(QString::fromLatin1(name)));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }
    QFile kept(elsewhere.filePath(QStringLiteral("kept.bmp")));
    ASSERT_TRUE(kept.open(QIODevice::WriteOnly));
    kept.close();
    ASSERT_TRUE(QFile::link(elsewhere.path(), dir.filePath(QStringLiteral("cnt_net/cnt_fail"))));

    ResetStatistics(root.path());
    EXPECT_FALSE(dir.exists(QStringLiteral("cnt_net/data/Statistics")));
    EXPECT_FALSE(dir.exists(QStringLiteral("cnt_net/data/ManualStop")));
    EXPECT_TRUE(dir.exists(QStringLiteral("cnt_net/data/Remind")));
    EXPECT_FALSE(dir.exists(QStringLiteral("cnt_net/cnt_alarmimage")));
    EXPECT_FALSE(QFileInfo(dir.filePath(QStringLiteral("cnt_net/cnt_fail"))).isSymLink());
    EXPECT_TRUE(kept.exists());
}
