#include "description/package_paths.h"

#include <windows.h>

#include "portable/path_guard.h"
#include "services/app_context.h"

namespace tarnex {

std::wstring InstalledPathOf(const FileRecord& record) {
    return std::wstring(record.TargetFolder) + record.TargetName;
}

std::wstring TemporaryPathOf(const FileRecord& record) {
    return std::wstring(record.TargetFolder) + kTemporaryPrefix + record.TargetName;
}

bool FileAccepted(const FileRecord& record) { return !record.PathRefused && StaysInsideFolder(record.TargetName); }

std::wstring PackageRelativePath(const std::wstring& path) {
    const std::wstring folder = App().ProgramFolder;
    const int n = static_cast<int>(folder.size());
    if (folder.empty() || path.size() <= folder.size() ||
        ::CompareStringOrdinal(path.c_str(), n, folder.c_str(), n, TRUE) != CSTR_EQUAL)
        return path;
    return path.substr(folder.size());
}

std::wstring InfCopyPath(const SetupDescription& description, const InfFileEntry& entry, bool temporary) {
    std::wstring relative = PackageRelativePath(entry.InfPath);
    if (!StaysInsideFolder(relative)) return L"";
    if (temporary) {
        const std::size_t nameAt = relative.find_last_of(L'\\') + 1;  // 0 without a folder part
        relative.insert(nameAt, kTemporaryPrefix);
    }
    return std::wstring(description.InstallFolder) + relative;
}

}  // namespace tarnex
