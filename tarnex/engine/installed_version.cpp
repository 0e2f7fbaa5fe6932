#include "engine/installed_version.h"

#include <windows.h>

#include <algorithm>
#include <unordered_set>

#include "description/component_catalogue.h"
#include "description/folded_name.h"
#include "description/portable/line_parsers.h"
#include "engine/installed_record.h"
#include "engine/installed_record_writer.h"
#include "engine/path_substitution.h"
#include "engine/run_mark.h"
#include "portable/path_guard.h"
#include "services/app_context.h"
#include "services/folder_paths.h"
#include "services/registry_access.h"
#include "services/setup_log.h"
#include "vrel/bounded_copy.h"
#include "vrel/folder_walk.h"
#include "vrel/registry_keys.h"
#include "vrel/unique_handle.h"

namespace tarnex {
namespace {

constexpr wchar_t kKeptFolder[] = L"vrel_previous\\";
constexpr int kMachineRoot = 3;

bool StartsWithFolder(const std::wstring& path, const std::wstring& folder) {
    const int n = static_cast<int>(folder.size());
    return !folder.empty() && path.size() > folder.size() &&
           ::CompareStringOrdinal(path.c_str(), n, folder.c_str(), n, TRUE) == CSTR_EQUAL;
}

std::wstring WithBackslash(std::wstring folder) {
    if (!folder.empty() && folder.back() != L'\\') folder += L'\\';
    return folder;
}

std::wstring WithoutBackslash(std::wstring folder) {
    if (!folder.empty() && folder.back() == L'\\') folder.pop_back();
    return folder;
}

std::wstring BaseName(const std::wstring& fileName) {
    const std::size_t dot = fileName.rfind(L'.');
    return dot == std::wstring::npos ? fileName : fileName.substr(0, dot);
}

// The installed copy's base name: the one the uninstall entry starts, when it
// lies in the install folder; else the one this package installs.
std::wstring InstalledProgramName(const SetupDescription& current, const std::wstring& folder) {
    std::wstring command;
    if (QueryRegText(kMachineRoot, UninstallKeyOf(current), L"UninstallString", command) && command.size() > 1 &&
        command[0] == L'"') {
        const std::size_t end = command.find(L'"', 1);
        const std::wstring path = end == std::wstring::npos ? L"" : command.substr(1, end - 1);
        const std::size_t slash = path.rfind(L'\\');
        if (slash != std::wstring::npos && StartsWithFolder(path, folder) && slash + 1 == folder.size())
            return BaseName(path.substr(slash + 1));
    }
    return BaseName(current.SetNameUI);
}

bool IsFile(const std::wstring& path) {
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// The kept folder is the installer's own: everything below it goes.
void RemoveKeptTree(const std::wstring& folder) {
    vrel::WalkFolderDeepestFirst(folder, vrel::DeleteWalkedEntry);
    ::RemoveDirectoryW(WithoutBackslash(folder).c_str());
}

std::vector<std::wstring> Subkeys(int root, const std::wstring& path) {
    std::vector<std::wstring> names;
    vrel::unique_hkey key;
    if (::RegOpenKeyExW(vrel::RootKeyOfIndex(root), path.c_str(), 0, KEY_READ, key.put()) != ERROR_SUCCESS) return names;
    wchar_t name[256];
    for (DWORD i = 0;; ++i) {
        DWORD length = 256;
        if (::RegEnumKeyExW(key.get(), i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        names.emplace_back(name, length);
    }
    return names;
}

std::wstring KeptFolderOf(const std::wstring& folder) { return folder + kKeptFolder; }

// The description and its user INF files from `from`, with the sections of
// `sections` and the paths of the installed folder.
bool Load(const SetupDescription& current, InstalledVersion& v, const std::wstring& from, std::uint32_t sections) {
    v.ReadFrom = from;
    v.Description = SetupDescription{};
    SetupDescription& d = v.Description;
    // The reader says so in a message box when a file cannot be opened: a
    // folder that lacks one holds no version to read, which is no error.
    if (!IsFile(from + v.ProgramName + L".inf") || !LoadSetupDescriptionFrom(d, from, v.ProgramName, sections)) return false;
    for (std::size_t i = 1; i < d.InfFiles.size(); ++i)
        if (!IsFile(d.InfFiles[i].InfPath)) return false;
    if (!LoadComponentCatalogue(d, sections)) return false;
    // Its records are where this package keeps its own.
    d.KeyRoot = current.KeyRoot;
    vrel::CopyToField(d.KeyPath, std::wstring_view(current.KeyPath));
    if (!CopyWhole(d.PreviousInstallFolder, v.Folder)) return false;
    SubstituteInstallFolder(d, [] {});
    v.InfCopies.clear();
    for (std::size_t i = 1; i < d.InfFiles.size(); ++i) {
        const std::wstring path = d.InfFiles[i].InfPath;
        const std::wstring relative = StartsWithFolder(path, from) ? path.substr(from.size()) : L"";
        if (!relative.empty() && StaysInsideFolder(relative)) v.InfCopies.push_back(v.Folder + relative);
    }
    return true;
}

void MarkComponentsInstalled(SetupDescription& d, const std::vector<std::wstring>& identities) {
    std::int32_t count = 0;
    for (ComponentRecord& c : d.ComponentList) {
        if (c.Number == 0) continue;
        c.Installed = std::find(identities.begin(), identities.end(), ComponentIdentity(c)) != identities.end();
        count += c.Installed;
    }
    d.InstalledCount = count;
    for (ComponentRecord& c : d.ComponentList)
        if (c.Number == 0) c.Installed = count != 0;
}

bool MakeFolders(const std::wstring& folder) {
    for (std::size_t at = folder.find(L'\\', 3); at != std::wstring::npos; at = folder.find(L'\\', at + 1)) {
        const std::wstring part = folder.substr(0, at);
        if (!::CreateDirectoryW(part.c_str(), nullptr) && ::GetLastError() != ERROR_ALREADY_EXISTS) return false;
    }
    return true;
}

std::vector<std::wstring> KeptFiles(const InstalledVersion& v) {
    std::vector<std::wstring> relative{v.ProgramName + L".inf"};
    for (const std::wstring& copy : v.InfCopies) relative.push_back(copy.substr(v.Folder.size()));
    return relative;
}

}  // namespace

InstalledVersion& PreviousVersion() {
    static InstalledVersion version;
    return version;
}

bool ReadInstalledVersion(const SetupDescription& current, InstalledVersion& v, std::uint32_t sections) {
    v = InstalledVersion{};
    std::wstring folder;
    if (!ReadPackagePathInst(current, folder) || folder.size() < 3) return false;
    v.Folder = WithBackslash(folder);
    v.ProgramName = InstalledProgramName(current, v.Folder);
    if (!QueryRegText(kMachineRoot, UninstallKeyOf(current), L"DisplayVersion", v.DisplayVersion) ||
        v.DisplayVersion.empty())
        v.DisplayVersion = kUnknownVersion;
    if (!Load(current, v, v.Folder, sections)) {
        WriteLog(L"The installed version's description cannot be read from " + v.Folder + v.ProgramName +
                 L".inf; what it has and this package has not stays\r\n");
        return false;
    }
    // A version of another Name kept its entry under that name.
    if (v.DisplayVersion == kUnknownVersion &&
        (!QueryRegText(kMachineRoot, UninstallKeyOf(v.Description), L"DisplayVersion", v.DisplayVersion) ||
         v.DisplayVersion.empty()))
        v.DisplayVersion = kUnknownVersion;
    v.Found = DetectInstalledComponents(v.Description) != 0;
    return v.Found;
}

bool IsAnotherVersion(const SetupDescription& current, const std::wstring& programFolder) {
    std::wstring folder, version;
    if (!ReadPackagePathInst(current, folder) || folder == programFolder) return false;
    if (current.DisplayVersion[0] != L'\0' &&
        (!QueryRegText(kMachineRoot, UninstallKeyOf(current), L"DisplayVersion", version) ||
         version != current.DisplayVersion))
        return true;
    std::unordered_set<std::wstring> known;
    for (const ComponentRecord& c : current.ComponentList)
        if (c.Number != 0) known.insert(FoldedName(ComponentIdentity(c)));
    const std::wstring prefix = PackageKeyPrefix(current);
    for (const std::wstring& engName : Subkeys(current.KeyRoot, current.KeyPath))
        for (const std::wstring& recorded : Subkeys(current.KeyRoot, prefix + engName))
            if (!known.count(FoldedName(engName + L"\\" + recorded))) return true;
    return false;
}

std::vector<std::wstring> DescribeInstalledVersion(const InstalledVersion& v) {
    std::vector<std::wstring> described{v.Folder, v.ProgramName, v.DisplayVersion};
    for (const ComponentRecord& c : v.Description.ComponentList)
        if (c.Number != 0 && c.Installed) described.push_back(ComponentIdentity(c));
    return described;
}

bool ReadKeptVersion(const SetupDescription& current, const std::vector<std::wstring>& described, InstalledVersion& v,
                     std::uint32_t sections) {
    v = InstalledVersion{};
    if (described.size() < 3 || described[0].size() < 3) return false;
    v.Folder = WithBackslash(described[0]);
    v.ProgramName = described[1];
    v.DisplayVersion = described[2];
    if (!Load(current, v, KeptFolderOf(v.Folder), sections)) {
        // What a run cut while it discarded its copy left.
        WriteLog(L"The kept copy of the installed version cannot be read from " + KeptFolderOf(v.Folder) +
                 L"; what it had and this package has not stays\r\n");
        RemoveKeptTree(KeptFolderOf(v.Folder));
        return false;
    }
    MarkComponentsInstalled(v.Description, {described.begin() + 3, described.end()});
    v.Found = v.Description.InstalledCount != 0;
    return v.Found;
}

bool KeepInstalledVersion(const InstalledVersion& v) {
    const std::wstring kept = KeptFolderOf(v.Folder);
    if (v.ReadFrom == kept) return true;  // read from the copy already
    for (const std::wstring& relative : KeptFiles(v)) {
        const std::wstring target = kept + relative;
        if (!MakeFolders(target) || !::CopyFileW((v.ReadFrom + relative).c_str(), target.c_str(), FALSE)) {
            WriteLog(L"The installed version's INF files cannot be kept in " + kept + L" (error " +
                     std::to_wstring(::GetLastError()) + L")\r\n");
            return false;
        }
    }
    return true;
}

void DiscardKeptVersion(const InstalledVersion& v, const std::wstring& installFolder) {
    RemoveKeptTree(KeptFolderOf(v.Folder));
    // Folders that held only what the installed version had and this one has not.
    RemoveEmptySubfolders(v.Folder);
    if (::lstrcmpiW(WithBackslash(installFolder).c_str(), v.Folder.c_str()) != 0)
        ::RemoveDirectoryW(WithoutBackslash(v.Folder).c_str());
}

}  // namespace tarnex
