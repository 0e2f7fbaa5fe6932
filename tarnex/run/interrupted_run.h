// A run that finds the mark of an interrupted one (engine/run_mark.h) takes
// over its work before anything else: an installation or maintenance is
// carried out again with the same choice and folder, a removal is carried
// to its end; "/u" removes what an interrupted installation put in place.
#pragma once

#include "engine/run_mark.h"

namespace tarnex {

enum class TakeOver {
    Completing,      // the run mode and the choice are the interrupted run's; go on
    RemovalEnded,    // only the end of a removal was left, and it is done now
    CannotComplete,  // said so (kInterruptedNoPackageHere, kInterruptedCannotComplete); the run ends
};

// After the catalogue was loaded (catalogueRead false when it could not be):
// sets the run mode, the install folder, the Access version and each
// component's Installed and Selected from the mark, says so to a person
// (one of the kInterrupted... texts) and logs it. Its records do not count: the choice is
// the mark's alone.
TakeOver TakeOverInterruptedRun(const RunMark& mark, bool catalogueRead);

}  // namespace tarnex
