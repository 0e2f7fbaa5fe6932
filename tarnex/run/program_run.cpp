#include "run/program_run.h"

#include <optional>
#include <string>

#include "description/component_catalogue.h"
#include "description/package_seal_check.h"
#include "description/setup_description.h"
#include "engine/delayed_file_ops.h"
#include "engine/install_engine.h"
#include "engine/installed_version.h"
#include "engine/run_mark.h"
#include "run/interrupted_run.h"
#include "run/quiet_run.h"
#include "run/restart.h"
#include "run/self_removal.h"
#include "run/startup_checks.h"
#include "services/app_context.h"
#include "services/folder_paths.h"
#include "services/message_box.h"
#include "services/registry_access.h"
#include "services/setup_log.h"
#include "single_file/single_file_run.h"
#include "ui/background_window.h"
#include "ui/wizard_entry.h"

namespace tarnex {

namespace {


constexpr wchar_t kBannerLine[] = L"//////////////////////////////////////////////////////////////////////////";

void LogEndBanner(const wchar_t* nameGen) {
    WriteLog(std::wstring(L"\r\n") + kBannerLine + L"\r\n// END SETUP of \"" + nameGen + L"\"\r\n" + kBannerLine +
             L"\r\n");
}

bool IsRemoval(DWORD mode) { return mode == AS_DEL || mode == AS_SD; }

StartUpEnd RefuseChangedPackage(const std::wstring& file) {
    Ask(nullptr, Question::kPackageChanged, file.c_str());
    return StartUpEnd::PackageChanged;
}

}  // namespace

void LogStartBanner() {
    WriteLog(std::wstring(L"\r\n\r\n") + kBannerLine + L"\r\n// START SETUP of \"" + Description().NameGen +
             L"\"\r\n" + kBannerLine);
    const InstalledVersion& previous = PreviousVersion();
    if (previous.Found && App().Mode == AS_INST)
        WriteLog(L"This run is an upgrade from version " + previous.DisplayVersion + L", installed in " +
                 previous.Folder + L"\r\n");
}

StartUpEnd StartUp(HINSTANCE instance, const wchar_t* arguments) {
    AppContext& app = App();
    SetupDescription& description = Description();

    InitAppContext(instance, arguments);
    TrimLog();
    // Nothing of the package is read before its seal is checked.
    std::wstring changed;
    if (!OpenPackageSeal(changed)) return RefuseChangedPackage(changed);
    if (!LoadSetupDescription(description)) {
        Ask(nullptr, Question::kDescriptionUnreadable);
        return StartUpEnd::Unreadable;
    }
    if (!CheckSealedFiles(description, RunsFromInstalledCopy(description), changed))
        return RefuseChangedPackage(changed);
    if (!ClaimSingleInstance()) return StartUpEnd::OtherInstaller;

    if (!CheckOsVersion() && Ask(nullptr, Question::kSystemNotAccepted) != IDYES)
        return StartUpEnd::SystemRefused;
    if (!CheckRequiredKeys()) return StartUpEnd::RequiredAppMissing;
    // A run cut off left its mark; the continuation after a restart has its
    // own entry instead.
    RunMark mark;
    const bool marked = !app.ContinueAfterRestart && ReadRunMark(description, mark);
    const bool catalogueRead = LoadComponentCatalogue(description) != 0;
    if (marked) {
        switch (TakeOverInterruptedRun(mark, catalogueRead)) {
        case TakeOver::Completing:
            break;
        case TakeOver::RemovalEnded:
            return StartUpEnd::RemovalContinued;
        case TakeOver::CannotComplete:
            return StartUpEnd::Unreadable;
        }
    } else if (!catalogueRead) {
        Ask(nullptr, Question::kCatalogueUnreadable);
        return StartUpEnd::Unreadable;
    } else if (!DecideMode()) {
        return StartUpEnd::NothingInstalled;
    }
    if (app.Mode == AS_INST && !RunInstallChecks()) return StartUpEnd::CheckStopped;
    DetectAccess();
    if (marked) description.AccessVersion = static_cast<std::int32_t>(mark.Access);  // the interrupted run's choice
    // An installation over an installed version is its upgrade: what that
    // version has is read before anything changes. A run that completes a
    // cut one reads it from the copy that run kept.
    // A removal that takes away a cut upgrade takes the version it was
    // replacing too.
    // So does maintenance from a package (the installed copy's own run is
    // the removal): its lists may differ from the installed version's.
    // Maintenance compares the installed version's install lists with this
    // package's, the lists its own steps take away and put back.
    if ((app.Mode == AS_INST || app.Mode == AS_SUP) && !app.ContinueAfterRestart && !marked)
        ReadInstalledVersion(description, PreviousVersion(), app.Mode == AS_SUP ? AS_INST : AS_DEL);
    else if (marked && !mark.Previous.empty())
        ReadKeptVersion(description, mark.Previous, PreviousVersion(),
                        app.Mode == AS_AD || app.Mode == AS_REP ? AS_INST : AS_DEL);
    DeleteContinuationEntry();
    if (app.ContinueAfterRestart) HoldContinuationEntry();

    if (app.ContinueAfterRestart && app.Mode == AS_DEL) {
        ContinueRemoval();
        ReleaseContinuationEntry();
        return StartUpEnd::RemovalContinued;
    }
    return StartUpEnd::Proceed;
}

bool ClaimSingleInstance() {
    AppContext& app = App();
    // Runs started at the same moment can all find no block. The one whose
    // Register finds the block created ends through the check, which now
    // finds the other run; should that run have ended meanwhile, this one
    // tries again.
    constexpr int kAttempts = 3;
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        if (!app.Guard.CheckOtherInstance(TextId::kOtherInstallerRunning, app.Instance, app.Caption)) return false;
        if (app.Guard.Register(nullptr, app.Caption) || app.Guard.CheckState() != InstanceGuard::kOtherFound)
            return true;  // a block that cannot be created at all does not stop the run
    }
    return true;
}

