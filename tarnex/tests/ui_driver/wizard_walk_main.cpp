// wizard_walk: an installation through the real wizard, as a person who
// takes every default would make it, with a picture of each page.
//
//   wizard_walk PROGRAM PICTURE_FOLDER
//
// Starts PROGRAM (Tarnex.exe in its package folder), answers the question
// about an unsupported system with Yes, and presses Next on every page (on
// the progress page once the engine has finished) until the wizard ends.
// Each page, the question and the background window are saved as
// NN-name.bmp in PICTURE_FOLDER. Prints each step; the exit code is the
// installer's, or 1 when the walk got stuck (what was open is printed).
#include <windows.h>

#include <cstdio>
#include <string>

#include "ui/wizard_ids.h"
#include "vrel/text_convert.h"
#include "wizard_run.h"

namespace ud = tarnex::uidriver;

namespace {

class Pictures {
public:
    explicit Pictures(std::wstring folder) : folder_(std::move(folder)) {
        if (!folder_.empty() && folder_.back() != L'\\') folder_ += L'\\';
    }
    void Take(HWND window, const char* name) {
        ::Sleep(400);  // let the window paint
        char number[8];
        std::snprintf(number, sizeof number, "%02d-", ++count_);
        const std::string file = number + std::string(name) + ".bmp";
        const bool saved = ud::SaveWindowImage(window, folder_ + vrel::ToWide(file));
        std::printf("  picture %s%s\n", file.c_str(), saved ? "" : " could not be taken");
        std::fflush(stdout);
    }

private:
    std::wstring folder_;
    int count_ = 0;
};

int Stuck(ud::WizardRun& run, const char* where) {
    std::string open;
    run.Exit(&open);
    std::printf("stuck %s; open: %s\n", where, open.c_str());
    return 1;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 3) {
        std::printf("usage: wizard_walk PROGRAM PICTURE_FOLDER\n");
        return 2;
    }
    Pictures pictures(argv[2]);
    ud::WizardRun run(argv[1], L"");
    if (!run.Started()) return Stuck(run, "at the start");

    // Every system from Vista on is one the description cannot list.
    const ud::BoxContent question = run.Box(ud::kWaitMs);
    if (question.Window != nullptr) {
        std::printf("the question about the system, answered Yes\n");
        pictures.Take(question.Window, "system-question");
        run.Answer(question, IDYES);
    }
    if (run.Frame() == nullptr) return Stuck(run, "before the wizard");
    ud::WindowQuery backdrop;
    backdrop.ProcessId = run.Id();
    backdrop.ClassName = L"Tarnex";
    if (HWND background = ud::WaitForWindow(backdrop, 2000)) {
        std::printf("the background window\n");
        pictures.Take(background, "background");
    }

    ud::Page page = run.WaitForPage(ud::Page::Welcome);
    for (;;) {
        const char* name = ud::PageName(page);
        std::printf("page: %s\n", name);
        if (page == ud::Page::Progress && !run.WaitEnabled(IDC_NEXT)) return Stuck(run, "on the progress page");
        pictures.Take(run.Frame(), name);
        run.Next();
        if (page == ud::Page::Finish) break;
        // Between two pages for a moment none shows.
        const ULONGLONG end = ::GetTickCount64() + ud::kWaitMs;
        ud::Page next = run.Current();
        for (; (next == page || next == ud::Page::None) && ::GetTickCount64() < end; next = run.Current()) ::Sleep(50);
        if (next == page || next == ud::Page::None) return Stuck(run, name);
        page = next;
    }
    std::string open;
    const long code = run.Exit(&open);
    if (code == -1) return Stuck(run, "after the finish page");
    std::printf("the installer ended with exit code %ld\n", code);
    return static_cast<int>(code);
}
