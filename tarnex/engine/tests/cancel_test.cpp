// Cancelling while files are unpacked, and copies that fail.
#include <windows.h>

#include "engine_test_support.h"
#include "services/app_context.h"
#include "services/message_box.h"
#include "vrel/unique_handle.h"

namespace enginetest {
namespace {

using namespace tarnex;

std::vector<std::wstring> TemporaryCopiesBelow(const std::wstring& folder) {
    std::vector<std::wstring> found;
    for (const std::wstring& file : FilesBelow(folder))
        if (file.substr(file.find_last_of(L'\\') + 1).rfind(L"vrel_", 0) == 0) found.push_back(file);
    return found;
}

// The user presses Cancel as soon as step 3 makes it live: the worker is
// held at that moment until the press has arrived, so the request always
// meets the copy.
struct CancelPress {
    vrel::unique_handle live{::CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    vrel::unique_handle pressed{::CreateEventW(nullptr, TRUE, FALSE, nullptr)};

    void Attach(RecordingView& view) {
        view.onEnable = [this](PageButton button, bool enabled) {
            if (button != PageButton::Cancel || !enabled || ::WaitForSingleObject(live.get(), 0) == WAIT_OBJECT_0)
                return;
            ::SetEvent(live.get());
            ::WaitForSingleObject(pressed.get(), 30000);
        };
    }
    // On the test thread, the page's side: returns what the frame is told.
    bool Press(InstallEngine& engine) {
        EXPECT_EQ(::WaitForSingleObject(live.get(), 60000), WAIT_OBJECT_0) << "Cancel never became live";
        engine.Transfer().RequestPause();
        ::SetEvent(pressed.get());
        return engine.OnCancelRequest();
    }
};

TEST_F(EngineCycle, CancelAnsweredNoLetsTheCopyGoOn) {
    WriteStandardPackage();
    ASSERT_TRUE(LoadPackage(AS_INST));
    Select({L"Core", L"Viewer"});
    messages_.AnswerWith(IDNO);
    RecordingView view;
    CancelPress press;
    press.Attach(view);
    bool abort = true;
    ASSERT_EQ(RunEngine(view, [&](InstallEngine& engine) { abort = press.Press(engine); }), EngineOutcome::Completed);
    EXPECT_FALSE(abort);
    ASSERT_EQ(messages_.Count(), 1u);
    EXPECT_EQ(messages_.Shown()[0].text, LoadText(TextId::kCancelInstallQuestion));
    EXPECT_EQ(messages_.Shown()[0].type, static_cast<UINT>(MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2));
    EXPECT_EQ(messages_.Shown()[0].question, Question::kCancelInstall);
    ExpectInstaller(true);
    ExpectCore(true);
    ExpectViewer(true);
    EXPECT_TRUE(TemporaryCopiesBelow(kInstall).empty());
}

TEST_F(EngineCycle, CancelAnsweredYesRemovesEveryTemporaryCopyAndTheFolder) {
    WriteStandardPackage();
    ASSERT_TRUE(LoadPackage(AS_INST));
    Select({L"Core", L"Viewer"});
    messages_.AnswerWith(IDYES);
    RecordingView view;
    CancelPress press;
    press.Attach(view);
    bool firstAbort = true, secondAbort = false, pending = false;
    const EngineOutcome outcome = RunEngine(view, [&](InstallEngine& engine) {
        firstAbort = press.Press(engine);
        EXPECT_TRUE(engine.WaitForWorker(60000));
        pending = engine.StartPending();
        // The Cancel button now reads "&Завершить": pressing it ends the wizard.
        secondAbort = engine.OnCancelRequest();
    });
    EXPECT_EQ(outcome, EngineOutcome::CopyCancelled);
    EXPECT_FALSE(firstAbort);
    EXPECT_TRUE(secondAbort);
    EXPECT_TRUE(pending);
    EXPECT_EQ(view.ButtonText(PageButton::Cancel), LoadText(TextId::kFinishButton));
    EXPECT_TRUE(view.Enabled(PageButton::Cancel));
    EXPECT_TRUE(view.IsDefault(PageButton::Cancel));
    EXPECT_FALSE(view.IsDefault(PageButton::Next));
    EXPECT_EQ(view.FinalText(), L"");
    EXPECT_TRUE(TemporaryCopiesBelow(kRoot).empty());
    EXPECT_FALSE(Exists(kInstall));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kPackageKey));
    const std::wstring log = Log();
    EXPECT_TRUE(ContainsInOrder(log, StepLines(L"AS_INST", {1, 2})));
    EXPECT_EQ(log.find(L"Step 3 - "), std::wstring::npos);
    EXPECT_EQ(log.find(L"Step 4 - "), std::wstring::npos);
}

TEST_F(EngineCycle, LooseFileThatCannotBeCopiedEndsStepThreeBeforeAnyCabinet) {
    WriteStandardPackage(PackageVariant{true, false});
    ASSERT_TRUE(LoadPackage(AS_INST));
    Select({L"Core", L"Viewer"});
    RecordingView view;
    EXPECT_EQ(RunEngine(view), EngineOutcome::CopyCancelled);
    ASSERT_EQ(messages_.Count(), 1u);
    EXPECT_EQ(messages_.Shown()[0].text, FormatText(TextId::kFileCannotCopy, L"C:\\VrelEngineTest\\Package\\readme.txt",
                                                 L"C:\\VrelEngineTest\\Install\\Viewer\\vrel_readme.txt"));
    EXPECT_EQ(messages_.Shown()[0].type & MB_ICONMASK, static_cast<UINT>(MB_ICONERROR));
    EXPECT_EQ(view.ButtonText(PageButton::Cancel), LoadText(TextId::kFinishButton));
    EXPECT_TRUE(TemporaryCopiesBelow(kRoot).empty());
    EXPECT_FALSE(Exists(kInstall));
}

TEST_F(EngineCycle, TruncatedCabinetEndsStepThreeWithItsMessage) {
    WriteStandardPackage(PackageVariant{false, true});
    ASSERT_TRUE(LoadPackage(AS_INST));
    Select({L"Core", L"Viewer"});
    RecordingView view;
    EXPECT_EQ(RunEngine(view), EngineOutcome::CopyCancelled);
    ASSERT_NE(messages_.Count(), 0u);
    const std::wstring format = LoadText(TextId::kCabinetCannotUnpack);
    const std::wstring lead = format.substr(0, format.find(L"%s"));
    EXPECT_EQ(messages_.Shown().back().text.rfind(lead, 0), 0u);
    EXPECT_TRUE(TemporaryCopiesBelow(kRoot).empty());
    EXPECT_FALSE(Exists(kInstall));
}

}  // namespace
}  // namespace enginetest
