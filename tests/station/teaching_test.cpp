// The teaching through damage: a region table that cannot be read holds detection, and detections
// never taught are said so.
#include "tests/station/stationfixture.h"

#include "app/startupdb.h"
#include "app/stationcameras.h"
#include "core/globals.h"
#include "io/controlport.h"
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

}  // namespace

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
