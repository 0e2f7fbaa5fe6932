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

// "ok", "cancel", "yes", "no", "abort", "retry", "ignore" or a number.
int ButtonIdFromName(const std::wstring& name);

}  // namespace tarnex::uidriver
