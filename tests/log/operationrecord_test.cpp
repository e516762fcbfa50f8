// Operation record: rows, user names, bound values, threads, day rollover and damaged files.
#include "tests/log/recordfixture.h"

#include "log/operationrecord.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QSet>
#include <QSqlDatabase>
#include <QSqlQuery>

#include <atomic>
#include <thread>

namespace {

const QString kRunning = "RECORD.db";

}  // namespace

class OperationRecordTest : public RecordFixture
{
protected:
    // A record opened and started on the test clock.
    OperationRecord &Started()
    {
        OperationRecord &record = MakeRecord();
        EXPECT_TRUE(record.Open());
        record.Start();
        return record;
    }
};

// ---- rows -----------------------------------------------------------------------------------

TEST_F(OperationRecordTest, RowCarriesTimeOfDayUserNameAndText)
{
    struct Case
    {
        const char *name;
        int level;
        QString user;
    };
    const Case cases[] = {
        {"advanced", 2, "Advanced"},
        {"primary", 1, "Primary"},
        {"nobodyLoggedIn", 0, "Unlogged"},
        {"unknownLevel", 7, "Unlogged"},
    };
    OperationRecord &record = Started();
    int level = 0;
    record.SetLevelSource([&level] { return level; });
    QList<RecordRow> expected;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        level = c.level;
        m_clock.Set(At(QString("2026-12-07 0%1:05:09").arg(c.level % 10)));
        record.InsertRecord(QString("event %1").arg(c.name));
        expected.append({QString("0%1.05.09").arg(c.level % 10), c.user, QString("event %1").arg(c.name)});
    }
    EXPECT_EQ(ReadRows(kRunning), expected);
}

TEST_F(OperationRecordTest, NoLevelSourceMeansUnlogged)
{
    OperationRecord &record = Started();
    record.InsertRecord("The system is ready, there is 2 cameras");
    ASSERT_EQ(ReadRows(kRunning).size(), 1);
    EXPECT_EQ(ReadRows(kRunning).first().user, "Unlogged");
}

TEST_F(OperationRecordTest, TextsWithQuotesAreRecordedVerbatim)
{
    const QStringList texts{
        "operator's note",
        "a'); DROP TABLE RECORD; --",
        "\"double\" and 'single'",
        "系统时间错误，'未修改'时间",
        "",
    };
    OperationRecord &record = Started();
    for (const QString &text : texts)
        record.InsertRecord(text);
    EXPECT_EQ(Texts(kRunning), texts);
}

TEST_F(OperationRecordTest, ForwarderGetsEachRowBeforeItIsWritten)
{
    OperationRecord &record = Started();
    record.SetLevelSource([] { return 1; });
    struct Forwarded
    {
        QDateTime time;
        QString user;
        QString text;
        qsizetype rowsOnDisk;
    };
    QList<Forwarded> forwarded;
    record.SetForwarder([&](const QDateTime &time, const QString &user, const QString &text) {
        forwarded.append({time, user, text, ReadRows(kRunning).size()});
    });
    m_clock.Set(At("2026-12-07 11:22:33"));
    record.InsertRecord("Resampling template");
    record.InsertRecord("Delete all templates");

    ASSERT_EQ(forwarded.size(), 2);
    EXPECT_EQ(forwarded[0].time, At("2026-12-07 11:22:33"));
    EXPECT_EQ(forwarded[0].user, "Primary");
    EXPECT_EQ(forwarded[0].text, "Resampling template");
    EXPECT_EQ(forwarded[0].rowsOnDisk, 0);
    EXPECT_EQ(forwarded[1].rowsOnDisk, 1);
    EXPECT_EQ(ReadRows(kRunning).size(), 2);
}

TEST_F(OperationRecordTest, RowsFromSeveralThreadsAtOnceAreAllWritten)
{
    OperationRecord &record = Started();
    constexpr int kPerThread = 400;
    std::atomic<int> ready{0};
    const auto recordMany = [&](const QString &source) {
        ++ready;
        while (ready.load() < 2) {
        }
        for (int i = 0; i < kPerThread; ++i)
            record.InsertRecord(QString("%1 %2").arg(source).arg(i));
    };
    std::thread io(recordMany, QString("io"));
    std::thread camera(recordMany, QString("camera"));
    // The GUI thread records too and keeps its event queue moving, as the running station does.
    for (int i = 0; i < 100; ++i) {
        record.InsertRecord(QString("gui %1").arg(i));
        QCoreApplication::processEvents();
    }
    io.join();
    camera.join();
    QCoreApplication::processEvents();
    record.Flush();

    const QStringList texts = Texts(kRunning);
    EXPECT_EQ(texts.size(), 2 * kPerThread + 100);
    const QSet<QString> unique(texts.begin(), texts.end());
    EXPECT_EQ(unique.size(), texts.size());
    for (int i = 0; i < kPerThread; ++i) {
        EXPECT_TRUE(unique.contains(QString("io %1").arg(i)));
        EXPECT_TRUE(unique.contains(QString("camera %1").arg(i)));
    }
    // Each thread's rows keep their order.
    EXPECT_LT(texts.indexOf("io 10"), texts.indexOf("io 11"));
    EXPECT_LT(texts.indexOf("camera 398"), texts.indexOf("camera 399"));
}

