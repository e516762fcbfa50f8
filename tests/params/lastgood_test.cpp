// The last good copy of the teaching: taken after saves, mirrored incrementally, put back whole.
#include "params/lastgood.h"

#include "params/wizardpara.h"
#include "tests/support/stationdir.h"

#include <gtest/gtest.h>

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QSqlDatabase>
#include <QSqlQuery>

#include <sys/stat.h>

namespace {

QByteArray readFile(const QString &name)
{
    QFile file(name);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

ino_t inode(const QString &path)
{
    struct stat info {};
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 ? info.st_ino : 0;
}

void writeImage(const QString &path, int gray)
{
    QDir().mkpath(QFileInfo(path).path());
    QImage image(32, 24, QImage::Format_Grayscale8);
    image.fill(gray);
    ASSERT_TRUE(image.save(path));
}

// The value of a sysparam row in the database file `file`.
QString storedValue(const QString &file, const QString &name)
{
    QString value;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("peek"));
        db.setDatabaseName(file);
        if (db.open()) {
            QSqlQuery q(db);
            q.prepare(QStringLiteral("select value from sysparam where name=?"));
            q.addBindValue(name);
            if (q.exec() && q.next())
                value = q.value(0).toString();
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("peek"));
    return value;
}

void openParam()
{
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("dbIn"));
    db.setDatabaseName(QStringLiteral("PARAM.db"));
    ASSERT_TRUE(db.open());
}

void closeParam()
{
    QSqlDatabase::database(QStringLiteral("dbIn"), false).close();
    QSqlDatabase::removeDatabase(QStringLiteral("dbIn"));
}

}  // namespace

// One station's life: a save takes the copy, later saves copy only what changed, damage in the
// station never reaches the copy, and the copy comes back whole.
TEST(LastGood, KeptAfterSavesAndRestoredWhole)
{
    TempStation station;
    EXPECT_FALSE(LastGood::Usable()) << "a new station has no copy";
    writeImage(QStringLiteral("cammer11/template0.bmp"), 10);
    writeImage(QStringLiteral("cammer11/template1.bmp"), 11);
    writeImage(QStringLiteral("cammer12/ignorepoint.bmp"), 1);
    ASSERT_NO_FATAL_FAILURE(openParam());
    WizardPara para;
    para.LoadDatafromFile();
    para.trigInDelay[0] = 7;
    ASSERT_TRUE(para.SaveDatatoFile());

    const QString copy = LastGood::Dir();
    EXPECT_TRUE(LastGood::Usable());
    EXPECT_TRUE(storedValue(copy + "/PARAM.db", "trigInDelay").startsWith("7 "));
    for (const char *image : {"cammer11/template0.bmp", "cammer11/template1.bmp", "cammer12/ignorepoint.bmp"}) {
        SCOPED_TRACE(image);
        EXPECT_EQ(readFile(copy + '/' + image), readFile(image));
        EXPECT_EQ(QFileInfo(copy + '/' + image).lastModified(), QFileInfo(image).lastModified());
    }

    // Next save: a changed template is copied, a deleted one goes, a template cut short (and a
    // camera folder that is gone) never replace what the copy holds.
    const ino_t unchanged = inode(copy + "/cammer12/ignorepoint.bmp");
    writeImage(QStringLiteral("cammer11/template0.bmp"), 20);
    QFile::remove(QStringLiteral("cammer11/template1.bmp"));
    writeImage(QStringLiteral("cammer11/template2.bmp"), 12);
    const QByteArray whole2 = readFile(QStringLiteral("cammer11/template2.bmp"));
    ASSERT_TRUE(para.SaveDatatoFile());
    QFile cut(QStringLiteral("cammer11/template2.bmp"));
    ASSERT_TRUE(cut.open(QIODevice::ReadWrite));
    cut.resize(cut.size() / 2);
    cut.close();
    writeImage(QStringLiteral("cammer21/template0.bmp"), 30);
    para.trigInDelay[0] = 8;
    ASSERT_TRUE(para.SaveDatatoFile());
    EXPECT_EQ(readFile(copy + "/cammer11/template0.bmp"), readFile("cammer11/template0.bmp"));
    EXPECT_FALSE(QFile::exists(copy + "/cammer11/template1.bmp"));
    EXPECT_EQ(readFile(copy + "/cammer11/template2.bmp"), whole2) << "a damaged image is not copied";
    EXPECT_TRUE(QFile::exists(copy + "/cammer21/template0.bmp"));
    EXPECT_EQ(inode(copy + "/cammer12/ignorepoint.bmp"), unchanged) << "unchanged: not copied again";
    EXPECT_TRUE(storedValue(copy + "/PARAM.db", "trigInDelay").startsWith("8 "));
    EXPECT_TRUE(QDir(copy).entryList({"*.new"}).isEmpty());
    closeParam();

    // PARAM.db garbage, a template zeroed, a template the copy lacks: the copy comes back.
    QFile param(QStringLiteral("PARAM.db"));
    ASSERT_TRUE(param.open(QIODevice::WriteOnly | QIODevice::Truncate));
    param.write(QByteArray(4096, 'x'));
    param.close();
    const QByteArray template0 = readFile("cammer11/template0.bmp");
    QFile zeroed(QStringLiteral("cammer11/template0.bmp"));
    ASSERT_TRUE(zeroed.open(QIODevice::ReadWrite));
    zeroed.write(QByteArray(int(zeroed.size()), '\0'));
    zeroed.close();
    writeImage(QStringLiteral("cammer11/template5.bmp"), 55);
    ASSERT_TRUE(LastGood::Restore());
    EXPECT_TRUE(storedValue(QStringLiteral("PARAM.db"), "trigInDelay").startsWith("8 "));
    EXPECT_EQ(readFile("cammer11/template0.bmp"), template0);
    EXPECT_EQ(readFile("cammer11/template2.bmp"), whole2);
    EXPECT_FALSE(QFile::exists("cammer11/template5.bmp"));
}

