#include "users/usermanager.h"

#include "core/globals.h"
#include "core/operatorport.h"
#include "users/servicecode.h"

#include <QCryptographicHash>
#include <QPasswordDigestor>
#include <QRandomGenerator>
#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>
#include <QtDebug>

namespace {

constexpr int kRowSwitched = 628;
constexpr int kRowPasswordError = 629;
constexpr int kRowNoAddPermission = 630;
constexpr int kRowExists = 631;
constexpr int kRowAdded = 632;
constexpr int kRowNotCurrent = 633;
constexpr int kRowNoDeletePermission = 634;
constexpr int kRowDeleted = 635;
constexpr int kRowNoAccount = 636;
constexpr int kRowPasswordUpdated = 637;
constexpr int kRowOldPasswordWrong = 638;
constexpr int kRowLogInFirst = 640;
constexpr int kRowNoAccess = 641;

constexpr char kAdminName[] = "admin";
constexpr char kAdminPassword[] = "8395";
constexpr char kLogOutName[] = "LogOut";
constexpr char kTechnicianRow[] = "operator";
constexpr char kOperatorRow[] = "LimitUser";

constexpr char kHashScheme[] = "pbkdf2-sha256";
constexpr int kHashIterations = 20000;
constexpr int kSaltBytes = 16;
constexpr int kKeyBytes = 32;

QByteArray derive(const QString &password, const QByteArray &salt, int iterations)
{
    return QPasswordDigestor::deriveKeyPbkdf2(QCryptographicHash::Sha256, password.toUtf8(), salt, iterations,
                                              kKeyBytes);
}

// Compares without stopping at the first difference.
bool sameBytes(const QByteArray &a, const QByteArray &b)
{
    if (a.size() != b.size())
        return false;
    unsigned char diff = 0;
    for (qsizetype i = 0; i < a.size(); ++i)
        diff |= static_cast<unsigned char>(a[i] ^ b[i]);
    return diff == 0;
}

QString flagsText(const int (&flags)[7])
{
    QStringList words;
    for (int f : flags)
        words << QString::number(f ? 1 : 0);
    return words.join(QLatin1Char(' '));
}

}  // namespace

UserManager &UserManager::instance()
{
    static UserManager *manager = new UserManager;  // lives as long as the process
    return *manager;
}

QSqlDatabase UserManager::db() const { return QSqlDatabase::database(QLatin1String(kConnection), false); }

void UserManager::connectDatabase()
{
    closeDatabase();
    QSqlDatabase database = QSqlDatabase::contains(QLatin1String(kConnection))
                                ? QSqlDatabase::database(QLatin1String(kConnection), false)
                                : QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QLatin1String(kConnection));
    database.setDatabaseName(QLatin1String(kFile));
    if (!database.open()) {
        qWarning().noquote() << "accounts: UserDataBase.db not opened:" << database.lastError().text();
        return;
    }
    const QStringList tables = database.tables();
    if (!tables.contains(QStringLiteral("user_table")) || !tables.contains(QStringLiteral("permission_table")))
        createTables();
}

void UserManager::closeDatabase()
{
    if (QSqlDatabase::contains(QLatin1String(kConnection)))
        db().close();
}

// Each statement runs once; one that fails (a table or row already there) is passed over.
void UserManager::createTables()
{
    QSqlDatabase database = db();
    QSqlQuery q(database);
    q.exec(QStringLiteral("create table user_table(name varchar(32) primary key,password varchar(32),"
                          "usertype int,createtime datetime,psdforsuper varchar(32))"));
    const QString adminHash = HashPassword(QLatin1String(kAdminPassword));
    q.prepare(QStringLiteral("insert into user_table values(:name,:password,:type,datetime(),:super)"));
    q.bindValue(QStringLiteral(":name"), QLatin1String(kAdminName));
    q.bindValue(QStringLiteral(":password"), adminHash);
    q.bindValue(QStringLiteral(":type"), int(AdministratorAccount));
    q.bindValue(QStringLiteral(":super"), adminHash);  // nothing reads it; no password in plain text
    q.exec();
    q.prepare(QStringLiteral("insert into user_table values(:name,'',:type,datetime(),'')"));
    q.bindValue(QStringLiteral(":name"), QLatin1String(kLogOutName));
    q.bindValue(QStringLiteral(":type"), int(NoAccount));
    q.exec();
    q.exec(QStringLiteral("create table permission_table(name varchar(32)primary key,optype char)"));
    for (const char *row : {kTechnicianRow, kOperatorRow}) {
        q.prepare(QStringLiteral("insert into permission_table values(:name,'0 0 0 0 0 0 0')"));
        q.bindValue(QStringLiteral(":name"), QLatin1String(row));
        q.exec();
    }
}

