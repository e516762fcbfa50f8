#include "net/netmessages.h"

#include "core/atomicfile.h"
#include "core/globals.h"
#include "net/netwire.h"
#include "params/wizardpara.h"
#include "vision/cammersingleton.h"

#include <cjson/cJSON.h>

#include <QFile>
#include <QFileInfo>
#include <QIODevice>
#include <QtDebug>

#include <memory>

namespace NetMessages {

namespace {

using Json = std::unique_ptr<cJSON, decltype(&cJSON_Delete)>;

Json object() { return Json(cJSON_CreateObject(), &cJSON_Delete); }

void add(cJSON *o, const char *name, double value) { cJSON_AddNumberToObject(o, name, value); }
void add(cJSON *o, const char *name, const QString &value) { cJSON_AddStringToObject(o, name, value.toUtf8().constData()); }
void add(cJSON *o, const char *name, const char *value) { cJSON_AddStringToObject(o, name, value); }

QByteArray print(const cJSON *o)
{
    char *text = cJSON_Print(o);
    QByteArray bytes(text ? text : "");
    cJSON_free(text);
    return bytes;
}

QString dotted(const int32_t octets[4])
{
    return QStringLiteral("%1.%2.%3.%4").arg(octets[0]).arg(octets[1]).arg(octets[2]).arg(octets[3]);
}

// Reads a file whole (up to the cap); false when it is missing, unreadable or too large.
bool readWhole(const QString &path, QByteArray *bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    *bytes = file.read(kMaxFileBytes + 1);
    return bytes->size() <= kMaxFileBytes;
}

// Keeps a damaged file for the service staff instead of reading or overwriting it again.
void setAside(const QString &path)
{
    const QString aside = path + QStringLiteral(".bad-") + QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-hhmmss"));
    QFile::remove(aside);
    if (QFile::rename(path, aside))
        qWarning().noquote() << "network:" << path << "could not be read; kept as" << aside;
}

Json parseFile(const QString &path, bool *present)
{
    QByteArray bytes;
    *present = QFileInfo::exists(path);
    if (!*present)
        return Json(nullptr, &cJSON_Delete);
    const bool whole = readWhole(path, &bytes);
    Json root(whole ? cJSON_ParseWithLength(bytes.constData(), size_t(bytes.size())) : nullptr, &cJSON_Delete);
    if (!root || !cJSON_IsObject(root.get())) {
        setAside(path);
        return Json(nullptr, &cJSON_Delete);
    }
    return root;
}

}  // namespace

const char *RunStateText(RunState state)
{
    switch (state) {
    case RunState::Detecting: return "正在检测";
    case RunState::Training: return "模板训练中";
    case RunState::Stopped: return "停止检测";
    }
    return "";
}

const char *ReleaseMethod(int code)
{
    static const char *const methods[] = {"不检测此模解除", "添加为模板解除", "重新检测切换到模腔检测", "进行重检检测",
                                          "重检检测OK"};
    return code >= 0 && code < 5 ? methods[code] : "";
}

QByteArray RecordBody(const QString &host, const QString &user, const QDateTime &time, const QString &text)
{
    return NetWire::Form({{QStringLiteral("device_id"), host},
                          {QStringLiteral("operater"), user},
                          {QStringLiteral("utc"), QString::number(time.toMSecsSinceEpoch())},
                          {QStringLiteral("description"), text}});
}

QByteArray ParamBody(const QString &host, const WizardPara &p, const int allCount[8], const int failCount[8],
                     const char serials[8][100])
{
    Json root = object();
    cJSON *o = root.get();
    add(o, "device_id", host);
    add(o, "finished_product_detect", p.trigInDelay[0]);
    add(o, "cavity_detect", p.trigInDelay[1]);
    add(o, "neutron_detect", p.trigInDelay[2]);
    add(o, "fourth_detect", p.trigInDelay[3]);
    add(o, "is_psw_used", p.is_psw_used);
    add(o, "password", "");
    const std::pair<const char *, int> numbers[] = {
        {"semi_auto", p.semi_auto},
        {"enabe_one_test", p.enable_product_detect},
        {"enabe_two_test", p.enabe_two_test},
        {"enable_correct", p.enable_correct},
        {"enable_stop_mold", p.enable_stop_mold},
        {"front_mold_timelen", p.front_mold_timelen},
        {"front_auto_check_time", p.front_auto_check_time},
        {"ok_record_max_num", p.ok_record_max_num},
        {"enable_watch_dog", 1},
        {"mold_cutoff", p.mold_cutoff},
        {"max_mold_num", p.max_mold_num},
        {"enable_stop_check", p.enable_stop_check},
        {"ng_max_num", p.ng_max_num},
        {"thimble_pulse", p.thimble_pulse},
        {"mold_pulse", p.mold_pulse},
        {"enable_stop_not_alarm", p.enable_stop_not_alarm},
        {"is_cut_ontime", p.is_cut_ontime},
        {"is_cut_ontime_thimble", p.is_cut_ontime_thimble},
        {"enable_cutoff_ontime", p.enable_cutoff_ontime},
        {"enable_pass_protect", p.enable_pass_protect},
        {"language", gLan},
        {"enable_mold_backup", p.enable_mold_backup},
        {"location_adge", p.location_adge},
        {"location_level", p.location_level},
        {"capture_speed", p.capture_speed},
        {"input_timeout_len", p.input_timeout_len},
        {"enable_output_thimble_pulse", p.enable_output_thimble_pulse},
        {"enable_disarm_before_open", p.enable_disarm_before_open},
        {"difference_multiplier", p.difference_multiplier},
        {"enable_defect_detect", p.enable_defect_detect},
        {"enable_spot_detect", p.enable_spot_detect},
        {"enable_ignore_area", p.enable_ignore_area},
        {"enable_manual_edit", p.enable_manual_edit},
        {"enable_display_detail", p.enable_display_detail},
        {"auto_cancel_timelen", p.auto_cancel_timelen},
        {"enable_one_not_mold", p.enable_one_not_mold},
        {"enable_trigger_safety", p.enable_trigger_safety},
        {"enable_network", p.enable_network},
    };
    for (const auto &[name, value] : numbers)
        add(o, name, value);
    const QString none = QStringLiteral("0.0.0.0");
    add(o, "local_addr_1", dotted(p.local_addr));
    for (const char *name : {"local_addr_2", "local_addr_3", "local_addr_4"})
        add(o, name, none);
    add(o, "mask_1", dotted(p.mask));
    for (const char *name : {"mask_2", "mask_3", "mask_4"})
        add(o, name, none);
    add(o, "gateway_1", dotted(p.gateway));
    for (const char *name : {"gateway_2", "gateway_3", "gateway_4"})
        add(o, name, none);
    const std::pair<const char *, int> tail[] = {
        {"minimum_size", p.minimum_size},
        {"minimum_area", p.minimum_area},
        {"serial_port", p.serial_port},
        {"enable_color_camera", p.enable_color_camera},
        {"enable_gray_channel", p.enable_gray_channel},
        {"snap_shot", p.snap_shot},
        {"min_spot", p.enable_stop_check},
        {"factory_param", p.factory_param},
        {"report_alarm", p.output_level[2]},
        {"prohibit_optimize", p.prohibit_optimize},
    };
    for (const auto &[name, value] : tail)
        add(o, name, value);
    cJSON *cameras = cJSON_AddArrayToObject(o, "camera");
    for (int c = 0; c < 8; ++c) {
        cJSON *camera = cJSON_CreateObject();
        add(camera, "camera_id", QString::number(c + 1));
        add(camera, "expose_time", p.expose_time[c]);
        add(camera, "adjust_plus", p.adjust_plus[c]);
        add(camera, "num_fail_detect", failCount[c]);
        add(camera, "num_all_detect", allCount[c]);
        add(camera, "sharp", p.sharp[c]);
        add(camera, "contrast", p.contrast[c]);
        add(camera, "camera_serial", QString::fromLatin1(serials[c], int(qstrnlen(serials[c], 100))));
        cJSON_AddItemToArray(cameras, camera);
    }
    return print(o);
}

QByteArray ROIParamBody(const QString &host, const CammerSingleton &r, int d)
{
    Json root = object();
    cJSON *o = root.get();
    add(o, "device_id", host);
    add(o, "camera_id", QString::number(r.camNo + 1));
    add(o, "detect", d + 1);
    const int count = (d >= 0 && d < kMaxDetect) ? std::clamp(r.roiNum[d], 0, kMaxRoi) : 0;
    add(o, "count", count);
    cJSON *rois = cJSON_AddArrayToObject(o, "roi");
    for (int i = 0; i < count; ++i) {
        cJSON *roi = cJSON_CreateObject();
        add(roi, "roi_idx", i + 1);
        add(roi, "min_size", r.roiPara1[d][i]);
        add(roi, "sensibility", r.roiPara2[d][i]);
        add(roi, "max_area", r.roiPara3[d][i]);
        add(roi, "algorithm", r.roiFunc[d][i]);
        add(roi, "output_point", r.roiOut[i]);
        QList<QPoint> points;
        int type = -1;
        int inner = 0;
        int outer = 0;
        switch (r.roiType[d][i]) {
        case ShapeRect:
            type = 0;
            points = {r.rect[d][i].topLeft(), r.rect[d][i].bottomRight()};
            break;
        case ShapeCircle:
            type = 1;
            points = {r.circle[d][i].center()};
            inner = r.circle[d][i].innerRadius();
            outer = r.circle[d][i].outerRadius();
            break;
        case ShapePolygon:
            type = 2;
            for (const QPoint &p : r.polygon[d][i].points())
                points << p;
            break;
        default:
            break;
        }
        add(roi, "roi_type", type);
        add(roi, "top_point_count", points.size());
        for (int k = 0; k < points.size(); ++k) {
            add(roi, QByteArray("top_" + QByteArray::number(k) + "_x").constData(), points[k].x());
            add(roi, QByteArray("top_" + QByteArray::number(k) + "_y").constData(), points[k].y());
        }
        add(roi, "in_r", inner);
        add(roi, "out_r", outer);
        cJSON_AddItemToArray(rois, roi);
    }
    return print(o);
}

QByteArray DelTempPicBody(const QString &host, int camera, int detection, const QString &name, qint64 utc,
                          const QString &user)
{
    return NetWire::Form({{QStringLiteral("deviceId"), host},
                          {QStringLiteral("cameraId"), QString::number(camera)},
                          {QStringLiteral("detectId"), QString::number(detection)},
                          {QStringLiteral("template"), name},
                          {QStringLiteral("utc"), QString::number(utc)},
                          {QStringLiteral("operator"), user}});
}

QByteArray ManualStopBody(const QString &host, CNT_Path_ManualStop &stop, bool stopped, RunState state,
                          const QDateTime &now, const QString &user)
{
    const QString hhmm = QStringLiteral("hh:mm");
    if (stopped) {
        stop.utc = now.toMSecsSinceEpoch();
        stop.stop_check_timeslot = now.toString(hhmm) + QStringLiteral("---:--");
    } else if (stop.stop_check_timeslot.contains(QStringLiteral("--:--"))) {
        stop.stop_check_timelen += (now.toMSecsSinceEpoch() - stop.utc) / 60000;
        stop.stop_check_timeslot = QDateTime::fromMSecsSinceEpoch(stop.utc).toString(hhmm) + QLatin1Char('-') + now.toString(hhmm);
    }
    stop.operator_id = user;
    stop.disalarm_operator_id = user;
    Json root = object();
    cJSON *o = root.get();
    add(o, "device_id", host);
    add(o, "state", state == RunState::Stopped ? 1 : state == RunState::Detecting ? 0 : 2);
    add(o, "utc", double(stop.utc));
    add(o, "stop_check_timeslot", stop.stop_check_timeslot);
    add(o, "stop_check_timelen", double(stop.stop_check_timelen));
    add(o, "timeout_time", double(stop.timeout_time));
    add(o, "operator_id", stop.operator_id);
    add(o, "disalarm_operator_id", stop.disalarm_operator_id);
    add(o, "stop_check_reason", stop.stop_check_reason);
    return print(o);
}

QByteArray RemindBody(const QString &host, const CNT_Path_Remind &r)
{
    Json root = object();
    cJSON *o = root.get();
    add(o, "device_id", host);
    add(o, "utc", double(r.utc));
    add(o, "notification_utc", double(r.notification_utc));
    add(o, "duration", double(r.duration));
    add(o, "description", r.description);
    add(o, "operator_id", r.operator_id);
    return print(o);
}

QByteArray DelRemindBody(const QString &host, qint64 utc)
{
    Json root = object();
    add(root.get(), "device_id", host);
    add(root.get(), "utc", double(utc));
    return print(root.get());
}

QByteArray NgVideoBody(const QString &host, int camera, const QString &product, int isng)
{
    return NetWire::Form({{QStringLiteral("device_id"), host},
                          {QStringLiteral("camera_id"), QString::number(camera)},
                          {QStringLiteral("product"), product},
                          {QStringLiteral("isng"), QString::number(isng)}});
}

QByteArray TelInfoBody(const QString &host, int stage, int count, const QString &name, const QString &number)
{
    return NetWire::Form({{QStringLiteral("device_id"), host},
                          {QStringLiteral("check_id"), QString::number(stage + 1)},
                          {QStringLiteral("product_count"), QString::number(count)},
                          {QStringLiteral("worker_name"), name},
                          {QStringLiteral("mobile"), number}});
}

QByteArray RunStateBody(const QString &host, RunState state, qint64 utc)
{
    Json root = object();
    add(root.get(), "device_id", host);
    add(root.get(), "state", RunStateText(state));
    add(root.get(), "utc", double(utc));
    return print(root.get());
}

QByteArray CancelBody(const QString &host, qint64 bindUtc, qint64 utc, int releaseCode, const QString &user)
{
    Json root = object();
    cJSON *o = root.get();
    add(o, "device_id", host);
    add(o, "bind_utc", double(bindUtc));
    add(o, "utc", double(utc));
    add(o, "method", ReleaseMethod(releaseCode));
    add(o, "product_operator", user);
    return print(o);
}

CNT_Path_ManualStop LoadManualStop(const QString &path)
{
    CNT_Path_ManualStop stop;
    bool present = false;
    Json root = parseFile(path, &present);
    if (!root)
        return stop;
    auto number = [&](const char *name, qint64 *value) {
        const cJSON *item = cJSON_GetObjectItemCaseSensitive(root.get(), name);
        if (!cJSON_IsNumber(item))
            return false;
        *value = qint64(item->valuedouble);
        return true;
    };
    auto text = [&](const char *name, QString *value) {
        const cJSON *item = cJSON_GetObjectItemCaseSensitive(root.get(), name);
        if (!cJSON_IsString(item))
            return false;
        *value = QString::fromUtf8(item->valuestring);
        return true;
    };
    stop.valid = number("utc", &stop.utc) && text("stop_check_timeslot", &stop.stop_check_timeslot)
                 && number("stop_check_timelen", &stop.stop_check_timelen) && number("timeout_time", &stop.timeout_time)
                 && text("operator_id", &stop.operator_id) && text("disalarm_operator_id", &stop.disalarm_operator_id)
                 && text("stop_check_reason", &stop.stop_check_reason);
    if (!stop.valid) {
        QFile::remove(path);
        stop = {};
    }
    return stop;
}

bool ReadWhole(const QString &path, QByteArray *bytes) { return readWhole(path, bytes); }

void SetAside(const QString &path) { setAside(path); }

bool WriteWhole(const QString &path, const QByteArray &bytes)
{
    return AtomicFile::Write(path, [&](QIODevice &out) { return out.write(bytes) == bytes.size(); });
}

bool AddRemind(const QString &path, const QByteArray &remindJson)
{
    bool present = false;
    Json root = parseFile(path, &present);
    if (!root || !cJSON_IsArray(cJSON_GetObjectItemCaseSensitive(root.get(), "remind"))) {
        root = object();
        cJSON_AddArrayToObject(root.get(), "remind");
    }
    cJSON *item = cJSON_ParseWithLength(remindJson.constData(), size_t(remindJson.size()));
    if (!item)
        return false;
    cJSON_AddItemToArray(cJSON_GetObjectItemCaseSensitive(root.get(), "remind"), item);
    return WriteWhole(path, print(root.get()));
}

bool DeleteRemind(const QString &path, qint64 utc)
{
    bool present = false;
    Json root = parseFile(path, &present);
    if (!root)
        return false;
    cJSON *list = cJSON_GetObjectItemCaseSensitive(root.get(), "remind");
    if (!cJSON_IsArray(list))
        return false;
    for (int i = cJSON_GetArraySize(list) - 1; i >= 0; --i) {
        const cJSON *at = cJSON_GetObjectItemCaseSensitive(cJSON_GetArrayItem(list, i), "utc");
        if (cJSON_IsNumber(at) && qint64(at->valuedouble) == utc)
            cJSON_DeleteItemFromArray(list, i);
    }
    return WriteWhole(path, print(root.get()));
}

}  // namespace NetMessages
