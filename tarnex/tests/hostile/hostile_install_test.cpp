// Names that would leave the install folder or name a device, and paths
// past the system's limit, carried through the install engine with the
// engine tests' package: every file ends inside its folder or is refused in
// the log, a removal takes everything back, nothing lands anywhere else and
// nothing waits for a restart.
#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "engine_test_support.h"
#include "services/app_context.h"
#include "services/message_box.h"
#include "vrel/text_convert.h"

namespace enginetest {
namespace {

using namespace tarnex;

// Loose files of Core's extra section: the package names them so.
struct HostileFile {
    const char* source;
    const char* target;  // as written in the INF line
    const wchar_t* lands;  // the file it becomes inside Install\Hostile, or nullptr: refused
};
const HostileFile kHostileFiles[] = {
    {"h-con.src", "CON", nullptr},
    {"h-nul.src", "nul.txt", nullptr},
    {"h-com.src", "COM1", nullptr},
    {"h-lpt.src", "LPT1.log", nullptr},
    {"h-aux.src", "Aux", nullptr},
    {"h-up.src", "..\\up.txt", nullptr},
    {"h-deep.src", "sub\\..\\..\\deep.txt", nullptr},
    {"h-climb.src", "...\\climb.txt", nullptr},
    {"CON", "fine.txt", nullptr},  // a device as the file to copy
    // Windows drops trailing dots and blanks: the files stay inside.
    {"h-dots.src", "dots...", L"dots"},
    {"h-blank.src", "\"blank \"", L"blank"},
};

void AddHostileSection() {
    std::string lines, sources;
    for (const HostileFile& f : kHostileFiles) {
        lines += std::string(f.source) + "," + f.target + ",6\r\n";
        sources += std::string(f.source) + "=1,8,2021-03-04,05:06:08,\r\n";
        if (std::string(f.source).find(".src") != std::string::npos)
            WriteBytes(std::wstring(kPackage) + vrel::ToWide(f.source), "hostile\r\n");
    }
    EditPackageFile(L"user1.inf", "CopyFiles=Core.Files,Core.Data\r\n", "CopyFiles=Core.Files,Core.Data,Core.Hostile\r\n");
    EditPackageFile(L"user1.inf", "DelFiles=Core.Files,Core.Data\r\n", "DelFiles=Core.Files,Core.Data,Core.Hostile\r\n");
    EditPackageFile(L"user1.inf", "[Core.Data]\r\n", "[Core.Hostile]\r\n" + lines + "\r\n[Core.Data]\r\n");
    EditPackageFile(L"user1.inf", "Core.Data=\"%65600%\\Data\\\"\r\n",
                    "Core.Data=\"%65600%\\Data\\\"\r\nCore.Hostile=\"%65600%\\Hostile\\\"\r\n");
    EditPackageFile(L"user1.inf", "[SourceDisksFiles]\r\n", "[SourceDisksFiles]\r\n" + sources);
    // Shortcuts named after a device, and one whose folder climbs out.
    EditPackageFile(L"user1.inf", "[Core.Links]\r\n",
                    "[Core.Links]\r\nCSIDL_PROGRAMS\\VrelEngineTest,NUL,%65600%\\core.txt,%65600%,\r\n"
                    "CSIDL_PROGRAMS\\VrelEngineTest\\..\\..\\..\\Escape,Escape,%65600%\\core.txt,%65600%,\r\n");
}

// Everything below C:\VrelEngineTest outside its three folders.
std::vector<std::wstring> StrayFiles() {
    std::vector<std::wstring> stray;
    for (const std::wstring& file : FilesBelow(kRoot))
        if (file.rfind(L"Install\\", 0) != 0 && file.rfind(L"Package\\", 0) != 0 && file.rfind(L"Markers\\", 0) != 0)
            stray.push_back(file);
    return stray;
}

TEST_F(EngineCycle, HostileNamesStayInsideTheInstallFolderOrAreRefused) {
    WriteStandardPackage();
    AddHostileSection();
    ASSERT_TRUE(LoadPackage(AS_INST));
    Select({L"Core", L"Viewer"});
    RecordingView view;
    ASSERT_EQ(RunEngine(view), EngineOutcome::Completed);
    EXPECT_EQ(messages_.Count(), 0u);

    ExpectInstaller(true);
    ExpectCore(true);
    ExpectViewer(true);
    ExpectExtra(false);  // not chosen: nothing of it is recorded or written
    std::vector<std::wstring> landed, found = FilesBelow(std::wstring(kInstall) + L"Hostile");
    for (const HostileFile& f : kHostileFiles)
        if (f.lands) landed.push_back(f.lands);
    std::sort(landed.begin(), landed.end());
    std::sort(found.begin(), found.end());
    EXPECT_EQ(found, landed);
    EXPECT_TRUE(StrayFiles().empty()) << vrel::ToNarrow(StrayFiles().front());
    for (const wchar_t* outside : {L"C:\\up.txt", L"C:\\deep.txt", L"C:\\climb.txt"}) EXPECT_FALSE(Exists(outside));
    // The device answers for any "NUL.lnk": look at what the folder holds.
    for (const std::wstring& link : FilesBelow(ProgramsFolder() + L"VrelEngineTest"))
        EXPECT_NE(link, L"NUL.lnk");
    wchar_t escape[MAX_PATH] = {};
    ::GetFullPathNameW((ProgramsFolder() + L"VrelEngineTest\\..\\..\\..\\Escape").c_str(), MAX_PATH, escape, nullptr);
    EXPECT_FALSE(Exists(escape)) << vrel::ToNarrow(escape);
    EXPECT_TRUE(PendingOperations().empty());
    EXPECT_EQ(App().RestartNeeded, 0);

    const std::wstring log = Log();
    for (const wchar_t* refused :
         {L"Refused target file outside its folder: CON", L"Refused target file outside its folder: nul.txt",
          L"Refused target file outside its folder: COM1", L"Refused target file outside its folder: LPT1.log",
          L"Refused target file outside its folder: Aux", L"Refused target file outside its folder: ..\\up.txt",
          L"Refused target file outside its folder: sub\\..\\..\\deep.txt",
          L"Refused target file outside its folder: ...\\climb.txt", L"Refused source file outside its folder: CON",
          L"Refused shortcut outside its folder: \\VrelEngineTestNUL",
          L"Refused shortcut outside its folder: \\VrelEngineTest\\..\\..\\..\\EscapeEscape"})
        EXPECT_NE(log.find(refused), std::wstring::npos) << vrel::ToNarrow(refused);

    RemoveEverything();
    EXPECT_TRUE(StrayFiles().empty());
    EXPECT_TRUE(PendingOperations().empty());
}

// A file whose path in the install folder is longer than the system's
// limit: Wine creates it, and the removal deletes it. (Windows refuses to
// create it: step 3 ends there with kFileCannotCopy and takes back what it wrote.)
TEST_F(EngineCycle, PathsPastTheSystemLimit) {
    WriteStandardPackage();
    const std::string name = std::string(240, 'L') + ".txt";
    WriteBytes(std::wstring(kPackage) + L"long.src", "long\r\n");
    for (const char* key : {"CopyFiles", "DelFiles"})
        EditPackageFile(L"user1.inf", std::string(key) + "=Core.Files,Core.Data\r\n",
                        std::string(key) + "=Core.Files,Core.Data,Core.Long\r\n");
    EditPackageFile(L"user1.inf", "[Core.Data]\r\n", "[Core.Long]\r\nlong.src," + name + ",6\r\n\r\n[Core.Data]\r\n");
    EditPackageFile(L"user1.inf", "Core.Data=\"%65600%\\Data\\\"\r\n",
                    "Core.Data=\"%65600%\\Data\\\"\r\nCore.Long=\"%65600%\\Long\\\"\r\n");
    EditPackageFile(L"user1.inf", "[SourceDisksFiles]\r\n", "[SourceDisksFiles]\r\nlong.src=1,6,2021-03-04,05:06:08,\r\n");
    ASSERT_TRUE(LoadPackage(AS_INST));
    Select({L"Core", L"Viewer"});
    RecordingView view;
    const std::wstring longPath = std::wstring(kInstall) + L"Long\\" + vrel::ToWide(name);
    ASSERT_GT(longPath.size(), static_cast<std::size_t>(MAX_PATH));
    ASSERT_EQ(RunEngine(view), EngineOutcome::Completed);
    EXPECT_EQ(messages_.Count(), 0u);
    EXPECT_EQ(ReadBytes(longPath), "long\r\n");
    RemoveEverything();
    EXPECT_TRUE(StrayFiles().empty());
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kPackageKey));
}

