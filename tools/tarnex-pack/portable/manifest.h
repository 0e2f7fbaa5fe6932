// The package manifest: the INI-style text a package author writes, read
// into plain data. Every value keeps the line it came from, so later checks
// can name it. Portable: no Windows call.
//
// What the reader refuses here is what can be judged from the text alone:
// unknown sections and keys, malformed values, and values that the
// installer's description reader would cut or misread (too long for their
// field, a comma where the reader splits, a name that leaves its folder).
// Cross-references and files are the planner's (package_plan.h).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "portable/os_version_rules.h"

namespace pack {

inline constexpr std::size_t kPageCount = 9;
inline constexpr std::size_t kOsCount = tarnex::kOsTokenCount;

// The oldest system the shipped installer starts on: Windows Vista (a check
// of the built binaries' imports and headers keeps this true). A package
// accepts it and every later system unless its manifest says otherwise.
inline constexpr int kOldestStartingSystem = tarnex::kOsVista;

// OSVersions when the manifest gives none: 1 from the oldest starting system
// on (token i is the code i + 2), 0 before it.
constexpr std::array<std::int32_t, kOsCount> StartingSystems() {
    std::array<std::int32_t, kOsCount> tokens{};
    for (std::size_t i = 0; i < kOsCount; ++i) tokens[i] = static_cast<int>(i) + 2 >= kOldestStartingSystem ? 1 : 0;
    return tokens;
}

struct Diagnostic {
    int line = 0;  // 0: not tied to a line
    std::wstring message;
};

// A value and the manifest line it came from (line 0: not given).
struct Located {
    std::wstring text;
    int line = 0;
    bool given() const { return line != 0; }
};

// File or Folder: what to take and where it goes below the install folder
// ("%11%\..." for the system folder).
struct TakeLine {
    bool folder = false;
    std::wstring source;
    std::wstring target;         // relative folder (Folder, File ending in "\") or path (File)
    bool targetIsFolder = true;  // File with a target naming the file itself: false
    std::int32_t kind = 0;       // the description's FileFlags: 0, 1, 2, 3 or 4
    bool sign = false;           // "sign" beside the kind: Authenticode-signed with --sign
    int line = 0;
};

struct RegLine {
    std::int32_t root = 0;  // 1 HKCR, 2 HKCU, 3 HKLM, 4 HKU
    std::wstring subKey, valueName;
    std::int32_t type = 0;  // 0 text, 2 double word
    std::wstring data;
    int line = 0;
};

struct EnvLine {
    std::wstring name;
    bool system = false;
    bool replace = true;
    std::wstring value;
    int line = 0;
};

struct ShortcutLine {
    std::wstring folder, name, target, workingFolder, arguments;
    int line = 0;
};

struct RunLine {
    std::wstring commandLine;
    std::wstring fileName;  // the program's file name as it occurs in the command line
    bool fromPackage = false, wait = false, exitCode = false, show = false;
    std::wstring message;
    int line = 0;
};

// What both the installer (component 0) and the user components may carry.
struct Entries {
    std::vector<RegLine> registry;
    std::vector<EnvLine> env;
    std::vector<ShortcutLine> shortcuts;
};

struct ComponentSpec {
    std::wstring engName;
    int line = 0;  // of its section header
    Located locName, properties, version, installPath, number, state, complex;
    std::int32_t localNumber = 0;  // 0: not given, the planner assigns one
    std::int32_t stateValue = 2;   // State, ticked by default
    std::vector<Located> parents;  // EngNames; none: top level
    std::vector<TakeLine> takes;
    Entries entries;
    std::vector<RunLine> runBefore, runAfter, removeBefore, removeAfter;
};

struct PackageSpec {
    int line = 0;  // of the [Package] header
    Located name, nameGen, nameUnInst, displayVersion, publisher, dir, key, installer, setNameUI, backName;
    Located access, supportMode, backWindow, osVersions, osServicePacks, files, codePage;
    Located licenseFile, backPicture;
    Located urlInfoAbout, helpLink, comments, contact, icon;  // for Windows' list of programs
    Located pagePictures[kPageCount];
    std::int32_t keyRoot = 0;
    std::wstring keyPath;
    std::array<std::int32_t, kOsCount> osVersionValues = StartingSystems();
    std::array<std::int32_t, kOsCount> osServicePackValues{};
    std::uint32_t codePageValue = 0;  // 0: UTF-16 INF files
    Entries entries;  // component 0's registry values, variables and shortcuts
    // TimestampServer lines: RFC 3161 servers for --sign, asked in turn.
    std::vector<Located> timestampServers;
};

struct Manifest {
    PackageSpec package;
    std::vector<ComponentSpec> components;
};

// Reads a manifest (UTF-8 with or without a byte-order mark, or UTF-16LE
// with one). False when anything is wrong; diagnostics then say what, by line.
bool ReadManifest(std::string_view bytes, Manifest& manifest, std::vector<Diagnostic>& diagnostics);

// Values of the package with their defaults applied (NameGen and NameUnInst
// fall back to Name, SetNameUI to Installer, ...).
std::wstring NameGenOf(const PackageSpec& p);
std::wstring NameUnInstOf(const PackageSpec& p);
std::wstring InstallerOf(const PackageSpec& p);
std::wstring SetNameUIOf(const PackageSpec& p);
std::wstring BackNameOf(const PackageSpec& p);
std::wstring InstallFolderOf(const PackageSpec& p);  // Dir with its trailing backslash
bool YesNoOf(const Located& value, bool fallback);
std::wstring LocNameOf(const ComponentSpec& c);
std::wstring VersionOf(const ComponentSpec& c);
std::wstring InstallPathOf(const ComponentSpec& c);

// Field rules shared with the planner. Each returns "" when the text is
// acceptable, else what is wrong with it.
std::wstring CheckFileName(std::wstring_view name);      // a plain file name
std::wstring CheckRelativePath(std::wstring_view path);  // names joined by "\", staying below its folder
bool SameName(std::wstring_view a, std::wstring_view b);  // Windows' case rule for names (ASCII and Cyrillic)
std::wstring FoldName(std::wstring_view name);            // the form SameName compares

}  // namespace pack
