#include "sysops/folder_tree.h"

#include <windows.h>

namespace tarnex {

bool CreateFolderTree(const std::wstring& folder) {
    std::wstring path = folder;
    while (!path.empty() && (path.back() == L'\\' || path.back() == L'/')) path.pop_back();
    if (path.empty()) return false;
    // Skip the root ("C:\" or "\\server\share\") before creating parts.
    std::size_t start = 0;
    if (path.size() >= 2 && path[1] == L':') {
        start = 3;
    } else if (path.rfind(L"\\\\", 0) == 0) {
        const std::size_t server = path.find(L'\\', 2);
        start = server == std::wstring::npos ? path.size() : path.find(L'\\', server + 1);
        if (start == std::wstring::npos) start = path.size();
    }
    for (std::size_t at = path.find(L'\\', start); ; at = path.find(L'\\', at + 1)) {
        const std::wstring part = path.substr(0, at);
        // Existing folders refuse quietly; what matters is checked at the end.
        if (!part.empty()) ::CreateDirectoryW(part.c_str(), nullptr);
        if (at == std::wstring::npos) break;
    }
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

}  // namespace tarnex
