// Cancel on the progress page while files are unpacked, answered through the
// real page, and the race the page's thread must survive: a cancel request
// that arrives while the worker opens the replace question, which is owned
// by the page.
#include <gtest/gtest.h>

#include <cstdio>

#include "engine_test_support.h"
#include "ui/replace_dialog_ids.h"
#include "ui/wizard_ids.h"
#include "vrel/text_convert.h"
#include "wizard_fixture.h"

namespace wizardtest {
namespace {

using namespace enginetest;
using namespace tarnex::uidriver;

const wchar_t kCancelQuestion[] = L"Установка еще не закончена. Вы действительно хотите прервать установку?";

void WalkToProgress(WizardRun& run) {
    for (const Page page : {Page::Welcome, Page::Folder, Page::Components, Page::Summary}) {
        ASSERT_EQ(run.WaitForPage(page), page);
        run.Next();
    }
    ASSERT_EQ(run.WaitForPage(Page::Progress), Page::Progress);
}

HWND ReplaceQuestion(WizardRun& run, DWORD timeoutMs) {
    return WaitForDialogWith(run.Id(), IDC_EXISTING_PATH, timeoutMs);
}

// A file newer than the package's at Core's target: step 3 asks about it
// and waits there until the test answers.
void PutNewerCoreFile() { WriteBytes(std::wstring(kInstall) + L"core.txt", "newer edition"); }

// Walks to that question and presses Cancel while it is open; the cancel
// question waits for the worker's next safe point, after the answer.
HWND CancelWhileAskedAboutCore(WizardRun& run) {
    WalkToProgress(run);
    HWND replace = ReplaceQuestion(run, kWaitMs);
    if (replace == nullptr) return nullptr;
    EXPECT_TRUE(run.Enabled(IDCANCEL)) << "Cancel is live while files are unpacked";
    EXPECT_EQ(run.Text(IDC_CURRENT_TEXT), L"Распаковка и копирование файлов...");
    EXPECT_EQ(run.Text(IDC_OVERALL_TEXT), L"Шаг 3 из 15...");
    run.Cancel();
    // The page takes the request by disabling Cancel until it is answered.
    for (int i = 0; i < 250 && run.Enabled(IDCANCEL); ++i) ::Sleep(20);
    EXPECT_FALSE(run.Enabled(IDCANCEL)) << "the request was not taken";
    return replace;
}

TEST_F(WizardWalk, CancelWhileFilesAreUnpackedAnsweredNoGoesOn) {
    WritePackageWithInstaller();
    PutNewerCoreFile();
    {
        WizardRun run(PackageProgram(), L"");
        HWND replace = CancelWhileAskedAboutCore(run);
        ASSERT_NE(replace, nullptr);
        EXPECT_EQ(run.Box(0).Window, nullptr) << "no question before the worker can stop";
        ClickButton(replace, IDC_SKIP_BUTTON);
        const BoxContent question = run.Box();
        EXPECT_EQ(question.Text, kCancelQuestion);
        EXPECT_EQ(question.ButtonIds, (std::vector<int>{IDYES, IDNO}));
        run.Answer(question, IDNO);
        ExpectProgressToEnd(run, L"Установка завершена. Для продолжения нажмите Далее...");
        run.Next();
        ASSERT_EQ(run.WaitForPage(Page::Finish), Page::Finish);
        run.Next();
        ExpectEnd(run);
    }
    EXPECT_EQ(ReadBytes(std::wstring(kInstall) + L"core.txt"), "newer edition") << "skipped, kept";
    ExpectViewer(true);
    EXPECT_TRUE(ContainsInOrder(Log(), {L"Step 3 - successful", L"Setup was completed successful."}));
}

TEST_F(WizardWalk, CancelWhileFilesAreUnpackedAnsweredYesEndsTheWizard) {
    WritePackageWithInstaller();
    PutNewerCoreFile();
    {
        WizardRun run(PackageProgram(), L"");
        HWND replace = CancelWhileAskedAboutCore(run);
        ASSERT_NE(replace, nullptr);
        ClickButton(replace, IDC_REPLACE_BUTTON);
        const BoxContent question = run.Box();
        EXPECT_EQ(question.Text, kCancelQuestion);
        run.Answer(question, IDYES);
        for (int i = 0; i < 500 && run.ButtonText(IDCANCEL) != L"&Завершить"; ++i) ::Sleep(20);
        EXPECT_EQ(run.ButtonText(IDCANCEL), L"&Завершить");
        ASSERT_TRUE(run.WaitEnabled(IDCANCEL));
        EXPECT_FALSE(run.Enabled(IDC_NEXT));
        run.Cancel();  // ends the wizard without a further question
        ExpectEnd(run);
    }
    for (const std::wstring& file : FilesBelow(kRoot))
        EXPECT_EQ(file.find(L"vrel_"), std::wstring::npos) << "temporary copy left: " << vrel::ToNarrow(file);
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kPackageKey));
    EXPECT_TRUE(ContainsInOrder(Log(), {L"Setup was interrupted."}));
    EXPECT_EQ(Log().find(L"Step 3 - successful"), std::wstring::npos);
}

