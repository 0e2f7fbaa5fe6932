#include "run/quiet_run.h"

#include <string>
#include <string_view>
#include <utility>

#include "description/portable/component_rules.h"
#include "description/setup_description.h"
#include "engine/install_engine.h"
#include "engine/installed_version.h"
#include "engine/package_reload.h"
#include "portable/replace_rules.h"
#include "run/program_run.h"
#include "run/restart.h"
#include "run/startup_checks.h"
#include "services/app_context.h"
#include "services/folder_paths.h"
#include "services/message_box.h"
#include "services/setup_log.h"
#include "sysops/replace_policy.h"
#include "ui/free_space.h"
#include "ui/portable/component_choice.h"
#include "ui/portable/wizard_sequence.h"
#include "vrel/bounded_copy.h"

namespace tarnex {
namespace {


// Answers in place of a person for the whole quiet run.
class QuietAnswers {
public:
    explicit QuietAnswers(bool acceptAnySystem) {
        previous_ = SetMessageAnswerer([this, acceptAnySystem](const MessageRequest& request) {
            // A file newer than the package's stays.
            if (request.question == Question::kReplaceFile) return static_cast<int>(kSkipAll);
            const bool question = (request.type & MB_TYPEMASK) == MB_YESNO;
            const bool yes = question && acceptAnySystem && request.question == Question::kSystemNotAccepted;
            const int answer = yes ? IDYES : question ? IDNO : IDOK;
            Log(request.text + (yes ? L" -> Yes (/acceptos)" : question ? L" -> No" : L""));
            return answer;
        });
    }
    ~QuietAnswers() { SetMessageAnswerer(std::move(previous_)); }
    QuietAnswers(const QuietAnswers&) = delete;
    QuietAnswers& operator=(const QuietAnswers&) = delete;

private:
    // The log's own failure comes here as a message too: it is not logged
    // again.
    void Log(const std::wstring& text) {
        if (logging_) return;
        logging_ = true;
        WriteLog(L"Quiet run, message box: " + text + L"\r\n");
        logging_ = false;
    }

