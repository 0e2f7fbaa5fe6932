// An install onto a drive that fills up: the engine tests' package with a
// third component of 6 MiB, installed into drive S:, a 4 MiB file system
// (tools/wine/small-drive). Step 3 fails on the copy, takes back what it
// wrote and leaves no record of the package; the same package then
// installs into a folder on a drive with room.
#include <windows.h>

#include <string>

#include "engine_test_support.h"
#include "services/app_context.h"
#include "services/message_box.h"
#include "vrel/bounded_copy.h"
#include "vrel/text_convert.h"

namespace enginetest {
namespace {

using namespace tarnex;

const char kBulkInf[] =
    "[Version]\r\nSignature=\"$Windows NT$\"\r\n\r\n[EngNames]\r\nBulk\r\n\r\n[NUMBERS]\r\nBulk=1\r\n[LocNames]\r\n"
    "Bulk=Bulk data\r\n[PROPERTIES]\r\nBulk=Six mebibytes\r\n[CompVersions]\r\nBulk=1.0\r\n[InstPaths]\r\n"
    "Bulk=%65600%\\Bulk\r\n[COMPLEXES]\r\nBulk=No\r\n[DEPENDENCES]\r\nBulk=0\r\n[STATES]\r\nBulk=2\r\n\r\n"
    "[Bulk - DefaultInstall]\r\nCopyFiles=Bulk.Files\r\n\r\n[Bulk - DefaultUnInstall]\r\nDelFiles=Bulk.Files\r\n\r\n"
    "[Bulk.Files]\r\nbulk.bin\r\n\r\n[DestinationDirs]\r\nBulk.Files=\"%65600%\\Bulk\\\"\r\n\r\n"
    "[SourceDisksFiles]\r\nbulk.bin=1,6291456,2021-03-04,05:06:08,\r\n";

std::wstring Env(const wchar_t* name) {
    wchar_t value[MAX_PATH] = {};
    const DWORD n = ::GetEnvironmentVariableW(name, value, MAX_PATH);
    return n > 0 && n < MAX_PATH ? value : L"";
}

// Why the small drive is missing, "" when it is there.
std::string SmallDriveUnavailable(const std::wstring& drive) {
    if (drive.empty()) return "no small drive was set up (run through CTest: fixture small_drive)";
    std::wstring state = Env(L"HOSTILE_SMALL_DRIVE_STATE");
    for (wchar_t& c : state)
        if (c == L'/') c = L'\\';
    const std::string reason = ReadBytes(L"Z:" + state + L"\\unavailable");
    if (!reason.empty()) return reason;
    return ::GetDriveTypeW((drive + L"\\").c_str()) == DRIVE_NO_ROOT_DIR ? "drive " + vrel::ToNarrow(drive) + " is missing"
                                                                        : "";
}

TEST_F(EngineCycle, InstallOntoAFullDriveFailsInStepThreeLeavesNothingAndThenInstallsElsewhere) {
    const std::wstring drive = Env(L"HOSTILE_SMALL_DRIVE");
    const std::string unavailable = SmallDriveUnavailable(drive);
    if (!unavailable.empty()) GTEST_SKIP() << "the full-disk case cannot run: " << unavailable;
    const std::wstring root = drive + L"\\";
    ULARGE_INTEGER free{};
    ASSERT_TRUE(::GetDiskFreeSpaceExW(root.c_str(), &free, nullptr, nullptr));
    ASSERT_LT(free.QuadPart, 6u * 1024 * 1024) << "the drive has room for the package";
    ASSERT_TRUE(FilesBelow(root).empty()) << "the drive is not empty";

    WriteStandardPackage();
    WriteBytes(std::wstring(kPackage) + L"user3.inf", kBulkInf);
    const std::wstring data = TestProgramFolder() + L"hostile_testdata\\";
    ASSERT_TRUE(::CopyFileW((data + L"full.cab").c_str(), (std::wstring(kPackage) + L"full.cab").c_str(), FALSE));
    EditPackageFile(L"Tarnex.inf", "user2.inf,user2.cab\r\n", "user2.inf,user2.cab\r\nuser3.inf,full.cab\r\n");
    EditPackageFile(L"Tarnex.inf", "Dir=\"C:\\VrelEngineTest\\Install\\\"", "Dir=\"" + vrel::ToNarrow(root) + "Install\\\"");

    ASSERT_TRUE(LoadPackage(AS_INST));
    Select({L"Core", L"Viewer", L"Bulk"});
    RecordingView full;
    EXPECT_EQ(RunEngine(full), EngineOutcome::CopyCancelled);
    ASSERT_EQ(messages_.Count(), 1u);
    EXPECT_EQ(messages_.Shown()[0].text, FormatText(TextId::kCabinetCannotUnpack, (std::wstring(kPackage) + L"full.cab").c_str()));
    EXPECT_EQ(messages_.Shown()[0].type & MB_ICONMASK, static_cast<UINT>(MB_ICONERROR));
    EXPECT_EQ(full.ButtonText(PageButton::Cancel), LoadText(TextId::kFinishButton));
    // What step 3 wrote is gone, the partly written file included, and the
    // package is not recorded anywhere.
    std::string left;
    for (const std::wstring& file : FilesBelow(root)) left += " " + vrel::ToNarrow(file);
    EXPECT_TRUE(left.empty()) << "left on the full drive:" << left;
    EXPECT_FALSE(Exists(root + L"Install"));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kPackageKey));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kUninstallKey));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, L"Software\\VrelEngineTest\\CoreData"));
    EXPECT_TRUE(PendingOperations().empty());
    EXPECT_EQ(App().RestartNeeded, 0);
    const std::wstring log = Log();
    EXPECT_TRUE(ContainsInOrder(log, StepLines(L"AS_INST", {1, 2})));
    EXPECT_EQ(log.find(L"Step 3 - "), std::wstring::npos);

    // The same package, its folder chosen on a drive with room.
    ASSERT_TRUE(LoadPackage(AS_INST));
    vrel::CopyToField(Description().InstallFolder, std::wstring_view(kInstall));
    Select({L"Core", L"Viewer", L"Bulk"});
    RecordingView room;
    ASSERT_EQ(RunEngine(room), EngineOutcome::Completed);
    ExpectInstaller(true);
    ExpectCore(true);
    ExpectViewer(true);
    EXPECT_TRUE(ReadBytes(std::wstring(kInstall) + L"Bulk\\bulk.bin") == ReadBytes(data + L"bulk.bin"));
    EXPECT_TRUE(FilesBelow(root).empty());
}

}  // namespace
}  // namespace enginetest
