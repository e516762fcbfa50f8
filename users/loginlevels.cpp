#include "users/loginlevels.h"

#include "core/globals.h"
#include "core/operatorport.h"
#include "params/wizardpara.h"
#include "users/servicecode.h"
#include "users/usermanager.h"

namespace {
constexpr int kRowAdvanced = 154;
constexpr int kRowPrimary = 155;
constexpr int kRowUnlogged = 156;
}  // namespace

LoginLevels::LoginLevels(Clock clock) : m_clock(std::move(clock)) {}

QString LoginLevels::LevelName(int level)
{
    return LanStr(level == Advanced ? kRowAdvanced : level == Primary ? kRowPrimary : kRowUnlogged);
}

QDateTime LoginLevels::now() const { return m_clock ? m_clock() : QDateTime::currentDateTime(); }

bool LoginLevels::passwordUse() const { return !gpWPara || gpWPara->is_psw_used != 0; }

QString LoginLevels::primaryPassword() const
{
    if (!gpWPara)
        return {};
    // The field is 100 bytes, Latin-1, NUL-terminated within them.
    return QString::fromLatin1(gpWPara->password, qstrnlen(gpWPara->password, sizeof gpWPara->password));
}

QString LoginLevels::serviceCode() const { return ServiceCode::Station(now(), passwordUse()); }
QString LoginLevels::oneTimeServiceCode() const { return ServiceCode::Station(now(), true); }

int LoginLevels::Enter(const QString &typed)
{
    int entered = Unlogged;
    if (!typed.isEmpty() && typed == serviceCode())
        entered = Advanced;
    else if (!typed.isEmpty() && typed == primaryPassword())
        entered = Primary;
    m_level = entered;
    return entered;
}

int LoginLevels::OneTime(const QString &typed) const
{
    if (typed.isEmpty())
        return Unlogged;
    if (typed == oneTimeServiceCode())
        return Advanced;
    return typed == primaryPassword() ? Primary : Unlogged;
}

int LoginLevels::CheckPassword()
{
    if (!passwordUse())
        return Advanced;
    if (level() != Unlogged)
        return level();
    // A port that says yes has logged the operator in (the station's box did so through Enter).
    if (Operator::Password(OperatorPort::Primary) && level() < Primary)
        m_level = Primary;
    return level();
}

bool LoginLevels::CheckRoot()
{
    if (level() == Advanced)
        return true;
    if (Operator::Password(OperatorPort::Advanced) && level() < Advanced)
        m_level = Advanced;
    return level() == Advanced;
}

bool LoginLevels::require(Guard::Action action)
{
    using Guard::Action;
    // The actions with a protection switch of their own ask the one-time password while the
    // station-wide password use is off.
    int protection = -1;
    switch (action) {
    case Action::StartStopDetection: protection = gpWPara ? gpWPara->stop_detect_password : 0; break;
    case Action::DontDetect: protection = gpWPara ? gpWPara->enable_pass_protect : 0; break;
    case Action::AddTemplate: protection = gpWPara ? gpWPara->word134 : 0; break;
    case Action::IgnoreAlarmPoint:
        // Guarded only while its switch is on.
        if (!gpWPara || !gpWPara->word135)
            return true;
        return CheckPassword() != Unlogged;
    default: break;
    }
    if (Guard::NeedsAdvanced(action))
        return CheckRoot();
    if (protection > 0 && !passwordUse())
        return Operator::OneTimePassword() != Unlogged;
    return CheckPassword() != Unlogged;
}

void LoginLevels::LowerForSystemParameters()
{
    if (level() == Advanced)
        m_level = passwordUse() ? Primary : Unlogged;
}

void LoginLevels::LogOut()
{
    m_level = Unlogged;
    UserManager::instance().LogOut();
}
