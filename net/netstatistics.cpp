#include "net/netstatistics.h"

#include <glog/logging.h>
#include <cjson/cJSON.h>

#include <QFileInfo>
#include <QThreadPool>

#include <algorithm>
#include <memory>
#include <numeric>

namespace {

using Json = std::unique_ptr<cJSON, decltype(&cJSON_Delete)>;

void add(cJSON *o, const char *name, qint64 value) { cJSON_AddNumberToObject(o, name, double(value)); }
void add(cJSON *o, const char *name, const QString &value) { cJSON_AddStringToObject(o, name, value.toUtf8().constData()); }

QByteArray print(const cJSON *o)
{
    char *text = cJSON_Print(o);
    QByteArray bytes(text ? text : "");
    cJSON_free(text);
    return bytes;
}

bool number(const cJSON *o, const char *name, qint64 *value)
{
    const cJSON *item = cJSON_GetObjectItemCaseSensitive(o, name);
    if (!cJSON_IsNumber(item))
        return false;
    *value = qint64(item->valuedouble);
    return true;
}

bool text(const cJSON *o, const char *name, QString *value)
{
    const cJSON *item = cJSON_GetObjectItemCaseSensitive(o, name);
    if (!cJSON_IsString(item))
        return false;
    *value = QString::fromUtf8(item->valuestring);
    return true;
}

// Part of a rate in 1/10000; 0 of nothing.
qint64 rate(qint64 part, qint64 whole) { return whole > 0 ? part * 10000 / whole : 0; }

bool readAlarm(const cJSON *o, CNT_Path_Statistics_Alarm *alarm)
{
    qint64 area = 0;
    if (!(number(o, "alarm_area_num", &area) && text(o, "alarm_algorithm_type", &alarm->alarm_algorithm_type)
          && number(o, "alarm_result", &alarm->alarm_result)))
        return false;
    alarm->alarm_area_num = int(area);
    return area >= 1 && area <= NetStatistics::kRegions;
}

bool readDetect(const cJSON *o, CNT_Path_Statistics_Detect *d)
{
    if (!(number(o, "time", &d->time) && number(o, "ng_sum", &d->ng_sum) && number(o, "produce", &d->produce)
          && number(o, "monitor_times", &d->monitor_times) && number(o, "ok_num", &d->ok_num)
          && number(o, "ok_rate", &d->ok_rate) && number(o, "not_ok_num", &d->not_ok_num)
          && number(o, "not_ok_rate", &d->not_ok_rate)))
        return false;
    const cJSON *alarms = cJSON_GetObjectItemCaseSensitive(o, "alarm");
    if (!cJSON_IsArray(alarms))
        return false;
    const cJSON *item = nullptr;
    cJSON_ArrayForEach(item, alarms) {
        CNT_Path_Statistics_Alarm alarm;
        if (!readAlarm(item, &alarm))
            return false;
        d->alarm[alarm.alarm_area_num - 1] = alarm;
    }
    return true;
}

bool readCamera(const cJSON *o, int *position, CNT_Path_Statistics_Camera *c)
{
    if (!(text(o, "camera_id", &c->camera_id) && number(o, "disalarm_timeout_time", &c->disalarm_timeout_time)
          && number(o, "last_monitor_period", &c->last_monitor_period)
          && number(o, "now_monitor_period", &c->now_monitor_period)
          && number(o, "average_monitor_period", &c->average_monitor_period)))
        return false;
    bool ok = false;
    *position = c->camera_id.toInt(&ok) - 1;
    if (!ok || *position < 0 || *position >= NetStatistics::kCameras)
        return false;
    const cJSON *detects = cJSON_GetObjectItemCaseSensitive(o, "ng_monitors");
    if (!cJSON_IsArray(detects) || cJSON_GetArraySize(detects) > NetStatistics::kDetections)
        return false;
    int detection = 0;
    const cJSON *item = nullptr;
    cJSON_ArrayForEach(item, detects) {
        if (!readDetect(item, &c->ng_monitors[detection++]))
            return false;
    }
    return true;
}

}  // namespace

NetStatistics::NetStatistics(const QString &path) : m_path(path) {}

