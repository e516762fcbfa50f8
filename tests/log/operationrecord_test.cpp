// Operation record: rows, user names, bound values, threads, day rollover and damaged files.
#include "tests/log/recordfixture.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>

#include <QThread>

#include <map>
#include <thread>

using OperationRecordTest = RecordFixture;

TEST_F(OperationRecordTest, RowCarriesTimeOfDayUserNameAndText)
{
    OperationRecord &record = Started();
    record.InsertRecord("nobody asked");  // no level source yet
    int level = 0;
    record.SetLevelSource([&level] { return level; });
    for (int lv : {2, 1, 0, 7}) {
        level = lv;
        SetClock(QString("2026-12-07 0%1:05:09").arg(lv));
        record.InsertRecord(QString("level %1").arg(lv));
    }
    EXPECT_EQ(Rows("RECORD.db"), (Lines{"10.00.00|Unlogged|nobody asked", "02.05.09|Advanced|level 2",
                                        "01.05.09|Primary|level 1", "00.05.09|Unlogged|level 0",
                                        "07.05.09|Unlogged|level 7"}));
}

TEST_F(OperationRecordTest, TextsWithQuotesAreRecordedVerbatim)
{
    const Lines texts{"operator's note", "a'); DROP TABLE RECORD; --", "\"double\" and 'single'",
                      "系统时间错误，'未修改'时间", ""};
    OperationRecord &record = Started();
    for (const std::string &text : texts)
        record.InsertRecord(QString::fromStdString(text));
    EXPECT_EQ(Texts("RECORD.db"), texts);
}

TEST_F(OperationRecordTest, ForwarderGetsEachRowBeforeItIsWritten)
{
    OperationRecord &record = Started();
    record.SetLevelSource([] { return 1; });
    Lines forwarded;
    record.SetForwarder([&](const QDateTime &time, const QString &user, const QString &text) {
        forwarded.push_back(QString("%1|%2|%3|rows %4").arg(time.toString("yyyy-MM-dd hh:mm:ss"), user, text)
                                .arg(Rows("RECORD.db").size()).toStdString());
    });
    SetClock("2026-12-07 11:22:33");
    record.InsertRecord("Resampling template");
    record.InsertRecord("Delete all templates");
    EXPECT_EQ(forwarded, (Lines{"2026-12-07 11:22:33|Primary|Resampling template|rows 0",
                                "2026-12-07 11:22:33|Primary|Delete all templates|rows 1"}));
    EXPECT_EQ(Rows("RECORD.db").size(), 2u);
}

TEST_F(OperationRecordTest, RowsFromOtherThreadsAreAllWrittenWithTheirOwnTime)
{
    OperationRecord &record = Started();
    SetClock("2026-12-07 13:00:01");
    const auto recordMany = [&record](const char *source, int count) {
        for (int i = 0; i < count; ++i) {
            record.InsertRecord(QString("%1 %2").arg(source).arg(i));
            if (QThread::currentThread() == qApp->thread())
                QCoreApplication::processEvents();  // the GUI thread keeps its queue moving
        }
    };
    std::thread io(recordMany, "io", 400);
    std::thread camera(recordMany, "camera", 400);
    recordMany("gui", 100);
    io.join();
    camera.join();
    SetClock("2026-12-07 13:00:09");
    QCoreApplication::processEvents();

    // Every row is there, at the time it was recorded, and each thread's rows keep their order.
    std::map<std::string, Lines> bySource;
    for (const std::string &row : Rows("RECORD.db")) {
        EXPECT_TRUE(row.starts_with("13.00.01|Unlogged|")) << row;
        const std::string text = row.substr(18);
        bySource[text.substr(0, text.find(' '))].push_back(text.substr(text.find(' ') + 1));
    }
    for (const auto &[source, count] : {std::pair<std::string, int>{"io", 400}, {"camera", 400}, {"gui", 100}}) {
        Lines expected;
        for (int i = 0; i < count; ++i)
            expected.push_back(std::to_string(i));
        EXPECT_EQ(bySource[source], expected) << source;
    }
}

// ---- day rollover ---------------------------------------------------------------------------

TEST_F(OperationRecordTest, MidnightMovesTheDayIntoTheArchive)
{
    SetClock("2026-12-07 23:59:10");
    OperationRecord &record = Started();
    EXPECT_EQ(ReadFile("time.txt"), "2026-12-07");
    record.InsertRecord("before midnight");
    record.SlotCheckDate();  // same day: nothing moves
    EXPECT_FALSE(QFile::exists("RECORD/2026-12-07.db"));

    // A row still queued from another thread belongs to the day that ends.
    std::thread([&record] { record.InsertRecord("late from io"); }).join();
    SetClock("2026-12-08 00:00:10");
    record.SlotCheckDate();
    EXPECT_EQ(Texts("RECORD/2026-12-07.db"), (Lines{"before midnight", "late from io"}));
    EXPECT_EQ(Rows("RECORD.db"), Lines{});
    EXPECT_EQ(ReadFile("time.txt"), "2026-12-08");

    record.InsertRecord("after midnight");
    EXPECT_EQ(Texts("RECORD.db"), Lines{"after midnight"});
}

