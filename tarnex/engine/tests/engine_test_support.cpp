#include "engine_test_support.h"

#include <objbase.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <gtest/gtest.h>

#include <cstring>

#include "../../../testsupport/program_run.h"
#include "../../../testsupport/registry_values.h"
#include "description/component_catalogue.h"
#include "engine/delayed_file_ops.h"
#include "engine/installed_record.h"
#include "engine/run_mark.h"
#include "services/app_context.h"
#include "services/folder_paths.h"
#include "services/setup_log.h"
#include "sysops/replace_policy.h"
#include "ui/replace_dialog.h"
#include "vrel/bounded_copy.h"
#include "vrel/com_ptr.h"
#include "vrel/text_convert.h"
#include "vrel/unique_handle.h"

namespace enginetest {
namespace {

using namespace tarnex;

// The program context as the program run fills it, once for the test program.
class ContextEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        InitAppContext(::GetModuleHandleW(nullptr), L"");
        // A log of its own, so that tests of other programs writing or
        // trimming the prefix's log at the same time change nothing here.
        wchar_t temp[MAX_PATH];
        ::GetTempPathW(MAX_PATH, temp);
        const std::wstring folder = std::wstring(temp) + L"vrel_engine_log\\";
        ::CreateDirectoryW(folder.c_str(), nullptr);
        ::DeleteFileW((folder + L"VrelTARNEX.log").c_str());
        vrel::CopyToField(App().WindowsFolder, std::wstring_view(folder));
    }
};
const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new ContextEnvironment);

std::string Narrow(const std::wstring& text) { return vrel::ToNarrow(text); }

// INF files are written in the ANSI code page with CR LF line ends.
void WriteInf(const std::wstring& path, const std::wstring& text) {
    std::string bytes;
    for (char c : Narrow(text)) {
        if (c == '\n') bytes += '\r';
        bytes += c;
    }
    WriteBytes(path, bytes);
}

std::wstring TestData() { return TestProgramFolder() + L"engine_testdata\\"; }

void CopyInto(const std::wstring& from, const std::wstring& to) {
    ASSERT_TRUE(::CopyFileW(from.c_str(), to.c_str(), FALSE)) << Narrow(from) << " -> " << Narrow(to);
}

const wchar_t kDescription[] = LR"([Version]
Signature="$Windows NT$"

[OPTIONS]
Access=No
License=No
SupportMode=Yes
BackWindow=No
BackWindowPicture=No
Name=Тест движка Vrel
NameGen=Пакет для проверки движка
NameUnInst=Тест движка Vrel (удаление)
SetNameUI=Setup.exe
BackName=Engine
Dir="C:\VrelEngineTest\Install\"
Key=3,Software\VrelEngineTest\Package
OSVersions=1,1,1,1,1,1,1,1,1,1,1,1,1,1
OSServicePacks=0,0,0,0,0,0,0

[COMPONENTS]
%COMPONENTS%
[WINDOWS]
0=p0.bmp
1=p1.bmp
2=p2.bmp
3=p3.bmp
4=p4.bmp
5=p5.bmp
6=p6.bmp
7=p7.bmp
8=p8.bmp

[InstallProgram - DefaultInstall]
CopyFiles=Installer.Files
AddReg=Installer.Reg
Links=Installer.Links

[InstallProgram - DefaultUnInstall]
DelFiles=Installer.Files
DelReg=Installer.Reg
Links=Installer.Links

[Installer.Files]
Tarnex.exe,Setup.exe,6

[Installer.Reg]
3,Software\VrelEngineTest\Installer,Folder,0,%65600%

[Installer.Links]
CSIDL_PROGRAMS\VrelEngineTest,Remove Engine Test,%65600%\Setup.exe,%65600%,/u

[DestinationDirs]
Installer.Files="%65600%\"

[SourceDisksFiles]
Tarnex.exe=1,1000,2021-03-04,05:06:08,
)";

const wchar_t kUser1[] = LR"([Version]
Signature="$Windows NT$"

