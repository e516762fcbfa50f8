#include "params/paragroups.h"

#include "params/lastgood.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QtDebug>

namespace ParaGroups {

namespace {

const QString kRoot = QStringLiteral("paraGroup");
const QString kParamFile = QStringLiteral("PARAM.db");
const QString kActiveFile = QStringLiteral("paraGroup/active.txt");
const QStringList kCameraFolders{QStringLiteral("cammer*")};
const QStringList kReserved{QStringLiteral("lastgood")};
constexpr int kMaxNameLength = 32;

QString groupPath(const QString &name) { return kRoot + QLatin1Char('/') + name; }

bool copyTree(const QString &from, const QString &to)
{
    if (!QDir().mkpath(to))
        return false;
    bool ok = true;
    const QDir source(from);
    for (const QFileInfo &entry : source.entryInfoList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden)) {
        const QString target = to + QLatin1Char('/') + entry.fileName();
        if (entry.isSymLink())
            continue;  // a group holds plain files only
        if (entry.isDir())
            ok = copyTree(entry.filePath(), target) && ok;
        else
            ok = (!QFile::exists(target) || QFile::remove(target)) && QFile::copy(entry.filePath(), target) && ok;
    }
    return ok;
}

bool removeTree(const QString &path) { return !QFileInfo::exists(path) || QDir(path).removeRecursively(); }

// A consistent copy of the station's PARAM.db at `target`, whatever the station holds open.
bool snapshotParameters(const QString &target)
{
    const QString absolute = QDir::current().absoluteFilePath(target);
    QFile::remove(absolute);
    QSqlDatabase station = QSqlDatabase::database(QStringLiteral("dbIn"), false);
    const bool useStation = station.isOpen()
                            && QFileInfo(station.databaseName()).absoluteFilePath()
                                   == QDir::current().absoluteFilePath(kParamFile);
    const QString own = QStringLiteral("paraGroupBackup");
    bool ok = false;
    {
        QSqlDatabase db = useStation ? station : QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), own);
        if (!useStation) {
            db.setDatabaseName(QDir::current().absoluteFilePath(kParamFile));
            db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY"));
        }
        if (db.isOpen() || (QFileInfo::exists(kParamFile) && db.open())) {
            QSqlQuery vacuum(db);
            vacuum.prepare(QStringLiteral("VACUUM INTO ?"));
            vacuum.addBindValue(absolute);
            ok = vacuum.exec();
            if (!ok)
                qWarning().noquote() << "parameter group: PARAM.db could not be copied:" << vacuum.lastError().text();
        }
        if (!useStation)
            db.close();
    }
    if (!useStation)
        QSqlDatabase::removeDatabase(own);
    return ok && LastGood::SoundParameterFile(absolute);
}

bool renameInto(const QString &from, const QString &to)
{
    return QFileInfo::exists(from) ? QDir().rename(from, to) : true;
}

}  // namespace

bool ValidName(const QString &name)
{
    if (name.isEmpty() || name.size() > kMaxNameLength || name.startsWith(QLatin1Char('.'))
        || name.contains(QLatin1Char('/')) || name.contains(QLatin1Char('\\')) || name.contains(QLatin1String(".."))
        || kReserved.contains(name))
        return false;
    for (const QChar c : name)
        if (c.category() == QChar::Other_Control || c.category() == QChar::Other_Format || c == QChar(0x7f))
            return false;
    return true;
}

QStringList List()
{
    QStringList groups;
    for (const QString &name : QDir(kRoot).entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name))
        if (ValidName(name))
            groups << name;
    return groups;
}

bool Exists(const QString &name) { return ValidName(name) && QFileInfo(groupPath(name)).isDir(); }

Result Backup(const QString &name, bool overwrite)
{
    if (!ValidName(name))
        return Result::InvalidName;
    if (name == kFactory)
        return Result::Protected;
    if (Exists(name) && !overwrite)
        return Result::Exists;
    const QString staging = groupPath(QStringLiteral(".backup-staging"));
    const QString previous = groupPath(QStringLiteral(".backup-previous"));
    if (!removeTree(staging) || !removeTree(previous) || !QDir().mkpath(staging))
        return Result::Failed;
    bool ok = snapshotParameters(staging + QLatin1Char('/') + kParamFile);
    for (const QString &folder : QDir::current().entryList(kCameraFolders, QDir::Dirs | QDir::NoDotAndDotDot))
        ok = ok && copyTree(folder, staging + QLatin1Char('/') + folder);
    const QString target = groupPath(name);
    if (!ok || !renameInto(target, previous) || !QDir().rename(staging, target)) {
        renameInto(previous, target);
        removeTree(staging);
        return Result::Failed;
    }
    removeTree(previous);
    return Result::Ok;
}

