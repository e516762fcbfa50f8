// The text table: exact texts the screens and records depend on, language switching, empty rows.
#include "core/texttable.h"

#include "core/globals.h"

#include <gtest/gtest.h>

#include <QRegularExpression>
#include <QSet>

#include <ostream>

namespace {

enum Lan { Zh = 0, En = 1, Tw = 2 };

struct TextCase
{
    const char *name;
    int row;
    int lan;
    const char *text;  // UTF-8
};

void PrintTo(const TextCase &c, std::ostream *os)
{
    *os << "row " << c.row << " language " << c.lan;
}

// Texts other code builds on: quoted messages with their line breaks, placeholders and blanks,
// Chinese texts that the records and cavity names use, and the rows that are deliberately empty.
const TextCase kTexts[] = {
    {"readyWithPlaceholder", 150, En, "The system is ready, there is %1 cameras"},
    {"initialisingCrLf", 133, En, "The system is initializing, \r\n please wait.."},
    {"paramFileErrorTwoBreaks", 160, En,
     "System parameter file error, please \r\n restore parameter group \r\n or contact supplier"},
    {"databaseError", 135, En, "Database failed to open, please restart!"},
    {"stopRecordTrailingBlank", 141, En, "Stop the detection manually "},
    {"statusLineSpacing", 316, En, "NG %1 / Total %2      FPS %3"},
    {"quotesInside", 68, En, "If you want to delete the first \r\ntemplate, please click \"Resample\"!"},
    {"confirmButton", 121, En, "Confirm"},
    {"confirmButtonZh", 121, Zh, "确认"},
    {"alarmCameraZh", 151, Zh, "%1号相机、"},
    {"alarmSuffixZh", 152, Zh, " 报警"},
    {"recordTimeHeaderZh", 288, Zh, "操作时间"},
    {"firstCavityName", 460, Zh, "模腔1"},
    {"lastCavityName", 603, Zh, "模腔16"},
    {"cameraLostBoxZh", 587, Zh, "警告：相机通讯异常，请关机尝试拔插\n接口后开机重试！"},
    {"cameraLostBoxEn", 587, En, "camera disconnect"},
    {"cameraBackZh", 588, Zh, "相机通讯失败，现已重新连接."},
    {"ioLinkLostEn", 589, En, "IO com disconnect"},
    {"ioLinkBackEn", 590, En, "IO com reconnect"},
    {"ioLinkBackZh", 590, Zh, "IO通讯重新连接"},
    {"cameraLostBoxTwEmpty", 587, Tw, ""},
    {"ioTipsTwEmpty", 591, Tw, ""},
    {"untranslatedInEnglish", 642, En, "模腔检测NG时合模输出脉冲，不报警停机"},
    {"whiteFindsBlackEnEmpty", 646, En, ""},
    {"whiteFindsBlackZh", 646, Zh, "白找黑"},
    {"blackSpotMaxEnEmpty", 648, En, ""},
    {"continuousOnNgEnEmpty", 1011, En, ""},
    {"continuousOnNgZh", 1011, Zh, "外部触发NG时切为连续采集"},
    {"productNoStopEnEmpty", 1013, En, ""},
    {"productNoStopZh", 1013, Zh, "成品检测不报警停机，分别输出NG和OK"},
    {"continuousNgEn", 1001, En, "alarm after Continuous Ng n Times"},
    {"timingAlarmEn", 1010, En, "timing alarm"},
    {"emptyRowZh", 1008, Zh, ""},
    {"emptyRowEn", 1008, En, ""},
    {"firstUnfilledZh", 661, Zh, ""},
    {"lastOfGapEn", 1000, En, ""},
    {"lastRowTw", 2047, Tw, ""},
};

QString column(int row, int lan)
{
    return gaLanStr[row * kLanguages + lan];
}

bool hasRow(int row)
{
    return !column(row, Zh).isEmpty() || !column(row, En).isEmpty() || !column(row, Tw).isEmpty();
}

QSet<QString> placeholders(const QString &text)
{
    static const QRegularExpression marker(QStringLiteral("%\\d+"));
    QSet<QString> found;
    for (auto it = marker.globalMatch(text); it.hasNext();)
        found.insert(it.next().captured());
    return found;
}

class TextTable : public ::testing::Test
{
protected:
    static void SetUpTestSuite() { FillTextTable(); }
    void TearDown() override { gLan = m_savedLan; }

