// Detection-cycle records: the length of every moulding cycle, one SQLite file per day
// (DetectCycle.db running, DetectCycle/<day>.db archived), and the queries of a cycle export.
#pragma once

#include <QDate>
#include <QDateTime>
#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>

struct detectCycleInfo
{
    QString roundstart;  // trigger time, "yyyy-MM-dd hh:mm:ss.zzz"
    double roundtime = 0;  // seconds, 0.1 s resolution
};

// One instance (DetectCycleSQL::instance), created by the main window; GUI thread only.
class DetectCycleSQL : public QObject
{
    Q_OBJECT
public:
    using Clock = std::function<QDateTime()>;

    static constexpr const char *kConnection = "dbDetectCycle";
    static constexpr const char *kFile = "DetectCycle.db";
    static constexpr const char *kArchiveDir = "DetectCycle";
    static constexpr const char *kDayFile = "DetectCycle/time.txt";
    static constexpr const char *kTimeFormat = "yyyy-MM-dd hh:mm:ss.zzz";
    static constexpr const char *kCreateTable =
        "CREATE TABLE IF NOT EXISTS detect_cycle(idx                INTEGER PRIMARY KEY,"
        "roundstart         VARCHAR(32) NOT NULL,roundtime          VARCHAR(32) NOT NULL)";

    static DetectCycleSQL *instance;

    // Reads the stored day and archives the running file when it holds an earlier day.
    explicit DetectCycleSQL(Clock clock = {}, QObject *parent = nullptr);
    ~DetectCycleSQL() override;

    // Appends one cycle to the running file, after archiving it first when the day has changed.
    // False (and a debug message) when the file cannot be opened: the cycle is dropped. The
    // connection stays open between cycles; closeDB() leaves a plain file behind.
    bool insertDate(const detectCycleInfo &info);
    // A cycle that ended now, `tenths` after the previous trigger.
    bool insertCycle(int tenths);

    void readTime();
    // Archives the running file when the clock's day differs from the stored day. A day whose
    // archiving fails stays in the running file and the next insert tries again.
    bool checkDate();
    bool createSQL();
    bool createTable();
    void closeDB();

    QDate storedDay() const { return m_day; }
    // The archived days, "yyyy-MM-dd", oldest first.
    static QStringList getDBName();
    // The running file for the stored day, else the archive of `day` (absolute paths).
    QString dayFile(const QString &day) const;
    static QString ArchivePath(const QString &day);
    // The cycle length as stored: the shortest decimal form (12.3 -> "12.3").
    static QString RoundTimeText(double seconds);

private:
    bool openDB();
    bool archiveRunningFile();
    bool mergeIntoArchive(const QString &archive);
    void writeDay();

    Clock m_clock;
    QDate m_day;
};

namespace CycleExport {

// The queries handed to the converter: one per calendar day from `start` to `end` (a single one
// when both lie on one day). Times are compared as stored text, so a cycle at 23:59:59.5 is in.
QStringList QueryLines(const QDateTime &start, const QDateTime &end);
// Writes the lines to sql.txt in the working directory (whole or not at all).
bool WriteQueries(const QStringList &lines);
// The produced file named by the converter's output ("<file> export finished"), or empty.
QString FinishedFile(const QString &output);

}  // namespace CycleExport
