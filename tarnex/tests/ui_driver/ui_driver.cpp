#include "ui_driver.h"

#include <cwchar>
#include <cwctype>

#include "vrel/text_convert.h"
#include "vrel/unique_handle.h"

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

bool ClickButton(HWND dialog, int buttonId) {
    HWND button = ::GetDlgItem(dialog, buttonId);
    return button != nullptr && ::PostMessageW(button, BM_CLICK, 0, 0) != 0;
}

bool SetText(HWND window, const std::wstring& text) {
    DWORD_PTR ignored = 0;
    return ::SendMessageTimeoutW(window, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()), SMTO_ABORTIFHUNG,
                                 kAnswerTimeoutMs, &ignored) != 0;
}

HWND Control(HWND dialog, int id) { return ::GetDlgItem(dialog, id); }

bool IsChecked(HWND dialog, int id) {
    DWORD_PTR state = 0;
    HWND control = ::GetDlgItem(dialog, id);
    return control != nullptr &&
           ::SendMessageTimeoutW(control, BM_GETCHECK, 0, 0, SMTO_ABORTIFHUNG, kAnswerTimeoutMs, &state) &&
           state == BST_CHECKED;
}

HWND VisiblePage(HWND frame) {
    for (HWND child = ::GetWindow(frame, GW_CHILD); child != nullptr; child = ::GetWindow(child, GW_HWNDNEXT))
        if (ClassOf(child) == L"#32770" && ::IsWindowVisible(child)) return child;
    return nullptr;
}

HWND WaitForDialogWith(DWORD processId, int controlId, DWORD timeoutMs, int lackingId) {
    WindowQuery query;
    query.ProcessId = processId;
    const ULONGLONG end = ::GetTickCount64() + timeoutMs;
    for (;;) {
        for (HWND window : FindWindows(query))
            if (::GetDlgItem(window, controlId) != nullptr &&
                (lackingId == 0 || ::GetDlgItem(window, lackingId) == nullptr))
                return window;
        if (::GetTickCount64() >= end) return nullptr;
        ::Sleep(20);
    }
}

bool SaveWindowImage(HWND window, const std::wstring& bmpPath) {
    RECT area{};
    if (!::GetWindowRect(window, &area)) return false;
    const int width = area.right - area.left, height = area.bottom - area.top;
    if (width <= 0 || height <= 0) return false;
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height;  // bottom-up, as BMP files store it
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HDC screen = ::GetDC(nullptr);
    vrel::unique_hdc memory(::CreateCompatibleDC(screen));
    vrel::unique_gdiobj section(::CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    bool ok = false;
    if (memory && section) {
        const HGDIOBJ previous = ::SelectObject(memory.get(), section.get());
        ok = ::BitBlt(memory.get(), 0, 0, width, height, screen, area.left, area.top, SRCCOPY) != 0;
        ::GdiFlush();
        ::SelectObject(memory.get(), previous);
    }
    ::ReleaseDC(nullptr, screen);
    if (!ok) return false;
    const DWORD rowBytes = ((static_cast<DWORD>(width) * 3 + 3) / 4) * 4;
    const DWORD imageBytes = rowBytes * static_cast<DWORD>(height);
    BITMAPFILEHEADER file{};
    file.bfType = 0x4D42;  // "BM"
    file.bfOffBits = sizeof file + sizeof info.bmiHeader;
    file.bfSize = file.bfOffBits + imageBytes;
    info.bmiHeader.biSizeImage = imageBytes;
    vrel::unique_hfile out(
        ::CreateFileW(bmpPath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD written = 0;
    return out && ::WriteFile(out.get(), &file, sizeof file, &written, nullptr) &&
           ::WriteFile(out.get(), &info.bmiHeader, sizeof info.bmiHeader, &written, nullptr) &&
           ::WriteFile(out.get(), bits, imageBytes, &written, nullptr);
}

StartedProgram::StartedProgram(const std::wstring& path, const std::wstring& arguments, const std::wstring& folder) {
    std::wstring command = L"\"" + path + L"\"" + (arguments.empty() ? L"" : L" " + arguments);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    if (!::CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                          folder.empty() ? nullptr : folder.c_str(), &startup, &info))
        return;
    ::CloseHandle(info.hThread);
    process_ = info.hProcess;
    id_ = info.dwProcessId;
}

StartedProgram::StartedProgram(DWORD processId)
    : process_(::OpenProcess(SYNCHRONIZE | PROCESS_QUERY_INFORMATION | PROCESS_TERMINATE, FALSE, processId)),
      id_(process_ != nullptr ? processId : 0) {}

StartedProgram::~StartedProgram() {
    if (process_ == nullptr) return;
    if (::WaitForSingleObject(process_, 0) != WAIT_OBJECT_0) {
        ::TerminateProcess(process_, 99);
        ::WaitForSingleObject(process_, 5000);
    }
    ::CloseHandle(process_);
}

std::string StartedProgram::OpenBoxes() const {
    WindowQuery query;
    query.ProcessId = id_;
    std::string texts;
    for (HWND window : FindWindows(query)) {
        const BoxContent box = ReadBox(window);
        texts += "[" + vrel::ToNarrow(box.Caption, CP_UTF8) + ": " + vrel::ToNarrow(box.Text, CP_UTF8) + "]";
    }
    return texts;
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
