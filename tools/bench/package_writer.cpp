#include "package_writer.h"

#include <windows.h>

#include <cstdio>

#include "vrel/unique_handle.h"

namespace bench {
namespace {

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

// The sections of a user INF file for components [first, last], in the
// order a package author writes them: the catalogue, then each component's
// install sections and file list, then the file details.
std::string UserInf(int first, int last) {
    static const char* const kCatalogue[] = {"NUMBERS", "LocNames", "PROPERTIES", "CompVersions",
                                             "InstPaths", "COMPLEXES", "DEPENDENCES", "STATES"};
    std::string inf = "[Version]\r\nSignature=\"$Windows NT$\"\r\n\r\n[EngNames]\r\n";
    for (int c = first; c <= last; ++c) inf += Name(c) + "\r\n";
    for (const char* section : kCatalogue) {
        inf += std::string("\r\n[") + section + "]\r\n";
        for (int c = first; c <= last; ++c) {
            const std::string name = Name(c);
            const int local = c - first + 1;
            inf += name + "=";
            if (section == kCatalogue[0]) inf += std::to_string(local);
            else if (section == kCatalogue[1]) inf += "Component " + std::to_string(c);
            else if (section == kCatalogue[2]) inf += "Ten files of component " + std::to_string(c);
            else if (section == kCatalogue[3]) inf += "1.0";
            else if (section == kCatalogue[4]) inf += "\"%65600%\\" + name + "\"";
            else if (section == kCatalogue[5]) inf += "No";
            else if (section == kCatalogue[6]) inf += local > 1 ? "1" : "0";
            else inf += "2";
            inf += "\r\n";
        }
    }
    std::string sources = "\r\n[SourceDisksFiles]\r\n", destinations = "\r\n[DestinationDirs]\r\n";
    for (int c = first; c <= last; ++c) {
        const std::string name = Name(c);
        inf += "\r\n[" + name + " - DefaultInstall]\r\nCopyFiles=" + name + ".Files\r\n";
        inf += "\r\n[" + name + " - DefaultUnInstall]\r\nDelFiles=" + name + ".Files\r\n";
        inf += "\r\n[" + name + ".Files]\r\n";
        for (int f = 1; f <= kFilesPerComponent; ++f) {
            char file[48];
            std::snprintf(file, sizeof file, "c%05d_f%02d.dat", c, f);
            inf += std::string(file) + "\r\n";
            sources += std::string(file) + "=1,4096,2021-03-04,05:06:08,1.0.0." + std::to_string(f) + "\r\n";
        }
        destinations += name + ".Files=\"%65600%\\" + name + "\\\"\r\n";
    }
    return inf + sources + destinations;
}

std::string Description(const std::string& components) {
    return "[Version]\r\nSignature=\"$Windows NT$\"\r\n\r\n[OPTIONS]\r\nAccess=No\r\nLicense=No\r\n"
           "SupportMode=Yes\r\nBackWindow=No\r\nBackWindowPicture=No\r\nName=Bench Product\r\n"
           "NameGen=the bench product\r\nNameUnInst=Bench Product\r\nSetNameUI=Setup.exe\r\nBackName=Bench\r\n"
           "Dir=\"%Program Files%\\Vrel Bench\\\"\r\nKey=3,Software\\VrelBench\\Package\r\n"
           "OSVersions=1,1,1,1,1,1,1,1,1,1,1,1,1,1\r\nOSServicePacks=0,0,0,0,0,0,0\r\n\r\n[WINDOWS]\r\n0=p0.bmp\r\n1=p1.bmp\r\n"
           "2=p2.bmp\r\n3=p3.bmp\r\n4=p4.bmp\r\n5=p5.bmp\r\n6=p6.bmp\r\n7=p7.bmp\r\n8=p8.bmp\r\n\r\n"
           "[COMPONENTS]\r\n" +
           components;
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
