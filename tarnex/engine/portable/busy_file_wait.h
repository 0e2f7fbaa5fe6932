// How long a delete or rename waits for a file that is busy for a moment
// before it is left to the next start of Windows. Right after an installer
// writes a file, an antivirus scanner or a search indexer often holds it
// for a few hundred milliseconds; a restart for that would be a needless
// one. The pauses grow, under a bound per file and one for the whole run, so
// a run whose files are truly held costs seconds, not minutes.
#pragma once

namespace tarnex {

inline constexpr unsigned kBusyFirstPauseMs = 20;
inline constexpr unsigned kBusyLongestPauseMs = 400;
inline constexpr unsigned kBusyFileBoundMs = 2000;
inline constexpr unsigned kBusyRunBoundMs = 8000;

// The pause before attempt number `attempt` + 1 (0 after the first), given
// what this file and the whole run have waited so far; 0 when either bound
// is reached: the operation is then left to the next start.
unsigned NextBusyPause(unsigned attempt, unsigned fileWaitedMs, unsigned runWaitedMs);

// Sharing, lock and access-denied errors: what another process holding the
// file gives. (An access denied that a read-only attribute explains is no
// lock; the caller knows the attributes.)
bool IsBusyError(unsigned long error);

}  // namespace tarnex
