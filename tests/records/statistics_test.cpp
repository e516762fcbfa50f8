// Result statistics: shifts over the 08:00 day, rollover and archive, merging a day archived twice,
// damaged files, and the sums the screen reads.
#include "core/globals.h"
#include "records/resstatistics.h"
#include "tests/support/stationdir.h"
#include "tests/support/testport.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlQuery>

#include <memory>

namespace {

class Statistics : public ::testing::Test
{
protected:
    void SetUp() override
    {
        numCamera = 2;
        gDNum = 2;
        Set("2026-12-07 09:00:00");
    }
    void TearDown() override { m_stats.reset(); }

    void Set(const char *when) { m_now = QDateTime::fromString(QLatin1String(when), "yyyy-MM-dd hh:mm:ss"); }
    ResStatisticsParam &Open()
    {
        m_stats.reset();
        m_stats = std::make_unique<ResStatisticsParam>([this] { return m_now; });
        return *m_stats;
    }
    void Count(const char *when, bool ok, int camera = 0, int detection = 0)
    {
        Set(when);
        m_stats->Add(m_now.time().hour(), ok, camera, detection);
    }
    // value1 of a row in a statistics file.
    static QString Hours(const QString &file, const QString &row)
    {
        QString text;
        {
            QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "peek");
            db.setDatabaseName(file);
            db.open();
            QSqlQuery q(db);
            q.exec(QString("SELECT value1 FROM resstatistics WHERE name = '%1'").arg(row));
            if (q.next())
                text = q.value(0).toString();
        }
        QSqlDatabase::removeDatabase("peek");
        return text;
    }

    TempStation m_station;
    TestOperatorPort m_port;
    QDateTime m_now;
    std::unique_ptr<ResStatisticsParam> m_stats;
};

// 19:59 is the morning, 20:00 and 07:59 the night of the day that began at 08:00; the first
// result after 08:00 archives that day under its own date and the new day shows only itself.
TEST_F(Statistics, ShiftsOfTheDayAndTheRolloverAt0800)
{
    ResStatisticsParam &stats = Open();
    EXPECT_EQ(stats.dayName(), "2026-12-07");
    Count("2026-12-07 19:59:59", true);
    Count("2026-12-07 20:00:00", true);
    Count("2026-12-08 07:59:59", false, 1, 1);
    EXPECT_EQ(stats.getCount(MorningShift, true, 0, 0), 1);
    EXPECT_EQ(stats.getCount(NightShift, true, 0, 0), 1);
    EXPECT_EQ(stats.getCount(NightShift, false, 8, 8), 1);
    EXPECT_EQ(stats.getCount(WholeDay, true, 8, 8), 2);
    EXPECT_EQ(stats.getRes(NightShift, true, 0, 0), QList<int>({1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(stats.getRes(NightShift, false, 8, 1).last(), 1) << "07:00 is the night's last column";
    EXPECT_FALSE(QFile::exists("ResStatistics/2026-12-07.db"));

    Count("2026-12-08 08:00:00", true, 1, 0);
    EXPECT_EQ(stats.dayName(), "2026-12-08");
    ASSERT_TRUE(QFile::exists("ResStatistics/2026-12-07.db"));
    EXPECT_TRUE(Hours(QDir::current().absoluteFilePath("ResStatistics/2026-12-07.db"), "C0_D0")
                    .startsWith("0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 1 1 0 0 0 "));
    EXPECT_EQ(stats.getCount(WholeDay, true, 8, 8), 1);
    EXPECT_EQ(stats.getCount(WholeDay, false, 8, 8), 0);

    // A restart reads the running day back from the file and restime.txt.
    Open();
    EXPECT_EQ(m_stats->dayName(), "2026-12-08");
    EXPECT_EQ(m_stats->getCount(MorningShift, true, 1, 0), 1);
}

// Started at 06:00 with no restime.txt: the day began at 08:00 the day before. Garbage in the
// file counts as missing.
TEST_F(Statistics, MissingOrGarbageStartOfDay)
{
    for (const QByteArray content : {QByteArray(), QByteArray("garbage"), QByteArray(" ")}) {
        QFile::remove("restime.txt");
        if (!content.isNull()) {
            QFile file("restime.txt");
            ASSERT_TRUE(file.open(QIODevice::WriteOnly));
            file.write(content);
        }
        Set("2026-12-07 06:00:00");
        Open();
        EXPECT_EQ(m_stats->dayName(), "2026-12-06");
        EXPECT_EQ(m_stats->dayStart(), QDateTime::fromString("2026-12-06 08:00:00", "yyyy-MM-dd hh:mm:ss"));
        QFile file("restime.txt");
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        EXPECT_EQ(file.readAll().toLongLong(), m_stats->dayStart().toSecsSinceEpoch());
    }
}

// A day archived a second time (the clock was set back) is added hour by hour, never replaced;
// an archive step that fails keeps the running day, and the next result archives it.
TEST_F(Statistics, ArchivedDayIsMergedAndAFailedArchiveIsRetried)
{
    Open();
    Count("2026-12-07 10:30:00", true);
    Set("2026-12-08 09:00:00");
    ASSERT_TRUE(m_stats->checkDate());  // archives 12-07
    // The clock goes back a day; the running day is 12-07 again.
    m_stats.reset();
    QFile::remove("restime.txt");
    Set("2026-12-07 10:00:00");
    Open();
    Count("2026-12-07 10:45:00", true);
    Count("2026-12-07 11:00:00", false);

    // The archive cannot be written: the day stays running.
    QDir("ResStatistics").rename("2026-12-07.db", "held.db");
    QDir().mkpath("ResStatistics/2026-12-07.db/inside");  // a folder in the file's place
    Count("2026-12-08 09:00:00", true);
    EXPECT_EQ(m_stats->dayName(), "2026-12-07");
    EXPECT_EQ(m_stats->getCount(WholeDay, true, 0, 0), 2) << "10:45 and the 09:00 that waited";

    QDir("ResStatistics/2026-12-07.db").removeRecursively();
    QDir("ResStatistics").rename("held.db", "2026-12-07.db");
    Count("2026-12-08 09:05:00", true);
    EXPECT_EQ(m_stats->dayName(), "2026-12-08");
    const QString archive = QDir::current().absoluteFilePath("ResStatistics/2026-12-07.db");
    QList<int> ok(24, 0);
    ResStatistics::ReadHours(Hours(archive, "C0_D0"), ok);
    EXPECT_EQ(ok[10], 2) << "10:30 of the first pass and 10:45 of the second";
    EXPECT_EQ(ok[9], 1) << "the 09:00 result that waited for the archive";
    EXPECT_EQ(m_stats->getCount(WholeDay, true, 8, 8), 1);
}

// A station switched off for days: the day of restime.txt is archived under its own name at the
// next start and the new day is named after the statistics date of now. A file that lacks rows
// reads them as zeros.
TEST_F(Statistics, StartAfterDaysOffAndMissingRows)
{
    Open();
    Count("2026-12-07 15:00:00", false, 1, 0);
    m_stats.reset();
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "cut");
        db.setDatabaseName(QDir::current().absoluteFilePath("ResStatistics.db"));
        ASSERT_TRUE(db.open());
        QSqlQuery("DELETE FROM resstatistics WHERE name = 'C0_D0'", db);
    }
    QSqlDatabase::removeDatabase("cut");
    Set("2026-12-11 06:30:00");
    ResStatisticsParam &stats = Open();
    EXPECT_EQ(stats.dayName(), "2026-12-10");
    EXPECT_EQ(stats.dayStart(), QDateTime::fromString("2026-12-10 08:00:00", "yyyy-MM-dd hh:mm:ss"));
    EXPECT_EQ(QDir("ResStatistics").entryList({"*.db"}), QStringList({"2026-12-07.db"}));
    EXPECT_EQ(stats.getCount(WholeDay, false, 8, 8), 0);
    ASSERT_TRUE(QFile::copy(ResStatisticsParam::ArchivePath("2026-12-07"), "day.db"));
    QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "archived");
    db.setDatabaseName(QDir::current().absoluteFilePath("day.db"));
    ASSERT_TRUE(db.open());
    QSqlQuery query(db);
    stats.setFindCount(query);
    EXPECT_EQ(stats.getCount(WholeDay, false, 1, 0), 1);
    EXPECT_EQ(stats.getCount(WholeDay, true, 0, 0), 0) << "the missing row reads as zeros";
}

