// The operation-record viewer: day list order, rows newest first, headers, widths and clearing.
#include "tests/log/recordfixture.h"

#include "ui/oprecordviewer.h"

#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QListWidget>
#include <QPushButton>
#include <QSqlTableModel>
#include <QTableView>

class OpRecordViewerTest : public RecordFixture
{
protected:
    void SetUp() override
    {
        RecordFixture::SetUp();
        QDir().mkpath("RECORD");
        WriteRecordFile("RECORD/2026-12-01.db", {"08.00.00|Unlogged|first day"});
        WriteRecordFile("RECORD/2026-12-05.db",
                        {"07.10.00|Primary|early", "22.45.10|Advanced|late", "12.00.00|Unlogged|noon"});
        WriteRecordFile("RECORD/2026-12-03.db");
        WriteFile("RECORD/notes.txt", "not a day");
        SetClock("2026-12-08 08:00:00");
        Started().SetLevelSource([this] { return m_level; });
        m_viewer = std::make_unique<OpRecordViewer>(m_record.get());
    }

    void TearDown() override
    {
        m_viewer.reset();
        RecordFixture::TearDown();
    }

    Lines ListedDays() const
    {
        Lines days;
        for (int i = 0; i < m_viewer->DayList()->count(); ++i)
            days.push_back(m_viewer->DayList()->item(i)->text().toStdString());
        return days;
    }

    Lines Shown(int column) const
    {
        Lines values;
        for (int row = 0; m_viewer->Model() && row < m_viewer->Model()->rowCount(); ++row)
            values.push_back(m_viewer->Model()->index(row, column).data().toString().toStdString());
        return values;
    }

    int m_level = 0;
    std::unique_ptr<OpRecordViewer> m_viewer;
};

TEST_F(OpRecordViewerTest, ListsTodayFirstThenArchivedDaysNewestFirst)
{
    m_viewer->SlotToRecord();
    EXPECT_EQ(ListedDays(), (Lines{"2026-12-08", "2026-12-05", "2026-12-03", "2026-12-01"}));
    EXPECT_EQ(m_viewer->DayList()->currentRow(), 0);

    SetClock("2026-12-09 00:00:30");
    m_record->SlotCheckDate();
    m_viewer->SlotToRecord();
    EXPECT_EQ(ListedDays(), (Lines{"2026-12-09", "2026-12-08", "2026-12-05", "2026-12-03", "2026-12-01"}));
}

TEST_F(OpRecordViewerTest, DaysShowTheirRowsNewestFirst)
{
    for (const char *time : {"2026-12-08 08:00:00", "2026-12-08 17:30:00", "2026-12-08 09:15:00"}) {
        SetClock(time);
        m_record->InsertRecord(QString(time).right(8));
    }
    m_viewer->SlotToRecord();
    EXPECT_EQ(Shown(0), (Lines{"17.30.00", "09.15.00", "08.00.00"}));
    EXPECT_EQ(Shown(2), (Lines{"17:30:00", "09:15:00", "08:00:00"}));
    const QSqlTableModel *model = m_viewer->Model();
    EXPECT_EQ(model->headerData(0, Qt::Horizontal).toString(), "Time");
    EXPECT_EQ(model->headerData(1, Qt::Horizontal).toString(), "User");
    EXPECT_EQ(model->headerData(2, Qt::Horizontal).toString(), "Operation content");
    EXPECT_TRUE(m_viewer->Table()->verticalHeader()->isHidden());
    // The test screen is 1920 pixels wide.
    EXPECT_EQ(m_viewer->Table()->columnWidth(0), 120);
    EXPECT_EQ(m_viewer->Table()->columnWidth(1), 125);
    EXPECT_EQ(m_viewer->Table()->columnWidth(2), 1330);

    m_viewer->UpdateRecord(m_viewer->DayList()->item(1));
    EXPECT_EQ(Shown(2), (Lines{"late", "noon", "early"}));
    m_viewer->UpdateRecord(m_viewer->DayList()->item(2));
    EXPECT_EQ(Shown(2), Lines{});
    m_viewer->UpdateRecord(m_viewer->DayList()->item(0));
    EXPECT_EQ(Shown(2).size(), 3u);

    // A day removed after listing shows nothing, and no empty file appears in its place.
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
        m_level = 2;
        m_record->ClearRecord();
        m_record->InsertRecord("row a");
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
        const Lines expected = c.cleared ? Lines{"08.00.00|Advanced|Clear system operation record Manually"}
                                         : Lines{"08.00.00|Advanced|row a"};
        EXPECT_EQ(Rows("RECORD.db"), expected);
        EXPECT_EQ(Shown(2).size(), 1u);
        EXPECT_EQ(Texts("RECORD/2026-12-05.db").size(), 3u);
    }
}
