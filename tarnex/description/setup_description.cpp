#include "description/setup_description.h"

#include <windows.h>
#include <shlobj.h>

#include <cstring>
#include <string>
#include <vector>

#include "description/inf_file.h"
#include "description/portable/component_rules.h"
#include "description/portable/line_parsers.h"
#include "description/section_reader.h"
#include "portable/inf_schema.h"
#include "portable/text_pieces.h"
#include "services/app_context.h"
#include "services/registry_access.h"
#include "services/setup_log.h"
#include "vrel/bounded_copy.h"

namespace tarnex {
namespace {

namespace schema = tarnex::inf;
namespace option = tarnex::inf::option;
const std::wstring kOptions = schema::kOptions;
const std::wstring kComma = L",";

// Option values longer than their field: texts that are only shown (Name,
// NameGen, NameUnInst, BackName, AppName) are cut to the field; texts that
// name a folder, file or registry key (Dir, SetNameUI, Key, the INF and
// cabinet paths, page pictures, the keys and values of RequiredKeyRegistry)
// fail the load, because a cut name would point somewhere else.
template <std::size_t N>
void Cut(wchar_t (&field)[N], const std::wstring& text) {
    vrel::CopyToField(field, std::wstring_view(text));
}

bool ReadText(InfFile& inf, const std::wstring& key, std::wstring& value) {
    if (inf.GetValue(kOptions, key, value)) return true;
    WriteLogF(L"Description: key \"%s\" missing in section OPTIONS\r\n", key.c_str());
    return false;
}

// The system's Program Files folder without a trailing backslash. The
// registry value is expected; without it the shell's folder is taken.
bool ReadProgramFilesFolder(std::wstring& folder) {
    if (!QueryRegText(3, L"SoftWare\\Microsoft\\Windows\\CurrentVersion", L"ProgramFilesDir", folder) ||
        folder.empty()) {
        wchar_t path[MAX_PATH] = {};
        if (FAILED(::SHGetFolderPathW(nullptr, CSIDL_PROGRAM_FILES, nullptr, SHGFP_TYPE_CURRENT, path))) return false;
        folder = path;
    }
    if (!folder.empty() && folder.back() == L'\\') folder.pop_back();
    return !folder.empty();
}

bool Fail(const wchar_t* what) {
    WriteLogF(L"Description: %s\r\n", what);
    return false;
}

bool ReadOptions(SetupDescription& d, InfFile& inf) {
    struct YesNo {
        const wchar_t* key;
        std::int32_t* flag;
    };
    const YesNo flags[] = {{option::kAccess, &d.Access},
                           {option::kLicense, &d.License},
                           {option::kSupportMode, &d.SupportMode},
                           {option::kBackWindow, &d.BackWindow},
                           {option::kBackWindowPicture, &d.BackWindowPicture}};
    for (const YesNo& f : flags)
        if (!inf.GetYesNo(kOptions, f.key, *f.flag))
            return Fail((std::wstring(L"key missing in OPTIONS: ") + f.key).c_str());

    std::wstring value;
    if (!ReadText(inf, option::kName, value)) return false;
    Cut(d.Name, value);
    if (!ReadText(inf, option::kNameGen, value)) return false;
    Cut(d.NameGen, value);
    if (!ReadText(inf, option::kNameUnInst, value)) return false;
    Cut(d.NameUnInst, value);
    if (!ReadText(inf, option::kSetNameUI, value)) return false;
    if (!CopyWhole(d.SetNameUI, value)) return Fail(L"SetNameUI too long");
    if (!ReadText(inf, option::kBackName, value)) return false;
    Cut(d.BackName, value);

    std::wstring dir;
    if (!ReadText(inf, option::kDir, dir)) return false;
    std::wstring programFiles;
    if (!ReadProgramFilesFolder(programFiles)) return Fail(L"the Program Files folder is unknown");
    Cut(d.ProgramFilesFolder, programFiles);
    std::wstring installFolder;
    ReplaceAll(dir, L"%Program Files%", programFiles, installFolder);
    if (!CopyWhole(d.InstallFolder, installFolder)) return Fail(L"Dir too long");

    if (!ReadText(inf, option::kKey, value)) return false;
    if (!ParsePackageKey(value, d.KeyRoot, d.KeyPath)) return Fail(L"Key too long");

    if (!ReadText(inf, option::kOSVersions, value)) return false;
    ParseOsNumbers(value, d.OSVersions);
    if (!ReadText(inf, option::kOSServicePacks, value)) return false;
    ParseOsNumbers(value, d.OSServicePacks);
    // Only shown, and older descriptions lack them.
    using Field = wchar_t (*)[kOptionField];
    const std::pair<const wchar_t*, Field> shown[] = {
        {option::kDisplayVersion, &d.DisplayVersion}, {option::kPublisher, &d.Publisher}, {option::kURLInfoAbout, &d.URLInfoAbout},
        {option::kHelpLink, &d.HelpLink},             {option::kComments, &d.Comments},   {option::kContact, &d.Contact}};
    for (const auto& [key, field] : shown)
        if (inf.GetValue(kOptions, key, value)) Cut(*field, value);
    // A file name: cut, it would name another file, and one with a path in
    // it could name any file. The installer's copy shows its icon then.
    if (inf.GetValue(kOptions, option::kDisplayIcon, value) && value.find_first_of(L"\\/:") == std::wstring::npos &&
        value != L".." && !CopyWhole(d.DisplayIcon, value))
        d.DisplayIcon[0] = L'\0';
    return true;
}

bool ReadInfFiles(SetupDescription& d, InfFile& inf, const std::wstring& folder) {
    InfFileEntry own;
    if (!CopyWhole(own.InfPath, folder + L"setup.inf") || !CopyWhole(own.CabinetPath, folder + L"setup.cab"))
        return Fail(L"program folder too long");
    own.Numbers.push_back(0);
    d.InfFiles.push_back(std::move(own));

    std::wstring line;
    for (int more = inf.FindFirstLine(schema::kComponents, line, 0); more; more = inf.FindNextLine(line, 0)) {
        std::wstring infName;
        SplitToken(line, kComma, infName);
        InfFileEntry entry;
        if (!CopyWhole(entry.InfPath, folder + infName) || !CopyWhole(entry.CabinetPath, folder + line))
            return Fail(L"COMPONENTS path too long");
        d.InfFiles.push_back(std::move(entry));
    }
    return !d.InfFiles.empty();
}

bool ReadPagePictures(SetupDescription& d, InfFile& inf) {
    std::wstring value;
    for (std::size_t i = 0; i < kPageCount; ++i) {
        if (!inf.GetValue(schema::kWindows, std::to_wstring(i), value)) return Fail(L"WINDOWS key missing");
        if (!CopyWhole(d.PagePictures[i], value)) return Fail(L"WINDOWS picture name too long");
    }
    return true;
}

bool ReadRequiredKeys(SetupDescription& d, InfFile& inf) {
    std::wstring line;
    for (int more = inf.FindFirstLine(schema::kRequiredKeyRegistry, line, 0); more; more = inf.FindNextLine(line, 0)) {
        RequiredKey key;
        key.Index = static_cast<std::int32_t>(d.RequiredKeys.size());
        if (!ParseRequiredKeyLine(line, key)) return Fail(L"RequiredKeyRegistry field too long");
        d.RequiredKeys.push_back(key);
    }
    return true;
}

}  // namespace

SetupDescription& Description() {
    static SetupDescription description;
    return description;
}

int LoadSetupDescription(SetupDescription& d) {
    const int loaded = LoadSetupDescriptionFrom(d, App().ProgramFolder, App().ProgramName, App().Mode);
    // The caption is the package's as soon as its options were read, also
    // for the message that says the rest could not be.
    if (loaded || d.NameUnInst[0] != L'\0') vrel::CopyToField(App().Caption, std::wstring_view(d.NameUnInst));
    return loaded;
}

int LoadSetupDescriptionFrom(SetupDescription& d, const std::wstring& folder, const std::wstring& programName,
                             std::uint32_t mode) {
    InfFile inf;
    if (!inf.Open(folder + programName + L".inf")) return 0;
    if (!ReadOptions(d, inf) || !ReadInfFiles(d, inf, folder) || !ReadPagePictures(d, inf) ||
        !ReadRequiredKeys(d, inf))
        return 0;

    ComponentRecord installer;
    ReadComponentSections(d, inf, InstallSectionName(schema::kInstallerComponent, mode), installer);
    installer.Number = 0;
    vrel::CopyToField(installer.LocName, std::wstring_view(schema::kInstallerComponent));
    vrel::CopyToField(installer.Properties, std::wstring_view(schema::kInstallerComponent));
    d.ComponentList.push_back(std::move(installer));
    return 1;
}

int IsPresent(const RequiredKey& key) {
    if (!RegKeyExists(key.Root, key.SubKey)) return 0;
    if (key.TestValue == 0) return 1;
    std::vector<BYTE> data;
    if (!QueryRegValue(key.Root, key.SubKey, key.ValueName, data, RegTypeOfIndex(key.ValueType))) return 0;
    if (key.CompareData != 0) {
        // The data taken as a UTF-16 text, up to its first terminator.
        std::wstring text(data.size() / sizeof(wchar_t), L'\0');
        if (!text.empty()) std::memcpy(text.data(), data.data(), text.size() * sizeof(wchar_t));
        const std::size_t end = text.find(L'\0');
        if (end != std::wstring::npos) text.resize(end);
        if (text != key.ExpectedData) return 0;
    }
    return 1;
}

}  // namespace tarnex