[EngNames]
Core

[NUMBERS]
Core=1
[LocNames]
Core=Основные файлы
[PROPERTIES]
Core=Ядро тестового пакета
[CompVersions]
Core=1.0
[InstPaths]
Core=%65600%\Core
[COMPLEXES]
Core=No
[DEPENDENCES]
Core=0
[STATES]
Core=2

[Core - DefaultInstall]
CopyFiles=Core.Files,Core.Data
AddReg=Core.Reg
EnvVars=Core.Env
Links=Core.Links
EXEBefore=Core.Before
EXEAfter=Core.After

[Core - DefaultUnInstall]
DelFiles=Core.Files,Core.Data
DelReg=Core.Reg,Core.Imported
EnvVars=Core.Env
Links=Core.Links
EXEAfter=Core.Removed

[Core.Files]
core.txt
settings.reg,,4
Busvault.dll,,1
evil.txt,..\evil.txt
ATL.DLL

[Core.Data]
table.bin

[Core.Reg]
3,Software\VrelEngineTest\CoreData,Mode,0,fast
3,Software\VrelEngineTest\CoreData,Count,2,1024
3,Software\VrelEngineTest\CoreData,Home,0,%65600%\Core
3,Software\VrelEngineTest\CoreData,Ignored,1,nothing

[Core.Imported]
3,Software\VrelEngineTest\Imported,,0,

[Core.Env]
VREL_ENGINE_HOME,0,1,"%65600%\Core\"
VREL_ENGINE_PATH,0,0,"%65600%\Bin;%65600%\Lib"

[Core.Links]
CSIDL_PROGRAMS\VrelEngineTest,Core Readme,%65600%\core.txt,%65600%,--show

[Core.Before]
probe.exe exit 0 C:\VrelEngineTest\Markers\core_before,probe.exe,1,1,1,0,
[Core.After]
probe.exe exit 0 C:\VrelEngineTest\Markers\core_after,probe.exe,1,1,1,0,
[Core.Removed]
probe.exe exit 0 C:\VrelEngineTest\Markers\core_removed,probe.exe,1,1,1,0,

[DestinationDirs]
Core.Files="%65600%\"
Core.Data="%65600%\Data\"

[SourceDisksFiles]
core.txt=1,26,2021-03-04,05:06:08,
settings.reg=1,120,2021-03-04,05:06:08,
Busvault.dll=1,100000,2021-03-04,05:06:08,
table.bin=1,4096,2021-03-04,05:06:08,
evil.txt=1,6,2021-03-04,05:06:08,
ATL.DLL=1,13,2021-03-04,05:06:08,
)";

const wchar_t kUser2[] = LR"([Version]
Signature="$Windows NT$"

[EngNames]
Viewer
Extra

[NUMBERS]
Viewer=1
Extra=2
[LocNames]
Viewer=Viewer
Extra=Дополнительные средства
[PROPERTIES]
Viewer=Views the data
Extra=More tools
[CompVersions]
Viewer=2.0
Extra=1.5
[InstPaths]
Viewer=%65600%\Viewer
Extra=%65600%\Extra
[COMPLEXES]
Viewer=Yes
Extra=No
[DEPENDENCES]
Viewer=0
Extra=1
[STATES]
Viewer=2
Extra=1

[Viewer - DefaultInstall]
CopyFiles=Viewer.Files
AddReg=Viewer.Reg
EnvVars=Viewer.Env
Links=Viewer.Links

[Viewer - DefaultUnInstall]
DelFiles=Viewer.Files
DelReg=Viewer.Reg
EnvVars=Viewer.Env
Links=Viewer.Links

[Extra - DefaultInstall]
CopyFiles=Extra.Files
AddReg=Extra.Reg

[Extra - DefaultUnInstall]
DelFiles=Extra.Files
DelReg=Extra.Reg

[Viewer.Files]
viewer.txt
readme.txt,,6

[Viewer.Reg]
2,Software\VrelEngineTest\Viewer,Shown,0,yes

