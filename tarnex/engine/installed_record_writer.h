// The write side of the installed-component record: a component's key under
// the package key, its registry entries, and the installer's own record with
// the uninstall entry in Windows' list of installed programs.
#pragma once

#include <string>

#include "description/setup_description.h"

namespace tarnex {

inline constexpr wchar_t kUninstallKeyPrefix[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";

// PathInst, Name, Properties, Complex ("Yes"/"No"), GenNum in the component's
// key (package prefix + EngName + "\" + Version). Failures are not reported.
void WriteInstalledRecord(const SetupDescription& description, const ComponentRecord& component);

// The component's key with every version below it.
void DeleteInstalledRecord(const SetupDescription& description, const ComponentRecord& component);

// ValueType 0: Data as REG_SZ; 2: Data's decimal integer as REG_DWORD;
// anything else writes nothing and succeeds. 0 when the write fails.
int WriteRegistryEntry(const RegistryEntry& entry);

// Deletes the entry's whole SubKey; 1 when it was deleted.
int DeleteRegistryEntry(const RegistryEntry& entry);

// The uninstall entry's key: the prefix followed by the description's Name.
std::wstring UninstallKeyOf(const SetupDescription& description);

// Step 15 in the installing modes: "Access", component 0's registry entries,
// "PathInst" and "Name" of the package key, DisplayName and UninstallString,
// then what the list of programs shows besides: DisplayVersion, Publisher,
// URLInfoAbout, HelpLink, Comments and Contact (when the description has
// them), InstallLocation, QuietUninstallString (the removal command with
// "/quiet /acceptos"), DisplayIcon, InstallDate, InstallSource (the package
// folder; a run of the installed copy keeps the one it finds),
// EstimatedSize, NoModify and NoRepair.
void WriteInstallerRecord(const SetupDescription& description);

// Step 15 in the removal modes: component 0's registry entries, shortcuts and
// variables, the package key (unless a restart is pending) and the uninstall
// entry. With keepRunMark the package key keeps the run's mark, which the
// program run takes away once the installer's own copy is on its way.
void DeleteInstallerRecord(const SetupDescription& description, bool keepRunMark = false);

}  // namespace tarnex
