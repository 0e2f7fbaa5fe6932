// What the tarnex-pack tests share: the sources and the manifest an author
// writes, the tool and the package's installer run as programs, and the
// test package of the pack cases.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "engine_test_support.h"
#include "vrel/unique_handle.h"

namespace enginetest {

inline const std::wstring kSource = std::wstring(kRoot) + L"Source\\";
inline const std::wstring kManifest = kSource + L"package.ini";

std::string Narrow(const std::wstring& text);  // UTF-8

// Sources carry the time of the engine tests' cabinets.
void StampCabinetTime(const std::wstring& path);
void Source(const std::wstring& relative, const std::string& bytes);
// Zeros with a marker at both ends.
void LargeSource(const std::wstring& relative, LONGLONG size);
bool SameContents(const std::wstring& a, const std::wstring& b);
std::wstring ShortcutArguments(const std::wstring& linkPath);  // "<none>" when it cannot be loaded

struct PackRun {
    DWORD exitCode = 0xFFFFFFFF;
    std::wstring output;  // standard output and error
};

// A new file of its own in the temporary folder for a program's output:
// a child that Wine leaves hanging keeps the output it inherited open long
// after the program has gone, so no two programs share a file, none lies
// beside the package, and every one is opened for any sharing.
std::wstring NewOutputFile();
// Starts a program with its standard output and error into the file
// output, in folder when given, else in this program's current folder.
// Empty when it cannot start.
vrel::unique_handle StartTool(const std::wstring& command, const std::wstring& folder, const std::wstring& output);
// Runs a program of the build folder to its end, its output into a file.
PackRun RunTool(const std::wstring& command, const std::wstring& folder = L"");
PackRun RunPack(const std::wstring& arguments);
// Writes the manifest and packs it into kPackage.
PackRun Pack(const std::wstring& manifestText, const std::wstring& options = L"");
// Nothing beside the package folder but what the test put there.
std::vector<std::wstring> LeftBesideThePackage();

// The [Package] section (12 lines) and the components of the pack cases.
extern const wchar_t kPackageSection[];
extern const wchar_t kComponents[];
void WriteSources();
// The installer run as a program logs into the Windows folder, where the
// case reads it; the sources of the pack cases, with a small big.bin.
void LogInTheWindowsFolderWithSmallSources();
std::wstring Install(const wchar_t* relative);

// The package's installer run as an administrator runs it.
DWORD Quiet(const std::wstring& arguments);
// The installed copy deletes itself through a batch file after it ended.
bool InstallFolderGoes();

}  // namespace enginetest