    int m_savedLan = gLan;
};

class TextTableRow : public TextTable, public ::testing::WithParamInterface<TextCase>
{
};

// Each text is read the way the screens read it: through LanStr with gLan set to the column.
TEST_P(TextTableRow, RowInLanguage)
{
    const TextCase &c = GetParam();
    gLan = c.lan;
    EXPECT_EQ(LanStr(c.row), QString::fromUtf8(c.text));
}

INSTANTIATE_TEST_SUITE_P(Rows, TextTableRow, ::testing::ValuesIn(kTexts),
                         [](const ::testing::TestParamInfo<TextCase> &info) { return info.param.name; });

// Which rows exist, and which of their columns are left empty on purpose.
TEST_F(TextTable, FilledAndEmptyRows)
{
    for (int row = 0; row < kTextRows; ++row) {
        SCOPED_TRACE(row);
        // Our own rows beyond the factory table, one range per screen or feature.
        static const struct { int first, last; } kOwnRows[] = {
            {1001, 1007}, {1009, 1013},  // start-up and restart notices
            {1020, 1023},                // damaged teaching files
            {1100, 1105},                // clock, placeholder and box texts
            {1110, 1113},                // the cycle's camera-fault, re-check and held-clamp notices
            {1200, 1200},                // the users page
            {1250, 1256},                // the keypads' and the date editor's captions
            {1280, 1280},                // the network port that did not open
            {1300, 1318},                // statistics, cycle records, exports
            {1370, 1372},                // the region editor's save and alarm-view captions
            {1400, 1426},                // the system-parameter screen
            {1430, 1430},                // the damaged cavity-name file
            {1590, 1593},                // the region editor's output and cavity rows, its help, the lighting switch
            {1460, 1478},                // the network, camera renumbering and hardware screens
            {1500, 1505},                // the IO settings and the IO status bar
            {1560, 1575},                // camera health and alarm evidence
            {1540, 1556},                // trying region settings on stored cycles
        };
        bool filled = row <= 660;
        for (const auto &range : kOwnRows)
            filled = filled || (row >= range.first && row <= range.last);
        EXPECT_EQ(hasRow(row), filled);
        if (!filled)
            continue;
        EXPECT_FALSE(column(row, Zh).isEmpty());
        const bool noEnglish = (row >= 646 && row <= 648) || (row >= 1011 && row <= 1013);
        EXPECT_EQ(column(row, En).isEmpty(), noEnglish);
        EXPECT_EQ(column(row, Tw).isEmpty(), row >= 587 && row <= 591);
    }
}

// A translation that drops or renumbers a %n would show a raw marker or lose a value on screen.
TEST_F(TextTable, TranslationsKeepPlaceholders)
{
    for (int row = 0; row < kTextRows; ++row) {
        const QSet<QString> english = placeholders(column(row, En));
        if (column(row, En).isEmpty())
            continue;
        SCOPED_TRACE(row);
        EXPECT_EQ(placeholders(column(row, Zh)), english);
        if (!column(row, Tw).isEmpty()) {
            EXPECT_EQ(placeholders(column(row, Tw)), english);
        }
    }
}

TEST_F(TextTable, LookupOutsideTableIsEmpty)
{
    for (int lan : {Zh, En, Tw}) {
        gLan = lan;
        EXPECT_TRUE(LanStr(-1).isEmpty());
        EXPECT_TRUE(LanStr(kTextRows).isEmpty());
    }
}

}  // namespace
