#include "records/resstatistics.h"

#include "core/atomicfile.h"
#include "core/globals.h"
#include "core/operatorport.h"
#include "core/systemgateway.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QTextStream>
#include <QThread>
#include <QtDebug>

#include <algorithm>
#include <tuple>

ResStatisticsParam *gpResStatisticsParam = nullptr;

namespace {

constexpr int kRowFileError = 544;
constexpr int kRowFileDamaged = 1300;
const char *const kMergeConnection = "dbResStatisticsArchive";
const QString kCreateTable =
    QStringLiteral("CREATE TABLE IF NOT EXISTS resstatistics(name TEXT PRIMARY KEY, value1 TEXT, value2 TEXT)");

QString RunningPath() { return QDir::current().absoluteFilePath(QLatin1String(ResStatisticsParam::kFile)); }

int Cameras() { return std::clamp(numCamera, 0, 8); }
int Steps() { return std::clamp(gDNum, 0, 8); }

bool ValidIndex(int i) { return i >= 0 && i <= ResStatistics::kAll; }

// A fresh running file: the template, or, when the template is gone, the same 81 rows made here.
bool MakeFreshFile()
{
    QFile::remove(RunningPath());
    if (QFile::exists(QLatin1String(ResStatisticsParam::kTemplate))
        && AtomicFile::Copy(QLatin1String(ResStatisticsParam::kTemplate), RunningPath()))
        return true;
    qWarning().noquote() << "statistics: template" << ResStatisticsParam::kTemplate << "missing; the rows are made directly";
    bool ok = false;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("dbResStatisticsFresh"));
        db.setDatabaseName(RunningPath());
        if (db.open()) {
            QSqlQuery query(db);
            ok = db.transaction() && query.exec(kCreateTable);
            const QString zeros = ResStatistics::HourText(QList<int>(24, 0));
            query.prepare(QStringLiteral("INSERT OR IGNORE INTO resstatistics(name, value1, value2) VALUES(?, ?, ?)"));
            for (int c = 0; ok && c <= 8; ++c)
                for (int d = 0; ok && d <= 8; ++d) {
                    query.addBindValue(ResStatistics::RowName(c, d));
                    query.addBindValue(zeros);
                    query.addBindValue(zeros);
                    ok = query.exec();
                }
            ok = ok && db.commit();
            query.finish();
            db.close();
        }
    }
    QSqlDatabase::removeDatabase(QStringLiteral("dbResStatisticsFresh"));
    return ok;
}

}  // namespace

namespace ResStatistics {

QString RowName(int camera, int detection)
{
    return QStringLiteral("C%1_D%2").arg(camera).arg(detection);
}

QString HourText(const QList<int> &hours)
{
    QString text;
    text.reserve(hours.size() * 3);
    for (int value : hours) {
        text += QString::number(value);
        text += QLatin1Char(' ');
    }
    return text;
}

void ReadHours(const QString &text, QList<int> &hours)
{
    const QStringList words = text.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    for (int h = 0; h < std::min<qsizetype>(words.size(), hours.size()); ++h) {
        bool ok = false;
        const int value = words[h].toInt(&ok);
        if (!ok)
            break;
        hours[h] = value;
    }
}

QDate StatisticsDate(const QDateTime &when)
{
    return when.time().hour() >= kDayStartHour ? when.date() : when.date().addDays(-1);
}

void Sum(CountDetect &entry)
{
    entry.morning = entry.night = entry.total = {};
    for (int h = 0; h < 24; ++h) {
        const quint32 ok = quint32(entry.okHours.value(h));
        const quint32 ng = quint32(entry.ngHours.value(h));
        sCount &shift = (h >= 8 && h <= 19) ? entry.morning : entry.night;
        shift.ok += ok;
        shift.ng += ng;
        entry.total.ok += ok;
        entry.total.ng += ng;
    }
}

namespace {

// A camera's (or the record's) counters per step and its "all" as their hourly sum.
void SumCamera(CountDetect &all, std::array<CountDetect, 8> &detects)
{
    all.okHours = QList<int>(24, 0);
    all.ngHours = QList<int>(24, 0);
    for (CountDetect &step : detects) {
        Sum(step);
        for (int h = 0; h < 24; ++h) {
            all.okHours[h] += step.okHours.value(h);
            all.ngHours[h] += step.ngHours.value(h);
        }
    }
    Sum(all);
}

}  // namespace

void Sum(CountAllCamera &record)
{
    for (CountCamera &camera : record.cameras)
        SumCamera(camera.all, camera.detects);
    for (int d = 0; d < 8; ++d) {
        CountDetect &step = record.detects[d];
        step.okHours = QList<int>(24, 0);
        step.ngHours = QList<int>(24, 0);
        for (const CountCamera &camera : record.cameras)
            for (int h = 0; h < 24; ++h) {
                step.okHours[h] += camera.detects[d].okHours.value(h);
                step.ngHours[h] += camera.detects[d].ngHours.value(h);
            }
    }
    SumCamera(record.all, record.detects);
}

CountDetect *Entry(CountAllCamera &record, int camera, int detection)
{
    if (!ValidIndex(camera) || !ValidIndex(detection))
        return nullptr;
    CountDetect &all = camera == kAll ? record.all : record.cameras[camera].all;
    std::array<CountDetect, 8> &detects = camera == kAll ? record.detects : record.cameras[camera].detects;
    return detection == kAll ? &all : &detects[detection];
}

const CountDetect *Entry(const CountAllCamera &record, int camera, int detection)
{
    return Entry(const_cast<CountAllCamera &>(record), camera, detection);
}

QList<int> ShiftHours(ShiftType shift)
{
    QList<int> hours;
    switch (shift) {
    case MorningShift:
        for (int h = 8; h <= 19; ++h)
            hours << h;
        break;
    case NightShift:
        for (int h = 20; h < 32; ++h)
            hours << h % 24;
        break;
    case WholeDay:
        for (int h = 0; h < 24; ++h)
            hours << h;
        break;
    }
    return hours;
}

}  // namespace ResStatistics

