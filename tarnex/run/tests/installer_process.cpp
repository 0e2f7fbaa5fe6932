#include "installer_process.h"

#include "run_test_support.h"

namespace tarnex::testing {
namespace ud = tarnex::uidriver;

std::wstring WindowsLog() {
    wchar_t folder[MAX_PATH] = {};
    ::GetWindowsDirectoryW(folder, MAX_PATH);
    return std::wstring(folder) + L"\\VrelTARNEX.log";
}

Installer::Installer(const std::wstring& folder, const std::wstring& programFile, const std::wstring& arguments) {
    path = folder + programFile;
    ::CopyFileW((testfiles::TestProgramFolder() + L"Tarnex.exe").c_str(), path.c_str(), FALSE);
    std::wstring command = L"\"" + path + L"\"" + (arguments.empty() ? L"" : L" " + arguments);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    if (::CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(), &startup,
                         &info)) {
        process_.reset(info.hProcess);
        vrel::unique_handle thread(info.hThread);
        pid = info.dwProcessId;
    }
}

Installer::~Installer() {
    if (process_ && ::WaitForSingleObject(process_.get(), 0) != WAIT_OBJECT_0) {
        ::TerminateProcess(process_.get(), 99);
        ::WaitForSingleObject(process_.get(), 5000);
    }
}

ud::BoxContent Installer::Box(DWORD timeoutMs) const {
    // A message box is the dialog with a message text: the wizard's frame and
    // pages are dialogs of the process too, and may come first.
    HWND box = ud::WaitForDialogWith(pid, ud::kMessageTextId, timeoutMs);
    return box ? ud::ReadBox(box) : ud::BoxContent{};
}

long Installer::Exit(std::string* stuckAt, DWORD timeoutMs) const {
    const long code = ud::WaitForExit(process_.get(), timeoutMs);
    if (code == -1 && stuckAt) {
        ud::WindowQuery query;
        query.ProcessId = pid;
        for (HWND w : ud::FindWindows(query)) {
            const ud::BoxContent b = ud::ReadBox(w);
            *stuckAt += std::string(b.Text.begin(), b.Text.end());
        }
    }
    return code;
}

}  // namespace tarnex::testing
