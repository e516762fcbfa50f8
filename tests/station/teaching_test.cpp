// The teaching through damage: a damaged PARAM.db comes back from the last good copy (or, with
// none left, from the factory copy with the station held until it is taught), a region table
// that cannot be read holds detection, and detections never taught are said so.
#include "tests/station/stationfixture.h"

#include "app/startupdb.h"
#include "app/stationcameras.h"
#include "core/globals.h"
#include "params/lastgood.h"
#include "tests/support/testport.h"
#include "ui/indexpanel.h"
#include "vision/cameravision.h"

#include <QDir>
#include <QPushButton>
#include <QSqlQuery>

namespace {

class Teaching : public StationScenario
{
protected:
    void SetUp() override
    {
        StationScenario::SetUp();
        OperatorPort::install(&port);
    }
    int recorded(const QString &text) { return records().filter(text).size(); }
    TestOperatorPort port;
};

// Damages PARAM.db; the station comes up once, restores it and asks for a restart.
void damageAndRestart(const char *how)
{
    QFile file(QStringLiteral("PARAM.db"));
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    const int size = int(file.size());
    if (qstrcmp(how, "truncated") == 0 || qstrcmp(how, "empty") == 0)
        file.resize(*how == 't' ? size / 2 : 0);
    else
        file.write(QByteArray(size, *how == 'z' ? '\0' : 'x'));
    file.close();
    {
        MoJuWizard damaged;
        EXPECT_FALSE(damaged.isUp());
    }
    CloseStationDatabases();
}

}  // namespace

TEST_F(Teaching, DamagedParametersComeBackFromTheLastGoodCopyElseTheStationHolds)
{
    teachFault(1, 1);
    int restores = 0;
    for (const char *how : {"truncated", "zeroed", "garbage", "empty"}) {
        SCOPED_TRACE(how);
        damageAndRestart(how);
        ASSERT_NO_FATAL_FAILURE(start());
        EXPECT_EQ(recorded(QStringLiteral("restored from the last good copy")), ++restores);
        EXPECT_TRUE(window().isDetecting());
        EXPECT_EQ(window().cameras()->vision(1)->singleton.roiNum[1], 1) << "the taught region is back";
        shutDown();
    }

    // Only the factory copy left: stopped, clamping prohibited, told, at every start until taught.
    QDir(LastGood::Dir()).removeRecursively();
    damageAndRestart("garbage");
    const QString mustBeTaught = gaLanStr[1022 * kLanguages + 1];
    for (int round = 1; round <= 2; ++round) {
        SCOPED_TRACE(round);
        ASSERT_NO_FATAL_FAILURE(start());
        EXPECT_FALSE(window().isDetecting());
        EXPECT_TRUE(waitOutput(1, true, 1000));
        EXPECT_EQ(port.warnings.count(mustBeTaught), round);
        EXPECT_EQ(recorded(mustBeTaught.simplified()), round);
        shutDown();
    }
    teachFault(1, 1);
    ASSERT_NO_FATAL_FAILURE(start());
    EXPECT_TRUE(window().isDetecting());
    EXPECT_EQ(port.warnings.count(mustBeTaught), 2);
}

TEST_F(Teaching, UnreadableRegionTableHoldsDetectionAndEmptyDetectionsAreNotTaught)
{
    teachFault(0, 0);
    ASSERT_TRUE(OpenStationDatabases());
    EXPECT_TRUE(QSqlQuery(QSqlDatabase::database(QStringLiteral("dbIn")))
                    .exec(QStringLiteral("update cammer0 set value='abc' where name='detect0'")));
    CloseStationDatabases();

    ASSERT_NO_FATAL_FAILURE(start());
    EXPECT_FALSE(window().isDetecting());
    EXPECT_TRUE(waitOutput(1, true, 1000));
    EXPECT_EQ(port.warnings, QStringList{QStringLiteral("Camera parameter file error!")});
    EXPECT_EQ(recorded(QStringLiteral("Camera parameter file error! cammer0: detect0 = 'abc'")), 1);
    EXPECT_EQ(recorded(QStringLiteral("Not taught")), 0) << "said when detection starts";

    // The operator starts detection: every detection without a region is recorded, a failed one not.
    window().indexButton()->startStop->click();
    ASSERT_TRUE(window().isDetecting());
    EXPECT_EQ(recorded(QStringLiteral("Camera 2 Prod: Not taught")), 1);
    EXPECT_EQ(recorded(QStringLiteral("Camera 2 Mold: Not taught")), 1);
    EXPECT_EQ(recorded(QStringLiteral("Camera 1 Mold: Not taught")), 1);
    EXPECT_EQ(recorded(QStringLiteral("Camera 1 Prod: Not taught")), 0);
}
