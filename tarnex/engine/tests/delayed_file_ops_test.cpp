// Deleting and renaming package files now or at the next start of Windows;
// the "atl.dll" rule and the guard on target names.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "../../../testsupport/registry_values.h"
#include "description/setup_description.h"
#include "engine/delayed_file_ops.h"
#include "engine/portable/pending_rename_rule.h"
#include "services/app_context.h"
#include "tests/support/test_files.h"
#include "vrel/bounded_copy.h"
#include "vrel/text_convert.h"
#include "vrel/unique_handle.h"

namespace tarnex {
namespace {

class DelayedFileOps : public ::testing::Test {
protected:
    void SetUp() override {
        wchar_t temp[MAX_PATH];
        ::GetTempPathW(MAX_PATH, temp);
        folder_ = std::wstring(temp) + L"vrel_engine_delayed\\";
        ::CreateDirectoryW(folder_.c_str(), nullptr);
        // The log of these cases goes to the test folder, not the current one.
        vrel::CopyToField(App().WindowsFolder, std::wstring_view(folder_));
        App().RestartNeeded = 0;
    }
    void TearDown() override {
        App().RestartNeeded = 0;
        for (const wchar_t* name : {L"readonly.txt", L"final.txt", L"vrel_final.txt", L"busy.txt", L"vrel_busy.txt", L"Занят.txt", L"vrel_Занят.txt",
                                 L"VrelTARNEX.log"})
            ::DeleteFileW((folder_ + name).c_str());
        ::RemoveDirectoryW(folder_.c_str());
    }

    std::wstring Make(const wchar_t* name, DWORD attributes = FILE_ATTRIBUTE_NORMAL) {
        const std::wstring path = folder_ + name;
        ::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        HANDLE h = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, attributes, nullptr);
        ::CloseHandle(h);
        return path;
    }
    static bool Exists(const std::wstring& path) { return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }
    void QueueOnceWalk(const wchar_t* name);

    std::wstring folder_;
};

TEST_F(DelayedFileOps, ReadOnlyFileIsDeletedWithoutRestart) {
    const std::wstring path = Make(L"readonly.txt", FILE_ATTRIBUTE_READONLY);
    DeleteOrDefer(path);
    EXPECT_FALSE(Exists(path));
    EXPECT_EQ(App().RestartNeeded, 0);
    DeleteOrDefer(path);  // already gone: no error, no restart
    DeleteOrDefer(folder_ + L"missing\\x.txt");
    EXPECT_EQ(App().RestartNeeded, 0);
}

TEST_F(DelayedFileOps, ReplaceMovesTheTemporaryCopyOverTheFinalFile) {
    const std::wstring final = folder_ + L"final.txt";
    const std::wstring temporary = folder_ + L"vrel_final.txt";
    testfiles::WriteBytes(final, "the old version");
    testfiles::WriteBytes(temporary, "the new version");
    ReplaceOrDefer(final, temporary);
    EXPECT_EQ(testfiles::ReadBytes(final), "the new version");
    EXPECT_FALSE(Exists(temporary));
    EXPECT_EQ(App().RestartNeeded, 0);
}

// A file in use: its deletion and the rename of its copy are queued once;
// asked again, nothing more is queued.
void DelayedFileOps::QueueOnceWalk(const wchar_t* name) {
    const std::wstring path = Make(name);
    const std::wstring copy = Make((std::wstring(L"vrel_") + name).c_str());
    HANDLE busy = ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(busy, INVALID_HANDLE_VALUE);
    ::RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, kSessionManagerKey, kPendingOperationsValue);
    EXPECT_EQ(PendingRenameQuery(path, copy, true), kQueueDeletion | kQueueRename);

    DeleteOrDefer(path);
    EXPECT_EQ(App().RestartNeeded, 1);
    EXPECT_TRUE(Exists(path));
    EXPECT_EQ(PendingRenameQuery(path, L"", false), kQueueRename);  // the deletion is queued
    ReplaceOrDefer(path, copy);
    EXPECT_EQ(PendingRenameQuery(path, copy, true), 0);  // and the rename behind it
    EXPECT_TRUE(Exists(copy));

