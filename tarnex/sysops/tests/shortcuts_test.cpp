// Shortcuts in special folders: created through the shell link object and
// read back through it, removed with the folders that became empty.
#include <gtest/gtest.h>

#include <shlobj.h>
#include <shobjidl.h>

#include "sysops/shortcuts.h"
#include "sysops_test_support.h"
#include "vrel/bounded_copy.h"
#include "vrel/com_ptr.h"

using namespace tarnex;
using namespace sysops_test;

namespace {

LinkEntry Link(const std::wstring& folder, const std::wstring& name, const std::wstring& target = L"",
               const std::wstring& work = L"", const std::wstring& args = L"") {
    LinkEntry e;
    vrel::CopyToField(e.Folder, std::wstring_view(folder));
    vrel::CopyToField(e.LinkName, std::wstring_view(name));
    vrel::CopyToField(e.Target, std::wstring_view(target));
    vrel::CopyToField(e.WorkingFolder, std::wstring_view(work));
    vrel::CopyToField(e.Arguments, std::wstring_view(args));
    return e;
}

std::wstring Special(int csidl) {
    wchar_t path[MAX_PATH] = {};
    return ::SHGetSpecialFolderPathW(nullptr, path, csidl, FALSE) ? std::wstring(path) + L"\\" : std::wstring();
}

struct Resolved {
    std::wstring path, work, args;
    bool loaded = false;
};
Resolved Resolve(const std::wstring& lnk) {
    Resolved r;
    vrel::ComPtr<IShellLinkW> link;
    if (FAILED(::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW, link.put_void())))
        return r;
    vrel::ComPtr<IPersistFile> file;
    if (FAILED(link.as(file, IID_IPersistFile)) || FAILED(file->Load(lnk.c_str(), STGM_READ))) return r;
    wchar_t text[MAX_PATH] = {};
    link->GetPath(text, MAX_PATH, nullptr, 0);
    r.path = text;
    link->GetWorkingDirectory(text, MAX_PATH);
    r.work = text;
    link->GetArguments(text, MAX_PATH);
    r.args = text;
    r.loaded = true;
    return r;
}

class ShortcutsTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        InitTestApp();
        ::CoInitialize(nullptr);
    }
    static void TearDownTestSuite() { ::CoUninitialize(); }
    void SetUp() override {
        programs = Special(CSIDL_PROGRAMS);
        desktop = Special(CSIDL_DESKTOPDIRECTORY);
        ASSERT_FALSE(programs.empty());
        RemoveTree(programs + L"VrelSysopsTest");
    }
    void TearDown() override { RemoveTree(programs + L"VrelSysopsTest"); }
    std::wstring programs, desktop;
};

}  // namespace

TEST_F(ShortcutsTest, CreatedShortcutsResolveThroughTheShell) {
    const std::wstring target = TestProgramFolder() + L"sysops_svc_stub.exe";
    EXPECT_EQ(ProcessLink(Link(L"csidl_programs\\VrelSysopsTest\\Tools", L"Stub", target, TestProgramFolder(), L"/x 1"), false), 1);
    const std::wstring lnk = programs + L"VrelSysopsTest\\Tools\\Stub.lnk";
    ASSERT_TRUE(Exists(lnk));
    const Resolved r = Resolve(lnk);
    ASSERT_TRUE(r.loaded);
    EXPECT_EQ(_wcsicmp(r.path.c_str(), target.c_str()), 0) << r.path;
    EXPECT_EQ(r.args, L"/x 1");
    EXPECT_EQ(r.work, TestProgramFolder());
}

TEST_F(ShortcutsTest, RemovingTheLastShortcutRemovesEmptyFoldersUpToTheSpecialFolder) {
    ASSERT_EQ(ProcessLink(Link(L"CSIDL_PROGRAMS\\VrelSysopsTest\\Tools", L"One", L"C:\\windows\\notepad.exe"), false), 1);
    ASSERT_EQ(ProcessLink(Link(L"CSIDL_PROGRAMS\\VrelSysopsTest\\Tools", L"Two", L"C:\\windows\\notepad.exe"), false), 1);
    EXPECT_EQ(ProcessLink(Link(L"CSIDL_PROGRAMS\\VrelSysopsTest\\Tools", L"One"), true), 1);
    EXPECT_FALSE(Exists(programs + L"VrelSysopsTest\\Tools\\One.lnk"));
    EXPECT_TRUE(Exists(programs + L"VrelSysopsTest\\Tools\\Two.lnk"));  // the folder still holds a file
    EXPECT_EQ(ProcessLink(Link(L"CSIDL_PROGRAMS\\VrelSysopsTest\\Tools", L"Two"), true), 1);
    EXPECT_FALSE(Exists(programs + L"VrelSysopsTest\\Tools"));
    EXPECT_FALSE(Exists(programs + L"VrelSysopsTest"));
    EXPECT_TRUE(IsFolder(programs));
}

