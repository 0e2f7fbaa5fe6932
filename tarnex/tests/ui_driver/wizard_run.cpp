#include "wizard_run.h"

#include "ui/component_page_ids.h"
#include "ui/wizard_ids.h"
#include "vrel/unique_handle.h"

namespace tarnex::uidriver {

namespace {

struct Marker {
    int control;
    Page page;
};
const Marker kMarkers[] = {
    {IDC_WELCOME_TITLE, Page::Welcome}, {IDC_LICENCE_TEXT, Page::Licence}, {IDC_FOLDER_PATH, Page::Folder},
    {IDC_SUMMARY_TEXT, Page::Summary},  {IDC_CURRENT_BAR, Page::Progress}, {IDC_RESULTS_TEXT, Page::Finish},
    {IDC_MODE_CHANGE, Page::Mode},      {IDC_ACCESS_97, Page::Access},     {IDC_COMPONENT_TREE, Page::Components},
};

}  // namespace

const char* PageName(Page page) {
    switch (page) {
    case Page::None: return "none";
    case Page::Welcome: return "welcome";
    case Page::Licence: return "licence";
    case Page::Folder: return "folder";
    case Page::Components: return "components";
    case Page::Summary: return "summary";
    case Page::Progress: return "progress";
    case Page::Finish: return "finish";
    case Page::Mode: return "mode";
    case Page::Access: return "access";
    }
    return "?";
}

WizardRun::WizardRun(const std::wstring& program, const std::wstring& arguments)
    : program_(program, arguments, program.substr(0, program.rfind(L'\\') + 1)) {}

WizardRun::WizardRun(DWORD processId) : program_(processId) {}

HWND WizardRun::Frame() {
    if (frame_ == nullptr) frame_ = WaitForDialogWith(program_.Id(), IDC_NEXT, kWaitMs);
    return frame_;
}

HWND WizardRun::PageWindow() { return Frame() ? VisiblePage(frame_) : nullptr; }

Page WizardRun::Current() {
    HWND page = PageWindow();
    if (page == nullptr) return Page::None;
    for (const Marker& m : kMarkers)
        if (Control(page, m.control) != nullptr) return m.page;
    return Page::None;
}

Page WizardRun::WaitForPage(Page page) {
    const ULONGLONG end = ::GetTickCount64() + kWaitMs;
    for (;;) {
        const Page now = Current();
        if (now == page || ::GetTickCount64() >= end) return now;
        ::Sleep(20);
    }
}

Page WizardRun::PageAfterWelcome() {
    if (WaitForPage(Page::Welcome) != Page::Welcome) return Page::None;
    Next();
    // Between two pages none is shown for a moment (the summary of a
    // removal reads the package again meanwhile).
    for (int i = 0; i < 500 && (Current() == Page::Welcome || Current() == Page::None); ++i) ::Sleep(20);
    return Current();
}

std::wstring WizardRun::Text(int controlId) { return WindowText(Control(PageWindow(), controlId)); }

bool WizardRun::Visible(int controlId) { return ::IsWindowVisible(Control(PageWindow(), controlId)) != 0; }

std::wstring WizardRun::ButtonText(int buttonId) { return WindowText(Control(Frame(), buttonId)); }

bool WizardRun::Enabled(int buttonId) { return ::IsWindowEnabled(Control(Frame(), buttonId)) != 0; }

bool WizardRun::WaitEnabled(int buttonId) {
    const ULONGLONG end = ::GetTickCount64() + kWaitMs;
    while (!Enabled(buttonId)) {
        if (::GetTickCount64() >= end) return false;
        ::Sleep(20);
    }
    return true;
}

void WizardRun::Click(int buttonId) { ClickButton(Frame(), buttonId); }

void WizardRun::ClickOnPage(int controlId) { ClickButton(PageWindow(), controlId); }

BoxContent WizardRun::Box(DWORD timeoutMs) {
    // The frame's own labels may carry the message boxes' text identifier.
    HWND box = WaitForDialogWith(program_.Id(), kMessageTextId, timeoutMs, IDC_NEXT);
    return box ? ReadBox(box) : BoxContent{};
}

void WizardRun::Answer(const BoxContent& box, int buttonId) {
    ClickButton(box.Window, buttonId);
    for (int i = 0; i < 500 && ::IsWindow(box.Window); ++i) ::Sleep(10);
}

long WizardRun::Exit(std::string* stuck) {
    const long code = program_.Exit(kWaitMs);
    if (code == -1 && stuck != nullptr) *stuck = program_.OpenBoxes();
    return code;
}

void ReportWindowsVersion(const std::wstring& programFile, const wchar_t* version) {
    const std::wstring path = L"Software\\Wine\\AppDefaults\\" + programFile;
    if (version == nullptr) {
        ::RegDeleteTreeW(HKEY_CURRENT_USER, path.c_str());
        return;
    }
    vrel::unique_hkey key;
    ::RegCreateKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, key.put(), nullptr);
    const std::wstring value = version;
    ::RegSetValueExW(key.get(), L"Version", 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                     static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
}

void ReportInstallerWindowsVersion(const wchar_t* version) {
    for (const wchar_t* program : {L"Tarnex.exe", L"Setup.exe"}) ReportWindowsVersion(program, version);
}

}  // namespace tarnex::uidriver
