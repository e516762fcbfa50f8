// The network statistics: the totals' arithmetic, the failed-region tree and its file, the stop
// times, a damaged file set aside, and the per-cycle message.
#include "net/netstatistics.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

namespace {

QJsonObject parse(const QByteArray &json) { return QJsonDocument::fromJson(json).object(); }

TEST(NetStatistics, TotalsFromTheCyclesCounters)
{
    const qint64 start = 1767225600000;
    const struct
    {
        const char *name;
        qint64 total0, ng0, total1, ng1;
        qint64 stoppedMinutes;
        qint64 cavities;
        qint64 watched, cycles, ng, rate, good, okRate1;
    } rows[] = {
        {"nothing counted", 0, 0, 0, 0, 0, 4, 600000, 0, 0, 0, 0, 0},
        {"largest camera counts", 100, 3, 90, 7, 0, 4, 600000, 100, 7, 700, 372, 9222},
        {"stopped minutes are minutes", 100, 0, 0, 0, 2, 1, 480000, 100, 0, 0, 100, 0},
        {"NG x 10000 beyond 32 bits", 400000, 300000, 0, 0, 0, 2, 600000, 400000, 300000, 7500, 200000, 0},
        {"stops longer than the watch", 10, 1, 0, 0, 60, 1, 0, 10, 1, 1000, 9, 0},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        QTemporaryDir dir;
        NetStatistics stats(dir.filePath(QStringLiteral("Statistics")));
        stats.InitStatistics(start);
        stats.ChkandAddStaticticsItem(1, 0, 4);
        StatisticsInputs in;
        in.now = start + 600000;
        in.stoppedMinutes = row.stoppedMinutes;
        in.total = {row.total0, row.total1};
        in.ng = {row.ng0, row.ng1};
        in.cavities = row.cavities;
        in.planned = 5000;
        in.serial = 12;
        in.cyclePeriodTenths = 85;
        in.productName = QStringLiteral("盖子");
        ASSERT_TRUE(stats.update(in));
        const CNT_Path_Statistics &r = stats.record();
        EXPECT_EQ(r.utc_watch_total, row.watched);
        EXPECT_EQ(r.watch_count_total, row.cycles);
        EXPECT_EQ(r.ng_count_total, row.ng);
        EXPECT_EQ(r.ng_notification_rate, row.rate);
        EXPECT_EQ(r.real_produce, row.good);
        EXPECT_EQ(r.watch_circle, 8500);
        EXPECT_EQ(r.product_serial, QStringLiteral("12"));
        const CNT_Path_Statistics_Detect &d = r.camera.at(1).ng_monitors.at(0);
        EXPECT_EQ(d.monitor_times, row.total1) << "camera 2's own counts";
        EXPECT_EQ(d.not_ok_num, row.ng1);
        EXPECT_EQ(d.ok_rate, row.okRate1);
        EXPECT_EQ(d.produce, 5000);
    }
}

TEST(NetStatistics, TreeStopTimesAndFileRoundTrip)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Statistics"));
    NetStatistics stats(path);
    stats.InitStatistics(1000);
    for (int i = 0; i < 3; ++i)
        stats.ChkandAddStaticticsItem(0, 1, 7);
    stats.ChkandAddStaticticsItem(0, 1, 2);
    stats.ChkandAddStaticticsItem(8, 0, 0);  // no such camera: ignored
    const auto &detections = stats.record().camera.at(0).ng_monitors;
    EXPECT_EQ(detections.at(1).alarm.at(7).alarm_result, 3);
    EXPECT_EQ(detections.at(1).alarm.at(7).alarm_area_num, 8);
    EXPECT_EQ(detections.at(1).alarm.at(2).alarm_result, 1);
    EXPECT_EQ(stats.record().camera.size(), 1u);

    // 101 stop times keep the newest 100; the mean is theirs.
    for (int ms = 1; ms <= 101; ++ms)
        stats.CNT_AddNgTimes(ms * 1000);
    EXPECT_EQ(stats.stopSamples().size(), 100u);
    EXPECT_EQ(stats.stopSamples().front(), 2000);
    EXPECT_EQ(stats.CNT_AddCycle(), 51500);
    EXPECT_EQ(stats.record().total_stop_alarm_timelen, 101 * 102 / 2 * 1000);

    StatisticsInputs in;
    in.now = 5000;
    in.total = {10};
    in.ng = {4};
    ASSERT_TRUE(stats.update(in));
    const QByteArray body = stats.body(QStringLiteral("panel"), RunState::Detecting, 5000, QStringLiteral("./alarmimage/a.bmp"));
    const QJsonObject o = parse(body);
    EXPECT_EQ(o.keys().size(), 16);
    EXPECT_TRUE(body.startsWith("{\n\t\"device_id\":\t\"panel\",\n\t\"state\":\t\"正在检测\",\n\t\"product_name\""));
    EXPECT_EQ(o.value("ng_image").toString(), QStringLiteral("./alarmimage/a.bmp"));
    const QJsonObject camera = o.value("camera").toObject().value("ng").toArray()[0].toObject();
    EXPECT_EQ(camera.value("camera_id").toString(), QStringLiteral("1"));
    EXPECT_EQ(camera.value("now_monitor_period").toInt(), 101000);
    EXPECT_EQ(camera.value("average_monitor_period").toInt(), 51500);
    const QJsonArray list = camera.value("ng_monitors").toArray();
    ASSERT_EQ(list.size(), 2) << "detection 1 keeps its place behind an empty detection 0";
    EXPECT_EQ(list[1].toObject().value("alarm").toArray().size(), 2);
    EXPECT_EQ(list[1].toObject().value("not_ok_rate").toInt(), 4000);

