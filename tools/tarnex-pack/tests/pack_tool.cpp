#include "pack_tool.h"

#include <objbase.h>
#include <shobjidl.h>

#include <cstring>

#include "services/app_context.h"
#include "vrel/bounded_copy.h"
#include "vrel/com_ptr.h"
#include "vrel/text_convert.h"
#include "vrel/unique_handle.h"

namespace enginetest {

using namespace tarnex;

std::string Narrow(const std::wstring& text) { return vrel::ToNarrow(text, CP_UTF8); }


// Sources carry the time of the engine tests' cabinets (even seconds, as a
// cabinet keeps them), so HasCabinetTime tells that the time went through.
void StampCabinetTime(const std::wstring& path) {
    const FILETIME utc = testfiles::CabinetTimeUtc(2021, 3, 4, 5, 6, 8);
    vrel::unique_hfile file(::CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(file && ::SetFileTime(file.get(), &utc, nullptr, &utc)) << Narrow(path);
}

void Source(const std::wstring& relative, const std::string& bytes) {
    WriteBytes(kSource + relative, bytes);
    StampCabinetTime(kSource + relative);
}

// Zeros with a marker at both ends: fast to make, to pack and to compare.
void LargeSource(const std::wstring& relative, LONGLONG size) {
    const std::wstring path = kSource + relative;
    vrel::unique_hfile file(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    ASSERT_TRUE(file);
    DWORD written = 0;
    ::WriteFile(file.get(), "start", 5, &written, nullptr);
    LARGE_INTEGER end{};
    end.QuadPart = size - 3;
    ::SetFilePointerEx(file.get(), end, nullptr, FILE_BEGIN);
    ::WriteFile(file.get(), "end", 3, &written, nullptr);
    file.reset();
    StampCabinetTime(path);
}

bool SameContents(const std::wstring& a, const std::wstring& b) {
    vrel::unique_hfile fa(::CreateFileW(a.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    vrel::unique_hfile fb(::CreateFileW(b.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    if (!fa || !fb) return false;
    std::vector<char> ba(1 << 20), bb(1 << 20);
    for (;;) {
        DWORD na = 0, nb = 0;
        if (!::ReadFile(fa.get(), ba.data(), 1 << 20, &na, nullptr) || !::ReadFile(fb.get(), bb.data(), 1 << 20, &nb, nullptr))
            return false;
        if (na != nb || std::memcmp(ba.data(), bb.data(), na) != 0) return false;
        if (na == 0) return true;
    }
}

std::wstring ShortcutArguments(const std::wstring& linkPath) {
    vrel::ComPtr<IShellLinkW> link;
    vrel::ComPtr<IPersistFile> file;
    wchar_t arguments[MAX_PATH] = L"";
    if (FAILED(::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW, link.put_void())) ||
        FAILED(link.as(file, IID_IPersistFile)) || FAILED(file->Load(linkPath.c_str(), STGM_READ)) ||
        FAILED(link->GetArguments(arguments, MAX_PATH)))
        return L"<none>";
    return arguments;
}

std::wstring NewOutputFile() {
    wchar_t folder[MAX_PATH + 1] = L"", name[MAX_PATH + 1] = L"";
    const DWORD length = ::GetTempPathW(MAX_PATH + 1, folder);
    if (length == 0 || length > MAX_PATH || ::GetTempFileNameW(folder, L"vto", 0, name) == 0) return {};
    return name;
}

vrel::unique_handle StartTool(const std::wstring& command, const std::wstring& folder, const std::wstring& output) {
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    vrel::unique_hfile out(::CreateFileW(output.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                         &inherit, CREATE_ALWAYS, 0, nullptr));
    if (!out) return {};
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = startup.hStdError = out.get();
    PROCESS_INFORMATION process{};
    std::wstring line = command;
    if (!::CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr,
                          folder.empty() ? nullptr : folder.c_str(), &startup, &process))
        return {};
    vrel::unique_handle thread(process.hThread);
    return vrel::unique_handle(process.hProcess);
}

PackRun RunTool(const std::wstring& command, const std::wstring& folder) {
    PackRun run;
    const std::wstring log = NewOutputFile();
    const vrel::unique_handle process = StartTool(command, folder, log);
    if (process && ::WaitForSingleObject(process.get(), 300000) == WAIT_OBJECT_0)
        ::GetExitCodeProcess(process.get(), &run.exitCode);
    run.output = vrel::ToWide(ReadBytes(log), CP_UTF8);
    ::DeleteFileW(log.c_str());
    return run;
}

PackRun RunPack(const std::wstring& arguments) {
    return RunTool(L"\"" + TestProgramFolder() + L"tarnex-pack.exe\" " + arguments);
}

PackRun Pack(const std::wstring& manifestText, const std::wstring& options) {
    WriteBytes(kManifest, Narrow(manifestText));
    return RunPack(options + L"\"" + kManifest + L"\" \"" + std::wstring(kPackage).substr(0, wcslen(kPackage) - 1) + L"\"");
}

// Nothing beside the package folder but what the test put there.
std::vector<std::wstring> LeftBesideThePackage() {
    std::vector<std::wstring> left;
    for (const std::wstring& file : FilesBelow(kRoot))
        if (file.rfind(L"Source\\", 0) != 0) left.push_back(file);
    return left;
}

extern const wchar_t kPackageSection[] =
    L"; written by the test\n"
    L"[Package]\n"
    L"Name = Тест движка Vrel\n"
    L"NameUnInst = Тест движка Vrel (удаление)\n"
    L"DisplayVersion = 3.1.4\n"
    L"Publisher = Vrel \"Test\", Ltd.; 100% yours\n"
    L"Dir = C:\\VrelEngineTest\\Install\n"
    L"Key = HKLM\\Software\\VrelEngineTest\\Package\n"
    L"Installer = Tarnex.exe\n"
    L"SetNameUI = Setup.exe\n"
    L"SupportMode = No\n"
    L"Shortcut = CSIDL_PROGRAMS\\VrelEngineTest | Remove Engine Test | %65600%\\Setup.exe | %65600% | /u\n";

extern const wchar_t kComponents[] =
    L"[Component Core]\n"
    L"LocName = Основные файлы, «ядро»\n"
    L"Properties = Core, with \"quotes\"; 100% sure; a comma, and a backslash at the end\\\n"
    L"Version = 2.0\n"
    L"File = core.txt\n"
    L"File = Busvault.dll | Bin | selfreg\n"
    L"Reg = HKLM\\Software\\VrelEngineTest\\CoreData | Home | text | %65600%\\Core\n"
    L"Reg = HKLM\\Software\\VrelEngineTest\\CoreData | Count | dword | -2\n"
    L"Env = VREL_ENGINE_HOME | user | set | %65600%\\Bin, a\n"
    L"Shortcut = CSIDL_PROGRAMS\\VrelEngineTest | Core Readme | %65600%\\core.txt | %65600% | --a, \"b c\"\n"
    L"RunAfter = probe.exe exit 0 C:\\VrelEngineTest\\Markers\\pack_after | package wait exitcode\n"
    L"RemoveAfter = probe.exe exit 0 C:\\VrelEngineTest\\Markers\\pack_removed | package wait exitcode\n"
    L"\n"
    L"[Component Leaf]\n"
    L"Parent = Документы\n"
    L"Version = 1.0.1\n"
    L"File = big.bin | Data\n"
    L"\n"
    L"[Component Документы]\n"
    L"Parent = Core\n"
    L"Folder = Документы | Docs\\Справка\n"
    L"\n"
    L"[Component Extra]\n"
    L"State = 1\n"
    L"File = other\\core.txt | Extra\n"
    L"\n"
    L"[Component Settings]\n"
    L"Reg = HKCU\\Software\\VrelEngineTest\\Settings | Port | text | COM1\n";

void WriteSources() {
    ::CreateDirectoryW(kRoot, nullptr);
    ::CreateDirectoryW(kMarkers, nullptr);
    Source(L"core.txt", "core file\r\n");
    Source(L"other\\core.txt", "another core file of the same name\r\n");
    Source(L"Документы\\Отчёт.txt", "report\r\n");
    Source(L"Документы\\Глава 1\\стр 1.txt", "page one\r\n");
    Source(L"Busvault.dll", ReadBytes(TestProgramFolder() + L"Busvault.dll"));
    Source(L"probe.exe", ReadBytes(TestProgramFolder() + L"engine_helper.exe"));
}

void LogInTheWindowsFolderWithSmallSources() {
    wchar_t windows[MAX_PATH] = L"";
    ::GetWindowsDirectoryW(windows, MAX_PATH - 1);
    vrel::CopyToField(App().WindowsFolder, std::wstring_view(std::wstring(windows) + L"\\"));
    WriteSources();
    Source(L"big.bin", "not so big\r\n");
}

std::wstring Install(const wchar_t* relative) { return std::wstring(kInstall) + relative; }

// The installer of the package run as an administrator runs it.
DWORD Quiet(const std::wstring& arguments) {
    return RunTool(L"\"" + std::wstring(kPackage) + L"Tarnex.exe\" " + arguments).exitCode;
}

// The installed copy deletes itself through a batch file after it ended.
bool InstallFolderGoes() {
    return WaitUntilGone(kInstall, 30000);
}

}  // namespace enginetest