TEST_F(OperationRecordTest, StartAfterDaysOffArchivesUnderTheStoredDay)
{
    WriteRecordFile("RECORD.db", {"17.00.00|Unlogged|last shift"});
    WriteFile("time.txt", "2026-12-01");
    SetClock("2026-12-08 07:30:00");
    OperationRecord &record = Started();
    EXPECT_EQ(Texts("RECORD/2026-12-01.db"), Lines{"last shift"});
    EXPECT_EQ(QDir("RECORD").entryList(QDir::Files), QStringList{"2026-12-01.db"});
    EXPECT_EQ(Rows("RECORD.db"), Lines{});
    EXPECT_EQ(ReadFile("time.txt"), "2026-12-08");
    EXPECT_EQ(record.RecordDay(), "2026-12-08");
}

TEST_F(OperationRecordTest, FailedArchiveKeepsTheRunningFileAndRetries)
{
    WriteRecordFile("RECORD.db", {"20.00.00|Unlogged|day one"});
    WriteFile("time.txt", "2026-12-06");
    WriteFile("RECORD", "a plain file where the archive folder belongs");
    OperationRecord &record = Started();

    // The move failed: the day stays in the running file, which keeps recording.
    EXPECT_EQ(record.RecordDay(), "2026-12-06");
    EXPECT_EQ(ReadFile("time.txt"), "2026-12-06");
    record.InsertRecord("while blocked");
    record.SlotCheckDate();
    EXPECT_EQ(Texts("RECORD.db"), (Lines{"day one", "while blocked"}));

    // A later check succeeds once the folder can be made.
    ASSERT_TRUE(QFile::remove("RECORD"));
    record.SlotCheckDate();
    EXPECT_EQ(Texts("RECORD/2026-12-06.db"), (Lines{"day one", "while blocked"}));
    EXPECT_EQ(Rows("RECORD.db"), Lines{});
    EXPECT_EQ(ReadFile("time.txt"), "2026-12-07");
}

TEST_F(OperationRecordTest, ArchivedDayThatExistsAlreadyGetsTheRowsAdded)
{
    QDir().mkpath("RECORD");
    WriteRecordFile("RECORD/2026-12-06.db", {"06.00.00|Primary|archived earlier"});
    WriteRecordFile("RECORD.db", {"14.00.00|Unlogged|running 1", "15.00.00|Unlogged|running 2"});
    WriteFile("time.txt", "2026-12-06");
    Started();
    EXPECT_EQ(Texts("RECORD/2026-12-06.db"), (Lines{"archived earlier", "running 1", "running 2"}));
    EXPECT_EQ(Rows("RECORD.db"), Lines{});
    EXPECT_EQ(ReadFile("time.txt"), "2026-12-07");
}

// ---- missing and damaged files --------------------------------------------------------------

TEST_F(OperationRecordTest, DamagedRunningFileIsSetAsideAndReplaced)
{
    const QByteArray garbage = QByteArray("this is not a database").repeated(200);
    WriteFile("RECORD.db", garbage);
    Started().InsertRecord("after repair");
    EXPECT_EQ(Texts("RECORD.db"), Lines{"after repair"});
    const QStringList aside = QDir().entryList({"RECORD.db.damaged-*"}, QDir::Files);
    ASSERT_EQ(aside.size(), 1);
    EXPECT_EQ(ReadFile(aside.first()), garbage.toStdString());
}

TEST_F(OperationRecordTest, MissingOrUnreadableFilesStillLeaveAWorkingRecord)
{
    struct Case
    {
        const char *name;
        bool keepTemplate;
        QByteArray dayFile;  // empty: no time.txt
    };
    const Case cases[] = {
        {"noDayFile", true, ""},
        {"dayFileGarbage", true, "\xff\xfe garbage"},
        {"noTemplateNoRunningFile", false, "2026-12-07"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        m_record.reset();
        QFile::remove("RECORD.db");
        QFile::remove("time.txt");
        if (!c.keepTemplate)
            QFile::remove(OperationRecord::kTemplate);
        if (!c.dayFile.isEmpty())
            WriteFile("time.txt", c.dayFile);
        OperationRecord &record = Started();
        EXPECT_EQ(ReadFile("time.txt"), "2026-12-07");
        record.InsertRecord(c.name);
        EXPECT_EQ(Texts("RECORD.db"), Lines{c.name});
    }
    // Without the template a rollover still leaves a running file that records.
    SetClock("2026-12-08 00:00:05");
    m_record->SlotCheckDate();
    m_record->InsertRecord("new day");
    EXPECT_EQ(Texts("RECORD/2026-12-07.db"), Lines{"noTemplateNoRunningFile"});
    EXPECT_EQ(Texts("RECORD.db"), Lines{"new day"});
}
