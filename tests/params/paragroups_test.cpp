// Parameter groups: names, the factory group, backup and restore of PARAM.db and the camera folders.
#include "params/paragroups.h"

#include "tests/support/stationdir.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlQuery>

namespace {

void writeFile(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes);
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QString storedValue(const QString &name)
{
    QString value;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("groupsTest"));
        db.setDatabaseName(QStringLiteral("PARAM.db"));
        if (db.open()) {
            QSqlQuery q(db);
            q.prepare(QStringLiteral("select value from sysparam where name=?"));
            q.addBindValue(name);
            if (q.exec() && q.next())
                value = q.value(0).toString();
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("groupsTest"));
    return value;
}

void setStoredValue(const QString &name, const QString &value)
{
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("groupsTest"));
        db.setDatabaseName(QStringLiteral("PARAM.db"));
        ASSERT_TRUE(db.open());
        QSqlQuery q(db);
        q.prepare(QStringLiteral("update sysparam set value=? where name=?"));
        q.addBindValue(value);
        q.addBindValue(name);
        ASSERT_TRUE(q.exec());
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("groupsTest"));
}

}  // namespace

TEST(ParaGroups, NamesThatCouldLeaveTheFolderAreRefused)
{
    const struct { const char *name; bool valid; } rows[] = {
        {"mould-A 12", true}, {"模具一", true}, {"", false}, {"../x", false}, {"a/b", false},
        {"a\\b", false}, {"..", false}, {".hidden", false}, {"tab\there", false}, {"lastgood", false},
        {"0123456789012345678901234567890123", false},
    };
    for (const auto &row : rows)
        EXPECT_EQ(ParaGroups::ValidName(QString::fromUtf8(row.name)), row.valid) << row.name;
}

// Backup copies PARAM.db and the camera folders; a later restore brings both back, the factory
// group is neither overwritten nor deleted, and a group without a sound PARAM.db changes nothing.
TEST(ParaGroups, BackupAndRestoreRoundTrip)
{
    TempStation station;
    ASSERT_TRUE(QDir().mkpath(QStringLiteral("paraGroup/default")));
    writeFile(QStringLiteral("cammer11/template1.bmp"), "regions-A");
    setStoredValue(QStringLiteral("system2"), QStringLiteral("0 10 3 0 0 0 0 0 0 0 0 0 1 0 0 0 0 0"));
    const QString before = storedValue(QStringLiteral("system2"));
    ASSERT_FALSE(before.isEmpty());

    EXPECT_EQ(ParaGroups::Backup(QStringLiteral("../x"), false), ParaGroups::Result::InvalidName);
    EXPECT_EQ(ParaGroups::Backup(QStringLiteral("default"), true), ParaGroups::Result::Protected);
    ASSERT_EQ(ParaGroups::Backup(QStringLiteral("mouldA"), false), ParaGroups::Result::Ok);
    EXPECT_EQ(ParaGroups::Backup(QStringLiteral("mouldA"), false), ParaGroups::Result::Exists);
    EXPECT_TRUE(ParaGroups::List().contains(QStringLiteral("mouldA")));
    EXPECT_TRUE(ParaGroups::List().contains(QStringLiteral("default")));

    // The station changes after the backup.
    writeFile(QStringLiteral("cammer11/template1.bmp"), "regions-B");
    writeFile(QStringLiteral("cammer21/template1.bmp"), "only-after");
    setStoredValue(QStringLiteral("system2"), QStringLiteral("changed"));

    // A damaged group is refused and the station keeps what it has.
    writeFile(QStringLiteral("paraGroup/broken/PARAM.db"), "not a database at all, not at all......");
    EXPECT_EQ(ParaGroups::Restore(QStringLiteral("broken")), ParaGroups::Result::Failed);
    EXPECT_EQ(readFile(QStringLiteral("cammer11/template1.bmp")), "regions-B");
    EXPECT_EQ(storedValue(QStringLiteral("system2")), QStringLiteral("changed"));
    EXPECT_EQ(ParaGroups::ActiveName(), QString()) << "no group restored yet";

    ASSERT_EQ(ParaGroups::Restore(QStringLiteral("mouldA")), ParaGroups::Result::Ok);
    EXPECT_EQ(ParaGroups::ActiveName(), QStringLiteral("mouldA"));
    EXPECT_EQ(readFile(QStringLiteral("cammer11/template1.bmp")), "regions-A");
    EXPECT_FALSE(QFile::exists(QStringLiteral("cammer21")));
    EXPECT_EQ(storedValue(QStringLiteral("system2")), before);

    EXPECT_EQ(ParaGroups::Delete(QStringLiteral("default")), ParaGroups::Result::Protected);
    EXPECT_EQ(ParaGroups::Delete(QStringLiteral("../paraGroup")), ParaGroups::Result::InvalidName);
    EXPECT_TRUE(QFile::exists(QStringLiteral("paraGroup/default")));
    EXPECT_EQ(ParaGroups::Delete(QStringLiteral("mouldA")), ParaGroups::Result::Ok);
    EXPECT_FALSE(ParaGroups::List().contains(QStringLiteral("mouldA")));
    writeFile(QStringLiteral("paraGroup/active.txt"), "../x\n");
    EXPECT_EQ(ParaGroups::ActiveName(), QString()) << "a damaged note names no group";
}

TEST(ParaGroups, UpdateArchiveIsRecognisedByContent)
{
    TempStation station;
    writeFile(QStringLiteral("a.tar.gz"), QByteArray("\x1f\x8b\x08\x00", 4) + QByteArray(60, 'x'));
    writeFile(QStringLiteral("b.tar.xz"), QByteArray("\xfd" "7zXZ\x00", 6) + QByteArray(60, 'x'));
    writeFile(QStringLiteral("c.rar"), QByteArray("Rar!\x1a\x07\x00", 7) + QByteArray(60, 'x'));
    writeFile(QStringLiteral("fake.tar.gz"), QByteArray(80, 'x'));
    writeFile(QStringLiteral("short.tar.gz"), QByteArray("\x1f\x8b\x08", 3));
    EXPECT_EQ(ParaGroups::ArchiveType(QStringLiteral("a.tar.gz")), ParaGroups::Archive::TarGz);
    EXPECT_EQ(ParaGroups::ArchiveType(QStringLiteral("b.tar.xz")), ParaGroups::Archive::TarXz);
    EXPECT_EQ(ParaGroups::ArchiveType(QStringLiteral("c.rar")), ParaGroups::Archive::Rar);
    EXPECT_EQ(ParaGroups::ArchiveType(QStringLiteral("fake.tar.gz")), ParaGroups::Archive::None);
    EXPECT_EQ(ParaGroups::ArchiveType(QStringLiteral("short.tar.gz")), ParaGroups::Archive::None);
    EXPECT_EQ(ParaGroups::ArchiveType(QStringLiteral("missing.rar")), ParaGroups::Archive::None);
}