// ---- the running file ------------------------------------------------------------------------

ResStatisticsParam::ResStatisticsParam(Clock clock, QObject *parent)
    : QObject(parent)
    , m_clock(clock ? std::move(clock) : Clock([] { return QDateTime::currentDateTime(); }))
{
    if (!QDir(QLatin1String(kArchiveDir)).exists())
        QDir().mkpath(QLatin1String(kArchiveDir));
    if (!openFile()) {
        Operator::Warn(LanStr(kRowFileError));
        SystemGateway::reboot();
        return;
    }
    QSqlQuery query(QSqlDatabase::database(QLatin1String(kConnection), false));
    loadCount(m_live, query);
    readTime();
    checkDate();
    setFindCount();
}

ResStatisticsParam::~ResStatisticsParam()
{
    if (gpResStatisticsParam == this)
        gpResStatisticsParam = nullptr;
    if (QSqlDatabase::contains(QLatin1String(kConnection))) {
        QSqlDatabase::database(QLatin1String(kConnection), false).close();
        QSqlDatabase::removeDatabase(QLatin1String(kConnection));
    }
}

QString ResStatisticsParam::ArchivePath(const QString &day)
{
    return QDir(QLatin1String(kArchiveDir)).absoluteFilePath(day + QStringLiteral(".db"));
}

bool ResStatisticsParam::openFile()
{
    const QString name = QLatin1String(kConnection);
    QSqlDatabase db = QSqlDatabase::contains(name) ? QSqlDatabase::database(name, false)
                                                   : QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
    if (db.isOpen())
        return m_open = true;
    if (!QFile::exists(RunningPath()) && !MakeFreshFile())
        qWarning().noquote() << "statistics: no" << kFile << "and none could be made";
    db.setDatabaseName(RunningPath());
    if (db.open() && probeFile())
        return m_open = useWriteAheadLog();
    // SQLite opens any file "successfully"; only a query shows whether it is a statistics file.
    db.close();
    if (QFile::exists(RunningPath())) {
        setFileAside();
        if (MakeFreshFile() && db.open() && probeFile())
            return m_open = useWriteAheadLog();
        db.close();
    }
    qWarning().noquote() << "statistics: cannot open" << RunningPath() << db.lastError().text();
    return m_open = false;
}

bool ResStatisticsParam::probeFile()
{
    QSqlQuery probe(QSqlDatabase::database(QLatin1String(kConnection), false));
    const bool ok = probe.exec(QStringLiteral("SELECT count(*) FROM resstatistics")) && probe.next();
    if (!ok)
        qWarning().noquote() << "statistics:" << kFile << "is not readable:" << probe.lastError().text();
    return ok;
}

