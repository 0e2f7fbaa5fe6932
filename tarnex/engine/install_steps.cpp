// The fifteen steps of the install engine, one function each. Every step
// starts with its texts and a current-bar range; RunStep logs its line.
#include <windows.h>

#include <vector>

#include "description/package_paths.h"
#include "description/package_seal_check.h"
#include "engine/delayed_file_ops.h"
#include "engine/install_engine.h"
#include "engine/installed_record_writer.h"
#include "engine/path_substitution.h"
#include "engine/portable/step_table.h"
#include "portable/text_pieces.h"
#include "services/app_context.h"
#include "services/folder_paths.h"
#include "services/message_box.h"
#include "services/setup_log.h"
#include "sysops/env_vars.h"
#include "sysops/launch_runner.h"
#include "sysops/reg_file_import.h"
#include "sysops/self_registration.h"
#include "sysops/shortcuts.h"
#include "vrel/bounded_copy.h"

namespace tarnex {
namespace {


int Count(std::size_t n) { return static_cast<int>(n); }
int UserCount(const SetupDescription& d) { return d.ComponentList.empty() ? 0 : Count(d.ComponentList.size() - 1); }
bool IsUser(const ComponentRecord& c) { return c.Number != 0; }

bool RemovingPackage() { return App().Mode == AS_DEL || App().Mode == AS_SD; }

}  // namespace

// Step 1: "%65600%" becomes the install folder (without its backslash).
bool InstallEngine::SubstitutePaths() {
    StepText(1);
    SetupDescription& d = description_;
    view_.SetCurrentRange(Count(d.FileList.size() + d.ComponentList.size()));
    SubstituteInstallFolder(d, [this] { Advance(); });
    return true;
}

// One program of step 2 or 14: 1 ends the step with its message, 2 asks
// for a restart.
bool InstallEngine::RunProgram(LaunchEntry& entry, const std::wstring& packageFolder) {
    const DWORD result = RunLaunchEntry(entry, packageFolder);
    if (result == kLaunchNeedsRestart) {
        ::InterlockedExchange(&App().RestartNeeded, 1);
        ::InterlockedExchange(&App().RestartRequestedByProgram, 1);
    } else if (result == kLaunchStopInstall) {
        if (entry.Message[0] != L'\0')
            AskInWords(view_.Owner(), Question::kProgramFault, entry.Message);
        else
            Ask(view_.Owner(), Question::kProgramFault, entry.FileName);
        return false;
    }
    return true;
}

// The removal programs of the components the installed version has and
// this package has not, as their removal runs them; the old version's go
// before the new one's.
bool InstallEngine::LaunchDroppedPrograms(bool before) {
    const std::wstring& folder = plan_.ProgramFolder;
    for (LaunchEntry& entry : before ? plan_.ProgramsBefore : plan_.ProgramsAfter) {
        std::wstring command = entry.CommandLine;
        if (entry.FromPackage && command.compare(0, folder.size(), folder) != 0) command = folder + command;
        WriteLog(L"Upgrade, dropped by the new version: running the removal program " + command + L"\r\n");
        if (!RunProgram(entry, folder)) return false;
    }
    return true;
}

// Steps 2 and 14: the programs of the components taking part.
bool InstallEngine::LaunchPrograms(bool before) {
    StepText(before ? 2 : 14);
    SetupDescription& d = description_;
    view_.SetCurrentRange(Count(d.ComponentList.size()));
    if (!LaunchDroppedPrograms(before)) return false;
    bool cabinetsChecked = !before;
    for (ComponentRecord& c : d.ComponentList) {
        if (before && !IsUser(c)) continue;
        if (c.Selected || (c.Installed && RemovingPackage())) {
            for (LaunchEntry& entry : c.Launches) {
                if ((entry.Before != 0) != before) continue;
                // Step 3 checks the cabinets as it reads them, after this
                // program would have run: they are checked before it.
                std::wstring changed;
                if (!cabinetsChecked && !CheckCabinetsBeforeCopy(d, changed)) {
                    transfer_.NoteChangedFile(changed);
                    Ask(view_.Owner(), Question::kPackageChanged, changed.c_str());
                    return false;
                }
                cabinetsChecked = true;
                if (!RunProgram(entry, App().ProgramFolder)) return false;
            }
        }
        Advance();
    }
    return true;
}

bool InstallEngine::LaunchProgramsBefore() { return LaunchPrograms(true); }
bool InstallEngine::LaunchProgramsAfter() { return LaunchPrograms(false); }

// Step 3: every wanted file under its temporary "vrel_" name. The Cancel
// button is live only here; a cancel or a copy failure discards the copies.
bool InstallEngine::CopyFilesUnderTemporaryNames() {
    StepText(3);
    SetupDescription& d = description_;
    view_.SetCurrentRange(Count(d.FileList.size()));
    view_.EnableButton(PageButton::Cancel, true);
    view_.FocusButton(PageButton::Cancel);
    view_.SetDefaultButton(PageButton::Cancel, true);
    view_.SetDefaultButton(PageButton::Next, false);
    transfer_.SetWindows(view_.Owner(), view_.FileProgressTarget());

    if (!transfer_.CopyLooseFiles()) {
        transfer_.SetCancel();
    } else {
        for (std::size_t i = 1; i < d.InfFiles.size() && !transfer_.Cancelled(); ++i)
            transfer_.ExtractCabinet(d.InfFiles[i].CabinetPath);
    }
    if (std::optional<Failure> failure = transfer_.TakeFailure()) Tell(nullptr, *failure);
    EndPausePoints();  // a request that came with the last file is answered now

    if (!transfer_.Cancelled()) {
        view_.SetDefaultButton(PageButton::Cancel, false);
        view_.EnableButton(PageButton::Cancel, false);
        view_.SetDefaultButton(PageButton::Next, true);
        view_.FocusButton(PageButton::Next);
        return true;
    }
    DiscardTemporaryCopies();
    OfferFinishButton();
    return false;
}

void InstallEngine::DiscardTemporaryCopies() {
    SetupDescription& d = description_;
    DeleteTemporaryCopies(d);
    std::wstring folder = d.InstallFolder;
    RemoveEmptySubfolders(folder);
    if (!folder.empty() && folder.back() == L'\\') folder.pop_back();
    ::RemoveDirectoryW(folder.c_str());  // stays while it holds other files
}

// Step 4: servers and services first, then the libraries ("atl.dll" never).
bool InstallEngine::UnregisterInstalledFiles() {
    StepText(4);
    SetupDescription& d = description_;
    view_.SetCurrentRange(2 * UserCount(d));
    for (const ComponentRecord& c : d.ComponentList) {
        if (!IsUser(c)) continue;
        if (c.Installed)
            for (const FileRef ref : c.Files) {
                const FileRecord& file = d.FileOf(ref);
                if (!FileAccepted(file)) continue;
                if (file.FileFlags == kServiceExe) UnregisterExe(InstalledPathOf(file), ExeKind::Service);
                if (file.FileFlags == kComServerExe) UnregisterExe(InstalledPathOf(file), ExeKind::ComServer);
            }
        Advance();
    }
    for (const ComponentRecord& c : d.ComponentList) {
        if (!IsUser(c)) continue;
        if (c.Installed)
            for (const FileRef ref : c.Files) {
                const FileRecord& file = d.FileOf(ref);
                if (file.FileFlags == kSelfRegDll && !IsAtlDll(file.TargetName) && FileAccepted(file))
                    UnregisterDll(InstalledPathOf(file));
            }
        Advance();
    }
    UnregisterDropped(plan_);
    return true;
}

// Step 5: the files of the installed components, then the installer's own
// files and the INF copies as far as this run removes them.
bool InstallEngine::DeleteInstalledFiles() {
    StepText(5);
    SetupDescription& d = description_;
    view_.SetCurrentRange(UserCount(d));
    const DWORD mode = App().Mode;
    if (mode == AS_SD)
        for (ComponentRecord& c : d.ComponentList)
            if (!IsUser(c)) c.Installed = 1;
    for (const ComponentRecord& c : d.ComponentList) {
        if (!IsUser(c)) continue;
        if (c.Installed) DeleteComponentFiles(d, c);
        Advance();
    }
    DeleteDroppedFiles(plan_);
    // A removal deletes the INF copies at its end instead (the program
    // run's end): until then a run that completes it after a cut reads the
    // catalogue from them.
    if (App().RestartNeeded) {
        if (IsInstallMode(mode)) DeleteInfCopies(d);
    } else if (mode != AS_DEL) {
        for (const ComponentRecord& c : d.ComponentList)
            if (!IsUser(c)) DeleteComponentFiles(d, c);
        if (IsInstallMode(mode)) DeleteInfCopies(d);
    }
    return true;
}

// Step 6: each installed component's registry keys and its record.
bool InstallEngine::DeleteRegistryData() {
    StepText(6);
    SetupDescription& d = description_;
    view_.SetCurrentRange(UserCount(d));
    for (const ComponentRecord& c : d.ComponentList) {
        if (!IsUser(c)) continue;
        if (c.Installed) {
            for (const RegistryEntry& entry : c.RegistryEntries) DeleteRegistryEntry(entry);
            DeleteInstalledRecord(d, c);
        }
        Advance();
    }
    DeleteDroppedRegistry(plan_, d);
    return true;
}

bool InstallEngine::DeleteShortcuts() {
    StepText(7);
    SetupDescription& d = description_;
    view_.SetCurrentRange(UserCount(d));
    for (const ComponentRecord& c : d.ComponentList) {
        if (!IsUser(c)) continue;
        if (c.Installed)
            for (const LinkEntry& link : c.Links) ProcessLink(link, true);
        Advance();
    }
    DeleteDroppedShortcuts(plan_);
    return true;
}

bool InstallEngine::DeleteEnvironmentVariables() {
    StepText(8);
    SetupDescription& d = description_;
    view_.SetCurrentRange(UserCount(d));
    for (const ComponentRecord& c : d.ComponentList) {
        if (!IsUser(c)) continue;
        if (c.Installed)
            for (const EnvVarEntry& variable : c.EnvVars) DelEnvVars(variable);
        Advance();
    }
    DeleteDroppedVariables(plan_);
    return true;
}

// Step 9: the temporary copies renamed into place, now or at the restart.
bool InstallEngine::RenameIntoPlace() {
    StepText(9);
    SetupDescription& d = description_;
    view_.SetCurrentRange(Count(d.FileList.size()));
    ReplaceExtractedFiles(d, [this] { Advance(); });
    ReplaceInfCopies(d);
    return true;
}

// Step 10: the records and registry entries of the chosen components, then
// the REG files that step 3 unpacked.
bool InstallEngine::WriteRegistryData() {
    StepText(10);
    SetupDescription& d = description_;
    view_.SetCurrentRange(Count(d.FileList.size()) + UserCount(d));
    for (const ComponentRecord& c : d.ComponentList) {
        if (!IsUser(c)) continue;
        if (c.Selected) {
            WriteLog(std::wstring(L"Step 10 - cur INF for: ") + c.EngName + L"\r\n");
            WriteInstalledRecord(d, c);
            for (const RegistryEntry& entry : c.RegistryEntries) WriteRegistryEntry(entry);
        }
        Advance();
    }
    WriteLog(L"Step 10 - INF-success\r\n");
    for (const FileRecord& file : d.FileList) {
        if (file.Extracted && file.FileFlags == kRegFile && FileAccepted(file)) {
            WriteLog(L"Step 10 - cur REG: " + InstalledPathOf(file) + L"\r\n");
            std::optional<Failure> failure;
            if (!ImportRegFile(InstalledPathOf(file), failure) && failure) Tell(nullptr, *failure);
        }
        Advance();
    }
    return true;
}

bool InstallEngine::CreateShortcuts() {
    StepText(11);
    SetupDescription& d = description_;
    view_.SetCurrentRange(Count(d.ComponentList.size()));
    for (const ComponentRecord& c : d.ComponentList) {
        if (c.Selected)
            for (const LinkEntry& link : c.Links) ProcessLink(link, false);
        Advance();
    }
    return true;
}

bool InstallEngine::CreateEnvironmentVariables() {
    StepText(12);
    SetupDescription& d = description_;
    view_.SetCurrentRange(Count(d.ComponentList.size()));
    for (const ComponentRecord& c : d.ComponentList) {
        if (c.Selected)
            for (const EnvVarEntry& variable : c.EnvVars) SetEnvVars(variable);
        Advance();
    }
    WriteLog(L"Step 12 - before broadcast\r\n");
    BroadcastEnvironmentChange();
    return true;
}

// Step 13: "atl.dll" first, then the libraries, then servers and services.
// After a restart Windows did the renames, so every file counts as unpacked.
bool InstallEngine::RegisterFiles() {
    StepText(13);
    SetupDescription& d = description_;
    view_.SetCurrentRange(2 * Count(d.FileList.size()));
    if (App().ContinueAfterRestart)
        for (FileRecord& file : d.FileList) file.Extracted = 1;
    for (const FileRecord& file : d.FileList)
        if (file.Extracted && IsAtlDll(file.TargetName) && FileAccepted(file)) RegisterDll(InstalledPathOf(file));
    for (const FileRecord& file : d.FileList) {
        if (file.Extracted && file.FileFlags == kSelfRegDll && !IsAtlDll(file.TargetName) && FileAccepted(file))
            RegisterDll(InstalledPathOf(file));
        Advance();
    }
    for (const FileRecord& file : d.FileList) {
        if (file.Extracted && FileAccepted(file)) {
            if (file.FileFlags == kServiceExe) RegisterExe(InstalledPathOf(file), ExeKind::Service);
            if (file.FileFlags == kComServerExe) RegisterExe(InstalledPathOf(file), ExeKind::ComServer);
        }
        Advance();
    }
    return true;
}

// Step 15: the installer's record and uninstall entry, written or removed.
bool InstallEngine::WriteInstallerData() {
    StepText(15);
    view_.SetCurrentRange(2);
    if (IsInstallMode(App().Mode))
        WriteInstallerRecord(description_);
    else
        DeleteInstallerRecord(description_, markHeld_);
    DeleteDroppedInstallerFiles(plan_);
    Advance();
    BroadcastEnvironmentChange();
    Advance();
    // An installation's last change is made; a removal's mark stays until
    // its own copy is on its way (the program run's end).
    if (IsInstallMode(App().Mode)) ReleaseRunMark();
    else if (upgrading_) DiscardKeptVersion(PreviousVersion(), description_.InstallFolder);
    return true;
}


}  // namespace tarnex