// The note of a restore: a factory restore holds until a copy is taken after teaching.
TEST(LastGood, FactoryNoteHoldsUntilTheStationIsTaught)
{
    TempStation station;
    EXPECT_EQ(LastGood::ReadNote().source, LastGood::Source::None);
    const QDateTime taken = QDateTime::fromString(QStringLiteral("2030-01-02T03:04:05.678"), Qt::ISODateWithMs);
    ASSERT_TRUE(LastGood::WriteNote({LastGood::Source::LastGood, taken}));
    EXPECT_EQ(LastGood::ReadNote().source, LastGood::Source::LastGood);
    EXPECT_EQ(LastGood::ReadNote().taken, taken);
    ASSERT_TRUE(LastGood::WriteNote({LastGood::Source::Factory, QDateTime()}));
    EXPECT_EQ(LastGood::ReadNote().source, LastGood::Source::Factory);
    ASSERT_NO_FATAL_FAILURE(openParam());
    {
        WizardPara para;
        para.LoadDatafromFile();
        ASSERT_TRUE(para.SaveDatatoFile());
    }
    EXPECT_TRUE(LastGood::Usable());
    EXPECT_EQ(LastGood::ReadNote().source, LastGood::Source::Factory) << "system parameters are no teaching";
    EXPECT_TRUE(LastGood::Keep(LastGood::Saved::Teaching));
    closeParam();
    EXPECT_EQ(LastGood::ReadNote().source, LastGood::Source::None);

    // A database that is not the station's PARAM.db gets no copy.
    QDir(LastGood::Dir()).removeRecursively();
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("dbIn"));
    db.setDatabaseName(QStringLiteral(":memory:"));
    ASSERT_TRUE(db.open());
    EXPECT_FALSE(LastGood::Keep(LastGood::Saved::Teaching));
    db = QSqlDatabase();
    closeParam();
    EXPECT_FALSE(QFile::exists(LastGood::Dir()));
}
