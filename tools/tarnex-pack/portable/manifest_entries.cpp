// Reg, Env and Shortcut lines, which both [Package] (for the installer
// itself) and the components carry.
#include <cstdint>
#include <utility>

#include "manifest.h"
#include "manifest_fields.h"
#include "manifest_reader.h"
#include "manifest_text.h"
#include "portable/section_records.h"

namespace pack::manifest_reading {

using manifest_fields::CheckField;
using manifest_fields::CheckRegistryKey;
using manifest_text::ReadNumber;
using manifest_text::SplitFields;

bool Reader::EntryKey(int line, const std::wstring& key, const std::wstring& value, Entries& entries) {
    if (SameName(key, L"Reg")) Registry(line, value, entries);
    else if (SameName(key, L"Env")) Environment(line, value, entries);
    else if (SameName(key, L"Shortcut")) Shortcut(line, value, entries);
    else return false;
    return true;
}

void Reader::Registry(int line, const std::wstring& value, Entries& entries) {
    const std::vector<std::wstring> f = SplitFields(value, 4);
    RegLine r;
    r.line = line;
    const std::wstring problem = CheckRegistryKey(f[0], r.root, r.subKey);
    if (!problem.empty()) return Error(line, L"the registry key \"" + f[0] + L"\" " + problem);
    FieldError(line, L"the registry key", CheckField(r.subKey, {tarnex::kPathField, true}));
    r.valueName = f[1];
    FieldError(line, L"the value name", CheckField(r.valueName, {tarnex::kNameField, true}));
    if (f[2].empty() || SameName(f[2], L"text")) r.type = 0;
    else if (SameName(f[2], L"dword")) r.type = 2;
    else return Error(line, L"unknown value type \"" + f[2] + L"\"; expected text or dword");
    r.data = f[3];
    FieldError(line, L"the data", CheckField(r.data, {tarnex::kPathField, true}));
    std::int64_t number = 0;
    // The installer reads a double word as a signed decimal number.
    if (r.type == 2 && !ReadNumber(r.data, INT32_MIN, INT32_MAX, number))
        Error(line, L"the data of a dword must be a decimal number from -2147483648 to 2147483647");
    entries.registry.push_back(std::move(r));
}

void Reader::Environment(int line, const std::wstring& value, Entries& entries) {
    const std::vector<std::wstring> f = SplitFields(value, 4);
    EnvLine e;
    e.line = line;
    e.name = f[0];
    FieldError(line, L"the variable name", CheckField(e.name, {tarnex::kNameField, true, true}));
    if (e.name.find(L'=') != std::wstring::npos) Error(line, L"the variable name must not hold \"=\"");
    if (f[1].empty() || SameName(f[1], L"user")) e.system = false;
    else if (SameName(f[1], L"system")) e.system = true;
    else return Error(line, L"expected user or system, not \"" + f[1] + L"\"");
    if (f[2].empty() || SameName(f[2], L"set")) e.replace = true;
    else if (SameName(f[2], L"append")) e.replace = false;
    else return Error(line, L"expected set or append, not \"" + f[2] + L"\"");
    e.value = f[3];
    FieldError(line, L"the value", CheckField(e.value, {tarnex::kPathField, false, true}));  // the rest of the line: commas stay
    // The installer applies the ";"-separated parts one by one and stops at
    // an empty one; setting writes each part over the one before.
    bool emptyPart = false;
    for (std::size_t start = 0; start <= e.value.size();) {
        std::size_t end = e.value.find(L';', start);
        if (end == std::wstring::npos) end = e.value.size();
        if (end == start) emptyPart = true;
        else if (emptyPart) return Error(line, L"the value has an empty part before others; the installer stops there");
        start = end + 1;
    }
    if (e.replace && e.value.find(L';') != std::wstring::npos && e.value.find(L';') + 1 < e.value.size())
        return Error(line, L"set keeps only the last of the \";\"-separated parts; use append for a list");
    entries.env.push_back(std::move(e));
}

void Reader::Shortcut(int line, const std::wstring& value, Entries& entries) {
    const std::vector<std::wstring> f = SplitFields(value, 5);
    ShortcutLine s{f[0], f[1], f[2], f[3], f[4], line};
    if (s.folder.compare(0, 6, L"CSIDL_") != 0)
        return Error(line, L"the shortcut folder must start with a special folder, CSIDL_PROGRAMS for instance");
    const std::size_t slash = s.folder.find(L'\\');
    if (slash != std::wstring::npos) {
        const std::wstring problem = CheckRelativePath(s.folder.substr(slash + 1));
        if (!problem.empty()) return Error(line, L"the shortcut folder " + problem);
    }
    FieldError(line, L"the shortcut folder", CheckField(s.folder, {tarnex::kPathField, true}));
    const std::wstring nameProblem = CheckFileName(s.name);
    if (!nameProblem.empty()) return Error(line, L"the shortcut name \"" + s.name + L"\" " + nameProblem);
    FieldError(line, L"the shortcut name", CheckField(s.name, {tarnex::kNameField, true}));
    FieldError(line, L"the shortcut target", CheckField(s.target, {tarnex::kPathField, true, true}));
    FieldError(line, L"the working folder", CheckField(s.workingFolder, {tarnex::kPathField, true}));
    FieldError(line, L"the arguments", CheckField(s.arguments, {tarnex::kPathField}));  // the rest of the line
    entries.shortcuts.push_back(std::move(s));
}

}  // namespace pack::manifest_reading
