#include "engine/portable/step_table.h"

namespace tarnex {
namespace {

struct StepInfo {
    TextId textId;
    const wchar_t* logLine;
};

const StepInfo kSteps[kStepCount] = {
    {TextId::kStepPaths, L"Step 1 - successful (Replace variable %65600% on path install)\r\n"},
    {TextId::kStepRunPrograms, L"Step 2 - successful (Launch EXE and DLL files before install)\r\n"},
    {TextId::kStepUnpackAndCopy, L"Step 3 - successful (Decompressing and coping files)\r\n"},
    {TextId::kStepUnregisterFiles, L"Step 4 - successful (Deregistration of files, that were installed before)\r\n"},
    {TextId::kStepDeleteFiles, L"Step 5 - successful (Deleting files, that were installed before)\r\n"},
    {TextId::kStepDeleteRegistryData, L"Step 6 - successful (Deleting from registry component's data, that list in INF-files)\r\n"},
    {TextId::kStepDeleteShortcuts, L"Step 7 - successful (Deleting of links)\r\n"},
    {TextId::kStepDeleteVariables, L"Step 8 - successful (Deleting of environmental variables)\r\n"},
    {TextId::kStepRenameFiles, L"Step 9 - successful (Renaming of files)\r\n"},
    {TextId::kStepWriteRegistryData, L"Step 10 - successful (Write to registry component's data from INF and REG files)\r\n"},
    {TextId::kStepCreateShortcuts, L"Step 11 - successful (Create links)\r\n"},
    {TextId::kStepCreateVariables, L"Step 12 - successful (Create environmental variables)\r\n"},
    {TextId::kStepRegisterFiles, L"Step 13 - successful (Registration of files)\r\n"},
    {TextId::kStepRunPrograms, L"Step 14 - successful (Launch EXE and DLL files after install)\r\n"},
    {TextId::kStepInstallerData, L"Step 15 - successful (Installer data)\r\n"},
};

bool Valid(int step) { return step >= 1 && step <= kStepCount; }

}  // namespace

bool IsInstallMode(std::uint32_t mode) { return mode == 0 || mode == 3 || mode == 4; }
bool IsRemovalMode(std::uint32_t mode) { return !IsInstallMode(mode); }

bool StepRuns(int step, const StepConditions& c) {
    const bool install = IsInstallMode(c.mode);
    const bool resumed = c.continueAfterRestart;
    // Registration and the programs after wait for the restart that a
    // deferred file operation asked for.
    const bool waitsForRestart = c.restartNeeded && !resumed;
    switch (step) {
        case 1:
        case 2:
        case 15: return true;
        case 3: return install && !resumed;
        case 4:
        case 5:
        case 7:
        case 8: return !resumed;
        // A removal that needs a restart deletes the registry data in its
        // continuation after the restart.
        case 6: return !resumed && !(c.restartNeeded && !install);
        case 9:
        case 10:
        case 11:
        case 12: return install && !resumed;
        case 13: return install && !waitsForRestart;
        case 14: return !waitsForRestart;
        default: return false;
    }
}

bool FailureEndsRun(int step) { return step == 2 || step == 3; }

std::optional<TextId> StepTextId(int step) {
    if (!Valid(step)) return std::nullopt;
    return kSteps[step - 1].textId;
}

const wchar_t* StepLogLine(int step) { return Valid(step) ? kSteps[step - 1].logLine : L""; }

}  // namespace tarnex