[Viewer.Env]
VREL_ENGINE_VIEWER,1,1,%65600%\Viewer

[Viewer.Links]
CSIDL_PROGRAMS\VrelEngineTest\Viewer,Viewer,%65600%\Viewer\viewer.txt,%65600%\Viewer,

[Extra.Files]
extra.txt

[Extra.Reg]
3,Software\VrelEngineTest\Extra,Level,2,3

[DestinationDirs]
Viewer.Files="%65600%\Viewer\"
Extra.Files="%65600%\Extra\"

[SourceDisksFiles]
viewer.txt=1,8,2021-03-04,05:06:08,
readme.txt=1,9,2021-03-04,05:06:08,
extra.txt=1,7,2021-03-04,05:06:08,
)";

std::wstring Replace(std::wstring text, const std::wstring& what, const std::wstring& with) {
    for (std::size_t at = text.find(what); at != std::wstring::npos; at = text.find(what, at + with.size()))
        text.replace(at, what.size(), with);
    return text;
}

void WriteCommonFiles() {
    ::SHCreateDirectoryExW(nullptr, kPackage, nullptr);
    ::SHCreateDirectoryExW(nullptr, kMarkers, nullptr);
    CopyInto(TestProgramFolder() + L"engine_helper.exe", std::wstring(kPackage) + L"Tarnex.exe");
    CopyInto(TestProgramFolder() + L"engine_helper.exe", std::wstring(kPackage) + L"probe.exe");
}

void DeleteBusvaultRegistration() {
    std::wstring clsid;
    if (ReadText(HKEY_CLASSES_ROOT, L"Vrel.BusvaultStore\\CLSID", L"", clsid) && !clsid.empty())
        ::RegDeleteTreeW(HKEY_CLASSES_ROOT, (L"CLSID\\" + clsid).c_str());
    ::RegDeleteTreeW(HKEY_CLASSES_ROOT, L"Vrel.BusvaultStore");
    ::RegDeleteTreeW(HKEY_CLASSES_ROOT, L"Vrel.BusvaultStore.1");
}

}  // namespace


std::vector<std::wstring> FilesBelow(const std::wstring& folder) {
    std::vector<std::wstring> files;
    std::wstring base = folder;
    if (!base.empty() && base.back() != L'\\') base += L'\\';
    WIN32_FIND_DATAW data;
    vrel::unique_hfind find(::FindFirstFileW((base + L"*").c_str(), &data));
    if (!find) return files;
    do {
        const std::wstring name = data.cFileName;
        if (name == L"." || name == L"..") continue;
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            for (const std::wstring& inner : FilesBelow(base + name)) files.push_back(name + L"\\" + inner);
        } else {
            files.push_back(name);
        }
    } while (::FindNextFileW(find.get(), &data));
    return files;
}

bool HasCabinetTime(const std::wstring& path) {
    const FILETIME expected = testfiles::CabinetTimeUtc(2021, 3, 4, 5, 6, 8);
    vrel::unique_hfile file(
        ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr));
    FILETIME created{}, accessed{}, written{};
    if (!file || !::GetFileTime(file.get(), &created, &accessed, &written)) return false;
    return ::CompareFileTime(&created, &expected) == 0 && ::CompareFileTime(&written, &expected) == 0;
}

bool KeyExists(HKEY root, const std::wstring& path) { return testsupport::RegistryKeyExists(root, path); }

bool ReadText(HKEY root, const std::wstring& path, const wchar_t* name, std::wstring& text, DWORD* bytes) {
    const testsupport::RegistryValue value = testsupport::ReadRegistryValue(root, path, name);
    if (!value.present || value.type != REG_SZ) return false;
    if (bytes) *bytes = static_cast<DWORD>(value.bytes.size());
    text = testsupport::TextOf(value);
    return true;
}

std::wstring Text(HKEY root, const std::wstring& path, const wchar_t* name) {
    return testsupport::ReadRegistryText(root, path, name).value_or(L"<none>");
}

