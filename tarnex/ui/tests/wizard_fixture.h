// The fixture of the wizard's walks: a clean system before and after, the
// engine's standard package with the real installer in it, and the checks
// every walk repeats.
#pragma once

#include <functional>
#include <string>

#include "engine_test_support.h"
#include "ui/wizard_ids.h"
#include "wizard_run.h"

namespace wizardtest {

// A bottom-up 24-bit BMP file, each pixel the colour of colourAt(x, y): a
// package author's page picture.
std::string PictureFile(int width, int height, const std::function<COLORREF(int x, int y)>& colourAt);

using tarnex::uidriver::WizardRun;

class WizardWalk : public enginetest::EngineCycle {
protected:
    void SetUp() override;
    void TearDown() override;

    // The standard package, with Tarnex.exe of this build as its installer.
    void WritePackageWithInstaller(const enginetest::PackageVariant& variant = {});
    static std::wstring PackageProgram();
    // The same with a third level in the component tree: "Расширения"
    // (Plugin) under Extra, locked and greyed (State 4).
    void WritePackageWithThreeLevels();
    // The first installation with the default choice, walked without checks.
    void InstallThroughWizard();
    // What an installation of Core and Viewer cut off after its tenth step
    // leaves in the package key: its mark, and Core's record.
    static void LeaveMarkOfAnInstallationCutAfterStepTen();

    // The component page's tree view, and every item of it expanded by the
    // keyboard, as a person would.
    static HWND Tree(WizardRun& run);
    static void ExpandTree(WizardRun& run);

    static void ExpectButtons(WizardRun& run, bool back, bool next, bool cancel);
    // Clicks a radio button of the page and waits until it is checked.
    static void Choose(WizardRun& run, int radioId);
    // A maintenance run from its start: welcome, the mode page (whose choice
    // is expectedChecked at first), radioId chosen, on to the summary.
    static void ModeToSummary(WizardRun& run, int radioId, int expectedChecked = IDC_MODE_CHANGE);
    // The progress page shows and has started the steps.
    static void WaitForProgressStart(WizardRun& run);
    // Cancel is disabled within two seconds: the page disables it for a
    // removal in the same handler as Back, a moment after it.
    static bool CancelGoesDisabled(WizardRun& run);
    // The steps are over: Next enabled and the bars hidden behind the final
    // text. Next alone is not enough: the frame enables it for every page it
    // shows, a moment before the progress page's engine disables it again.
    static bool StepsEnded(WizardRun& run);
    static bool WaitForStepsToEnd(WizardRun& run);
    // On the progress page until the worker is done: the final text alone.
    static void ExpectProgressToEnd(WizardRun& run, const std::wstring& finalText);
    static void ExpectFinishPage(WizardRun& run, const std::wstring& results);
    // From the progress page of an installation of both standard components
    // to the end of the program.
    static void EndWithBothComponentsInstalled(WizardRun& run);
    // The wizard ends and the program exits with 0.
    static void ExpectEnd(WizardRun& run);
};

}  // namespace wizardtest