// A cabinet or INF file named after a device is not read: on Windows that
// would read the serial port (and wait for it); the cabinet cannot be
// extracted and step 3 ends with the text kCabinetCannotUnpack.
TEST_F(EngineCycle, CabinetNamedAfterADeviceIsNotRead) {
    WriteStandardPackage();
    EditPackageFile(L"Tarnex.inf", "user2.inf,user2.cab", "user2.inf,COM1");
    ASSERT_TRUE(LoadPackage(AS_INST));
    Select({L"Core", L"Viewer"});
    RecordingView view;
    EXPECT_EQ(RunEngine(view), EngineOutcome::CopyCancelled);
    ASSERT_EQ(messages_.Count(), 1u);
    EXPECT_EQ(messages_.Shown()[0].text, FormatText(TextId::kCabinetCannotUnpack, (std::wstring(kPackage) + L"COM1").c_str()));
    EXPECT_FALSE(Exists(kInstall));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kPackageKey));
    EXPECT_TRUE(StrayFiles().empty());
}

// A package key written as a bare root names the hive itself: the run's mark
// is never written there, and a removal never empties the hive for it.
TEST_F(EngineCycle, APackageKeyThatIsABareRootNeverHoldsTheMarkOfARun) {
    WriteStandardPackage();
    EditPackageFile(L"Tarnex.inf", "Key=3,Software\\VrelEngineTest\\Package", "Key=3");
    ASSERT_TRUE(LoadPackage(AS_INST));
    Select({L"Core"});
    RecordingView install;
    EXPECT_EQ(RunEngine(install), EngineOutcome::Completed);
    EXPECT_NE(Log().find(L"The mark of this run cannot be written into the package key"), std::wstring::npos);
    EXPECT_EQ(Text(HKEY_LOCAL_MACHINE, L"", L"RunInProgress"), L"<none>");
    App().Mode = AS_SD;
    RecordingView removal;
    EXPECT_EQ(RunEngine(removal), EngineOutcome::Completed);
    FinishRun(1);
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall"));
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, L"SYSTEM\\CurrentControlSet\\Control"));
    RemoveTree(kInstall);
}

}  // namespace
}  // namespace enginetest