bool ReadDword(HKEY root, const std::wstring& path, const wchar_t* name, DWORD& value) {
    DWORD size = sizeof value, type = 0;
    return ::RegGetValueW(root, path.c_str(), name, RRF_RT_REG_DWORD, &type, &value, &size) == ERROR_SUCCESS;
}

std::vector<std::wstring> PendingOperations() {
    std::vector<std::wstring> entries;
    const testsupport::RegistryValue value = testsupport::ReadRegistryValue(
        HKEY_LOCAL_MACHINE, L"SYSTEM\\CurrentControlSet\\Control\\Session Manager", L"PendingFileRenameOperations");
    const std::wstring data(reinterpret_cast<const wchar_t*>(value.bytes.data()), value.bytes.size() / sizeof(wchar_t));
    // Pairs of strings; the trailing zero of the list ends it.
    std::size_t start = 0;
    while (start < data.size()) {
        const std::size_t end = data.find(L'\0', start);
        if (end == std::wstring::npos) break;
        entries.push_back(data.substr(start, end - start));
        start = end + 1;
    }
    while (entries.size() % 2 != 0 && !entries.empty() && entries.back().empty()) entries.pop_back();
    return entries;
}

std::wstring ProgramsFolder() {
    wchar_t path[MAX_PATH] = L"";
    ::SHGetSpecialFolderPathW(nullptr, path, CSIDL_PROGRAMS, FALSE);
    std::wstring folder = path;
    if (!folder.empty() && folder.back() != L'\\') folder += L'\\';
    return folder;
}

std::wstring ShortcutTarget(const std::wstring& linkPath) {
    vrel::ComPtr<IShellLinkW> link;
    if (FAILED(::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW, link.put_void())))
        return L"";
    vrel::ComPtr<IPersistFile> file;
    if (FAILED(link.as(file, IID_IPersistFile)) || FAILED(file->Load(linkPath.c_str(), STGM_READ))) return L"";
    wchar_t target[MAX_PATH] = L"";
    if (FAILED(link->GetPath(target, MAX_PATH, nullptr, SLGP_RAWPATH))) return L"";
    return target;
}

bool BusvaultCreatable() {
    return testsupport::RunProgram(TestProgramFolder() + L"engine_helper.exe", L"create Vrel.BusvaultStore", 60000) ==
           0u;
}

std::wstring BusvaultServerPath() {
    std::wstring clsid;
    if (!ReadText(HKEY_CLASSES_ROOT, L"Vrel.BusvaultStore\\CLSID", L"", clsid)) return L"";
    std::wstring path;
    return ReadText(HKEY_CLASSES_ROOT, L"CLSID\\" + clsid + L"\\InprocServer32", L"", path) ? path : L"";
}

std::size_t LogSize() {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!::GetFileAttributesExW(LogPath().c_str(), GetFileExInfoStandard, &data)) return 0;
    return data.nFileSizeLow;
}

std::wstring LogSince(std::size_t offset) {
    const std::string bytes = ReadBytes(LogPath());
    if (bytes.empty() || offset >= bytes.size()) return L"";
    std::wstring text((bytes.size() - offset) / 2, L'\0');
    std::memcpy(text.data(), bytes.data() + offset, text.size() * 2);
    return text;
}

bool ContainsInOrder(const std::wstring& log, const std::vector<std::wstring>& lines) {
    std::size_t from = 0;
    for (const std::wstring& line : lines) {
        const std::size_t at = log.find(line, from);
        if (at == std::wstring::npos) {
            ADD_FAILURE() << "missing or out of order in the log: " << Narrow(line);
            return false;
        }
        from = at + line.size();
    }
    return true;
}