// Every result is a commit. With the write-ahead log a commit appends to the log and does not wait
// for the disk; a crash keeps every commit, a power cut may lose the last ones but never leaves a
// damaged file. The log is folded back before the file is archived (see NextDay).
bool ResStatisticsParam::useWriteAheadLog()
{
    QSqlQuery pragma(QSqlDatabase::database(QLatin1String(kConnection), false));
    if (!pragma.exec(QStringLiteral("PRAGMA journal_mode=WAL")) || !pragma.exec(QStringLiteral("PRAGMA synchronous=NORMAL")))
        qWarning().noquote() << "statistics: no write-ahead log:" << pragma.lastError().text();
    return true;
}

void ResStatisticsParam::setFileAside()
{
    const QString aside = RunningPath() + QStringLiteral(".damaged-")
                          + QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    if (!QFile::rename(RunningPath(), aside)) {
        qWarning().noquote() << "statistics: cannot set" << kFile << "aside; it is replaced";
        QFile::remove(RunningPath());
        Operator::Warn(LanStr(kRowFileDamaged).arg(QString()));
        return;
    }
    qWarning().noquote() << "statistics:" << kFile << "was damaged and is kept as" << aside;
    Operator::Warn(LanStr(kRowFileDamaged).arg(QFileInfo(aside).fileName()));
}

// ---- the statistics day ------------------------------------------------------------------------

void ResStatisticsParam::readTime()
{
    QFile file{QLatin1String(kDayFile)};
    bool ok = false;
    qint64 start = 0;
    if (file.open(QIODevice::ReadOnly))
        start = file.readAll().trimmed().toLongLong(&ok);
    if (!ok || start <= 0) {
        if (file.exists())
            qWarning().noquote() << "statistics:" << kDayFile << "holds no start of day; it is derived from the clock";
        const QDate date = ResStatistics::StatisticsDate(m_clock());
        start = QDateTime(date, QTime(ResStatistics::kDayStartHour, 0)).toSecsSinceEpoch();
        m_dayStart = start;
        writeDayStart();
    }
    m_dayStart = start;
    m_dayName = QDateTime::fromSecsSinceEpoch(start).date().toString(QStringLiteral("yyyy-MM-dd"));
}

void ResStatisticsParam::writeDayStart()
{
    const QByteArray text = QByteArray::number(m_dayStart);
    if (!AtomicFile::Write(QLatin1String(kDayFile), [&](QIODevice &out) { return out.write(text) == text.size(); }))
        qWarning().noquote() << "statistics: cannot write" << kDayFile;
}

bool ResStatisticsParam::checkDate()
{
    const QDateTime now = m_clock();
    if (now.toSecsSinceEpoch() - m_dayStart <= 86399)
        return false;
    const QDate date = ResStatistics::StatisticsDate(now);
    if (!NextDay(date.toString(QStringLiteral("yyyy-MM-dd"))))
        return false;
    m_dayStart = QDateTime(date, QTime(ResStatistics::kDayStartHour, 0)).toSecsSinceEpoch();
    writeDayStart();
    if (m_followLive)
        setFindCount();
    emit dayEnded();
    return true;
}

bool ResStatisticsParam::NextDay(const QString &newDay)
{
    save();
    if (QSqlDatabase::contains(QLatin1String(kConnection))) {
        // An archived day is one plain file that any reader opens, also read-only.
        QSqlDatabase db = QSqlDatabase::database(QLatin1String(kConnection), false);
        if (db.isOpen()) {
            QSqlQuery pragma(db);
            if (!pragma.exec(QStringLiteral("PRAGMA journal_mode=DELETE")))
                qWarning().noquote() << "statistics: the log stays beside" << kFile << pragma.lastError().text();
        }
        db.close();
    }
    if (!archiveRunningFile()) {
        qWarning().noquote() << "statistics: day" << m_dayName << "not archived; it stays in" << kFile
                             << "and the next result tries again";
        return false;
    }
    m_dayName = newDay;
    initStuCountAllCamera();
    save();
    return true;
}

