#include "manifest_fields.h"

#include <utility>

#include "manifest.h"
#include "portable/path_guard.h"
#include "portable/section_records.h"

namespace pack {
namespace manifest_fields {
namespace {

bool IsRootName(const std::wstring& name, std::int32_t& root) {
    static const std::pair<const wchar_t*, std::int32_t> kRoots[] = {
        {L"HKCR", 1}, {L"HKEY_CLASSES_ROOT", 1}, {L"HKCU", 2}, {L"HKEY_CURRENT_USER", 2},
        {L"HKLM", 3}, {L"HKEY_LOCAL_MACHINE", 3}, {L"HKU", 4},  {L"HKEY_USERS", 4}};
    for (const auto& [text, index] : kRoots)
        if (SameName(name, text)) {
            root = index;
            return true;
        }
    return false;
}

// Keys that other programs share. Removing a package deletes every key it
// names with all that lies below it, so such a key (or one above it) would
// take the system's data with it.
bool IsSharedKey(const std::wstring& key) {
    static const wchar_t* const kShared[] = {
        L"Software\\Classes\\CLSID",
        L"Software\\Classes\\Interface",
        L"Software\\Classes\\TypeLib",
        L"Software\\Classes\\AppID",
        L"Software\\Classes\\*",
        L"Software\\Microsoft\\Windows\\CurrentVersion\\Run",
        L"Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce",
        L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall",
        L"Software\\Microsoft\\Windows\\CurrentVersion\\App Paths",
        L"Software\\Microsoft\\Windows NT\\CurrentVersion",
        L"Software\\Policies\\Microsoft",
        L"Software\\Wow6432Node\\Microsoft",
        L"System\\CurrentControlSet\\Control\\Session Manager\\Environment",
        L"System\\CurrentControlSet\\Services",
        L"Environment",
        L"Control Panel\\Desktop",
        L"CLSID",
        L"Interface",
        L"TypeLib",
        L"AppID",
        L"*",
        L".DEFAULT\\Software\\Microsoft",
    };
    std::wstring k = key;
    while (!k.empty() && k.back() == L'\\') k.pop_back();
    if (k.empty()) return true;
    const std::wstring folded = FoldName(k);
    for (const wchar_t* shared : kShared) {
        const std::wstring s = FoldName(shared);
        // The key itself, or a key above it.
        if (s == folded || (s.size() > folded.size() && s.compare(0, folded.size(), folded) == 0 &&
                            s[folded.size()] == L'\\'))
            return true;
    }
    return false;
}

}  // namespace

std::wstring CheckField(const std::wstring& text, const FieldRule& rule) {
    if (rule.required && text.empty()) return L"must not be empty";
    if (text.size() >= rule.capacity)
        return L"is " + std::to_wstring(text.size()) + L" characters long; the installer reads at most " +
               std::to_wstring(rule.capacity - 1);
    if (rule.noComma && text.find(L',') != std::wstring::npos)
        return L"must not hold a comma (the installer splits this line at commas)";
    for (wchar_t c : text)
        if (c < 0x20 && c != L'\t') return L"holds a control character";
    return L"";
}

std::wstring CheckRegistryKey(const std::wstring& text, std::int32_t& root, std::wstring& path) {
    const std::size_t slash = text.find(L'\\');
    const std::wstring rootName = text.substr(0, slash);
    if (!IsRootName(rootName, root))
        return L"must start with HKCR, HKCU, HKLM or HKU (or their long names) and a backslash";
    path = slash == std::wstring::npos ? L"" : text.substr(slash + 1);
    if (path.empty()) return L"names a whole registry root";
    if (path.find(L"\\\\") != std::wstring::npos || path.back() == L'\\' || path.front() == L'\\')
        return L"has an empty part between backslashes";
    if (IsSharedKey(path))
        return L"names a key other programs share; the removal deletes the key with everything below it";
    return L"";
}

}  // namespace manifest_fields

std::wstring CheckFileName(std::wstring_view name) {
    if (name.empty()) return L"is empty";
    if (name.find_first_of(L"\\/:*?\"<>|") != std::wstring_view::npos) return L"holds one of \\ / : * ? \" < > |";
    for (wchar_t c : name)
        if (c < 0x20) return L"holds a control character";
    if (name.back() == L'.' || name.back() == L' ') return L"ends in a dot or a blank";
    if (name.find(L',') != std::wstring_view::npos) return L"holds a comma (the installer splits file lines at commas)";
    if (name.size() >= tarnex::kNameField)
        return L"is longer than " + std::to_wstring(tarnex::kNameField - 1) + L" characters";
    return L"";
}

std::wstring CheckRelativePath(std::wstring_view path) {
    if (!tarnex::StaysInsideFolder(path)) return L"leaves its folder";
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t end = path.find_first_of(L"\\/", start);
        if (end == std::wstring_view::npos) end = path.size();
        const std::wstring problem = CheckFileName(path.substr(start, end - start));
        if (!problem.empty()) return L"has a part that " + problem;
        start = end + 1;
    }
    return L"";
}

}  // namespace pack
