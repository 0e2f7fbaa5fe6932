// Self-registration of package files: in-process servers through their
// registration exports, COM server and service EXEs through their switches.
// Each operation writes its result line to the setup log.
#pragma once

#include <string>

namespace tarnex {

enum class ExeKind { Service, ComServer };

bool RegisterDll(const std::wstring& path);
bool UnregisterDll(const std::wstring& path);
void RegisterExe(const std::wstring& path, ExeKind kind);
void UnregisterExe(const std::wstring& path, ExeKind kind);
bool StopService(const std::wstring& serviceName);

// The result text of a registration export's HRESULT ("OK", the named
// codes, or "%Xh").
std::wstring RegistrationResultText(long result, bool registering);

// A service's name: the file name up to its first dot (the whole file name
// when it has none).
std::wstring ServiceNameOf(const std::wstring& path);

}  // namespace tarnex