QString UserManager::HashPassword(const QString &password)
{
    QByteArray salt(kSaltBytes, Qt::Uninitialized);
    QRandomGenerator::system()->generate(salt.begin(), salt.end());
    return QStringLiteral("%1$%2$%3$%4")
        .arg(QLatin1String(kHashScheme))
        .arg(kHashIterations)
        .arg(QString::fromLatin1(salt.toBase64()), QString::fromLatin1(derive(password, salt, kHashIterations).toBase64()));
}

bool UserManager::PasswordMatches(const QString &stored, const QString &password)
{
    if (stored.isEmpty())
        return false;  // the pseudo-account, or an account without a password: nobody logs in
    const QStringList parts = stored.split(QLatin1Char('$'));
    if (parts.size() == 4 && parts[0] == QLatin1String(kHashScheme)) {
        bool ok = false;
        const int iterations = parts[1].toInt(&ok);
        if (!ok || iterations <= 0)
            return false;
        const QByteArray key = QByteArray::fromBase64(parts[3].toLatin1());
        return sameBytes(derive(password, QByteArray::fromBase64(parts[2].toLatin1()), iterations), key);
    }
    return sameBytes(stored.toUtf8(), password.toUtf8());  // plain text from an older file
}

QString UserManager::accountServiceCode() const
{
    return ServiceCode::Account(clock ? clock() : QDateTime::currentDateTime());
}

int UserManager::typeOf(const QString &name)
{
    QSqlQuery q(db());
    q.prepare(QStringLiteral("select usertype from user_table where name=:name"));
    q.bindValue(QStringLiteral(":name"), name);
    if (!q.exec() || !q.next())
        return -1;
    return q.value(0).toInt();
}

QString UserManager::storedPassword(const QString &name, bool *found)
{
    QSqlQuery q(db());
    q.prepare(QStringLiteral("select password from user_table where name=:name"));
    q.bindValue(QStringLiteral(":name"), name);
    *found = q.exec() && q.next();
    return *found ? q.value(0).toString() : QString();
}

bool UserManager::setPassword(const QString &name, const QString &password)
{
    QSqlQuery q(db());
    q.prepare(QStringLiteral("update user_table set password=:password where name=:name"));
    q.bindValue(QStringLiteral(":password"), HashPassword(password));
    q.bindValue(QStringLiteral(":name"), name);
    return q.exec();
}

bool UserManager::changeUser(const QString &name, const QString &password, QString &message)
{
    if (name == m_name)
        return true;
    const int type = typeOf(name);
    bool found = false;
    const QString stored = storedPassword(name, &found);
    bool ok = false;
    if (type == AdministratorAccount && !password.isEmpty() && password == accountServiceCode()) {
        ok = true;
    } else if (found && type >= AdministratorAccount && type <= OperatorAccount && PasswordMatches(stored, password)) {
        ok = true;
        if (!stored.startsWith(QLatin1String(kHashScheme)))
            setPassword(name, password);  // an older plain-text password is hashed from now on
    }
    if (!ok) {
        message = LanStr(kRowPasswordError);
        return false;
    }
    m_name = name;
    m_type = UserType(type);
    message = LanStr(kRowSwitched);
    return true;
}

bool UserManager::addUser(UserType type, const QString &name, const QString &password, QString &message)
{
    // Only a logged-in Administrator or Technician adds, and only types below its own.
    const bool allowed = (m_type == AdministratorAccount || m_type == TechnicianAccount) && m_type < type
                         && type <= OperatorAccount;
    if (!allowed) {
        message = LanStr(kRowNoAddPermission);
        return false;
    }
    if (typeOf(name) >= 0) {
        message = LanStr(kRowExists);
        return false;
    }
    QSqlQuery q(db());
    q.prepare(QStringLiteral("insert into user_table values(:name,:password,:type,datetime(),'')"));
    q.bindValue(QStringLiteral(":name"), name);
    q.bindValue(QStringLiteral(":password"), HashPassword(password));
    q.bindValue(QStringLiteral(":type"), int(type));
    if (!q.exec()) {
        qWarning().noquote() << "accounts: adding failed:" << q.lastError().text();
        message = LanStr(kRowNoAddPermission);
        return false;
    }
    message = LanStr(kRowAdded);
    return true;
}

