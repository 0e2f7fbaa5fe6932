// A run of the real Tarnex.exe walked page by page through the UI driver:
// which page shows, its texts, the frame's buttons, the questions asked.
#pragma once

#include <windows.h>

#include <string>

#include "ui_driver.h"

namespace tarnex::uidriver {

// The pages, told apart by a control only that page has.
enum class Page { None, Welcome, Licence, Folder, Components, Summary, Progress, Finish, Mode, Access };
const char* PageName(Page page);

inline constexpr DWORD kWaitMs = 60000;

class WizardRun {
public:
    // Starts program (a copy of Tarnex.exe) with the arguments, in its folder.
    WizardRun(const std::wstring& program, const std::wstring& arguments);
    // The wizard of a run that something else started.
    explicit WizardRun(DWORD processId);

    bool Started() const { return program_.Started(); }
    DWORD Id() const { return program_.Id(); }
    // The frame; nullptr until it shows (waits up to kWaitMs).
    HWND Frame();
    // The page shown once it is `page` (waits); None when another stays.
    Page WaitForPage(Page page);
    // Goes on from the welcome page (waits): the page that follows tells the
    // run mode (the licence, folder or Access page: installing; the mode
    // choice: maintenance; the summary: removing). None when either is missing.
    Page PageAfterWelcome();
    Page Current();
    HWND PageWindow();

    std::wstring Text(int controlId);  // of the visible page
    bool Visible(int controlId);
    std::wstring ButtonText(int buttonId);  // of the frame: 1000, 1001, 2
    bool Enabled(int buttonId);
    // Waits until the frame's button is enabled.
    bool WaitEnabled(int buttonId);

    void Next() { Click(1000); }
    void Back() { Click(1001); }
    void Cancel() { Click(IDCANCEL); }
    void Click(int buttonId);
    void ClickOnPage(int controlId);

    // The next message box of the run (waits); its window is in .Window.
    BoxContent Box(DWORD timeoutMs = kWaitMs);
    // Answers the box and waits until it is gone.
    void Answer(const BoxContent& box, int buttonId);

    // The exit code (waits), or -1; a run stuck at a box names it in stuck.
    long Exit(std::string* stuck = nullptr);

private:
    StartedProgram program_;
    HWND frame_ = nullptr;
};

// Wine tells programs of this file name that the system is this version
// ("winxp", "nt40"; nullptr: Wine's default again, Windows 10, which the
// test packages list).
void ReportWindowsVersion(const std::wstring& programFile, const wchar_t* version);
// The same for the installer under both its names, Tarnex.exe and Setup.exe.
void ReportInstallerWindowsVersion(const wchar_t* version);

}  // namespace tarnex::uidriver
