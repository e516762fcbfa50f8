#include "records/detectcycle.h"

#include "core/atomicfile.h"

#include <QDir>
#include <QFile>
#include <QLocale>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QtDebug>

DetectCycleSQL *DetectCycleSQL::instance = nullptr;

namespace {

const char *const kMergeConnection = "dbDetectCycleArchive";
const QString kDayFormat = QStringLiteral("yyyy-MM-dd");

QString RunningPath() { return QDir::current().absoluteFilePath(QLatin1String(DetectCycleSQL::kFile)); }

}  // namespace

DetectCycleSQL::DetectCycleSQL(Clock clock, QObject *parent)
    : QObject(parent)
    , m_clock(clock ? std::move(clock) : Clock([] { return QDateTime::currentDateTime(); }))
{
    readTime();
    checkDate();
}

DetectCycleSQL::~DetectCycleSQL()
{
    closeDB();
    QSqlDatabase::removeDatabase(QLatin1String(kConnection));
    if (instance == this)
        instance = nullptr;
}

QString DetectCycleSQL::ArchivePath(const QString &day)
{
    return QDir(QLatin1String(kArchiveDir)).absoluteFilePath(day + QStringLiteral(".db"));
}

QString DetectCycleSQL::dayFile(const QString &day) const
{
    return day == m_day.toString(kDayFormat) ? RunningPath() : ArchivePath(day);
}

QString DetectCycleSQL::RoundTimeText(double seconds)
{
    return QString::number(seconds, 'g', QLocale::FloatingPointShortest);
}

QStringList DetectCycleSQL::getDBName()
{
    QStringList days;
    const QStringList files = QDir(QLatin1String(kArchiveDir)).entryList({QStringLiteral("*.db")}, QDir::Files, QDir::Name);
    for (const QString &file : files)
        days << file.chopped(3);
    return days;
}

void DetectCycleSQL::readTime()
{
    QDir().mkpath(QLatin1String(kArchiveDir));
    QFile file{QLatin1String(kDayFile)};
    if (file.open(QIODevice::ReadOnly)) {
        m_day = QDate::fromString(QString::fromUtf8(file.readAll()).trimmed(), kDayFormat);
        if (m_day.isValid())
            return;
        qWarning().noquote() << "cycle records:" << kDayFile << "holds no day; the running file is taken as today's";
    }
    m_day = m_clock().date();
    writeDay();
}

void DetectCycleSQL::writeDay()
{
    const QByteArray text = m_day.toString(kDayFormat).toUtf8();
    if (!AtomicFile::Write(QLatin1String(kDayFile), [&](QIODevice &out) { return out.write(text) == text.size(); }))
        qWarning().noquote() << "cycle records: cannot write" << kDayFile;
}

bool DetectCycleSQL::checkDate()
{
    const QDate today = m_clock().date();
    if (today == m_day) {
        if (!QFile::exists(RunningPath()))
            createTable();
        return false;
    }
    if (!createSQL())
        return false;
    m_day = today;
    writeDay();
    return true;
}

bool DetectCycleSQL::createSQL()
{
    closeDB();
    if (!archiveRunningFile()) {
        qWarning().noquote() << "cycle records: day" << m_day.toString(kDayFormat) << "not archived; it stays in"
                             << kFile << "and the next cycle tries again";
        return false;
    }
    return createTable();
}

bool DetectCycleSQL::archiveRunningFile()
{
    if (!QFile::exists(RunningPath()))
        return true;
    QDir().mkpath(QLatin1String(kArchiveDir));
    const QString archive = ArchivePath(m_day.toString(kDayFormat));
    if (QFile::exists(archive)) {
        qWarning().noquote() << "cycle records:" << archive << "exists; the cycles of" << kFile << "are added to it";
        return mergeIntoArchive(archive) && QFile::remove(RunningPath());
    }
    QFile running(RunningPath());
    if (!running.rename(archive)) {
        qWarning().noquote() << "cycle records: cannot move" << RunningPath() << "to" << archive << running.errorString();
        return false;
    }
    AtomicFile::Sync(archive);
    return true;
}

bool DetectCycleSQL::mergeIntoArchive(const QString &archive)
{
    bool ok = false;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QLatin1String(kMergeConnection));
        db.setDatabaseName(archive);
        if (db.open()) {
            QSqlQuery query(db);
            query.prepare(QStringLiteral("ATTACH DATABASE ? AS running"));
            query.addBindValue(RunningPath());
            ok = query.exec() && query.exec(QLatin1String(kCreateTable)) && db.transaction()
                 && query.exec(QStringLiteral("INSERT INTO main.detect_cycle(roundstart, roundtime) "
                                              "SELECT roundstart, roundtime FROM running.detect_cycle ORDER BY idx"))
                 && query.exec(QStringLiteral("DELETE FROM running.detect_cycle")) && db.commit();
            if (!ok) {
                qWarning().noquote() << "cycle records: cannot add the cycles to" << archive << query.lastError().text();
                db.rollback();
            }
            query.finish();
            query.exec(QStringLiteral("DETACH DATABASE running"));
            query.finish();
            db.close();
        }
    }
    QSqlDatabase::removeDatabase(QLatin1String(kMergeConnection));
    return ok;
}

