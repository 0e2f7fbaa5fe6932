// What the program run needs from the install engine outside the wizard.
#pragma once

namespace tarnex {

// The continuation of a removal after a restart, without any window: the
// engine's step 1 (path substitution), the deletion of the INF file copies
// in the install folder, step 6 (registry deletion) and step 14 (programs
// after), in this order.
void RunRemovalContinuationSteps();

}  // namespace tarnex
