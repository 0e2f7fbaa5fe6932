#include "ui_driver.h"

#include <cwchar>
#include <cwctype>

namespace tarnex::uidriver {

namespace {

constexpr UINT kAnswerTimeoutMs = 5000;

std::wstring ClassOf(HWND window) {
    wchar_t name[256] = {};
    const int n = ::GetClassNameW(window, name, 256);
    return n > 0 ? std::wstring(name, static_cast<std::size_t>(n)) : std::wstring();
}

struct Search {
    const WindowQuery* query;
    std::vector<HWND> found;
};

BOOL CALLBACK CollectTopLevel(HWND window, LPARAM context) {
    auto* search = reinterpret_cast<Search*>(context);
    const WindowQuery& q = *search->query;
    if (!::IsWindowVisible(window)) return TRUE;
    if (q.ProcessId) {
        DWORD pid = 0;
        ::GetWindowThreadProcessId(window, &pid);
        if (pid != q.ProcessId) return TRUE;
    }
    if (!q.ClassName.empty() && ClassOf(window) != q.ClassName) return TRUE;
    if (!q.Caption.empty() && WindowText(window) != q.Caption) return TRUE;
    search->found.push_back(window);
    return TRUE;
}

BOOL CALLBACK CollectButtons(HWND child, LPARAM context) {
    auto* box = reinterpret_cast<BoxContent*>(context);
    if (::GetParent(child) != box->Window || ClassOf(child) != L"Button") return TRUE;
    box->Buttons.push_back(WindowText(child));
    box->ButtonIds.push_back(::GetDlgCtrlID(child));
    return TRUE;
}

}  // namespace

std::vector<HWND> FindWindows(const WindowQuery& query) {
    Search search{&query, {}};
    ::EnumWindows(CollectTopLevel, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

HWND WaitForWindow(const WindowQuery& query, DWORD timeoutMs) {
    const ULONGLONG end = ::GetTickCount64() + timeoutMs;
    for (;;) {
        const std::vector<HWND> found = FindWindows(query);
        if (!found.empty()) return found.front();
        if (::GetTickCount64() >= end) return nullptr;
        ::Sleep(50);
    }
}

std::wstring WindowText(HWND window) {
    DWORD_PTR length = 0;
    if (!::SendMessageTimeoutW(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, kAnswerTimeoutMs, &length))
        return {};
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    DWORD_PTR copied = 0;
    if (!::SendMessageTimeoutW(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()),
                               SMTO_ABORTIFHUNG, kAnswerTimeoutMs, &copied))
        return {};
    text.resize(static_cast<std::size_t>(copied) < text.size() ? static_cast<std::size_t>(copied) : 0);
    return text;
}

BoxContent ReadBox(HWND box) {
    BoxContent content;
    content.Window = box;
    content.Caption = WindowText(box);
    if (HWND text = ::GetDlgItem(box, kMessageTextId)) content.Text = WindowText(text);
    ::EnumChildWindows(box, CollectButtons, reinterpret_cast<LPARAM>(&content));
    return content;
}

bool PressButton(HWND dialog, int buttonId) {
    HWND button = ::GetDlgItem(dialog, buttonId);
    if (!button) return false;
    DWORD_PTR ignored = 0;
    return ::SendMessageTimeoutW(button, BM_CLICK, 0, 0, SMTO_ABORTIFHUNG, kAnswerTimeoutMs, &ignored) != 0;
}

long WaitForExit(HANDLE process, DWORD timeoutMs) {
    if (::WaitForSingleObject(process, timeoutMs) != WAIT_OBJECT_0) return -1;
    DWORD code = 0;
    ::GetExitCodeProcess(process, &code);
    return static_cast<long>(code);
}

int ButtonIdFromName(const std::wstring& name) {
    std::wstring lower;
    for (wchar_t c : name) lower += static_cast<wchar_t>(std::towlower(c));
    if (lower == L"ok") return IDOK;
    if (lower == L"cancel") return IDCANCEL;
    if (lower == L"yes") return IDYES;
    if (lower == L"no") return IDNO;
    if (lower == L"abort") return IDABORT;
    if (lower == L"retry") return IDRETRY;
    if (lower == L"ignore") return IDIGNORE;
    return static_cast<int>(std::wcstol(name.c_str(), nullptr, 0));
}

}  // namespace tarnex::uidriver
