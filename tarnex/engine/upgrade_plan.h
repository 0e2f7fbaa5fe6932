// What an installation over an installed version takes away: everything
// that version has and the package being installed does not. Components no
// longer in the catalogue go whole; of a component that stays, the files,
// registry entries, shortcuts, variables and self-registrations that the
// new version no longer lists. What the new version installs again is left
// alone (a file both carry is replaced as any file is).
//
// Steps 4 to 8 carry the plan out beside their own work, with the removal's
// rules: unregistration, deletion now or at the next start, key removal,
// shortcut and variable removal, each with a log line.
#pragma once

#include <string>
#include <vector>

#include "description/setup_description.h"
#include "engine/installed_version.h"

namespace tarnex {

struct UpgradePlan {
    std::vector<FileRecord> Unregister;      // step 4: libraries, servers, services no longer registered
    std::vector<FileRecord> Files;           // step 5
    std::vector<FileRecord> InstallerFiles;  // step 15: its installer's own, after the programs of step 14
    std::vector<std::wstring> InfCopies;     // step 5: its user INF copies this package has not
    std::vector<RegistryEntry> Keys;         // step 6: the whole key, as a removal deletes it
    std::vector<RegistryEntry> Values;       // step 6: the value alone; the new version writes in its key
    std::vector<std::wstring> Records;       // step 6: record keys under the package key's root
    std::wstring UninstallEntry;             // step 6: the entry of its other Name, when the name changed
    std::vector<LinkEntry> Links;            // step 7
    std::vector<EnvVarEntry> Variables;      // step 8
    std::vector<std::wstring> Components;    // LocNames of its components that go whole (shown and logged)
    // The removal programs of those components, run as their removal runs
    // them: step 2 and step 14 (the removal sections' EXEBefore, EXEAfter).
    std::vector<LaunchEntry> ProgramsBefore, ProgramsAfter;
    std::wstring ProgramFolder;              // where its programs from the package are: its install folder

    bool Empty() const {
        return Unregister.empty() && Files.empty() && InstallerFiles.empty() && InfCopies.empty() && Keys.empty() && Values.empty() &&
               Records.empty() && UninstallEntry.empty() && Links.empty() && Variables.empty() &&
               ProgramsBefore.empty() && ProgramsAfter.empty();
    }
};

// next: the package being installed, its paths substituted (step 1) and its
// choice made. What next's installed components have (maintenance: the
// same EngName and Version) the ordinary steps 4 to 8 take away; the plan
// holds what the installed version has besides.
UpgradePlan PlanUpgrade(const SetupDescription& next, const InstalledVersion& installed);

// The same before step 1 (the summary page): on a copy of next whose paths
// are substituted.
UpgradePlan PlanUpgradeOfChoice(const SetupDescription& next, const InstalledVersion& installed);

// Everything of installed, for a removal of the package removal that takes
// away a cut upgrade; the INF copies the removal deletes at its end itself
// are left to it.
UpgradePlan PlanRemovalOf(const InstalledVersion& installed, const SetupDescription& removal);

// The plan's part of steps 4 to 8.
void UnregisterDropped(const UpgradePlan& plan);
void DeleteDroppedFiles(const UpgradePlan& plan);
void DeleteDroppedInstallerFiles(const UpgradePlan& plan);
void DeleteDroppedRegistry(const UpgradePlan& plan, const SetupDescription& next);
void DeleteDroppedShortcuts(const UpgradePlan& plan);
void DeleteDroppedVariables(const UpgradePlan& plan);

}  // namespace tarnex
