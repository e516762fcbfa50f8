#include "log/operationrecord.h"

#include "core/globals.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMetaObject>
#include <QMutexLocker>
#include <QObject>
#include <QSqlError>
#include <QSqlQuery>
#include <QThread>
#include <QtDebug>

namespace {

// Text table rows of the login level names.
constexpr int kRowAdvanced = 154;
constexpr int kRowPrimary = 155;
constexpr int kRowUnlogged = 156;

const char *const kMergeConnection = "dbRecordMerge";
const QString kCreateTable = QStringLiteral(
    "CREATE TABLE IF NOT EXISTS RECORD(recordtime TEXT, recordpassword TEXT, remarks TEXT)");

QString RunningPath() { return QDir::current().absoluteFilePath(QLatin1String(OperationRecord::kFile)); }

QString Stamp() { return QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss")); }

}  // namespace

OperationRecord::OperationRecord(Clock clock)
    : m_clock(clock ? std::move(clock) : Clock([] { return QDateTime::currentDateTime(); }))
    , m_owner(std::make_unique<QObject>())
{
}

OperationRecord::~OperationRecord()
{
    if (OnOwnerThread())
        Drain();
    m_owner.reset();  // drops the posted write requests, which would find nothing left anyway
    if (QSqlDatabase::contains(QLatin1String(kConnection))) {
        QSqlDatabase::database(QLatin1String(kConnection), false).close();
        QSqlDatabase::removeDatabase(QLatin1String(kConnection));
    }
}

bool OperationRecord::OnOwnerThread() const { return QThread::currentThread() == m_owner->thread(); }

QString OperationRecord::Today() const { return m_clock().date().toString(QLatin1String(kDayFormat)); }

QString OperationRecord::ArchivePath(const QString &day)
{
    return QDir(QLatin1String(kArchiveDir)).absoluteFilePath(day + QStringLiteral(".db"));
}

void OperationRecord::SetLevelSource(LevelSource source) { m_levelSource = std::move(source); }

void OperationRecord::SetForwarder(Forwarder forwarder) { m_forwarder = std::move(forwarder); }

int OperationRecord::CurrentLevel() const { return m_levelSource ? m_levelSource() : 0; }

QString OperationRecord::UserName(int level)
{
    switch (level) {
    case 2: return LanStr(kRowAdvanced);
    case 1: return LanStr(kRowPrimary);
    default: return LanStr(kRowUnlogged);
    }
}

QString OperationRecord::CurrentUserName() const { return UserName(CurrentLevel()); }

// ---- the running file ------------------------------------------------------------------------

bool OperationRecord::Open() { return OpenRunningFile(); }

bool OperationRecord::OpenRunningFile()
{
    const QString name = QLatin1String(kConnection);
    QSqlDatabase db = QSqlDatabase::contains(name) ? QSqlDatabase::database(name, false)
                                                   : QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
    if (db.isOpen())
        return true;
    const QString running = RunningPath();
    if (!QFile::exists(running)) {
        // SQLite would make an empty file without the table; start from the template instead.
        if (!QFile::copy(QLatin1String(kTemplate), running))
            qWarning().noquote() << "operation record: no" << kFile << "and the template" << kTemplate
                                 << "cannot be copied; the table is created directly";
    }
    db.setDatabaseName(running);
    if (!db.open()) {
        qWarning().noquote() << "operation record: cannot open" << running << db.lastError().text();
        return false;
    }
    return CheckRunningFile();
}

// A running file that SQLite cannot read is kept for the service staff under another name and
// replaced by the template; a file without the table gets the table.
bool OperationRecord::CheckRunningFile()
{
    QSqlDatabase db = QSqlDatabase::database(QLatin1String(kConnection), false);
    {
        QSqlQuery probe(db);
        if (!probe.exec(QStringLiteral("SELECT count(*) FROM sqlite_master"))) {
            const QString running = RunningPath();
            const QString aside = running + QStringLiteral(".damaged-") + Stamp();
            qWarning().noquote() << "operation record:" << running << "is not readable ("
                                 << probe.lastError().text() << "), kept as" << aside;
            probe.finish();
            db.close();
            if (!QFile::rename(running, aside)) {
                qWarning().noquote() << "operation record: cannot set" << running << "aside; rows are not recorded";
                return false;
            }
            if (!QFile::copy(QLatin1String(kTemplate), running))
                qWarning().noquote() << "operation record: template" << kTemplate << "cannot be copied";
            if (!db.open()) {
                qWarning().noquote() << "operation record: cannot open" << running << db.lastError().text();
                return false;
            }
        }
    }
    if (!db.tables().contains(QStringLiteral("RECORD"))) {
        qWarning().noquote() << "operation record:" << kFile << "has no RECORD table; creating it";
        QSqlQuery create(db);
        if (!create.exec(kCreateTable)) {
            qWarning().noquote() << "operation record: cannot create the table" << create.lastError().text();
            db.close();
            return false;
        }
    }
    return true;
}

QSqlDatabase OperationRecord::Connection()
{
    if (!OpenRunningFile())
        return {};
    return QSqlDatabase::database(QLatin1String(kConnection), false);
}

// ---- recording -------------------------------------------------------------------------------

void OperationRecord::InsertRecord(const QString &text)
{
    bool post = false;
    {
        QMutexLocker lock(&m_pendingMutex);
        m_pending.append({m_clock(), text});
        if (!OnOwnerThread() && !m_drainPosted)
            post = m_drainPosted = true;
    }
    if (OnOwnerThread())
        Drain();
    else if (post)
        QMetaObject::invokeMethod(m_owner.get(), [this] { Drain(); }, Qt::QueuedConnection);
}

void OperationRecord::Flush()
{
    if (OnOwnerThread())
        Drain();
}

void OperationRecord::Drain()
{
    QList<Pending> rows;
    {
        QMutexLocker lock(&m_pendingMutex);
        rows.swap(m_pending);
        m_drainPosted = false;
    }
    if (rows.isEmpty())
        return;
    if (!OpenRunningFile()) {
        for (const Pending &row : rows)
            qWarning().noquote() << "operation record: not open, event dropped:" << row.text;
        return;
    }
    QSqlDatabase db = QSqlDatabase::database(QLatin1String(kConnection), false);
    // Rows queued together go in one transaction; should it fail, they are written one by one.
    if (rows.size() > 1 && db.transaction()) {
        bool ok = true;
        for (const Pending &row : rows)
            ok = WriteRow(db, row) && ok;
        if (ok && db.commit())
            return;
        db.rollback();
        qWarning().noquote() << "operation record: batch of" << rows.size() << "rows failed; writing them singly";
    }
    for (const Pending &row : rows) {
        if (!WriteRow(db, row))
            qWarning().noquote() << "operation record: row not written:" << row.text;
    }
}

bool OperationRecord::WriteRow(QSqlDatabase &db, const Pending &row)
{
    const QString user = CurrentUserName();
    if (m_forwarder)
        m_forwarder(row.time, user, row.text);
    QSqlQuery insert(db);
    insert.prepare(QStringLiteral("INSERT INTO RECORD(recordtime, recordpassword, remarks) VALUES(?, ?, ?)"));
    insert.addBindValue(row.time.toString(QStringLiteral("hh.mm.ss")));
    insert.addBindValue(user);
    insert.addBindValue(row.text);
    if (insert.exec())
        return true;
    qWarning().noquote() << "operation record: insert failed:" << insert.lastError().text();
    return false;
}

void OperationRecord::ClearRecord()
{
    if (!OnOwnerThread()) {
        QMetaObject::invokeMethod(m_owner.get(), [this] { ClearRecord(); }, Qt::QueuedConnection);
        return;
    }
    Drain();
    QSqlDatabase db = Connection();
    if (!db.isOpen())
        return;
    QSqlQuery clear(db);
    if (!clear.exec(QStringLiteral("DELETE FROM RECORD")))
        qWarning().noquote() << "operation record: clearing failed:" << clear.lastError().text();
}

// ---- the record day --------------------------------------------------------------------------

void OperationRecord::Start()
{
    if (!QDir(QLatin1String(kArchiveDir)).exists() && !QDir().mkpath(QLatin1String(kArchiveDir)))
        qWarning().noquote() << "operation record: cannot create the archive" << kArchiveDir;
    ReadRecordDay();
    SlotCheckDate();
}

void OperationRecord::ReadRecordDay()
{
    QFile file{QLatin1String(kDayFile)};
    if (file.open(QIODevice::ReadOnly)) {
        const QString day = QString::fromUtf8(file.readAll()).trimmed();
        if (QDate::fromString(day, QLatin1String(kDayFormat)).isValid()) {
            m_recordDay = day;
            return;
        }
        qWarning().noquote() << "operation record:" << kDayFile << "holds no day (" << day.left(40)
                             << "); the running file is taken as today's";
    }
    m_recordDay = Today();
    WriteRecordDay();
}

void OperationRecord::WriteRecordDay()
{
    QFile file{QLatin1String(kDayFile)};
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(m_recordDay.toUtf8()) < 0)
        qWarning().noquote() << "operation record: cannot write" << kDayFile << file.errorString();
}

