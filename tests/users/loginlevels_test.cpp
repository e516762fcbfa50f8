// The login levels: the password box and the one-time prompt against the service code and the
// primary password, and how each protected action asks.
#include "users/loginlevels.h"

#include "core/globals.h"
#include "core/texttable.h"
#include "params/wizardpara.h"
#include "tests/support/testport.h"
#include "users/servicecode.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

const QDateTime kNow(QDate(2026, 3, 7), QTime(9, 41));

class Levels : public ::testing::Test
{
protected:
    void SetUp() override
    {
        FillTextTable();
        gLan = 1;
        std::strcpy(m_para.password, "1234");
        m_para.is_psw_used = 1;
        gpWPara = &m_para;
    }
    void TearDown() override { gpWPara = nullptr; }

    WizardPara m_para;
    QDateTime m_now = kNow;
    LoginLevels m_levels{[this] { return m_now; }};
    TestOperatorPort m_port;
};

TEST_F(Levels, ServiceCodeAndPrimaryPasswordGiveTheirLevels)
{
    const QString code = ServiceCode::Station(kNow);
    ASSERT_EQ(code.size(), 10);
    EXPECT_TRUE(code.endsWith(QStringLiteral("030709")));
    const QString lastHour = ServiceCode::Station(kNow.addSecs(-3600));
    const QString prefix = code.left(4);
    const struct { const char *name; bool passwordUse; QString typed; int box, oneTime; } rows[] = {
        {"serviceCode", true, code, 2, 2},
        {"primary", true, QStringLiteral("1234"), 1, 1},
        {"lastHoursCode", true, lastHour, 0, 0},
        {"wrong", true, QStringLiteral("12345"), 0, 0},
        {"empty", true, QString(), 0, 0},
        // With password use off the box takes the prefix alone; the one-time prompt never does.
        {"prefixWithPasswordOff", false, prefix, 2, 0},
        {"fullCodeWithPasswordOff", false, code, 0, 2},
    };
    for (const auto &r : rows) {
        SCOPED_TRACE(r.name);
        m_para.is_psw_used = r.passwordUse;
        m_levels.setLevel(2);
        EXPECT_EQ(m_levels.OneTime(r.typed), r.oneTime);
        EXPECT_EQ(m_levels.level(), 2) << "the one-time prompt leaves the level";
        EXPECT_EQ(m_levels.Enter(r.typed), r.box);
        EXPECT_EQ(m_levels.level(), r.box) << "a wrong password drops the level to 0";
    }
    // The primary password never gives level 2, even when it is set to a service code.
    std::strcpy(m_para.password, qPrintable(lastHour));
    m_para.is_psw_used = 1;
    EXPECT_EQ(m_levels.Enter(lastHour), 1);
    EXPECT_EQ(LoginLevels::LevelName(1), QStringLiteral("Primary"));
    EXPECT_EQ(LoginLevels::LevelName(7), QStringLiteral("Unlogged"));
}

// Which prompt each action brings up from level 0: none, the password box (with its level) or
// the one-time prompt, with password use and the action's protection switch on or off.
TEST_F(Levels, EachActionAsksAsItsSwitchesSay)
{
    enum Prompt { None, Box1, Box2, OneTime };
    using A = Guard::Action;
    const struct { const char *name; A action; bool passwordUse; bool protection; Prompt prompt; } rows[] = {
        {"stopPasswordOn", A::StartStopDetection, true, false, Box1},
        {"stopPasswordOff", A::StartStopDetection, false, false, None},
        {"stopProtectedPasswordOff", A::StartStopDetection, false, true, OneTime},
        {"stopProtectedPasswordOn", A::StartStopDetection, true, true, Box1},
        {"dontDetectProtected", A::DontDetect, false, true, OneTime},
        {"addTemplateProtected", A::AddTemplate, false, true, OneTime},
        {"addTemplatePasswordOff", A::AddTemplate, false, false, None},
        {"ignorePointSwitchOff", A::IgnoreAlarmPoint, true, false, None},
        {"ignorePointSwitchOn", A::IgnoreAlarmPoint, true, true, Box1},
        {"resample", A::Resample, true, false, Box1},
        {"systemParamsPasswordOff", A::SystemParameters, false, false, None},
        {"clearRecordPasswordOff", A::ClearRecord, false, false, Box2},
        {"ioPage", A::IoPage, true, false, Box2},
        {"networkPage", A::NetworkPage, false, true, Box2},
    };
    for (const auto &r : rows) {
        SCOPED_TRACE(r.name);
        m_para.is_psw_used = r.passwordUse;
        m_para.stop_detect_password = m_para.enable_pass_protect = m_para.word134 = m_para.word135 = r.protection;
        m_levels.setLevel(0);
        m_port.passwordLevels.clear();
        m_port.oneTimeRequests = 0;
        m_port.passwordOk = false;
        m_port.oneTimeResult = 0;
        EXPECT_EQ(m_levels.require(r.action), r.prompt == None) << "a refused prompt refuses the action";
        EXPECT_EQ(m_port.oneTimeRequests, r.prompt == OneTime ? 1 : 0);
        const QList<int> box = r.prompt == Box1 ? QList<int>{1} : r.prompt == Box2 ? QList<int>{2} : QList<int>{};
        EXPECT_EQ(m_port.passwordLevels, box);
        // Given, the password box logs in at its level; the one-time prompt logs nobody in.
        m_port.passwordOk = true;
        m_port.oneTimeResult = 1;
        EXPECT_TRUE(m_levels.require(r.action));
        EXPECT_EQ(m_levels.level(), r.prompt == Box1 ? 1 : r.prompt == Box2 ? 2 : 0);
    }
}

TEST_F(Levels, SystemParametersLowerAnAdvancedLevel)
{
    for (const auto &[passwordUse, from, after] : {std::tuple{1, 2, 1}, {0, 2, 0}, {1, 1, 1}}) {
        m_para.is_psw_used = passwordUse;
        m_levels.setLevel(from);
        m_levels.LowerForSystemParameters();
        EXPECT_EQ(m_levels.level(), after);
    }
}

}  // namespace
