// Quiet runs cut off as the task manager ends them: the installer of a
// package is ended (TerminateProcess) right after the log line of each step
// in turn, and at random moments inside the unpacking and the renaming, of an
// installation and of a removal; the same command run again leaves exactly
// what a run that was never cut leaves.
#include <windows.h>
#include <tlhelp32.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "engine_test_support.h"
#include "pack_tool.h"
#include "system_state.h"
#include "vrel/text_convert.h"
#include "vrel/unique_handle.h"

namespace enginetest {
namespace {

const std::wstring kInstallCommand = L"\"" + std::wstring(kPackage) + L"Tarnex.exe\" /quiet /acceptos \"/dir=" +
                                     std::wstring(kInstall) + L"\" /log=" + kRunLog;
constexpr int kInstallSteps[] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15};
constexpr int kRemovalSteps[] = {1, 2, 4, 5, 6, 7, 8, 14, 15};  // the others do not apply to a removal
constexpr int kBulkFiles = 300;

void DumpKey(HKEY root, const std::wstring& path, const std::wstring& shown, State& state) {
    vrel::unique_hkey key;
    if (::RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, key.put()) != ERROR_SUCCESS) return;
    state[L"key " + shown] = "";
    for (DWORD i = 0;; ++i) {
        wchar_t name[256];
        DWORD length = 256, type = 0, size = 0;
        if (::RegEnumValueW(key.get(), i, name, &length, nullptr, &type, nullptr, &size) != ERROR_SUCCESS) break;
        std::string data(size, '\0');
        length = 256;
        ::RegEnumValueW(key.get(), i, name, &length, nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &size);
        state[L"value " + shown + L"\\" + name] = std::to_string(type) + ":" + data;
    }
    for (DWORD i = 0;; ++i) {
        wchar_t name[256];
        DWORD length = 256;
        if (::RegEnumKeyExW(key.get(), i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        DumpKey(root, path + L"\\" + name, shown + L"\\" + name, state);
    }
}

}  // namespace

State SystemState() {
    State state;
    for (const std::wstring& file : FilesBelow(kInstall)) state[L"file " + file] = ReadBytes(Install(file.c_str()));
    const std::wstring links = ProgramsFolder() + L"VrelEngineTest\\";
    for (const std::wstring& link : FilesBelow(links))
        state[L"link " + link] = Narrow(ShortcutTarget(links + link) + L" " + ShortcutArguments(links + link));
    DumpKey(HKEY_LOCAL_MACHINE, kTestKey, L"HKLM\\" + std::wstring(kTestKey), state);
    DumpKey(HKEY_CURRENT_USER, kTestKey, L"HKCU\\" + std::wstring(kTestKey), state);
    DumpKey(HKEY_LOCAL_MACHINE, kUninstallKey, L"uninstall entry", state);
    state[L"variable"] = Narrow(Text(HKEY_CURRENT_USER, L"Environment", L"VREL_ENGINE_HOME"));
    state[L"variable path"] = Narrow(Text(HKEY_CURRENT_USER, L"Environment", L"VREL_ENGINE_PATH"));
    state[L"busvault"] = Narrow(BusvaultServerPath());
    return state;
}

std::string Difference(const State& expected, const State& actual) {
    for (const auto& [name, value] : expected) {
        const auto found = actual.find(name);
        if (found == actual.end()) return "missing: " + Narrow(name);
        if (found->second != value) return "differs: " + Narrow(name);
    }
    for (const auto& entry : actual)
        if (expected.find(entry.first) == expected.end()) return "left over: " + Narrow(entry.first);
    return "";
}

bool IsStepLine(const std::string& log, int step) {
    return log.find("Step " + std::to_string(step) + " - successful") != std::string::npos;
}

namespace {

int LastStepLine(const std::string& log) {
    int last = 0;
    for (int step = 1; step <= 15; ++step)
        if (IsStepLine(log, step)) last = step;
    return last;
}

// A program that the installer was starting when it was ended is left by
// Wine half made, hanging for good with the program's file in use (Windows
// would run it). The package's programs among its children are given a few
// seconds to end by themselves; those that do not are ended, and named.
// Wine's own programs that it started (the desktop's explorer.exe, when it
// was the first to need one) stay. The ended process's handle, still open,
// keeps its id from being given to another.
std::string EndHungChildren(DWORD parentId) {
    wchar_t windows[MAX_PATH] = L"";
    ::GetWindowsDirectoryW(windows, MAX_PATH);
    const std::wstring windowsFolder = std::wstring(windows) + L"\\";
    std::vector<std::pair<vrel::unique_handle, std::wstring>> children;
    {
        const vrel::unique_hfile snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));  // invalid: INVALID_HANDLE_VALUE
        PROCESSENTRY32W entry{};
        entry.dwSize = sizeof entry;
        for (BOOL more = snapshot && ::Process32FirstW(snapshot.get(), &entry); more;
             more = ::Process32NextW(snapshot.get(), &entry)) {
            if (entry.th32ParentProcessID != parentId) continue;
            vrel::unique_handle child(
                ::OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, entry.th32ProcessID));
            if (!child) continue;
            wchar_t image[MAX_PATH] = L"";
            DWORD length = MAX_PATH;
            if (::QueryFullProcessImageNameW(child.get(), 0, image, &length) && length >= windowsFolder.size() &&
                ::CompareStringOrdinal(image, static_cast<int>(windowsFolder.size()), windowsFolder.c_str(),
                                       static_cast<int>(windowsFolder.size()), TRUE) == CSTR_EQUAL)
                continue;
            children.emplace_back(std::move(child), entry.szExeFile);
        }
    }
    std::string hung;
    for (const auto& [child, name] : children) {
        if (::WaitForSingleObject(child.get(), 5000) == WAIT_OBJECT_0) continue;
        ::TerminateProcess(child.get(), 1);
        ::WaitForSingleObject(child.get(), 5000);
        hung += (hung.empty() ? "" : ", ") + Narrow(name);
    }
    return hung;
}

}  // namespace

