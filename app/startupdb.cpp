#include "app/startupdb.h"

#include "core/atomicfile.h"
#include "core/globals.h"
#include "params/lastgood.h"
#include "ui/prompt.h"
#include "core/systemgateway.h"

#include <QDateTime>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QThread>
#include <QtDebug>

namespace {

struct StationDb
{
    const char *connection;
    const char *file;
    const char *table;
    int messageRow;        // text shown to the operator, in English
    const char *factory;   // the file copied over a damaged one
    int waitMs;
};

constexpr StationDb kParam{"dbIn", "PARAM.db", "sysparam", 160, "./paraGroup/default/PARAM.db", 100};
constexpr StationDb kRecord{"dbRecord", "RECORD.db", "RECORD", 135, "RECORDNULL.db", 300};
constexpr StationDb kSerial{"dbT", "SN.db", "sysparam", 160, "./paraGroup/default/SN.db", 100};

bool open(const StationDb &db)
{
    QSqlDatabase handle = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QLatin1String(db.connection));
    handle.setDatabaseName(QLatin1String(db.file));
    if (!handle.open()) {
        qCritical().noquote() << db.file << "cannot be opened:" << handle.lastError().text();
        return false;
    }
    return IsUsableDatabase(QLatin1String(db.connection), QLatin1String(db.table));
}

// PARAM.db from the last good copy of the teaching (with the camera folders), noted for the next
// start. False when there is no sound copy.
bool restoreLastGood()
{
    if (!LastGood::Usable())
        return false;
    const QDateTime taken = LastGood::Taken();
    if (!LastGood::Restore())
        return false;
    LastGood::WriteNote({LastGood::Source::LastGood, taken});
    qWarning().noquote() << "PARAM.db restored from the last good copy of" << taken.toString(Qt::ISODate)
                         << "; restarting";
    return true;
}

// Replaces the damaged file and restarts: PARAM.db by the last good copy when there is one, else
// (and every other database) by its factory copy. Without a factory copy a restart would only meet
// the same damage again, so the station stops and says why.
void recover(const StationDb &db)
{
    const QString english = gaLanStr[db.messageRow * kLanguages + 1];
    Prompt::Warn(english.isEmpty() ? QStringLiteral("%1 is damaged").arg(QLatin1String(db.file)) : english);
    CloseStationDatabases();
    const QString damaged = QLatin1String(db.file);
    // Kept for the service technician, never overwriting an earlier damaged copy.
    QFile::rename(damaged, damaged + QStringLiteral(".damaged-")
                               + QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss-zzz")));
    const bool parameters = &db == &kParam;
    if (parameters && restoreLastGood()) {
        QThread::msleep(static_cast<unsigned long>(db.waitMs));
        SystemGateway::reboot();
        return;
    }
    if (!QFile::exists(QLatin1String(db.factory)) || !AtomicFile::Copy(QLatin1String(db.factory), damaged)) {
        qCritical("the factory copy %s is missing; %s cannot be restored", db.factory, db.file);
        return;
    }
    // The teaching is gone: the next start holds detection stopped until the station is taught.
    if (parameters)
        LastGood::WriteNote({LastGood::Source::Factory, QDateTime()});
    qWarning("%s restored from %s; restarting", db.file, db.factory);
    QThread::msleep(static_cast<unsigned long>(db.waitMs));
    SystemGateway::reboot();
}

}  // namespace

bool IsUsableDatabase(const QString &connection, const QString &table)
{
    QSqlDatabase db = QSqlDatabase::database(connection, false);
    if (!db.isOpen())
        return false;
    QSqlQuery check(db);
    if (!check.exec(QStringLiteral("PRAGMA quick_check")) || !check.next()
        || check.value(0).toString() != QLatin1String("ok")) {
        qCritical().noquote() << db.databaseName() << "is not a sound database:" << check.lastError().text();
        return false;
    }
    QSqlQuery tables(db);
    tables.prepare(QStringLiteral("select count(*) from sqlite_master where type='table' and name=?"));
    tables.addBindValue(table);
    if (!tables.exec() || !tables.next() || tables.value(0).toInt() != 1) {
        qCritical().noquote() << db.databaseName() << "has no table" << table;
        return false;
    }
    return true;
}

bool OpenStationDatabases()
{
    const bool paramOk = open(kParam);
    const bool recordOk = open(kRecord);
    const bool serialOk = open(kSerial);
    if (!paramOk) {
        recover(kParam);
        return false;
    }
    if (!serialOk) {
        recover(kSerial);
        return false;
    }
    if (!recordOk) {
        recover(kRecord);
        return false;
    }
    // The operation record keeps its own connection on RECORD.db from here on.
    QSqlDatabase::database(QLatin1String(kRecord.connection), false).close();
    QSqlDatabase::removeDatabase(QLatin1String(kRecord.connection));
    return true;
}

void CloseStationDatabases()
{
    for (const char *name : {"dbIn", "dbRecord", "dbT"}) {
        {
            QSqlDatabase db = QSqlDatabase::database(QLatin1String(name), false);
            if (db.isValid())
                db.close();
        }
        QSqlDatabase::removeDatabase(QLatin1String(name));
    }
}
