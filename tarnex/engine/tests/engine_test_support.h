// What the engine's cycle tests share: the test package written into the
// prefix, loading it as the program run does, a recording progress view,
// running the engine on its worker, and looks at the system afterwards.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "description/setup_description.h"
#include "engine/install_engine.h"
#include "engine/progress_view.h"
#include "run/program_run.h"
#include "services/message_box.h"
#include "tests/support/message_recorder.h"
#include "tests/support/test_files.h"

namespace enginetest {

using tarnex::PageButton;

inline constexpr wchar_t kRoot[] = L"C:\\VrelEngineTest\\";
inline constexpr wchar_t kPackage[] = L"C:\\VrelEngineTest\\Package\\";
inline constexpr wchar_t kInstall[] = L"C:\\VrelEngineTest\\Install\\";
inline constexpr wchar_t kMarkers[] = L"C:\\VrelEngineTest\\Markers\\";
inline constexpr wchar_t kPackageKey[] = L"Software\\VrelEngineTest\\Package";
inline constexpr wchar_t kTestKey[] = L"Software\\VrelEngineTest";
inline constexpr wchar_t kUninstallKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Тест движка Vrel";
inline constexpr wchar_t kSystemEnvKey[] = L"SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment";

// Files and folders.
using testfiles::TestProgramFolder;
using testfiles::WriteBytes;
using testfiles::ReadBytes;
using testfiles::Exists;
using testfiles::RestoreNormalPriority;
using testfiles::WaitUntilGone;
using testfiles::RemoveTree;
// Every file below folder, as paths relative to it.
std::vector<std::wstring> FilesBelow(const std::wstring& folder);
// True when the file's creation and last-write times are 2021-03-04
// 05:06:08 local time, the time of every file in the test cabinets.
bool HasCabinetTime(const std::wstring& path);

// Registry.
bool KeyExists(HKEY root, const std::wstring& path);
// REG_SZ only; bytes receives the stored byte count.
bool ReadText(HKEY root, const std::wstring& path, const wchar_t* name, std::wstring& text, DWORD* bytes = nullptr);
std::wstring Text(HKEY root, const std::wstring& path, const wchar_t* name);  // "<none>" when absent
bool ReadDword(HKEY root, const std::wstring& path, const wchar_t* name, DWORD& value);
std::vector<std::wstring> PendingOperations();  // PendingFileRenameOperations, one entry per string

// Shell and COM.
std::wstring ProgramsFolder();                              // CSIDL_PROGRAMS, with a backslash
std::wstring ShortcutTarget(const std::wstring& linkPath);  // "" when it cannot be loaded
bool BusvaultCreatable();                                   // by ProgID "Vrel.BusvaultStore"
std::wstring BusvaultServerPath();                          // its InprocServer32, "" when unregistered

// The log from a point on.
std::size_t LogSize();
std::wstring LogSince(std::size_t offset);
// True when the lines occur in log in this order (a failure names the
// first line missing).
bool ContainsInOrder(const std::wstring& log, const std::vector<std::wstring>& lines);

// The standard package: description "Tarnex.inf" with component 0 (the
// installer's copy Setup.exe, a registry value and a shortcut), user1.inf
// with Core (cabinet files, a REG file, Busvault.dll, an INF and REG entry,
// variables, a shortcut, programs before and after) and user2.inf with
// Viewer (a cabinet file and a loose file) and Extra.
struct PackageVariant {
    bool missingLooseFile = false;  // readme.txt not in the package folder
    bool truncatedCabinet = false;  // user2.cab cut in its middle
};
void WriteStandardPackage(const PackageVariant& variant = {});
// Replaces the first occurrence of from by to in a file of the package.
void EditPackageFile(const wchar_t* name, const std::string& from, const std::string& to);
// Ten components of 100 files each, one INF file and one cabinet per component.
void WriteLargePackage();

// Removes everything any test package may have left (files, keys,
// variables, shortcuts, Busvault's registration, queued operations).
void CleanSlate();

// Loads the package in the folder kPackage as the program run does in that
// mode (removal modes read the uninstall sections), finds what is
// installed and the recorded install folder. Flags of the run are reset.
::testing::AssertionResult LoadPackage(DWORD mode, bool continueAfterRestart = false);
tarnex::ComponentRecord* Component(const wchar_t* engName);
// The component page's choice: these user components, and component 0
// when any of them has a file.
void Select(std::initializer_list<const wchar_t*> engNames);
// The summary page's choice for repair and removal: Selected = Installed.
void SelectInstalled();

// The progress page of the tests: records what the engine shows.
class RecordingView : public tarnex::ProgressView {
public:
    HWND Owner() override { return owner; }
    HWND FileProgressTarget() override { return nullptr; }
    void SetOverallText(const std::wstring& text) override;
    void SetCurrentText(const std::wstring& text) override;
    void SetCurrentRange(int count) override;
    void AdvanceCurrent() override;
    void SetOverallRange(int count) override;
    void AdvanceOverall() override;
    void EnableButton(PageButton button, bool enabled) override;
    void SetDefaultButton(PageButton button, bool isDefault) override;
    void FocusButton(PageButton button) override;
    void SetButtonText(PageButton button, const std::wstring& text) override;
    void ShowFinalText(const std::wstring& text) override;

