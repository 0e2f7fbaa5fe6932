#include "single_file/single_file_run.h"

#include <string>
#include <utility>

#include "portable/quiet_switches.h"
#include "services/app_context.h"
#include "services/message_box.h"
#include "services/setup_log.h"
#include "single_file/installer_wait.h"
#include "single_file/payload_unpacker.h"
#include "single_file/unpack_folder.h"
#include "single_file/unpack_progress.h"
#include "vrel/module_path.h"
#include "vrel/program_start.h"

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

// The single file names itself to the installer it starts, which records
// where the package came from.
constexpr wchar_t kSingleFileVariable[] = L"TARNEX_SINGLE_FILE";

int RunCarried(PayloadUnpacker& payload, const wchar_t* arguments, bool quiet) {
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
    // The command line's tail goes on as it was written: the switches of
    // the quiet run, "/log=", "/dir=", "/u" and the rest are the installer's.
    const std::wstring program = folder.Path() + installer;
    const std::wstring tail = arguments != nullptr ? arguments : L"";
    ::SetEnvironmentVariableW(kSingleFileVariable, App().ProgramPath.c_str());
    const vrel::StartedProgram started =
        vrel::StartProgram(program, L"\"" + program + L"\"" + (tail.empty() ? L"" : L" " + tail), folder.Path(), 0,
                           SW_SHOWNORMAL);
    if (!started) return Failed(L"cannot start " + program + L" (error " + std::to_wstring(::GetLastError()) + L")", quiet);
    WaitForInstaller(started.process.get(), folder);
    DWORD code = static_cast<DWORD>(kQuietFailed);
    if (!started.ExitCode(code)) code = static_cast<DWORD>(kQuietFailed);
    folder.Remove();
    Log(L"the package's installer ended with exit code " + std::to_wstring(code));
    return static_cast<int>(code);
}

}  // namespace

std::optional<int> RunSingleFileIfCarried(HINSTANCE instance, const wchar_t* arguments) {
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
    const int code = RunCarried(payload, arguments, switches.quiet);
    if (switches.quiet) WriteLog(L"Quiet run ends with exit code " + std::to_wstring(code) + L"\r\n");
    return code;
}

std::optional<std::wstring> SingleFileSourceFolder() {
    if (!IsUnpackFolder(App().ProgramFolder)) return std::nullopt;
    wchar_t path[kTextField] = {};
    const DWORD length = ::GetEnvironmentVariableW(kSingleFileVariable, path, kTextField);
    if (length == 0 || length >= kTextField) return std::nullopt;
    const std::wstring file(path, length);
    const std::size_t slash = file.rfind(L'\\');
    if (slash == std::wstring::npos) return std::nullopt;
    return file.substr(0, slash + 1);
}

}  // namespace tarnex
