// The network statistics: the running totals of type 7 with their file ./cnt_net/data/Statistics,
// the failed-region tree, the alarm stop times, and the body of the per-cycle message (type 18).
#pragma once

#include "net/netmessages.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <array>
#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>

struct CNT_Path_Statistics_Alarm
{
    int alarm_area_num = 0;  // region + 1
    QString alarm_algorithm_type = QStringLiteral("----");
    qint64 alarm_result = 0;  // times the region failed
};

// One detection of a camera. The file lists them in detection order with no gaps, so that the
// place in the list is the detection number.
struct CNT_Path_Statistics_Detect
{
    qint64 time = 0;
    qint64 ng_sum = 0;
    qint64 produce = 0;
    qint64 monitor_times = 0;
    qint64 ok_num = 0;
    qint64 ok_rate = 0;  // 1/10000
    qint64 not_ok_num = 0;
    qint64 not_ok_rate = 0;
    std::map<int, CNT_Path_Statistics_Alarm> alarm;  // by region
};

struct CNT_Path_Statistics_Camera
{
    QString camera_id = QStringLiteral("1");
    qint64 disalarm_timeout_time = 0;
    qint64 last_monitor_period = 0;
    qint64 now_monitor_period = 0;
    qint64 average_monitor_period = 0;
    std::map<int, CNT_Path_Statistics_Detect> ng_monitors;  // by detection
};

struct CNT_Path_Statistics
{
    QString product_name = QStringLiteral("no set");
    QString product_serial = QStringLiteral("1");
    qint64 products_num = 10000;
    qint64 start_utc = 0;
    qint64 real_produce = 0;
    qint64 utc_watch_total = 0;  // ms
    qint64 total_stop_alarm_timelen = 0;  // ms
    qint64 watch_count_total = 0;
    qint64 ng_count_total = 0;
    qint64 ng_notification_rate = 0;  // 1/10000
    qint64 watch_circle = 0;
    std::map<int, CNT_Path_Statistics_Camera> camera;  // by camera (0-based)
    bool valid = false;  // read whole from the file
};

// What the totals are made of, gathered by the service from the station at the moment of sending.
struct StatisticsInputs
{
    qint64 now = 0;                 // ms since 1970 UTC
    qint64 stoppedMinutes = 0;      // manual stops so far ("stop_check_timelen")
    std::array<qint64, 8> total{};  // per camera: cycles counted by the inspection cycle
    std::array<qint64, 8> ng{};     // per camera: NG cycles
    qint64 cavities = 0;            // products per shot
    qint64 planned = 0;             // planned product count
    qint64 serial = 0;              // product serial number
    QString productName;
    qint64 cyclePeriodTenths = 0;   // the last machine cycle, 0.1 s
};

// One region's verdict of the per-cycle message.
struct NetRegionResult
{
    int camera = 0;  // 0-based
    int detection = 0;
    int region = 0;
    int function = 0;
    int value = 0;
    int lower = 0;
    int upper = 0;
    bool alarm = false;  // the region failed
};

class NetStatistics
{
public:
    static constexpr int kSamples = 100;  // alarm stop times kept for the mean
    static constexpr int kCameras = 8;
    static constexpr int kDetections = 8;
    static constexpr int kRegions = 50;

    explicit NetStatistics(const QString &path);
    ~NetStatistics();  // waits for a file write in progress

    // Defaults (started `now`), then the file: a file that cannot be read, lacks a member or holds
    // a camera, detection or region out of range is set aside (renamed, logged) and the defaults stay.
    void InitStatistics(qint64 now);
    // Counts one failed region of an NG cycle into the tree.
    void ChkandAddStaticticsItem(int camera, int detection, int region);
    // One alarm stop (from the NG to its release) in ms.
    void CNT_AddNgTimes(qint64 ms);
    // Keeps the newest 100 stop times and gives their mean (0 without any).
    qint64 CNT_AddCycle();

    // Brings the totals up to date; false (record back to its defaults, file set aside) when the
    // tree holds a camera or detection above 7.
    bool update(const StatisticsInputs &in);
    // The type-7 body, which is also the file's contents.
    QByteArray body(const QString &host, RunState state, qint64 utc, const QString &ngImage) const;
    // Writes `json` to the file whole, on a worker thread: the newest text wins, the GUI thread
    // never waits for the disk.
    void save(const QByteArray &json);
    // Waits until the file holds what was last saved.
    void flush();

    const CNT_Path_Statistics &record() const { return m_record; }
    const std::deque<qint64> &stopSamples() const { return m_samples; }
    const QString &path() const { return m_path; }

private:
    void writeLoop();

    QString m_path;
    CNT_Path_Statistics m_record;
    std::deque<qint64> m_samples;
    std::mutex m_mutex;  // guards the pending text and the writer flag
    std::condition_variable m_written;
    QByteArray m_pending;
    bool m_hasPending = false;
    bool m_writing = false;
};

namespace NetMessages {

// "detect_method" of type 18 by the trigger kind: 1 mould open, 2 safety door, 3 ejector,
// -2 manual mould picture, -1 manual product picture; any other the empty string.
const char *DetectMethod(int triggerKind);

struct CycleReport
{
    QString host;
    qint64 utc = 0;
    RunState state = RunState::Detecting;
    int triggerKind = 0;
    QString productName;
    qint64 serial = 0;
    qint64 planned = 0;
    qint64 cavities = 0;
    QString operatorName;
    bool ng = false;
    int cameras = 0;                  // results of cameras from this count on are left out
    std::array<qint64, 8> total{};    // per camera counts
    std::array<qint64, 8> ngCount{};
};
// Type 18: the cycle's region results grouped by camera and detection in order of appearance.
QByteArray StatisticsOnceBody(const CycleReport &report, const QList<NetRegionResult> &results);

}  // namespace NetMessages
