// Which of the engine's fifteen steps runs, what it shows and what it logs.
// Plain rules over plain data: no Windows call, built natively as well.
#pragma once

#include <cstdint>
#include <optional>

#include "resources/string_ids.h"

namespace tarnex {

inline constexpr int kStepCount = 15;

// What the step table looks at when a step's turn comes.
struct StepConditions {
    std::uint32_t mode = 0;             // AS_INST ... AS_SD
    bool continueAfterRestart = false;  // "/r": steps 3 to 12 were done before the restart
    bool restartNeeded = false;         // as set by the steps so far
};

// AS_INST, AS_REP and AS_AD install; every other mode only removes.
bool IsInstallMode(std::uint32_t mode);
bool IsRemovalMode(std::uint32_t mode);

// True when step (1..15) runs; a step that does not run is passed over with
// its counter and overall bar advanced.
bool StepRuns(int step, const StepConditions& conditions);

// True for the steps whose failure ends the worker (2 and 3). Any other
// step moves the counter and the overall bar on whatever it reported: a
// program of step 14 that reports a fault cuts only step 14 short.
bool FailureEndsRun(int step);

// The text shown in the current text when the step starts; none outside
// 1 ... 15.
std::optional<TextId> StepTextId(int step);

// The step's log line, exactly as the log holds it (CR LF included).
const wchar_t* StepLogLine(int step);

}  // namespace tarnex
