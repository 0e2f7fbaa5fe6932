// Drives the installer's windows from another process, as a person would:
// finds its message boxes and dialogs, reads their caption, text and
// buttons, and presses a button. Used by the GUI tests and by the ui_driver
// command-line tool.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace tarnex::uidriver {

// Button identifiers of message boxes (IDOK, IDCANCEL, IDYES, IDNO ...).
inline constexpr int kMessageTextId = 0xFFFF;  // the static that holds a message box's text

struct WindowQuery {
    DWORD ProcessId = 0;    // 0: any process
    std::wstring Caption;   // empty: any caption
    std::wstring ClassName = L"#32770";  // dialogs and message boxes
};

struct BoxContent {
    HWND Window = nullptr;
    std::wstring Caption;
    std::wstring Text;                  // a message box's text (empty for other dialogs)
    std::vector<std::wstring> Buttons;  // texts of the enabled and disabled buttons, in z-order
    std::vector<int> ButtonIds;
};

// Visible top-level windows that match the query, in z-order.
std::vector<HWND> FindWindows(const WindowQuery& query);

// Waits until a matching window exists; nullptr after timeoutMs.
HWND WaitForWindow(const WindowQuery& query, DWORD timeoutMs);

// Text of any window, also of another process (WM_GETTEXT with a timeout).
std::wstring WindowText(HWND window);

// Caption, message text and buttons of a dialog or message box.
BoxContent ReadBox(HWND box);

// Presses a button of a dialog by its identifier (BM_CLICK); false when the
// dialog has no such button or does not answer.
bool PressButton(HWND dialog, int buttonId);

// Waits for a process to end; its exit code, or -1 after timeoutMs.
long WaitForExit(HANDLE process, DWORD timeoutMs);

// Posts a click to the button and returns at once: the program may answer
// it with a modal question.
bool ClickButton(HWND dialog, int buttonId);

// Sets a control's text (an edit field, as if typed).
bool SetText(HWND window, const std::wstring& text);

// The control of a dialog, also of another process.
HWND Control(HWND dialog, int id);

// A check box or radio button is checked.
bool IsChecked(HWND dialog, int id);

// The wizard's visible page: the shown child dialog of the frame.
HWND VisiblePage(HWND frame);

// Waits for a top-level dialog of the process that has a control with this
// identifier (0xFFFF: a message box) and none with lackingId (0: any
// dialog); nullptr after timeoutMs.
HWND WaitForDialogWith(DWORD processId, int controlId, DWORD timeoutMs, int lackingId = 0);

// The window as it shows on the screen, written as a 24-bit BMP file.
bool SaveWindowImage(HWND window, const std::wstring& bmpPath);

// A program started in a folder, ended if it is still running when the
// object goes.
class StartedProgram {
public:
    StartedProgram(const std::wstring& path, const std::wstring& arguments, const std::wstring& folder);
    // A program started by someone else (Windows, at its next start).
    explicit StartedProgram(DWORD processId);
    ~StartedProgram();
    StartedProgram(const StartedProgram&) = delete;
    StartedProgram& operator=(const StartedProgram&) = delete;

    bool Started() const { return process_ != nullptr; }
    DWORD Id() const { return id_; }
    HANDLE Process() const { return process_; }
    // The exit code, or -1 after timeoutMs (the program goes on).
    long Exit(DWORD timeoutMs) const { return WaitForExit(process_, timeoutMs); }
    // The texts of the open message boxes of the program, for reports.
    std::string OpenBoxes() const;

private:
    HANDLE process_ = nullptr;
    DWORD id_ = 0;
};

// "ok", "cancel", "yes", "no", "abort", "retry", "ignore" or a number.
int ButtonIdFromName(const std::wstring& name);

}  // namespace tarnex::uidriver
