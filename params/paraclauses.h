// The settings of the system parameter screen: their labels, ranges and units, the change clauses
// of the operation record, and what accepting an edit does to the stage tables.
#pragma once

#include <QString>
#include <vector>

class WizardPara;

namespace ParaClauses {

enum class Kind {
    Number,          // ", %1 is changed from %2 to %3"
    Switch,          // ", %1 is changed to active/deactive"
    SwitchReversed,  // the same, 0 is "active" (position correction stores 0 or -1)
    CameraNumber,    // one clause per camera whose value changed; `word` is camera 1's word
    StageDelay,      // the per-stage delay clause, named after the stage
    StageRecheck,    // the automatic re-check clause, named after the stage
    Silent,          // shown and saved, but no clause of its own
};

// One setting of the screen, in the order its clause appears in the record.
struct Field
{
    int labelRow;      // text-table row of the label
    int word;          // word of the record (camera 1's word for CameraNumber)
    Kind kind;
    int min = 0, max = 0;
    int divisor = 1;   // 10: stored in 0.1 s, shown in seconds
    int clauseRow = 0; // CameraNumber / StageDelay / StageRecheck: the clause's row
    int stage = 0;     // StageDelay / StageRecheck: 0 "Prod", 1 "Mold"
    int page = 0;      // 0 common, 1 camera, 3 IO, 4 advanced
};

// Every setting of the screen; the first ones produce clauses, in the order of the record.
const std::vector<Field> &Fields();
// The word of camera `camera` (0-7) for a CameraNumber field.
int CameraWord(const Field &field, int camera);

// A row in the current language; the first column when this language has no text of its own.
QString Text(int row);

// "Modify the system parameters" followed by one clause per changed value, in table order, and
// ", the password has been modified" for a changed password (never the password itself).
QString ChangeText(const WizardPara &live, const WizardPara &edited);

// True when both records hold the same 480 words.
bool SameRecord(const WizardPara &a, const WizardPara &b);

// Makes the edit copy ready to become the live record: the mode in force (word 164) and the
// stage tables derived from it stay as they are; the mode chosen (word 165) and the custom
// stage layout are saved and take effect at the next start. In the modes 0-3 the stage tables
// follow the product-stage and semi-automatic switches at once.
void PrepareAccept(const WizardPara &live, WizardPara &edited);

}  // namespace ParaClauses
