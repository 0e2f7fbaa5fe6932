#include "run/startup_checks.h"

#include <string>
#include <string_view>

#include "description/component_catalogue.h"
#include "engine/installed_record.h"
#include "engine/installed_version.h"
#include "engine/run_mark.h"
#include "services/message_box.h"
#include "services/registry_access.h"
#include "services/setup_log.h"
#include "sysops/launch_runner.h"
#include "vrel/bounded_copy.h"
#include "vrel/module_exports.h"
#include "vrel/same_text.h"

namespace tarnex {

namespace {


constexpr int kRootLocalMachine = 3;

// "PathInst" of the package key: it becomes PreviousInstallFolder, and when
// it names the folder this copy runs from, the run is the removal tool.
void ReadRecordedInstallFolder(AppContext& app, SetupDescription& description) {
    std::wstring recorded;
    if (!ReadPackagePathInst(description, recorded)) return;
    if (recorded == app.ProgramFolder) app.Mode = AS_DEL;
    vrel::CopyToField(description.PreviousInstallFolder, std::wstring_view(recorded));
}

}  // namespace

bool RunsFromInstalledCopy(const SetupDescription& description) {
    const AppContext& app = App();
    std::wstring recorded;
    RunMark mark;
    return app.ContinueAfterRestart ||
           (ReadPackagePathInst(description, recorded) && vrel::SameTextIgnoringCase(recorded, app.ProgramFolder)) ||
           (ReadRunMark(description, mark) && vrel::SameTextIgnoringCase(mark.Folder, app.ProgramFolder));
}

// RtlGetVersion tells the truth: GetVersionExW answers what the program's
// manifest declares it knows (6.2 on 8.1 and later without one).
ReportedVersion QuerySystemVersion() {
    using RtlGetVersionFn = LONG(WINAPI*)(OSVERSIONINFOEXW*);
    OSVERSIONINFOEXW info{};
    info.dwOSVersionInfoSize = sizeof info;
    const HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");  // in every process from its start
    RtlGetVersionFn rtlGetVersion = nullptr;
    const bool known = ntdll != nullptr && vrel::BindAll(ntdll, "RtlGetVersion", rtlGetVersion) &&
                       rtlGetVersion(&info) == 0;
    ReportedVersion version;
    if (!known && !::GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&info))) return version;
    version.Platform = info.dwPlatformId;
    version.Major = info.dwMajorVersion;
    version.Minor = info.dwMinorVersion;
    version.Build = info.dwBuildNumber;
    version.Server = info.wProductType != 0 && info.wProductType != VER_NT_WORKSTATION;
    version.ServicePack.assign(info.szCSDVersion, ::wcsnlen(info.szCSDVersion, 128));
    return version;
}

int CheckOsVersion() {
    const ReportedVersion version = QuerySystemVersion();
    const int accepted = CheckOsVersion(App(), Description(), version);
    WriteLog(L"Operating system: " + SystemName(version) +
             (accepted ? L", accepted by the package\r\n" : L", not among the package's systems\r\n"));
    return accepted;
}

int CheckOsVersion(AppContext& app, const SetupDescription& description, const ReportedVersion& version) {
    const int code = OsVersionCode(version);
    if (IsNt5Family(code)) app.Nt5Family = 1;
    return AcceptsOsVersion(code, description.OSVersions, description.OSServicePacks, version.ServicePack);
}

int CheckRequiredKeys() { return CheckRequiredKeys(App(), Description()); }

int CheckRequiredKeys(const AppContext& app, const SetupDescription& description) {
    if (app.Mode == AS_DEL) return 1;
    for (const RequiredKey& key : description.RequiredKeys) {
        if (IsPresent(key)) continue;
        if (Ask(nullptr, Question::kRequiredAppMissing, key.AppName) != IDYES) return 0;
    }
    return 1;
}

int DecideMode() { return DecideMode(App(), Description()); }

int DecideMode(AppContext& app, SetupDescription& description) {
    DetectInstalledComponents(description);
    const bool installOnEntry = app.Mode == AS_INST;
    const bool continuing = app.ContinueAfterRestart != 0;
    // Another version of the package that keeps some components as they
    // were is its upgrade, not its maintenance: those components count as
    // not installed, and the upgrade leaves them in place.
    if (installOnEntry && !continuing && description.InstalledCount != 0 &&
        IsAnotherVersion(description, app.ProgramFolder)) {
        WriteLog(L"Another version of the package is installed; this run upgrades it\r\n");
        for (ComponentRecord& component : description.ComponentList) component.Installed = 0;
        description.InstalledCount = 0;
    }
    const bool installed = description.InstalledCount != 0;

    if (installOnEntry) {
        if (installed) {
            if (description.SupportMode) {
                app.Mode = AS_SUP;
                ReadRecordedInstallFolder(app, description);
            } else {
                app.Mode = AS_DEL;
            }
        }
    } else {
        ReadRecordedInstallFolder(app, description);
        if (!installed) {
            Ask(nullptr, Question::kNothingInstalled);
            return 0;
        }
    }

    // After a restart the selection of the interrupted run is what is
    // installed now; an installation stays an installation.
    if (continuing) {
        for (ComponentRecord& component : description.ComponentList)
            component.Selected = component.Number == 0 ? 1 : component.Installed;
        if (installOnEntry) app.Mode = AS_INST;
    }
    return 1;
}

int RunInstallChecks() { return RunInstallChecks(Description()); }

int RunInstallChecks(SetupDescription& description) {
    if (description.ComponentList.empty()) return 1;
    for (LaunchEntry& entry : description.ComponentList.front().Launches) {
        if (entry.Before != 1) continue;
        if (RunLaunchEntry(entry) != kLaunchStopInstall) continue;
        if (entry.Message[0])
            AskInWords(nullptr, Question::kInstallCheckFailed, entry.Message);
        else
            Ask(nullptr, Question::kInstallCheckFailed, entry.FileName);
        return 0;
    }
    return 1;
}

void DetectAccess() { DetectAccess(Description()); }

void DetectAccess(SetupDescription& description) {
    if (RegKeyExists(kRootLocalMachine, L"SOFTWARE\\Microsoft\\Office\\8.0\\Access")) description.AccessVersion = 1;
    if (RegKeyExists(kRootLocalMachine, L"SOFTWARE\\Microsoft\\Office\\9.0\\Access"))
        description.AccessVersion = description.AccessVersion == 1 ? 3 : 2;
    std::wstring recorded;
    if (description.InstalledCount != 0 && ReadPackageAccess(description, recorded)) {
        if (recorded == L"97") description.AccessVersion = 1;
        if (recorded == L"2000") description.AccessVersion = 2;
    }
}

}  // namespace tarnex
