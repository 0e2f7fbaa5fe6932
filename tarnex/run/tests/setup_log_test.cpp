// The setup log: entry format, encoding, appending, the open failure with
// kLogCannotOpen, trimming at 1 MiB, and writers on two threads.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "run_test_support.h"
#include "services/app_context.h"
#include "services/message_box.h"
#include "services/setup_log.h"
#include "vrel/bounded_copy.h"
#include "vrel/unique_handle.h"

namespace tarnex {
namespace {

using ::testing::HasSubstr;
using ::testing::StartsWith;
using namespace tarnex::testing;

class SetupLogTest : public ::testing::Test {
protected:
    void SetUp() override {
        App().Instance = ::GetModuleHandleW(nullptr);
        vrel::CopyToField(App().Caption, std::wstring_view(L"Log test"));
        // The log lives in the Windows folder; the tests point that at a
        // folder of their own.
        folder_ = MakeScratchFolder(L"setup_log");
        vrel::CopyToField(App().WindowsFolder, std::wstring_view(folder_));
    }
    void TearDown() override {
        StartRunLog(L"");  // a path that cannot be made: no run log for the next case
        RemoveTree(folder_);
    }
    std::wstring Log() const { return ReadLog(LogPath()); }

    std::wstring folder_;
    MessageRecorder boxes_;
    MessageRequest Last() const { return boxes_.Shown().back(); }
};

TEST_F(SetupLogTest, EntryIsStampedDayMonthYearTime) {
    SYSTEMTIME t{};
    t.wYear = 2003;
    t.wMonth = 3;
    t.wDay = 5;
    t.wHour = 9;
    t.wMinute = 7;
    t.wSecond = 2;
    EXPECT_EQ(FormatLogEntry(t, L"Install State = AS_INST"), L"[05.03.2003 09:07:02]: Install State = AS_INST\r\n");
    EXPECT_EQ(FormatLogEntry(t, L""), L"[05.03.2003 09:07:02]: \r\n");
    t.wDay = 31;
    t.wMonth = 12;
    t.wHour = 23;
    t.wMinute = 59;
    t.wSecond = 59;
    EXPECT_EQ(FormatLogEntry(t, L"x"), L"[31.12.2003 23:59:59]: x\r\n");
}

TEST_F(SetupLogTest, PathIsTheWindowsFolderAndTheLogName) {
    EXPECT_EQ(LogPath(), folder_ + L"VrelTARNEX.log");
}

TEST_F(SetupLogTest, EntriesAreAppendedAsUtf16WithoutByteOrderMark) {
    EXPECT_EQ(WriteLog(L"first"), 1);
    EXPECT_EQ(WriteLog(L"Установка\r\n"), 1);
    EXPECT_EQ(WriteLog(L""), 1);
    const std::string bytes = ReadBytes(LogPath());
    ASSERT_GE(bytes.size(), 4u);
    EXPECT_EQ(bytes[0], '[');  // no FF FE in front
    EXPECT_EQ(bytes[1], '\0');
    EXPECT_EQ(bytes.size() % 2, 0u);

    const std::wstring log = Log();
    EXPECT_EQ(log.back(), L'\n');
    const std::size_t first = log.find(L"]: first\r\n");
    const std::size_t second = log.find(L"]: Установка\r\n\r\n[");  // a text ending in CR LF leaves an empty line
    const std::size_t third = log.rfind(L"]: \r\n");
    ASSERT_NE(first, std::wstring::npos);
    ASSERT_NE(second, std::wstring::npos);
    ASSERT_NE(third, std::wstring::npos);
    EXPECT_LT(first, second);
    EXPECT_LT(second, third);
    EXPECT_EQ(log.find(L'\0'), std::wstring::npos) << "no terminator is written";
    EXPECT_EQ(boxes_.Count(), 0u);
}

TEST_F(SetupLogTest, FormattedEntryTakesWideTexts) {
    EXPECT_EQ(WriteLogF(L"Install State = %s\r\n", L"AS_DEL"), 1);
    EXPECT_THAT(Log(), HasSubstr(L"]: Install State = AS_DEL\r\n\r\n"));
}

TEST_F(SetupLogTest, FileHeldOpenShowsString2AndTheEntryIsLost) {
    ASSERT_EQ(WriteLog(L"before"), 1);
    {
        vrel::unique_hfile holder(::CreateFileW(LogPath().c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(holder);
        EXPECT_EQ(WriteLog(L"lost"), 0);
        EXPECT_EQ(WriteLog(L"lost again"), 0);
    }
    {  // held for a moment, as by a reader of the log: the entry waits, and no box
        // The holder lets go once the entry is in the run log, which is
        // written just before the log is opened.
        const std::wstring runLog = folder_ + L"run.log";
        ASSERT_TRUE(StartRunLog(runLog));
        vrel::unique_hfile holder(::CreateFileW(LogPath().c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(holder);
        std::thread release([&holder, &runLog] {
            const ULONGLONG deadline = ::GetTickCount64() + 10000;
            while (ReadBytes(runLog).find("waited for") == std::string::npos && ::GetTickCount64() < deadline)
                ::Sleep(1);
            holder.reset();
        });
        EXPECT_EQ(WriteLog(L"waited for"), 1);
        release.join();
    }
    EXPECT_EQ(boxes_.Count(), 2u) << "every failed write tells the user again";
    EXPECT_EQ(Last().text, L"Не удается открыть Log-файл " + LogPath() +
                              L".\nРабота приложения будет продолжена без записи в Log-файл.");
    EXPECT_EQ(Last().caption, L"Log test");
    EXPECT_EQ(Last().owner, nullptr);
    EXPECT_EQ(Last().type, static_cast<UINT>(MB_OK | MB_ICONEXCLAMATION));

    EXPECT_EQ(WriteLog(L"after"), 1);
    const std::wstring log = Log();
    EXPECT_THAT(log, HasSubstr(L"]: before\r\n"));
    EXPECT_THAT(log, HasSubstr(L"]: after\r\n"));
    EXPECT_THAT(log, HasSubstr(L"]: waited for\r\n"));
    EXPECT_EQ(log.find(L"lost"), std::wstring::npos);
}

TEST_F(SetupLogTest, MissingFolderFailsWithString2) {
    vrel::CopyToField(App().WindowsFolder, std::wstring_view(folder_ + L"no such folder\\"));
    EXPECT_EQ(WriteLog(L"x"), 0);
    EXPECT_EQ(boxes_.Count(), 1u);
}

TEST_F(SetupLogTest, TrimDeletesOnlyALogLargerThanOneMebibyte) {
    TrimLog();  // no log: nothing happens
    EXPECT_FALSE(Exists(LogPath()));

    WriteBytes(LogPath(), std::string(1048576, 'a'));
    TrimLog();
    ASSERT_TRUE(Exists(LogPath())) << "exactly 1 MiB stays";
    EXPECT_EQ(ReadBytes(LogPath()).size(), 1048576u);

    WriteBytes(LogPath(), std::string(1048577, 'a'));
    TrimLog();
    EXPECT_FALSE(Exists(LogPath())) << "one byte more is deleted";

    EXPECT_EQ(WriteLog(L"fresh"), 1);
    EXPECT_THAT(Log(), StartsWith(L"["));
}

TEST_F(SetupLogTest, TwoWritersLoseEntriesOnlyWithAMessage) {
    constexpr int kPerThread = 300;
    std::atomic<int> written{0};
    auto writer = [&](const wchar_t* name) {
        for (int i = 0; i < kPerThread; ++i) written += WriteLog(std::wstring(name) + L" entry");
    };
    std::thread a(writer, L"worker");
    std::thread b(writer, L"wizard");
    a.join();
    b.join();
    EXPECT_EQ(written + static_cast<int>(boxes_.Count()), 2 * kPerThread) << "each entry is written or reported";

    // Whole entries only: every line is one complete entry.
    const std::wstring log = Log();
    int entries = 0;
    for (std::size_t at = 0; at < log.size();) {
        const std::size_t end = log.find(L"\r\n", at);
        ASSERT_NE(end, std::wstring::npos);
        const std::wstring line = log.substr(at, end - at);
        EXPECT_TRUE(line.size() == 33 || line.size() == 35) << "torn entry: " << std::string(line.begin(), line.end());
        EXPECT_EQ(line[0], L'[');
        ++entries;
        at = end + 2;
    }
    EXPECT_EQ(entries, written.load());
}

}  // namespace
}  // namespace tarnex