TEST_F(OperationRecordTest, RowFromAnotherThreadKeepsTheTimeItWasRecorded)
{
    OperationRecord &record = Started();
    m_clock.Set(At("2026-12-07 13:00:01"));
    std::thread io([&] { record.InsertRecord("IO通讯异常"); });
    io.join();
    m_clock.Set(At("2026-12-07 13:00:05"));
    QCoreApplication::processEvents();
    ASSERT_EQ(ReadRows(kRunning).size(), 1);
    EXPECT_EQ(ReadRows(kRunning).first().time, "13.00.01");
}

TEST_F(OperationRecordTest, ClearEmptiesTodayAndLeavesArchivedDays)
{
    QDir().mkpath("RECORD");
    WriteRecordFile("RECORD/2026-12-06.db", {{"09.00.00", "Unlogged", "yesterday"}});
    OperationRecord &record = Started();
    record.InsertRecord("one");
    record.InsertRecord("two");
    record.ClearRecord();
    EXPECT_TRUE(ReadRows(kRunning).isEmpty());
    EXPECT_EQ(Texts("RECORD/2026-12-06.db"), QStringList{"yesterday"});
    record.InsertRecord("after");
    EXPECT_EQ(Texts(kRunning), QStringList{"after"});
}

// ---- day rollover ---------------------------------------------------------------------------

TEST_F(OperationRecordTest, MidnightMovesTheDayIntoTheArchive)
{
    m_clock.Set(At("2026-12-07 23:59:10"));
    OperationRecord &record = Started();
    EXPECT_EQ(ReadTextFile("time.txt"), "2026-12-07");
    record.InsertRecord("before midnight 1");
    record.InsertRecord("before midnight 2");

    record.SlotCheckDate();  // same day: nothing moves
    EXPECT_FALSE(QFile::exists("RECORD/2026-12-07.db"));

    m_clock.Set(At("2026-12-08 00:00:10"));
    record.SlotCheckDate();
    EXPECT_EQ(Texts("RECORD/2026-12-07.db"), (QStringList{"before midnight 1", "before midnight 2"}));
    EXPECT_TRUE(QFile::exists(kRunning));
    EXPECT_TRUE(ReadRows(kRunning).isEmpty());
    EXPECT_EQ(ReadTextFile("time.txt"), "2026-12-08");
    EXPECT_EQ(record.RecordDay(), "2026-12-08");

    record.InsertRecord("after midnight");
    EXPECT_EQ(Texts(kRunning), QStringList{"after midnight"});
    EXPECT_EQ(Texts("RECORD/2026-12-07.db").size(), 2);
}

TEST_F(OperationRecordTest, RowsQueuedBeforeTheCheckStayWithTheEndingDay)
{
    m_clock.Set(At("2026-12-07 23:59:59"));
    OperationRecord &record = Started();
    std::thread io([&] { record.InsertRecord("late event"); });
    io.join();
    m_clock.Set(At("2026-12-08 00:00:30"));
    record.SlotCheckDate();
    EXPECT_EQ(Texts("RECORD/2026-12-07.db"), QStringList{"late event"});
    EXPECT_TRUE(ReadRows(kRunning).isEmpty());
}

TEST_F(OperationRecordTest, StartAfterDaysOffArchivesUnderTheStoredDay)
{
    WriteRecordFile(kRunning, {{"17.00.00", "Unlogged", "last shift"}});
    WriteTextFile("time.txt", "2026-12-01");
    m_clock.Set(At("2026-12-08 07:30:00"));
    OperationRecord &record = Started();

    EXPECT_EQ(Texts("RECORD/2026-12-01.db"), QStringList{"last shift"});
    EXPECT_FALSE(QFile::exists("RECORD/2026-12-07.db"));
    EXPECT_TRUE(ReadRows(kRunning).isEmpty());
    EXPECT_EQ(ReadTextFile("time.txt"), "2026-12-08");
    EXPECT_EQ(record.RecordDay(), "2026-12-08");
}

