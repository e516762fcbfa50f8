// The change text of an accepted parameter edit and what accepting does to the stage tables.
#include "params/paraclauses.h"

#include "core/globals.h"
#include "core/texttable.h"
#include "params/wizardpara.h"

#include <gtest/gtest.h>

#include <functional>

namespace {

struct Case
{
    const char *name;
    std::function<void(WizardPara &)> edit;
    const char *clauses;  // what follows "Modify the system parameters"
};

}  // namespace

// Each kind of setting adds its own clause, in table order; the password is never written.
TEST(ParaClauses, OneClausePerChangedValueInTableOrder)
{
    FillTextTable();
    gLan = 1;
    WizardPara live;
    live.max_mold_num = 10;
    live.enable_correct = -1;
    live.trigInDelay[1] = 20;
    const Case cases[] = {
        {"nothing", [](WizardPara &) {}, ""},
        {"tempNumber", [](WizardPara &p) { p.max_mold_num = 12; }, ", Temp number is changed from 10 to 12"},
        {"switchOn", [](WizardPara &p) { p.is_psw_used = 1; }, ", Enable Password is changed to active"},
        {"reversedSwitch", [](WizardPara &p) { p.enable_correct = 0; }, ", Motion correcte is changed to active"},
        {"stageDelayInSeconds", [](WizardPara &p) { p.trigInDelay[1] = 35; },
         ", The time delay for detection Moldis changed from 2.0 to 3.5"},
        {"cameraGain", [](WizardPara &p) { p.adjust_plus[6] = 40; }, ", The gain of camera 7 is changed from 0 to 40"},
        {"cameraGamma", [](WizardPara &p) { p.gamma[0] = 90; }, ", the Gamma of camera 1 is changed from 0 to 90"},
        {"password", [](WizardPara &p) { SetParaText(p.password, QStringLiteral("s3cret")); },
         ", the password has been modified"},
        {"tableOrder", [](WizardPara &p) { p.is_psw_used = 1; p.max_mold_num = 12; p.semi_auto = 1; },
         ", Semiauto is changed to active, Temp number is changed from 10 to 12, Enable Password is changed to active"},
        {"silentField", [](WizardPara &p) { p.trigInDelay[5] = 7; }, ""},
    };
    for (const Case &c : cases) {
        WizardPara edited = live;
        c.edit(edited);
        EXPECT_EQ(ParaClauses::ChangeText(live, edited),
                  QStringLiteral("Modify the system parameters") + QString::fromUtf8(c.clauses))
            << c.name;
        EXPECT_FALSE(ParaClauses::ChangeText(live, edited).contains(QStringLiteral("s3cret"))) << c.name;
    }
}

// A mode chosen on the screen is saved for the next start; the mode in force and the custom
// stage tables stay, while the fixed modes follow the product-stage switch at once.
TEST(ParaClauses, AcceptKeepsTheModeInForce)
{
    WizardPara live;
    live.work_mode = live.work_mode_next = 4;
    live.custom_stage_count = 3;
    live.stage_count = 3;
    live.stage_enable[2] = 1;
    live.trigger_input[2] = 3;
    WizardPara edited = live;
    edited.work_mode_next = 0;
    edited.custom_stage_count = 5;
    edited.stage_enable[2] = 0;
    ParaClauses::PrepareAccept(live, edited);
    EXPECT_EQ(edited.work_mode, 4);
    EXPECT_EQ(edited.work_mode_next, 0);
    EXPECT_EQ(edited.custom_stage_count, 5);
    EXPECT_EQ(edited.stage_count, 3);
    EXPECT_EQ(edited.stage_enable[2], 1);
    EXPECT_EQ(edited.trigger_input[2], 3);

    WizardPara fixed;
    fixed.work_mode = 0;
    fixed.enable_product_detect = 0;
    fixed.DeriveStages();
    WizardPara chosen = fixed;
    chosen.enable_product_detect = 1;
    chosen.work_mode_next = 4;
    ParaClauses::PrepareAccept(fixed, chosen);
    EXPECT_EQ(chosen.work_mode, 0);
    EXPECT_EQ(chosen.stage_enable[0], 1);
}
