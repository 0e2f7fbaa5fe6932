#include "single_file/single_file_run.h"

#include <functional>
#include <string>
#include <utility>

#include "portable/quiet_switches.h"
#include "services/app_context.h"
#include "services/message_box.h"
#include "services/setup_log.h"
#include "single_file/payload_unpacker.h"
#include "single_file/session_end_watch.h"
#include "single_file/unpack_folder.h"
#include "single_file/unpack_progress.h"
#include "vrel/module_path.h"
#include "vrel/path_parts.h"

namespace tarnex {
namespace {

void Log(const std::wstring& text) { WriteLog(L"Single-file package: " + text + L"\r\n"); }

// The quiet run's answers while the single file is on its own: every
// message is logged, none is shown.
class LoggedAnswers {
public:
    LoggedAnswers() {
        previous_ = SetMessageAnswerer([this](const MessageRequest& request) {
            if (!logging_) {
                logging_ = true;
                WriteLog(L"Quiet run, message box: " + request.text + L"\r\n");
                logging_ = false;
            }
            return (request.type & MB_TYPEMASK) == MB_YESNO ? IDNO : IDOK;
        });
    }
    ~LoggedAnswers() { SetMessageAnswerer(std::move(previous_)); }
    LoggedAnswers(const LoggedAnswers&) = delete;
    LoggedAnswers& operator=(const LoggedAnswers&) = delete;

private:
    MessageAnswerer previous_;
    bool logging_ = false;  // the log's own failure comes here too
};

// Refused like a changed package folder: the same message, the same code.
int RefuseChangedPackage(const std::wstring& file, bool quiet) {
    Ask(nullptr, Question::kPackageChanged, file.c_str());
    return quiet ? kQuietPackageChanged : 0;
}

// The package's installer: the description's name with ".exe".
std::wstring InstallerOf(const PackageSeal& index) {
    const std::size_t dot = index.description.rfind(L'.');
    return index.description.substr(0, dot) + L".exe";
}

int Failed(const std::wstring& why, bool quiet) {
    Log(why);
    return quiet ? kQuietFailed : 0;
}

// This program stands in for the unpacked installer while the package
// runs, in the unpacking folder as its current one (as a program started
// from there has it); both are its own again afterwards, before the folder
// goes.
class StandIn {
public:
    StandIn(const std::wstring& installer, const std::wstring& folder) {
        wchar_t current[MAX_PATH + 1] = {};
        const DWORD length = ::GetCurrentDirectoryW(MAX_PATH + 1, current);
        if (length > 0 && length <= MAX_PATH) current_.assign(current, length);
        SetCarriedPackage({installer, vrel::FolderOf(App().ProgramPath)});
        ::SetCurrentDirectoryW(folder.c_str());
    }
    ~StandIn() {
        SetCarriedPackage({});
        // A current folder that is gone meanwhile leaves the Windows
        // folder's Temp, never the unpacking folder, as this one.
        if (current_.empty() || !::SetCurrentDirectoryW(current_.c_str()))
            ::SetCurrentDirectoryW(SystemTempFolder().c_str());
    }
    StandIn(const StandIn&) = delete;
    StandIn& operator=(const StandIn&) = delete;

private:
    std::wstring current_;
};

int RunCarried(PayloadUnpacker& payload, std::optional<LoggedAnswers>& answers, bool quiet,
               const std::function<int()>& runPackage) {
    std::wstring refused;
    if (!payload.CheckIndex(refused)) return RefuseChangedPackage(refused, quiet);
    const std::wstring installer = InstallerOf(payload.Index());
    if (payload.Index().Find(installer) == nullptr) {
        Log(L"the package carries no installer " + installer);
        return RefuseChangedPackage(installer, quiet);
    }
    RemoveLeftUnpackFolders();
    UnpackFolder folder;
    if (!folder.Create()) return Failed(L"nothing was unpacked", quiet);
    UnpackEnd unpacked = UnpackEnd::Refused;
    {
        UnpackProgress progress(!quiet, payload.TotalSize());
        unpacked = payload.UnpackInto(folder.Path(), progress, refused);
    }
    if (unpacked != UnpackEnd::Done) folder.Remove();
    if (unpacked == UnpackEnd::Refused) return RefuseChangedPackage(refused, quiet);
    if (unpacked == UnpackEnd::Cancelled) {
        Log(L"the unpacking was cancelled: nothing was installed");
        return 0;  // a person's run: the quiet run shows no Cancel
    }
    // The package runs in this program, as the installer it unpacked would
    // from the folder, with the whole command line ("/quiet", "/log=",
    // "/dir=", "/u" and the rest): the same program, without a second
    // start of it. The single file stays open, and no one can change it,
    // to the end.
    int code = 0;
    {
        const SessionEndWatch watch(folder);
        const StandIn standIn(folder.Path() + installer, folder.Path());
        answers.reset();  // the package's run answers for itself
        code = runPackage();
    }
    folder.Remove();
    Log(L"the package's installer ended with exit code " + std::to_wstring(code));
    return code;
}

}  // namespace

std::optional<int> RunSingleFileIfCarried(HINSTANCE instance, const wchar_t* arguments,
                                          const std::function<int()>& runPackage) {
    PayloadUnpacker payload(vrel::ModulePath(nullptr));
    if (!payload.Carried()) return std::nullopt;
    InitAppContext(instance, arguments);
    TrimLog();
    const QuietSwitches switches = ParseQuietSwitches(arguments != nullptr ? arguments : L"");
    // This run's lines go to the file of "/log=" too; the package's
    // installer starts that file anew and this run adds its end to it.
    // A file that cannot be written is the installer's to refuse.
    if (!switches.logFile.empty()) StartRunLog(switches.logFile);
    std::optional<LoggedAnswers> answers;
    if (switches.quiet) answers.emplace();
    Log(L"the program " + App().ProgramPath + L" carries a package");
    const int code = RunCarried(payload, answers, switches.quiet, runPackage);
    if (switches.quiet) WriteLog(L"Quiet run ends with exit code " + std::to_wstring(code) + L"\r\n");
    return code;
}

}  // namespace tarnex