Result Restore(const QString &name)
{
    if (!ValidName(name))
        return Result::InvalidName;
    if (!Exists(name))
        return Result::Missing;
    const QString staging = groupPath(QStringLiteral(".restore-staging"));
    const QString aside = groupPath(QStringLiteral(".restore-previous"));
    if (!removeTree(staging) || !removeTree(aside) || !copyTree(groupPath(name), staging)
        || !LastGood::SoundParameterFile(staging + QLatin1Char('/') + kParamFile) || !QDir().mkpath(aside)) {
        removeTree(staging);
        return Result::Failed;
    }

    // Swap: the station's files go aside, the group's come in; any failure puts everything back.
    QStringList movedAside, movedIn;
    bool ok = true;
    QStringList current = QDir::current().entryList(kCameraFolders, QDir::Dirs | QDir::NoDotAndDotDot);
    current << kParamFile;
    for (const QString &entry : current) {
        if (!QFileInfo::exists(entry))
            continue;
        if (!QDir().rename(entry, aside + QLatin1Char('/') + entry)) {
            ok = false;
            break;
        }
        movedAside << entry;
    }
    if (ok) {
        QStringList incoming = QDir(staging).entryList(kCameraFolders, QDir::Dirs | QDir::NoDotAndDotDot);
        incoming << kParamFile;
        for (const QString &entry : incoming) {
            if (!QDir().rename(staging + QLatin1Char('/') + entry, entry)) {
                ok = false;
                break;
            }
            movedIn << entry;
        }
    }
    if (!ok) {
        for (const QString &entry : movedIn)
            QFileInfo(entry).isDir() ? (void)QDir(entry).removeRecursively() : (void)QFile::remove(entry);
        for (const QString &entry : movedAside)
            QDir().rename(aside + QLatin1Char('/') + entry, entry);
        qWarning().noquote() << "parameter group" << name << "could not be restored; the station keeps its own";
    }
    removeTree(staging);
    if (ok) {
        removeTree(aside);
        SetActiveName(name);
    }
    return ok ? Result::Ok : Result::Failed;
}

QString ActiveName()
{
    QFile file(kActiveFile);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QString name = QString::fromUtf8(file.readLine(4 * kMaxNameLength + 2)).trimmed();
    return ValidName(name) ? name : QString();
}

void SetActiveName(const QString &name)
{
    if (!ValidName(name)) {
        QFile::remove(kActiveFile);
        return;
    }
    QSaveFile file(kActiveFile);
    if (!QDir().mkpath(kRoot) || !file.open(QIODevice::WriteOnly) || file.write(name.toUtf8() + '\n') < 0
        || !file.commit())
        qWarning().noquote() << "the active parameter group could not be noted:" << name;
}

Result Delete(const QString &name)
{
    if (!ValidName(name))
        return Result::InvalidName;
    if (name == kFactory)
        return Result::Protected;
    if (!Exists(name))
        return Result::Missing;
    return QDir(groupPath(name)).removeRecursively() ? Result::Ok : Result::Failed;
}

Archive ArchiveType(const QString &path)
{
    QFile file(path);
    if (!QFileInfo(path).isFile() || !file.open(QIODevice::ReadOnly))
        return Archive::None;
    const QByteArray head = file.read(512);
    if (head.size() < 32)
        return Archive::None;
    if (head.startsWith("\x1f\x8b\x08"))
        return Archive::TarGz;
    if (head.startsWith(QByteArray("\xfd" "7zXZ\x00", 6)))
        return Archive::TarXz;
    if (head.startsWith(QByteArray("Rar!\x1a\x07", 6)))
        return Archive::Rar;
    return Archive::None;
}

QString UpdateFileName(Archive type)
{
    switch (type) {
    case Archive::TarGz: return QStringLiteral("newupdate.tar.gz");
    case Archive::TarXz: return QStringLiteral("newupdate.tar.xz");
    case Archive::Rar: return QStringLiteral("newupdate.rar");
    case Archive::None: break;
    }
    return QString();
}

}  // namespace ParaGroups
