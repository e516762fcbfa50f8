// Result statistics: hourly OK/NG counts per camera and detection step over the 08:00 statistics
// day, kept in ResStatistics.db and archived per finished day under ./ResStatistics.
#pragma once

#include <QDateTime>
#include <QList>
#include <QObject>
#include <QSqlQuery>
#include <QString>

#include <array>
#include <functional>

struct sCount
{
    quint32 ng = 0;
    quint32 ok = 0;
};

struct CountDetect
{
    QList<int> okHours = QList<int>(24, 0);
    QList<int> ngHours = QList<int>(24, 0);
    sCount morning;  // hours 8 to 19
    sCount night;    // hours 0 to 7 and 20 to 23
    sCount total;
};

struct CountCamera
{
    CountDetect all;  // the camera summed over its steps
    std::array<CountDetect, 8> detects;
};

struct CountAllCamera
{
    CountDetect all;                     // everything
    std::array<CountDetect, 8> detects;  // step d summed over the cameras
    std::array<CountCamera, 8> cameras;
};

enum ShiftType { MorningShift = 0, NightShift = 1, WholeDay = 2 };

namespace ResStatistics {

constexpr int kAll = 8;  // camera or detection index meaning "all"
constexpr int kDayStartHour = 8;

// "C<camera>_D<detection>", the row name of one counted unit.
QString RowName(int camera, int detection);
// 24 counts as stored: each number followed by one blank.
QString HourText(const QList<int> &hours);
// Reads up to 24 numbers into `hours` (hour 0 first); entries not read keep their value.
void ReadHours(const QString &text, QList<int> &hours);
// The statistics day a moment belongs to: its date, the previous one before 08:00.
QDate StatisticsDate(const QDateTime &when);
// The sums of one record: per-step counters, each camera's "all", each step over the cameras,
// and the grand total.
void Sum(CountAllCamera &record);
void Sum(CountDetect &entry);
// The entry for (camera, detection), 8 meaning "all"; nullptr for any other index.
CountDetect *Entry(CountAllCamera &record, int camera, int detection);
const CountDetect *Entry(const CountAllCamera &record, int camera, int detection);
// Hour h of `hours` for the hours of a shift: morning 8..19, night 20..23 then 0..7, day 0..23.
QList<int> ShiftHours(ShiftType shift);

}  // namespace ResStatistics

// One object for the life of the station, created only when statistics are on at start-up
// (gpResStatisticsParam). Everything runs on the GUI thread.
class ResStatisticsParam : public QObject
{
    Q_OBJECT
public:
    using Clock = std::function<QDateTime()>;

    static constexpr const char *kConnection = "dbResStatistics";
    static constexpr const char *kFile = "ResStatistics.db";
    static constexpr const char *kTemplate = "ResStatisticsNULL.db";
    static constexpr const char *kArchiveDir = "ResStatistics";
    static constexpr const char *kDayFile = "restime.txt";

    // Opens (or makes from the template) ResStatistics.db in the working directory, loads the
    // running day and rolls over when that day is over. A file that is not a readable statistics
    // database is kept aside as "ResStatistics.db.damaged-<time>" and the template used, with one
    // warning. `clock` gives local time (default the system clock).
    explicit ResStatisticsParam(Clock clock = {}, QObject *parent = nullptr);
    ~ResStatisticsParam() override;

    // False when no statistics file could be opened at all (the caller warns and restarts).
    bool isOpen() const { return m_open; }

    // Counts one result; indices outside 0..8 and hours outside 0..23 are ignored.
    bool Add(int hour, bool ok, int camera, int detection);
    // Ends the statistics day when it is over. A day whose archiving failed stays running and the
    // next check tries again. True when the day rolled over.
    bool checkDate();
    void readTime();
    bool NextDay(const QString &newDay);
    // Writes the live record, every row in one transaction. False when it could not be written
    // (the counts stay in memory and the next save writes them).
    bool save();
    bool saveCount(const CountAllCamera &record, QSqlQuery &query);
    bool saveCountCamera(const CountCamera &camera, int index, QSqlQuery &query);
    bool saveCountDetect(const CountDetect &entry, const QString &name, QSqlQuery &query);
    static void loadCount(CountAllCamera &record, QSqlQuery &query);
    static void loadCountCamera(CountCamera &camera, int index, QSqlQuery &query);
    static void loadCountDetect(CountDetect &entry, const QString &name, QSqlQuery &query);

    // Viewed record := the live record, sums computed.
    void setFindCount();
    // Viewed record := the file behind `query` (an archived day), sums computed.
    void setFindCount(QSqlQuery &query);
    void clcCount();

    static void initStuCount(sCount &count) { count = {}; }
    static void initStuCountDetect(CountDetect &entry) { entry = {}; }
    static void initStuCountCamera(CountCamera &camera) { camera = {}; }
    static void initStuCountAllCamera(CountAllCamera &record) { record = {}; }
    void initStuCountAllCamera() { m_live = {}; }

    // From the viewed record; 0 or an empty list for an index outside 0..8 or an unknown shift.
    int getCount(ShiftType shift, bool ok, int camera, int detection) const;
    QList<int> getRes(ShiftType shift, bool ok, int camera, int detection) const;

    // The running statistics day, "yyyy-MM-dd", and its start.
    QString dayName() const { return m_dayName; }
    QDateTime dayStart() const { return QDateTime::fromSecsSinceEpoch(m_dayStart); }
    const CountAllCamera &live() const { return m_live; }
    const CountAllCamera &viewed() const { return m_viewed; }

    // The screen follows the running day while it shows it: each count refreshes the viewed record.
    void setFollowLive(bool follow) { m_followLive = follow; }
    bool followLive() const { return m_followLive; }

    // Absolute path of an archived day's file.
    static QString ArchivePath(const QString &day);

signals:
    // A result was counted (the viewed record is fresh when it follows the running day).
    void counted();
    // A day was archived: the list of days changed.
    void dayEnded();

private:
    bool openFile();
    bool probeFile();
    bool useWriteAheadLog();
    void setFileAside();
    bool archiveRunningFile();
    bool mergeIntoArchive(const QString &archive);
    void writeDayStart();

    Clock m_clock;
    CountAllCamera m_live;
    CountAllCamera m_viewed;
    qint64 m_dayStart = 0;
    QString m_dayName;
    bool m_open = false;
    bool m_followLive = true;
};

// Created by the main window when statistics are on at start-up; null otherwise.
extern ResStatisticsParam *gpResStatisticsParam;
