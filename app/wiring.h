// The one place that lists how the screens are wired to the layers below: the operator port, and
// every hook the station needs today or offers as an optional extension point.
#pragma once

#include <QStringList>

class MoJuWizard;
struct CycleEnvironment;

namespace StationWiring {

// Installs the screens' operator port; once, before the main window (start-up refuses without it).
void InstallOperatorPort();

// The cycle's network reports (and the run-state report riding on its screen hooks), filled last
// into the environment before the cycle is made; nothing is installed without a network service.
void FillNetworkHooks(CycleEnvironment &env, const MoJuWizard &window);
// The other senders: operation record, parameter saves, templates, regions, failed images, and
// the run state; after the main window is up.
void InstallNetwork(MoJuWizard &window);

// The hooks the running station needs that nobody installed; empty when the wiring is complete.
QStringList MissingHooks(const MoJuWizard &window);

// Optional extension points not installed yet (statistics, cycle records, network reports): the
// features that fill them are still to come. For the log at start-up.
QStringList OpenExtensionPoints(const MoJuWizard &window);

}  // namespace StationWiring