void WriteStandardPackage(const PackageVariant& variant) {
    WriteCommonFiles();
    const std::wstring data = TestData();
    WriteInf(std::wstring(kPackage) + L"Tarnex.inf",
             Replace(kDescription, L"%COMPONENTS%", L"user1.inf,user1.cab\nuser2.inf,user2.cab\n"));
    WriteInf(std::wstring(kPackage) + L"user1.inf", kUser1);
    WriteInf(std::wstring(kPackage) + L"user2.inf", kUser2);
    CopyInto(data + L"user1.cab", std::wstring(kPackage) + L"user1.cab");
    CopyInto(data + L"user2.cab", std::wstring(kPackage) + L"user2.cab");
    if (variant.truncatedCabinet) {
        const std::string cabinet = ReadBytes(data + L"user2.cab");
        WriteBytes(std::wstring(kPackage) + L"user2.cab", cabinet.substr(0, cabinet.size() / 2));
    }
    if (!variant.missingLooseFile) CopyInto(data + L"loose\\readme.txt", std::wstring(kPackage) + L"readme.txt");
}

void EditPackageFile(const wchar_t* name, const std::string& from, const std::string& to) {
    const std::wstring path = std::wstring(kPackage) + name;
    std::string text = ReadBytes(path);
    const std::size_t at = text.find(from);
    ASSERT_NE(at, std::string::npos) << from;
    text.replace(at, from.size(), to);
    WriteBytes(path, text);
}

void WriteLargePackage() {
    WriteCommonFiles();
    std::wstring components;
    for (int c = 1; c <= 10; ++c) {
        wchar_t nn[8];
        swprintf(nn, 8, L"%02d", c);
        const std::wstring name = std::wstring(L"Big") + nn;
        components += L"big" + std::wstring(nn) + L".inf,big" + nn + L".cab\n";
        std::wstring inf = L"[Version]\nSignature=\"$Windows NT$\"\n\n[EngNames]\n" + name + L"\n[NUMBERS]\n" + name +
                           L"=1\n[LocNames]\n" + name + L"=" + name + L"\n[PROPERTIES]\n" + name + L"=files\n" +
                           L"[CompVersions]\n" + name + L"=1.0\n[InstPaths]\n" + name + L"=%65600%\\" + name +
                           L"\n[COMPLEXES]\n" + name + L"=No\n[DEPENDENCES]\n" + name + L"=0\n[STATES]\n" + name +
                           L"=2\n\n[" + name + L" - DefaultInstall]\nCopyFiles=" + name + L".Files\n\n[" + name +
                           L" - DefaultUnInstall]\nDelFiles=" + name + L".Files\n\n[" + name + L".Files]\n";
        std::wstring sources = L"[SourceDisksFiles]\n";
        for (int f = 1; f <= 100; ++f) {
            wchar_t file[32];
            swprintf(file, 32, L"c%02d_f%03d.txt", c, f);
            inf += std::wstring(file) + L"\n";
            sources += std::wstring(file) + L"=1,26,2021-03-04,05:06:08,\n";
        }
        inf += L"\n[DestinationDirs]\n" + name + L".Files=\"%65600%\\" + name + L"\\\"\n\n" + sources;
        WriteInf(std::wstring(kPackage) + L"big" + nn + L".inf", inf);
        CopyInto(TestData() + L"big" + nn + L".cab", std::wstring(kPackage) + L"big" + nn + L".cab");
    }
    WriteInf(std::wstring(kPackage) + L"Tarnex.inf", Replace(kDescription, L"%COMPONENTS%", components));
}

void CleanSlate() {
    // The program run makes the package folder current before it removes
    // the install folder (FinishRun); a folder that is
    // current cannot be removed.
    ::SetCurrentDirectoryW(TestProgramFolder().c_str());
    RemoveTree(kRoot);
    ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, kTestKey);
    ::RegDeleteTreeW(HKEY_CURRENT_USER, kTestKey);
    ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, kUninstallKey);
    ::RegDeleteKeyValueW(HKEY_CURRENT_USER, L"Environment", L"VREL_ENGINE_HOME");
    ::RegDeleteKeyValueW(HKEY_CURRENT_USER, L"Environment", L"VREL_ENGINE_PATH");
    ::RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, kSystemEnvKey, L"VREL_ENGINE_VIEWER");
    ::RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, L"SYSTEM\\CurrentControlSet\\Control\\Session Manager",
                         L"PendingFileRenameOperations");
    RemoveTree(ProgramsFolder() + L"VrelEngineTest");
    DeleteBusvaultRegistration();
    StickyReplaceAnswer() = 1;  // as at the start of a program
}

