// The install engine: the fifteen steps of the progress page on a worker
// thread, and the cancel request that the page serves while they run.
#pragma once

#include <windows.h>

#include <string>

#include "description/setup_description.h"
#include "engine/progress_view.h"
#include "engine/upgrade_plan.h"
#include "sysops/cab_extractor.h"
#include "vrel/unique_handle.h"

namespace tarnex {

// How the worker ended.
enum class EngineOutcome : LONG {
    Running = 0,
    Completed = 1,         // every step had its turn; the final text is shown
    StoppedBeforeCopy = 2,  // a program of step 2 reported a fault
    CopyCancelled = 3,     // step 3 was cancelled or a copy failed; temporary files removed
    Failed = 4,            // the worker could not start, or an exception ended it; logged
    PackageChanged = 5,    // a cabinet differs from the package's seal (the text kPackageChanged); nothing changed
};

class InstallEngine {
public:
    InstallEngine(SetupDescription& description, ProgressView& view);
    ~InstallEngine();  // waits for the worker
    InstallEngine(const InstallEngine&) = delete;
    InstallEngine& operator=(const InstallEngine&) = delete;

    // Page activation: on the first one, prepares the buttons and starts the
    // worker with the run-time thread starter (a worker that cannot start
    // ends the run as failed). Later ones only disable Back.
    void OnPageShown();
    // Page leaving: Cancel is enabled again.
    void OnPageLeft();

    // The frame's cancel request, on the user-interface thread. While the
    // steps run: asks the text kCancelInstallQuestion at the worker's next safe point and sets the
    // cancel flag on Yes. True when the frame is to end the wizard as
    // cancelled (the cancel flag was already set, after a failed step 3).
    bool OnCancelRequest();

    // True until the worker has finished all its steps.
    bool StartPending() const { return startPending_ != 0; }
    EngineOutcome Outcome() const { return static_cast<EngineOutcome>(outcome_); }
    // Waits for the worker; true when it has ended (or never started).
    bool WaitForWorker(DWORD milliseconds);

    // The transfer context of step 3 (cancel and pause flags, events).
    CabExtractor& Transfer() { return transfer_; }

    // The worker's body; runs on the calling thread.
    void RunInstallSteps();

    // The continuation of a removal after a restart, without a page: step 1,
    // the deletion of the INF copies, step 6 and step 14.
    void RunRemovalContinuation();
    // Step 1 alone, without a page: the paths of a run that has no other
    // step left to do.
    void RunPathSubstitution();

private:
    static unsigned __stdcall WorkerMain(void* engine);

    using StepBody = bool (InstallEngine::*)();
    // Runs step k when the step table says so, logs its line when it
    // succeeds, and advances the overall bar unless the failure of the step
    // ends the worker. False when it failed.
    bool RunStep(int step, StepBody body);
    void StepText(int step);
    void Advance() { view_.AdvanceCurrent(); }
    void ShowFinalState();
    // Cancel becomes "&Завершить", live and default; with the cancel flag
    // set, a press on it ends the wizard as cancelled.
    void OfferFinishButton();
    // The end of a run that failed (reason goes to the log): the final text
    // says so and Cancel, as "&Завершить", ends the wizard as cancelled.
    // Never throws.
    void ShowFailedState(const std::wstring& reason) noexcept;

    // The safe points of step 3 are over: a pause request that arrives now
    // is not waited for.
    void EndPausePoints();
    bool WaitForPausePoint();

    bool SubstitutePaths();             // 1
    bool LaunchProgramsBefore();        // 2
    bool CopyFilesUnderTemporaryNames();  // 3
    bool UnregisterInstalledFiles();    // 4
    bool DeleteInstalledFiles();        // 5
    bool DeleteRegistryData();          // 6
    bool DeleteShortcuts();             // 7
    bool DeleteEnvironmentVariables();  // 8
    bool RenameIntoPlace();             // 9
    bool WriteRegistryData();           // 10
    bool CreateShortcuts();             // 11
    bool CreateEnvironmentVariables();  // 12
    bool RegisterFiles();               // 13
    bool LaunchProgramsAfter();         // 14
    bool WriteInstallerData();          // 15

    bool LaunchPrograms(bool before);
    bool LaunchDroppedPrograms(bool before);
    bool RunProgram(LaunchEntry& entry, const std::wstring& packageFolder);
    // Before the first change of an installation over an installed
    // version: what it has and this package has not, its INF files kept
    // for a run that completes this one, and its mark.
    void PrepareUpgrade();
    // The mark of this run (engine/run_mark.h) goes: its last change is made,
    // or it ended having changed nothing that stays.
    void ReleaseRunMark();
    void DiscardTemporaryCopies();

    SetupDescription& description_;
    ProgressView& view_;
    CabExtractor transfer_;
    volatile LONG startPending_ = 1;
    volatile LONG outcome_ = static_cast<LONG>(EngineOutcome::Running);
    volatile LONG pausePointsOver_ = 0;
    vrel::unique_handle worker_;
    unsigned workerId_ = 0;
    bool markHeld_ = false;  // this run's mark is in the package key; the worker's own
    bool upgrading_ = false;  // the installed version's INF files are kept; the worker's own
    UpgradePlan plan_;        // what steps 4 to 8 take away besides their own work
    int counter_ = 1;       // the step shown; the worker's own
    std::wstring stepFormat_;  // kStepCounter, "Шаг %d из %d..."
};

// Runs the removal continuation on the program-wide description.
void ContinueRemovalSteps();
// Step 1 on the program-wide description.
void SubstitutePackagePaths();

}  // namespace tarnex
