#include "sysops/shortcuts.h"

#include <windows.h>
#include <shlobj.h>
#include <shobjidl.h>

#include "portable/path_guard.h"
#include "services/setup_log.h"
#include "sysops/folder_tree.h"
#include "vrel/com_apartment.h"
#include "vrel/com_ptr.h"

namespace tarnex {
namespace {

struct SpecialFolder {
    const wchar_t* name;
    int id;
};

constexpr SpecialFolder kSpecialFolders[] = {
    {L"CSIDL_DESKTOP", 0},
    {L"CSIDL_PROGRAMS", 2},
    {L"CSIDL_CONTROLS", 3},
    {L"CSIDL_PRINTERS", 4},
    {L"CSIDL_PERSONAL", 5},
    {L"CSIDL_FAVORITES", 6},
    {L"CSIDL_STARTUP", 7},
    {L"CSIDL_RECENT", 8},
    {L"CSIDL_SENDTO", 9},
    {L"CSIDL_BITBUCKET", 10},
    {L"CSIDL_STARTMENU", 11},
    {L"CSIDL_DESKTOPDIRECTORY", 16},
    {L"CSIDL_DRIVES", 17},
    {L"CSIDL_NETWORK", 18},
    {L"CSIDL_NETHOOD", 19},
    {L"CSIDL_FONTS", 20},
    {L"CSIDL_TEMPLATES", 21},
    {L"CSIDL_COMMON_STARTMENU", 22},
    {L"CSIDL_COMMON_PROGRAMS", 23},
    {L"CSIDL_COMMON_STARTUP", 24},
    {L"CSIDL_COMMON_DESKTOPDIRECTORY", 25},
    {L"CSIDL_APPDATA", 26},
    {L"CSIDL_PRINTHOOD", 27},
    {L"", 0},  // an empty name selects the desktop
};

// The special folder's file-system path, or "" when the shell has none.
std::wstring SpecialFolderPath(int id) {
    LPITEMIDLIST list = nullptr;
    if (FAILED(::SHGetSpecialFolderLocation(nullptr, id, &list)) || list == nullptr) return {};
    wchar_t path[MAX_PATH] = {};
    const BOOL ok = ::SHGetPathFromIDListW(list, path);
    ::CoTaskMemFree(list);
    return ok ? std::wstring(path) : std::wstring();
}

void SaveShortcut(const LinkEntry& entry, const std::wstring& linkPath) {
    const vrel::ComApartment com;
    vrel::ComPtr<IShellLinkW> link;
    if (FAILED(::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW, link.put_void())))
        return;
    link->SetPath(entry.Target);
    link->SetWorkingDirectory(entry.WorkingFolder);
    link->SetArguments(entry.Arguments);
    vrel::ComPtr<IPersistFile> file;
    if (SUCCEEDED(link.as(file, IID_IPersistFile))) file->Save(linkPath.c_str(), TRUE);
}

}  // namespace

int SpecialFolderId(const std::wstring& name) {
    for (const SpecialFolder& folder : kSpecialFolders)
        if (::CompareStringOrdinal(name.c_str(), -1, folder.name, -1, TRUE) == CSTR_EQUAL) return folder.id;
    return -1;
}

int ProcessLink(const LinkEntry& entry, bool remove) {
    const std::wstring folderText = entry.Folder;
    const std::size_t slash = folderText.find(L'\\');
    const std::wstring name = folderText.substr(0, slash);
    const std::wstring subfolders = slash == std::wstring::npos ? std::wstring() : folderText.substr(slash);
    const int id = SpecialFolderId(name);
    if (id < 0) return 0;
    const std::wstring special = SpecialFolderPath(id);
    if (special.empty()) return 0;
    // The subfolders and the shortcut's name stay below the special folder.
    if ((!subfolders.empty() && !StaysInsideFolder(subfolders.substr(1))) || !StaysInsideFolder(entry.LinkName)) {
        WriteLogF(L"Refused shortcut outside its folder: %s%s", subfolders.c_str(), entry.LinkName);
        return 1;
    }
    std::wstring folder = special + subfolders;
    if (folder.back() != L'\\') folder += L'\\';
    CreateFolderTree(folder);
    const std::wstring linkPath = folder + entry.LinkName + L".lnk";
    if (!remove) {
        SaveShortcut(entry, linkPath);
        return 1;
    }
    ::DeleteFileW(linkPath.c_str());
    const std::wstring stop = SpecialFolderPath(id);
    std::wstring path = linkPath;
    for (;;) {
        const std::size_t cut = path.rfind(L'\\');
        if (cut == std::wstring::npos) break;
        path.resize(cut);
        if (::CompareStringOrdinal(path.c_str(), -1, stop.c_str(), -1, TRUE) == CSTR_EQUAL) break;
        // Also stop when the walk has left the special folder (it never should).
        if (path.size() <= stop.size()) break;
        ::RemoveDirectoryW(path.c_str());
    }
    return 1;
}

}  // namespace tarnex
