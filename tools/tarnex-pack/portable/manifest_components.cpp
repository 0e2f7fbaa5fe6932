// [Component NAME]: a component's options, its files and folders and the
// programs it runs; their checks and defaults.
#include <algorithm>
#include <cstdint>
#include <utility>

#include "description/component_record.h"
#include "manifest.h"
#include "manifest_fields.h"
#include "manifest_reader.h"
#include "manifest_text.h"
#include "portable/package_facts.h"
#include "portable/section_records.h"

namespace pack {
namespace manifest_reading {

using manifest_fields::CheckField;
using manifest_text::ReadNumber;
using manifest_text::SplitFields;
using manifest_text::SplitList;

void Reader::ComponentKey(int line, const std::wstring& key, const std::wstring& value) {
    ComponentSpec& c = m_.components.back();
    if (EntryKey(line, key, value, c.entries)) return;
    if (SameName(key, L"File")) return Take(line, false, value, c);
    if (SameName(key, L"Folder")) return Take(line, true, value, c);
    if (SameName(key, L"RunBefore")) return Launch(line, value, c.runBefore);
    if (SameName(key, L"RunAfter")) return Launch(line, value, c.runAfter);
    if (SameName(key, L"RemoveBefore")) return Launch(line, value, c.removeBefore);
    if (SameName(key, L"RemoveAfter")) return Launch(line, value, c.removeAfter);
    if (SameName(key, L"Parent")) {
        if (!c.parents.empty()) return Error(line, L"\"Parent\" is given twice; list several parents on one line");
        for (const std::wstring& parent : SplitList(value, L",")) c.parents.push_back({parent, line});
        return;
    }
    const std::pair<const wchar_t*, Located*> singles[] = {
        {L"LocName", &c.locName},         {L"Properties", &c.properties}, {L"Version", &c.version},
        {L"InstallPath", &c.installPath}, {L"Number", &c.number},         {L"State", &c.state},
        {L"Complex", &c.complex},
    };
    for (const auto& [name, slot] : singles)
        if (SameName(key, name)) return Single(line, name, value, *slot);
    Error(line, L"unknown key \"" + key + L"\" in [Component " + c.engName + L"]");
}

void Reader::Take(int line, bool folder, const std::wstring& value, ComponentSpec& c) {
    const std::vector<std::wstring> f = SplitFields(value, folder ? 3 : 4);
    TakeLine take;
    take.folder = folder;
    take.line = line;
    take.source = f[0];
    if (take.source.empty()) return Error(line, L"the source is missing");

    std::wstring target = f[1];
    if (folder && target.empty()) {
        // By default a folder keeps its own name below the install folder.
        std::wstring source = take.source;
        while (!source.empty() && (source.back() == L'\\' || source.back() == L'/')) source.pop_back();
        const std::size_t slash = source.find_last_of(L"\\/:");
        target = slash == std::wstring::npos ? source : source.substr(slash + 1);
    }
    // "%65600%\..." is the install folder written out; "%11%" the system folder.
    const std::wstring installPrefix = tarnex::kInstallFolderVariable;
    if (target.compare(0, installPrefix.size(), installPrefix) == 0) {
        target.erase(0, installPrefix.size());
        if (!target.empty() && target.front() == L'\\') target.erase(0, 1);
    }
    while (!target.empty() && target.back() == L'\\') target.pop_back();
    if (target == L".") target.clear();
    if (target.compare(0, 4, L"%11%") == 0 && target != L"%11%")
        return Error(line, L"files go to the system folder itself (%11%), not below it");
    if (!target.empty() && target != L"%11%") {
        const std::wstring problem = CheckRelativePath(target);
        if (!problem.empty()) return Error(line, L"the target folder \"" + f[1] + L"\" " + problem);
    }
    take.target = target;

    static const std::pair<const wchar_t*, std::int32_t> kKinds[] = {
        {L"plain", tarnex::kPlainFile},         {L"selfreg", tarnex::kSelfRegDll}, {L"service", tarnex::kServiceExe},
        {L"comserver", tarnex::kComServerExe}, {L"regfile", tarnex::kRegFile}};
    // The kind, and "sign" before or after it ("selfreg sign", "sign").
    bool kindGiven = false;
    for (std::size_t at = 0; at < f[2].size();) {
        const std::size_t end = std::min(f[2].find(L' ', at), f[2].size());
        const std::wstring word = f[2].substr(at, end - at);
        at = end + 1;
        if (word.empty()) continue;
        if (SameName(word, L"sign")) {
            if (folder) return Error(line, L"\"sign\" marks files; sign the files of a folder one by one");
            take.sign = true;
            continue;
        }
        bool known = false;
        for (const auto& [name, kind] : kKinds)
            if (SameName(word, name)) take.kind = kind, known = true;
        if (!known || kindGiven)
            return Error(line, L"unknown kind \"" + f[2] +
                                   L"\"; expected plain, selfreg, service, comserver or regfile, and sign");
        kindGiven = true;
    }
    if (!folder && !f[3].empty()) {
        const std::wstring problem = CheckFileName(f[3]);
        if (!problem.empty()) return Error(line, L"the target name \"" + f[3] + L"\" " + problem);
        // The target is the folder and this name.
        take.target = take.target.empty() ? f[3] : take.target + L"\\" + f[3];
        take.targetIsFolder = false;
    }
    c.takes.push_back(std::move(take));
}

void Reader::Launch(int line, const std::wstring& value, std::vector<RunLine>& list) {
    const std::vector<std::wstring> f = SplitFields(value, 3);
    RunLine r;
    r.line = line;
    r.commandLine = f[0];
    FieldError(line, L"the command line", CheckField(r.commandLine, {tarnex::kCommandLineField, true, true}));
    for (const std::wstring& word : SplitList(f[1], L" \t,")) {
        if (SameName(word, L"package")) r.fromPackage = true;
        else if (SameName(word, L"wait")) r.wait = true;
        else if (SameName(word, L"exitcode")) r.exitCode = true;
        else if (SameName(word, L"show")) r.show = true;
        else return Error(line, L"unknown option \"" + word + L"\"; expected package, wait, exitcode or show");
    }
    r.message = f[2];
    FieldError(line, L"the message", CheckField(r.message, {tarnex::kPathField, true}));

    // The program is the command's first word, quoted or not; the installer
    // finds its working folder by the program's file name.
    std::wstring program;
    if (!r.commandLine.empty() && r.commandLine[0] == L'"') {
        const std::size_t close = r.commandLine.find(L'"', 1);
        if (close == std::wstring::npos) return Error(line, L"the command line has an unclosed quote");
        program = r.commandLine.substr(1, close - 1);
    } else {
        program = r.commandLine.substr(0, r.commandLine.find_first_of(L" \t"));
    }
    const std::size_t slash = program.find_last_of(L"\\/");
    r.fileName = slash == std::wstring::npos ? program : program.substr(slash + 1);
    if (r.fileName.empty()) return Error(line, L"the command line names no program");
    if (r.fromPackage) {
        const std::wstring problem = CheckFileName(program);
        if (!problem.empty())
            return Error(line, L"a program run from the package must lie in the package folder itself: \"" + program +
                                   L"\" " + problem);
    }
    list.push_back(std::move(r));
}

void Reader::FinishComponents() {
    for (ComponentSpec& c : m_.components) {
        if (c.locName.given()) FieldError(c.locName.line, L"LocName", CheckField(c.locName.text, {tarnex::kLocNameField}));
        if (c.properties.given())
            FieldError(c.properties.line, L"Properties", CheckField(c.properties.text, {tarnex::kPropertiesField}));
        if (c.version.given()) {
            FieldError(c.version.line, L"Version", CheckField(c.version.text, {tarnex::kCompVersionField, false, true}));
            // The version is a registry key below the component's key.
            if (c.version.text.find(L'\\') != std::wstring::npos)
                Error(c.version.line, L"Version must not hold a backslash");
        }
        if (c.installPath.given())
            FieldError(c.installPath.line, L"InstallPath", CheckField(c.installPath.text, {tarnex::kInstallPathField}));
        std::int64_t n = 0;
        if (c.number.given()) {
            if (!ReadNumber(c.number.text, 1, INT32_MAX, n))
                Error(c.number.line, L"Number must be a whole number from 1 on (0 stands for the top level)");
            else c.localNumber = static_cast<std::int32_t>(n);
        }
        if (c.state.given()) {
            if (!ReadNumber(c.state.text, 0, 5, n)) Error(c.state.line, L"State must be 0 to 5");
            else c.stateValue = static_cast<std::int32_t>(n);
        }
        if (c.complex.given() && !SameName(c.complex.text, L"Yes") && !SameName(c.complex.text, L"No"))
            Error(c.complex.line, L"expected Yes or No, not \"" + c.complex.text + L"\"");
    }
}

}  // namespace manifest_reading

std::wstring LocNameOf(const ComponentSpec& c) { return c.locName.given() ? c.locName.text : c.engName; }
std::wstring VersionOf(const ComponentSpec& c) { return c.version.given() ? c.version.text : L"1.0"; }
std::wstring InstallPathOf(const ComponentSpec& c) { return c.installPath.given() ? c.installPath.text : tarnex::kInstallFolderVariable; }

}  // namespace pack
