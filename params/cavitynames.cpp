#include "params/cavitynames.h"

#include "core/globals.h"

#include <QDateTime>
#include <QFile>
#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QtDebug>

#include <algorithm>
#include <array>

namespace CavityNames {
namespace {

// Text rows of the default names: positions 1..8, then 9..16.
constexpr int kFirstRows[2] = {460, 596};

std::array<QStringList, kCameras> gCache;  // saved names per camera, GUI thread only
bool gCacheLoaded = false;
std::function<void(int, const QStringList &)> gButtonHook;

QSqlDatabase db() { return QSqlDatabase::database(QLatin1String(kConnection), false); }

bool KnownTable(const QString &table)
{
    return table == QLatin1String(kSavedTable) || table == QLatin1String(kScratchTable);
}

QString CameraKey(int camera) { return QStringLiteral("Camera%1").arg(camera); }

QStringList Defaults()
{
    QStringList names;
    for (int p = 0; p < kPositions; ++p)
        names << DefaultName(p);
    return names;
}

// True when SQLite can read the whole file.
bool Readable(QSqlDatabase &database, QString *why)
{
    QSqlQuery check(database);
    if (!check.exec(QStringLiteral("PRAGMA quick_check")) || !check.next()) {
        *why = check.lastError().text();
        return false;
    }
    const QString answer = check.value(0).toString();
    if (answer != QLatin1String("ok")) {
        *why = answer;
        return false;
    }
    return true;
}

// Creates a missing table and the missing camera rows of `table` with the default names.
bool Complete(QSqlDatabase &database, const QString &table, bool *created)
{
    QSqlQuery query(database);
    if (!database.tables().contains(table)) {
        *created = true;
        if (!query.exec(QStringLiteral("create table %1(Camera varchar(32) primary key,CavityName varchar(32))")
                            .arg(table))) {
            qWarning().noquote() << "cavity names: cannot create" << table << query.lastError().text();
            return false;
        }
    }
    bool ok = true;
    for (int camera = 0; camera < kCameras; ++camera) {
        query.prepare(QStringLiteral("insert or ignore into %1 values(:Camera, :CavityName)").arg(table));
        query.bindValue(QStringLiteral(":Camera"), CameraKey(camera));
        query.bindValue(QStringLiteral(":CavityName"), JoinNames(Defaults()));
        if (!query.exec()) {
            qWarning().noquote() << "cavity names: cannot add the row of camera" << camera << "to" << table
                                 << query.lastError().text();
            ok = false;
        }
    }
    return ok;
}

void LoadCache()
{
    for (int camera = 0; camera < kCameras; ++camera)
        gCache[camera] = Read(QLatin1String(kSavedTable), camera);
    gCacheLoaded = true;
}

}  // namespace

QString DefaultName(int position)
{
    if (position < 0 || position >= kPositions)
        return QString();
    const int row = kFirstRows[position / 8] + position % 8;
    const QString &text = gaLanStr[row * kLanguages];
    // The text table is filled at start-up; parts tested alone may run without it.
    return text.isEmpty() ? QStringLiteral("模腔%1").arg(position + 1) : text;
}

QString CleanName(const QString &typed, int position)
{
    static const QRegularExpression blanks(QStringLiteral("\\s+"));
    QString name = typed.trimmed();
    name.replace(blanks, QStringLiteral("_"));
    return name.isEmpty() ? DefaultName(position) : name;
}

QStringList SplitNames(const QString &value)
{
    static const QRegularExpression blanks(QStringLiteral("\\s+"));
    const QStringList words = value.split(blanks, Qt::SkipEmptyParts);
    QStringList names;
    for (int p = 0; p < kPositions; ++p)
        names << (p < words.size() ? words.at(p) : DefaultName(p));
    return names;
}

QString JoinNames(const QStringList &names)
{
    QStringList cleaned;
    for (int p = 0; p < kPositions; ++p)
        cleaned << CleanName(p < names.size() ? names.at(p) : QString(), p);
    return cleaned.join(QLatin1Char(' '));
}

OpenResult Databaseinit()
{
    Close();
    QSqlDatabase database = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QLatin1String(kConnection));
    database.setDatabaseName(QLatin1String(kFile));
    const bool existed = QFile::exists(QLatin1String(kFile));
    OpenResult result = existed ? OpenResult::Opened : OpenResult::Created;
    QString why;
    if (!database.open() || !Readable(database, &why)) {
        if (why.isEmpty())
            why = database.lastError().text();
        database.close();
        // Kept for the service staff; the station goes on with the default names.
        QString aside = QStringLiteral("%1.damaged-%2")
                            .arg(QLatin1String(kFile),
                                 QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss")));
        for (int n = 2; QFile::exists(aside); ++n)  // never over an earlier damaged file
            aside = aside.section(QLatin1Char('~'), 0, 0) + QStringLiteral("~%1").arg(n);
        qWarning().noquote() << "cavity names:" << kFile << "is not readable (" << why << "), kept as" << aside
                             << "and made anew with the default names";
        if (!QFile::rename(QLatin1String(kFile), aside)) {
            qWarning().noquote() << "cavity names: cannot set" << kFile << "aside; the default names are shown";
            LoadCache();
            return OpenResult::Failed;
        }
        if (!database.open()) {
            qWarning().noquote() << "cavity names: cannot make a new" << kFile << database.lastError().text();
            LoadCache();
            return OpenResult::Failed;
        }
        result = OpenResult::Recovered;
    }
    bool created = false;
    const bool complete = Complete(database, QLatin1String(kSavedTable), &created)
                          && Complete(database, QLatin1String(kScratchTable), &created);
    if (created && result == OpenResult::Opened)
        qWarning().noquote() << "cavity names: a table was missing in" << kFile << "; made with the default names";
    LoadCache();
    return complete ? result : OpenResult::Failed;
}

void Close()
{
    gCacheLoaded = false;
    if (!QSqlDatabase::contains(QLatin1String(kConnection)))
        return;
    {
        QSqlDatabase database = db();
        database.close();
    }
    QSqlDatabase::removeDatabase(QLatin1String(kConnection));
}

QStringList Read(const QString &table, int camera)
{
    QSqlDatabase database = db();
    if (!KnownTable(table) || camera < 0 || camera >= kCameras || !database.isOpen())
        return Defaults();
    QSqlQuery query(database);
    query.prepare(QStringLiteral("select CavityName from %1 where Camera=:Camera").arg(table));
    query.bindValue(QStringLiteral(":Camera"), CameraKey(camera));
    if (!query.exec() || !query.next()) {
        qWarning().noquote() << "cavity names: no row of camera" << camera << "in" << table
                             << query.lastError().text();
        return Defaults();
    }
    return SplitNames(query.value(0).toString());
}

bool Write(const QString &table, int camera, const QStringList &names)
{
    QSqlDatabase database = db();
    if (!KnownTable(table) || camera < 0 || camera >= kCameras || !database.isOpen())
        return false;
    QSqlQuery query(database);
    query.prepare(QStringLiteral("update %1  set CavityName=:CavityName where Camera=:Camera").arg(table));
    query.bindValue(QStringLiteral(":CavityName"), JoinNames(names));
    query.bindValue(QStringLiteral(":Camera"), CameraKey(camera));
    if (!query.exec() || query.numRowsAffected() != 1) {
        qWarning().noquote() << "cavity names: cannot write camera" << camera << "into" << table
                             << query.lastError().text();
        return false;
    }
    return true;
}

bool Initialize(const QString &from, const QString &to)
{
    if (!KnownTable(from) || !KnownTable(to))
        return false;
    bool ok = true;
    for (int camera = 0; camera < kCameras; ++camera)
        ok = Write(to, camera, Read(from, camera)) && ok;
    if (to == QLatin1String(kSavedTable))
        LoadCache();
    // The names just copied label the buttons of the attached cameras (the saved ones at start-up,
    // the confirmed ones after Confirm).
    for (int camera = 0; camera < std::min(numCamera, kCameras); ++camera)
        if (gButtonHook)
            gButtonHook(camera, Read(to, camera));
    return ok;
}

QString getResult(int camera, int position)
{
    if (position < 0 || position >= kPositions)
        return QString();
    if (camera < 0 || camera >= kCameras)
        return DefaultName(position);
    if (!gCacheLoaded) {
        if (db().isOpen())
            LoadCache();
        else
            Databaseinit();
    }
    return gCache[camera].value(position, DefaultName(position));
}

void SetButtonHook(std::function<void(int, const QStringList &)> hook) { gButtonHook = std::move(hook); }

}  // namespace CavityNames

QString CavityName(int camera, int cavity) { return CavityNames::getResult(camera, cavity); }