Cut RunAndCut(const std::wstring& command, const std::function<bool(const std::string&)>& reached, DWORD delayMs) {
    Cut result;
    ::DeleteFileW(kRunLog.c_str());
    const std::wstring output = NewOutputFile();
    const vrel::unique_handle program = StartTool(command, L"", output);
    if (!program) {
        ADD_FAILURE() << "cannot start " << Narrow(command) << ": error " << ::GetLastError();
        ::DeleteFileW(output.c_str());
        return result;
    }
    std::string log;
    vrel::unique_hfile file;
    const ULONGLONG deadline = ::GetTickCount64() + 120000;
    while (::WaitForSingleObject(program.get(), 0) == WAIT_TIMEOUT && ::GetTickCount64() < deadline) {
        if (!file)
            file.reset(::CreateFileW(kRunLog.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                     nullptr, OPEN_EXISTING, 0, nullptr));
        char buffer[65536];
        DWORD read = 0;
        if (file && ::ReadFile(file.get(), buffer, sizeof buffer, &read, nullptr) && read > 0) {
            log.append(buffer, read);
            if (reached(log)) {
                const ULONGLONG seen = ::GetTickCount64();
                if (delayMs) ::Sleep(delayMs);
                result.cut = ::TerminateProcess(program.get(), 1) != FALSE;
                result.waitedMs = static_cast<DWORD>(::GetTickCount64() - seen);
                break;
            }
            continue;
        }
        ::Sleep(1);
    }
    ::WaitForSingleObject(program.get(), 30000);
    if (result.cut) result.hungChildren = EndHungChildren(::GetProcessId(program.get()));
    file.reset();
    ::DeleteFileW(output.c_str());
    const std::string whole = ReadBytes(kRunLog);
    result.lastStep = LastStepLine(whole);
    return result;
}

namespace {

DWORD RunToEnd(const std::wstring& command) { return RunTool(command).exitCode; }

// A temporary copy anywhere below the install folder.
bool TemporaryCopiesLeft() {
    for (const std::wstring& file : FilesBelow(kInstall)) {
        const std::size_t name = file.rfind(L'\\');
        if (file.compare(name == std::wstring::npos ? 0 : name + 1, 5, L"vrel_") == 0) return true;
    }
    return false;
}

// The cut came after the installation's last change (its log line may not
// have been written): no mark, the uninstall entry in place.
bool InstallationComplete() {
    return Text(HKEY_LOCAL_MACHINE, kPackageKey, L"RunInProgress") == L"<none>" && KeyExists(HKEY_LOCAL_MACHINE, kUninstallKey);
}

class CutRuns : public EngineCycle {
protected:
    void SetUp() override {
        EngineCycle::SetUp();
        WriteSources();
        Source(L"big.bin", "not so big\r\n");
        for (int i = 0; i < kBulkFiles; ++i)
            Source(L"bulk\\file" + std::to_wstring(i) + L".txt", "bulk file " + std::to_string(i) + "\r\n");
        const PackRun packed = Pack(std::wstring(kPackageSection) + kComponents + L"\n[Component Bulk]\nFolder = bulk | Bulk\n");
        ASSERT_EQ(0u, packed.exitCode) << Narrow(packed.output);
    }