void OperationRecord::SlotCheckDate()
{
    if (!OnOwnerThread()) {
        QMetaObject::invokeMethod(m_owner.get(), [this] { SlotCheckDate(); }, Qt::QueuedConnection);
        return;
    }
    if (m_recordDay.isEmpty())
        ReadRecordDay();
    // Rows queued before the check belong to the day that is ending.
    Drain();
    const QString today = Today();
    if (today == m_recordDay)
        return;
    if (!ArchiveRunningFile()) {
        qWarning().noquote() << "operation record: day" << m_recordDay
                             << "not archived; it stays in" << kFile << "and the next check tries again";
        return;
    }
    if (!QFile::exists(RunningPath()) && !QFile::copy(QLatin1String(kTemplate), RunningPath()))
        qWarning().noquote() << "operation record: template" << kTemplate
                             << "cannot be copied; the next row creates the table";
    m_recordDay = today;
    WriteRecordDay();
}

bool OperationRecord::ArchiveRunningFile()
{
    if (QSqlDatabase::contains(QLatin1String(kConnection)))
        QSqlDatabase::database(QLatin1String(kConnection), false).close();
    const QString running = RunningPath();
    if (!QFile::exists(running)) {
        qWarning().noquote() << "operation record: no" << kFile << "to archive for" << m_recordDay;
        return true;
    }
    if (!QDir(QLatin1String(kArchiveDir)).exists() && !QDir().mkpath(QLatin1String(kArchiveDir))) {
        qWarning().noquote() << "operation record: cannot create the archive" << kArchiveDir;
        return false;
    }
    const QString archive = ArchivePath(m_recordDay);
    if (!QFile::exists(archive)) {
        QFile file(running);
        if (file.rename(archive))
            return true;
        qWarning().noquote() << "operation record: cannot move" << running << "to" << archive << file.errorString();
        return false;
    }
    // The day is archived already (the clock was set back, or a day came twice): its rows are
    // added to that file, so neither file loses a row.
    qWarning().noquote() << "operation record:" << archive << "exists; adding the rows of" << kFile << "to it";
    if (!MergeIntoArchive(running, archive))
        return false;
    if (QFile::remove(running) || EmptyRunningFile())
        return true;
    qWarning().noquote() << "operation record: rows added to" << archive << "but" << kFile << "cannot be emptied";
    return false;
}

