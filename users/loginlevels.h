// The station-wide login level (0 "Unlogged", 1 "Primary", 2 "Advanced") and the guard of the
// protected actions built on it.
#pragma once

#include "core/guard.h"

#include <QDateTime>
#include <QString>

#include <atomic>
#include <functional>

// One instance, owned by the main window and installed as the station's guard policy. The
// passwords are asked through the operator port: its password box ends in Enter(), its one-time
// prompt in OneTime(). Reads the switches and the primary password from gpWPara; without a
// parameter record password use counts as on and every protection switch as off.
// The level is read from any thread (the operation record); it is changed on the GUI thread.
class LoginLevels : public Guard::Policy
{
public:
    enum Level { Unlogged = 0, Primary = 1, Advanced = 2 };
    using Clock = std::function<QDateTime()>;

    // `clock` gives the time the service code is built from; the system clock without one.
    explicit LoginLevels(Clock clock = {});

    int level() const { return m_level.load(); }
    void setLevel(int level) { m_level = level; }
    // The level's display name in the current language; "Unlogged" for anything but 1 and 2.
    static QString LevelName(int level);

    // The service code of the password box now (the prefix alone with password use off).
    QString serviceCode() const;
    // The one-time prompt's service code now: always the ten characters.
    QString oneTimeServiceCode() const;

    // The password box's accept: the level for the typed text (2 service code, 1 primary
    // password, 0 anything else), which becomes the station's level. An empty entry is wrong.
    int Enter(const QString &typed);
    // The one-time prompt's accept: the same comparison with the ten-character code; the level
    // does not change.
    int OneTime(const QString &typed) const;

    // The level to act with: 2 at once with password use off; the level when not 0; otherwise
    // the password box is shown and the level afterwards is returned (0 when cancelled).
    int CheckPassword();
    // True when the level is 2, after the password box when it was not. Ignores password use.
    bool CheckRoot();
    // The guard of each protected action (one-time prompt, CheckPassword or CheckRoot).
    bool require(Guard::Action action) override;

    // Opening the system parameters: an advanced level drops to 1 with password use on and to 0
    // with it off, so the advanced pages ask for the service code each time.
    void LowerForSystemParameters();

    // The automatic logout: level 0 and no account logged in.
    void LogOut();

private:
    QDateTime now() const;
    bool passwordUse() const;
    QString primaryPassword() const;

    Clock m_clock;
    std::atomic<int> m_level{Unlogged};
};