TEST_F(OperationRecordTest, FailedArchiveKeepsTheRunningFileAndRetries)
{
    WriteRecordFile(kRunning, {{"20.00.00", "Unlogged", "day one"}});
    WriteTextFile("time.txt", "2026-12-06");
    WriteTextFile("RECORD", "a plain file where the archive folder belongs");
    m_clock.Set(At("2026-12-07 08:00:00"));
    OperationRecord &record = Started();

    // The move failed: the day stays in the running file and keeps recording.
    EXPECT_EQ(record.RecordDay(), "2026-12-06");
    EXPECT_EQ(ReadTextFile("time.txt"), "2026-12-06");
    record.InsertRecord("while the archive is blocked");
    EXPECT_EQ(Texts(kRunning), (QStringList{"day one", "while the archive is blocked"}));
    record.SlotCheckDate();
    EXPECT_EQ(Texts(kRunning).size(), 2);

    // The next minute's check succeeds once the folder can be made.
    ASSERT_TRUE(QFile::remove("RECORD"));
    record.SlotCheckDate();
    EXPECT_EQ(Texts("RECORD/2026-12-06.db"), (QStringList{"day one", "while the archive is blocked"}));
    EXPECT_TRUE(ReadRows(kRunning).isEmpty());
    EXPECT_EQ(ReadTextFile("time.txt"), "2026-12-07");
}

TEST_F(OperationRecordTest, ArchivedDayThatExistsAlreadyGetsTheRowsAdded)
{
    QDir().mkpath("RECORD");
    WriteRecordFile("RECORD/2026-12-06.db", {{"06.00.00", "Primary", "archived earlier"}});
    WriteRecordFile(kRunning, {{"14.00.00", "Unlogged", "running 1"}, {"15.00.00", "Unlogged", "running 2"}});
    WriteTextFile("time.txt", "2026-12-06");
    m_clock.Set(At("2026-12-07 00:01:00"));
    Started();

    EXPECT_EQ(Texts("RECORD/2026-12-06.db"), (QStringList{"archived earlier", "running 1", "running 2"}));
    EXPECT_TRUE(ReadRows(kRunning).isEmpty());
    EXPECT_EQ(ReadTextFile("time.txt"), "2026-12-07");
}

// ---- missing and damaged files --------------------------------------------------------------

TEST_F(OperationRecordTest, DamagedRunningFileIsSetAsideAndReplaced)
{
    const QByteArray garbage = QByteArray("this is not a database").repeated(200);
    WriteTextFile(kRunning, garbage);
    OperationRecord &record = Started();
    record.InsertRecord("after repair");
    EXPECT_EQ(Texts(kRunning), QStringList{"after repair"});

    const QStringList aside = QDir().entryList({"RECORD.db.damaged-*"}, QDir::Files);
    ASSERT_EQ(aside.size(), 1);
    QFile kept(aside.first());
    ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
    EXPECT_EQ(kept.readAll(), garbage);
}

TEST_F(OperationRecordTest, MissingFilesStillLeaveAWorkingRecord)
{
    struct Case
    {
        const char *name;
        bool removeTemplate;
        QByteArray dayFile;  // empty: no time.txt
    };
    const Case cases[] = {
        {"noTemplateNoRunningFile", true, "2026-12-07"},
        {"noDayFile", false, ""},
        {"dayFileGarbage", false, "\xff\xfe garbage"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        m_record.reset();
        QFile::remove(kRunning);
        QFile::remove("time.txt");
        if (c.removeTemplate)
            QFile::remove(OperationRecord::kTemplate);
        if (!c.dayFile.isEmpty())
            WriteTextFile("time.txt", c.dayFile);
        OperationRecord &record = Started();
        EXPECT_EQ(record.RecordDay(), "2026-12-07");
        EXPECT_EQ(ReadTextFile("time.txt"), "2026-12-07");
        record.InsertRecord(c.name);
        EXPECT_EQ(Texts(kRunning), QStringList{c.name});
    }
}

TEST_F(OperationRecordTest, RolloverWithoutTemplateKeepsRecording)
{
    m_clock.Set(At("2026-12-07 23:00:00"));
    OperationRecord &record = Started();
    record.InsertRecord("old day");
    ASSERT_TRUE(QFile::remove(OperationRecord::kTemplate));
    m_clock.Set(At("2026-12-08 00:00:05"));
    record.SlotCheckDate();
    record.InsertRecord("new day");
    EXPECT_EQ(Texts("RECORD/2026-12-07.db"), QStringList{"old day"});
    EXPECT_EQ(Texts(kRunning), QStringList{"new day"});
}
