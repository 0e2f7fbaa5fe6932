#include "run_test_support.h"

#include <shellapi.h>

#include "vrel/text_convert.h"
#include "vrel/unique_handle.h"

namespace tarnex::testing {

std::wstring Widen(const std::string& text) { return vrel::ToWide(text, CP_ACP); }

void WritePackage(const std::wstring& folder, const std::wstring& programName, const TestPackage& p) {
    std::string inf = "[Version]\r\nSignature=\"$Windows NT$\"\r\n\r\n[OPTIONS]\r\n";
    inf += "Access=No\r\nLicense=No\r\nSupportMode=" + p.SupportMode + "\r\nBackWindow=" + p.BackWindow +
           "\r\nBackWindowPicture=No\r\n";
    inf += "Name=\"" + p.Name + "\"\r\nNameGen=\"" + p.NameGen + "\"\r\nNameUnInst=\"" + p.NameUnInst + "\"\r\n";
    inf += "SetNameUI=" + p.SetNameUI + "\r\nBackName=\"Test\"\r\nDir=\"" + p.Dir + "\"\r\n";
    inf += "Key=\"2," + p.KeyPath + "\"\r\nOSVersions=" + p.OSVersions + "\r\nOSServicePacks=" + p.OSServicePacks +
           "\r\n" + p.ExtraOptions + "\r\n";
    if (!p.Components.empty()) inf += "[COMPONENTS]\r\nuser.inf,user.cab\r\n\r\n";
    if (!p.OmitWindows) {
        inf += "[WINDOWS]\r\n";
        for (int i = 0; i < 9; ++i) inf += std::to_string(i) + "=page" + std::to_string(i) + ".bmp\r\n";
    }
    inf += "\r\n" + p.ExtraSections;
    WriteBytes(folder + programName + L".inf", inf);
    if (p.Components.empty()) return;

    std::string user = "[Version]\r\nSignature=\"$Windows NT$\"\r\n\r\n[EngNames]\r\n";
    for (const auto& c : p.Components) user += c.EngName + "\r\n";
    auto section = [&](const char* name, auto value) {
        user += std::string("\r\n[") + name + "]\r\n";
        int n = 1;
        for (const auto& c : p.Components) user += c.EngName + "=" + value(c, n++) + "\r\n";
    };
    section("NUMBERS", [](const TestComponent&, int n) { return std::to_string(n); });
    section("LocNames", [](const TestComponent& c, int) { return "\"Component " + c.EngName + "\""; });
    section("PROPERTIES", [](const TestComponent& c, int) { return "\"About " + c.EngName + "\""; });
    section("CompVersions", [](const TestComponent& c, int) { return c.Version; });
    section("InstPaths", [](const TestComponent&, int) { return std::string("\"%65600%\""); });
    section("COMPLEXES", [](const TestComponent&, int) { return std::string("No"); });
    section("DEPENDENCES", [](const TestComponent&, int) { return std::string("0"); });
    section("STATES", [](const TestComponent&, int) { return std::string("2"); });
    WriteBytes(folder + L"user.inf", user);
}

namespace {
void SetText(const std::wstring& key, const std::wstring& name, const std::wstring& value) {
    vrel::unique_hkey handle;
    if (::RegCreateKeyExW(HKEY_CURRENT_USER, key.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, handle.put(),
                          nullptr) != ERROR_SUCCESS)
        return;
    ::RegSetValueExW(handle.get(), name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                     static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
}
}  // namespace

void WriteInstalledRecord(const std::string& keyPath, const TestComponent& component) {
    SetText(Widen(keyPath + "\\" + component.EngName + "\\" + component.Version), L"Name",
            Widen("Component " + component.EngName));
}

void WritePackageValue(const std::string& keyPath, const std::wstring& name, const std::wstring& value) {
    SetText(Widen(keyPath), name, value);
}

void DeletePackageKey(const std::string& keyPath) { ::RegDeleteTreeW(HKEY_CURRENT_USER, Widen(keyPath).c_str()); }


}  // namespace tarnex::testing
