// Cavity names: what is stored, how typed names are cleaned, and a damaged file.
#include "params/cavitynames.h"

#include "core/globals.h"
#include "tests/support/stationdir.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlQuery>

using namespace CavityNames;

namespace {

QStringList defaults()
{
    QStringList names;
    for (int p = 0; p < kPositions; ++p)
        names << DefaultName(p);
    return names;
}

QString storedValue(const char *table, int camera)
{
    QSqlQuery query(QSqlDatabase::database(QLatin1String(kConnection)));
    query.exec(QStringLiteral("select CavityName from %1 where Camera='Camera%2'").arg(QLatin1String(table)).arg(camera));
    return query.next() ? query.value(0).toString() : QStringLiteral("<no row>");
}

}  // namespace

// A fresh directory gets both tables with eight default rows; names with quotes and other
// punctuation survive Confirm (scratch into saved) and a reopening of the file.
TEST(CavityNames, FreshFileAndQuotesSurviveSaveAndReload)
{
    TempStation station(false);
    EXPECT_EQ(Databaseinit(), OpenResult::Created);
    for (int camera = 0; camera < kCameras; ++camera) {
        EXPECT_EQ(Read(QLatin1String(kSavedTable), camera), defaults());
        EXPECT_EQ(Read(QLatin1String(kScratchTable), camera), defaults());
    }
    EXPECT_EQ(DefaultName(0), QStringLiteral("模腔1"));
    EXPECT_EQ(DefaultName(15), QStringLiteral("模腔16"));

    QStringList names = defaults();
    names[0] = QStringLiteral("O'Neil");
    names[1] = QStringLiteral("a';drop_table_CavityName_table;--");
    names[15] = QStringLiteral("\"16\"");
    ASSERT_TRUE(Write(QLatin1String(kScratchTable), 3, names));
    ASSERT_TRUE(Initialize(QLatin1String(kScratchTable), QLatin1String(kSavedTable)));
    EXPECT_EQ(CavityName(3, 0), QStringLiteral("O'Neil"));  // the cache followed the save

    Close();
    EXPECT_EQ(Databaseinit(), OpenResult::Opened);
    EXPECT_EQ(Read(QLatin1String(kSavedTable), 3), names);
    EXPECT_EQ(CavityName(3, 1), names[1]);
    EXPECT_EQ(CavityName(3, 15), QStringLiteral("\"16\""));
    EXPECT_EQ(CavityName(2, 0), DefaultName(0));
    Close();
}

// Typed names as they are stored: blanks would split a name and shift the later positions; an
// empty name takes the position's default; stored values with too few or too many words.
TEST(CavityNames, BlankAndEmptyNames)
{
    struct Case
    {
        const char *name, *typed, *stored;
    } cases[] = {
        {"plain", "A1", "A1"},
        {"innerBlank", "left cavity", "left_cavity"},
        {"blankRun", "a  \t b", "a_b"},
        {"edgeBlanks", "  x ", "x"},
        {"empty", "", "模腔5"},
        {"onlyBlanks", "   ", "模腔5"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(CleanName(QString::fromUtf8(c.typed), 4), QString::fromUtf8(c.stored));
    }

    // Whatever is typed, the stored value splits back into the same sixteen positions.
    QStringList typed = defaults();
    typed[2] = QStringLiteral("two words");
    typed[3] = QString();
    const QStringList back = SplitNames(JoinNames(typed));
    ASSERT_EQ(back.size(), kPositions);
    EXPECT_EQ(back[2], QStringLiteral("two_words"));
    EXPECT_EQ(back[3], DefaultName(3));
    EXPECT_EQ(back[4], DefaultName(4));

    EXPECT_EQ(SplitNames(QStringLiteral("a b")).mid(0, 3), (QStringList{"a", "b", DefaultName(2)}));
    EXPECT_EQ(SplitNames(defaults().join(' ') + QStringLiteral(" extra")), defaults());
}

// A file SQLite cannot read is set aside and made anew with the default names; a file without the
// scratch table or with rows missing gets them back. Nothing is lost that could be read.
TEST(CavityNames, DamagedFileIsSetAsideAndRecreated)
{
    TempStation station(false);
    ASSERT_EQ(Databaseinit(), OpenResult::Created);
    QStringList names = defaults();
    names[7] = QStringLiteral("kept");
    ASSERT_TRUE(Write(QLatin1String(kSavedTable), 0, names));
    Close();
    QFile file{QString::fromLatin1(kFile)};
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray whole = file.readAll();
    file.close();

    const QByteArray damaged[] = {QByteArray(3000, '\x5a'), whole.left(4096), QByteArray("SQLite format 3")};
    int setAside = 0;
    for (const QByteArray &bytes : damaged) {
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(bytes);
        file.close();
        EXPECT_EQ(Databaseinit(), OpenResult::Recovered);
        // Each damaged file is kept, also several within one second.
        EXPECT_EQ(QDir().entryList({QStringLiteral("CavityDatabase.db.damaged-*")}).size(), ++setAside);
        EXPECT_EQ(CavityName(0, 7), DefaultName(7));
        EXPECT_EQ(Read(QLatin1String(kScratchTable), 7), defaults());
        Close();
    }

    // A missing table and a missing row come back without touching the names that are there.
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(whole);
    file.close();
    {
        QSqlDatabase raw = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("raw"));
        raw.setDatabaseName(QLatin1String(kFile));
        ASSERT_TRUE(raw.open());
        QSqlQuery(raw).exec(QStringLiteral("drop table TempSave_table"));
        QSqlQuery(raw).exec(QStringLiteral("delete from CavityName_table where Camera='Camera5'"));
        raw.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("raw"));
    EXPECT_EQ(Databaseinit(), OpenResult::Opened);
    EXPECT_EQ(CavityName(0, 7), QStringLiteral("kept"));
    EXPECT_EQ(storedValue(kSavedTable, 5), defaults().join(' '));
    EXPECT_EQ(storedValue(kScratchTable, 0), defaults().join(' '));
    Close();
}

// Copying names relabels the buttons of the attached cameras only.
TEST(CavityNames, SavedNamesReachTheButtonsOfAttachedCameras)
{
    TempStation station(false);
    ASSERT_NE(Databaseinit(), OpenResult::Failed);
    const int cameras = numCamera;
    numCamera = 2;
    QList<int> relabelled;
    SetButtonHook([&](int camera, const QStringList &names) {
        relabelled << camera;
        EXPECT_EQ(names.size(), kPositions);
    });
    QStringList names = defaults();
    names[0] = QStringLiteral("seven");
    ASSERT_TRUE(Write(QLatin1String(kScratchTable), 7, names));
    EXPECT_TRUE(Initialize(QLatin1String(kScratchTable), QLatin1String(kSavedTable)));
    EXPECT_EQ(relabelled, (QList<int>{0, 1}));
    EXPECT_EQ(CavityName(7, 0), QStringLiteral("seven"));  // copied, though not applied to buttons
    relabelled.clear();
    EXPECT_TRUE(Initialize(QLatin1String(kSavedTable), QLatin1String(kScratchTable)));
    EXPECT_EQ(relabelled, (QList<int>{0, 1}));
    EXPECT_FALSE(Initialize(QStringLiteral("sysparam"), QLatin1String(kSavedTable)));
    SetButtonHook(nullptr);
    numCamera = cameras;
    Close();
}
