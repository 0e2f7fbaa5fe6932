#include "engine/rename_into_free_place.h"

#include <windows.h>
#include <winternl.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "vrel/module_exports.h"
#include "vrel/unique_handle.h"

namespace tarnex {
namespace {

// ntdll's rename record (FILE_RENAME_INFORMATION); the name follows it.
struct RenameInformation {
    BOOLEAN ReplaceIfExists;
    HANDLE RootDirectory;
    ULONG FileNameLength;  // bytes
    WCHAR FileName[1];
};
constexpr int kFileRenameInformation = 10;

using SetInformationFile = LONG(NTAPI*)(HANDLE, IO_STATUS_BLOCK*, void*, ULONG, int);

// NtSetInformationFile of the ntdll every process has loaded (nothing is
// loaded by name); it renames on every Windows NT, where
// SetFileInformationByHandle came only with Vista.
SetInformationFile RenameCall() {
    static const SetInformationFile call = [] {
        return vrel::Export<SetInformationFile>(::GetModuleHandleW(L"ntdll.dll"), "NtSetInformationFile");
    }();
    return call;
}

// The native form of a full Win32 path ("\??\C:\..." or "\??\UNC\..."),
// empty for any other form. The path is first made what the Win32 calls make
// of it (trailing dots and blanks of each name dropped, "." and ".." taken
// away, a device name turned into a device): a native name is taken as it
// stands, and "name." would otherwise become a file no Win32 call can open.
std::wstring NativePath(const std::wstring& given) {
    const DWORD size = ::GetFullPathNameW(given.c_str(), 0, nullptr, nullptr);
    if (size == 0) return {};
    std::wstring path(size, L'\0');
    const DWORD length = ::GetFullPathNameW(given.c_str(), size, path.data(), nullptr);
    if (length == 0 || length >= size) return {};
    path.resize(length);
    if (path.size() > 3 && path[1] == L':' && path[2] == L'\\' &&
        ((path[0] >= L'A' && path[0] <= L'Z') || (path[0] >= L'a' && path[0] <= L'z')))
        return L"\\??\\" + path;
    if (path.size() > 2 && path[0] == L'\\' && path[1] == L'\\' && path[2] != L'?' && path[2] != L'.')
        return L"\\??\\UNC\\" + path.substr(2);
    return {};
}

}  // namespace

QuickRename RenameIntoFreePlace(const std::wstring& temporaryPath, const std::wstring& finalPath,
                                bool placeSeenFree) {
    const SetInformationFile rename = RenameCall();
    const std::wstring target = NativePath(finalPath);
    if (rename == nullptr || target.empty()) return QuickRename::NotTried;
    // Asked of the name: no open, no trip through Wine's server.
    if (!placeSeenFree && ::GetFileAttributesW(finalPath.c_str()) != INVALID_FILE_ATTRIBUTES)
        return QuickRename::NotTried;
    vrel::unique_hfile source(::CreateFileW(temporaryPath.c_str(), DELETE | SYNCHRONIZE,
                                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!source) {
        const DWORD error = ::GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? QuickRename::NoSource
                                                                              : QuickRename::NotTried;
    }
    const std::size_t nameBytes = target.size() * sizeof(wchar_t);
    std::vector<std::uint8_t> buffer(offsetof(RenameInformation, FileName) + nameBytes + sizeof(wchar_t));
    auto* info = reinterpret_cast<RenameInformation*>(buffer.data());
    info->ReplaceIfExists = FALSE;  // whatever came in the meantime goes the full way
    info->RootDirectory = nullptr;
    info->FileNameLength = static_cast<ULONG>(nameBytes);
    std::memcpy(info->FileName, target.c_str(), nameBytes);
    IO_STATUS_BLOCK status{};
    return rename(source.get(), &status, info, static_cast<ULONG>(buffer.size()), kFileRenameInformation) >= 0
               ? QuickRename::Done
               : QuickRename::NotTried;
}

}  // namespace tarnex
