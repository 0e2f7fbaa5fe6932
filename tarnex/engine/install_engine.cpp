#include "engine/install_engine.h"

#include <objbase.h>
#include <process.h>

#include <cerrno>
#include <exception>

#include "engine/delayed_file_ops.h"
#include "engine/installed_version.h"
#include "engine/portable/step_table.h"
#include "engine/run_mark.h"
#include "engine/sent_message_wait.h"
#include "services/app_context.h"
#include "services/message_box.h"
#include "services/setup_log.h"
#include "vrel/com_apartment.h"
#include "vrel/text_convert.h"

namespace tarnex {
namespace {

constexpr DWORD kPausePollMs = 50;

StepConditions CurrentConditions() {
    const AppContext& app = App();
    StepConditions c;
    c.mode = app.Mode;
    c.continueAfterRestart = app.ContinueAfterRestart != 0;
    c.restartNeeded = app.RestartNeeded != 0;
    return c;
}

}  // namespace

InstallEngine::InstallEngine(SetupDescription& description, ProgressView& view)
    : description_(description), view_(view), transfer_(description) {}

InstallEngine::~InstallEngine() { WaitForWorker(INFINITE); }

void InstallEngine::OnPageShown() {
    if (!startPending_ || worker_ || Outcome() != EngineOutcome::Running) {
        view_.EnableButton(PageButton::Back, false);
        return;
    }
    view_.SetDefaultButton(PageButton::Next, false);
    view_.EnableButton(PageButton::Back, false);
    view_.EnableButton(PageButton::Next, false);
    view_.SetDefaultButton(PageButton::Cancel, true);
    view_.FocusButton(PageButton::Cancel);
    if (IsRemovalMode(App().Mode)) view_.EnableButton(PageButton::Cancel, false);
    const std::uintptr_t thread = ::_beginthreadex(nullptr, 0, &InstallEngine::WorkerMain, this, 0, &workerId_);
    if (thread == 0) {
        // Without this the page would keep every button disabled for ever.
        ShowFailedState(L"the worker thread cannot start (errno " + std::to_wstring(errno) + L")");
        return;
    }
    worker_.reset(reinterpret_cast<HANDLE>(thread));
}

void InstallEngine::OnPageLeft() { view_.EnableButton(PageButton::Cancel, true); }

unsigned __stdcall InstallEngine::WorkerMain(void* engine) {
    auto* self = static_cast<InstallEngine*>(engine);
    // An exception leaving the thread would end the process; the run ends as
    // a failed installation instead, with the page in its final state.
    try {
        self->RunInstallSteps();
    } catch (const std::exception& e) {
        self->ShowFailedState(L"exception " + vrel::ToWide(e.what()));
    } catch (...) {
        self->ShowFailedState(L"unknown exception");
    }
    return 0;
}

// Called on the user-interface thread too (the cancel request, the page's
// end): the worker may be opening a window owned by the page meanwhile.
bool InstallEngine::WaitForWorker(DWORD milliseconds) {
    if (!worker_) return true;
    return WaitAnsweringSentMessages(worker_.get(), milliseconds) == WAIT_OBJECT_0;
}

// The fifteen steps; the step table decides which of them run in this mode,
// after a restart, and once a deferred file operation needs a restart.
void InstallEngine::RunInstallSteps() {
    const vrel::ComApartment com;  // shortcuts need COM; released on every way out
    StartBusyFileWaits();
    stepFormat_ = LoadText(TextId::kStepCounter);
    view_.SetOverallRange(kStepCount);
    wchar_t modeName[32] = L"";
    GetModeName(modeName);
    WriteLogF(L"Install State = %s\r\n", modeName);
    view_.EnableButton(PageButton::Cancel, false);

    RunStep(1, &InstallEngine::SubstitutePaths);
    // Before the first change: a run cut off from here on is completed by
    // the next one. The continuation after a restart has its Run entry.
    if (!App().ContinueAfterRestart) {
        PrepareUpgrade();
        markHeld_ = WriteRunMark(description_, App().Mode);
        if (!markHeld_) WriteLog(L"The mark of this run cannot be written into the package key\r\n");
    }
    if (!RunStep(2, &InstallEngine::LaunchProgramsBefore)) {
        ReleaseRunMark();
        EndPausePoints();
        // Nothing was changed: the user leaves the wizard as cancelled.
        transfer_.SetCancel();
        OfferFinishButton();
        const bool changed = !transfer_.ChangedFile().empty();
        if (changed) DiscardTemporaryCopies();  // the folders the run made before it
        const EngineOutcome outcome = changed ? EngineOutcome::PackageChanged : EngineOutcome::StoppedBeforeCopy;
        ::InterlockedExchange(&outcome_, static_cast<LONG>(outcome));
        return;
    }
    const bool copied = RunStep(3, &InstallEngine::CopyFilesUnderTemporaryNames);
    EndPausePoints();
    if (!copied) {
        ReleaseRunMark();  // its temporary copies are gone
        const EngineOutcome outcome =
            transfer_.ChangedFile().empty() ? EngineOutcome::CopyCancelled : EngineOutcome::PackageChanged;
        ::InterlockedExchange(&outcome_, static_cast<LONG>(outcome));
        return;
    }
    RunStep(4, &InstallEngine::UnregisterInstalledFiles);
    RunStep(5, &InstallEngine::DeleteInstalledFiles);
    RunStep(6, &InstallEngine::DeleteRegistryData);
    RunStep(7, &InstallEngine::DeleteShortcuts);
    RunStep(8, &InstallEngine::DeleteEnvironmentVariables);
    RunStep(9, &InstallEngine::RenameIntoPlace);
    RunStep(10, &InstallEngine::WriteRegistryData);
    RunStep(11, &InstallEngine::CreateShortcuts);
    RunStep(12, &InstallEngine::CreateEnvironmentVariables);
    RunStep(13, &InstallEngine::RegisterFiles);
    RunStep(14, &InstallEngine::LaunchProgramsAfter);  // a fault only cuts step 14 short
    // A restart puts step 14 off to the run after it, which no longer knows
    // the version this one replaced: the removal programs of its dropped
    // components run now, after their files went or were put off.
    if (!StepRuns(14, CurrentConditions())) LaunchDroppedPrograms(false);
    RunStep(15, &InstallEngine::WriteInstallerData);
    ShowFinalState();
}

bool InstallEngine::RunStep(int step, StepBody body) {
    counter_ = step;
    bool ok = true;
    if (StepRuns(step, CurrentConditions())) {
        ok = (this->*body)();
        if (ok && markHeld_) MarkStepDone(description_, step);
        if (ok) WriteLog(StepLogLine(step));
    }
    if (ok || !FailureEndsRun(step)) view_.AdvanceOverall();
    return ok;
}

void InstallEngine::PrepareUpgrade() {
    const InstalledVersion& previous = PreviousVersion();
    if (!previous.Found) return;
    if (IsRemovalMode(App().Mode)) {
        // "/u" after a cut upgrade: the version it was replacing goes too,
        // and the copy that run kept. (A removal chosen on the mode page
        // read the installed version for maintenance: it removes with this
        // package's removal lists alone.)
        if (previous.ReadFrom == previous.Folder) return;
        plan_ = PlanRemovalOf(previous, description_);
        upgrading_ = true;
        return;
    }
    plan_ = PlanUpgrade(description_, previous);
    // Maintenance from a package whose lists differ from the installed
    // version's copies: what only the installed version's lists name goes too.
    const bool maintenance = App().Mode != AS_INST;
    if (maintenance && plan_.Empty()) return;
    if (maintenance)
        WriteLog(L"The installed version's lists name what this package's do not; this run takes it away\r\n");
    for (const std::wstring& name : plan_.Components)
        WriteLog(L"Upgrade: component no longer installed: " + name + L"\r\n");
    if (plan_.Empty()) WriteLog(L"Upgrade: the new version keeps everything the installed one has\r\n");
    upgrading_ = KeepInstalledVersion(previous);
    WriteUpgradeMark(description_, DescribeInstalledVersion(previous));
}

void InstallEngine::ReleaseRunMark() {
    if (upgrading_) DiscardKeptVersion(PreviousVersion(), description_.InstallFolder);
    upgrading_ = false;
    if (!markHeld_) return;
    RemoveRunMark(description_);
    markHeld_ = false;
}

void InstallEngine::StepText(int step) {
    view_.SetOverallText(FormatMessageText(stepFormat_.c_str(), counter_, kStepCount));
    const std::optional<TextId> text = StepTextId(step);
    view_.SetCurrentText(text ? LoadText(*text) : std::wstring());
}

void InstallEngine::ShowFinalState() {
    view_.ShowFinalText(LoadText(IsRemovalMode(App().Mode) ? TextId::kRemovalDone : TextId::kInstallDone));
    view_.EnableButton(PageButton::Next, true);
    ::InterlockedExchange(&startPending_, 0);
    ::InterlockedExchange(&outcome_, static_cast<LONG>(EngineOutcome::Completed));
    view_.FocusButton(PageButton::Next);
    view_.EnableButton(PageButton::Cancel, false);
    view_.SetDefaultButton(PageButton::Next, true);
}

void InstallEngine::OfferFinishButton() {
    view_.SetButtonText(PageButton::Cancel, LoadText(TextId::kFinishButton));
    view_.SetDefaultButton(PageButton::Next, false);
    view_.EnableButton(PageButton::Cancel, true);
    view_.SetDefaultButton(PageButton::Cancel, true);
    view_.FocusButton(PageButton::Cancel);
}

void InstallEngine::ShowFailedState(const std::wstring& reason) noexcept {
    // First what needs no memory: a press on Cancel now ends the wizard.
    transfer_.SetCancel();
    ::InterlockedExchange(&outcome_, static_cast<LONG>(EngineOutcome::Failed));
    try {
        EndPausePoints();
        WriteLog(L"Install engine stopped: " + reason + L"\r\n");
        view_.ShowFinalText(LoadText(TextId::kRunFailed));
        view_.EnableButton(PageButton::Back, false);
        view_.EnableButton(PageButton::Next, false);
        OfferFinishButton();
    } catch (...) {
        // Out of memory again: the outcome and the cancel flag are set.
    }
}

void InstallEngine::RunRemovalContinuation() {
    RunPathSubstitution();
    DeleteInfCopies(description_);
    counter_ = 6;
    if (DeleteRegistryData()) WriteLog(StepLogLine(6));
    counter_ = 14;
    if (LaunchProgramsAfter()) WriteLog(StepLogLine(14));
}

// The pause hand-over: the worker signals PauseReached and waits for
// PauseAnswered in one call at each safe point of step 3. A request that
// comes when no safe point is left (step 3 over or never run) is withdrawn
// instead of waiting for ever.
void InstallEngine::EndPausePoints() {
    if (transfer_.PauseRequested()) transfer_.PauseHandOver();
    ::InterlockedExchange(&pausePointsOver_, 1);
}

bool InstallEngine::WaitForPausePoint() {
    for (;;) {
        // The worker may be opening the replace dialog or a message box
        // owned by the page just now: their messages to this thread are
        // answered while waiting.
        if (WaitAnsweringSentMessages(transfer_.PauseReachedEvent(), kPausePollMs) == WAIT_OBJECT_0) return true;
        // The worker signals before it marks the safe points over, so one
        // more look decides.
        if (pausePointsOver_ || WaitForWorker(0))
            return ::WaitForSingleObject(transfer_.PauseReachedEvent(), 0) == WAIT_OBJECT_0;
    }
}

bool InstallEngine::OnCancelRequest() {
    if (!startPending_) return false;
    if (transfer_.Cancelled()) return true;
    view_.EnableButton(PageButton::Cancel, false);
    transfer_.RequestPause();
    if (!WaitForPausePoint()) {
        transfer_.WithdrawPause();
        return false;
    }
    const int answer = Ask(view_.Owner(), Question::kCancelInstall);
    if (answer == IDYES) {
        transfer_.SetCancel();
    } else {
        view_.EnableButton(PageButton::Cancel, true);
        view_.FocusButton(PageButton::Cancel);
    }
    transfer_.WithdrawPause();
    transfer_.ResumeFromPause();
    return false;
}

void InstallEngine::RunPathSubstitution() {
    counter_ = 1;
    if (SubstitutePaths()) WriteLog(StepLogLine(1));
}

void SubstitutePackagePaths() {
    NoPageView view;
    InstallEngine engine(Description(), view);
    engine.RunPathSubstitution();
}

void ContinueRemovalSteps() {
    StartBusyFileWaits();
    NoPageView view;
    InstallEngine engine(Description(), view);
    engine.RunRemovalContinuation();
}

}  // namespace tarnex
