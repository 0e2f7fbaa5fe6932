// Environment variables in the registry: replace, append and take back, for
// the user and the machine, and the WM_SETTINGCHANGE broadcast.
#include <gtest/gtest.h>

#include "../../../testsupport/registry_values.h"
#include "sysops/env_vars.h"
#include "sysops_test_support.h"
#include "vrel/bounded_copy.h"

using namespace tarnex;
using namespace sysops_test;

namespace {

const wchar_t kUserKey[] = L"Environment";
const wchar_t kMachineKey[] = L"SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment";
const wchar_t kName[] = L"VREL_SYSOPS_TEST";

EnvVarEntry Entry(const std::wstring& value, int system = 0, int replace = 0) {
    EnvVarEntry e;
    vrel::CopyToField(e.Name, std::wstring_view(kName));
    vrel::CopyToField(e.Value, std::wstring_view(value));
    e.System = system;
    e.Replace = replace;
    return e;
}

void SetStored(HKEY root, const wchar_t* key, const std::wstring& value, DWORD type = REG_SZ) {
    ASSERT_EQ(::RegSetKeyValueW(root, key, kName, type, value.c_str(),
                                static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t))),
              ERROR_SUCCESS);
}

// The stored value, or "<absent>"; its registry type goes to type.
std::wstring Stored(HKEY root, const wchar_t* key, DWORD* type = nullptr) {
    const testsupport::RegistryValue value = testsupport::ReadRegistryValue(root, key, kName);
    if (!value.present) return L"<absent>";
    if (type) *type = value.type;
    return testsupport::TextOf(value);
}

class EnvVarsTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { InitTestApp(); }
    void SetUp() override { Clean(); }
    void TearDown() override { Clean(); }
    static void Clean() {
        ::RegDeleteKeyValueW(HKEY_CURRENT_USER, kUserKey, kName);
        ::RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, kMachineKey, kName);
    }
    std::wstring User() { return Stored(HKEY_CURRENT_USER, kUserKey); }
};

}  // namespace

TEST_F(EnvVarsTest, ReplaceSetsEachPieceAndKeepsItsCase) {
    SetStored(HKEY_CURRENT_USER, kUserKey, L"old");
    SetEnvVars(Entry(L"C:\\Tools\\", 0, 1));
    EXPECT_EQ(User(), L"C:\\Tools");
    SetEnvVars(Entry(L"C:\\A;D:\\B", 0, 1));  // the last piece wins
    EXPECT_EQ(User(), L"D:\\B");
}

TEST_F(EnvVarsTest, AppendAddsMissingPiecesInLowerCase) {
    SetEnvVars(Entry(L"D:\\App\\"));
    EXPECT_EQ(User(), L"D:\\App");  // no list yet: the piece as given
    SetStored(HKEY_CURRENT_USER, kUserKey, L"C:\\Windows;C:\\Bin");
    SetEnvVars(Entry(L"c:\\bin"));
    EXPECT_EQ(User(), L"C:\\Windows;C:\\Bin");  // present: nothing written
    SetStored(HKEY_CURRENT_USER, kUserKey, L"C:\\Windows");
    SetEnvVars(Entry(L"D:\\App"));
    EXPECT_EQ(User(), L"c:\\windows;d:\\app");
    SetStored(HKEY_CURRENT_USER, kUserKey, L"c:\\bin2");
    SetEnvVars(Entry(L"c:\\bin"));
    EXPECT_EQ(User(), L"c:\\bin2;c:\\bin");
    SetStored(HKEY_CURRENT_USER, kUserKey, L"a;");
    SetEnvVars(Entry(L"x;y"));
    EXPECT_EQ(User(), L"a;x;y");
    const std::wstring log = LogText();
    EXPECT_NE(log.find(L"SetVarEnv"), std::wstring::npos);
}

TEST_F(EnvVarsTest, TakingBackRemovesEachPieceOnce) {
    struct Case {
        const wchar_t* before;
        const wchar_t* value;
        const wchar_t* after;
    };
    for (const Case c : {Case{L"a;b;c", L"b", L"a;c"}, Case{L"a;b", L"a", L"b"}, Case{L"a;b;c", L"c", L"a;b"},
                         Case{L"a", L"a", L""}, Case{L"A;X;Y;b", L"x;y", L"a;b"}, Case{L"a;bc", L"b", L"a;bc"},
                         Case{L"C:\\Tools", L"c:\\tools\\", L""}}) {
        SetStored(HKEY_CURRENT_USER, kUserKey, c.before);
        DelEnvVars(Entry(c.value));
        EXPECT_EQ(User(), c.after) << c.before << " - " << c.value;
    }
    ::RegDeleteKeyValueW(HKEY_CURRENT_USER, kUserKey, kName);
    DelEnvVars(Entry(L"a"));
    EXPECT_EQ(User(), L"<absent>");
    EXPECT_NE(LogText().find(L"DelVarEnv"), std::wstring::npos);
}

TEST_F(EnvVarsTest, MachineVariablesLiveUnderTheSessionManager) {
    SetEnvVars(Entry(L"C:\\Machine", 1));
    EXPECT_EQ(Stored(HKEY_LOCAL_MACHINE, kMachineKey), L"C:\\Machine");
    EXPECT_EQ(User(), L"<absent>");
    SetEnvVars(Entry(L"D:\\Two", 1));
    EXPECT_EQ(Stored(HKEY_LOCAL_MACHINE, kMachineKey), L"c:\\machine;d:\\two");
    DelEnvVars(Entry(L"c:\\machine", 1));
    EXPECT_EQ(Stored(HKEY_LOCAL_MACHINE, kMachineKey), L"d:\\two");
}

TEST_F(EnvVarsTest, ExpandableValuesAreNeitherExtendedNorCut) {
    SetStored(HKEY_CURRENT_USER, kUserKey, L"%SystemRoot%;c:\\bin", REG_EXPAND_SZ);
    SetEnvVars(Entry(L"d:\\app"));
    DelEnvVars(Entry(L"c:\\bin"));
    DWORD type = 0;
    EXPECT_EQ(Stored(HKEY_CURRENT_USER, kUserKey, &type), L"%SystemRoot%;c:\\bin");
    EXPECT_EQ(type, static_cast<DWORD>(REG_EXPAND_SZ));
}

namespace {
std::wstring received;
LRESULT CALLBACK Listener(HWND w, UINT m, WPARAM wp, LPARAM lp) {
    if (m == WM_SETTINGCHANGE && lp != 0) received = reinterpret_cast<const wchar_t*>(lp);
    return ::DefWindowProcW(w, m, wp, lp);
}
}  // namespace

TEST_F(EnvVarsTest, BroadcastReachesTopLevelWindows) {
    WNDCLASSW wc{};
    wc.lpfnWndProc = Listener;
    wc.hInstance = ::GetModuleHandleW(nullptr);
    wc.lpszClassName = L"VrelSysopsListener";
    ::RegisterClassW(&wc);
    HWND window = ::CreateWindowExW(0, wc.lpszClassName, L"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, wc.hInstance, nullptr);
    if (window == nullptr) GTEST_SKIP() << "no window station for top-level windows";
    received.clear();
    EXPECT_TRUE(BroadcastEnvironmentChange());
    EXPECT_EQ(received, L"Environment");
    ::DestroyWindow(window);
}
