// The system after a cycle of the standard package, looked at from outside.
#include <objbase.h>

#include "engine_test_support.h"
#include "services/message_box.h"
#include "services/setup_log.h"
#include "vrel/text_convert.h"
#include "vrel/unique_handle.h"

namespace enginetest {
namespace {

std::wstring Install(const wchar_t* relative) { return std::wstring(kInstall) + relative; }
std::wstring Pkg(const wchar_t* relative) { return std::wstring(kPackageKey) + L"\\" + relative; }

void ExpectFile(const wchar_t* relative, bool present) {
    const std::wstring path = Install(relative);
    EXPECT_EQ(Exists(path), present) << vrel::ToNarrow(path);
}

void ExpectCabinetFile(const wchar_t* relative, const std::string& contents) {
    const std::wstring path = Install(relative);
    EXPECT_EQ(ReadBytes(path), contents) << vrel::ToNarrow(path);
    EXPECT_TRUE(HasCabinetTime(path)) << vrel::ToNarrow(path) << " does not carry the cabinet's time";
}

// The five values of a component's record, REG_SZ with their terminator.
void ExpectRecord(const wchar_t* key, const wchar_t* path, const wchar_t* name, const wchar_t* properties,
                  const wchar_t* complex, const wchar_t* number) {
    const std::wstring record = Pkg(key);
    const std::pair<const wchar_t*, const wchar_t*> values[] = {
        {L"PathInst", path}, {L"Name", name}, {L"Properties", properties}, {L"Complex", complex}, {L"GenNum", number}};
    for (const auto& [value, expected] : values) {
        std::wstring text;
        DWORD bytes = 0;
        ASSERT_TRUE(ReadText(HKEY_LOCAL_MACHINE, record, value, text, &bytes)) << vrel::ToNarrow(record + L" " + value);
        EXPECT_EQ(text, expected) << vrel::ToNarrow(value);
        EXPECT_EQ(bytes, (text.size() + 1) * sizeof(wchar_t)) << vrel::ToNarrow(value) << " without its terminator";
    }
}

}  // namespace

void EngineCycle::SetUp() {
    ::CoInitialize(nullptr);
    CleanSlate();
    // A program's start deletes the log once it is past 1 MiB, and a case's
    // offset into it would then point past its end. A case writes far less
    // than half of that (the cut walk writes megabytes, but reads only its
    // runs' own logs), so a log past half its limit is deleted before the
    // offset is taken and no program of the case trims it.
    if (LogSize() > 0x80000) ::DeleteFileW(tarnex::LogPath().c_str());
    logStart_ = LogSize();
}

void EngineCycle::TearDown() {
    CleanSlate();
    ::CoUninitialize();
}

std::vector<std::wstring> StepLines(const wchar_t* modeName, std::initializer_list<int> steps) {
    static const wchar_t* const kNames[] = {
        L"Replace variable %65600% on path install",
        L"Launch EXE and DLL files before install",
        L"Decompressing and coping files",
        L"Deregistration of files, that were installed before",
        L"Deleting files, that were installed before",
        L"Deleting from registry component's data, that list in INF-files",
        L"Deleting of links",
        L"Deleting of environmental variables",
        L"Renaming of files",
        L"Write to registry component's data from INF and REG files",
        L"Create links",
        L"Create environmental variables",
        L"Registration of files",
        L"Launch EXE and DLL files after install",
        L"Installer data",
    };
    std::vector<std::wstring> lines{std::wstring(L"]: Install State = ") + modeName + L"\r\n\r\n"};
    for (int step : steps)
        lines.push_back(L"]: Step " + std::to_wstring(step) + L" - successful (" + kNames[step - 1] + L")\r\n\r\n");
    return lines;
}

void ExpectInstaller(bool present) {
    ExpectFile(L"Setup.exe", present);
    EXPECT_EQ(KeyExists(HKEY_LOCAL_MACHINE, kPackageKey), present);
    EXPECT_EQ(KeyExists(HKEY_LOCAL_MACHINE, kUninstallKey), present);
    EXPECT_EQ(KeyExists(HKEY_LOCAL_MACHINE, L"Software\\VrelEngineTest\\Installer"), present);
    const std::wstring link = ProgramsFolder() + L"VrelEngineTest\\Remove Engine Test.lnk";
    EXPECT_EQ(Exists(link), present);
    if (!present) return;
    EXPECT_EQ(Text(HKEY_LOCAL_MACHINE, kPackageKey, L"PathInst"), kInstall);
    EXPECT_EQ(Text(HKEY_LOCAL_MACHINE, kPackageKey, L"Name"), L"Тест движка Vrel");
    EXPECT_EQ(Text(HKEY_LOCAL_MACHINE, kPackageKey, L"Access"), L"<none>");  // the Access option is off
    EXPECT_EQ(Text(HKEY_LOCAL_MACHINE, kUninstallKey, L"DisplayName"), L"Тест движка Vrel (удаление)");
    EXPECT_EQ(Text(HKEY_LOCAL_MACHINE, kUninstallKey, L"UninstallString"),
              L"\"C:\\VrelEngineTest\\Install\\Setup.exe\" /u");
    EXPECT_EQ(Text(HKEY_LOCAL_MACHINE, L"Software\\VrelEngineTest\\Installer", L"Folder"), L"C:\\VrelEngineTest\\Install");
    EXPECT_EQ(ReadBytes(Install(L"Setup.exe")), ReadBytes(std::wstring(kPackage) + L"Tarnex.exe"));
    EXPECT_EQ(ShortcutTarget(link), L"C:\\VrelEngineTest\\Install\\Setup.exe");
}

void ExpectCore(bool present) {
    for (const wchar_t* file :
         {L"core.txt", L"settings.reg", L"Busvault.dll", L"Data\\table.bin", L"user1.inf", L"ATL.DLL"})
        ExpectFile(file, present);
    EXPECT_EQ(KeyExists(HKEY_LOCAL_MACHINE, Pkg(L"Core")), present);
    EXPECT_EQ(KeyExists(HKEY_LOCAL_MACHINE, L"Software\\VrelEngineTest\\CoreData"), present);
    EXPECT_EQ(KeyExists(HKEY_LOCAL_MACHINE, L"Software\\VrelEngineTest\\Imported"), present);
    const std::wstring link = ProgramsFolder() + L"VrelEngineTest\\Core Readme.lnk";
    EXPECT_EQ(Exists(link), present);
    EXPECT_EQ(BusvaultCreatable(), present);
    // A name that would leave its folder is never written, whatever happens.
    EXPECT_FALSE(Exists(L"C:\\VrelEngineTest\\evil.txt"));
    EXPECT_FALSE(Exists(L"C:\\VrelEngineTest\\vrel_evil.txt"));
    EXPECT_FALSE(Exists(L"C:\\VrelEngineTest\\Install\\vrel_..\\evil.txt"));
    if (!present) {
        const std::wstring home = Text(HKEY_CURRENT_USER, L"Environment", L"VREL_ENGINE_HOME");
        EXPECT_TRUE(home == L"<none>" || home.empty()) << vrel::ToNarrow(home);
        const std::wstring path = Text(HKEY_CURRENT_USER, L"Environment", L"VREL_ENGINE_PATH");
        EXPECT_TRUE(path == L"<none>" || path.empty()) << vrel::ToNarrow(path);
        return;
    }
    ExpectCabinetFile(L"core.txt", "core file, first edition\r\n");
    ExpectCabinetFile(L"Data\\table.bin", std::string(4096, 'T'));
    ExpectCabinetFile(L"Busvault.dll", ReadBytes(TestProgramFolder() + L"Busvault.dll"));
    ExpectRecord(L"Core\\1.0", L"C:\\VrelEngineTest\\Install\\Core", L"Основные файлы", L"Ядро тестового пакета", L"No",
                 L"1");
    EXPECT_EQ(Text(HKEY_LOCAL_MACHINE, L"Software\\VrelEngineTest\\CoreData", L"Mode"), L"fast");
    EXPECT_EQ(Text(HKEY_LOCAL_MACHINE, L"Software\\VrelEngineTest\\CoreData", L"Home"), L"C:\\VrelEngineTest\\Install\\Core");
    DWORD count = 0;
    EXPECT_TRUE(ReadDword(HKEY_LOCAL_MACHINE, L"Software\\VrelEngineTest\\CoreData", L"Count", count));
    EXPECT_EQ(count, 1024u);
    DWORD ignored = 0;
    EXPECT_FALSE(ReadDword(HKEY_LOCAL_MACHINE, L"Software\\VrelEngineTest\\CoreData", L"Ignored", ignored));
    EXPECT_EQ(Text(HKEY_LOCAL_MACHINE, L"Software\\VrelEngineTest\\CoreData", L"Ignored"), L"<none>");
    // The REG file of the component.
    EXPECT_EQ(Text(HKEY_LOCAL_MACHINE, L"Software\\VrelEngineTest\\Imported", L"Text"), L"from reg");
    DWORD number = 0;
    EXPECT_TRUE(ReadDword(HKEY_LOCAL_MACHINE, L"Software\\VrelEngineTest\\Imported", L"Number", number));
    EXPECT_EQ(number, 42u);
    EXPECT_EQ(Text(HKEY_CURRENT_USER, L"Environment", L"VREL_ENGINE_HOME"), L"C:\\VrelEngineTest\\Install\\Core");
    EXPECT_EQ(Text(HKEY_CURRENT_USER, L"Environment", L"VREL_ENGINE_PATH"),
              L"c:\\vrelenginetest\\install\\bin;c:\\vrelenginetest\\install\\lib");
    EXPECT_EQ(ShortcutTarget(link), L"C:\\VrelEngineTest\\Install\\core.txt");
    EXPECT_EQ(BusvaultServerPath(), L"C:\\VrelEngineTest\\Install\\Busvault.dll");
}

void ExpectViewer(bool present) {
    ExpectFile(L"Viewer\\viewer.txt", present);
    ExpectFile(L"Viewer\\readme.txt", present);
    EXPECT_EQ(KeyExists(HKEY_LOCAL_MACHINE, Pkg(L"Viewer")), present);
    EXPECT_EQ(KeyExists(HKEY_CURRENT_USER, L"Software\\VrelEngineTest\\Viewer"), present);
    const std::wstring link = ProgramsFolder() + L"VrelEngineTest\\Viewer\\Viewer.lnk";
    EXPECT_EQ(Exists(link), present);
    if (!present) {
        EXPECT_FALSE(Exists(ProgramsFolder() + L"VrelEngineTest\\Viewer"));
        const std::wstring value = Text(HKEY_LOCAL_MACHINE, kSystemEnvKey, L"VREL_ENGINE_VIEWER");
        EXPECT_TRUE(value == L"<none>" || value.empty()) << vrel::ToNarrow(value);
        return;
    }
    ExpectCabinetFile(L"Viewer\\viewer.txt", "viewer\r\n");
    EXPECT_EQ(ReadBytes(Install(L"Viewer\\readme.txt")), "read me\r\n");
    ExpectRecord(L"Viewer\\2.0", L"C:\\VrelEngineTest\\Install\\Viewer", L"Viewer", L"Views the data", L"Yes", L"2");
    EXPECT_EQ(Text(HKEY_CURRENT_USER, L"Software\\VrelEngineTest\\Viewer", L"Shown"), L"yes");
    EXPECT_EQ(Text(HKEY_LOCAL_MACHINE, kSystemEnvKey, L"VREL_ENGINE_VIEWER"), L"C:\\VrelEngineTest\\Install\\Viewer");
    EXPECT_EQ(ShortcutTarget(link), L"C:\\VrelEngineTest\\Install\\Viewer\\viewer.txt");
}

void ExpectExtra(bool present) {
    ExpectFile(L"Extra\\extra.txt", present);
    EXPECT_EQ(KeyExists(HKEY_LOCAL_MACHINE, Pkg(L"Extra")), present);
    EXPECT_EQ(KeyExists(HKEY_LOCAL_MACHINE, L"Software\\VrelEngineTest\\Extra"), present);
    if (!present) return;
    ExpectCabinetFile(L"Extra\\extra.txt", "extra\r\n");
    ExpectRecord(L"Extra\\1.5", L"C:\\VrelEngineTest\\Install\\Extra", L"Дополнительные средства", L"More tools", L"No", L"3");
    DWORD level = 0;
    EXPECT_TRUE(ReadDword(HKEY_LOCAL_MACHINE, L"Software\\VrelEngineTest\\Extra", L"Level", level));
    EXPECT_EQ(level, 3u);
}

void RemoveEverything() {
    ASSERT_TRUE(LoadPackage(tarnex::AS_SD));
    SelectInstalled();
    RecordingView removal;
    ASSERT_EQ(RunEngine(removal), tarnex::EngineOutcome::Completed);
    tarnex::FinishRun(1);
    ExpectNothingLeft();
}

void ExpectNothingLeft() {
    ExpectInstaller(false);
    ExpectCore(false);
    ExpectViewer(false);
    ExpectExtra(false);
    std::string left;
    for (const std::wstring& file : FilesBelow(kInstall)) left += " " + vrel::ToNarrow(file);
    EXPECT_FALSE(Exists(kInstall)) << "the install folder is still there, holding:" << left;
    EXPECT_FALSE(Exists(ProgramsFolder() + L"VrelEngineTest")) << "the shortcut folder is still there";
    EXPECT_EQ(BusvaultServerPath(), L"");
    // The package made keys only below its test key; none is left there.
    vrel::unique_hkey key;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kTestKey, 0, KEY_READ, key.put()) == ERROR_SUCCESS) {
        DWORD subkeys = 0, values = 0;
        ::RegQueryInfoKeyW(key.get(), nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values, nullptr, nullptr,
                           nullptr, nullptr);
        EXPECT_EQ(subkeys, 0u);
        EXPECT_EQ(values, 0u);
    }
}

}  // namespace enginetest
