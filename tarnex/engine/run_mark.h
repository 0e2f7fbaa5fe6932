// The mark of a run that is changing the system, kept in the package key
// from before the engine's first change to after the run's last one. A run
// cut off (killed, a crash, the power gone) leaves it behind, and the next
// run completes the interrupted work from it before anything else.
//
// Values of the package key (KeyRoot, KeyPath), beside "PathInst", "Name"
// and "Access":
//   "RunInProgress"  REG_SZ        the mode of the run ("AS_INST" ... "AS_SD")
//   "RunFolder"      REG_SZ        its install folder, with the backslash
//   "RunSelected"    REG_MULTI_SZ  EngName "\" Version of each chosen user component
//   "RunInstalled"   REG_MULTI_SZ  the same of each user component installed at its start
//   "RunAccess"      REG_DWORD     the Access version chosen
//   "RunStep"        REG_DWORD     the last of the fifteen steps it finished
//   "RunPrevious"    REG_MULTI_SZ  an upgrade's installed version: its folder,
//                                  program name, version text and installed
//                                  components (engine/installed_version.h)
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "description/setup_description.h"

namespace tarnex {

struct RunMark {
    DWORD Mode = 0;
    std::wstring Folder;
    std::vector<std::wstring> Selected;   // EngName "\" Version
    std::vector<std::wstring> Installed;  // EngName "\" Version
    DWORD Access = 0;
    DWORD LastStep = 0;
    std::vector<std::wstring> Previous;  // empty unless the run upgrades an installed version
};

// Written before the engine's first change: the mode, the folder and the
// component choice of this run. False when the package key cannot be written.
bool WriteRunMark(const SetupDescription& description, DWORD mode);
// An upgrade's installed version, written before the rest of the mark.
void WriteUpgradeMark(const SetupDescription& description, const std::vector<std::wstring>& previous);
// The step is done; a later run knows how far this one came.
void MarkStepDone(const SetupDescription& description, int step);
// The run's last change is made: the mark goes, and the package key with it
// when nothing else is left in it (a first installation that ended before
// writing its records).
void RemoveRunMark(const SetupDescription& description);
// True when the package key holds a mark whose mode is one of the five of a
// run that changes the system. Values of a mark without its mode (a run cut
// while it took its mark away) are deleted.
bool ReadRunMark(const SetupDescription& description, RunMark& mark);

// Everything of the package key but the mark: a removal deletes the
// package's records there while its own copy is still to go.
void ClearPackageKeyButMark(const SetupDescription& description);

// EngName "\" Version, the identity of a component in the installed record.
std::wstring ComponentIdentity(const ComponentRecord& component);

}  // namespace tarnex
