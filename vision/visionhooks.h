// Calls from the vision folder up to the main window and the network service, installed at start-up.
#pragma once

#include <QString>

#include <functional>

// The vision folder must not include widgets, the main window or the network service. What it needs
// of them goes through these functions; the main window installs them once at start-up and tests
// install their own answers. An empty function is the quiet default given with each.
namespace VisionHooks {

// Modal warning box with one "Confirm" button (gpWarnBox). Default: nothing shown.
inline std::function<void(const QString &text)> warn;
// Modal question with "YES" and "NO" (gpChooseBox); true for YES. Default: YES.
inline std::function<bool(const QString &text)> ask;
// Password check of the login levels (MoJuWizard::CheckPassword()); true when allowed. Default: allowed.
inline std::function<bool()> checkPassword;

// Network service (each installed function itself checks that the link is enabled and connected).
// The region parameters of one detection after they were saved (CNT_Net::CNT_SendROIParam).
inline std::function<void(int camera, int detection)> sendROIParam;
// A template file that was written (CNT_Net::CNT_SendTempPic), absolute path.
inline std::function<void(const QString &path)> sendTempPic;
// A template file that was removed (CNT_Net::CNT_SendDelTempPic), camera and detection from 1.
inline std::function<void(int camera, int detection, const QString &name)> sendDelTempPic;
// An ignore-point file that was written, absolute path.
inline std::function<void(const QString &path)> sendIgnorePoint;

// Wrappers that apply the defaults above.
inline void Warn(const QString &text)
{
    if (warn)
        warn(text);
}
inline bool Ask(const QString &text) { return ask ? ask(text) : true; }
inline bool CheckPassword() { return checkPassword ? checkPassword() : true; }

}  // namespace VisionHooks