    // The install command run to its end, and what it left.
    // A cut after the last step leaves the installation complete: the same
    // command then finds it installed, as after any finished installation.
    void InstallToEnd(bool complete = false) {
        const DWORD code = RunToEnd(kInstallCommand);
        if (complete) EXPECT_TRUE(code == 0 || code == 1638) << code;
        else ASSERT_EQ(0u, code);
        ASSERT_EQ("", Difference(installed_, SystemState()));
    }
    // The removal command run to its end (and the copy's batch), nothing left.
    void RemoveToEnd() {
        ASSERT_EQ(0u, RunToEnd(removal_));
        ExpectRemoved();
    }
    void ExpectRemoved() {
        EXPECT_TRUE(InstallFolderGoes());
        for (int i = 0; i < 50 && KeyExists(HKEY_LOCAL_MACHINE, kPackageKey); ++i) ::Sleep(100);
        ExpectNothingLeft();
        EXPECT_EQ("", Difference(nothing_, SystemState()));
    }

    State installed_, nothing_;
    std::wstring removal_;
};

// One walk: a run that was never cut gives the states to compare with, then
// every cut point of an installation and of a removal in turn.
TEST_F(CutRuns, ARunCutAtAnyStepIsCompletedByTheSameCommandRunAgain) {
    // The uncut installation, timing step 3 and step 9 for the random cuts.
    ULONGLONG stepSeen[16] = {};
    const Cut whole = RunAndCut(kInstallCommand, [&](const std::string& log) {
        for (int step = 1; step <= 15; ++step)
            if (stepSeen[step] == 0 && IsStepLine(log, step)) stepSeen[step] = ::GetTickCount64();
        return false;
    });
    ASSERT_FALSE(whole.cut);
    ASSERT_EQ(15, whole.lastStep);
    installed_ = SystemState();
    ASSERT_NE(installed_.end(), installed_.find(L"file Bulk\\file299.txt"));
    for (const auto& entry : installed_) EXPECT_EQ(std::wstring::npos, entry.first.find(L"RunInProgress"));
    removal_ = Text(HKEY_LOCAL_MACHINE, kUninstallKey, L"QuietUninstallString") + L" /log=" + kRunLog;
    const DWORD step3Ms = static_cast<DWORD>(stepSeen[3] - stepSeen[2]);
    const DWORD step9Ms = static_cast<DWORD>(stepSeen[9] - stepSeen[8]);
    // The uncut removal: what it leaves is what every removal is to leave.
    ASSERT_EQ(0u, RunToEnd(removal_));
    EXPECT_TRUE(InstallFolderGoes());
    ExpectNothingLeft();
    nothing_ = SystemState();
    std::printf("[ TIMES    ] uncut install of %d files: step 3 %lu ms, step 9 %lu ms\n", kBulkFiles + 12,
                static_cast<unsigned long>(step3Ms), static_cast<unsigned long>(step9Ms));

    // A cut lands where it is meant to when the test ended the run before the
    // next step's line. Some steps take less than a millisecond, so a cut
    // after the step before them often lands after them too. Where a check
    // needs the cut where it was meant, a cut that went further is completed
    // like any other and tried again.
    constexpr int kTries = 4;
    const auto landed = [](const Cut& cut, int after) { return cut.cut && cut.lastStep == after; };
    int tried = 0, exact = 0;
    auto report = [&](const char* what, int after, const Cut& cut) {
        ++tried;
        if (landed(cut, after)) ++exact;
        std::printf("[ CUT      ] %s after step %d: ended %s, last step line %d, %lu ms after the line%s\n", what, after,
                    cut.cut ? "by the test" : "by itself", cut.lastStep, static_cast<unsigned long>(cut.waitedMs),
                    cut.hungChildren.empty() ? "" : (", left hanging by Wine and ended: " + cut.hungChildren).c_str());
    };
    for (const int step : kInstallSteps) {
        SCOPED_TRACE("installation cut after step " + std::to_string(step));
        const auto cutAfterStep = [&, step] {
            const Cut cut = RunAndCut(kInstallCommand, [step](const std::string& log) { return IsStepLine(log, step); });
            report("installation", step, cut);
            return cut;
        };
        Cut cut = cutAfterStep();
        if (step == 10) {
            for (int attempt = 1; !landed(cut, step) && attempt < kTries; ++attempt) {
                InstallToEnd(InstallationComplete());
                RemoveToEnd();
                cut = cutAfterStep();
            }
            ASSERT_TRUE(landed(cut, step)) << "no cut landed between steps 10 and 11";
            // The installed copy has no package files to complete it with:
            // it says so and changes nothing.
            const State before = SystemState();
            EXPECT_EQ(1603u, RunToEnd(L"\"" + Install(L"Setup.exe") + L"\" /quiet /acceptos /log=" + kRunLog));
            EXPECT_NE(std::string::npos, ReadBytes(kRunLog).find("cannot be completed by the installed copy"));
            EXPECT_EQ("", Difference(before, SystemState()));
        }
        // As if cut inside step 15 after the mark's mode went: the rest of
        // the mark is no mark, and the same command deletes it.
        if (step == 15) ::RegSetKeyValueW(HKEY_LOCAL_MACHINE, kPackageKey, L"RunStep", REG_DWORD, &step, sizeof step);
        InstallToEnd(InstallationComplete());
        EXPECT_FALSE(TemporaryCopiesLeft());
        if (std::find(std::begin(kRemovalSteps), std::end(kRemovalSteps), step) == std::end(kRemovalSteps)) {
            RemoveToEnd();
            continue;
        }
        SCOPED_TRACE("removal cut after step " + std::to_string(step));
        const Cut removalCut = RunAndCut(removal_, [step](const std::string& log) { return IsStepLine(log, step); });
        report("removal", step, removalCut);
        ASSERT_TRUE(removalCut.cut) << "the removal ended before the test could end it";
        EXPECT_TRUE(Exists(Install(L"Setup.exe"))) << "the copy is there to be run again";
        if (step == 6) {
            // The install command from the package instead: the removal is
            // carried to its end from there, and the exit code says that
            // nothing was installed.
            EXPECT_EQ(1603u, RunToEnd(kInstallCommand));
            EXPECT_NE(std::string::npos, ReadBytes(kRunLog).find("the interrupted removal was completed and nothing was installed"));
            ExpectRemoved();
            continue;
        }
        RemoveToEnd();
    }

    // Cuts at random moments inside the unpacking and the renaming.
    std::mt19937 random(20261209);
    // One that misses the step is tried again sooner.
    for (const auto& [after, span] : {std::pair<int, DWORD>{2, step3Ms}, {2, step3Ms}, {8, step9Ms}, {8, step9Ms}}) {
        Cut cut;
        for (DWORD delay = std::uniform_int_distribution<DWORD>(1, std::max<DWORD>(span, 2) - 1)(random), attempt = 1;;
             delay = delay / 2 + 1, ++attempt) {
            SCOPED_TRACE("installation cut " + std::to_string(delay) + " ms into step " + std::to_string(after + 1));
            cut = RunAndCut(kInstallCommand, [after](const std::string& log) { return IsStepLine(log, after); }, delay);
            report(after == 2 ? "installation, inside step 3," : "installation, inside step 9,", after, cut);
            if (landed(cut, after) || attempt == kTries) break;
            InstallToEnd(InstallationComplete());
            RemoveToEnd();
        }
        ASSERT_TRUE(landed(cut, after)) << "no cut landed inside step " << after + 1;
        EXPECT_TRUE(TemporaryCopiesLeft());
        InstallToEnd(InstallationComplete());
        EXPECT_FALSE(TemporaryCopiesLeft());
        RemoveToEnd();
    }
    // An installation cut inside its unpacking, then taken away instead:
    // "/u" from the package removes what it put in place, its temporary
    // copies too. The unpacking takes a few hundred milliseconds, and a
    // busy machine can make the cut miss it: then it is tried again,
    // sooner (what a miss left is removed by "/u" just the same).
    bool cutInsideStep3 = false;
    for (DWORD delay = std::max<DWORD>(step3Ms / 2, 1), tries = 0; !cutInsideStep3 && tries < 4; delay = delay / 2 + 1, ++tries) {
        SCOPED_TRACE("installation cut " + std::to_string(delay) + " ms into step 3, then removed with /u from the package");
        const Cut cut = RunAndCut(kInstallCommand, [](const std::string& log) { return IsStepLine(log, 2); }, delay);
        report("installation, inside step 3, then /u,", 2, cut);
        cutInsideStep3 = cut.cut && cut.lastStep == 2 && TemporaryCopiesLeft();
        EXPECT_EQ(0u, RunToEnd(L"\"" + std::wstring(kPackage) + L"Tarnex.exe\" /u /quiet /acceptos /log=" + kRunLog));
        ExpectRemoved();
        if (cutInsideStep3) {
            EXPECT_NE(std::string::npos, ReadBytes(kRunLog).find("Removing what the interrupted installation put in place"));
        }
    }
    EXPECT_TRUE(cutInsideStep3) << "no cut landed inside the unpacking";
    std::printf("[ CUT      ] %d cuts, %d of them between the line waited for and the next step's; every one completed\n",
                tried, exact);
}

}  // namespace
}  // namespace enginetest