bool OperationRecord::MergeIntoArchive(const QString &runningPath, const QString &archivePath)
{
    bool ok = false;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QLatin1String(kMergeConnection));
        db.setDatabaseName(archivePath);
        if (db.open()) {
            QSqlQuery query(db);
            ok = query.exec(kCreateTable);
            if (ok) {
                query.prepare(QStringLiteral("ATTACH DATABASE ? AS running"));
                query.addBindValue(runningPath);
                ok = query.exec();
            }
            if (ok) {
                ok = db.transaction()
                     && query.exec(QStringLiteral("INSERT INTO main.RECORD(recordtime, recordpassword, remarks) "
                                                  "SELECT recordtime, recordpassword, remarks FROM running.RECORD"))
                     && db.commit();
                if (!ok)
                    db.rollback();
                query.exec(QStringLiteral("DETACH DATABASE running"));
            }
            if (!ok)
                qWarning().noquote() << "operation record: cannot add rows to" << archivePath << query.lastError().text();
            query.finish();
            db.close();
        } else {
            qWarning().noquote() << "operation record: cannot open" << archivePath << db.lastError().text();
        }
    }
    QSqlDatabase::removeDatabase(QLatin1String(kMergeConnection));
    return ok;
}

bool OperationRecord::EmptyRunningFile()
{
    QSqlDatabase db = QSqlDatabase::database(QLatin1String(kConnection), false);
    if (!db.open())
        return false;
    QSqlQuery clear(db);
    const bool ok = clear.exec(QStringLiteral("DELETE FROM RECORD"));
    clear.finish();
    db.close();
    return ok;
}
