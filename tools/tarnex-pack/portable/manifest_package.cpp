// [Package]: the package's options, their checks and their defaults.
#include <cstdint>
#include <utility>

#include "description/setup_description.h"
#include "manifest.h"
#include "manifest_fields.h"
#include "manifest_reader.h"
#include "manifest_text.h"
#include "portable/package_facts.h"
#include "portable/section_records.h"

namespace pack {
namespace manifest_reading {

using manifest_fields::CheckField;
using manifest_fields::CheckRegistryKey;
using manifest_text::ReadNumber;
using manifest_text::SplitList;

namespace {

// UTF-8, UTF-7, UTF-16 big-endian and UTF-32: Unicode forms an INF file
// cannot be read in.
bool IsUnicodeWithoutMark(std::uint32_t codePage) {
    return codePage == 65001 || codePage == 65000 || codePage == 1201 || codePage == 12000 || codePage == 12001;
}

}  // namespace

void Reader::PackageKey(int line, const std::wstring& key, const std::wstring& value) {
    PackageSpec& p = m_.package;
    if (EntryKey(line, key, value, p.entries)) return;
    if (SameName(key, L"TimestampServer")) return TimestampServer(line, value);
    const std::pair<const wchar_t*, Located*> singles[] = {
        {L"Name", &p.name},
        {L"NameGen", &p.nameGen},
        {L"NameUnInst", &p.nameUnInst},
        {L"DisplayVersion", &p.displayVersion},
        {L"Publisher", &p.publisher},
        {L"URLInfoAbout", &p.urlInfoAbout},
        {L"HelpLink", &p.helpLink},
        {L"Comments", &p.comments},
        {L"Contact", &p.contact},
        {L"Icon", &p.icon},
        {L"Dir", &p.dir},
        {L"Key", &p.key},
        {L"Installer", &p.installer},
        {L"SetNameUI", &p.setNameUI},
        {L"BackName", &p.backName},
        {L"Access", &p.access},
        {L"SupportMode", &p.supportMode},
        {L"BackWindow", &p.backWindow},
        {L"OSVersions", &p.osVersions},
        {L"OSServicePacks", &p.osServicePacks},
        {L"Files", &p.files},
        {L"CodePage", &p.codePage},
        {L"LicenseFile", &p.licenseFile},
        {L"BackPicture", &p.backPicture},
    };
    for (const auto& [name, slot] : singles)
        if (SameName(key, name)) return Single(line, name, value, *slot);
    for (std::size_t i = 0; i < kPageCount; ++i)
        if (SameName(key, (L"PagePicture" + std::to_wstring(i)).c_str()))
            return Single(line, key, value, p.pagePictures[i]);
    Error(line, L"unknown key \"" + key + L"\" in [Package]");
}

void Reader::FinishPackage() {
    PackageSpec& p = m_.package;
    const int at = p.line;
    if (!p.name.given()) Error(at, L"[Package] needs Name");
    if (!p.dir.given()) Error(at, L"[Package] needs Dir");
    if (!p.key.given()) Error(at, L"[Package] needs Key");

    const std::pair<const Located*, std::size_t> texts[] = {
        {&p.name, tarnex::kOptionField},       {&p.nameGen, tarnex::kOptionField},
        {&p.nameUnInst, tarnex::kOptionField}, {&p.displayVersion, tarnex::kOptionField},
        {&p.publisher, tarnex::kOptionField},  {&p.backName, tarnex::kOptionField},
        {&p.urlInfoAbout, tarnex::kOptionField}, {&p.helpLink, tarnex::kOptionField},
        {&p.comments, tarnex::kOptionField},   {&p.contact, tarnex::kOptionField}};
    for (const auto& [value, capacity] : texts)
        if (value->given()) FieldError(value->line, L"the value", CheckField(value->text, {capacity}));
    if (p.name.given() && p.name.text.empty()) Error(p.name.line, L"Name must not be empty");
    // The name keys the uninstall entry: a backslash would make it a path.
    if (p.name.text.find(L'\\') != std::wstring::npos) Error(p.name.line, L"Name must not hold a backslash");

    if (p.dir.given()) {
        const std::wstring& dir = p.dir.text;
        const bool absolute = dir.compare(0, 15, L"%Program Files%") == 0 ||
                              (dir.size() >= 3 && dir[1] == L':' && dir[2] == L'\\') || dir.compare(0, 2, L"\\\\") == 0;
        if (!absolute)
            Error(p.dir.line, L"Dir must be a full path: a drive, \\\\server\\share or %Program Files% first");
        FieldError(p.dir.line, L"Dir", CheckField(InstallFolderOf(p), {tarnex::kOptionField}));
        if (dir.find(tarnex::kInstallFolderVariable) != std::wstring::npos) Error(p.dir.line, L"Dir must not hold %65600%");
    }
    if (p.key.given()) {
        const std::wstring problem = CheckRegistryKey(p.key.text, p.keyRoot, p.keyPath);
        if (!problem.empty()) Error(p.key.line, L"the package key \"" + p.key.text + L"\" " + problem);
        else FieldError(p.key.line, L"the package key", CheckField(p.keyPath, {tarnex::kOptionField}));
    }
    for (const Located* program : {&p.installer, &p.setNameUI}) {
        if (!program->given()) continue;
        std::wstring problem = CheckFileName(program->text);
        const std::wstring& t = program->text;
        if (problem.empty() && (t.size() < 5 || !SameName(std::wstring_view(t).substr(t.size() - 4), L".exe")))
            problem = L"must end in .exe";
        if (!problem.empty()) Error(program->line, L"\"" + t + L"\" " + problem);
    }
    for (const Located* flag : {&p.access, &p.supportMode, &p.backWindow})
        if (flag->given() && !SameName(flag->text, L"Yes") && !SameName(flag->text, L"No"))
            Error(flag->line, L"expected Yes or No, not \"" + flag->text + L"\"");

    const std::pair<const Located*, std::int32_t*> lists[] = {{&p.osVersions, p.osVersionValues.data()},
                                                              {&p.osServicePacks, p.osServicePackValues.data()}};
    for (const auto& [value, numbers] : lists) {
        if (!value->given()) continue;
        // Seven numbers name 95 to XP, as descriptions always did; up to
        // seven more name Server 2003 to 11, and those left out read 0.
        const std::vector<std::wstring> items = SplitList(value->text, L",");
        bool good = items.size() >= tarnex::kOriginalOsTokenCount && items.size() <= kOsCount;
        for (std::size_t i = 0; good && i < kOsCount; ++i) {
            std::int64_t n = 0;
            good = i >= items.size() || ReadNumber(items[i], 0, INT32_MAX, n);
            if (good) numbers[i] = static_cast<std::int32_t>(n);
        }
        if (!good)
            Error(value->line, L"expected 7 to 14 numbers separated by commas (95, 98, Me, NT 3.51, NT 4.0, 2000, XP, "
                               L"Server 2003, Vista, 7, 8, 8.1, 10, 11)");
    }
    if (p.codePage.given()) {
        std::int64_t n = 0;
        if (!ReadNumber(p.codePage.text, 1, 65535, n)) Error(p.codePage.line, L"CodePage must be a code page number");
        else if (IsUnicodeWithoutMark(static_cast<std::uint32_t>(n)))
            // The setup API reads a file without a UTF-16 mark in the ANSI
            // code page of the system it runs on: these would come out garbled.
            Error(p.codePage.line, L"CodePage must be an ANSI code page (the installer reads INF files in UTF-16 or "
                                   L"in the system's ANSI code page); leave it out for UTF-16 INF files");
        else p.codePageValue = static_cast<std::uint32_t>(n);
    }
    for (std::size_t i = 0; i < kPageCount; ++i) {
        const Located& picture = p.pagePictures[i];
        if (!picture.given()) continue;
        const std::size_t slash = picture.text.find_last_of(L"\\/");
        const std::wstring name = slash == std::wstring::npos ? picture.text : picture.text.substr(slash + 1);
        FieldError(picture.line, L"the picture's file name", CheckField(name, {tarnex::kPagePictureField, true, true}));
    }
}

}  // namespace manifest_reading

std::wstring NameGenOf(const PackageSpec& p) { return p.nameGen.given() ? p.nameGen.text : p.name.text; }
std::wstring NameUnInstOf(const PackageSpec& p) { return p.nameUnInst.given() ? p.nameUnInst.text : p.name.text; }
std::wstring InstallerOf(const PackageSpec& p) { return p.installer.given() ? p.installer.text : L"Setup.exe"; }
std::wstring SetNameUIOf(const PackageSpec& p) { return p.setNameUI.given() ? p.setNameUI.text : InstallerOf(p); }
std::wstring BackNameOf(const PackageSpec& p) { return p.backName.given() ? p.backName.text : p.name.text; }
std::wstring InstallFolderOf(const PackageSpec& p) {
    std::wstring dir = p.dir.text;
    if (dir.empty() || dir.back() != L'\\') dir += L'\\';
    return dir;
}
bool YesNoOf(const Located& value, bool fallback) { return value.given() ? SameName(value.text, L"Yes") : fallback; }

}  // namespace pack
