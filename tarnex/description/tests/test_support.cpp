#include "test_support.h"

#include <memory>

#include "run/app_context.h"

namespace tarnex::test {

ScratchFolder::ScratchFolder(const std::wstring& tag) {
    wchar_t temp[MAX_PATH] = {};
    ::GetTempPathW(MAX_PATH, temp);
    static LONG counter = 0;
    path_ = std::wstring(temp) + L"tarnex_" + tag + L"_" + std::to_wstring(::GetCurrentProcessId()) + L"_" +
            std::to_wstring(::InterlockedIncrement(&counter)) + L"\\";
    RemoveTree(path_);
    ::CreateDirectoryW(path_.c_str(), nullptr);
}

ScratchFolder::~ScratchFolder() { RemoveTree(path_); }

std::wstring ReadUtf16File(const std::wstring& path) {
    HANDLE file = ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return {};
    std::wstring text(::GetFileSize(file, nullptr) / sizeof(wchar_t), L'\0');
    DWORD read = 0;
    if (!text.empty()) ::ReadFile(file, text.data(), static_cast<DWORD>(text.size() * sizeof(wchar_t)), &read, nullptr);
    ::CloseHandle(file);
    return text;
}

MessageRecorder::MessageRecorder(int answer) : shown_(std::make_shared<std::vector<MessageRequest>>()) {
    auto shown = shown_;
    SetMessageAnswerer([shown, answer](const MessageRequest& request) {
        shown->push_back(request);
        return answer;
    });
}

MessageRecorder::~MessageRecorder() { SetMessageAnswerer({}); }

void SetUpTestContext() {
    App().Instance = ::GetModuleHandleW(nullptr);
    wchar_t folder[MAX_PATH] = {};
    ::GetWindowsDirectoryW(folder, MAX_PATH);
    std::wstring windows = folder;
    if (windows.back() != L'\\') windows += L'\\';
    ::GetSystemDirectoryW(folder, MAX_PATH);
    std::wstring system = folder;
    if (system.back() != L'\\') system += L'\\';
    windows.copy(App().WindowsFolder, windows.size());
    App().WindowsFolder[windows.size()] = L'\0';
    system.copy(App().SystemFolder, system.size());
    App().SystemFolder[system.size()] = L'\0';
    const std::wstring caption = L"Test caption";
    caption.copy(App().Caption, caption.size());
    App().Caption[caption.size()] = L'\0';
}

}  // namespace tarnex::test
