// The statistics screen and the cycle-record window, offscreen: the running day's totals follow
// each result, archived days are read from their files, the NG rate, the tabs.
#include "core/globals.h"
#include "core/texttable.h"
#include "records/detectcycle.h"
#include "records/resstatistics.h"
#include "records/usbexport.h"
#include "tests/support/stationdir.h"
#include "tests/support/testport.h"
#include "ui/statistics/detectcyclewidget.h"
#include "ui/statistics/statisticswidget.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QListWidget>
#include <QSqlTableModel>
#include <QTableView>

namespace {

// Saves a screen to $MOULD_SCREENSHOTS/<name>.png when that variable is set.
void Grab(QWidget &widget, const char *name)
{
    const QString folder = qEnvironmentVariable("MOULD_SCREENSHOTS");
    if (!folder.isEmpty())
        widget.grab().save(folder + "/" + name + ".png");
}

TEST(NgRate, ShownWithFourDigits)
{
    EXPECT_EQ(NgRateText(0, 0), "0%");
    EXPECT_EQ(NgRateText(3, 1), "25%");
    EXPECT_EQ(NgRateText(2, 1), "33.33%");
    EXPECT_EQ(NgRateText(0, 5), "100%");
}

TEST(StatisticsScreen, RunningDayFollowsResultsAndArchivedDaysAreRead)
{
    TempStation station;
    TestOperatorPort port;
    FillTextTable();
    gLan = 0;
    numCamera = 2;
    gDNum = 2;
    QDateTime now = QDateTime::fromString("2026-12-07 09:00:00", "yyyy-MM-dd hh:mm:ss");
    ResStatisticsParam stats([&] { return now; });
    stats.Add(9, true, 1, 0);
    now = now.addDays(1);
    stats.Add(9, false, 1, 1);  // archives 12-07
    QFile("ResStatistics/2026-12-05.db").open(QIODevice::WriteOnly);  // unreadable: empty file

    StatisticsWidget screen(&stats);
    screen.resize(1920, 1080);
    screen.show();
    EXPECT_EQ(screen.dayList()->count(), 3);
    EXPECT_EQ(screen.dayList()->item(0)->text(), "2026-12-08");
    EXPECT_EQ(screen.dayList()->item(1)->text(), "2026-12-07");
    EXPECT_EQ(screen.cameraTabs()->tabText(0), "所有相机");
    EXPECT_EQ(screen.cameraTabs()->tabText(2), "2号相机");
    EXPECT_EQ(screen.cameraTab(0)->tabText(0), "所有检测");
    EXPECT_EQ(screen.cameraTab(0)->tabText(1), "成品检测");

    // Grand totals of the running day, updated by each result.
    CameraStatisticsWidget *page = screen.currentPage();
    ASSERT_TRUE(page);
    EXPECT_EQ(page->camera(), 8);
    EXPECT_EQ(page->detection(), 8);
    EXPECT_EQ(page->shownValues(), QStringList({"0", "1", "0", "0", "1", "1", "100%"}));
    now = QDateTime::fromString("2026-12-08 21:30:00", "yyyy-MM-dd hh:mm:ss");
    for (int i = 0; i < 3; ++i)
        stats.Add(21, true, 0, 1);
    EXPECT_EQ(page->shownValues(), QStringList({"0", "1", "3", "0", "4", "1", "25%"}));
    EXPECT_EQ(page->nightChart()->okSeries(), QList<int>({0, 3, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(page->morningChart()->ngSeries()[1], 1) << "09:00 is the second morning bar";
    Grab(screen, "statistics");

    // An archived day, and one that cannot be read leaves it on screen.
    screen.UpdateRecord(screen.dayList()->item(1));
    EXPECT_EQ(page->shownValues(), QStringList({"1", "0", "0", "0", "1", "0", "0%"}));
    stats.Add(21, true, 0, 1);
    EXPECT_EQ(page->shownValues()[4], "1") << "an archived day does not follow the running one";
    screen.UpdateRecord(screen.dayList()->item(2));
    EXPECT_EQ(page->shownValues()[4], "1");
    EXPECT_EQ(screen.dayList()->currentRow(), 1);

    // "Export DT": confirmed, the workbook lands on the stick and only then is success shown.
    QTemporaryDir stick;
    UsbStick::SetMountPoint(stick.path());
    screen.SlotExportData();
    UsbStick::SetMountPoint(QString());
    EXPECT_EQ(port.questions, QStringList({LanStr(324)}));
    EXPECT_EQ(port.warnings, QStringList({LanStr(147)}));
    EXPECT_EQ(QDir(stick.path()).entryList({"*.xlsx"}).size(), 1);
    EXPECT_TRUE(QDir().entryList({"*.xlsx"}).isEmpty());
}

TEST(CycleRecordsWindow, ListsArchivedDaysThenTodayAndShowsTheRunningFile)
{
    TempStation station;
    TestOperatorPort port;
    FillTextTable();
    gLan = 0;
    QDateTime now = QDateTime::fromString("2026-12-07 09:00:00", "yyyy-MM-dd hh:mm:ss");
    DetectCycleSQL cycles([&] { return now; });
    cycles.insertCycle(123);
    now = now.addDays(1);
    cycles.insertCycle(95);
    cycles.insertCycle(101);

    DetectCycleWidget window(&cycles);
    window.show();
    ASSERT_EQ(window.dayList()->count(), 2);
    EXPECT_EQ(window.dayList()->item(0)->text(), "2026-12-07");
    EXPECT_EQ(window.dayList()->item(1)->text(), "2026-12-08");
    ASSERT_TRUE(window.model());
    EXPECT_EQ(window.model()->rowCount(), 2);
    EXPECT_EQ(window.model()->data(window.model()->index(1, 2)).toString(), "10.1");
    EXPECT_EQ(window.model()->headerData(2, Qt::Horizontal).toString(), "周期(s)");
    Grab(window, "cycle-records");
    window.listDataChanged(window.dayList()->model()->index(0, 0));
    EXPECT_EQ(window.model()->rowCount(), 1);

    ExportDialog dialog;
    dialog.show();
    Grab(dialog, "export-dialog");
}

}  // namespace