bool DetectCycleSQL::openDB()
{
    const QString name = QLatin1String(kConnection);
    QSqlDatabase db = QSqlDatabase::contains(name) ? QSqlDatabase::database(name, false)
                                                   : QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
    if (db.isOpen())
        return true;
    db.setDatabaseName(RunningPath());
    if (!db.open())
        return false;
    // A cycle is appended to the log without waiting for the disk (see ResStatisticsParam).
    QSqlQuery pragma(db);
    if (!pragma.exec(QStringLiteral("PRAGMA journal_mode=WAL")) || !pragma.exec(QStringLiteral("PRAGMA synchronous=NORMAL")))
        qWarning().noquote() << "cycle records: no write-ahead log:" << pragma.lastError().text();
    return true;
}

bool DetectCycleSQL::createTable()
{
    bool ok = openDB();
    if (ok) {
        QSqlQuery query(QSqlDatabase::database(QLatin1String(kConnection), false));
        ok = query.exec(QLatin1String(kCreateTable));
        if (!ok)
            qWarning().noquote() << "cycle records: cannot create the table" << query.lastError().text();
    }
    closeDB();
    return ok;
}

// The log is folded back, so that the file is one plain file for the converter and the archive.
void DetectCycleSQL::closeDB()
{
    if (!QSqlDatabase::contains(QLatin1String(kConnection)))
        return;
    QSqlDatabase db = QSqlDatabase::database(QLatin1String(kConnection), false);
    if (db.isOpen()) {
        QSqlQuery pragma(db);
        pragma.exec(QStringLiteral("PRAGMA journal_mode=DELETE"));
    }
    db.close();
}

bool DetectCycleSQL::insertDate(const detectCycleInfo &info)
{
    checkDate();
    if (!openDB()) {
        qDebug("DetectCycle.db open fail");
        return false;
    }
    bool ok = false;
    {
        QSqlQuery query(QSqlDatabase::database(QLatin1String(kConnection), false));
        ok = query.exec(QLatin1String(kCreateTable));
        query.prepare(QStringLiteral("INSERT INTO detect_cycle (roundstart, roundtime) VALUES (?, ?)"));
        query.addBindValue(info.roundstart);
        query.addBindValue(RoundTimeText(info.roundtime));
        ok = ok && query.exec();
        if (!ok)
            qWarning().noquote() << "cycle records: cycle not written:" << query.lastError().text();
    }
    return ok;
}

bool DetectCycleSQL::insertCycle(int tenths)
{
    return insertDate({m_clock().toString(QLatin1String(kTimeFormat)), tenths / 10.0});
}

// ---- export ------------------------------------------------------------------------------------

namespace CycleExport {

QStringList QueryLines(const QDateTime &start, const QDateTime &end)
{
    const QString format = QLatin1String(DetectCycleSQL::kTimeFormat);
    const auto line = [&](const QDateTime &from, const QDateTime &to) {
        qDebug().noquote() << "cycle export day" << from.date().toString(kDayFormat);
        return QStringLiteral("SELECT roundstart,roundtime FROM detect_cycle WHERE roundstart BETWEEN '%1' AND '%2'")
            .arg(from.toString(format), to.toString(format));
    };
    QStringList lines;
    if (end < start)
        return lines;
    const QTime lastMoment(23, 59, 59, 999);
    for (QDate day = start.date(); day <= end.date(); day = day.addDays(1)) {
        const QDateTime from = day == start.date() ? start : QDateTime(day, QTime(0, 0));
        const QDateTime to = day == end.date() ? end : QDateTime(day, lastMoment);
        lines << line(from, to);
    }
    return lines;
}

bool WriteQueries(const QStringList &lines)
{
    const QByteArray text = (lines.join(QLatin1Char('\n')) + QLatin1Char('\n')).toUtf8();
    return AtomicFile::Write(QStringLiteral("sql.txt"), [&](QIODevice &out) { return out.write(text) == text.size(); });
}

QString FinishedFile(const QString &output)
{
    for (const QString &line : output.split(QLatin1Char('\n'))) {
        if (!line.contains(QLatin1String("export finished")))
            continue;
        return line.trimmed().section(QLatin1Char(' '), 0, 0);
    }
    return {};
}

}  // namespace CycleExport