NetStatistics::~NetStatistics() { flush(); }

void NetStatistics::InitStatistics(qint64 now)
{
    m_record = CNT_Path_Statistics();
    m_record.start_utc = now;
    if (!QFileInfo::exists(m_path))
        return;
    QByteArray bytes;
    const bool whole = NetMessages::ReadWhole(m_path, &bytes);
    const Json root(whole ? cJSON_ParseWithLength(bytes.constData(), size_t(bytes.size())) : nullptr, &cJSON_Delete);
    CNT_Path_Statistics r;
    const cJSON *o = root.get();
    bool ok = cJSON_IsObject(o) && text(o, "product_name", &r.product_name)
              && text(o, "product_serial", &r.product_serial) && number(o, "products_num", &r.products_num)
              && number(o, "start_utc", &r.start_utc) && number(o, "real_produce", &r.real_produce)
              && number(o, "utc_watch_total", &r.utc_watch_total)
              && number(o, "total_stop_alarm_timelen", &r.total_stop_alarm_timelen)
              && number(o, "watch_count_total", &r.watch_count_total) && number(o, "ng_count_total", &r.ng_count_total)
              && number(o, "ng_notification_rate", &r.ng_notification_rate) && number(o, "watch_circle", &r.watch_circle);
    const cJSON *cameras = ok ? cJSON_GetObjectItemCaseSensitive(cJSON_GetObjectItemCaseSensitive(o, "camera"), "ng") : nullptr;
    ok = ok && cJSON_IsArray(cameras);
    const cJSON *item = nullptr;
    if (ok) {
        cJSON_ArrayForEach(item, cameras) {
            CNT_Path_Statistics_Camera camera;
            int position = -1;
            if (!readCamera(item, &position, &camera)) {
                ok = false;
                break;
            }
            r.camera[position] = camera;
        }
    }
    if (!ok) {
        LOG(WARNING) << "CNT: " << m_path.toStdString() << " is damaged; the statistics start afresh";
        NetMessages::SetAside(m_path);
        return;
    }
    r.valid = true;
    m_record = r;
}

void NetStatistics::ChkandAddStaticticsItem(int camera, int detection, int region)
{
    if (camera < 0 || camera >= kCameras || detection < 0 || detection >= kDetections || region < 0 || region >= kRegions)
        return;
    CNT_Path_Statistics_Camera &c = m_record.camera[camera];
    c.camera_id = QString::number(camera + 1);
    // The file keeps the detections as a list: the ones before this one are filled in.
    for (int d = 0; d <= detection; ++d)
        c.ng_monitors[d];
    auto [it, added] = c.ng_monitors[detection].alarm.try_emplace(region);
    CNT_Path_Statistics_Alarm &alarm = it->second;
    alarm.alarm_area_num = region + 1;
    alarm.alarm_result = added ? 1 : alarm.alarm_result + 1;
}

void NetStatistics::CNT_AddNgTimes(qint64 ms)
{
    m_record.total_stop_alarm_timelen += ms;
    m_samples.push_back(ms);
    while (m_samples.size() > size_t(kSamples))
        m_samples.pop_front();
}

qint64 NetStatistics::CNT_AddCycle()
{
    while (m_samples.size() > size_t(kSamples))
        m_samples.pop_front();
    if (m_samples.empty())
        return 0;
    return std::accumulate(m_samples.begin(), m_samples.end(), qint64(0)) / qint64(m_samples.size());
}

