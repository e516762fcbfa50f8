// The custom mode's stage layout: trigger order, one stage per output, hidden rows, and what the
// edit copy receives.
#include "params/customio.h"

#include "core/globals.h"
#include "params/wizardpara.h"

#include <gtest/gtest.h>

#include <array>
#include <vector>

namespace {

using Sources = std::array<int, 8>;

CustomStageLayout layoutWith(int count, const Sources &sources)
{
    CustomStageLayout layout;
    layout.setCount(count);
    for (int stage = 0; stage < count; ++stage)
        EXPECT_TRUE(layout.setSource(stage, sources[stage]));
    return layout;
}

Sources sourcesOf(const CustomStageLayout &layout)
{
    Sources s;
    for (int stage = 0; stage < 8; ++stage)
        s[stage] = layout.source(stage);
    return s;
}

}  // namespace

TEST(CustomStageLayout, TriggerChoicesKeepTheStagesInOrder)
{
    const struct {
        const char *name;
        int count;
        Sources start;
        int stage, source;
        bool accepted;
        Sources expected;
    } rows[] = {
        {"laterStagesBeforeTheNewSourceLoseTheirs", 4, {0, 1, 2, 3, -1, -1, -1, -1}, 1, 3, true,
         {0, 3, -1, 3, -1, -1, -1, -1}},
        {"sameSourceAsAboveAllowed", 3, {2, 2, 5, -1, -1, -1, -1, -1}, 2, 2, true, {2, 2, 2, -1, -1, -1, -1, -1}},
        {"sourceBeforeTheRowAboveRefused", 3, {2, 3, 4, -1, -1, -1, -1, -1}, 1, 1, false,
         {2, 3, 4, -1, -1, -1, -1, -1}},
        {"aRowWithoutSourceIsSkipped", 3, {4, -1, 5, -1, -1, -1, -1, -1}, 2, 3, false,
         {4, -1, 5, -1, -1, -1, -1, -1}},
        {"noneAlwaysAllowed", 3, {0, 1, 2, -1, -1, -1, -1, -1}, 0, -1, true, {-1, 1, 2, -1, -1, -1, -1, -1}},
        {"pastTheSourceTableRefused", 2, {0, 1, -1, -1, -1, -1, -1, -1}, 1, 8, false,
         {0, 1, -1, -1, -1, -1, -1, -1}},
        {"hiddenRowRefused", 2, {0, 1, -1, -1, -1, -1, -1, -1}, 2, 1, false, {0, 1, -1, -1, -1, -1, -1, -1}},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        CustomStageLayout layout = layoutWith(row.count, row.start);
        EXPECT_EQ(layout.setSource(row.stage, row.source), row.accepted);
        EXPECT_EQ(sourcesOf(layout), row.expected);
    }
}

// An output belongs to one stage at a time; a new count starts from the outputs the cycle drives.
TEST(CustomStageLayout, OneStagePerOutput)
{
    CustomStageLayout layout;
    layout.setCount(3);
    // Stages 1, 2, 3 drive outputs 2, 4 and 1: terminals 1, 2 and 0.
    EXPECT_EQ(layout.outputOwner(1), 0);
    EXPECT_EQ(layout.outputOwner(2), 1);
    EXPECT_EQ(layout.outputOwner(0), 2);
    EXPECT_EQ(layout.outputOwner(3), -1);

    EXPECT_TRUE(layout.tick(0, 5, true));
    EXPECT_FALSE(layout.canTick(1, 5));
    EXPECT_FALSE(layout.tick(1, 5, true));
    EXPECT_FALSE(layout.tick(1, 5, false)) << "another stage cannot untick it either";
    EXPECT_EQ(layout.outputOwner(5), 0);
    EXPECT_TRUE(layout.tick(0, 5, false));
    EXPECT_TRUE(layout.tick(1, 5, true));
    EXPECT_EQ(layout.outputOwner(5), 1);
    EXPECT_FALSE(layout.tick(3, 6, true)) << "a hidden stage holds nothing";
    EXPECT_EQ(CustomStageLayout::OutputTerminal(3), -1) << "output 3 is the alarm";
}

// The edit copy gets every hidden row as "no source", so a stage left from an earlier, larger count
// does not come back; the sources reach the derived trigger inputs and the kinds their sources.
TEST(CustomStageLayout, EditCopyRoundTrip)
{
    WizardPara para;
    para.work_mode = 4;
    para.enable_product_detect = 1;
    para.custom_stage_count = 3;
    const int stored[8] = {0, 0, 1, 2, 3, 4, 5, 6};  // rows 3-7: left from a count of 8
    std::copy(std::begin(stored), std::end(stored), para.custom_stage_source);
    for (int s = 0; s < 8; ++s)
        para.trigger_source_input[s] = s;
    para.trigger_source_input[1] = 4;  // source 1 fires on table row 4: input 6
    para.trigger_source_kind[0] = 3;
    para.trigger_source_kind[1] = 9;  // outside 0-5: read as 0

    CustomStageLayout layout = CustomStageLayout::FromRecord(para);
    EXPECT_EQ(layout.count(), 3);
    EXPECT_EQ(sourcesOf(layout), (Sources{0, 0, 4, -1, -1, -1, -1, -1}));
    EXPECT_EQ(layout.kind(0), 3);
    EXPECT_EQ(layout.kind(2), 0);

    // A stage joining a used source takes its kind; a kind set on one applies to all of them.
    EXPECT_TRUE(layout.setSource(2, 0));
    EXPECT_EQ(layout.kind(2), 3);
    EXPECT_TRUE(layout.setKind(1, 5));
    EXPECT_EQ(layout.kind(0), 5);
    EXPECT_TRUE(layout.setSource(2, 7));
    EXPECT_TRUE(layout.setKind(2, 2));
    EXPECT_FALSE(layout.setKind(2, 6));

    layout.setCount(5);  // rows 4 and 5 shown again, without a source
    EXPECT_FALSE(layout.lastStageChosen());
    EXPECT_TRUE(layout.setSource(4, 7));
    ASSERT_TRUE(layout.lastStageChosen());
    layout.WriteTo(para);
    EXPECT_EQ(para.custom_stage_count, 5);
    const int written[8] = {0, 0, 7, -1, 7, -1, -1, -1};
    for (int stage = 0; stage < 8; ++stage)
        EXPECT_EQ(para.custom_stage_source[stage], written[stage]) << stage;
    EXPECT_EQ(para.trigger_source_kind[0], 5);
    EXPECT_EQ(para.trigger_source_kind[7], 2);

    para.DeriveStages();
    const int triggers[5] = {0, 0, 8, -1, 8};  // 0-based inputs 1, 1, 9, none, 9
    for (int stage = 0; stage < 5; ++stage)
        EXPECT_EQ(para.trigger_input[stage], triggers[stage]) << stage;
    EXPECT_EQ(para.stage_enable[3], 0);
}
