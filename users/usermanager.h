// The account manager: named accounts of three types in UserDataBase.db, login and switching,
// adding, deleting, password changes and the permission table.
#pragma once

#include <QDateTime>
#include <QSqlDatabase>
#include <QString>
#include <QVector>

#include <functional>

// 0 is the logged-out pseudo-account; a smaller number is the higher type.
enum UserType : int { NoAccount = 0, AdministratorAccount = 1, TechnicianAccount = 2, OperatorAccount = 3 };

// The seven permission flags of the Technician ("operator" row) and Operator ("LimitUser" row)
// types, in the order of the permission dialog.
enum Permission : int {
    PermStopDetection, PermSystemParam, PermResample, PermAreaSettings, PermDontDetect, PermAddAsTemp,
    PermAdvancedParam, PermissionCount
};

// One instance (instance()), created on first use and never destroyed; GUI thread only. It starts
// logged out (" ", type 0) on every program start; the database persists.
//
// UserDataBase.db in the working directory, connection "sql_user_database_connection":
//   user_table(name primary key, password, usertype, createtime, psdforsuper)
//   permission_table(name primary key, optype): rows "operator" and "LimitUser", seven 0/1 flags
// Passwords are kept as salted PBKDF2 hashes ("pbkdf2-sha256$iterations$salt$key"); a password
// still in plain text (an older file) is accepted once and replaced by its hash. Every value is
// bound into its statement.
class UserManager
{
public:
    static constexpr const char *kConnection = "sql_user_database_connection";
    static constexpr const char *kFile = "UserDataBase.db";

    static UserManager &instance();

    // Opens the database (again, in the current working directory) and writes the initial content
    // when a table is missing. A failure is not reported: later calls answer as for an unknown
    // account.
    void connectDatabase();
    void closeDatabase();

    // Logs in as, or switches to, `name`. An administrator may give the account service code.
    bool changeUser(const QString &name, const QString &password, QString &message);
    // Adds an account of a type below the current one; only a logged-in Administrator or
    // Technician adds accounts.
    bool addUser(UserType type, const QString &name, const QString &password, QString &message);
    // Deletes an account of a type below the current one (never the current account).
    bool deleteUser(const QString &name, QString &message);
    // Changes the current account's password; an administrator may give the account service code
    // as the old password.
    bool changeUserPassword(const QString &oldPassword, const QString &newPassword, QString &message);
    // Every account with its type, as the database returns them.
    void getAllUsersName(QVector<QString> &names, QVector<UserType> &types);
    // The seven flags of "operator" (`which` 1) or "LimitUser" (any other value).
    void getallPermission(int *flags, int which);
    void RecordPermission(int (&technician)[7], int (&operatorFlags)[7]);
    // May the current account do function `index` (Permission)? Administrators may do all, the
    // logged-out state nothing. A refusal is told through onDenied.
    bool CheckPermission(int index);

    QString currentName() const { return m_name; }
    UserType getUserType() const { return m_type; }
    bool CanAllocate() const { return m_type == AdministratorAccount; }
    void LogOut();

    // Why CheckPermission said no; the users screen shows its message dialog (and, when nobody is
    // logged in, offers the login). Without a handler the operator port warns.
    enum Denial { NotLoggedIn, NoAccess };
    std::function<void(Denial)> onDenied;
    // The time the account service code is built from; the system clock when empty.
    std::function<QDateTime()> clock;

    // The stored form of a password, and whether `password` matches a stored form.
    static QString HashPassword(const QString &password);
    static bool PasswordMatches(const QString &stored, const QString &password);

private:
    UserManager() = default;
    QSqlDatabase db() const;
    void createTables();
    // -1 for an unknown account.
    int typeOf(const QString &name);
    QString storedPassword(const QString &name, bool *found);
    bool setPassword(const QString &name, const QString &password);
    QString accountServiceCode() const;

    QString m_name = QStringLiteral(" ");
    UserType m_type = NoAccount;
};
