// A Russian package on Windows of other languages: tarnex-pack makes it on
// one system, the installer installs and removes it quietly on another.
// CTest runs the program on a Russian system (it makes the package there),
// then on an English one (ANSI 1252: it makes one there and installs the
// Russian-made package), then on the Russian one again (it installs the
// English-made package), then on a Japanese one (ANSI 932, a double-byte
// code page: it installs both). The packages lie in a folder whose name neither
// code page spells whole, so the cabinets are opened by names of any
// spelling too.
#include <windows.h>
#include <objbase.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine_test_support.h"
#include "pack_tool.h"
#include "tree_view_driver.h"
#include "ui/component_page_ids.h"
#include "ui/wizard_ids.h"
#include "vrel/com_ptr.h"
#include "vrel/text_convert.h"
#include "wizard_run.h"

namespace enginetest {
namespace {

const std::wstring kCross = L"C:\\VrelCross\\";
// Cyrillic, and a Kazakh letter outside 1251.
const std::wstring kPackages = kCross + L"Пакеты \x04D9\\";
const std::wstring kCrossSource = kCross + L"Исходники\\";
const std::wstring kCrossInstall = kCross + L"Врел Проба\\";
const wchar_t kCrossKey[] = L"Software\\VrelCross";
const wchar_t kCrossUninstallKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Врел Проба";
const wchar_t kLicence[] = L"Лицензия \x04D9: читайте внимательно.\r\n";

std::wstring MadeOn(UINT codePage) { return kPackages + L"made on " + std::to_wstring(codePage) + L"\\"; }

std::wstring Manifest() {
    return L"[Package]\n"
           L"Name = Врел Проба\n"
           L"NameUnInst = Врел Проба \x04D9\n"
           L"DisplayVersion = 1.0\n"
           L"Publisher = ООО «Врел»\n"
           L"Dir = " + kCrossInstall.substr(0, kCrossInstall.size() - 1) + L"\n"
           L"Key = HKLM\\Software\\VrelCross\\Пакет\n"
           L"Installer = Tarnex.exe\n"
           L"SetNameUI = Setup.exe\n"
           L"SupportMode = No\n"
           L"Files = " + kCrossSource + L"\n"
           L"LicenseFile = лицензия.txt\n"
           L"Shortcut = CSIDL_PROGRAMS\\Врел Проба | Удалить Врел Проба | %65600%\\Setup.exe | %65600% | /u\n"
           L"\n"
           L"[Component Основные]\n"
           L"LocName = Основные файлы\n"
           L"Properties = Справка и данные \x04D9\n"
           L"File = прочти.txt\n"
           L"Folder = Документы | Документы \x04D9\n"
           L"Reg = HKLM\\Software\\VrelCross\\Данные | Имя | text | Значение \x04D9 %65600%\n"
           L"Env = VREL_CROSS_HOME | user | set | %65600%\\Документы \x04D9\n"
           L"Shortcut = CSIDL_PROGRAMS\\Врел Проба | Прочти | %65600%\\прочти.txt | %65600% |\n";
}

// A shortcut's target as its item list names it, and its working folder.
// (Wine writes the target's path in the ANSI code page beside the item list
// and gives that back from GetPath; Windows keeps it in UTF-16 too.)
std::wstring LinkTarget(const std::wstring& linkPath) {
    vrel::ComPtr<IShellLinkW> link;
    vrel::ComPtr<IPersistFile> file;
    PIDLIST_ABSOLUTE items = nullptr;
    wchar_t target[MAX_PATH] = L"";
    if (SUCCEEDED(::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW, link.put_void())) &&
        SUCCEEDED(link.as(file, IID_IPersistFile)) && SUCCEEDED(file->Load(linkPath.c_str(), STGM_READ)) &&
        SUCCEEDED(link->GetIDList(&items)) && items != nullptr)
        ::SHGetPathFromIDListW(items, target);
    ::CoTaskMemFree(items);
    return target;
}

std::wstring LinkFolder(const std::wstring& linkPath) {
    vrel::ComPtr<IShellLinkW> link;
    vrel::ComPtr<IPersistFile> file;
    wchar_t folder[MAX_PATH] = L"";
    if (SUCCEEDED(::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW, link.put_void())) &&
        SUCCEEDED(link.as(file, IID_IPersistFile)) && SUCCEEDED(file->Load(linkPath.c_str(), STGM_READ)))
        link->GetWorkingDirectory(folder, MAX_PATH);
    return folder;
}

class CrossSystem : public ::testing::Test {
protected:
    void SetUp() override { ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED); }
    void TearDown() override { ::CoUninitialize(); }
};

TEST_F(CrossSystem, PackageMadeHere) {
    RemoveTree(MadeOn(::GetACP()));
    WriteBytes(kCrossSource + L"прочти.txt", "read me\r\n");
    WriteBytes(kCrossSource + L"Документы\\Глава \x04D9.txt", "chapter\r\n");
    WriteBytes(kCrossSource + L"лицензия.txt", Narrow(kLicence));  // UTF-8 without a mark
    const std::wstring manifest = kCrossSource + L"package.ini";
    WriteBytes(manifest, Narrow(Manifest()));
    const std::wstring output = MadeOn(::GetACP());
    ::CreateDirectoryW(kPackages.c_str(), nullptr);
    const PackRun run = RunPack(L"\"" + manifest + L"\" \"" + output.substr(0, output.size() - 1) + L"\"");
    ASSERT_EQ(0u, run.exitCode) << Narrow(run.output);
    // The INF files are UTF-16 whatever the system that made them.
    for (const wchar_t* inf : {L"Tarnex.inf", L"user1.inf"})
        EXPECT_EQ(0u, ReadBytes(output + inf).rfind("\xFF\xFE", 0)) << Narrow(inf);
    // The licence gets its mark, so the installer shows it exactly.
    EXPECT_EQ("\xEF\xBB\xBF" + Narrow(kLicence), ReadBytes(output + L"license.txt"));
}

