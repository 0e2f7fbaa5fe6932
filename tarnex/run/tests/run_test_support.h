// Test packages and registry fixtures for the program-run tests: folders in
// the Wine prefix's temp folder, description files and user INF files, and
// installed-component records.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "tests/support/message_recorder.h"
#include "tests/support/test_files.h"

namespace tarnex::testing {

using testfiles::Exists;
using testfiles::WaitUntilGone;
using testfiles::MakeScratchFolder;
using testfiles::MessageRecorder;
using testfiles::ReadBytes;
using testfiles::RemoveTree;
using testfiles::TestProgramFolder;
using testfiles::TestProgramPath;
using testfiles::WriteBytes;

// A package's user component as the catalogue lists it.
struct TestComponent {
    std::string EngName;
    std::string Version = "1.0";
};

// The keys of a description file; the defaults describe a valid package.
struct TestPackage {
    std::string SupportMode = "No";
    std::string BackWindow = "No";
    std::string Name = "Test Product";
    std::string NameGen = "Test Product";
    std::string NameUnInst = "Test Product Setup";
    std::string SetNameUI = "Tarnex.exe";
    std::string Dir = "C:\\TestProduct\\";
    std::string KeyPath = "Software\\VrelTests\\Product";  // under HKEY_CURRENT_USER (root 2)
    std::string OSVersions = "1,1,1,1,1,1,1,1,1,1,1,1,1,1";  // 95 to 11
    std::string OSServicePacks = "0,0,0,0,0,0,0";
    std::vector<TestComponent> Components{{"Core"}};
    std::string ExtraOptions;   // lines appended to OPTIONS as written
    std::string ExtraSections;  // sections appended to the description as written
    bool OmitWindows = false;  // leaves out the required WINDOWS section
};

// Writes <folder><programName>.inf and, with components, "user.inf".
void WritePackage(const std::wstring& folder, const std::wstring& programName, const TestPackage& package);

// The installed record of a component (value "Name" under
// KeyPath\EngName\Version of HKEY_CURRENT_USER), and the package's own
// values "PathInst" and "Access".
void WriteInstalledRecord(const std::string& keyPath, const TestComponent& component);
void WritePackageValue(const std::string& keyPath, const std::wstring& name, const std::wstring& value);
void DeletePackageKey(const std::string& keyPath);

std::wstring Widen(const std::string& text);

// The whole setup log as text (UTF-16LE without a byte-order mark).
inline std::wstring ReadLog(const std::wstring& logPath) { return testfiles::ReadUtf16(logPath); }

}  // namespace tarnex::testing
