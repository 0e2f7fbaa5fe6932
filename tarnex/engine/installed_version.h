// The installed version of a package, read before an installation over it
// changes anything: the description and user INF files that its removal
// would read (the copies in its install folder), with the components its
// records under the package key name. An upgrade takes away what this
// version has and the package being installed has not (engine/upgrade_plan.h).
//
// A run that changes the system keeps a copy of these INF files in the
// folder "vrel_previous" of the installed version's folder until its last
// change is made: its own step 5 and step 9 replace the originals, and a run
// that completes it after a cut reads the installed version from the copy.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "description/setup_description.h"
#include "services/app_context.h"

namespace tarnex {

inline constexpr wchar_t kUnknownVersion[] = L"unknown";

struct InstalledVersion {
    bool Found = false;
    std::wstring Folder;          // its install folder, with the backslash
    std::wstring ProgramName;     // base name of its description file (and its installer's copy)
    std::wstring DisplayVersion;  // the uninstall entry's; "unknown" when it has none
    std::wstring ReadFrom;        // the folder its INF files were read from: Folder or the kept copy
    std::vector<std::wstring> InfCopies;  // its user INF files' copies in Folder
    // Its removal sections, paths in Folder; Installed set on the
    // components whose records were found.
    SetupDescription Description;
};

// The installed version this run replaces; Found stays false when there is
// none (a first installation, or a package whose folder holds no readable
// description).
InstalledVersion& PreviousVersion();

// Reads the version installed under the package key of current, from the
// folder that the key's "PathInst" names, with the install sections of
// `sections`: the removal's for an upgrade (what that version's removal
// would take away), the installation's for maintenance (compared with the
// lists the run's own steps use). False (and version.Found false) when
// there is none or it cannot be read.
bool ReadInstalledVersion(const SetupDescription& current, InstalledVersion& version,
                          std::uint32_t sections = AS_DEL);

// True when the package current, run from programFolder, is another
// version than the one installed under its key, although some of its
// components are installed at the same version: its DisplayVersion differs
// from the uninstall entry's, or a record under the package key names a
// component or version its catalogue does not have. Never for the
// installed copy itself (run from the recorded install folder).
bool IsAnotherVersion(const SetupDescription& current, const std::wstring& programFolder);

// What ReadInstalledVersion found, as a run's mark keeps it: the folder, the
// program name, the version text, then EngName "\" Version of every
// installed component.
std::vector<std::wstring> DescribeInstalledVersion(const InstalledVersion& version);
// The same read again by a run that completes a cut one: from the kept copy,
// with the components the described list names as installed.
bool ReadKeptVersion(const SetupDescription& current, const std::vector<std::wstring>& described,
                     InstalledVersion& version, std::uint32_t sections = AS_DEL);

// Copies the INF files into the kept folder. False when a copy fails.
bool KeepInstalledVersion(const InstalledVersion& version);
// The run's last change is made: the kept copy goes, and the installed
// version's folder too when it is empty and not the new install folder.
void DiscardKeptVersion(const InstalledVersion& version, const std::wstring& installFolder);

}  // namespace tarnex