::testing::AssertionResult LoadPackage(DWORD mode, bool continueAfterRestart) {
    AppContext& app = App();
    app.Mode = mode;
    app.ContinueAfterRestart = continueAfterRestart ? 1 : 0;
    app.RestartNeeded = 0;
    app.RestartRequestedByProgram = 0;
    app.Nt5Family = 0;
    vrel::CopyToField(app.ProgramFolder, std::wstring_view(kPackage));
    app.ProgramPath = std::wstring(kInstall) + L"Setup.exe";  // the installed copy a removal deletes
    vrel::CopyToField(app.ProgramName, std::wstring_view(L"Tarnex"));
    SetupDescription& d = Description();
    d = SetupDescription{};
    if (!LoadSetupDescription(d)) return ::testing::AssertionFailure() << "the description did not load";
    if (!LoadComponentCatalogue(d)) return ::testing::AssertionFailure() << "the catalogue did not load";
    DetectInstalledComponents(d);
    std::wstring previous;
    if (ReadPackagePathInst(d, previous)) vrel::CopyToField(d.PreviousInstallFolder, std::wstring_view(previous));
    return ::testing::AssertionSuccess();
}

ComponentRecord* Component(const wchar_t* engName) {
    for (ComponentRecord& c : Description().ComponentList)
        if (std::wstring(c.EngName) == engName) return &c;
    return nullptr;
}

void Select(std::initializer_list<const wchar_t*> engNames) {
    SetupDescription& d = Description();
    bool anyFiles = false;
    for (ComponentRecord& c : d.ComponentList) c.Selected = 0;
    for (const wchar_t* name : engNames) {
        ComponentRecord* c = Component(name);
        ASSERT_NE(c, nullptr) << Narrow(name);
        c->Selected = 1;
        anyFiles = anyFiles || !c->Files.empty();
    }
    if (anyFiles) d.ComponentList.front().Selected = 1;
}

void SelectInstalled() {
    for (ComponentRecord& c : Description().ComponentList) c.Selected = c.Installed;
}

