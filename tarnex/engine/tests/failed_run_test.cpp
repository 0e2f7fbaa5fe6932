// Runs that fail where no step decides: a worker thread that cannot start
// and an exception that escapes a step. Both end as a failed installation
// with the page in its final state, and the process lives on.
#include <windows.h>

#include <cerrno>
#include <cstdint>
#include <new>

#include "../../../testsupport/import_patch.h"
#include "engine_test_support.h"
#include "services/app_context.h"
#include "services/message_box.h"

namespace enginetest {
namespace {

using namespace tarnex;

std::uintptr_t __cdecl NoThread(void*, unsigned, unsigned(__stdcall*)(void*), void*, unsigned, unsigned*) {
    errno = EAGAIN;
    return 0;
}

// The final state of a failed run: the text says so, Back and Next are dead,
// Cancel reads "&Завершить" and its press ends the wizard.
void ExpectFailedPage(const RecordingView& view, InstallEngine& engine) {
    EXPECT_EQ(engine.Outcome(), EngineOutcome::Failed);
    EXPECT_EQ(view.FinalText(), LoadText(TextId::kRunFailed));
    EXPECT_FALSE(view.Enabled(PageButton::Back));
    EXPECT_FALSE(view.Enabled(PageButton::Next));
    EXPECT_TRUE(view.Enabled(PageButton::Cancel));
    EXPECT_TRUE(view.IsDefault(PageButton::Cancel));
    EXPECT_EQ(view.ButtonText(PageButton::Cancel), LoadText(TextId::kFinishButton));
    EXPECT_TRUE(engine.OnCancelRequest());
}

TEST_F(EngineCycle, AWorkerThatCannotStartEndsTheRunAsFailed) {
    WriteStandardPackage();
    ASSERT_TRUE(LoadPackage(AS_INST));
    Select({L"Core"});
    RecordingView view;
    InstallEngine engine(Description(), view);
    {
        testsupport::ImportPatch noThread(nullptr, "msvcrt.dll", "_beginthreadex", &NoThread);
        ASSERT_TRUE(noThread.Active());
        engine.OnPageShown();
    }
    ExpectFailedPage(view, engine);
    engine.OnPageShown();  // shown again: nothing starts now
    EXPECT_TRUE(engine.WaitForWorker(0));
    EXPECT_NE(Log().find(L"]: Install engine stopped: the worker thread cannot start (errno "), std::wstring::npos);
    EXPECT_FALSE(Exists(kInstall));
}

TEST_F(EngineCycle, AnExceptionInAStepEndsTheRunAsFailedNotTheProcess) {
    WriteStandardPackage();
    ASSERT_TRUE(LoadPackage(AS_INST));
    Select({L"Core"});
    RecordingView view;
    const std::wstring stepTen = FormatText(TextId::kStepCounter, 10, 15);
    view.onOverallText = [&](const std::wstring& text) {
        if (text == stepTen) throw std::bad_alloc();
    };
    InstallEngine engine(Description(), view);
    engine.OnPageShown();
    ASSERT_TRUE(engine.WaitForWorker(600000));
    ExpectFailedPage(view, engine);
    const std::wstring log = Log();
    EXPECT_TRUE(ContainsInOrder(log, StepLines(L"AS_INST", {1, 2, 3, 4, 5, 6, 7, 8, 9})));
    EXPECT_NE(log.find(L"]: Install engine stopped: exception std::bad_alloc\r\n"), std::wstring::npos);
    EXPECT_EQ(log.find(L"Step 10 - "), std::wstring::npos);
}

}  // namespace
}  // namespace enginetest