TEST_F(ShortcutsTest, RemovingAMissingShortcutClearsEmptyFoldersAndKeepsFilledOnes) {
    ASSERT_EQ(ProcessLink(Link(L"CSIDL_PROGRAMS\\VrelSysopsTest\\Kept", L"Stays", L"C:\\windows\\notepad.exe"), false), 1);
    // A folder left empty (by an earlier removal or by the user) goes with the walk.
    ASSERT_TRUE(::CreateDirectoryW((programs + L"VrelSysopsTest\\Empty").c_str(), nullptr));
    EXPECT_EQ(ProcessLink(Link(L"CSIDL_PROGRAMS\\VrelSysopsTest\\Empty", L"Gone"), true), 1);
    EXPECT_FALSE(Exists(programs + L"VrelSysopsTest\\Empty"));
    // Subfolders that never existed are made for the walk and cleared again.
    EXPECT_EQ(ProcessLink(Link(L"CSIDL_PROGRAMS\\VrelSysopsTest\\Never\\Deeper", L"Gone"), true), 1);
    EXPECT_FALSE(Exists(programs + L"VrelSysopsTest\\Never"));
    // The walk stops at the folder that still holds a shortcut.
    EXPECT_TRUE(Exists(programs + L"VrelSysopsTest\\Kept\\Stays.lnk"));
}

TEST_F(ShortcutsTest, DesktopWithoutSubfolderAndUnknownNames) {
    ASSERT_FALSE(desktop.empty());
    EXPECT_EQ(ProcessLink(Link(L"CSIDL_DESKTOP", L"VrelSysopsDesk", L"C:\\windows\\notepad.exe"), false), 1);
    EXPECT_TRUE(Exists(Special(CSIDL_DESKTOP) + L"VrelSysopsDesk.lnk"));
    EXPECT_EQ(ProcessLink(Link(L"CSIDL_DESKTOP", L"VrelSysopsDesk"), true), 1);
    EXPECT_FALSE(Exists(Special(CSIDL_DESKTOP) + L"VrelSysopsDesk.lnk"));
    EXPECT_TRUE(IsFolder(Special(CSIDL_DESKTOP)));

    EXPECT_EQ(ProcessLink(Link(L"CSIDL_WINDOWS\\VrelSysopsTest", L"X", L"C:\\a.exe"), false), 0);
    EXPECT_EQ(ProcessLink(Link(L"CSIDL_CONTROLS", L"X", L"C:\\a.exe"), false), 0);  // no file-system path
    EXPECT_EQ(SpecialFolderId(L""), 0);
    EXPECT_EQ(SpecialFolderId(L"csidl_common_programs"), 23);
    EXPECT_EQ(SpecialFolderId(L"CSIDL_PRINTHOOD"), 27);
    EXPECT_EQ(SpecialFolderId(L"CSIDL_WINDOWS"), -1);
}

TEST_F(ShortcutsTest, SubfoldersOrNamesThatClimbOutAreRefused) {
    const std::wstring outside = Special(CSIDL_PROGRAMS);
    EXPECT_EQ(ProcessLink(Link(L"CSIDL_PROGRAMS\\..\\..\\VrelEscaped", L"X", L"C:\\a.exe"), false), 1);
    EXPECT_EQ(ProcessLink(Link(L"CSIDL_PROGRAMS\\VrelSysopsTest", L"..\\..\\VrelEscaped", L"C:\\a.exe"), false), 1);
    EXPECT_FALSE(Exists(outside + L"..\\..\\VrelEscaped"));
    EXPECT_FALSE(Exists(outside + L"..\\..\\VrelEscaped.lnk"));
    EXPECT_NE(LogText().find(L"Refused shortcut outside its folder"), std::wstring::npos);
}
