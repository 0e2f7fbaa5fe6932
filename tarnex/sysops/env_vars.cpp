#include "sysops/env_vars.h"

#include <windows.h>

#include <vector>

#include "portable/env_pieces.h"
#include "services/setup_log.h"
#include "vrel/unique_handle.h"

namespace tarnex {
namespace {

constexpr wchar_t kUserKey[] = L"Environment";
constexpr wchar_t kMachineKey[] = L"SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment";

HKEY RootOf(const EnvVarEntry& entry) { return entry.System ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER; }
const wchar_t* KeyOf(const EnvVarEntry& entry) { return entry.System ? kMachineKey : kUserKey; }

enum class Stored { Absent, Text, OtherType };

// The variable's REG_SZ value. A value of another type (REG_EXPAND_SZ for
// one) is reported as such, so that no caller overwrites it with a list it
// could not read.
Stored ReadVariable(const EnvVarEntry& entry, std::wstring& value) {
    value.clear();
    vrel::unique_hkey key;
    if (::RegOpenKeyExW(RootOf(entry), KeyOf(entry), 0, KEY_QUERY_VALUE, key.put()) != ERROR_SUCCESS)
        return Stored::Absent;
    DWORD type = 0, size = 0;
    if (::RegQueryValueExW(key.get(), entry.Name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS)
        return Stored::Absent;
    if (type != REG_SZ) return Stored::OtherType;
    std::vector<wchar_t> data(size / sizeof(wchar_t) + 1, L'\0');
    DWORD bytes = static_cast<DWORD>((data.size() - 1) * sizeof(wchar_t));
    if (::RegQueryValueExW(key.get(), entry.Name, nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &bytes) !=
            ERROR_SUCCESS ||
        type != REG_SZ)
        return Stored::Absent;
    value.assign(data.data());  // up to the first terminator, written or not
    return Stored::Text;
}

void WriteVariable(const EnvVarEntry& entry, const std::wstring& value) {
    vrel::unique_hkey key;
    if (::RegOpenKeyExW(RootOf(entry), KeyOf(entry), 0, KEY_SET_VALUE, key.put()) != ERROR_SUCCESS &&
        ::RegCreateKeyExW(RootOf(entry), KeyOf(entry), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_SET_VALUE, nullptr,
                          key.put(), nullptr) != ERROR_SUCCESS)
        return;
    ::RegSetValueExW(key.get(), entry.Name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                     static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
}

std::wstring Lower(std::wstring text) {
    if (!text.empty()) ::CharLowerBuffW(text.data(), static_cast<DWORD>(text.size()));
    return text;
}

}  // namespace

void SetEnvVars(const EnvVarEntry& entry) {
    for (const std::wstring& piece : SplitEnvPieces(entry.Value)) SetVarEnv(entry, piece);
}

void DelEnvVars(const EnvVarEntry& entry) {
    for (const std::wstring& piece : SplitEnvPieces(entry.Value)) DelVarEnv(entry, piece);
}

void SetVarEnv(const EnvVarEntry& entry, const std::wstring& rawPiece) {
    const std::wstring piece = StripOneTrailingBackslash(rawPiece);
    std::wstring newValue = piece;
    if (!entry.Replace) {
        std::wstring current;
        const Stored stored = ReadVariable(entry, current);
        WriteLog(L"SetVarEnv");
        WriteLog(current);
        if (stored == Stored::OtherType) {
            // Not readable as a list: left as it is rather than replaced.
            WriteLog(L"");
            return;
        }
        if (!current.empty()) {
            const std::wstring lowerCurrent = Lower(current);
            const std::wstring lowerPiece = Lower(piece);
            WriteLog(lowerCurrent);
            WriteLog(lowerPiece);
            newValue = AppendEnvPiece(lowerCurrent, lowerPiece);
        }
    }
    WriteLog(newValue);
    if (newValue.empty()) return;
    WriteVariable(entry, newValue);
}

void DelVarEnv(const EnvVarEntry& entry, const std::wstring& rawPiece) {
    std::wstring current;
    ReadVariable(entry, current);  // another type reads as absent: left alone
    const std::wstring piece = StripOneTrailingBackslash(rawPiece);
    WriteLog(L"DelVarEnv");
    WriteLog(current);
    WriteLog(piece);
    if (current.empty()) return;
    const std::optional<std::wstring> newValue = RemoveEnvPiece(Lower(current), Lower(piece));
    if (!newValue) return;
    WriteLog(*newValue);
    WriteVariable(entry, *newValue);
}

bool BroadcastEnvironmentChange() {
    DWORD_PTR result = 0;
    return ::SendMessageTimeoutW(HWND_BROADCAST, WM_SETTINGCHANGE, 0, reinterpret_cast<LPARAM>(L"Environment"),
                                 SMTO_ABORTIFHUNG, 5000, &result) != 0;
}

}  // namespace tarnex
