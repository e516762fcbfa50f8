// The last good copy of the teaching: taken after saves, mirrored by changes, put back whole.
#include "params/lastgood.h"

#include "params/wizardpara.h"
#include "tests/support/stationdir.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QSqlDatabase>

namespace {

QByteArray readFile(const QString &name)
{
    QFile file(name);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeFile(const QString &path, int gray, qint64 damagedSize = 0)
{
    QDir().mkpath(QFileInfo(path).path());
    QImage image(32, 24, QImage::Format_Grayscale8);
    image.fill(gray);
    ASSERT_TRUE(image.save(path));
    QFile file(path);
    if (damagedSize > 0 && file.open(QIODevice::ReadWrite))
        file.write(QByteArray(int(damagedSize), '\0'));
}

}  // namespace

// A save takes the copy; later saves copy what changed and drop what went, never a damaged image;
// the copy comes back over a damaged station; only teaching ends a factory restore's hold.
TEST(LastGood, KeptAfterSavesAndRestoredWhole)
{
    TempStation station;
    const QString copy = LastGood::Dir() + QStringLiteral("/cammer11/");
    writeFile("cammer11/template0.bmp", 10);
    writeFile("cammer11/template1.bmp", 11);
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("dbIn"));
    db.setDatabaseName(QStringLiteral("PARAM.db"));
    ASSERT_TRUE(db.open());
    WizardPara para;
    para.LoadDatafromFile();
    EXPECT_FALSE(LastGood::Usable());
    ASSERT_TRUE(para.SaveDatatoFile());
    EXPECT_TRUE(LastGood::Usable());
    EXPECT_EQ(readFile(copy + "template1.bmp"), readFile("cammer11/template1.bmp"));
    EXPECT_EQ(QFileInfo(copy + "template1.bmp").lastModified(), QFileInfo("cammer11/template1.bmp").lastModified());

    writeFile("cammer11/template0.bmp", 20);
    const QByteArray taught = readFile("cammer11/template0.bmp");
    QFile::remove("cammer11/template1.bmp");
    writeFile("cammer11/template2.bmp", 12, 100);
    ASSERT_TRUE(LastGood::WriteNote({LastGood::Source::Factory, QDateTime()}));
    ASSERT_TRUE(para.SaveDatatoFile());
    EXPECT_EQ(readFile(copy + "template0.bmp"), taught);
    EXPECT_FALSE(QFile::exists(copy + "template1.bmp"));
    EXPECT_FALSE(QFile::exists(copy + "template2.bmp")) << "a damaged image is not copied";
    EXPECT_EQ(LastGood::ReadNote().source, LastGood::Source::Factory) << "system parameters are no teaching";
    EXPECT_TRUE(LastGood::Keep(LastGood::Saved::Teaching));
    EXPECT_EQ(LastGood::ReadNote().source, LastGood::Source::None);
    db.close();

    QFile::resize(QStringLiteral("PARAM.db"), 100);
    writeFile("cammer11/template0.bmp", 20, 500);
    ASSERT_TRUE(LastGood::Restore());
    EXPECT_EQ(readFile("cammer11/template0.bmp"), taught);
    EXPECT_FALSE(QFile::exists("cammer11/template2.bmp")) << "the station's folders mirror the copy";
    EXPECT_EQ(readFile("PARAM.db"), readFile(LastGood::Dir() + "/PARAM.db"));
    db = QSqlDatabase();
    QSqlDatabase::removeDatabase(QStringLiteral("dbIn"));
}
