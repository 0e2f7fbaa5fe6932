// Files in use: the operations Windows performs at its next start, queued
// once each; after them the continuation finishes the installation, or the
// removal with the package key and the installer's copy.
#include <windows.h>

#include <algorithm>

#include "engine/delayed_file_ops.h"
#include "engine/install_engine.h"
#include "engine_test_support.h"
#include "services/app_context.h"
#include "services/folder_paths.h"
#include "services/registry_access.h"
#include "ui/replace_dialog.h"
#include "vrel/text_convert.h"

namespace enginetest {
namespace {

using namespace tarnex;

const std::wstring kCore = L"C:\\VrelEngineTest\\Install\\core.txt";
const std::wstring kCoreCopy = L"C:\\VrelEngineTest\\Install\\vrel_core.txt";

void InstallCoreAndViewer() {
    WriteStandardPackage();
    ASSERT_TRUE(LoadPackage(AS_INST));
    Select({L"Core", L"Viewer"});
    RecordingView view;
    ASSERT_EQ(RunEngine(view), EngineOutcome::Completed);
}

// How often the pair (from, to) is queued; to is empty for a deletion.
int Queued(const std::wstring& from, const std::wstring& to) {
    const std::vector<std::wstring> entries = PendingOperations();
    int count = 0;
    for (std::size_t i = 0; i + 1 < entries.size(); i += 2)
        if (::lstrcmpiW(entries[i].c_str(), (L"\\??\\" + from).c_str()) == 0 &&
            ::lstrcmpiW(entries[i + 1].c_str(), (to.empty() ? to : L"\\??\\" + to).c_str()) == 0)
            ++count;
    return count;
}

// Position of a pair in the queue, -1 when absent.
int QueuePosition(const std::wstring& from, const std::wstring& to) {
    const std::vector<std::wstring> entries = PendingOperations();
    for (std::size_t i = 0; i + 1 < entries.size(); i += 2)
        if (::lstrcmpiW(entries[i].c_str(), (L"\\??\\" + from).c_str()) == 0 &&
            ::lstrcmpiW(entries[i + 1].c_str(), (to.empty() ? to : L"\\??\\" + to).c_str()) == 0)
            return static_cast<int>(i / 2);
    return -1;
}

TEST_F(EngineCycle, FileInUseIsQueuedOnceAndTheRunAfterTheRestartFinishesTheRepair) {
    InstallCoreAndViewer();
    WriteBytes(kCore, "old edition");
    FileHolder holder(kCore);
    ASSERT_TRUE(holder.Holding());

    // The edited file is newer than the package's: "Заменить все" once,
    // and no further question for the rest of the run.
    int questions = 0;
    testfiles::ReplaceAnswerer replace([&questions](const ReplaceQuestion&) {
        ++questions;
        return 3;
    });
    const std::size_t start = LogSize();
    ASSERT_TRUE(LoadPackage(AS_INST));
    App().Mode = AS_REP;
    SelectInstalled();
    OwnerWindow page;
    RecordingView view;
    view.owner = page.get();
    ASSERT_EQ(RunEngine(view), EngineOutcome::Completed);
    EXPECT_EQ(questions, 1);
    EXPECT_EQ(App().RestartNeeded, 1);
    EXPECT_EQ(App().RestartRequestedByProgram, 0);

    // Step 5 queued the deletion, step 9 the rename behind it, once each.
    EXPECT_EQ(Queued(kCore, L""), 1);
    EXPECT_EQ(Queued(kCoreCopy, kCore), 1);
    EXPECT_LT(QueuePosition(kCore, L""), QueuePosition(kCoreCopy, kCore));
    const std::wstring log = LogSince(start);
    EXPECT_NE(log.find(L"]: Don't move file: " + kCore + L"\r\n\r\n"), std::wstring::npos);
    // Registration and the programs after wait for the restart.
    EXPECT_TRUE(ContainsInOrder(log, StepLines(L"AS_REP", {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 15})));
    EXPECT_EQ(log.find(L"Step 13 - "), std::wstring::npos);
    EXPECT_EQ(log.find(L"Step 14 - "), std::wstring::npos);
    EXPECT_EQ(BusvaultServerPath(), L"");  // unregistered in step 4, not yet registered again
    EXPECT_EQ(ReadBytes(kCore), "old edition");
    EXPECT_TRUE(Exists(kCoreCopy));

    // A second attempt in the same state queues nothing more.
    DeleteOrDefer(kCore);
    ReplaceOrDefer(kCore, kCoreCopy);
    EXPECT_EQ(Queued(kCore, L""), 1);
    EXPECT_EQ(Queued(kCoreCopy, kCore), 1);

    // The restart: Wine performs the queue.
    holder.Release();
    ASSERT_TRUE(PerformRestartOperations());
    EXPECT_EQ(ReadBytes(kCore), "core file, first edition\r\n");
    EXPECT_FALSE(Exists(kCoreCopy));
    EXPECT_EQ(Queued(kCore, L""), 0);

    // The continuation: "/r" in an installation.
    ::DeleteFileW((std::wstring(kMarkers) + L"core_after").c_str());
    const std::size_t resumed = LogSize();
    ASSERT_TRUE(LoadPackage(AS_INST, true));
    SelectInstalled();
    RecordingView again;
    ASSERT_EQ(RunEngine(again), EngineOutcome::Completed);
    EXPECT_EQ(again.OverallPosition(), 15);
    EXPECT_FALSE(again.BarOverrun());
    const std::wstring continuation = LogSince(resumed);
    EXPECT_TRUE(ContainsInOrder(continuation, StepLines(L"AS_INST", {1, 2, 13, 14, 15})));
    for (int skipped : {3, 4, 5, 6, 7, 8, 9, 10, 11, 12})
        EXPECT_EQ(continuation.find(L"Step " + std::to_wstring(skipped) + L" - "), std::wstring::npos) << skipped;
    EXPECT_TRUE(Exists(std::wstring(kMarkers) + L"core_after"));
    ExpectInstaller(true);
    ExpectCore(true);
    ExpectViewer(true);
}

TEST_F(EngineCycle, RemovalWithAFileInUseFinishesAfterTheRestart) {
    InstallCoreAndViewer();
    FileHolder holder(kCore);
    ASSERT_TRUE(holder.Holding());

    const std::size_t start = LogSize();
    ASSERT_TRUE(LoadPackage(AS_DEL));
    SelectInstalled();
    RecordingView view;
    ASSERT_EQ(RunEngine(view), EngineOutcome::Completed);
    EXPECT_EQ(App().RestartNeeded, 1);
    EXPECT_EQ(Queued(kCore, L""), 1);
    // Registry data, programs after and the package key wait for the
    // continuation; the uninstall entry goes now.
    const std::wstring log = LogSince(start);
    EXPECT_TRUE(ContainsInOrder(log, StepLines(L"AS_DEL", {1, 2, 4, 5, 7, 8, 15})));
    EXPECT_EQ(log.find(L"Step 6 - "), std::wstring::npos);
    EXPECT_EQ(log.find(L"Step 14 - "), std::wstring::npos);
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, kPackageKey));
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, std::wstring(kPackageKey) + L"\\Core\\1.0"));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kUninstallKey));

    holder.Release();
    ASSERT_TRUE(PerformRestartOperations());
    EXPECT_FALSE(Exists(kCore));

    // The continuation of a removal, as the program run carries it out.
    const std::size_t resumed = LogSize();
    ASSERT_TRUE(LoadPackage(AS_DEL, true));
    ContinueRemoval();
    RestoreNormalPriority();
    EXPECT_TRUE(WaitUntilGone(kInstall));

    EXPECT_TRUE(ContainsInOrder(LogSince(resumed), {StepLines(L"AS_DEL", {1})[1], StepLines(L"AS_DEL", {6})[1],
                                                     StepLines(L"AS_DEL", {14})[1]}));
    EXPECT_TRUE(Exists(std::wstring(kMarkers) + L"core_removed"));
    ExpectNothingLeft();
}

}  // namespace
}  // namespace enginetest
