// One component of the package: component 0 is the installer itself
// ("InstallProgram"), the others come from the user INF files.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "portable/section_records.h"

namespace tarnex {

inline constexpr std::size_t kEngNameField = 260;
inline constexpr std::size_t kLocNameField = 255;
inline constexpr std::size_t kPropertiesField = 500;
inline constexpr std::size_t kCompVersionField = 30;
inline constexpr std::size_t kInstallPathField = 260;

// A reference to a FileRecord: its index in SetupDescription::FileList.
// Indices stay valid while the list grows (records are only appended).
using FileRef = std::size_t;

// Dependency value that matches no component (an unknown local number).
inline constexpr std::int32_t kNoDependency = -1;

struct ComponentRecord {
    std::int32_t Number = -1;   // unique; 0 is InstallProgram; "GenNum"
    std::int32_t Complex = 0;   // COMPLEXES is exactly "Yes"
    wchar_t EngName[kEngNameField] = {};
    wchar_t LocName[kLocNameField] = {};
    wchar_t Properties[kPropertiesField] = {};
    wchar_t Version[kCompVersionField] = {};
    wchar_t InstallPath[kInstallPathField] = {};  // may hold "%65600%"
    std::vector<std::int32_t> Dependencies;      // Numbers; 0 top level; -1 none
    std::vector<FileRef> Files;                  // into FileList, no index twice
    std::vector<EnvVarEntry> EnvVars;
    std::vector<LinkEntry> Links;
    std::vector<RegistryEntry> RegistryEntries;
    std::vector<LaunchEntry> Launches;
    std::vector<DllEntry> Dlls;
    std::int32_t Installed = 0;  // the installed record was found
    std::int32_t Selected = 0;   // takes part in the steps (removal modes: is removed)
    std::uint8_t State = 0;      // tree presentation state 0..5 (STATES)
};

}  // namespace tarnex
