#include "engine/run_mark.h"

#include <algorithm>
#include <iterator>
#include <string_view>

#include "services/app_context.h"
#include "services/registry_access.h"
#include "vrel/registry_keys.h"
#include "vrel/unique_handle.h"

namespace tarnex {
namespace {

constexpr wchar_t kModeValue[] = L"RunInProgress";
constexpr wchar_t kFolderValue[] = L"RunFolder";
constexpr wchar_t kSelectedValue[] = L"RunSelected";
constexpr wchar_t kInstalledValue[] = L"RunInstalled";
constexpr wchar_t kAccessValue[] = L"RunAccess";
constexpr wchar_t kStepValue[] = L"RunStep";
constexpr wchar_t kPreviousValue[] = L"RunPrevious";
const wchar_t* const kMarkValues[] = {kModeValue,   kFolderValue, kSelectedValue, kInstalledValue,
                                      kAccessValue, kStepValue,   kPreviousValue};

bool IsMarkValue(const std::wstring& name) {
    return std::any_of(std::begin(kMarkValues), std::end(kMarkValues),
                       [&](const wchar_t* mark) { return ::lstrcmpiW(mark, name.c_str()) == 0; });
}

bool SetDword(const SetupDescription& d, const wchar_t* name, DWORD value) {
    return SetRegValue(d.KeyRoot, d.KeyPath, name, &value, sizeof value, REG_DWORD) != 0;
}

DWORD ReadDword(const SetupDescription& d, const wchar_t* name) {
    std::vector<BYTE> data;
    DWORD value = 0;
    if (QueryRegValue(d.KeyRoot, d.KeyPath, name, data, REG_DWORD) && data.size() >= sizeof value)
        std::copy_n(data.data(), sizeof value, reinterpret_cast<BYTE*>(&value));
    return value;
}

bool SetList(const SetupDescription& d, const wchar_t* name, const std::vector<std::wstring>& items) {
    std::wstring data;
    for (const std::wstring& item : items) data.append(item).push_back(L'\0');
    data.push_back(L'\0');
    return SetRegValue(d.KeyRoot, d.KeyPath, name, data.data(), static_cast<DWORD>(data.size() * sizeof(wchar_t)),
                       REG_MULTI_SZ) != 0;
}

std::vector<std::wstring> ReadList(const SetupDescription& d, const wchar_t* name) {
    std::vector<BYTE> data;
    std::vector<std::wstring> items;
    if (!QueryRegValue(d.KeyRoot, d.KeyPath, name, data, REG_MULTI_SZ)) return items;
    // Read as far as it holds whole characters, whether or not its writer
    // ended it with two terminators.
    std::wstring text(data.size() / sizeof(wchar_t), L'\0');
    std::copy_n(data.data(), text.size() * sizeof(wchar_t), reinterpret_cast<BYTE*>(text.data()));
    for (std::size_t at = 0; at < text.size();) {
        std::size_t end = text.find(L'\0', at);
        if (end == std::wstring::npos) end = text.size();
        if (end > at) items.push_back(text.substr(at, end - at));
        at = end + 1;
    }
    return items;
}

std::vector<std::wstring> Identities(const SetupDescription& d, std::int32_t ComponentRecord::*flag) {
    std::vector<std::wstring> items;
    for (const ComponentRecord& c : d.ComponentList)
        if (c.Number != 0 && c.*flag) items.push_back(ComponentIdentity(c));
    return items;
}

// The names of the values or subkeys of an open key, read before any is deleted.
template <typename Enumerate>
std::vector<std::wstring> Names(Enumerate enumerate) {
    std::vector<std::wstring> names;
    std::vector<wchar_t> name(16384);  // the registry's longest value name, and its zero
    for (DWORD index = 0;; ++index) {
        DWORD length = static_cast<DWORD>(name.size());
        if (enumerate(index, name.data(), &length) != ERROR_SUCCESS) break;
        names.emplace_back(name.data(), length);
    }
    return names;
}

// A package key written as a bare root names the root itself: its subkeys
// are the whole hive's, never the package's to delete.
bool NamesAKey(const SetupDescription& d) {
    return std::wstring_view(d.KeyPath).find_first_not_of(L'\\') != std::wstring_view::npos;
}

bool IsRunMode(DWORD mode) { return mode == AS_INST || mode == AS_DEL || mode == AS_REP || mode == AS_AD || mode == AS_SD; }

}  // namespace

std::wstring ComponentIdentity(const ComponentRecord& component) {
    return std::wstring(component.EngName) + L"\\" + component.Version;
}

bool WriteRunMark(const SetupDescription& d, DWORD mode) {
    const wchar_t* name = ModeName(mode);
    if (name == nullptr || !NamesAKey(d)) return false;
    // The mode last: a mark without it is no mark, so a cut while it is
    // written leaves nothing half-said.
    const bool written = SetRegText(d.KeyRoot, d.KeyPath, kFolderValue, d.InstallFolder) &&
                         SetList(d, kSelectedValue, Identities(d, &ComponentRecord::Selected)) &&
                         SetList(d, kInstalledValue, Identities(d, &ComponentRecord::Installed)) &&
                         SetDword(d, kAccessValue, static_cast<DWORD>(d.AccessVersion)) && SetDword(d, kStepValue, 0) &&
                         SetRegText(d.KeyRoot, d.KeyPath, kModeValue, name);
    return written;
}

void WriteUpgradeMark(const SetupDescription& d, const std::vector<std::wstring>& previous) {
    if (NamesAKey(d)) SetList(d, kPreviousValue, previous);
}

void MarkStepDone(const SetupDescription& d, int step) { SetDword(d, kStepValue, static_cast<DWORD>(step)); }

void RemoveRunMark(const SetupDescription& d) {
    if (!NamesAKey(d)) return;
    // The mode first, for the same reason it is written last.
    DeleteRegValue(d.KeyRoot, d.KeyPath, kModeValue);
    for (const wchar_t* name : kMarkValues) DeleteRegValue(d.KeyRoot, d.KeyPath, name);
    vrel::unique_hkey key;
    if (::RegOpenKeyExW(vrel::RootKeyOfIndex(d.KeyRoot), d.KeyPath, 0, KEY_READ, key.put()) != ERROR_SUCCESS) return;
    DWORD subkeys = 0, values = 0;
    const LONG queried = ::RegQueryInfoKeyW(key.get(), nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values,
                                            nullptr, nullptr, nullptr, nullptr);
    key.reset();
    if (queried == ERROR_SUCCESS && subkeys == 0 && values == 0) DeleteRegTree(d.KeyRoot, d.KeyPath);
}

bool ReadRunMark(const SetupDescription& d, RunMark& mark) {
    std::wstring modeName;
    if (!NamesAKey(d)) return false;
    if (!QueryRegText(d.KeyRoot, d.KeyPath, kModeValue, modeName)) {
        // A run cut while it took its mark away (the mode goes first) may
        // have left the rest: no mark, but values nothing else would delete.
        RemoveRunMark(d);
        return false;
    }
    DWORD mode = 0;
    while (ModeName(mode) != nullptr && modeName != ModeName(mode)) ++mode;
    if (ModeName(mode) == nullptr || !IsRunMode(mode)) return false;
    mark.Mode = mode;
    QueryRegText(d.KeyRoot, d.KeyPath, kFolderValue, mark.Folder);
    mark.Selected = ReadList(d, kSelectedValue);
    mark.Installed = ReadList(d, kInstalledValue);
    mark.Access = ReadDword(d, kAccessValue);
    mark.LastStep = ReadDword(d, kStepValue);
    mark.Previous = ReadList(d, kPreviousValue);
    return true;
}

void ClearPackageKeyButMark(const SetupDescription& d) {
    if (!NamesAKey(d)) return;
    vrel::unique_hkey key;
    if (::RegOpenKeyExW(vrel::RootKeyOfIndex(d.KeyRoot), d.KeyPath, 0, KEY_ALL_ACCESS, key.put()) != ERROR_SUCCESS) return;
    const std::vector<std::wstring> subkeys = Names([&](DWORD i, wchar_t* name, DWORD* length) {
        return ::RegEnumKeyExW(key.get(), i, name, length, nullptr, nullptr, nullptr, nullptr);
    });
    const std::vector<std::wstring> values = Names([&](DWORD i, wchar_t* name, DWORD* length) {
        return ::RegEnumValueW(key.get(), i, name, length, nullptr, nullptr, nullptr, nullptr);
    });
    key.reset();
    std::wstring prefix = d.KeyPath;
    if (prefix.empty() || prefix.back() != L'\\') prefix += L'\\';
    for (const std::wstring& subkey : subkeys) DeleteRegTree(d.KeyRoot, prefix + subkey);
    for (const std::wstring& value : values)
        if (!IsMarkValue(value)) DeleteRegValue(d.KeyRoot, d.KeyPath, value);
}

}  // namespace tarnex
