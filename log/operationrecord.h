// The operation record: one row per operator action or system event, one SQLite file per day.
#pragma once

#include <QDateTime>
#include <QList>
#include <QMutex>
#include <QSqlDatabase>
#include <QString>

#include <functional>
#include <memory>

class QObject;

// Works in the station's working directory:
//   RECORD.db      the running file, table RECORD(recordtime, recordpassword, remarks), connection
//                  "dbRecord"; it holds the rows of the record day
//   time.txt       the record day, "yyyy-MM-dd"
//   RECORD/        one file per finished day, "yyyy-MM-dd.db"
//   RECORDNULL.db  the empty template copied whenever a fresh running file is needed
//
// The object belongs to the thread that constructs it (the GUI thread). InsertRecord may be called
// from any thread: rows are queued and written on the owner thread, one statement at a time on the
// one connection. Everything else is called on the owner thread.
class OperationRecord
{
public:
    using Clock = std::function<QDateTime()>;
    // Login level now: 2 advanced, 1 primary, anything else nobody logged in.
    using LevelSource = std::function<int()>;
    // Hands a row to the plant data server before it is written: event time, user name, text.
    // Called on the owner thread for every row; the network service checks itself whether
    // reporting is on and the relay connected.
    using Forwarder = std::function<void(const QDateTime &time, const QString &user, const QString &text)>;

    static constexpr const char *kConnection = "dbRecord";
    static constexpr const char *kFile = "RECORD.db";
    static constexpr const char *kTemplate = "RECORDNULL.db";
    static constexpr const char *kDayFile = "time.txt";
    static constexpr const char *kArchiveDir = "RECORD";
    static constexpr const char *kDayFormat = "yyyy-MM-dd";

    // `clock` gives the current local time; it is called from every thread that records, so a
    // replacement must be thread-safe. Without one the system clock is used.
    explicit OperationRecord(Clock clock = {});
    // Writes what is still queued, then closes and removes the connection.
    ~OperationRecord();
    OperationRecord(const OperationRecord &) = delete;
    OperationRecord &operator=(const OperationRecord &) = delete;

    // Opens RECORD.db under "dbRecord". A missing file is made from the template; a file that is
    // not a database is set aside as "RECORD.db.damaged-<time>" and replaced by the template.
    // False only when no usable file could be opened (the caller warns and restarts).
    bool Open();

    // After the parameters are loaded: creates RECORD/, reads the record day from time.txt (today,
    // written back, when the file is missing or unreadable) and runs the day check once.
    void Start();

    // Appends one row for `text`: time of day "hh.mm.ss", the user name of the current login
    // level, the text. Safe from any thread; the time is taken when called.
    void InsertRecord(const QString &text);

    // Deletes every row of the running file. Archived days are not touched.
    void ClearRecord();

    // Day rollover, run by the main window's one-minute timer. When the date has moved on from
    // the record day, the running file goes to RECORD/<record day>.db and a fresh one takes its
    // place. If that day is archived already, the rows are added to the archived file. If the
    // archiving fails, the running file and the record day stay, the failure is logged and the
    // next check tries again: a day's rows are never overwritten.
    void SlotCheckDate();

    // Writes the rows queued by other threads now. Owner thread only.
    void Flush();

    // The "dbRecord" connection, opened (again after a rollover) when needed; invalid when the
    // running file cannot be opened. Owner thread only.
    QSqlDatabase Connection();

    void SetLevelSource(LevelSource source);
    void SetForwarder(Forwarder forwarder);

    int CurrentLevel() const;
    QString CurrentUserName() const;
    QString RecordDay() const { return m_recordDay; }
    QString Today() const;

    // Display name of a login level in the current language: "Advanced", "Primary", "Unlogged".
    static QString UserName(int level);
    // Absolute path of the archived file of `day`.
    static QString ArchivePath(const QString &day);

private:
    struct Pending
    {
        QDateTime time;
        QString text;
    };

    bool OnOwnerThread() const;
    bool OpenRunningFile();
    bool CheckRunningFile();
    void Drain();
    bool WriteRow(QSqlDatabase &db, const Pending &row);
    bool ArchiveRunningFile();
    bool MergeIntoArchive(const QString &runningPath, const QString &archivePath);
    bool EmptyRunningFile();
    void ReadRecordDay();
    void WriteRecordDay();

    Clock m_clock;
    LevelSource m_levelSource;
    Forwarder m_forwarder;
    QString m_recordDay;
    // Lives in the owner thread: rows recorded elsewhere are written through its event queue.
    std::unique_ptr<QObject> m_owner;

    QMutex m_pendingMutex;
    QList<Pending> m_pending;  // guarded by m_pendingMutex
    bool m_drainPosted = false;  // guarded by m_pendingMutex
};
