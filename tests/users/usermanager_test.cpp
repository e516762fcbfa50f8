// The account manager on a fresh station directory: the initial accounts, logins with passwords
// and the account service code, who may add and delete whom, password changes and permissions.
#include "users/usermanager.h"

#include "core/globals.h"
#include "core/texttable.h"
#include "tests/support/stationdir.h"
#include "tests/support/testport.h"
#include "users/servicecode.h"

#include <gtest/gtest.h>

#include <QSqlDatabase>
#include <QSqlQuery>

namespace {

const QDateTime kNow(QDate(2026, 3, 7), QTime(9, 41));

class Accounts : public ::testing::Test
{
protected:
    void SetUp() override
    {
        FillTextTable();
        gLan = 1;
        users.clock = [] { return kNow; };
        users.connectDatabase();
        users.LogOut();
    }
    void TearDown() override
    {
        users.closeDatabase();
        users.onDenied = nullptr;
    }

    // name -> (type, stored password) of every row.
    QMap<QString, std::pair<int, QString>> rows()
    {
        QMap<QString, std::pair<int, QString>> all;
        QSqlQuery q(QSqlDatabase::database(QLatin1String(UserManager::kConnection)));
        q.exec(QStringLiteral("select name, usertype, password from user_table"));
        while (q.next())
            all[q.value(0).toString()] = {q.value(1).toInt(), q.value(2).toString()};
        return all;
    }
    bool login(const QString &name, const QString &password) { return users.changeUser(name, password, message); }

