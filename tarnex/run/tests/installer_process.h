// A started copy of Tarnex.exe, as a person starts it from a package folder,
// with its message boxes found and answered through the UI driver, and what
// the run leaves in the prefix's setup log.
#pragma once

#include <windows.h>

#include <string>

#include "ui_driver.h"
#include "vrel/unique_handle.h"

namespace tarnex::testing {

inline constexpr DWORD kBoxTimeoutMs = 30000;
inline constexpr DWORD kExitTimeoutMs = 30000;

// The prefix's setup log, C:\windows\VrelTARNEX.log.
std::wstring WindowsLog();

class Installer {
public:
    // Copies the built Tarnex.exe into folder as programFile and starts it there.
    Installer(const std::wstring& folder, const std::wstring& programFile, const std::wstring& arguments);
    ~Installer();
    Installer(const Installer&) = delete;
    Installer& operator=(const Installer&) = delete;

    bool started() const { return static_cast<bool>(process_); }

    // The next message box of this run; empty content after the timeout.
    uidriver::BoxContent Box(DWORD timeoutMs = kBoxTimeoutMs) const;

    // Exit code, or -1 when the run is still going (then any open box is
    // reported, so a run stuck at an unexpected question says which).
    long Exit(std::string* stuckAt = nullptr, DWORD timeoutMs = kExitTimeoutMs) const;

    std::wstring path;
    DWORD pid = 0;

private:
    vrel::unique_handle process_;
};

}  // namespace tarnex::testing
