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

void RemoveTree(const std::wstring& folder) {
    std::wstring base = folder;
    if (!base.empty() && base.back() != L'\\') base += L'\\';
    WIN32_FIND_DATAW found{};
    HANDLE find = ::FindFirstFileW((base + L"*").c_str(), &found);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            const std::wstring name = found.cFileName;
            if (name == L"." || name == L"..") continue;
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                RemoveTree(base + name);
            } else {
                ::SetFileAttributesW((base + name).c_str(), FILE_ATTRIBUTE_NORMAL);
                ::DeleteFileW((base + name).c_str());
            }
        } while (::FindNextFileW(find, &found));
        ::FindClose(find);
    }
    ::RemoveDirectoryW(base.c_str());
}

void WriteBytes(const std::wstring& path, const std::string& bytes) {
    for (std::size_t at = path.find(L'\\', 3); at != std::wstring::npos; at = path.find(L'\\', at + 1))
        ::CreateDirectoryW(path.substr(0, at).c_str(), nullptr);
    HANDLE file = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    ::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    ::CloseHandle(file);
}

bool Exists(const std::wstring& path) { return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

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
