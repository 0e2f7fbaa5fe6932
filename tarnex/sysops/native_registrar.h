// Registration of a 64-bit in-process server by the 32-bit installer on a
// 64-bit Windows: a 32-bit process cannot load a 64-bit library, so the
// system's own 64-bit regsvr32.exe does it, started by its full path through
// the native system folder (%windir%\Sysnative, which a 32-bit process sees
// in place of the 64-bit system32 that WoW64 redirects for it). What it
// registers lands in the 64-bit registry view.
#pragma once

#include <string>

namespace tarnex {

// True in a 32-bit process on a 64-bit Windows; on a 32-bit Windows (or in
// a 64-bit process) there is no such registrar.
bool NativeRegistrarAvailable();

// "C:\Windows\Sysnative\regsvr32.exe", or "" when the system cannot tell
// its folder.
std::wstring NativeRegsvr32Path();

// Runs regsvr32 /s [/u] on the library, hidden, waits for it, and gives the
// result text of the log line: "OK", or what its exit code means.
std::wstring RegisterByNativeRegsvr32(const std::wstring& path, bool registering);

// The result text of regsvr32's exit code: 0 "OK"; 3 the library could not
// be loaded; 4 it lacks the export; 5 the export reported a failure; an
// exception code, the export faulted.
std::wstring Regsvr32ResultText(unsigned long exitCode, bool registering, const std::wstring& regsvr32);

}  // namespace tarnex