    // The value holds the deletion pair and the rename pair, once each.
    auto pending = [] {
        return testsupport::ReadRegistryValue(HKEY_LOCAL_MACHINE, kSessionManagerKey, kPendingOperationsValue);
    };
    const testsupport::RegistryValue value = pending();
    ASSERT_TRUE(value.present);
    EXPECT_EQ(value.type, static_cast<DWORD>(REG_MULTI_SZ));
    const std::wstring expected = L"\\??\\" + path + L'\0' + L'\0' + L"\\??\\" + copy + L'\0' + L"\\??\\" + path + L'\0';
    // TextOf drops the closing zeros, the one after the last name among them.
    EXPECT_EQ((testsupport::TextOf(value) + L'\0').substr(0, expected.size()), expected);
    DeleteOrDefer(path);
    ReplaceOrDefer(path, copy);
    EXPECT_EQ(pending().bytes.size(), value.bytes.size());

    ::CloseHandle(busy);
    ::RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, kSessionManagerKey, kPendingOperationsValue);
}

TEST_F(DelayedFileOps, FileInUseIsQueuedOnceAndAskedForAgainNever) { QueueOnceWalk(L"busy.txt"); }

// The queue is matched in the ANSI code page: Cyrillic paths on a Russian
// system are matched like any other.
TEST_F(DelayedFileOps, CyrillicFileInUseIsQueuedOnceToo) {
    if (!vrel::RepresentableInAnsi(L"Занят")) GTEST_SKIP() << "needs an ANSI code page with Cyrillic letters";
    QueueOnceWalk(L"Занят.txt");
}

// Step 9 over more records than one slice of its two threads: copies renamed
// into free places, a place taken since step 3 looked (replaced the full
// way), a held file (queued), a record without a copy; the progress advances
// once a record.
TEST_F(DelayedFileOps, StepNinePutsEveryCopyInPlaceOverSeveralSlices) {
    const std::size_t count = kQuickRenameSlice * 2 + 7, taken = kQuickRenameSlice + 3, held = count - 6;
    const testfiles::ScratchFolder work(L"step9");
    const auto name = [&work](std::size_t i, const wchar_t* prefix = L"") {
        return work / (prefix + std::wstring(L"f") + std::to_wstring(i) + L".txt");
    };
    SetupDescription description;
    description.FileList.resize(count);
    for (std::size_t i = 0; i < count; ++i) {
        FileRecord& record = description.FileList[i];
        vrel::CopyToField(record.TargetFolder, std::wstring_view(work.Path()));
        vrel::CopyToField(record.TargetName, std::wstring_view(name(i).substr(work.Path().size())));
        record.Extracted = i != 5;
        record.PlaceFree = 1;
        if (record.Extracted) testfiles::WriteBytes(name(i, L"vrel_"), "new " + std::to_string(i));
    }
    testfiles::WriteBytes(name(taken), "old");
    testfiles::WriteBytes(name(held), "old");
    vrel::unique_hfile busy(::CreateFileW(name(held).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(busy);
    ::RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, kSessionManagerKey, kPendingOperationsValue);

    std::size_t advanced = 0;
    ReplaceExtractedFiles(description, [&advanced] { ++advanced; });
    busy.reset();
    EXPECT_EQ(advanced, count);
    EXPECT_EQ(App().RestartNeeded, 1);
    EXPECT_EQ(PendingRenameQuery(name(held), name(held, L"vrel_"), true), 0);
    for (std::size_t i = 0; i < count; ++i) {
        const std::string expected = i == 5 ? "" : i == held ? "old" : "new " + std::to_string(i);
        EXPECT_EQ(testfiles::ReadBytes(name(i)), expected) << i;
        EXPECT_EQ(Exists(name(i, L"vrel_")), i == held) << i;
    }
    ::RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, kSessionManagerKey, kPendingOperationsValue);
}

TEST(AtlRule, AnyLetterCase) {
    EXPECT_TRUE(IsAtlDll(L"atl.dll"));
    EXPECT_TRUE(IsAtlDll(L"ATL.Dll"));
    EXPECT_FALSE(IsAtlDll(L"atl.dll.bak"));
    EXPECT_FALSE(IsAtlDll(L"myatl.dll"));
}

TEST(TargetNameGuard, NamesThatLeaveTheirFolderAndRefusedFoldersAreRefused) {
    FileRecord record;
    for (const wchar_t* bad : {L"..\\evil.txt", L"C:\\evil.txt", L"\\evil.txt", L"sub\\..\\..\\evil.txt", L"d:evil"}) {
        wcscpy_s(record.TargetName, bad);
        EXPECT_FALSE(FileAccepted(record)) << bad;
    }
    wcscpy_s(record.TargetName, L"sub\\good.txt");
    EXPECT_TRUE(FileAccepted(record));
    record.PathRefused = 1;
    EXPECT_FALSE(FileAccepted(record));
}

}  // namespace
}  // namespace tarnex
