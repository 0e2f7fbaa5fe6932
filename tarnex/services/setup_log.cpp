#include "setup_log.h"

#include <cstdarg>
#include <cstdio>

#include "app_context.h"
#include "message_box.h"
#include "vrel/text_convert.h"
#include "vrel/unique_handle.h"

namespace tarnex {

namespace {
constexpr ULONGLONG kLogLimit = 0x100000;

std::wstring& RunLogPath() {
    static std::wstring path;
    return path;
}

// Appended with the file opened for appending and shared: the wizard's
// thread and the worker may write at the same moment, and each entry is one
// write at the end of the file.
void AppendToRunLog(const std::wstring& entry) {
    const std::wstring& path = RunLogPath();
    if (path.empty()) return;
    vrel::unique_hfile file(::CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                          OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return;
    const std::string utf8 = vrel::ToNarrow(entry, CP_UTF8);
    DWORD written = 0;
    ::WriteFile(file.get(), utf8.data(), static_cast<DWORD>(utf8.size()), &written, nullptr);
}

}  // namespace

bool StartRunLog(const std::wstring& path) {
    RunLogPath().clear();
    vrel::unique_hfile file(
        ::CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return false;
    RunLogPath() = path;
    return true;
}

std::wstring LogPath() { return std::wstring(App().WindowsFolder) + L"VrelTARNEX.log"; }

std::wstring FormatLogEntry(const SYSTEMTIME& t, const std::wstring& text) {
    wchar_t stamp[64];
    ::_snwprintf(stamp, 64, L"[%.2d.%.2d.%d %.2d:%.2d:%.2d]: ", t.wDay, t.wMonth, t.wYear, t.wHour, t.wMinute,
                 t.wSecond);
    stamp[63] = L'\0';
    return stamp + text + L"\r\n";
}

// Every entry opens the file exclusively and closes it at once: the wizard's
// thread and the engine's worker both write, without a lock. A file held by
// someone else for a moment (the other thread's entry, a virus scanner, a
// reader of the log) is waited for briefly; one held longer fails like any
// other open failure.
int WriteLog(const std::wstring& text) {
    SYSTEMTIME now;
    ::GetLocalTime(&now);
    const std::wstring entry = FormatLogEntry(now, text);
    AppendToRunLog(entry);
    const std::wstring path = LogPath();
    constexpr int kHeldTries = 25;  // 10 ms apart: a quarter of a second
    vrel::unique_hfile file;
    for (int tries = 1;; ++tries) {
        file.reset(
            ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (file || tries == kHeldTries || ::GetLastError() != ERROR_SHARING_VIOLATION) break;
        ::Sleep(10);
    }
    if (!file) {
        Ask(nullptr, Question::kLogCannotOpen, path.c_str());
        return 0;
    }
    ::SetFilePointer(file.get(), 0, nullptr, FILE_END);
    DWORD written = 0;
    ::WriteFile(file.get(), entry.data(), static_cast<DWORD>(entry.size() * sizeof(wchar_t)), &written, nullptr);
    return 1;
}

int WriteLogF(const wchar_t* format, ...) {
    va_list args;
    va_start(args, format);
    const std::wstring text = FormatTextV(format, args);
    va_end(args);
    return WriteLog(text);
}

void TrimLog() {
    const std::wstring path = LogPath();
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!::GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return;
    const ULONGLONG size = (static_cast<ULONGLONG>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    if (size > kLogLimit) ::DeleteFileW(path.c_str());
}

}  // namespace tarnex
