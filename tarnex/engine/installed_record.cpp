#include "engine/installed_record.h"

#include "services/registry_access.h"

namespace tarnex {

std::wstring PackageKeyPrefix(const SetupDescription& d) {
    std::wstring prefix = d.KeyPath;
    if (prefix.empty() || prefix.back() != L'\\') prefix += L'\\';
    return prefix;
}

std::wstring ComponentRecordKey(const SetupDescription& d, const ComponentRecord& c) {
    return PackageKeyPrefix(d) + c.EngName + L"\\" + c.Version;
}

int IsComponentInstalled(const SetupDescription& d, ComponentRecord& c) {
    std::wstring name;
    if (!QueryRegText(d.KeyRoot, ComponentRecordKey(d, c), L"Name", name)) return 0;
    c.Installed = 1;
    return 1;
}

int IsComponentInstalled(ComponentRecord& c) { return IsComponentInstalled(Description(), c); }

int DetectInstalledComponents(SetupDescription& d) {
    std::int32_t count = 0;
    for (ComponentRecord& c : d.ComponentList)
        if (c.Number != 0 && IsComponentInstalled(d, c)) ++count;
    d.InstalledCount = count;
    if (count != 0)
        for (ComponentRecord& c : d.ComponentList)
            if (c.Number == 0) c.Installed = 1;
    return count;
}

int ReadPackageText(const SetupDescription& d, const std::wstring& valueName, std::wstring& text) {
    return QueryRegText(d.KeyRoot, d.KeyPath, valueName, text);
}

int ReadPackagePathInst(const SetupDescription& d, std::wstring& text) { return ReadPackageText(d, L"PathInst", text); }

int ReadPackageAccess(const SetupDescription& d, std::wstring& text) { return ReadPackageText(d, L"Access", text); }

}  // namespace tarnex