    TempStation station{false};
    TestOperatorPort port;
    UserManager &users = UserManager::instance();
    QString message;
};

TEST_F(Accounts, FreshDatabaseHoldsAdminHashedAndTheLogOutPseudoAccount)
{
    const auto all = rows();
    ASSERT_EQ(all.keys(), (QStringList{"LogOut", "admin"}));
    EXPECT_EQ(all["admin"].first, 1);
    EXPECT_EQ(all["LogOut"].first, 0);
    EXPECT_TRUE(all["admin"].second.startsWith(QStringLiteral("pbkdf2-sha256$")));
    EXPECT_FALSE(all["admin"].second.contains(QStringLiteral("8395")));
    QSqlQuery q(QSqlDatabase::database(QLatin1String(UserManager::kConnection)));
    q.exec(QStringLiteral("select name, optype from permission_table order by name"));
    QStringList perms;
    while (q.next())
        perms << q.value(0).toString() + '=' + q.value(1).toString();
    EXPECT_EQ(perms, (QStringList{"LimitUser=0 0 0 0 0 0 0", "operator=0 0 0 0 0 0 0"}));

    EXPECT_FALSE(login("admin", "8394"));
    EXPECT_FALSE(users.changeUser("LogOut", "", message)) << "the pseudo-account never logs in";
    EXPECT_EQ(message, QStringLiteral("Password error!"));
    EXPECT_TRUE(login("admin", "8395"));
    EXPECT_EQ(users.getUserType(), AdministratorAccount);
    users.LogOut();
    EXPECT_TRUE(login("admin", ServiceCode::Account(kNow))) << "administrators may give the account code";
    users.LogOut();
    EXPECT_FALSE(login("admin", ServiceCode::Station(kNow))) << "the account code is hhMMdd, not MMddhh";
}

// Who may add and delete whom; the logged-out state adds nobody, even by calling the function.
TEST_F(Accounts, AddingAndDeletingFollowTheTypes)
{
    EXPECT_FALSE(users.addUser(AdministratorAccount, "boss", "1", message));
    EXPECT_EQ(message, QStringLiteral("You do not have permission to add this account!"));
    EXPECT_FALSE(users.addUser(OperatorAccount, "op", "1", message));
    EXPECT_FALSE(users.deleteUser("admin", message));
    EXPECT_EQ(message, QStringLiteral("You do not have permission to delete this account!"));

    ASSERT_TRUE(login("admin", "8395"));
    EXPECT_FALSE(users.addUser(AdministratorAccount, "boss", "1", message));
    EXPECT_TRUE(users.addUser(TechnicianAccount, "O'Brien", "t-pass", message)) << "values are bound";
    EXPECT_EQ(message, QStringLiteral("Account added successfully!"));
    EXPECT_FALSE(users.addUser(OperatorAccount, "O'Brien", "x", message));
    EXPECT_EQ(message, QStringLiteral("Account already exists!"));
    EXPECT_FALSE(users.deleteUser("admin", message));
    EXPECT_EQ(message, QStringLiteral("You cannot delete the current account!"));

    ASSERT_TRUE(login("O'Brien", "t-pass"));
    EXPECT_EQ(message, QStringLiteral("Account switchover succeeded!"));
    EXPECT_FALSE(users.addUser(TechnicianAccount, "tech2", "1", message));
    EXPECT_TRUE(users.addUser(OperatorAccount, "op", "o-pass", message));
    EXPECT_FALSE(users.deleteUser("admin", message));
    EXPECT_FALSE(users.deleteUser("nobody", message));
    EXPECT_EQ(message, QStringLiteral("No account!"));
    EXPECT_TRUE(users.deleteUser("op", message));
    EXPECT_EQ(message, QStringLiteral("The account has been deleted!"));
    EXPECT_FALSE(rows().contains("op"));
    EXPECT_TRUE(rows()["O'Brien"].second.startsWith(QStringLiteral("pbkdf2-sha256$")));
}

TEST_F(Accounts, PasswordChangesAndOlderPlainPasswords)
{
    ASSERT_TRUE(login("admin", "8395"));
    EXPECT_FALSE(users.changeUserPassword("wrong", "new", message));
    EXPECT_EQ(message, QStringLiteral("Old password is incorrect!"));
    EXPECT_TRUE(users.changeUserPassword(ServiceCode::Account(kNow), "9999", message));
    EXPECT_EQ(message, QStringLiteral("Password updated!"));
    users.LogOut();
    EXPECT_FALSE(login("admin", "8395"));
    EXPECT_TRUE(login("admin", "9999"));

    // An account written in plain text by an older station still logs in, and is hashed then.
    QSqlQuery q(QSqlDatabase::database(QLatin1String(UserManager::kConnection)));
    ASSERT_TRUE(q.exec(QStringLiteral("insert into user_table values('old','4321',3,datetime(),'')")));
    EXPECT_FALSE(login("old", "432"));
    EXPECT_TRUE(login("old", "4321"));
    EXPECT_TRUE(rows()["old"].second.startsWith(QStringLiteral("pbkdf2-sha256$")));
    users.LogOut();
    EXPECT_TRUE(login("old", "4321"));
}

TEST_F(Accounts, PermissionsAreStoredAndChecked)
{
    QList<UserManager::Denial> denials;
    users.onDenied = [&](UserManager::Denial why) { denials << why; };
    EXPECT_FALSE(users.CheckPermission(PermStopDetection));
    int technician[7] = {1, 0, 1, 0, 0, 0, 0}, operatorFlags[7] = {0, 0, 0, 0, 0, 1, 0};
    users.RecordPermission(technician, operatorFlags);
    int read[7];
    users.getallPermission(read, 1);
    EXPECT_TRUE(std::equal(read, read + 7, technician));
    users.getallPermission(read, 0);
    EXPECT_TRUE(std::equal(read, read + 7, operatorFlags));

    ASSERT_TRUE(login("admin", "8395"));
    EXPECT_TRUE(users.CheckPermission(PermAdvancedParam));
    ASSERT_TRUE(users.addUser(TechnicianAccount, "tech", "t", message));
    ASSERT_TRUE(users.addUser(OperatorAccount, "op", "o", message));
    ASSERT_TRUE(login("tech", "t"));
    EXPECT_TRUE(users.CheckPermission(PermResample));
    EXPECT_FALSE(users.CheckPermission(PermSystemParam));
    ASSERT_TRUE(login("op", "o"));
    EXPECT_TRUE(users.CheckPermission(PermAddAsTemp));
    EXPECT_FALSE(users.CheckPermission(PermStopDetection));
    EXPECT_FALSE(users.CheckPermission(9));
    EXPECT_EQ(denials, (QList<UserManager::Denial>{UserManager::NotLoggedIn, UserManager::NoAccess,
                                                   UserManager::NoAccess, UserManager::NoAccess}));
}

}  // namespace
