// The package's seal, from the outside: a package that tarnex-pack wrote
// installs and goes away as before; changed in any file its installer
// reads, it is refused before anything on the system changes, quietly with
// 1620 and through the wizard with a message naming the file, and the log
// says what was expected and what was found. tarnex-pack --verify tells
// the same.
#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "engine_test_support.h"
#include "pack_tool.h"
#include "portable/package_seal.h"
#include "vrel/file_digest.h"
#include "vrel/text_convert.h"
#include "wizard_run.h"

namespace enginetest {
namespace {

// A 1 x 1 bitmap: the welcome page's picture.
std::string Bitmap() {
    std::string bmp = "BM";
    const unsigned char rest[] = {58, 0, 0, 0, 0, 0, 0, 0, 54, 0, 0, 0, 40, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 24, 0,
                                  0, 0, 0, 0, 4, 0, 0, 0, 0x13, 0x0B, 0, 0, 0x13, 0x0B, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                                  0x20, 0x40, 0x80, 0};
    bmp.append(reinterpret_cast<const char*>(rest), sizeof rest);
    return bmp;
}

std::wstring Digest(const std::wstring& path) {
    std::uint64_t size = 0;
    tarnex::Sha256 digest{};
    if (!vrel::DigestFile(path, size, digest)) return L"<unreadable>";
    return vrel::ToWide(tarnex::HexDigest(digest), CP_UTF8);
}

void CopyFlat(const std::wstring& from, const std::wstring& to) {
    RemoveTree(to);
    ASSERT_TRUE(::CreateDirectoryW(to.c_str(), nullptr));
    for (const std::wstring& file : FilesBelow(from))
        ASSERT_TRUE(::CopyFileW((from + file).c_str(), (to + file).c_str(), FALSE)) << Narrow(file);
}

// The package folder without its last backslash, which would escape the quote.
const std::wstring kPackageFolder = L"\"" + std::wstring(kPackage).substr(0, std::wstring(kPackage).size() - 1) + L"\"";
const std::wstring kKept = std::wstring(kRoot) + L"Kept\\";
const wchar_t kBefore[] = L"RunBefore = probe.exe exit 0 C:\\VrelEngineTest\\Markers\\seal_before | package wait exitcode\n";

std::wstring SealedManifest() {
    std::wstring package = kPackageSection;
    package += L"LicenseFile = licence.txt\nPagePicture0 = welcome.bmp\n";
    std::wstring components = kComponents;
    const std::wstring core = L"[Component Core]\n";
    components.insert(components.find(core) + core.size(), kBefore);
    return package + components;
}

// One byte in the middle of the file, its size kept.
void FlipMiddleByte(const std::wstring& path) {
    std::string bytes = ReadBytes(path);
    bytes[bytes.size() / 2] ^= 0x20;
    WriteBytes(path, bytes);
}

class SealedPackage : public EngineCycle {
protected:
    void SetUp() override {
        EngineCycle::SetUp();
        LogInTheWindowsFolderWithSmallSources();
        logStart_ = LogSize();
        Source(L"licence.txt", "Лицензия\r\n");
        Source(L"welcome.bmp", Bitmap());
    }

    const std::wstring folder_ = L"\"/dir=" + std::wstring(kInstall) + L"\"";