// Every package made on a system of another code page installs here with
// every name as written, and its removal leaves nothing; its wizard shows
// the Russian texts.
TEST_F(CrossSystem, PackagesMadeElsewhereInstallTheSame) {
    std::vector<std::wstring> made;
    WIN32_FIND_DATAW found{};
    const HANDLE search = ::FindFirstFileW((kPackages + L"made on *").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do
            if (std::wstring(found.cFileName) != L"made on " + std::to_wstring(::GetACP()))
                made.push_back(kPackages + found.cFileName + L"\\");
        while (::FindNextFileW(search, &found));
        ::FindClose(search);
    }
    if (made.empty()) GTEST_SKIP() << "no package made on another system yet";

    for (const std::wstring& package : made) {
        SCOPED_TRACE(Narrow(package) + " on ANSI code page " + std::to_string(::GetACP()));
        {
            // The wizard shows the Russian texts: the licence, and the
            // component page (pictured beside the test program).
            tarnex::uidriver::WizardRun wizard(package + L"Tarnex.exe", L"");
            ASSERT_EQ(wizard.WaitForPage(tarnex::uidriver::Page::Welcome), tarnex::uidriver::Page::Welcome);
            wizard.Next();
            ASSERT_EQ(wizard.WaitForPage(tarnex::uidriver::Page::Licence), tarnex::uidriver::Page::Licence);
            EXPECT_EQ(std::wstring(kLicence), wizard.Text(IDC_LICENCE_TEXT));
            wizard.Next();
            ASSERT_EQ(wizard.WaitForPage(tarnex::uidriver::Page::Folder), tarnex::uidriver::Page::Folder);
            wizard.Next();
            ASSERT_EQ(wizard.WaitForPage(tarnex::uidriver::Page::Components), tarnex::uidriver::Page::Components);
            const HWND tree = ::GetDlgItem(wizard.PageWindow(), IDC_COMPONENT_TREE);
            EXPECT_NE(nullptr, tarnex::uidriver::FindTreeItem(tree, L"Основные файлы").Handle);
            ::Sleep(400);  // let the page paint
            EXPECT_TRUE(tarnex::uidriver::SaveWindowImage(
                wizard.Frame(), TestProgramFolder() + L"cross-components-on-" + std::to_wstring(::GetACP()) + L".bmp"));
            wizard.Cancel();
            wizard.Answer(wizard.Box(), IDYES);
            EXPECT_EQ(wizard.Exit(), 0);
        }
        ASSERT_EQ(0u, RunTool(L"\"" + package + L"Tarnex.exe\" /quiet").exitCode);

        EXPECT_EQ("read me\r\n", ReadBytes(kCrossInstall + L"прочти.txt"));
        EXPECT_EQ("chapter\r\n", ReadBytes(kCrossInstall + L"Документы \x04D9\\Глава \x04D9.txt"));
        EXPECT_TRUE(Exists(kCrossInstall + L"Setup.exe"));
        EXPECT_EQ(L"Значение \x04D9 " + kCrossInstall.substr(0, kCrossInstall.size() - 1),
                  Text(HKEY_LOCAL_MACHINE, std::wstring(kCrossKey) + L"\\Данные", L"Имя"));
        EXPECT_EQ(kCrossInstall + L"Документы \x04D9", Text(HKEY_CURRENT_USER, L"Environment", L"VREL_CROSS_HOME"));
        EXPECT_EQ(L"Врел Проба \x04D9", Text(HKEY_LOCAL_MACHINE, kCrossUninstallKey, L"DisplayName"));
        EXPECT_EQ(L"ООО «Врел»", Text(HKEY_LOCAL_MACHINE, kCrossUninstallKey, L"Publisher"));
        const std::wstring links = ProgramsFolder() + L"Врел Проба\\";
        EXPECT_EQ(kCrossInstall + L"прочти.txt", LinkTarget(links + L"Прочти.lnk"));
        EXPECT_EQ(kCrossInstall + L"Setup.exe", LinkTarget(links + L"Удалить Врел Проба.lnk"));
        EXPECT_EQ(kCrossInstall.substr(0, kCrossInstall.size() - 1), LinkFolder(links + L"Прочти.lnk"));

        const std::wstring remove = Text(HKEY_LOCAL_MACHINE, kCrossUninstallKey, L"QuietUninstallString");
        ASSERT_EQ(0u, RunTool(remove).exitCode) << Narrow(remove);
        EXPECT_TRUE(WaitUntilGone(kCrossInstall, 30000));
        EXPECT_FALSE(Exists(links));
        EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, std::wstring(kCrossKey) + L"\\Данные"));
        EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, std::wstring(kCrossKey) + L"\\Пакет"));
        EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kCrossUninstallKey));
        const std::wstring home = Text(HKEY_CURRENT_USER, L"Environment", L"VREL_CROSS_HOME");
        EXPECT_TRUE(home == L"<none>" || home.empty()) << Narrow(home);
    }
}

}  // namespace
}  // namespace enginetest
