#include "params/lastgood.h"

#include "core/atomicfile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSet>
#include <QtDebug>

namespace LastGood {

namespace {

const QString kParamFile = QStringLiteral("PARAM.db");
const QString kNoteFile = QStringLiteral("paraGroup/restored.txt");
const QStringList kCameraFolders{QStringLiteral("cammer*")};
const QStringList kImages{QStringLiteral("*.bmp")};

QString copyOf(const QString &name) { return Dir() + QLatin1Char('/') + name; }


bool sameFile(const QFileInfo &a, const QFileInfo &b)
{
    return b.exists() && a.size() == b.size() && a.lastModified() == b.lastModified();
}

// Makes the images of folder `to` those of `from`: changed ones (or all, with `all`) copied, those
// `from` lacks removed. Images in `from` that are cut short are left out; `to` keeps its own.
bool mirrorImages(const QString &from, const QString &to, bool all)
{
    bool ok = QDir().mkpath(to);
    QSet<QString> names;
    for (const QFileInfo &image : QDir(from).entryInfoList(kImages, QDir::Files)) {
        names.insert(image.fileName());
        const QString target = to + QLatin1Char('/') + image.fileName();
        if (!all && sameFile(image, QFileInfo(target)))
            continue;
        if (!AtomicFile::IsWhole(image.filePath())) {
            qWarning().noquote() << image.filePath() << "is damaged and is not taken into the last good copy";
            continue;
        }
        ok = AtomicFile::Copy(image.filePath(), target) && ok;
    }
    for (const QFileInfo &image : QDir(to).entryInfoList(kImages, QDir::Files))
        if (!names.contains(image.fileName()))
            ok = QFile::remove(image.filePath()) && ok;
    return ok;
}

}  // namespace

bool SoundParameterFile(const QString &path)
{
    if (!QFileInfo(path).isFile())
        return false;
    const QString connection = QStringLiteral("lastGoodCheck");
    bool sound = false;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection);
        db.setDatabaseName(path);
        db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY"));
        if (db.open()) {
            QSqlQuery check(db);
            sound = check.exec(QStringLiteral("PRAGMA quick_check")) && check.next()
                    && check.value(0).toString() == QLatin1String("ok");
            QSqlQuery table(db);
            sound = sound
                    && table.exec(QStringLiteral("select count(*) from sqlite_master where type='table' and name='sysparam'"))
                    && table.next() && table.value(0).toInt() == 1;
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(connection);
    return sound;
}

QString Dir() { return QStringLiteral("paraGroup/lastgood"); }

bool Keep(Saved what)
{
    QSqlDatabase db = QSqlDatabase::database(QStringLiteral("dbIn"), false);
    if (!db.isOpen() || QFileInfo(db.databaseName()).absoluteFilePath() != QDir::current().absoluteFilePath(kParamFile))
        return false;
    if (!QDir().mkpath(Dir()))
        return false;
    const QString fresh = QDir::current().absoluteFilePath(copyOf(kParamFile + QStringLiteral(".new")));
    QFile::remove(fresh);
    QSqlQuery vacuum(db);
    vacuum.prepare(QStringLiteral("VACUUM INTO ?"));
    vacuum.addBindValue(fresh);
    if (!vacuum.exec() || !AtomicFile::Sync(fresh) || !SoundParameterFile(fresh)) {
        qWarning().noquote() << "no last good copy of PARAM.db taken:" << vacuum.lastError().text();
        QFile::remove(fresh);
        return false;
    }
    // Images first: a crash in between leaves the previous PARAM.db with images at least as new.
    bool ok = true;
    QSet<QString> folders;
    for (const QString &folder : QDir::current().entryList(kCameraFolders, QDir::Dirs | QDir::NoDotAndDotDot)) {
        folders.insert(folder);
        ok = mirrorImages(folder, copyOf(folder), false) && ok;
    }
    for (const QString &folder : QDir(Dir()).entryList(kCameraFolders, QDir::Dirs | QDir::NoDotAndDotDot))
        if (!folders.contains(folder))
            ok = QDir(copyOf(folder)).removeRecursively() && ok;
    if (!AtomicFile::Replace(fresh, copyOf(kParamFile))) {
        qWarning("the last good copy of PARAM.db could not be replaced");
        QFile::remove(fresh);
        return false;
    }
    if (what == Saved::Teaching && ReadNote().source == Source::Factory)
        ClearNote();
    if (!ok)
        qWarning("the last good copy lacks some images of the camera folders");
    return ok;
}

bool Usable() { return SoundParameterFile(copyOf(kParamFile)); }

QDateTime Taken()
{
    const QFileInfo copy(copyOf(kParamFile));
    return copy.exists() ? copy.lastModified() : QDateTime();
}

bool Restore()
{
    if (!AtomicFile::Copy(copyOf(kParamFile), kParamFile))
        return false;
    for (const QString &folder : QDir(Dir()).entryList(kCameraFolders, QDir::Dirs | QDir::NoDotAndDotDot)) {
        if (!mirrorImages(copyOf(folder), folder, true))
            qWarning().noquote() << "the images of" << folder << "could not all be restored";
    }
    return true;
}

bool WriteNote(const Note &note)
{
    const QByteArray text = note.source == Source::Factory
                                ? QByteArray("factory\n")
                                : "lastgood " + note.taken.toString(Qt::ISODateWithMs).toLatin1() + '\n';
    return AtomicFile::Write(kNoteFile, [&](QIODevice &file) { return file.write(text) == text.size(); });
}

Note ReadNote()
{
    Note note;
    QFile file(kNoteFile);
    if (!file.open(QIODevice::ReadOnly))
        return note;
    const QList<QByteArray> words = file.readAll().trimmed().split(' ');
    if (words.value(0) == "factory") {
        note.source = Source::Factory;
    } else if (words.value(0) == "lastgood") {
        note.source = Source::LastGood;
        note.taken = QDateTime::fromString(QString::fromLatin1(words.value(1)), Qt::ISODateWithMs);
    }
    return note;
}

void ClearNote() { QFile::remove(kNoteFile); }

}  // namespace LastGood
