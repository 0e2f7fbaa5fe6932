#include "tests/support/test_files.h"

#include <windows.h>

#include <algorithm>

#include <gtest/gtest.h>

#include "vrel/folder_walk.h"
#include "vrel/module_path.h"
#include "vrel/text_convert.h"
#include "vrel/unique_handle.h"

namespace testfiles {

void WriteBytes(const std::wstring& path, const std::string& bytes) {
    for (std::size_t at = path.find(L'\\', 3); at != std::wstring::npos; at = path.find(L'\\', at + 1))
        ::CreateDirectoryW(path.substr(0, at).c_str(), nullptr);
    vrel::unique_hfile file(
        ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        ADD_FAILURE() << "cannot write test file " << vrel::ToNarrow(path, CP_UTF8);
        return;
    }
    DWORD written = 0;
    ::WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

std::string Utf16File(const std::wstring& text) {
    std::string bytes = "\xFF\xFE";
    for (wchar_t c : text) {
        bytes += static_cast<char>(c & 0xFF);
        bytes += static_cast<char>((c >> 8) & 0xFF);
    }
    return bytes;
}

std::string ReadBytes(const std::wstring& path) {
    const auto open = [&path] {
        return ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                             nullptr);
    };
    vrel::unique_hfile file(open());
    // The installer holds its log for itself alone while it writes an entry.
    for (int i = 0; i < 50 && !file && ::GetLastError() == ERROR_SHARING_VIOLATION; ++i) {
        ::Sleep(5);
        file.reset(open());
    }
    if (!file) return {};
    std::string bytes;
    char buffer[65536];
    DWORD read = 0;
    while (::ReadFile(file.get(), buffer, sizeof buffer, &read, nullptr) && read > 0) bytes.append(buffer, read);
    return bytes;
}

std::wstring ReadUtf16(const std::wstring& path) {
    const std::string bytes = ReadBytes(path);
    return std::wstring(reinterpret_cast<const wchar_t*>(bytes.data()), bytes.size() / sizeof(wchar_t));
}

FILETIME CabinetTimeUtc(int year, int month, int day, int hour, int minute, int second) {
    const SYSTEMTIME stamp{static_cast<WORD>(year), static_cast<WORD>(month), 0, static_cast<WORD>(day),
                           static_cast<WORD>(hour), static_cast<WORD>(minute), static_cast<WORD>(second), 0};
    FILETIME local{}, utc{};
    ::SystemTimeToFileTime(&stamp, &local);
    ::LocalFileTimeToFileTime(&local, &utc);
    return utc;
}

bool Exists(const std::wstring& path) { return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

bool WaitUntilGone(const std::wstring& path, unsigned timeoutMs) {
    const ULONGLONG deadline = ::GetTickCount64() + timeoutMs;
    while (Exists(path)) {
        if (::GetTickCount64() >= deadline) return false;
        ::Sleep(50);
    }
    return true;
}

void RestoreNormalPriority() {
    ::SetThreadPriority(::GetCurrentThread(), THREAD_PRIORITY_NORMAL);
    ::SetPriorityClass(::GetCurrentProcess(), NORMAL_PRIORITY_CLASS);
}

bool IsFolder(const std::wstring& path) {
    const DWORD a = ::GetFileAttributesW(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

void RemoveTree(const std::wstring& folder) {
    vrel::WalkFolderDeepestFirst(folder, vrel::DeleteWalkedEntry);
    ::RemoveDirectoryW(folder.c_str());
}

std::wstring TestProgramPath() { return vrel::ModulePath(nullptr); }

std::wstring TestProgramFolder() {
    const std::wstring path = TestProgramPath();
    return path.substr(0, path.rfind(L'\\') + 1);
}

std::wstring MakeScratchFolder(const std::wstring& tag) {
    static LONG counter = 0;
    wchar_t temp[MAX_PATH + 1] = {};
    ::GetTempPathW(MAX_PATH, temp);
    const std::wstring folder = std::wstring(temp) + L"vrel_" + tag + L"_" + std::to_wstring(::GetCurrentProcessId()) +
                                L"_" + std::to_wstring(::InterlockedIncrement(&counter)) + L"\\";
    RemoveTree(folder);
    ::CreateDirectoryW(folder.c_str(), nullptr);
    return folder;
}

std::vector<std::wstring> FilesIn(const std::wstring& folder) { return vrel::FileNamesIn(folder); }

}  // namespace testfiles
