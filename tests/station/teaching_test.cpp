// The teaching through damage: a damaged PARAM.db comes back from the last good copy (or, with
// none left, from the factory copy with the station held until it is taught), a region table
// that cannot be read holds detection, and detections never taught are said so.
#include "tests/station/stationfixture.h"

#include "app/startupdb.h"
#include "app/stationcameras.h"
#include "core/globals.h"
#include "io/controlport.h"
#include "params/lastgood.h"
#include "tests/support/testport.h"
#include "ui/cammerwidget.h"
#include "ui/indexpanel.h"
#include "vision/cameravision.h"

#include <QDir>
#include <QFile>
#include <QPushButton>
#include <QSqlDatabase>
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

    // The station comes up once, finds PARAM.db damaged, restores it and asks for a restart.
    void startOnDamage()
    {
        {
            MoJuWizard damaged;
            EXPECT_FALSE(damaged.isUp());
        }
        CloseStationDatabases();
    }

    int recorded(const QString &text) { return records().filter(text).size(); }

    bool shown(int camera, const QString &text)
    {
        for (const ViewStatusLine &line : window().cameraView(camera)->statusLines())
            if (line.text == text)
                return true;
        return false;
    }

    TestOperatorPort port;
};

void damageFile(const QString &name, const char *how)
{
    QFile file(name);
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    const qint64 size = file.size();
    if (qstrcmp(how, "truncated") == 0) {
        file.resize(size / 2);
    } else if (qstrcmp(how, "zeroed") == 0) {
        file.write(QByteArray(int(size), '\0'));
    } else if (qstrcmp(how, "garbage") == 0) {
        file.write(QByteArray(int(size), 'x'));
    } else {
        file.resize(0);
    }
}

}  // namespace

TEST_F(Teaching, DamagedParametersComeBackFromTheLastGoodCopyElseTheStationHolds)
{
    teachFault(1, 1);
    ASSERT_TRUE(LastGood::Usable()) << "the save took the last good copy";
    const QString restored = QStringLiteral("restored from the last good copy");

    int restores = 0;
    for (const char *how : {"truncated", "zeroed", "garbage", "empty"}) {
        SCOPED_TRACE(how);
        damageFile(QStringLiteral("PARAM.db"), how);
        startOnDamage();
        ASSERT_NO_FATAL_FAILURE(start());
        EXPECT_EQ(recorded(restored), ++restores);
        EXPECT_TRUE(window().isDetecting());
        EXPECT_EQ(window().cameras()->vision(1)->singleton.roiNum[1], 1) << "the taught region is back";
        shutDown();
    }

    // The restored teaching judges: a part left in the mould holds the clamp.
    ASSERT_NO_FATAL_FAILURE(start());
    EXPECT_EQ(recorded(restored), restores) << "said once, at the start after the restore";
    showFrame(1, true);
    setInput(1, true);
    ASSERT_TRUE(waitUntil([&] { return cycle().alarmState == InspectionCycle::AlarmRaised; }, 3000));
    EXPECT_TRUE(output(1));
    setInput(1, false);
    showFrame(1, false);
    shutDown();

    // Without a sound copy only the factory copy is left: detection stopped, clamping prohibited,
    // the operator told, at every start until the station is taught and saved.
    QDir(LastGood::Dir()).removeRecursively();
    damageFile(QStringLiteral("PARAM.db"), "garbage");
    startOnDamage();
    const QString mustBeTaught = gaLanStr[1022 * kLanguages + 1];
    for (int round = 1; round <= 2; ++round) {
        SCOPED_TRACE(round);
        port.warnings.clear();
        ASSERT_NO_FATAL_FAILURE(start());
        EXPECT_FALSE(window().isDetecting());
        EXPECT_TRUE(gpControlIO->IOState(1, 0));
        EXPECT_TRUE(waitOutput(1, true, 1000));
        EXPECT_EQ(port.warnings.count(mustBeTaught), 1);
        EXPECT_EQ(recorded(mustBeTaught.simplified()), round);
        setInput(1, true);
        settle(300);
        EXPECT_TRUE(output(1)) << "no cycle releases the clamp";
        setInput(1, false);
        shutDown();
    }
    teachFault(1, 1);
    port.warnings.clear();
    ASSERT_NO_FATAL_FAILURE(start());
    EXPECT_TRUE(window().isDetecting());
    EXPECT_FALSE(port.warnings.contains(mustBeTaught));
}

TEST_F(Teaching, UnreadableRegionTableHoldsDetectionAndEmptyDetectionsAreNotTaught)
{
    teachFault(0, 0);
    ASSERT_TRUE(OpenStationDatabases());
    {
        QSqlQuery q(QSqlDatabase::database(QStringLiteral("dbIn")));
        ASSERT_TRUE(q.exec(QStringLiteral("update cammer0 set value='abc' where name='detect0'")));
    }
    CloseStationDatabases();

    ASSERT_NO_FATAL_FAILURE(start());
    EXPECT_FALSE(window().isDetecting());
    EXPECT_TRUE(waitOutput(1, true, 1000));
    EXPECT_EQ(port.warnings, QStringList{QStringLiteral("Camera parameter file error!")});
    EXPECT_EQ(recorded(QStringLiteral("Camera parameter file error! cammer0: detect0 = 'abc'")), 1);
    EXPECT_EQ(recorded(QStringLiteral("Camera 1 Camera parameter file error! Prohibit to clamp")), 1);
    EXPECT_TRUE(window().cameras()->regionTableFailures() == QList<int>{0});
    EXPECT_TRUE(shown(0, QStringLiteral("Camera parameter file error!")));
    setInput(1, true);
    settle(300);
    EXPECT_TRUE(output(1));
    setInput(1, false);
    EXPECT_EQ(recorded(QStringLiteral("Not taught")), 0) << "said when detection starts";

    // The operator starts detection: camera 2 was never taught, and the record says so per stage.
    window().indexButton()->startStop->click();
    ASSERT_TRUE(window().isDetecting());
    EXPECT_EQ(recorded(QStringLiteral("Camera 2 Prod: Not taught")), 1);
    EXPECT_EQ(recorded(QStringLiteral("Camera 2 Mold: Not taught")), 1);
    EXPECT_EQ(recorded(QStringLiteral("Camera 1 Mold: Not taught")), 1);
    EXPECT_EQ(recorded(QStringLiteral("Camera 1 Prod: Not taught")), 0) << "a table that failed is no empty one";
    EXPECT_TRUE(shown(1, QStringLiteral("Not taught")));
}