bool ResStatisticsParam::archiveRunningFile()
{
    if (!QDir(QLatin1String(kArchiveDir)).exists() && !QDir().mkpath(QLatin1String(kArchiveDir))) {
        qWarning().noquote() << "statistics: cannot create the archive" << kArchiveDir;
        return false;
    }
    const QString archive = ArchivePath(m_dayName);
    if (!QFile::exists(RunningPath()))
        return MakeFreshFile();
    if (QFile::exists(archive)) {
        // The day is archived already (the clock was set back, or the day came twice): the counts
        // are added to it hour by hour, and the running file emptied in the same transaction.
        qWarning().noquote() << "statistics:" << archive << "exists; the counts of" << kFile << "are added to it";
        return mergeIntoArchive(archive);
    }
    QFile running(RunningPath());
    if (!running.rename(archive)) {
        qWarning().noquote() << "statistics: cannot move" << RunningPath() << "to" << archive << running.errorString();
        return false;
    }
    AtomicFile::Sync(archive);
    if (!MakeFreshFile())
        qWarning().noquote() << "statistics: no fresh" << kFile << "; the next save tries again";
    return true;
}

bool ResStatisticsParam::mergeIntoArchive(const QString &archive)
{
    bool ok = false;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QLatin1String(kMergeConnection));
        db.setDatabaseName(archive);
        if (db.open()) {
            QSqlQuery query(db);
            query.prepare(QStringLiteral("ATTACH DATABASE ? AS running"));
            query.addBindValue(RunningPath());
            ok = query.exec() && query.exec(kCreateTable) && db.transaction();
            if (ok) {
                QList<std::tuple<QString, QString, QString>> rows;
                ok = query.exec(QStringLiteral("SELECT r.name, r.value1, r.value2, a.value1, a.value2 FROM "
                                               "running.resstatistics r LEFT JOIN main.resstatistics a ON a.name = r.name"));
                while (ok && query.next()) {
                    CountDetect sum;
                    ResStatistics::ReadHours(query.value(3).toString(), sum.okHours);
                    ResStatistics::ReadHours(query.value(4).toString(), sum.ngHours);
                    CountDetect add;
                    ResStatistics::ReadHours(query.value(1).toString(), add.okHours);
                    ResStatistics::ReadHours(query.value(2).toString(), add.ngHours);
                    for (int h = 0; h < 24; ++h) {
                        sum.okHours[h] += add.okHours[h];
                        sum.ngHours[h] += add.ngHours[h];
                    }
                    rows.append({query.value(0).toString(), ResStatistics::HourText(sum.okHours),
                                 ResStatistics::HourText(sum.ngHours)});
                }
                const QString zeros = ResStatistics::HourText(QList<int>(24, 0));
                for (const auto &[name, ok1, ng1] : rows) {
                    if (!ok)
                        break;
                    query.prepare(QStringLiteral("INSERT OR REPLACE INTO main.resstatistics(name, value1, value2) VALUES(?, ?, ?)"));
                    query.addBindValue(name);
                    query.addBindValue(ok1);
                    query.addBindValue(ng1);
                    ok = query.exec();
                }
                if (ok) {
                    query.prepare(QStringLiteral("UPDATE running.resstatistics SET value1 = ?, value2 = ?"));
                    query.addBindValue(zeros);
                    query.addBindValue(zeros);
                    ok = query.exec();
                }
                ok = ok && db.commit();
                if (!ok) {
                    qWarning().noquote() << "statistics: cannot add the counts to" << archive << query.lastError().text();
                    db.rollback();
                }
            }
            query.finish();
            query.exec(QStringLiteral("DETACH DATABASE running"));
            query.finish();
            db.close();
        } else {
            qWarning().noquote() << "statistics: cannot open" << archive << db.lastError().text();
        }
    }
    QSqlDatabase::removeDatabase(QLatin1String(kMergeConnection));
    return ok;
}

// ---- counting and storing ----------------------------------------------------------------------

bool ResStatisticsParam::Add(int hour, bool ok, int camera, int detection)
{
    if (!ValidIndex(camera) || !ValidIndex(detection) || hour < 0 || hour > 23)
        return true;
    checkDate();
    CountDetect *entry = ResStatistics::Entry(m_live, camera, detection);
    ++(ok ? entry->okHours : entry->ngHours)[hour];
    save();
    if (m_followLive)
        setFindCount();
    emit counted();
    return true;
}

