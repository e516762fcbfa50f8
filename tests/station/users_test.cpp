// The login levels in the running station: the stop password switch (word 136) and the automatic
// logout, whose next operation-record row says "Unlogged".
#include "tests/station/stationfixture.h"

#include "app/touchguard.h"
#include "core/globals.h"
#include "log/operationrecord.h"
#include "tests/support/testport.h"
#include "ui/indexpanel.h"
#include "users/loginlevels.h"
#include "users/usermanager.h"

#include <QMouseEvent>
#include <QPushButton>
#include <QSqlQuery>

namespace {

using Users = StationScenario;

// "level|text" of the record's rows, oldest first.
QStringList levelRows(MoJuWizard &w)
{
    w.operationRecord()->Flush();
    QStringList rows;
    QSqlQuery q(w.operationRecord()->Connection());
    q.exec(QStringLiteral("select recordpassword, remarks from RECORD order by rowid"));
    while (q.next())
        rows << q.value(0).toString() + QLatin1Char('|') + q.value(1).toString();
    return rows;
}

}  // namespace

// With password use off and the stop password switch on, stopping asks the one-time password:
// refused, detection goes on; given, the stop is confirmed and nobody is logged in by it. The start
// asks nothing. Then a login lapses after the auto-logout time without a touch.
TEST_F(Users, StopPasswordSwitchAndAutomaticLogout)
{
    setParams([](WizardPara &p) {
        p.is_psw_used = 0;
        p.stop_detect_password = 1;
        p.auto_cancel_timelen = 1;
    });
    ASSERT_NO_FATAL_FAILURE(start());
    TestOperatorPort port;  // answers in place of the station's boxes from here on
    QPushButton *startStop = window().indexButton()->startStop;
    ASSERT_EQ(cycle().detectState, InspectionCycle::Detecting);

    port.oneTimeResult = 0;
    startStop->click();
    EXPECT_EQ(port.oneTimeRequests, 1);
    EXPECT_TRUE(port.questions.isEmpty()) << "no stop question without the password";
    EXPECT_EQ(cycle().detectState, InspectionCycle::Detecting);
    EXPECT_TRUE(output(1)) << "clamping stays prohibited";

    port.oneTimeResult = 1;
    startStop->click();
    EXPECT_EQ(port.oneTimeRequests, 2);
    EXPECT_EQ(port.questions, QStringList{LanStr(140)});
    EXPECT_EQ(cycle().detectState, InspectionCycle::Stopped);
    EXPECT_TRUE(port.passwordLevels.isEmpty()) << "password use is off: no password box";
    EXPECT_EQ(window().loginLevels().level(), 0);
    startStop->click();
    EXPECT_EQ(port.oneTimeRequests, 2) << "a start asks nothing: it puts the interlocks under the judgement again";
    EXPECT_EQ(cycle().detectState, InspectionCycle::Detecting);

    // A login, a touch, then no touch for the auto-logout time (1 s).
    LoginLevels &levels = window().loginLevels();
    ASSERT_EQ(levels.Enter(QStringLiteral("8395")), 1);
    QString message;
    ASSERT_TRUE(UserManager::instance().changeUser(QStringLiteral("admin"), QStringLiteral("8395"), message));
    window().InsertRecord(QStringLiteral("while logged in"));
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(5, 5), QPointF(5, 5), Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    window().touchGuard()->filter(&press);
    EXPECT_EQ(window().touchGuard()->logoutTimer().interval(), 1000);
    settle(500);
    EXPECT_EQ(levels.level(), 1);
    ASSERT_TRUE(waitUntil([&] { return levels.level() == 0; }, 3000));
    EXPECT_EQ(UserManager::instance().getUserType(), NoAccount);
    window().InsertRecord(QStringLiteral("after the logout"));
    const QStringList rows = levelRows(window());
    ASSERT_GE(rows.size(), 2);
    EXPECT_EQ(rows.mid(rows.size() - 2), (QStringList{"Primary|while logged in", "Unlogged|after the logout"}));
}