bool UserManager::deleteUser(const QString &name, QString &message)
{
    if (name == m_name) {
        message = LanStr(kRowNotCurrent);
        return false;
    }
    const int type = typeOf(name);
    if (type < 0) {
        message = LanStr(kRowNoAccount);
        return false;
    }
    // Only a logged-in Administrator or Technician deletes, and only types below its own.
    const bool allowed = (m_type == AdministratorAccount || m_type == TechnicianAccount) && m_type < type;
    if (!allowed) {
        message = LanStr(kRowNoDeletePermission);
        return false;
    }
    QSqlQuery q(db());
    q.prepare(QStringLiteral("delete from user_table where name = :name"));
    q.bindValue(QStringLiteral(":name"), name);
    q.exec();
    message = LanStr(kRowDeleted);
    return true;
}

bool UserManager::changeUserPassword(const QString &oldPassword, const QString &newPassword, QString &message)
{
    bool found = false;
    const QString stored = storedPassword(m_name, &found);
    if (!found)
        return false;
    const bool allowed = PasswordMatches(stored, oldPassword)
                         || (m_type == AdministratorAccount && !oldPassword.isEmpty() && oldPassword == accountServiceCode());
    if (!allowed || !setPassword(m_name, newPassword)) {
        message = LanStr(kRowOldPasswordWrong);
        return false;
    }
    message = LanStr(kRowPasswordUpdated);
    return true;
}

void UserManager::getAllUsersName(QVector<QString> &names, QVector<UserType> &types)
{
    QSqlQuery q(db());
    if (!q.exec(QStringLiteral("select name,usertype from user_table")))
        return;
    while (q.next()) {
        names.append(q.value(0).toString());
        types.append(UserType(q.value(1).toInt()));
    }
}

void UserManager::getallPermission(int *flags, int which)
{
    for (int i = 0; i < PermissionCount; ++i)
        flags[i] = 0;
    QSqlQuery q(db());
    q.prepare(QStringLiteral("select optype from permission_table where name=:name"));
    q.bindValue(QStringLiteral(":name"), QLatin1String(which == 1 ? kTechnicianRow : kOperatorRow));
    if (!q.exec() || !q.next())
        return;
    const QStringList words = q.value(0).toString().split(QLatin1Char(' '), Qt::SkipEmptyParts);
    for (int i = 0; i < PermissionCount && i < words.size(); ++i)
        flags[i] = words[i].toInt() != 0 ? 1 : 0;
}

void UserManager::RecordPermission(int (&technician)[7], int (&operatorFlags)[7])
{
    QSqlQuery q(db());
    const struct { const char *row; const int (&flags)[7]; } rows[] = {
        {kTechnicianRow, technician}, {kOperatorRow, operatorFlags}};
    for (const auto &r : rows) {
        q.prepare(QStringLiteral("update permission_table set optype=:flags where name=:name"));
        q.bindValue(QStringLiteral(":flags"), flagsText(r.flags));
        q.bindValue(QStringLiteral(":name"), QLatin1String(r.row));
        if (!q.exec())
            qWarning().noquote() << "accounts: permissions not stored:" << q.lastError().text();
    }
}

bool UserManager::CheckPermission(int index)
{
    const auto deny = [this](Denial why) {
        if (onDenied)
            onDenied(why);
        else
            Operator::Warn(why == NotLoggedIn ? kRowLogInFirst : kRowNoAccess);
        return false;
    };
    if (m_type == NoAccount)
        return deny(NotLoggedIn);
    if (m_type == AdministratorAccount)
        return true;
    if (m_type != TechnicianAccount && m_type != OperatorAccount)
        return false;
    int flags[PermissionCount];
    getallPermission(flags, m_type == TechnicianAccount ? 1 : 0);
    if (index < 0 || index >= PermissionCount || !flags[index])
        return deny(NoAccess);
    return true;
}

void UserManager::LogOut()
{
    m_name = QStringLiteral(" ");
    m_type = NoAccount;
}
