#include "single_file/unpack_folder.h"

#include <windows.h>
#include <sddl.h>
#include <wincrypt.h>

#include <cstdint>
#include <vector>

#include "services/setup_log.h"
#include "vrel/crypt_handles.h"
#include "vrel/folder_walk.h"
#include "vrel/hex_text.h"
#include "vrel/text_convert.h"

namespace tarnex {
namespace {

constexpr REGSAM kView = KEY_WOW64_64KEY;
constexpr std::size_t kRandomDigits = 16;
// A file a program that has just ended still holds: tried again for about
// two seconds.
constexpr int kRemovalTries = 40;
constexpr DWORD kRemovalPauseMs = 50;

void Log(const std::wstring& text) { WriteLog(L"Single-file package: " + text + L"\r\n"); }

std::wstring RandomDigits() {
    std::uint8_t bytes[kRandomDigits / 2] = {};
    vrel::unique_hcryptprov provider;
    if (!::CryptAcquireContextW(provider.put(), nullptr, nullptr, PROV_RSA_AES, CRYPT_VERIFYCONTEXT) ||
        !::CryptGenRandom(provider.get(), sizeof bytes, bytes))
        return {};
    return vrel::ToWide(vrel::FormatHex(bytes, sizeof bytes, vrel::HexCase::Lower, '\0'), CP_ACP);
}

// "Tarnex-" and 16 lower-case hexadecimal digits, nothing else.
bool IsUnpackFolderName(const std::wstring& name) {
    const std::wstring prefix = kUnpackFolderPrefix;
    if (name.size() != prefix.size() + kRandomDigits || name.compare(0, prefix.size(), prefix) != 0) return false;
    for (std::size_t i = prefix.size(); i < name.size(); ++i)
        if (vrel::HexDigitValue(name[i], vrel::HexLetters::LowerOnly) < 0) return false;
    return true;
}

class SecurityDescriptor {
public:
    explicit SecurityDescriptor(const wchar_t* sddl) {
        if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl, SDDL_REVISION_1, &descriptor_, nullptr))
            descriptor_ = nullptr;
    }
    ~SecurityDescriptor() {
        if (descriptor_ != nullptr) ::LocalFree(descriptor_);
    }
    SecurityDescriptor(const SecurityDescriptor&) = delete;
    SecurityDescriptor& operator=(const SecurityDescriptor&) = delete;
    PSECURITY_DESCRIPTOR get() const { return descriptor_; }

private:
    PSECURITY_DESCRIPTOR descriptor_ = nullptr;
};

vrel::unique_hkey OpenNotes(REGSAM access, bool create) {
    vrel::unique_hkey key;
    const LONG result =
        create ? ::RegCreateKeyExW(HKEY_LOCAL_MACHINE, kUnpackedFoldersKey, 0, nullptr, 0, access | kView, nullptr,
                                   key.put(), nullptr)
               : ::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kUnpackedFoldersKey, 0, access | kView, key.put());
    if (result != ERROR_SUCCESS) key.release();
    return key;
}

// The note goes; so do the keys above it once nothing else is in them.
void DeleteNote(const std::wstring& name) {
    if (vrel::unique_hkey key = OpenNotes(KEY_SET_VALUE, false)) ::RegDeleteValueW(key.get(), name.c_str());
    // RegDeleteKeyExW reaches the 64-bit view from the 32-bit program too;
    // a key that still holds values or keys stays.
    for (const wchar_t* key : {kUnpackedFoldersKey, L"SOFTWARE\\Tarnex"}) {
        vrel::unique_hkey opened;
        DWORD values = 0, keys = 0;
        if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, key, 0, KEY_QUERY_VALUE | kView, opened.put()) != ERROR_SUCCESS ||
            ::RegQueryInfoKeyW(opened.get(), nullptr, nullptr, nullptr, &keys, nullptr, nullptr, &values, nullptr,
                               nullptr, nullptr, nullptr) != ERROR_SUCCESS ||
            keys != 0 || values != 0)
            return;
        opened.reset();
        ::RegDeleteKeyExW(HKEY_LOCAL_MACHINE, key, kView, 0);
    }
}

// Deletes everything in the folder and the folder; false when something
// stays. Read-only files go too.
bool DeleteTree(const std::wstring& folder) {
    bool all = true;
    vrel::WalkFolderDeepestFirst(folder, [&all](const std::wstring& path, DWORD attributes) {
        all = vrel::DeleteWalkedEntry(path, attributes) && all;
    });
    if (::RemoveDirectoryW(folder.c_str())) return all;
    const DWORD error = ::GetLastError();
    return all && (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND);
}

