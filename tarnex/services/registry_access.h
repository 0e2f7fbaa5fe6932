// Registry access by root index (1 HKEY_CLASSES_ROOT, 2 HKEY_CURRENT_USER,
// 3 HKEY_LOCAL_MACHINE, 4 HKEY_USERS: vrel::RootKeyOfIndex). Failures are
// reported by the result only.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "vrel/registry_keys.h"

namespace tarnex {

// Value type index of RequiredKeyRegistry: 0 REG_SZ, 1 REG_BINARY,
// 2 REG_DWORD, any other number REG_NONE.
DWORD RegTypeOfIndex(int typeIndex);

// Opens the key for setting values, or creates it; writes the value with the
// type's low byte. 1 on success.
int SetRegValue(int root, const std::wstring& subKey, const std::wstring& valueName, const void* data, DWORD size,
                DWORD type);

// Reads a value of exactly the expected type (low byte compared) into data,
// sized as the registry reports it. 0 when the key or value is missing, the
// type differs or the read fails.
int QueryRegValue(int root, const std::wstring& subKey, const std::wstring& valueName, std::vector<BYTE>& data,
                  DWORD expectedType);

// REG_SZ convenience: writes the text with its terminator.
int SetRegText(int root, const std::wstring& subKey, const std::wstring& valueName, const std::wstring& text);

// REG_SZ convenience: the text up to its first terminator (data written
// without a terminator, or with an odd byte count, is read safely).
int QueryRegText(int root, const std::wstring& subKey, const std::wstring& valueName, std::wstring& text);

// Deletes the key with all its subkeys; 1 when the key itself was deleted.
// An empty path (the root itself) is refused with 0.
int DeleteRegTree(int root, const std::wstring& subKey);

// Deletes a value (its result ignored); 0 only when the key cannot be opened.
int DeleteRegValue(int root, const std::wstring& subKey, const std::wstring& valueName);

// 1 when the key opens for reading.
int RegKeyExists(int root, const std::wstring& subKey);

}  // namespace tarnex
