#include "windows_files.h"

#include <windows.h>

#include <algorithm>

#include "portable/replace_rules.h"
#include "vrel/folder_walk.h"
#include "vrel/unique_handle.h"

namespace pack {
namespace {

tarnex::FileStamp ToStamp(const SYSTEMTIME& t) {
    return tarnex::FileStamp{t.wYear, t.wMonth, 0, t.wDay, t.wHour, t.wMinute, t.wSecond, 0};
}

// The version text the installer compares with an existing file's: the
// fixed file version as four numbers.
std::wstring VersionText(const std::wstring& path) {
    DWORD ignored = 0;
    const DWORD size = ::GetFileVersionInfoSizeW(path.c_str(), &ignored);
    if (size == 0) return {};
    std::vector<BYTE> block(size);
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    if (!::GetFileVersionInfoW(path.c_str(), 0, size, block.data()) ||
        !::VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &length) || fixed == nullptr ||
        length < sizeof(VS_FIXEDFILEINFO))
        return {};
    return tarnex::FormatFileVersion(fixed->dwFileVersionMS, fixed->dwFileVersionLS);
}

}  // namespace

bool WindowsFileSource::IsFolder(const std::wstring& path) {
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool WindowsFileSource::Facts(const std::wstring& path, FileFacts& facts) {
    vrel::unique_hfile file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                          OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    BY_HANDLE_FILE_INFORMATION info{};
    if (!file || !::GetFileInformationByHandle(file.get(), &info) ||
        (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
        return false;
    facts.size = (static_cast<std::uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
    FILETIME local{};
    SYSTEMTIME time{};
    if (!::FileTimeToLocalFileTime(&info.ftLastWriteTime, &local) || !::FileTimeToSystemTime(&local, &time)) return false;
    facts.stamp = ToStamp(time);
    file.reset();
    facts.version = VersionText(path);
    return true;
}

bool WindowsFileSource::ListFiles(const std::wstring& folder, std::vector<std::wstring>& files) {
    files.clear();
    std::wstring base = folder;
    if (base.back() != L'\\') base += L'\\';
    std::vector<std::wstring> pending{L""};  // folders below base still to read
    while (!pending.empty()) {
        const std::wstring relative = pending.back();
        pending.pop_back();
        WIN32_FIND_DATAW found{};
        vrel::unique_hfind find(::FindFirstFileW((base + relative + L"*").c_str(), &found));
        if (!find) return false;
        do {
            const std::wstring name = found.cFileName;
            if (name == L"." || name == L"..") continue;
            // A junction or link leads out of the folder the author named.
            if (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) continue;
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) pending.push_back(relative + name + L"\\");
            else files.push_back(relative + name);
        } while (::FindNextFileW(find.get(), &found));
        if (::GetLastError() != ERROR_NO_MORE_FILES) return false;
    }
    std::sort(files.begin(), files.end(), [](const std::wstring& a, const std::wstring& b) {
        return ::CompareStringOrdinal(a.c_str(), -1, b.c_str(), -1, TRUE) == CSTR_LESS_THAN;
    });
    return true;
}

bool ReadWholeFile(const std::wstring& path, std::string& bytes, std::uint64_t limit) {
    vrel::unique_hfile file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                          FILE_ATTRIBUTE_NORMAL, nullptr));
    LARGE_INTEGER size{};
    if (!file || !::GetFileSizeEx(file.get(), &size) || static_cast<std::uint64_t>(size.QuadPart) > limit ||
        size.QuadPart > 0x7FFFFFFF)
        return false;
    bytes.resize(static_cast<std::size_t>(size.QuadPart));
    DWORD read = 0;
    return bytes.empty() ||
           (::ReadFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr) && read == bytes.size());
}

bool FileSizeOf(HANDLE file, std::uint64_t& size) {
    LARGE_INTEGER value{};
    if (!::GetFileSizeEx(file, &value)) return false;
    size = static_cast<std::uint64_t>(value.QuadPart);
    return true;
}

namespace {
bool SeekTo(HANDLE file, std::uint64_t offset) {
    LARGE_INTEGER at{};
    at.QuadPart = static_cast<LONGLONG>(offset);
    return ::SetFilePointerEx(file, at, nullptr, FILE_BEGIN) != FALSE;
}
}  // namespace

bool ReadAt(HANDLE file, std::uint64_t offset, char* bytes, DWORD size, DWORD& read) {
    read = 0;
    if (!SeekTo(file, offset)) return false;
    while (read < size) {
        DWORD got = 0;
        if (!::ReadFile(file, bytes + read, size - read, &got, nullptr)) return false;
        if (got == 0) break;
        read += got;
    }
    return true;
}

bool WriteAt(HANDLE file, std::uint64_t offset, std::string_view bytes) {
    if (!SeekTo(file, offset)) return false;
    while (!bytes.empty()) {
        const DWORD piece = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), 1u << 20));
        DWORD written = 0;
        if (!::WriteFile(file, bytes.data(), piece, &written, nullptr) || written == 0) return false;
        bytes.remove_prefix(written);
    }
    return true;
}

bool TruncateAt(HANDLE file, std::uint64_t size) { return SeekTo(file, size) && ::SetEndOfFile(file); }

void RemoveTree(const std::wstring& folder) {
    vrel::WalkFolderDeepestFirst(folder, vrel::DeleteWalkedEntry);
    ::RemoveDirectoryW(folder.c_str());
}

tarnex::FileStamp LocalNow() {
    SYSTEMTIME now{};
    ::GetLocalTime(&now);
    return ToStamp(now);
}

bool SetLocalWriteTime(const std::wstring& path, const tarnex::FileStamp& stamp) {
    const SYSTEMTIME time{stamp.Year, stamp.Month, 0, stamp.Day, stamp.Hour, stamp.Minute, stamp.Second, 0};
    FILETIME local{}, utc{};
    if (!::SystemTimeToFileTime(&time, &local) || !::LocalFileTimeToFileTime(&local, &utc)) return false;
    vrel::unique_hfile file(::CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING,
                                          FILE_ATTRIBUTE_NORMAL, nullptr));
    return file && ::SetFileTime(file.get(), &utc, nullptr, &utc);
}

}  // namespace pack
