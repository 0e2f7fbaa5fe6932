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

// Exit codes of a quiet run (a run with a person at the screen always ends
// with 0). 5 is left out: Wine reports a crashed program as 5 to the shell.
enum QuietExitCode : int {
    kQuietDone = 0,
    kQuietFailed = 1,          // an error stopped the run; the log says which
    kQuietRefused = 2,         // nothing was changed: a question answered No, a
                               // check of the package, another installer running
    kQuietRestartNeeded = 3,   // done; files in use are replaced at the next start
    kQuietSystemRefused = 4,   // the package does not list this system; /acceptos goes on
    kQuietNothingInstalled = 6,  // a removal found nothing of the package
    kQuietBadCommandLine = 87,   // as ERROR_INVALID_PARAMETER
};

inline constexpr wchar_t kQuietSwitch[] = L"/quiet";
inline constexpr wchar_t kAcceptSystemSwitch[] = L"/acceptos";
inline constexpr wchar_t kFolderSwitch[] = L"/dir=";

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
    std::wstring installFolder;     // "/dir=FOLDER", empty when not given
    std::wstring error;             // why the quiet command line is refused
};

// The arguments as the quiet run reads them: separated by blanks outside
// double quotes; a double quote only switches quoting and is dropped, so
// "/dir=C:\Program Files\X\" and /dir="C:\Program Files\X\" both give one
// argument (no backslash escapes: folders end in backslashes).
std::vector<std::wstring> SplitArguments(std::wstring_view arguments);

// Without "/quiet" only that flag is looked at (false), the rest of the
// command line stays as free as before. With it every argument must be
// "/u", "/r" (exactly so), "/quiet", "/acceptos" or "/dir=" with an
// absolute folder ("X:\..."; no "/", no character a path cannot hold), the
// switches of ours in any letter case; otherwise error says why.
QuietSwitches ParseQuietSwitches(std::wstring_view arguments);

}  // namespace tarnex