// What stays is left to the next start of Windows: the files first, then
// the folders that hold them.
void DeleteAtRestart(const std::wstring& folder) {
    vrel::WalkFolderDeepestFirst(folder, [](const std::wstring& path, DWORD) {
        ::MoveFileExW(path.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
    });
    ::MoveFileExW(folder.substr(0, folder.size() - 1).c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
}

bool Exists(const std::wstring& path) { return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// Removes the folder, trying again while a file is held; true when it is gone.
bool RemoveWithTries(const std::wstring& folder) {
    for (int tries = 1;; ++tries) {
        if (DeleteTree(folder) || !Exists(folder)) return true;
        if (tries == kRemovalTries) return false;
        ::Sleep(kRemovalPauseMs);
    }
}

// The lock file of a run that is still going cannot be opened: its run
// holds it for itself alone.
bool LockHeld(const std::wstring& folder) {
    vrel::unique_hfile lock(::CreateFileW((folder + kUnpackLockFile).c_str(), GENERIC_READ,
                                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                          OPEN_EXISTING, 0, nullptr));
    return !lock && ::GetLastError() == ERROR_SHARING_VIOLATION;
}

}  // namespace

std::wstring SystemTempFolder() {
    wchar_t windows[MAX_PATH] = {};
    const UINT n = ::GetWindowsDirectoryW(windows, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return {};
    std::wstring folder(windows, n);
    if (folder.back() != L'\\') folder += L'\\';
    return folder + L"Temp\\";
}

bool UnpackFolder::Create() {
    Remove();
    const std::wstring temp = SystemTempFolder();
    const SecurityDescriptor rights(kUnpackFolderRights);
    if (temp.empty() || rights.get() == nullptr) {
        Log(L"the folder to unpack into cannot be made (no Windows folder, or no access list)");
        return false;
    }
    SECURITY_ATTRIBUTES security{sizeof security, rights.get(), FALSE};
    // A name already taken (by chance, or by someone who made it first) is
    // never used: another is drawn.
    constexpr int kNameTries = 8;
    std::wstring name;
    for (int i = 0; i < kNameTries && name.empty(); ++i) {
        const std::wstring digits = RandomDigits();
        if (digits.empty()) break;
        if (::CreateDirectoryW((temp + kUnpackFolderPrefix + digits).c_str(), &security))
            name = kUnpackFolderPrefix + digits;
        else if (::GetLastError() != ERROR_ALREADY_EXISTS)
            break;
    }
    if (name.empty()) {
        Log(L"no folder to unpack into can be made in " + temp + L" (error " + std::to_wstring(::GetLastError()) + L")");
        return false;
    }
    name_ = name;
    path_ = temp + name + L"\\";
    // Held for this run alone; it goes when the handle closes, also when
    // the run is cut off.
    lock_.reset(::CreateFileW((path_ + kUnpackLockFile).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_HIDDEN | FILE_FLAG_DELETE_ON_CLOSE, nullptr));
    vrel::unique_hkey notes = OpenNotes(KEY_SET_VALUE, true);
    const std::wstring data = path_;
    if (!lock_ || !notes ||
        ::RegSetValueExW(notes.get(), name_.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                         static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t))) != ERROR_SUCCESS) {
        Log(L"the folder " + path_ + L" cannot be locked or noted in HKLM\\" + kUnpackedFoldersKey);
        notes.reset();
        Remove();
        return false;
    }
    Log(L"unpacking into " + path_);
    return true;
}

void UnpackFolder::Remove() {
    if (path_.empty()) return;
    lock_.reset();
    if (RemoveWithTries(path_)) {
        DeleteNote(name_);
    } else {
        Log(L"the folder " + path_ + L" is still held: what stays goes at the next start of Windows");
        DeleteAtRestart(path_);
    }
    name_.clear();
    path_.clear();
}

void UnpackFolder::LeaveToNextStart() {
    if (path_.empty()) return;
    Log(L"the session ends: the folder " + path_ + L" goes at the next start of Windows");
    DeleteAtRestart(path_);
}

void RemoveLeftUnpackFolders() {
    const std::wstring temp = SystemTempFolder();
    std::vector<std::wstring> names;
    if (vrel::unique_hkey notes = OpenNotes(KEY_QUERY_VALUE, false)) {
        for (DWORD i = 0;; ++i) {
            wchar_t name[256] = {};
            DWORD length = 256;
            const LONG result = ::RegEnumValueW(notes.get(), i, name, &length, nullptr, nullptr, nullptr, nullptr);
            if (result == ERROR_NO_MORE_ITEMS) break;
            if (result == ERROR_SUCCESS) names.emplace_back(name, length);
        }
    }
    for (const std::wstring& name : names) {
        // The note's name, never its data, says which folder: only a folder
        // of this form in the Windows folder's Temp is ever removed.
        const std::wstring folder = temp + name + L"\\";
        if (!IsUnpackFolderName(name) || temp.empty()) {
            DeleteNote(name);
            continue;
        }
        if (LockHeld(folder)) continue;  // a run that is still going
        if (!Exists(folder)) {
            DeleteNote(name);  // gone already (the next start of Windows took it)
        } else if (RemoveWithTries(folder)) {
            Log(L"removed the folder " + folder + L", left by a run that was cut off");
            DeleteNote(name);
        } else {
            DeleteAtRestart(folder);
        }
    }
}

}  // namespace tarnex