bool NetStatistics::update(const StatisticsInputs &in)
{
    for (const auto &[camera, c] : m_record.camera) {
        if (camera < 0 || camera >= kCameras || (!c.ng_monitors.empty() && c.ng_monitors.rbegin()->first >= kDetections)) {
            LOG(WARNING) << "CNT: the statistics tree is damaged; they start afresh";
            NetMessages::SetAside(m_path);
            m_record = CNT_Path_Statistics();
            m_record.start_utc = in.now;
            return false;
        }
    }
    CNT_Path_Statistics &r = m_record;
    // Manual stops are kept in minutes.
    r.utc_watch_total = std::max<qint64>(0, in.now - r.start_utc - in.stoppedMinutes * 60000);
    r.watch_count_total = *std::max_element(in.total.begin(), in.total.end());
    r.ng_count_total = *std::max_element(in.ng.begin(), in.ng.end());
    r.ng_notification_rate = rate(r.ng_count_total, r.watch_count_total);
    r.real_produce = std::max<qint64>(0, r.watch_count_total - r.ng_count_total) * in.cavities;
    r.watch_circle = in.cyclePeriodTenths * 100;
    const qint64 last = m_samples.empty() ? 0 : m_samples.back();
    const qint64 mean = CNT_AddCycle();
    for (auto &[camera, c] : r.camera) {
        c.disalarm_timeout_time = 1;
        c.last_monitor_period = r.total_stop_alarm_timelen;
        c.now_monitor_period = last;
        c.average_monitor_period = mean;
        const qint64 total = in.total[camera], ng = in.ng[camera];
        for (auto &[detection, d] : c.ng_monitors) {
            d.ng_sum = d.not_ok_num = ng;
            d.monitor_times = total;
            d.ok_num = total - ng;
            d.ok_rate = rate(total - ng, total);
            d.not_ok_rate = rate(ng, total);
            d.produce = in.planned;
        }
    }
    r.product_name = in.productName;
    r.product_serial = QString::number(in.serial);
    r.products_num = in.planned;
    return true;
}

QByteArray NetStatistics::body(const QString &host, RunState state, qint64 utc, const QString &ngImage) const
{
    const CNT_Path_Statistics &r = m_record;
    Json root(cJSON_CreateObject(), &cJSON_Delete);
    cJSON *o = root.get();
    add(o, "device_id", host);
    add(o, "state", QString::fromUtf8(NetMessages::RunStateText(state)));
    add(o, "product_name", r.product_name);
    add(o, "product_serial", r.product_serial);
    add(o, "products_num", r.products_num);
    add(o, "start_utc", r.start_utc);
    add(o, "real_produce", r.real_produce);
    add(o, "utc_watch_total", r.utc_watch_total);
    add(o, "total_stop_alarm_timelen", r.total_stop_alarm_timelen);
    add(o, "watch_count_total", r.watch_count_total);
    add(o, "ng_count_total", r.ng_count_total);
    add(o, "ng_notification_rate", r.ng_notification_rate);
    add(o, "watch_circle", r.watch_circle);
    add(o, "utc", utc);
    add(o, "ng_image", ngImage);
    cJSON *cameras = cJSON_AddArrayToObject(cJSON_AddObjectToObject(o, "camera"), "ng");
    for (const auto &[position, c] : r.camera) {
        cJSON *co = cJSON_CreateObject();
        add(co, "camera_id", c.camera_id);
        add(co, "disalarm_timeout_time", c.disalarm_timeout_time);
        add(co, "last_monitor_period", c.last_monitor_period);
        add(co, "now_monitor_period", c.now_monitor_period);
        add(co, "average_monitor_period", c.average_monitor_period);
        cJSON *detects = cJSON_AddArrayToObject(co, "ng_monitors");
        const int count = c.ng_monitors.empty() ? 0 : c.ng_monitors.rbegin()->first + 1;
        for (int detection = 0; detection < count; ++detection) {
            const auto found = c.ng_monitors.find(detection);
            const CNT_Path_Statistics_Detect d = found == c.ng_monitors.end() ? CNT_Path_Statistics_Detect() : found->second;
            cJSON *dobj = cJSON_CreateObject();
            add(dobj, "time", d.time);
            add(dobj, "ng_sum", d.ng_sum);
            add(dobj, "produce", d.produce);
            add(dobj, "monitor_times", d.monitor_times);
            add(dobj, "ok_num", d.ok_num);
            add(dobj, "ok_rate", d.ok_rate);
            add(dobj, "not_ok_num", d.not_ok_num);
            add(dobj, "not_ok_rate", d.not_ok_rate);
            cJSON *alarms = cJSON_AddArrayToObject(dobj, "alarm");
            for (const auto &[region, a] : d.alarm) {
                cJSON *ao = cJSON_CreateObject();
                add(ao, "alarm_area_num", qint64(a.alarm_area_num));
                add(ao, "alarm_algorithm_type", a.alarm_algorithm_type);
                add(ao, "alarm_result", a.alarm_result);
                cJSON_AddItemToArray(alarms, ao);
            }
            cJSON_AddItemToArray(detects, dobj);
        }
        cJSON_AddItemToArray(cameras, co);
    }
    return print(o);
}

