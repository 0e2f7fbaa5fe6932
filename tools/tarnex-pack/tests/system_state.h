// What the quiet runs of a package leave on the system, to compare runs
// with each other, and a run ended at a moment of its log.
#pragma once

#include <windows.h>

#include <functional>
#include <map>
#include <string>

#include "engine_test_support.h"

namespace enginetest {

// Everything of the package on the system: files with their bytes, the
// shortcuts, its keys, the variables, Busvault's registration.
using State = std::map<std::wstring, std::string>;
State SystemState();
// The first difference between two states, "" when they are the same.
std::string Difference(const State& expected, const State& actual);

bool IsStepLine(const std::string& log, int step);

// The log the commands of RunAndCut write (their /log=).
inline const std::wstring kRunLog = std::wstring(kRoot) + L"cut-run.log";

struct Cut {
    bool cut = false;   // ended by the test before it ended by itself
    int lastStep = 0;   // the last step line in the log when it was ended
    DWORD waitedMs = 0;  // from the line waited for to the end
    std::string hungChildren;  // the programs it was starting that Wine left hanging
};
// Starts the command with its log, follows the log and ends the process
// once `reached` holds for it, delayMs later.
Cut RunAndCut(const std::wstring& command, const std::function<bool(const std::string&)>& reached, DWORD delayMs = 0);

}  // namespace enginetest
