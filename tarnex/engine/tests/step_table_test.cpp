// Which steps run in which mode, after a restart and once a restart is
// needed; the texts and log lines that go with them.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/portable/step_table.h"

namespace tarnex {
namespace {

std::vector<int> RunningSteps(std::uint32_t mode, bool resumed, bool restart) {
    std::vector<int> steps;
    for (int step = 1; step <= kStepCount; ++step)
        if (StepRuns(step, StepConditions{mode, resumed, restart})) steps.push_back(step);
    return steps;
}

using Steps = std::vector<int>;

TEST(StepTable, InstallingModesRunEveryStep) {
    const Steps all{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15};
    EXPECT_EQ(RunningSteps(0, false, false), all);
    EXPECT_EQ(RunningSteps(3, false, false), all);
    EXPECT_EQ(RunningSteps(4, false, false), all);
}

TEST(StepTable, RemovalModesSkipCopyingAndEverythingThatInstalls) {
    const Steps removal{1, 2, 4, 5, 6, 7, 8, 14, 15};
    EXPECT_EQ(RunningSteps(1, false, false), removal);
    EXPECT_EQ(RunningSteps(5, false, false), removal);
}

TEST(StepTable, PendingRestartDefersRegistrationAndProgramsAfter) {
    EXPECT_EQ(RunningSteps(0, false, true), (Steps{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 15}));
    // A removal keeps its registry data for the continuation as well.
    EXPECT_EQ(RunningSteps(1, false, true), (Steps{1, 2, 4, 5, 7, 8, 15}));
    EXPECT_EQ(RunningSteps(5, false, true), (Steps{1, 2, 4, 5, 7, 8, 15}));
}

TEST(StepTable, ContinuationAfterRestartFinishesRegistrationProgramsAndRecord) {
    EXPECT_EQ(RunningSteps(0, true, false), (Steps{1, 2, 13, 14, 15}));
    // The flag from before the restart is not carried over, but if a step
    // sets it again the continuation still finishes.
    EXPECT_EQ(RunningSteps(0, true, true), (Steps{1, 2, 13, 14, 15}));
}

TEST(StepTable, ModesOutsideTheInstallingOnesOnlyRemove) {
    EXPECT_TRUE(IsInstallMode(0));
    EXPECT_TRUE(IsInstallMode(3));
    EXPECT_TRUE(IsInstallMode(4));
    EXPECT_TRUE(IsRemovalMode(1));
    EXPECT_TRUE(IsRemovalMode(5));
    EXPECT_FALSE(StepRuns(0, StepConditions{}));
    EXPECT_FALSE(StepRuns(16, StepConditions{}));
}

TEST(StepTable, TextsAndLogLines) {
    const TextId texts[] = {TextId::kStepPaths, TextId::kStepRunPrograms, TextId::kStepUnpackAndCopy,
                            TextId::kStepUnregisterFiles, TextId::kStepDeleteFiles, TextId::kStepDeleteRegistryData,
                            TextId::kStepDeleteShortcuts, TextId::kStepDeleteVariables, TextId::kStepRenameFiles,
                            TextId::kStepWriteRegistryData, TextId::kStepCreateShortcuts, TextId::kStepCreateVariables,
                            TextId::kStepRegisterFiles, TextId::kStepRunPrograms, TextId::kStepInstallerData};
    for (int step = 1; step <= kStepCount; ++step) {
        EXPECT_EQ(StepTextId(step), texts[step - 1]) << step;
        const std::wstring line = StepLogLine(step);
        EXPECT_EQ(line.rfind(L"Step " + std::to_wstring(step) + L" - successful (", 0), 0u) << step;
        EXPECT_EQ(line.substr(line.size() - 3), L")\r\n") << step;
    }
    EXPECT_STREQ(StepLogLine(3), L"Step 3 - successful (Decompressing and coping files)\r\n");
    EXPECT_STREQ(StepLogLine(1), L"Step 1 - successful (Replace variable %65600% on path install)\r\n");
    EXPECT_FALSE(StepTextId(0).has_value());
    EXPECT_STREQ(StepLogLine(99), L"");
}

}  // namespace
}  // namespace tarnex
