// Cavity names: what is stored, how typed names are cleaned, and a damaged file.
#include "params/cavitynames.h"

#include "tests/support/stationdir.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

using namespace CavityNames;

namespace {

QStringList defaults()
{
    QStringList names;
    for (int p = 0; p < kPositions; ++p)
        names << DefaultName(p);
    return names;
}

}  // namespace

// A fresh directory gets both tables with eight default rows; names with quotes and other
// punctuation survive Confirm (scratch into saved) and a reopening of the file.
TEST(CavityNames, FreshFileAndQuotesSurviveSaveAndReload)
{
    TempStation station(false);
    EXPECT_EQ(Databaseinit(), OpenResult::Created);
    for (int camera = 0; camera < kCameras; ++camera)
        EXPECT_EQ(Read(QLatin1String(kScratchTable), camera), defaults());

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
    EXPECT_EQ(CavityName(3, 15), QStringLiteral("\"16\""));
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
    EXPECT_EQ(back.mid(2, 3), (QStringList{"two_words", DefaultName(3), DefaultName(4)}));

    EXPECT_EQ(SplitNames(QStringLiteral("a b")).mid(0, 3), (QStringList{"a", "b", DefaultName(2)}));
    EXPECT_EQ(SplitNames(defaults().join(' ') + QStringLiteral(" extra")), defaults());
}

// A file SQLite cannot read (not a database, cut short) is set aside and made anew with the
// default names.
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

    const QByteArray damaged[] = {QByteArray(3000, '\x5a'), whole.left(4096)};
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
}
