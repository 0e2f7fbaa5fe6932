// The switches of an unattended run. "/u" and "/r" keep their old rule
// (found anywhere in the arguments by plain substring search, elsewhere),
// so nothing an administrator writes in a quiet command line may contain
// them by accident: every switch name here is free of them, and values are
// refused when they hold a forward slash at all.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tarnex {

// Exit codes of a quiet run, in Windows' numbers, so that deployment tools
// act on them with their defaults (a run with a person at the screen always
// ends with 0).
enum QuietExitCode : int {
    kQuietDone = 0,                   // ERROR_SUCCESS
    kQuietBadCommandLine = 87,        // ERROR_INVALID_PARAMETER
    kQuietDiskFull = 112,             // ERROR_DISK_FULL: the choice does not fit on the drive
    kQuietStopped = 1602,             // ERROR_INSTALL_USEREXIT: a question answered No, or a
                                      // program of the package stopped the installation
    kQuietFailed = 1603,              // ERROR_INSTALL_FAILURE: any other failure; the log says which
    kQuietNothingInstalled = 1605,    // ERROR_UNKNOWN_PRODUCT: a removal found nothing of the package
    kQuietAlreadyRunning = 1618,      // ERROR_INSTALL_ALREADY_RUNNING: another installer runs
    kQuietPackageChanged = 1620,      // ERROR_INSTALL_PACKAGE_INVALID: a file differs from the package's seal
    kQuietLogUnwritable = 1622,       // ERROR_INSTALL_LOG_FAILURE: the file of /log= cannot be written
    kQuietSystemRefused = 1633,       // ERROR_INSTALL_PLATFORM_UNSUPPORTED; /acceptos goes on
    kQuietAlreadyInstalled = 1638,    // ERROR_PRODUCT_VERSION: installed without maintenance, no /u
    kQuietRestartNeeded = 3010,       // ERROR_SUCCESS_REBOOT_REQUIRED: done; files in use are
                                      // replaced at the next start
};

inline constexpr wchar_t kQuietSwitch[] = L"/quiet";
inline constexpr wchar_t kAcceptSystemSwitch[] = L"/acceptos";
inline constexpr wchar_t kFolderSwitch[] = L"/dir=";
inline constexpr wchar_t kLogSwitch[] = L"/log=";
// Deployment tools add it by habit; a quiet run never restarts anyway.
inline constexpr wchar_t kNoRestartSwitch[] = L"/norestart";
// An installation over a newer installed version (by the uninstall entry's
// DisplayVersion) is refused with 1638 instead of downgrading it.
inline constexpr wchar_t kNoDowngradeSwitch[] = L"/nodowngrade";

// What the installer writes after a command that starts its installed copy
// later without a person: the continuation after a restart of a quiet run,
// and the uninstall entry's quiet removal. That copy only runs on a system
// that was accepted when the package went on, so the question about an
// unsupported system does not stop it.
inline constexpr wchar_t kLaterQuietSwitches[] = L" /quiet /acceptos";

struct QuietSwitches {
    bool quiet = false;             // "/quiet" is among the arguments
    bool removal = false;           // "/u"
    bool continuation = false;      // "/r"
    bool acceptAnySystem = false;   // "/acceptos"
    bool noDowngrade = false;       // "/nodowngrade"
    std::wstring installFolder;     // "/dir=FOLDER", empty when not given
    std::wstring logFile;           // "/log=FILE", this run's own log; empty when not given
    std::wstring error;             // why the quiet command line is refused
};

// The arguments as the quiet run reads them: separated by blanks outside
// double quotes; a double quote only switches quoting and is dropped, so
// "/dir=C:\Program Files\X\" and /dir="C:\Program Files\X\" both give one
// argument (no backslash escapes: folders end in backslashes).
std::vector<std::wstring> SplitArguments(std::wstring_view arguments);

// Without "/quiet" only that flag and "/log=" are looked at, the rest of
// the command line stays as free as before. With it every argument must be
// "/u", "/r" (exactly so), "/quiet", "/acceptos", "/norestart", "/nodowngrade", "/dir=" with
// an absolute folder ("X:\..."; no "/", no character a path cannot hold) or
// "/log=" with an absolute file path of the same kind, the switches of ours
// in any letter case; otherwise error says why (for a wrong "/log=" also in
// a run with a person).
QuietSwitches ParseQuietSwitches(std::wstring_view arguments);

}  // namespace tarnex
