#include "registrar.h"

#include <string>
#include <string_view>
#include <vector>

#include "registration_script.h"
#include "resource_ids.h"
#include "vrel/module_path.h"
#include "vrel/registry_keys.h"
#include "vrel/unique_handle.h"

namespace busvault {
namespace {

HRESULT FromWin32(LONG error) { return error == ERROR_SUCCESS ? S_OK : HRESULT_FROM_WIN32(error); }

// The script as the resource holds it, without any padding NULs.
bool LoadScript(HINSTANCE module, std::string_view& text) {
    HRSRC found = ::FindResourceA(module, MAKEINTRESOURCEA(IDR_REGISTRATION_SCRIPT), "REGISTRY");
    if (!found) return false;
    HGLOBAL loaded = ::LoadResource(module, found);
    const void* data = loaded ? ::LockResource(loaded) : nullptr;
    if (!data) return false;
    text = std::string_view(static_cast<const char*>(data), ::SizeofResource(module, found));
    while (!text.empty() && text.back() == '\0') text.remove_suffix(1);
    return true;
}

// Deletes a key with everything under it; a missing key is no error.
LONG DeleteTree(HKEY parent, const std::string& path) {
    return vrel::DeleteKeyTree(parent, path, KEY_READ | KEY_WRITE, vrel::MissingKey::IsDeleted);
}

LONG SetString(HKEY key, const char* name, const std::string& data) {
    return ::RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                            static_cast<DWORD>(data.size() + 1));
}

LONG Write(const ScriptEntry& entry, const std::string& modulePath) {
    vrel::unique_hkey key;
    LONG error = ::RegCreateKeyExA(HKEY_CLASSES_ROOT, entry.path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                   KEY_WRITE, nullptr, key.put(), nullptr);
    if (error != ERROR_SUCCESS || !entry.data) return error;
    const std::string data = SubstituteModule(*entry.data, modulePath);
    return SetString(key.get(), entry.isValue ? entry.name.c_str() : nullptr, data);
}

HRESULT Register(const std::vector<ScriptEntry>& script, const std::string& modulePath) {
    for (const ScriptEntry& entry : script)
        if (entry.replace)
            if (const LONG error = DeleteTree(HKEY_CLASSES_ROOT, entry.path)) return FromWin32(error);
    for (const ScriptEntry& entry : script)
        if (const LONG error = Write(entry, modulePath)) return FromWin32(error);
    return S_OK;
}

// Removes the script's own trees, last first; keys it only writes into (such
// as "CLSID") stay, and so do the shared ones when asked to keep them.
HRESULT Unregister(const std::vector<ScriptEntry>& script, bool keepShared) {
    HRESULT result = S_OK;
    for (auto entry = script.rbegin(); entry != script.rend(); ++entry)
        if (entry->remove && !(entry->shared && keepShared))
            if (const LONG error = DeleteTree(HKEY_CLASSES_ROOT, entry->path); error && SUCCEEDED(result))
                result = FromWin32(error);
    return result;
}

HRESULT ReadScript(HINSTANCE module, std::vector<ScriptEntry>& script) {
    std::string_view text;
    if (!LoadScript(module, text)) return HRESULT_FROM_WIN32(ERROR_RESOURCE_DATA_NOT_FOUND);
    auto parsed = ParseRegistrationScript(text);
    if (!parsed) return E_UNEXPECTED;
    script = std::move(*parsed);
    return S_OK;
}

}  // namespace

HRESULT RegisterByScript(HINSTANCE module) {
    std::vector<ScriptEntry> script;
    if (const HRESULT result = ReadScript(module, script); FAILED(result)) return result;
    const std::string modulePath = vrel::AnsiModulePath(module);
    if (modulePath.empty()) return HRESULT_FROM_WIN32(::GetLastError());
    return Register(script, modulePath);
}

HRESULT UnregisterByScript(HINSTANCE module, bool keepShared) {
    std::vector<ScriptEntry> script;
    if (const HRESULT result = ReadScript(module, script); FAILED(result)) return result;
    return Unregister(script, keepShared);
}

}  // namespace busvault
