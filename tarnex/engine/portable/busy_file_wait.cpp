#include "engine/portable/busy_file_wait.h"

#include <algorithm>

namespace tarnex {

unsigned NextBusyPause(unsigned attempt, unsigned fileWaitedMs, unsigned runWaitedMs) {
    if (fileWaitedMs >= kBusyFileBoundMs || runWaitedMs >= kBusyRunBoundMs) return 0;
    const unsigned doubled = attempt >= 5 ? kBusyLongestPauseMs : kBusyFirstPauseMs << attempt;
    unsigned pause = std::min(doubled, kBusyLongestPauseMs);
    pause = std::min(pause, kBusyFileBoundMs - fileWaitedMs);
    return std::min(pause, kBusyRunBoundMs - runWaitedMs);
}

bool IsBusyError(unsigned long error) {
    constexpr unsigned long kAccessDenied = 5, kSharingViolation = 32, kLockViolation = 33;
    return error == kSharingViolation || error == kLockViolation || error == kAccessDenied;
}

}  // namespace tarnex