// A ResStatistics.db that is not a database is set aside with one warning, and counting goes on.
TEST_F(Statistics, DamagedFileIsSetAside)
{
    {
        QFile file("ResStatistics.db");
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(QByteArray(4096, 'x'));
    }
    ResStatisticsParam &stats = Open();
    EXPECT_TRUE(stats.isOpen());
    EXPECT_EQ(m_port.warnings.size(), 1);
    EXPECT_EQ(QDir().entryList({"ResStatistics.db.damaged-*"}).size(), 1);
    Count("2026-12-07 12:00:00", true);
    EXPECT_EQ(stats.getCount(WholeDay, true, 0, 0), 1);
}

// The sums the screen reads: a camera's "all" over its steps, a step over the cameras, the grand
// total; indices outside 0..8 count nothing and read as 0.
TEST_F(Statistics, SumsOverCamerasAndSteps)
{
    gDNum = 3;
    ResStatisticsParam &stats = Open();
    Count("2026-12-07 09:00:00", true, 0, 0);
    Count("2026-12-07 09:10:00", true, 0, 1);
    Count("2026-12-07 09:20:00", false, 0, 2);
    Count("2026-12-07 21:00:00", true, 1, 2);
    Count("2026-12-07 21:00:00", true, 9, 0);
    Count("2026-12-07 21:00:00", true, 0, -1);
    EXPECT_EQ(stats.getRes(MorningShift, true, 0, 8)[1], 2);
    EXPECT_EQ(stats.getCount(WholeDay, false, 0, 8), 1);
    EXPECT_EQ(stats.getCount(WholeDay, true, 8, 2), 1);
    EXPECT_EQ(stats.getCount(WholeDay, false, 8, 2), 1);
    EXPECT_EQ(stats.getCount(WholeDay, true, 8, 8), 3);
    EXPECT_EQ(stats.getCount(WholeDay, true, 9, 8), 0);
    EXPECT_EQ(stats.getCount(ShiftType(5), true, 8, 8), 0);
    EXPECT_EQ(stats.getRes(WholeDay, true, 8, 8).size(), 24);
}

}  // namespace
