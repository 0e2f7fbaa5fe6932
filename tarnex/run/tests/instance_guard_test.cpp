// The single-instance guard: the shared block's layout, registration and
// the check across two real processes (this program started again as the
// holder of the block), runs started at the same moment, captions cut to
// their field, window activation.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "run/program_run.h"
#include "services/app_context.h"
#include "services/instance_guard.h"
#include "services/message_box.h"
#include "tests/support/message_recorder.h"
#include "tests/support/test_files.h"
#include "vrel/bounded_copy.h"
#include "vrel/unique_handle.h"

namespace tarnex {
namespace {

constexpr wchar_t kHoldSwitch[] = L"--hold-guard";
constexpr wchar_t kRaceSwitch[] = L"--race";
constexpr int kWentOn = 1;
constexpr int kToldAboutRacer = 10;  // + the number of the racer named in the text kOtherInstallerRunning

// The block as another process sees it, read through its own view.
bool ReadBlock(GuardBlock& block) {
    vrel::unique_handle mapping(::OpenFileMappingW(FILE_MAP_READ, FALSE, kGuardMappingName));
    if (!mapping) return false;
    vrel::unique_view view(::MapViewOfFile(mapping.get(), FILE_MAP_READ, 0, 0, sizeof block));
    if (!view) return false;
    std::memcpy(&block, view.get(), sizeof block);
    return true;
}

// Another process of this program holding the block with a caption and,
// when asked, a window of its own.
class Holder {
public:
    Holder(const std::wstring& caption, bool withWindow) {
        ready_.reset(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
        stop_.reset(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
        ::SetHandleInformation(ready_.get(), HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
        ::SetHandleInformation(stop_.get(), HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
        std::wstring command = L"\"" + testfiles::TestProgramPath() + L"\" " + kHoldSwitch + L" " +
                               std::to_wstring(reinterpret_cast<std::uintptr_t>(ready_.get())) + L" " +
                               std::to_wstring(reinterpret_cast<std::uintptr_t>(stop_.get())) + L" " +
                               (withWindow ? L"1" : L"0") + L" " + caption;
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION info{};
        if (::CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &info)) {
            process_.reset(info.hProcess);
            vrel::unique_handle thread(info.hThread);
            HANDLE waits[] = {ready_.get(), process_.get()};
            ready = ::WaitForMultipleObjects(2, waits, FALSE, 20000) == WAIT_OBJECT_0;
        }
    }
    ~Holder() { Stop(); }
    void Stop() {
        if (!process_) return;
        ::SetEvent(stop_.get());
        ::WaitForSingleObject(process_.get(), 20000);
        process_.reset();
    }
    bool ready = false;

private:
    vrel::unique_handle ready_, stop_, process_;
};

HANDLE HandleArgument(const wchar_t* text) {
    return reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(std::wcstoull(text, nullptr, 10)));
}

// The holder's side: registers, signals, keeps its window and the block
// until told to stop.
int HoldGuard(int argc, wchar_t** argv) {
    if (argc < 6) return 3;
    HANDLE ready = HandleArgument(argv[2]);
    HANDLE stop = HandleArgument(argv[3]);
    const bool withWindow = std::wcscmp(argv[4], L"1") == 0;
    std::wstring caption = argv[5];
    for (int i = 6; i < argc; ++i) caption += std::wstring(L" ") + argv[i];

    HWND window = nullptr;
    if (withWindow) {
        window = ::CreateWindowExW(0, L"STATIC", caption.c_str(), WS_OVERLAPPEDWINDOW | WS_VISIBLE, 10, 10, 300, 100,
                                   nullptr, nullptr, nullptr, nullptr);
    }
    InstanceGuard guard(kGuardKindTarnex);
    if (!guard.CheckOtherInstance(TextId::kOtherInstallerRunning, ::GetModuleHandleW(nullptr), L"holder")) return 4;
    if (!guard.Register(nullptr, caption.c_str())) return 5;
    // Like the program: registered first without a window, which comes later.
    if (window && !guard.UpdateOwnerWindow(window, caption.c_str())) return 6;
    ::SetEvent(ready);
    for (;;) {
        const DWORD r = ::MsgWaitForMultipleObjects(1, &stop, FALSE, INFINITE, QS_ALLINPUT);
        if (r == WAIT_OBJECT_0) break;
        MSG msg;
        while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageW(&msg);
    }
    if (window) ::DestroyWindow(window);
    return 0;
}

// A racer's side: released with the others, it claims the machine as the
// program's start-up does. The one that goes on holds the block until told
// to stop; the others end at once, with the number of the racer they were
// told about.
int Race(int argc, wchar_t** argv) {
    if (argc != 6) return 3;
    App().Instance = ::GetModuleHandleW(nullptr);
    const std::wstring caption = std::wstring(L"Racer ") + argv[4];
    vrel::CopyToField(App().Caption, std::wstring_view(caption));
    testfiles::MessageRecorder boxes;
    ::ReleaseSemaphore(HandleArgument(argv[5]), 1, nullptr);  // at the start line
    if (::WaitForSingleObject(HandleArgument(argv[2]), 30000) != WAIT_OBJECT_0) return 4;
    if (ClaimSingleInstance()) {
        ::WaitForSingleObject(HandleArgument(argv[3]), 30000);
        return kWentOn;
    }
    const std::wstring told = boxes.Count() == 1 ? boxes.Shown()[0].text : L"";
    const std::size_t at = told.find(L"<<Racer ");
    return at == std::wstring::npos ? 2 : kToldAboutRacer + std::wcstol(told.c_str() + at + 8, nullptr, 10);
}

class InstanceGuardTest : public ::testing::Test {
protected:
    void SetUp() override {
        App().Instance = ::GetModuleHandleW(nullptr);
    }
    testfiles::MessageRecorder boxes_;
};

TEST_F(InstanceGuardTest, WindowHandlesSurviveTheBlocksThirtyTwoBits) {
    for (std::uintptr_t raw : {std::uintptr_t{0}, std::uintptr_t{0x10064}, std::uintptr_t{0x7FFFFFFE}}) {
        HWND window = reinterpret_cast<HWND>(raw);
        EXPECT_EQ(UnpackWindow(PackWindow(window)), window);
    }
}

TEST_F(InstanceGuardTest, FirstRunFindsNoneAndOwnsTheBlock) {
    InstanceGuard guard(kGuardKindTarnex);
    EXPECT_EQ(guard.CheckState(), InstanceGuard::kUnchecked);
    EXPECT_EQ(guard.UpdateOwnerWindow(nullptr, L"x"), 0) << "no mapping yet";
    ASSERT_EQ(guard.CheckOtherInstance(TextId::kOtherInstallerRunning, App().Instance, L"me"), 1);
    EXPECT_EQ(guard.CheckState(), InstanceGuard::kNoneFound);
    EXPECT_EQ(boxes_.Count(), 0u);

    ASSERT_EQ(guard.Register(nullptr, L"Установка продукта"), 1);
    EXPECT_TRUE(guard.Owner());
    EXPECT_EQ(guard.Register(nullptr, L"again"), 0) << "a second Register on the same object";

    GuardBlock block{};
    ASSERT_TRUE(ReadBlock(block));
    EXPECT_EQ(block.Kind, 5u);
    EXPECT_EQ(block.Window, 0u);
    EXPECT_STREQ(block.Caption, L"Установка продукта");
    EXPECT_EQ(block.Reserved1, 0u);
    EXPECT_EQ(block.Reserved2, 0u);

    const HWND window = reinterpret_cast<HWND>(std::uintptr_t{0x20032});
    ASSERT_EQ(guard.UpdateOwnerWindow(window, L"Мастер"), 1);
    ASSERT_TRUE(ReadBlock(block));
    EXPECT_EQ(block.Window, 0x20032u);
    EXPECT_STREQ(block.Caption, L"Мастер") << "a shorter caption leaves no rest of the longer one";
}

TEST_F(InstanceGuardTest, CaptionIsCutTo259Characters) {
    InstanceGuard guard(kGuardKindTarnex);
    const std::wstring longCaption(300, L'Ж');
    ASSERT_EQ(guard.Register(nullptr, longCaption.c_str()), 1);
    GuardBlock block{};
    ASSERT_TRUE(ReadBlock(block));
    EXPECT_EQ(std::wstring(block.Caption), std::wstring(259, L'Ж'));
    EXPECT_EQ(block.Reserved1, 0u) << "nothing written past the caption";

    ASSERT_EQ(guard.UpdateOwnerWindow(nullptr, std::wstring(400, L'Z').c_str()), 1);
    ASSERT_TRUE(ReadBlock(block));
    EXPECT_EQ(std::wstring(block.Caption), std::wstring(259, L'Z'));
    EXPECT_EQ(block.Reserved1, 0u);
    EXPECT_EQ(block.Reserved2, 0u);
}

TEST_F(InstanceGuardTest, SecondProcessIsToldTheFirstOnesCaption) {
    Holder holder(L"Первый инсталлятор", false);
    ASSERT_TRUE(holder.ready);

    InstanceGuard guard(kGuardKindTarnex);
    EXPECT_EQ(guard.CheckOtherInstance(TextId::kOtherInstallerRunning, App().Instance, L"Second caption"), 0);
    EXPECT_EQ(guard.CheckState(), InstanceGuard::kOtherFound);
    ASSERT_EQ(boxes_.Count(), 1u);
    EXPECT_EQ(boxes_.Shown()[0].text,
              L"На Вашей машине уже запущен инсталлятор:\n<<Первый инсталлятор>>.\n Приложение завершает свою работу.");
    EXPECT_EQ(boxes_.Shown()[0].question, Question::kOtherInstallerRunning);
    EXPECT_EQ(boxes_.Shown()[0].caption, L"Second caption");
    EXPECT_EQ(boxes_.Shown()[0].owner, nullptr);
    EXPECT_EQ(boxes_.Shown()[0].type, static_cast<UINT>(MB_OK));

    // Started at the same moment: this one's Register finds the block taken,
    // does not own it and cannot overwrite the other run's window.
    InstanceGuard racer(kGuardKindTarnex);
    EXPECT_EQ(racer.Register(nullptr, L"racer"), 0);
    EXPECT_FALSE(racer.Owner());
    EXPECT_EQ(racer.UpdateOwnerWindow(reinterpret_cast<HWND>(std::uintptr_t{0x4242}), L"racer"), 0);
    GuardBlock block{};
    ASSERT_TRUE(ReadBlock(block));
    EXPECT_STREQ(block.Caption, L"Первый инсталлятор");

    holder.Stop();
    InstanceGuard after(kGuardKindTarnex);
    EXPECT_EQ(after.CheckOtherInstance(TextId::kOtherInstallerRunning, App().Instance, L"after"), 1)
        << "the block goes with the process that owned it";
}

TEST_F(InstanceGuardTest, OfRunsStartedAtTheSameMomentExactlyOneGoesOn) {
    constexpr int kRounds = 12;
    constexpr int kRacers = 4;
    for (int round = 0; round < kRounds; ++round) {
        vrel::unique_handle go(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
        vrel::unique_handle stop(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
        vrel::unique_handle waiting(::CreateSemaphoreW(nullptr, 0, kRacers, nullptr));
        for (HANDLE h : {go.get(), stop.get(), waiting.get()}) ::SetHandleInformation(h, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
        std::vector<vrel::unique_handle> racers;
        for (int k = 0; k < kRacers; ++k) {
            std::wstring command = L"\"" + testfiles::TestProgramPath() + L"\" " + kRaceSwitch + L" " +
                                   std::to_wstring(reinterpret_cast<std::uintptr_t>(go.get())) + L" " +
                                   std::to_wstring(reinterpret_cast<std::uintptr_t>(stop.get())) + L" " +
                                   std::to_wstring(k) + L" " +
                                   std::to_wstring(reinterpret_cast<std::uintptr_t>(waiting.get()));
            STARTUPINFOW startup{};
            startup.cb = sizeof startup;
            PROCESS_INFORMATION info{};
            ASSERT_TRUE(::CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                                         &info));
            racers.emplace_back(info.hProcess);
            vrel::unique_handle thread(info.hThread);
        }
        for (int k = 0; k < kRacers; ++k)
            ASSERT_EQ(::WaitForSingleObject(waiting.get(), 30000), WAIT_OBJECT_0) << "racers at the start line: " << k;
        ::SetEvent(go.get());
        // The runs that end do so at once; the one that goes on waits.
        int ended = 0;
        for (int wait = 0; wait < 300 && ended < kRacers - 1; ++wait) {
            ended = 0;
            for (const auto& racer : racers) ended += ::WaitForSingleObject(racer.get(), 0) == WAIT_OBJECT_0;
            if (ended < kRacers - 1) ::Sleep(50);
        }
        ::SetEvent(stop.get());
        std::vector<DWORD> codes;
        int winner = -1;
        for (int k = 0; k < kRacers; ++k) {
            ASSERT_EQ(::WaitForSingleObject(racers[k].get(), 30000), WAIT_OBJECT_0);
            DWORD code = 0;
            ::GetExitCodeProcess(racers[k].get(), &code);
            codes.push_back(code);
            if (code == kWentOn) winner = k;
        }
        ASSERT_EQ(std::count(codes.begin(), codes.end(), static_cast<DWORD>(kWentOn)), 1) << "round " << round;
        for (int k = 0; k < kRacers; ++k) {
            if (k == winner) continue;
            EXPECT_EQ(codes[k], static_cast<DWORD>(kToldAboutRacer + winner)) << "round " << round;
        }
    }
}

TEST_F(InstanceGuardTest, LongCaptionOfTheOtherRunIsShownWhole) {
    const std::wstring caption(259, L'Q');
    Holder holder(caption, false);
    ASSERT_TRUE(holder.ready);
    InstanceGuard guard(kGuardKindTarnex);
    EXPECT_EQ(guard.CheckOtherInstance(TextId::kOtherInstallerRunning, App().Instance, L"x"), 0);
    ASSERT_EQ(boxes_.Count(), 1u);
    EXPECT_NE(boxes_.Shown()[0].text.find(L"<<" + caption + L">>.\n Приложение"), std::wstring::npos)
        << "formatting a full caption does not overrun or cut the message";
}

TEST_F(InstanceGuardTest, OtherRunsWindowIsBroughtToTheFront) {
    if (!::GetEnvironmentVariableW(L"DISPLAY", nullptr, 0)) GTEST_SKIP() << "needs a display";
    Holder holder(L"Окно первого", true);
    ASSERT_TRUE(holder.ready);
    GuardBlock block{};
    ASSERT_TRUE(ReadBlock(block));
    const HWND other = UnpackWindow(block.Window);
    ASSERT_TRUE(::IsWindow(other));

    HWND mine = ::CreateWindowExW(0, L"STATIC", L"second", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 50, 50, 200, 80,
                                  nullptr, nullptr, nullptr, nullptr);
    ::SetForegroundWindow(mine);
    InstanceGuard guard(kGuardKindTarnex);
    EXPECT_EQ(guard.CheckOtherInstance(TextId::kOtherInstallerRunning, App().Instance, L"x"), 0);
    // The activation reaches the other process through the window system.
    HWND front = nullptr;
    for (int i = 0; i < 40 && front != other; ++i) {
        MSG msg;
        while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageW(&msg);
        front = ::GetForegroundWindow();
        if (front != other) ::Sleep(50);
    }
    EXPECT_EQ(front, other);
    ::DestroyWindow(mine);
}

}  // namespace
}  // namespace tarnex

int wmain(int argc, wchar_t** argv) {
    if (argc >= 2 && std::wcscmp(argv[1], tarnex::kHoldSwitch) == 0) return tarnex::HoldGuard(argc, argv);
    if (argc >= 2 && std::wcscmp(argv[1], tarnex::kRaceSwitch) == 0) return tarnex::Race(argc, argv);
    ::testing::InitGoogleMock(&argc, argv);
    return RUN_ALL_TESTS();
}