    // The page window; without one the replace dialog is never asked.
    HWND owner = nullptr;
    // Called on the worker whenever a button is enabled or disabled, and
    // whenever the overall text ("Шаг k из 15...") changes.
    std::function<void(PageButton, bool)> onEnable;
    std::function<void(const std::wstring&)> onOverallText;

    std::vector<std::wstring> CurrentTexts() const;
    std::vector<std::wstring> OverallTexts() const;
    std::wstring FinalText() const;
    int OverallPosition() const;
    int OverallRange() const;
    bool BarOverrun() const;  // the current bar was advanced beyond its range
    bool Enabled(PageButton button) const;
    bool IsDefault(PageButton button) const;
    std::wstring ButtonText(PageButton button) const;
    // Every call came from a thread other than the creator's, except the
    // buttons' set-up as the page shows, before any other thread called.
    bool CalledFromOtherThread() const;

private:
    void Touch(bool pageSetUp = false);  // pageSetUp: a call on the buttons
    mutable std::mutex lock_;
    DWORD creator_ = ::GetCurrentThreadId();
    bool foreign_ = true, otherSeen_ = false;
    std::vector<std::wstring> current_, overall_;
    std::wstring final_;
    int currentRange_ = 0, currentPos_ = 0, overallRange_ = 0, overallPos_ = 0;
    bool overrun_ = false;
    std::map<PageButton, bool> enabled_, default_;
    std::map<PageButton, std::wstring> text_;
};

// Runs the engine on its worker as the progress page starts it; during (on
// this thread, like the page's cancel request) runs while the worker works.
tarnex::EngineOutcome RunEngine(RecordingView& view, const std::function<void(tarnex::InstallEngine&)>& during = {});

// A window to own the engine's dialogs (message-only: nothing is shown;
// the answerers of the message and replace seams reply instead).
class OwnerWindow {
public:
    OwnerWindow();
    ~OwnerWindow();
    OwnerWindow(const OwnerWindow&) = delete;
    OwnerWindow& operator=(const OwnerWindow&) = delete;
    HWND get() const { return window_; }

private:
    HWND window_;
};

// A second process that holds path open (delete, rename and write refused).
class FileHolder {
public:
    explicit FileHolder(const std::wstring& path);
    ~FileHolder();
    FileHolder(const FileHolder&) = delete;
    FileHolder& operator=(const FileHolder&) = delete;
    bool Holding() const { return holding_; }
    void Release();

private:
    PROCESS_INFORMATION process_{};
    std::wstring marker_;
    bool holding_ = false;
};

// Lets Wine do what it does at a restart: the queued file operations and the
// RunOnce entries, run to their end one after another, then with "-u" (a
// logon) the Run entries, started without waiting; "-r" (Wine's restart)
// leaves Run alone. True when wineboot ran.
bool PerformRestartOperations(const wchar_t* how = L"-u");

// What the standard package leaves on the system, component by component
// (files with the cabinet times, records, registry entries, variables,
// shortcuts), checked present or absent.
void ExpectInstaller(bool present);
void ExpectCore(bool present);
void ExpectViewer(bool present);
void ExpectExtra(bool present);
// Nothing of the package is left: files, folders, keys, variables,
// shortcuts, Busvault's registration.
void ExpectNothingLeft();
// The removal of everything installed, as the summary page chooses it, run
// by the engine to its end and finished by the program's own FinishRun; then
// nothing of the package is left.
void RemoveEverything();
// The fifteen step lines in order, with the mode line first.
std::vector<std::wstring> StepLines(const wchar_t* modeName, std::initializer_list<int> steps);

// Fixture of every cycle: a clean system before and after, COM for the
// checks, message boxes answered by the test.
class EngineCycle : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    testfiles::MessageRecorder messages_;  // OK, and No to a question, unless the test says otherwise
    std::size_t logStart_ = 0;
    std::wstring Log() const { return LogSince(logStart_); }
};

}  // namespace enginetest