    // Written whole off the caller's thread; read back whole, the tree in its places.
    stats.save(body);
    stats.flush();
    NetStatistics again(path);
    again.InitStatistics(9999);
    ASSERT_TRUE(again.record().valid);
    EXPECT_EQ(again.record().start_utc, 1000);
    EXPECT_EQ(again.record().camera.at(0).ng_monitors.at(1).alarm.at(7).alarm_result, 3);
    EXPECT_TRUE(again.record().camera.at(0).ng_monitors.at(0).alarm.empty());
}

TEST(NetStatistics, DamagedFilesAreSetAsideAndLargeOnesReadWhole)
{
    NetStatistics model(QStringLiteral("unused"));
    model.InitStatistics(1000);
    for (int region = 0; region < 50; ++region)
        for (int camera = 0; camera < 4; ++camera)
            model.ChkandAddStaticticsItem(camera, 1, region);
    const QByteArray whole = model.body(QStringLiteral("panel"), RunState::Stopped, 2000, QStringLiteral("null"));
    ASSERT_GT(whole.size(), 8192) << "larger than the old read limit";
    QByteArray noCircle = whole;
    noCircle.replace("\"watch_circle\"", "\"watch_circle_\"");
    QByteArray badCamera = whole;
    badCamera.replace("\"camera_id\":\t\"4\"", "\"camera_id\":\t\"9\"");

    const struct
    {
        const char *name;
        QByteArray contents;
        bool loaded;
    } rows[] = {
        {"whole file", whole, true},
        {"without watch_circle", noCircle, false},
        {"not JSON", whole.left(5000), false},
        {"camera 9", badCamera, false},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("Statistics"));
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(row.contents);
        file.close();
        NetStatistics stats(path);
        stats.InitStatistics(7777);
        EXPECT_EQ(stats.record().valid, row.loaded);
        EXPECT_EQ(QFile::exists(path), row.loaded);
        const QStringList aside = QDir(dir.path()).entryList({QStringLiteral("Statistics.bad-*")});
        EXPECT_EQ(aside.size(), row.loaded ? 0 : 1) << "kept for the service staff, not deleted";
        EXPECT_EQ(stats.record().start_utc, row.loaded ? 1000 : 7777);
        EXPECT_EQ(stats.record().camera.size(), row.loaded ? 4u : 0u);
        if (row.loaded)
            EXPECT_EQ(stats.record().camera.at(3).ng_monitors.at(1).alarm.size(), 50u);
    }
}

TEST(NetStatistics, OneCycleMessage)
{
    NetMessages::CycleReport report;
    report.host = QStringLiteral("panel");
    report.utc = 42;
    report.triggerKind = -2;
    report.serial = 7;
    report.ng = true;
    report.cameras = 2;
    report.total = {10, 20};
    report.ngCount = {1, 2};
    const QList<NetRegionResult> results = {
        {1, 0, 0, 6, 80, 70, 100, false}, {0, 0, 3, 0, 500, 0, 300, true}, {1, 1, 2, 1, 3, 1, 2, true},
        {1, 0, 1, 0, 0, 0, 300, false},   {2, 0, 0, 0, 0, 0, 0, true},  // camera 3 is not there
    };
    const QJsonObject o = parse(NetMessages::StatisticsOnceBody(report, results));
    EXPECT_EQ(o.value("detect_method").toString(), QStringLiteral("模腔手动抓拍"));
    EXPECT_EQ(o.value("product_serial").toString(), QStringLiteral("7"));
    EXPECT_EQ(o.value("result").toInt(), 1);
    const QJsonArray cameras = o.value("array").toArray();
    ASSERT_EQ(cameras.size(), 2);
    const QJsonObject first = cameras[0].toObject();
    EXPECT_EQ(first.value("camera_id").toInt(), 2) << "in order of first appearance";
    EXPECT_EQ(first.value("device_all").toInt(), 20);
    const QJsonArray detects = first.value("detect_array").toArray();
    ASSERT_EQ(detects.size(), 2);
    EXPECT_EQ(detects[0].toObject().value("roi_array").toArray().size(), 2);
    const QJsonObject roi = detects[1].toObject().value("roi_array").toArray()[0].toObject();
    EXPECT_EQ(roi.value("roi_id").toInt(), 3);
    EXPECT_EQ(roi.value("algorithm_premax").toInt(), 2);
    EXPECT_EQ(roi.value("is_alarm").toInt(), 1);
    EXPECT_STREQ(NetMessages::DetectMethod(7), "");
    EXPECT_STREQ(NetMessages::DetectMethod(1), "开模到位");
}

}  // namespace
