// The one place that lists how the screens are wired to the layers below: the operator port, and
// every hook the station needs today or offers as an optional extension point.
#pragma once

#include <QStringList>

class LoginLevels;
class MoJuWizard;
struct CycleEnvironment;

namespace StationWiring {

// Installs the screens' operator port; once, before the main window (start-up refuses without it).
void InstallOperatorPort();

// Makes `levels` the station's guard and the level the screens' password box sets; nullptr takes
// them back.
void InstallLoginLevels(LoginLevels *levels);

// Installs the GigE address repair of the camera probe (CameraHooks::repairAllCameraIP,
// ensureDeviceReach, autoSetCameraIP); once, before the main window. It only touches the camera
// interfaces (MOULD_GIGE_INTERFACES, or in a panel build those without the default route).
void InstallCameraAddressRepair();

// The cycle's network reports (and the run-state report riding on its screen hooks), filled last
// into the environment before the cycle is made; nothing is installed without a network service.
void FillNetworkHooks(CycleEnvironment &env, const MoJuWizard &window);
// The other senders: operation record, parameter saves, templates, regions, failed images, and
// the run state; after the main window is up.
void InstallNetwork(MoJuWizard &window);

// The hooks the running station needs that nobody installed; empty when the wiring is complete.
QStringList MissingHooks(const MoJuWizard &window);

// The records of the station: the result statistics (only when they are on at start-up) and the
// cycle records, owned by `window`; and the cycle's hooks that count into them.
void CreateRecords(MoJuWizard &window);
void InstallRecordHooks(CycleEnvironment &env);

// Optional extension points not installed yet (statistics, cycle records, network reports): the
// features that fill them are still to come. For the log at start-up.
QStringList OpenExtensionPoints(const MoJuWizard &window);

}  // namespace StationWiring
