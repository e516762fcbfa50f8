// Automatic region: one defect polygon proposed around where the product and mould references differ.
#pragma once

class CameraVision;
class WizardPara;

// MoJuWizard::AutogenerationRegion for the current camera view: compares template 0 of detection 0
// ("Prod") with template 0 of detection 1 ("Mold"), and when they differ in an area large enough
// to survive the clean-up, makes region 0 of detection d a selected defect polygon around it with
// a sensitivity of a fifth of the mean difference, and the global filter size and alarm area of
// `para`. Only for a detection without regions; nothing is written to the database. True when a
// region was generated.
bool AutogenerationRegion(CameraVision &view, int d, const WizardPara &para);