bool ResStatisticsParam::save()
{
    if (!openFile())
        return false;
    QSqlDatabase db = QSqlDatabase::database(QLatin1String(kConnection), false);
    QSqlQuery query(db);
    if (!db.transaction())
        return false;
    if (!saveCount(m_live, query) || !db.commit()) {
        qWarning().noquote() << "statistics: counts not written:" << query.lastError().text() << db.lastError().text();
        db.rollback();
        return false;
    }
    return true;
}

bool ResStatisticsParam::saveCount(const CountAllCamera &record, QSqlQuery &query)
{
    if (!query.prepare(QStringLiteral("UPDATE resstatistics SET value1 = ?, value2 = ? WHERE name = ?")))
        return false;
    bool ok = true;
    for (int c = 0; c < Cameras(); ++c)
        ok = saveCountCamera(record.cameras[c], c, query) && ok;
    const CountCamera all{record.all, record.detects};
    return saveCountCamera(all, ResStatistics::kAll, query) && ok;
}

bool ResStatisticsParam::saveCountCamera(const CountCamera &camera, int index, QSqlQuery &query)
{
    bool ok = true;
    for (int d = 0; d < Steps(); ++d)
        ok = saveCountDetect(camera.detects[d], ResStatistics::RowName(index, d), query) && ok;
    return saveCountDetect(camera.all, ResStatistics::RowName(index, ResStatistics::kAll), query) && ok;
}

bool ResStatisticsParam::saveCountDetect(const CountDetect &entry, const QString &name, QSqlQuery &query)
{
    query.bindValue(0, ResStatistics::HourText(entry.okHours));
    query.bindValue(1, ResStatistics::HourText(entry.ngHours));
    query.bindValue(2, name);
    return query.exec();
}

void ResStatisticsParam::loadCount(CountAllCamera &record, QSqlQuery &query)
{
    record = {};
    for (int c = 0; c <= Cameras(); ++c) {
        const int camera = c == Cameras() ? ResStatistics::kAll : c;
        if (camera == ResStatistics::kAll) {
            CountCamera all{record.all, record.detects};
            loadCountCamera(all, camera, query);
            record.all = all.all;
            record.detects = all.detects;
        } else {
            loadCountCamera(record.cameras[camera], camera, query);
        }
    }
}

void ResStatisticsParam::loadCountCamera(CountCamera &camera, int index, QSqlQuery &query)
{
    for (int d = 0; d < Steps(); ++d)
        loadCountDetect(camera.detects[d], ResStatistics::RowName(index, d), query);
    loadCountDetect(camera.all, ResStatistics::RowName(index, ResStatistics::kAll), query);
}

void ResStatisticsParam::loadCountDetect(CountDetect &entry, const QString &name, QSqlQuery &query)
{
    query.prepare(QStringLiteral("SELECT value1, value2 FROM resstatistics WHERE name = ?"));
    query.addBindValue(name);
    if (!query.exec() || !query.next())
        return;
    ResStatistics::ReadHours(query.value(0).toString(), entry.okHours);
    ResStatistics::ReadHours(query.value(1).toString(), entry.ngHours);
    query.finish();
}

// ---- the viewed record ---------------------------------------------------------------------------

void ResStatisticsParam::setFindCount()
{
    m_viewed = m_live;
    clcCount();
}

void ResStatisticsParam::setFindCount(QSqlQuery &query)
{
    loadCount(m_viewed, query);
    clcCount();
}

void ResStatisticsParam::clcCount() { ResStatistics::Sum(m_viewed); }

int ResStatisticsParam::getCount(ShiftType shift, bool ok, int camera, int detection) const
{
    const CountDetect *entry = ResStatistics::Entry(m_viewed, camera, detection);
    if (!entry)
        return 0;
    const sCount *count = shift == MorningShift ? &entry->morning
                          : shift == NightShift ? &entry->night
                          : shift == WholeDay   ? &entry->total
                                                : nullptr;
    return count ? int(ok ? count->ok : count->ng) : 0;
}

QList<int> ResStatisticsParam::getRes(ShiftType shift, bool ok, int camera, int detection) const
{
    const CountDetect *entry = ResStatistics::Entry(m_viewed, camera, detection);
    QList<int> values;
    if (!entry)
        return values;
    for (int h : ResStatistics::ShiftHours(shift))
        values << (ok ? entry->okHours : entry->ngHours).value(h);
    return values;
}
