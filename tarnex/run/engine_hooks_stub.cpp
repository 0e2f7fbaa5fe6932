// ENGINE HOOK STUB: the install engine fills RunRemovalContinuationSteps
// with its steps; until then the continuation of a removal goes straight on
// to deleting the package key and the installer's own copy.
#include "run/engine_hooks.h"

namespace tarnex {

void RunRemovalContinuationSteps() {}

}  // namespace tarnex
