// The operation-record viewer: day list order, rows newest first, headers, widths and clearing.
#include "tests/log/recordfixture.h"

#include "log/operationrecord.h"
#include "ui/oprecordviewer.h"

#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QListWidget>
#include <QPushButton>
#include <QSqlTableModel>
#include <QTableView>

namespace {

QStringList ListedDays(const OpRecordViewer &viewer)
{
    QStringList days;
    for (int i = 0; i < viewer.DayList()->count(); ++i)
        days.append(viewer.DayList()->item(i)->text());
    return days;
}

QStringList Column(const QSqlTableModel *model, int column)
{
    QStringList values;
    for (int row = 0; model && row < model->rowCount(); ++row)
        values.append(model->index(row, column).data().toString());
    return values;
}

}  // namespace

class OpRecordViewerTest : public RecordFixture
{
protected:
    void SetUp() override
    {
        RecordFixture::SetUp();
        QDir().mkpath("RECORD");
        WriteRecordFile("RECORD/2026-12-01.db", {{"08.00.00", "Unlogged", "first day"}});
        WriteRecordFile("RECORD/2026-12-05.db", {{"07.10.00", "Primary", "early"},
                                                 {"22.45.10", "Advanced", "late"},
                                                 {"12.00.00", "Unlogged", "noon"}});
        WriteRecordFile("RECORD/2026-12-03.db", {});
        WriteTextFile("RECORD/notes.txt", "not a day");
        m_clock.Set(At("2026-12-08 08:00:00"));
        OperationRecord &record = MakeRecord();
        ASSERT_TRUE(record.Open());
        record.Start();
        record.SetLevelSource([this] { return m_level; });
        m_viewer = std::make_unique<OpRecordViewer>(&record);
    }

    void TearDown() override
    {
        m_viewer.reset();
        RecordFixture::TearDown();
    }

    void RecordAt(const QString &time, const QString &text)
    {
        m_clock.Set(At("2026-12-08 " + time));
        m_record->InsertRecord(text);
    }

    int m_level = 0;
    std::unique_ptr<OpRecordViewer> m_viewer;
};

TEST_F(OpRecordViewerTest, ListsTodayFirstThenArchivedDaysNewestFirst)
{
    m_viewer->SlotToRecord();
    EXPECT_EQ(ListedDays(*m_viewer), (QStringList{"2026-12-08", "2026-12-05", "2026-12-03", "2026-12-01"}));
    EXPECT_EQ(m_viewer->DayList()->currentRow(), 0);

    // Entering the page again lists the days afresh, including a day archived meanwhile.
    m_clock.Set(At("2026-12-09 00:00:30"));
    m_record->SlotCheckDate();
    m_viewer->SlotToRecord();
    EXPECT_EQ(ListedDays(*m_viewer),
              (QStringList{"2026-12-09", "2026-12-08", "2026-12-05", "2026-12-03", "2026-12-01"}));
}

TEST_F(OpRecordViewerTest, TodayShowsItsRowsNewestFirstWithHeadersAndWidths)
{
    RecordAt("08:00:00", "Start the detection manually ");
    RecordAt("17:30:00", "Stop the detection manually ");
    RecordAt("09:15:00", "Camera 1 Alarm");
    m_viewer->SlotToRecord();

    const QSqlTableModel *model = m_viewer->Model();
    ASSERT_NE(model, nullptr);
    EXPECT_EQ(Column(model, 0), (QStringList{"17.30.00", "09.15.00", "08.00.00"}));
    EXPECT_EQ(Column(model, 2),
              (QStringList{"Stop the detection manually ", "Camera 1 Alarm", "Start the detection manually "}));
    EXPECT_EQ(model->headerData(0, Qt::Horizontal).toString(), "Time");
    EXPECT_EQ(model->headerData(1, Qt::Horizontal).toString(), "User");
    EXPECT_EQ(model->headerData(2, Qt::Horizontal).toString(), "Operation content");
    EXPECT_TRUE(m_viewer->Table()->verticalHeader()->isHidden());
    // The test screen is 1920 pixels wide.
    EXPECT_EQ(m_viewer->Table()->columnWidth(0), 120);
    EXPECT_EQ(m_viewer->Table()->columnWidth(1), 125);
    EXPECT_EQ(m_viewer->Table()->columnWidth(2), 1330);
}

TEST_F(OpRecordViewerTest, ArchivedDayShowsItsRowsNewestFirst)
{
    RecordAt("09:00:00", "today's row");
    m_viewer->SlotToRecord();
    m_viewer->UpdateRecord(m_viewer->DayList()->item(1));
    EXPECT_EQ(Column(m_viewer->Model(), 2), (QStringList{"late", "noon", "early"}));
    EXPECT_EQ(Column(m_viewer->Model(), 1), (QStringList{"Advanced", "Unlogged", "Primary"}));

    m_viewer->UpdateRecord(m_viewer->DayList()->item(2));
    ASSERT_NE(m_viewer->Model(), nullptr);
    EXPECT_EQ(m_viewer->Model()->rowCount(), 0);

    m_viewer->UpdateRecord(m_viewer->DayList()->item(0));
    EXPECT_EQ(Column(m_viewer->Model(), 2), QStringList{"today's row"});
}

TEST_F(OpRecordViewerTest, DayRemovedAfterListingShowsNothingAndLeavesNoFile)
{
    m_viewer->SlotToRecord();
    ASSERT_TRUE(QFile::remove("RECORD/2026-12-01.db"));
    m_viewer->UpdateRecord(m_viewer->DayList()->item(3));
    EXPECT_EQ(m_viewer->Model(), nullptr);
    EXPECT_FALSE(QFile::exists("RECORD/2026-12-01.db"));
}

TEST_F(OpRecordViewerTest, ClearingNeedsAdvancedLevelAndConfirmation)
{
    struct Case
    {
        const char *name;
        bool rootGranted;
        bool confirmed;
        int levelAfterQuestion;
        bool cleared;
    };
    const Case cases[] = {
        {"passwordRefused", false, true, 2, false},
        {"operatorSaysNo", true, false, 2, false},
        {"loggedOutDuringQuestion", true, true, 0, false},
        {"confirmedByAdvanced", true, true, 2, true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        m_record->ClearRecord();
        RecordAt("10:00:00", "row a");
        RecordAt("10:00:01", "row b");
        m_level = 2;
        int questions = 0;
        m_viewer->SetRootCheck([&] { return c.rootGranted; });
        m_viewer->SetConfirm([&](const QString &) {
            ++questions;
            m_level = c.levelAfterQuestion;
            return c.confirmed;
        });
        m_viewer->SlotToRecord();
        m_viewer->ClearButton()->click();

        EXPECT_EQ(questions, c.rootGranted ? 1 : 0);
        const QStringList texts = Texts("RECORD.db");
        if (c.cleared) {
            EXPECT_EQ(texts, QStringList{"Clear system operation record Manually"});
            EXPECT_EQ(ReadRows("RECORD.db").first().user, "Advanced");
            EXPECT_EQ(Column(m_viewer->Model(), 2), QStringList{"Clear system operation record Manually"});
        } else {
            EXPECT_EQ(texts, (QStringList{"row a", "row b"}));
        }
        EXPECT_EQ(Texts("RECORD/2026-12-05.db").size(), 3);
    }
}