// Waits to the microsecond: the last part busily, as the delays that matter
// here are shorter than a time slice.
void Spin(double microseconds) {
    if (microseconds > 3000) ::Sleep(static_cast<DWORD>((microseconds - 2000) / 1000));  // the bulk asleep
    LARGE_INTEGER frequency, start, now;
    ::QueryPerformanceFrequency(&frequency);
    ::QueryPerformanceCounter(&start);
    do {
        ::QueryPerformanceCounter(&now);
    } while (static_cast<double>(now.QuadPart - start.QuadPart) * 1e6 / static_cast<double>(frequency.QuadPart) <
             microseconds);
}

// Forty replace questions; after each answer the test presses Cancel
// after a delay, so the request reaches the page either before the worker's
// next safe point (the cancel question comes next) or as the worker opens
// the next replace question, which is owned by the page whose thread is
// waiting for that safe point. The delay follows the boundary between the
// two: longer after the first outcome, shorter after the second, so most
// requests land just where the worker passes its safe point and opens the
// question. Every request must end in the cancel question, answered No.
TEST_F(WizardWalk, CancelRacingTheReplaceQuestionNeverHangs) {
    constexpr int kQuestions = 40;
    WriteLargePackage();
    ASSERT_TRUE(::CopyFileW((TestProgramFolder() + L"Tarnex.exe").c_str(), PackageProgram().c_str(), FALSE));
    for (int f = 1; f <= kQuestions; ++f) {
        wchar_t name[64];
        std::swprintf(name, 64, L"Big01\\c01_f%03d.txt", f);
        WriteBytes(std::wstring(kInstall) + name, "newer");
    }
    int requests = 0, questions = 0, dialogs = 0, openedWhileAsking = 0;
    double delayUs = 0, stepUs = 0, longestUs = 0, gapUs = 0;
    {
        WizardRun run(PackageProgram(), L"");
        WalkToProgress(run);
        bool asking = false;
        LARGE_INTEGER frequency, answered{}, now;
        ::QueryPerformanceFrequency(&frequency);
        for (;;) {
            const ULONGLONG end = ::GetTickCount64() + 30000;
            HWND replace = nullptr, question = nullptr;
            bool done = false;
            while (replace == nullptr && question == nullptr && !done && ::GetTickCount64() < end) {
                replace = ReplaceQuestion(run, 0);
                question = run.Box(0).Window;
                done = StepsEnded(run);
                if (replace == nullptr && question == nullptr && !done) ::Sleep(1);
            }
            if (done) break;
            ASSERT_TRUE(replace != nullptr || question != nullptr)
                << "hung after " << requests << " cancel requests and " << dialogs << " replace questions";
            if (question != nullptr) {
                ++questions;
                if (asking) delayUs += stepUs;  // the request came before the safe point
                asking = false;
                run.Answer(ReadBox(question), IDNO);
                continue;
            }
            ++dialogs;
            ::QueryPerformanceCounter(&now);
            // The first questions are answered without a request: the time
            // from an answer to the next question sets where the delay starts.
            if (dialogs >= 2 && dialogs <= 4)
                gapUs += static_cast<double>(now.QuadPart - answered.QuadPart) * 1e6 / static_cast<double>(frequency.QuadPart) / 3;
            if (dialogs == 5) {
                delayUs = gapUs / 2;
                stepUs = gapUs / 10;
            }
            if (asking) {
                ++openedWhileAsking;
                delayUs = delayUs > stepUs ? delayUs - stepUs : 0;
            }
            ClickButton(replace, IDC_REPLACE_BUTTON);
            ::QueryPerformanceCounter(&answered);
            if (dialogs >= 5 && !asking) {
                Spin(delayUs);
                longestUs = delayUs > longestUs ? delayUs : longestUs;
                run.Cancel();
                ++requests;
                asking = true;
            }
            // A worker held in the question's creation by a page thread that
            // does not answer leaves the question on the screen, dead.
            for (int i = 0; i < 30000 && ::IsWindow(replace); ++i) ::Sleep(1);
            ASSERT_FALSE(::IsWindow(replace)) << "hung in the replace question after " << requests
                                               << " cancel requests and " << dialogs << " replace questions";
        }
        ExpectProgressToEnd(run, L"Установка завершена. Для продолжения нажмите Далее...");
        run.Next();
        ASSERT_EQ(run.WaitForPage(Page::Finish), Page::Finish);
        run.Next();
        ExpectEnd(run);
    }
    std::printf("cancel race: %d replace questions, %d cancel requests, %d answered by the cancel question, "
                "%d replace questions opened while a request waited (%.0f us from an answer to the next "
                "question, delays up to %.0f us)\n",
                dialogs, requests, questions, openedWhileAsking, gapUs, longestUs);
    EXPECT_EQ(dialogs, kQuestions);
    EXPECT_GE(questions, requests - 1) << "a request is withdrawn only after the last safe point";
    // A request is sent only while none waits: the more questions open while
    // one waits (the race met), the fewer requests go out (7 to 14 of 40
    // seen under Wine 10). Four answered requests still make the race worth
    // its name.
    EXPECT_GE(requests, 4);
    EXPECT_GT(openedWhileAsking, 0) << "the race was never met";
}

}  // namespace
}  // namespace wizardtest
