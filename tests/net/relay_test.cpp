// The shipped relay, run with python3: it acknowledges, heartbeats, answers the product list from
// its store, keeps a backlog while the plant server is away and delivers it when it is back.
#include "net/network.h"

#include "core/globals.h"
#include "tests/support/stationdir.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>

namespace {

bool waitUntil(const std::function<bool()> &done, int ms = 8000)
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

// A plant data server that takes HTTP POSTs and answers 200.
struct FakePlant : QObject
{
    QTcpServer server;
    QList<QPair<QByteArray, QByteArray>> requests;  // head, body

    bool listen(quint16 port)
    {
        connect(&server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket *socket = server.nextPendingConnection()) {
                auto *buffer = new QByteArray;
                connect(socket, &QTcpSocket::readyRead, socket, [this, socket, buffer] {
                    *buffer += socket->readAll();
                    const qsizetype end = buffer->indexOf("\r\n\r\n");
                    if (end < 0)
                        return;
                    const QByteArray head = buffer->left(end);
                    const qsizetype at = head.toLower().indexOf("content-length:");
                    const int length = at < 0 ? 0 : head.mid(at + 15).split('\r').first().trimmed().toInt();
                    if (buffer->size() < end + 4 + length)
                        return;
                    requests.append({head, buffer->mid(end + 4, length)});
                    socket->write("HTTP/1.1 200 OK\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
                    socket->disconnectFromHost();
                    delete buffer;
                });
            }
        });
        return server.listen(QHostAddress::LocalHost, port);
    }
};

quint16 freePort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

TEST(Relay, ForwardsAcknowledgesHeartbeatsAndKeepsABacklog)
{
    TempStation station;
    const quint16 plantPort = freePort();
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("relaytest"));
        db.setDatabaseName(station.file(QStringLiteral("PARAM.db")));
        ASSERT_TRUE(db.open());
        QSqlQuery(db).exec(QStringLiteral("update sysparam set value='1 1 3 0 0 6 1 10000' where name='CntNet'"));
        db.close();
        db.setDatabaseName(station.file(QStringLiteral("cnt_net/sysconf.db")));
        ASSERT_TRUE(db.open());
        QSqlQuery update(db);
        update.prepare(QStringLiteral("update info_sysconf set 值=? where 信息名称='serverport_info'"));
        update.addBindValue(QString::number(plantPort));
        ASSERT_TRUE(update.exec());
    }
    QSqlDatabase::removeDatabase(QStringLiteral("relaytest"));

    NetOptions options;
    options.port = 0;
    options.heartIntervalMs = 600000;
    CNT_Net service(nullptr, options);
    ASSERT_TRUE(service.isListening());
    QFile store(QStringLiteral("cnt_net/data/relay-store.json"));
    ASSERT_TRUE(store.open(QIODevice::WriteOnly));
    store.write(R"({"products": ["ABS cap 4x"]})");
    store.close();

    QProcess relay;
    relay.setProcessChannelMode(QProcess::ForwardedChannels);
    relay.start(QStringLiteral("python3"), {QStringLiteral("./cnt_net/runNetClient.py"), QStringLiteral("--port"),
                                            QString::number(service.port()), QStringLiteral("--heartbeat"),
                                            QStringLiteral("0.3"), QStringLiteral("--retry"), QStringLiteral("0.3")});
    ASSERT_TRUE(relay.waitForStarted());
    ASSERT_TRUE(waitUntil([&] { return service.heartbeats() >= 3; })) << "the relay heartbeats";
    EXPECT_TRUE(service.isConnected());

    // The plant server is away: the record is acknowledged all the same and waits on disk.
    service.CNT_SendRecord(QDateTime::currentDateTime(), QStringLiteral("Advanced"), QStringLiteral("a&b=c 模具"));
    ASSERT_TRUE(waitUntil([&] { return service.queued() == 0; })) << "acknowledged";
    const QString backlog = QStringLiteral("cnt_net/data/relay-backlog.jsonl");
    ASSERT_TRUE(waitUntil([&] { return QFile::exists(backlog); }));

    QByteArray products;
    QObject::connect(&service, &CNT_Net::productList, [&](const QByteArray &body) { products = body; });
    service.CNT_SendGetProduct();
    ASSERT_TRUE(waitUntil([&] { return !products.isEmpty(); }));
    EXPECT_EQ(QJsonDocument::fromJson(products).object().value("products").toArray().first().toString(),
              QStringLiteral("ABS cap 4x"));

    // The server comes back: the backlog goes out, in order, and is gone.
    FakePlant plant;
    ASSERT_TRUE(plant.listen(plantPort));
    ASSERT_TRUE(waitUntil([&] { return !plant.requests.isEmpty(); }));
    const auto &[head, body] = plant.requests.first();
    EXPECT_TRUE(head.startsWith("POST /mould/message HTTP/1.1"));
    EXPECT_TRUE(head.contains("X-Mould-Type: 1"));
    const QJsonObject envelope = QJsonDocument::fromJson(body).object();
    EXPECT_EQ(envelope.value("type").toInt(), 1);
    const QJsonObject record = envelope.value("body").toObject();
    EXPECT_EQ(record.value("description").toString(), QStringLiteral("a&b=c 模具"));
    EXPECT_EQ(record.value("operater").toString(), QStringLiteral("Advanced"));
    ASSERT_TRUE(waitUntil([&] { return plant.requests.size() >= 2 && !QFile::exists(backlog); }))
        << "the record, then the product request";

    relay.terminate();
    EXPECT_TRUE(relay.waitForFinished(3000));
    EXPECT_EQ(relay.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(relay.exitCode(), 0);
}

}  // namespace