    MessageAnswerer previous_;
    bool logging_ = false;
};

int ExitCodeOf(StartUpEnd end) {
    switch (end) {
    case StartUpEnd::Proceed:
    case StartUpEnd::RemovalContinued:
        return kQuietDone;
    case StartUpEnd::SystemRefused:
        return kQuietSystemRefused;
    case StartUpEnd::NothingInstalled:
        return kQuietNothingInstalled;
    case StartUpEnd::OtherInstaller:
        return kQuietAlreadyRunning;
    case StartUpEnd::RequiredAppMissing:  // No to "go on without it?"
    case StartUpEnd::CheckStopped:
        return kQuietStopped;
    case StartUpEnd::PackageChanged:
        return kQuietPackageChanged;
    case StartUpEnd::Unreadable:
        break;
    }
    return kQuietFailed;
}

// A run asked to install that completed a removal cut off instead: what it
// was asked for was not made.
int InstallationNotMade() {
    WriteLog(L"Quiet run: the interrupted removal was completed and nothing was installed; run the command again\r\n");
    return kQuietFailed;
}

// "/nodowngrade": the installed version is newer than the package's.
bool RefusesDowngrade() {
    const InstalledVersion& installed = PreviousVersion();
    const std::wstring package = Description().DisplayVersion;
    if (!installed.Found || installed.DisplayVersion == kUnknownVersion || package.empty() ||
        CompareVersionText(installed.DisplayVersion, package) != 1)
        return false;
    WriteLog(L"Quiet run: version " + installed.DisplayVersion + L" is installed, newer than this package's " + package +
             L"; /nodowngrade: nothing is changed\r\n");
    return true;
}

// Why the wizard's choice could not be made: its exit code.
enum class ChoiceEnd { Made, Failed, DoesNotFit };

bool Refuse(const std::wstring& why) {
    WriteLog(L"Quiet run: " + why + L"\r\n");
    return false;
}

// The folder is there, made with its parents when missing; what failed is
// told through the seam, as the folder page tells it.
bool MadeFolder(const std::wstring& folder) {
    std::optional<Failure> failure;
    if (EnsureFolder(folder, failure)) return true;
    if (failure) Tell(nullptr, *failure);
    return false;
}

// The folder page's part: the folder fits the description's field and
// exists (made with its parents when missing).
bool ChooseInstallFolder(SetupDescription& d, const std::wstring& given) {
    if (given.empty()) return MadeFolder(d.InstallFolder);
    std::wstring folder = given;
    if (folder.back() != L'\\') folder += L'\\';
    if (!vrel::FitsField(std::wstring_view(folder), kOptionField)) return Refuse(L"the folder of /dir= is too long");
    if (!MadeFolder(folder)) return false;
    vrel::CopyToField(d.InstallFolder, std::wstring_view(folder));
    return true;
}

// The component page left as first shown, with its check on the free space.
ChoiceEnd ChooseComponents(SetupDescription& d, DWORD mode) {
    ComponentTree tree = BuildComponentTree(d.ComponentList);
    ApplyFirstActivation(tree, d.ComponentList, mode);
    const std::int64_t size = EvaluateSelection(tree, d);
    StoreItemStates(tree, d.ComponentList);
    const std::wstring folder = d.PreviousInstallFolder[0] != L'\0' ? d.PreviousInstallFolder : d.InstallFolder;
    const std::int64_t free = GetFreeSpace(folder.substr(0, 3));
    if (SelectionFits(size, free)) return ChoiceEnd::Made;
    if (size == 0) {
        Refuse(L"nothing to install is chosen");
        return ChoiceEnd::Failed;
    }
    Refuse(L"the choice (" + std::to_wstring(size) + L" bytes) does not fit on " + folder.substr(0, 3) + L" (" +
           std::to_wstring(free) + L" bytes free)");
    return ChoiceEnd::DoesNotFit;
}

// What the pages would leave in the description before the progress page,
// each as first shown. After a restart the selection is what the interrupted
// run had chosen; so it is when this run completes one that was cut off.
ChoiceEnd MakeWizardChoice(const QuietSwitches& switches) {
    AppContext& app = App();
    SetupDescription& d = Description();
    const WizardStart start{app.Mode, app.ContinueAfterRestart || app.CompletingInterruptedRun, d.License != 0,
                            d.Access != 0};
    for (const int page : WizardSequence(start)) {
        switch (page) {
        case kModePage:
            app.Mode = FirstMaintenanceChoice();
            break;
        case kFolderPage:
            if (!ChooseInstallFolder(d, switches.installFolder)) return ChoiceEnd::Failed;
            break;
        case kAccessPage:
            d.AccessVersion = FirstAccessOffer(d.AccessVersion);
            break;
        case kComponentPage:
            return ChooseComponents(d, app.Mode);
        case kSummaryPage:  // the removal's summary, read again with the removal sections
            if (const std::optional<Question> unreadable = ReloadPackage(d)) {
                Ask(nullptr, *unreadable);
                return ChoiceEnd::Failed;
            }
            SelectInstalledForSummary(app.Mode, d.ComponentList);
            return ChoiceEnd::Made;
        default:
            break;
        }
    }
    return ChoiceEnd::Made;
}

int RunWithAnswers(HINSTANCE instance, const wchar_t* arguments, const QuietSwitches& switches) {
    QuietAnswers answers(switches.acceptAnySystem);
    App().Quiet = true;
    // A file newer than the package's stays: the replace question is never
    // shown, every such file is skipped.
    StickyReplaceAnswer() = kSkipAll;

    const StartUpEnd start = StartUp(instance, arguments);
    AppContext& app = App();
    if (start == StartUpEnd::RemovalContinued && app.CompletingInterruptedRun && !switches.removal)
        return InstallationNotMade();
    if (start != StartUpEnd::Proceed) return ExitCodeOf(start);
    // A quiet install that finds the package installed without maintenance
    // would become its removal: only "/u" removes.
    if (app.Mode == AS_DEL && !switches.removal && !app.CompletingInterruptedRun) {
        WriteLog(L"Quiet run: the package is installed and the command line has no /u; nothing is removed\r\n");
        return kQuietAlreadyInstalled;
    }
    if (switches.noDowngrade && app.Mode == AS_INST && !app.CompletingInterruptedRun && RefusesDowngrade())
        return kQuietAlreadyInstalled;
    LogStartBanner();
    if (!switches.installFolder.empty() && app.Mode != AS_INST)
        WriteLog(L"Quiet run: the package is installed, /dir= is not used\r\n");
    const ChoiceEnd choice = MakeWizardChoice(switches);
    if (choice != ChoiceEnd::Made) {
        FinishRun(2);
        return choice == ChoiceEnd::DoesNotFit ? kQuietDiskFull : kQuietFailed;
    }

    NoPageView view;
    InstallEngine engine(Description(), view);
    engine.OnPageShown();
    engine.WaitForWorker(INFINITE);
    const EngineOutcome outcome = engine.Outcome();
    FinishRun(outcome == EngineOutcome::Completed ? 1 : 2);
    switch (outcome) {
    case EngineOutcome::Completed:
        if (app.CompletingInterruptedRun && (app.Mode == AS_DEL || app.Mode == AS_SD) && !switches.removal)
            return InstallationNotMade();
        return app.RestartNeeded ? kQuietRestartNeeded : kQuietDone;
    case EngineOutcome::StoppedBeforeCopy:
        return kQuietStopped;
    case EngineOutcome::PackageChanged:
        return kQuietPackageChanged;
    default:
        return kQuietFailed;
    }
}

}  // namespace

int RunQuietly(HINSTANCE instance, const wchar_t* arguments, const QuietSwitches& switches) {
    int code = kQuietBadCommandLine;
    if (!switches.error.empty()) {
        InitAppContext(instance, arguments);
        WriteLog(L"Quiet run refused, the command line is wrong: " + switches.error + L"\r\n");
    } else if (!switches.logFile.empty() && !StartRunLog(switches.logFile)) {
        code = kQuietLogUnwritable;
        InitAppContext(instance, arguments);
        WriteLog(L"Quiet run refused, the log file of /log= cannot be written: " + switches.logFile + L"\r\n");
    } else {
        code = RunWithAnswers(instance, arguments, switches);
        ReleaseContinuationEntry();  // a continuation that ended before its wizard's end
    }
    WriteLog(L"Quiet run ends with exit code " + std::to_wstring(code) + L"\r\n");
    return code;
}

}  // namespace tarnex