void ContinueRemoval() {
    SetupDescription& description = Description();
    // The engine's part: step 1, the INF copies, step 6 and step 14.
    ContinueRemovalSteps();
    DeleteRegTree(description.KeyRoot, description.KeyPath);
    RemoveEmptySubfolders(description.InstallFolder);
    RemoveOwnCopy();
}

void FinishRun(int wizardResult) {
    AppContext& app = App();
    SetupDescription& description = Description();
    ReleaseContinuationEntry();
    if (wizardResult == 1) {
        WriteLog(L"Setup was completed successful.\r\n");
        // A removal keeps the INF copies to its end: a run that completes
        // it after a cut reads its catalogue from them.
        if (IsRemoval(app.Mode) && !app.RestartNeeded) DeleteInfCopies(description);
        if (app.RestartNeeded) {
            WriteLog(L"Restart computer");
            std::wstring command = ContinuationCommand(description.InstallFolder, description.SetNameUI, app.Mode);
            // The next start goes on as quietly as this run, on the system
            // this run was allowed to change.
            if (app.Quiet) command += kLaterQuietSwitches;
            const Question question = IsRemoval(app.Mode) ? Question::kRestartAfterRemoval : Question::kRestartToContinue;
            // A program run by the engine that asked for the restart itself
            // continues on its own; the question is still asked.
            if (!app.RestartRequestedByProgram) WriteContinuationEntry(command);
            if (Ask(nullptr, question) == IDYES) RestartWindows();
        } else if (app.Mode == AS_SD) {
            ::SetCurrentDirectoryW(app.ProgramFolder);
            RemoveEmptySubfolders(description.InstallFolder);
            RemoveEmptyFolder(description.InstallFolder);
        } else if (app.Mode == AS_DEL) {
            RemoveEmptySubfolders(description.InstallFolder);
            RemoveOwnCopy();
        }
        // The removal's last change is made (or left to the continuation).
        if (IsRemoval(app.Mode)) RemoveRunMark(description);
    } else {
        WriteLog(L"Setup was interrupted.\r\n");
    }
    LogEndBanner(description.NameGen);
}

namespace {

// The run of the package beside the program (or of the package a single
// file unpacked): the quiet run, or the wizard with its start-up and end.
int RunPackage(HINSTANCE instance, const wchar_t* arguments) {
    const QuietSwitches quiet = ParseQuietSwitches(arguments ? arguments : L"");
    if (quiet.quiet) return RunQuietly(instance, arguments, quiet);
    // A person's run with "/log=" writes that log too; one that cannot ends
    // before anything is changed.
    if (!quiet.error.empty() || (!quiet.logFile.empty() && !StartRunLog(quiet.logFile))) {
        InitAppContext(instance, arguments);
        Ask(nullptr, Question::kRunLogUnwritable, quiet.logFile.c_str());
        return 0;
    }
    if (StartUp(instance, arguments) != StartUpEnd::Proceed) {
        ReleaseContinuationEntry();
        return 0;
    }
    const SetupDescription& description = Description();
    LogStartBanner();
    // Lives to the end of the run: its end shows the task bar again.
    BackgroundWindow background;
    if (description.BackWindow && !background.Create(description.BackWindowPicture, description.BackName)) {
        ReleaseContinuationEntry();
        return 0;
    }
    FinishRun(RunWizard(background.Window()));
    return 0;
}

}  // namespace

int RunProgram(HINSTANCE instance, const wchar_t* arguments) {
    // A single-file package unpacks itself and runs the package it carries
    // in this program, as the installer it unpacked.
    if (const std::optional<int> code =
            RunSingleFileIfCarried(instance, arguments, [&] { return RunPackage(instance, arguments); }))
        return *code;
    return RunPackage(instance, arguments);
}

}  // namespace tarnex
