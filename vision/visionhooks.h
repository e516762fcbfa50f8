// Calls from the vision folder up to the network service, installed at start-up.
#pragma once

#include <QString>

#include <functional>

// The vision folder must not include the network service. Its reports go through these optional
// functions, installed in app/'s wiring; empty ones send nothing. (Questions and warnings for the
// operator go through the operator port of core/.)
namespace VisionHooks {

// Network service (each installed function itself checks that the link is enabled and connected).
// The region parameters of one detection after they were saved (CNT_Net::CNT_SendROIParam).
inline std::function<void(int camera, int detection)> sendROIParam;
// A template file that was written (CNT_Net::CNT_SendTempPic), absolute path.
inline std::function<void(const QString &path)> sendTempPic;
// A template file that was removed (CNT_Net::CNT_SendDelTempPic), camera and detection from 1.
inline std::function<void(int camera, int detection, const QString &name)> sendDelTempPic;
// An ignore-point file that was written, absolute path.
inline std::function<void(const QString &path)> sendIgnorePoint;

}  // namespace VisionHooks
