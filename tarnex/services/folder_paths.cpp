#include "services/folder_paths.h"

#include <cwctype>

#include "vrel/unique_handle.h"

namespace tarnex {
namespace {


bool IsDriveRoot(const std::wstring& path) {
    return path.size() == 3 && std::iswalpha(static_cast<wint_t>(path[0])) && path[1] == L':' && path[2] == L'\\';
}

}  // namespace

std::optional<Failure> CreateFolderPath(std::wstring& path) {
    if (path.size() < 3) {
        for (wchar_t& c : path) c = static_cast<wchar_t>(std::towlower(static_cast<wint_t>(c)));
        if (path.size() < 2) path += L':';
        if (path.size() < 3) path += L'\\';
        if (IsDriveRoot(path)) {
            if (::GetDriveTypeW(path.c_str()) == DRIVE_FIXED) return std::nullopt;
            return Failure{Question::kDriveTypeUnsupported, path, {}};
        }
        return Failure{Question::kDriveNotFound, path, {}};
    }

    const std::size_t slash = path.rfind(L'\\');
    if (slash == std::wstring::npos) {
        // Not absolute: there is no drive to start from.
        return Failure{Question::kDriveNotFound, path, {}};
    }
    std::wstring parent = path.substr(0, slash);
    if (std::optional<Failure> failure = CreateFolderPath(parent)) return failure;

    // Anything of that name, file or folder, counts as existing.
    if (::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES) return std::nullopt;

    if (!::CreateDirectoryW(path.c_str(), nullptr)) return Failure{Question::kFolderCannotCreate, path, {}};
    return std::nullopt;
}

bool EnsureFolder(const std::wstring& path, std::optional<Failure>& failure) {
    std::wstring copy = path;
    if (!copy.empty() && copy.back() == L'\\') copy.pop_back();
    failure = CreateFolderPath(copy);
    const bool driveForm = copy.size() >= 3 && std::iswalpha(static_cast<wint_t>(copy[0])) && copy[1] == L':' &&
                           copy[2] == L'\\';
    return driveForm && !failure;
}

// Works with full paths rather than by changing the current folder: the
// current folder is process-wide and the worker thread runs at the same time.
void RemoveEmptySubfolders(const std::wstring& folder) {
    std::wstring base = folder;
    if (!base.empty() && base.back() != L'\\') base += L'\\';
    WIN32_FIND_DATAW found{};
    vrel::unique_hfind find(::FindFirstFileW((base + L"*.*").c_str(), &found));
    if (!find) return;
    do {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) || found.cFileName[0] == L'.') continue;
        // A junction or link leads elsewhere: neither its target nor the link is ours to remove.
        if (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) continue;
        const std::wstring child = base + found.cFileName;
        RemoveEmptySubfolders(child);
        ::RemoveDirectoryW(child.c_str());  // fails harmlessly when not empty
    } while (::FindNextFileW(find.get(), &found));
}

}  // namespace tarnex
