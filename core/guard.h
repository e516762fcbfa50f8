// The guarded operator actions and the one call that guards them: Guard::Require(action).
#pragma once

namespace Guard {

// Every action the login levels protect. Screens still to come call Require with their action.
enum class Action {
    StartStopDetection,  // stop detection (stop password switch, word 136); a start asks nothing
    DontDetect,          // "Don't detect" a mould (protection switch, word 133)
    AddTemplate,         // add the current image as a template (protection switch, word 134)
    IgnoreAlarmPoint,    // ignore an alarm point (protection switch, word 135)
    Resample,            // resample the templates
    RegionSettings,      // open the region settings
    ImageSource,         // change the image source
    SystemParameters,    // open the system parameters
    ClearRecord,         // clear today's operation record (advanced level)
    IoPage,              // the IO page of the system parameters (advanced level)
    AdvancedPage,        // the advanced page of the system parameters (advanced level)
    NetworkPage,         // the network page of the system parameters (advanced level)
};

// True for the actions that need the advanced level (the service code).
bool NeedsAdvanced(Action action);

// The station's login levels implement it; the main window installs them once.
class Policy
{
public:
    virtual ~Policy() = default;
    // Asks for whatever password the action needs now; true when the operator may go on.
    virtual bool require(Action action) = 0;
};

// Borrowed: the policy must outlive its installation (Install(nullptr) takes it back).
void Install(Policy *policy);
Policy *Installed();

// True when the operator may go on with `action`, after any password it needs. Without an
// installed policy (parts tested on their own) the operator port is asked for the action's level,
// so nothing is ever granted by itself.
bool Require(Action action);

}  // namespace Guard
