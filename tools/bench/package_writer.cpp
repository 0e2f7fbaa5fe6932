#include "package_writer.h"

#include <windows.h>

#include <cstdio>
#include <string_view>
#include <utility>

#include "portable/inf_schema.h"
#include "portable/section_records.h"
#include "vrel/unique_handle.h"

namespace bench {
namespace {

namespace schema = tarnex::inf;

constexpr int kFilesPerComponent = 10;

bool WriteFileText(const std::wstring& path, const std::string& text) {
    vrel::unique_hfile file(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    if (!file) return false;
    DWORD written = 0;
    return ::WriteFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
           written == text.size();
}

std::string Name(int component) {
    char name[32];
    std::snprintf(name, sizeof name, "Comp%05d", component);
    return name;
}

// The schema's names are ASCII: the package's INF files are ANSI.
std::string A(std::wstring_view name) { return std::string(name.begin(), name.end()); }
std::string Section(std::wstring_view name) { return "\r\n[" + A(name) + "]\r\n"; }
std::string Header() { return "[" + A(schema::kVersion) + "]\r\n" + A(schema::kSignatureKey) + "=\"" + A(schema::kSignature) + "\"\r\n"; }

// The sections of a user INF file for components [first, last], in the
// order a package author writes them: the catalogue, then each component's
// install sections and file list, then the file details.
std::string UserInf(int first, int last) {
    std::string inf = Header() + Section(schema::kEngNames);
    for (int c = first; c <= last; ++c) inf += Name(c) + "\r\n";
    for (const wchar_t* section : schema::kCatalogueSections) {
        inf += Section(section);
        const std::wstring_view s = section;
        for (int c = first; c <= last; ++c) {
            const std::string name = Name(c);
            const int local = c - first + 1;
            inf += name + "=";
            if (s == schema::kNumbers) inf += std::to_string(local);
            else if (s == schema::kLocNames) inf += "Component " + std::to_string(c);
            else if (s == schema::kProperties) inf += "Ten files of component " + std::to_string(c);
            else if (s == schema::kCompVersions) inf += "1.0";
            else if (s == schema::kInstPaths) inf += "\"%65600%\\" + name + "\"";
            else if (s == schema::kComplexes) inf += A(schema::kNo);
            else if (s == schema::kDependences) inf += local > 1 ? "1" : "0";
            else inf += "2";
            inf += "\r\n";
        }
    }
    std::string sources = Section(schema::kSourceDisksFiles), destinations = Section(schema::kDestinationDirs);
    for (int c = first; c <= last; ++c) {
        const std::string name = Name(c);
        const std::wstring wide(name.begin(), name.end());
        const std::string files = A(schema::FileSectionName(wide, 1));
        inf += Section(schema::InstallSectionName(wide, false)) + A(schema::KindKey(tarnex::kCopyFiles)) + "=" + files + "\r\n";
        inf += Section(schema::InstallSectionName(wide, true)) + A(schema::KindKey(tarnex::kDelFiles)) + "=" + files + "\r\n";
        inf += "\r\n[" + files + "]\r\n";
        for (int f = 1; f <= kFilesPerComponent; ++f) {
            char file[48];
            std::snprintf(file, sizeof file, "c%05d_f%02d.dat", c, f);
            inf += std::string(file) + "\r\n";
            sources += std::string(file) + "=1,4096,2021-03-04,05:06:08,1.0.0." + std::to_string(f) + "\r\n";
        }
        destinations += files + "=\"%65600%\\" + name + "\\\"\r\n";
    }
    return inf + sources + destinations;
}

std::string Description(const std::string& components) {
    namespace option = schema::option;
    std::string d = Header() + Section(schema::kOptions);
    const std::pair<const wchar_t*, const char*> options[] = {
        {option::kAccess, "No"},
        {option::kLicense, "No"},
        {option::kSupportMode, "Yes"},
        {option::kBackWindow, "No"},
        {option::kBackWindowPicture, "No"},
        {option::kName, "Bench Product"},
        {option::kNameGen, "the bench product"},
        {option::kNameUnInst, "Bench Product"},
        {option::kSetNameUI, "Setup.exe"},
        {option::kBackName, "Bench"},
        {option::kDir, "\"%Program Files%\\Vrel Bench\\\""},
        {option::kKey, "3,Software\\VrelBench\\Package"},
        {option::kOSVersions, "1,1,1,1,1,1,1,1,1,1,1,1,1,1"},
        {option::kOSServicePacks, "0,0,0,0,0,0,0"}};
    for (const auto& [key, value] : options) d += A(key) + "=" + value + "\r\n";
    d += Section(schema::kWindows);
    for (int page = 0; page <= 8; ++page) d += std::to_string(page) + "=p" + std::to_string(page) + ".bmp\r\n";
    return d + Section(schema::kComponents) + components;
}

}  // namespace

bool WritePackage(const std::wstring& folder, int components, InfLayout layout) {
    std::string list;
    if (layout == InfLayout::OneFile) {
        if (!WriteFileText(folder + L"user.inf", UserInf(1, components))) return false;
        list = "user.inf,user.cab\r\n";
    } else {
        for (int c = 1; c <= components; ++c) {
            const std::string name = "u" + std::to_string(c);
            if (!WriteFileText(folder + std::wstring(name.begin(), name.end()) + L".inf", UserInf(c, c))) return false;
            list += name + ".inf," + name + ".cab\r\n";
        }
    }
    return WriteFileText(folder + L"Tarnex.inf", Description(list));
}

}  // namespace bench