void NetStatistics::save(const QByteArray &json)
{
    std::lock_guard lock(m_mutex);
    m_pending = json;
    m_hasPending = true;
    if (m_writing)
        return;  // the writer at work takes the newest text next
    m_writing = true;
    QThreadPool::globalInstance()->start([this] { writeLoop(); });
}

void NetStatistics::writeLoop()
{
    std::unique_lock lock(m_mutex);
    while (m_hasPending) {
        const QByteArray json = std::move(m_pending);
        m_hasPending = false;
        lock.unlock();
        if (!NetMessages::WriteWhole(m_path, json))
            LOG(WARNING) << "CNT: " << m_path.toStdString() << " could not be written";
        lock.lock();
    }
    m_writing = false;
    m_written.notify_all();
}

void NetStatistics::flush()
{
    std::unique_lock lock(m_mutex);
    m_written.wait(lock, [this] { return !m_writing; });
}

namespace NetMessages {

const char *DetectMethod(int triggerKind)
{
    switch (triggerKind) {
    case 1: return "开模到位";
    case 2: return "安全门";
    case 3: return "顶针";
    case -2: return "模腔手动抓拍";
    case -1: return "成品手动抓拍";
    default: return "";
    }
}

QByteArray StatisticsOnceBody(const CycleReport &report, const QList<NetRegionResult> &results)
{
    Json root(cJSON_CreateObject(), &cJSON_Delete);
    cJSON *o = root.get();
    add(o, "device_id", report.host);
    add(o, "utc", report.utc);
    add(o, "state", QString::fromUtf8(RunStateText(report.state)));
    add(o, "detect_method", QString::fromUtf8(DetectMethod(report.triggerKind)));
    add(o, "product_name", report.productName);
    add(o, "product_serial", QString::number(report.serial));
    add(o, "product_num", report.planned);
    add(o, "product_moldcavity", report.cavities);
    add(o, "product_operator", report.operatorName);
    add(o, "result", qint64(report.ng ? 1 : 0));
    cJSON *cameras = cJSON_AddArrayToObject(o, "array");
    // Cameras, and the detections of each, in the order they first appear.
    std::map<int, cJSON *> cameraDetects;
    std::map<std::pair<int, int>, cJSON *> regionLists;
    for (const NetRegionResult &r : results) {
        if (r.camera < 0 || r.camera >= std::min(report.cameras, NetStatistics::kCameras) || r.detection < 0
            || r.detection >= NetStatistics::kDetections)
            continue;
        cJSON *&detects = cameraDetects[r.camera];
        if (!detects) {
            cJSON *co = cJSON_CreateObject();
            add(co, "camera_id", qint64(r.camera + 1));
            add(co, "device_ng", report.ngCount[r.camera]);
            add(co, "device_all", report.total[r.camera]);
            detects = cJSON_AddArrayToObject(co, "detect_array");
            cJSON_AddItemToArray(cameras, co);
        }
        cJSON *&regions = regionLists[{r.camera, r.detection}];
        if (!regions) {
            cJSON *dobj = cJSON_CreateObject();
            add(dobj, "detect_id", qint64(r.detection + 1));
            regions = cJSON_AddArrayToObject(dobj, "roi_array");
            cJSON_AddItemToArray(detects, dobj);
        }
        cJSON *ro = cJSON_CreateObject();
        add(ro, "roi_id", qint64(r.region + 1));
        add(ro, "algorithm_type", qint64(r.function));
        add(ro, "algorithm_result", qint64(r.value));
        add(ro, "algorithm_premin", qint64(r.lower));
        add(ro, "algorithm_premax", qint64(r.upper));
        add(ro, "is_alarm", qint64(r.alarm ? 1 : 0));
        cJSON_AddItemToArray(regions, ro);
    }
    return print(o);
}

}  // namespace NetMessages
