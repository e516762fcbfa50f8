#include "core/guard.h"

#include "core/operatorport.h"

namespace Guard {

namespace {
Policy *gPolicy = nullptr;
}

bool NeedsAdvanced(Action action)
{
    switch (action) {
    case Action::ClearRecord:
    case Action::IoPage:
    case Action::AdvancedPage:
    case Action::NetworkPage:
        return true;
    default:
        return false;
    }
}

void Install(Policy *policy) { gPolicy = policy; }
Policy *Installed() { return gPolicy; }

bool Require(Action action)
{
    if (gPolicy)
        return gPolicy->require(action);
    return Operator::Password(NeedsAdvanced(action) ? OperatorPort::Advanced : OperatorPort::Primary);
}

}  // namespace Guard