void RecordingView::Touch(bool pageSetUp) {
    if (::GetCurrentThreadId() != creator_) otherSeen_ = true;
    else if (!pageSetUp || otherSeen_) foreign_ = false;
}
void RecordingView::SetOverallText(const std::wstring& text) {
    {
        std::lock_guard<std::mutex> hold(lock_);
        Touch();
        overall_.push_back(text);
    }
    if (onOverallText) onOverallText(text);
}
void RecordingView::SetCurrentText(const std::wstring& text) {
    std::lock_guard<std::mutex> hold(lock_);
    Touch();
    current_.push_back(text);
}
void RecordingView::SetCurrentRange(int count) {
    std::lock_guard<std::mutex> hold(lock_);
    Touch();
    currentRange_ = count;
    currentPos_ = 0;
}
void RecordingView::AdvanceCurrent() {
    std::lock_guard<std::mutex> hold(lock_);
    Touch();
    if (++currentPos_ > currentRange_) overrun_ = true;
}
void RecordingView::SetOverallRange(int count) {
    std::lock_guard<std::mutex> hold(lock_);
    Touch();
    overallRange_ = count;
    overallPos_ = 0;
}
void RecordingView::AdvanceOverall() {
    std::lock_guard<std::mutex> hold(lock_);
    Touch();
    ++overallPos_;
}
void RecordingView::EnableButton(PageButton button, bool enabled) {
    {
        std::lock_guard<std::mutex> hold(lock_);
        Touch(true);
        enabled_[button] = enabled;
    }
    if (onEnable) onEnable(button, enabled);
}
void RecordingView::SetDefaultButton(PageButton button, bool isDefault) {
    std::lock_guard<std::mutex> hold(lock_);
    Touch(true);
    default_[button] = isDefault;
}
void RecordingView::FocusButton(PageButton) {
    std::lock_guard<std::mutex> hold(lock_);
    Touch(true);
}
void RecordingView::SetButtonText(PageButton button, const std::wstring& text) {
    std::lock_guard<std::mutex> hold(lock_);
    Touch(true);
    text_[button] = text;
}
void RecordingView::ShowFinalText(const std::wstring& text) {
    std::lock_guard<std::mutex> hold(lock_);
    Touch();
    final_ = text;
}
std::vector<std::wstring> RecordingView::CurrentTexts() const {
    std::lock_guard<std::mutex> hold(lock_);
    return current_;
}
std::vector<std::wstring> RecordingView::OverallTexts() const {
    std::lock_guard<std::mutex> hold(lock_);
    return overall_;
}
std::wstring RecordingView::FinalText() const {
    std::lock_guard<std::mutex> hold(lock_);
    return final_;
}
int RecordingView::OverallPosition() const {
    std::lock_guard<std::mutex> hold(lock_);
    return overallPos_;
}
int RecordingView::OverallRange() const {
    std::lock_guard<std::mutex> hold(lock_);
    return overallRange_;
}
bool RecordingView::BarOverrun() const {
    std::lock_guard<std::mutex> hold(lock_);
    return overrun_;
}
bool RecordingView::Enabled(PageButton button) const {
    std::lock_guard<std::mutex> hold(lock_);
    const auto it = enabled_.find(button);
    return it != enabled_.end() && it->second;
}
bool RecordingView::IsDefault(PageButton button) const {
    std::lock_guard<std::mutex> hold(lock_);
    const auto it = default_.find(button);
    return it != default_.end() && it->second;
}
std::wstring RecordingView::ButtonText(PageButton button) const {
    std::lock_guard<std::mutex> hold(lock_);
    const auto it = text_.find(button);
    return it == text_.end() ? L"" : it->second;
}
bool RecordingView::CalledFromOtherThread() const {
    std::lock_guard<std::mutex> hold(lock_);
    return foreign_ && otherSeen_;
}


EngineOutcome RunEngine(RecordingView& view, const std::function<void(InstallEngine&)>& during) {
    InstallEngine engine(Description(), view);
    engine.OnPageShown();
    if (during) during(engine);
    EXPECT_TRUE(engine.WaitForWorker(600000)) << "the worker did not end";
    return engine.Outcome();
}

OwnerWindow::OwnerWindow()
    : window_(::CreateWindowExW(0, L"STATIC", L"progress page", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr,
                                nullptr)) {}

OwnerWindow::~OwnerWindow() {
    if (window_) ::DestroyWindow(window_);
}

FileHolder::FileHolder(const std::wstring& path) : marker_(path + L".held") {
    ::DeleteFileW(marker_.c_str());
    std::wstring command = L"\"" + TestProgramFolder() + L"engine_helper.exe\" hold \"" + path + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    if (!::CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process_))
        return;
    for (int i = 0; i < 200 && !holding_; ++i) {
        if (Exists(marker_)) holding_ = true;
        else if (::WaitForSingleObject(process_.hProcess, 50) == WAIT_OBJECT_0) break;
    }
}

FileHolder::~FileHolder() { Release(); }

void FileHolder::Release() {
    if (process_.hProcess) {
        ::TerminateProcess(process_.hProcess, 0);
        ::WaitForSingleObject(process_.hProcess, 10000);
        ::CloseHandle(process_.hProcess);
        ::CloseHandle(process_.hThread);
        process_ = PROCESS_INFORMATION{};
    }
    ::DeleteFileW(marker_.c_str());
    holding_ = false;
}

bool PerformRestartOperations(const wchar_t* how) {
    wchar_t system[MAX_PATH];
    ::GetSystemDirectoryW(system, MAX_PATH);
    return testsupport::RunProgram(std::wstring(system) + L"\\wineboot.exe", how, 120000).has_value();
}

}  // namespace enginetest