    // The kept package with one change, run quietly: refused with 1620,
    // nothing changed, and the log names the file, the digest the seal holds
    // and the one found.
    void ExpectRefused(const char* what, const std::wstring& file, const std::function<void()>& change,
                       const std::wstring& program = L"Tarnex.exe") {
        SCOPED_TRACE(what);
        CopyFlat(kKept, kPackage);
        const std::wstring expected = Digest(kKept + file);
        change();
        const std::wstring found = Exists(std::wstring(kPackage) + file) ? Digest(std::wstring(kPackage) + file) : L"missing";
        logStart_ = LogSize();
        EXPECT_EQ(1620u, RunTool(L"\"" + std::wstring(kPackage) + program + L"\" /quiet /acceptos " + folder_).exitCode);
        const std::wstring log = Log();
        EXPECT_NE(std::wstring::npos, log.find(L"Package seal: " + file + L": expected SHA-256 " + expected)) << Narrow(log);
        EXPECT_NE(std::wstring::npos, log.find(L", found " + found)) << Narrow(log);
        EXPECT_NE(std::wstring::npos, log.find(L"файл " + file + L" не совпадает с печатью пакета")) << Narrow(log);
        EXPECT_FALSE(Exists(std::wstring(kMarkers) + L"seal_before")) << "a helper program ran";
        ExpectNothingLeft();
    }
};

TEST_F(SealedPackage, ChangedInAnyFileItsInstallerReadsItIsRefusedBeforeAnythingChanges) {
    ASSERT_EQ(0u, Pack(SealedManifest()).exitCode);
    CopyFlat(kPackage, kKept);
    PackRun verify = RunPack(L"--verify " + kPackageFolder);
    EXPECT_EQ(0u, verify.exitCode) << Narrow(verify.output);
    EXPECT_NE(std::wstring::npos, verify.output.find(L"Tarnex.exe: not signed")) << Narrow(verify.output);
    EXPECT_NE(std::wstring::npos, verify.output.find(L"10 of 10 sealed files hold")) << Narrow(verify.output);

    const auto edit = [](const std::wstring& name, std::string from, std::string to) {
        const std::wstring path = std::wstring(kPackage) + name;
        std::string bytes = ReadBytes(path);
        // The INF files are UTF-16: ASCII texts are looked for as such.
        if (bytes.rfind("\xFF\xFE", 0) == 0) {
            from = testfiles::Utf16File(vrel::ToWide(from, CP_UTF8)).substr(2);
            to = testfiles::Utf16File(vrel::ToWide(to, CP_UTF8)).substr(2);
        }
        const std::size_t at = bytes.find(from);
        ASSERT_NE(std::string::npos, at) << from;
        WriteBytes(path, bytes.replace(at, from.size(), to));
    };
    const auto append = [](const std::wstring& name) {
        const std::wstring path = std::wstring(kPackage) + name;
        WriteBytes(path, ReadBytes(path) + "x");
    };
    ExpectRefused("a description field", L"Tarnex.inf", [&] { edit(L"Tarnex.inf", "VrelEngineTest\\Install", "VrelEngineTest\\Instalx"); });
    ExpectRefused("a user INF text", L"user1.inf", [&] { edit(L"user1.inf", "Busvault.dll", "Busvaulx.dll"); });
    ExpectRefused("a swapped cabinet", L"user1.cab", [&] {
        ::CopyFileW((std::wstring(kPackage) + L"user2.cab").c_str(), (std::wstring(kPackage) + L"user1.cab").c_str(), FALSE);
    });
    // Of its sealed size, the cabinet is hashed before step 2 starts the
    // helper program (step 3 would read it after).
    ExpectRefused("a byte of a cabinet changed", L"user1.cab", [&] { FlipMiddleByte(std::wstring(kPackage) + L"user1.cab"); });
    ExpectRefused("a missing cabinet", L"user2.cab", [&] { ::DeleteFileW((std::wstring(kPackage) + L"user2.cab").c_str()); });
    ExpectRefused("a changed picture", L"welcome.bmp", [&] { append(L"welcome.bmp"); });
    ExpectRefused("a changed licence", L"license.txt", [&] { append(L"license.txt"); });
    ExpectRefused("a changed helper program", L"probe.exe", [&] { append(L"probe.exe"); });
    {
        // Renamed, the installer would read another description, which the
        // seal does not name.
        SCOPED_TRACE("a renamed program");
        CopyFlat(kKept, kPackage);
        ::CopyFileW((std::wstring(kPackage) + L"Tarnex.exe").c_str(), (std::wstring(kPackage) + L"Other.exe").c_str(), FALSE);
        WriteBytes(std::wstring(kPackage) + L"Other.inf", ReadBytes(std::wstring(kPackage) + L"Tarnex.inf"));
        logStart_ = LogSize();
        EXPECT_EQ(1620u, RunTool(L"\"" + std::wstring(kPackage) + L"Other.exe\" /quiet /acceptos " + folder_).exitCode);
        EXPECT_NE(std::wstring::npos, Log().find(L"Package seal: the program reads the description Other.inf, its seal names Tarnex.inf"))
            << Narrow(Log());
        ExpectNothingLeft();
    }

    // --verify names every difference.
    CopyFlat(kKept, kPackage);
    append(L"user1.inf");
    ::DeleteFileW((std::wstring(kPackage) + L"user2.cab").c_str());
    verify = RunPack(L"--verify " + kPackageFolder);
    EXPECT_EQ(1u, verify.exitCode);
    EXPECT_TRUE(ContainsInOrder(verify.output, {L"user1.inf: expected SHA-256 " + Digest(kKept + L"user1.inf") + L" (",
                                                L"user2.cab: expected SHA-256 " + Digest(kKept + L"user2.cab") + L", found missing",
                                                L"8 of 10 sealed files hold", L"the package differs from its seal"}))
        << Narrow(verify.output);

    // An installer without a seal (an older tarnex-pack's) installs as before.
    CopyFlat(kKept, kPackage);
    WriteBytes(std::wstring(kPackage) + L"Tarnex.exe", ReadBytes(TestProgramFolder() + L"Tarnex.exe"));
    logStart_ = LogSize();
    ASSERT_EQ(0u, Quiet(L"/quiet /acceptos " + folder_));
    EXPECT_NE(std::wstring::npos, Log().find(L"Package seal: the package is not sealed: its files are not checked")) << Narrow(Log());
    ASSERT_EQ(0u, RunTool(Text(HKEY_LOCAL_MACHINE, kUninstallKey, L"QuietUninstallString")).exitCode);
    EXPECT_TRUE(InstallFolderGoes());

    // The untouched package installs, and its installed copy, which checks
    // the INF copies beside it, removes it.
    CopyFlat(kKept, kPackage);
    RemoveTree(kMarkers);
    ::CreateDirectoryW(kMarkers, nullptr);
    logStart_ = LogSize();
    ASSERT_EQ(0u, Quiet(L"/quiet /acceptos " + folder_));
    EXPECT_TRUE(ContainsInOrder(Log(), {L"Package seal: sealed, 10 files, the program is not signed", L"Step 15 - successful"}))
        << Narrow(Log());
    EXPECT_TRUE(Exists(std::wstring(kMarkers) + L"seal_before"));
    logStart_ = LogSize();
    ASSERT_EQ(0u, RunTool(Text(HKEY_LOCAL_MACHINE, kUninstallKey, L"QuietUninstallString")).exitCode);
    EXPECT_NE(std::wstring::npos, Log().find(L"Package seal: sealed, 10 files")) << Narrow(Log());
    EXPECT_TRUE(InstallFolderGoes());
    ExpectNothingLeft();
}

// Without a program before the copy, the cabinets are read once: step 3
// hashes what it decodes, and a cabinet that differs ends the copy as a
// stopped one, its temporary files taken away.
TEST_F(SealedPackage, ACabinetIsCheckedInTheOnePassOfTheCopyAlsoWhenAMaintenanceRunReadsIt) {
    std::wstring package = kPackageSection;
    package.replace(package.find(L"SupportMode = No"), 16, L"SupportMode = Yes");
    package += L"LicenseFile = licence.txt\n";
    ASSERT_EQ(0u, Pack(package + kComponents).exitCode);
    CopyFlat(kPackage, kKept);
    ExpectRefused("a byte of a cabinet changed", L"user1.cab", [&] { FlipMiddleByte(std::wstring(kPackage) + L"user1.cab"); });
    EXPECT_TRUE(ContainsInOrder(Log(), {L"Package seal: the cabinets are checked as the copy reads them", L"Step 2 - ",
                                        L"Package seal: user1.cab: expected SHA-256"}))
        << Narrow(Log());
    EXPECT_EQ(std::wstring::npos, Log().find(L"Step 3 - ")) << Narrow(Log());

    // Installed from the untouched package, then the package's own program
    // run again (its maintenance) over a changed cabinet: refused, and the
    // installation stays as it was.
    CopyFlat(kKept, kPackage);
    ASSERT_EQ(0u, Quiet(L"/quiet /acceptos " + folder_));
    const std::wstring installed = std::wstring(kInstall) + L"core.txt";
    const std::string before = ReadBytes(installed);
    FlipMiddleByte(std::wstring(kPackage) + L"user1.cab");
    logStart_ = LogSize();
    EXPECT_EQ(1620u, Quiet(L"/quiet /acceptos"));
    EXPECT_NE(std::wstring::npos, Log().find(L"Package seal: user1.cab: expected SHA-256 " + Digest(kKept + L"user1.cab") +
                                             L" (")) << Narrow(Log());
    EXPECT_EQ(before, ReadBytes(installed));
    for (const std::wstring& file : FilesBelow(kInstall))
        EXPECT_EQ(std::wstring::npos, file.find(L"vrel_")) << Narrow(file) << ": a temporary copy is left";
    ASSERT_EQ(0u, RunTool(Text(HKEY_LOCAL_MACHINE, kUninstallKey, L"QuietUninstallString")).exitCode);
    EXPECT_TRUE(InstallFolderGoes());
    ExpectNothingLeft();
}

TEST_F(SealedPackage, ASignedInstallerWithAByteOfItsSealChangedIsRefusedAndTheWizardNamesTheFile) {
    ::SetEnvironmentVariableW(L"TARNEX_SIGN_PASSWORD", L"vrel-test");
    const PackRun run = Pack(SealedManifest(), L"--sign \"" + TestProgramFolder() + L"signing_testdata\\signer.pfx\" ");
    ::SetEnvironmentVariableW(L"TARNEX_SIGN_PASSWORD", nullptr);
    ASSERT_EQ(0u, run.exitCode) << Narrow(run.output);
    CopyFlat(kPackage, kKept);
    const PackRun verify = RunPack(L"--verify " + kPackageFolder);
    EXPECT_EQ(0u, verify.exitCode) << Narrow(verify.output);
    EXPECT_NE(std::wstring::npos, verify.output.find(L"Tarnex.exe: signed by \"")) << Narrow(verify.output);

    // One byte of the seal's text: the seal still reads, the signature no
    // longer holds.
    std::string program = ReadBytes(std::wstring(kPackage) + L"Tarnex.exe");
    const std::size_t at = program.find("\tuser1.inf\r\n");
    ASSERT_NE(std::string::npos, at);
    program[at + 1] = 'U';
    WriteBytes(std::wstring(kPackage) + L"Tarnex.exe", program);
    logStart_ = LogSize();
    EXPECT_EQ(1620u, Quiet(L"/quiet /acceptos " + folder_));
    EXPECT_NE(std::wstring::npos, Log().find(L"does not match its bytes (0x80096010), signed by \"")) << Narrow(Log());
    EXPECT_FALSE(Exists(std::wstring(kMarkers) + L"seal_before"));
    ExpectNothingLeft();
    const PackRun changed = RunPack(L"--verify " + kPackageFolder);
    EXPECT_EQ(1u, changed.exitCode);
    EXPECT_NE(std::wstring::npos, changed.output.find(L"Tarnex.exe: the signature does not match the program's bytes (0x80096010)"))
        << Narrow(changed.output);

    // The wizard: the message box names the file, and OK ends the run.
    CopyFlat(kKept, kPackage);
    WriteBytes(std::wstring(kPackage) + L"license.txt", "another licence\r\n");
    tarnex::uidriver::WizardRun wizard(std::wstring(kPackage) + L"Tarnex.exe", L"");
    const tarnex::uidriver::BoxContent box = wizard.Box();
    EXPECT_NE(std::wstring::npos, box.Text.find(L"Пакет установки поврежден или изменен: файл license.txt не совпадает"))
        << Narrow(box.Text);
    wizard.Answer(box, IDOK);
    EXPECT_EQ(wizard.Exit(), 0);
    ExpectNothingLeft();

    // Untouched, the signed package installs, the log names its signer.
    CopyFlat(kKept, kPackage);
    logStart_ = LogSize();
    ASSERT_EQ(0u, Quiet(L"/quiet /acceptos " + folder_));
    EXPECT_NE(std::wstring::npos, Log().find(L"Package seal: the program's signature matches its bytes, signed by \""))
        << Narrow(Log());
    ASSERT_EQ(0u, RunTool(Text(HKEY_LOCAL_MACHINE, kUninstallKey, L"QuietUninstallString")).exitCode);
    EXPECT_TRUE(InstallFolderGoes());
}

}  // namespace
}  // namespace enginetest
