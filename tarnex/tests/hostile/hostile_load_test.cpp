// Hostile descriptions and user INF files given to Tarnex.exe itself: lines
// of a mebibyte, 100,000 sections, 10,000 components, components under
// themselves, numbers past 2^31 and 2^32, names of devices and of the folder
// above, paths past 260 characters, bytes the ANSI code page does not have.
// Each run ends, within its time, either with the message the program gives
// for a package it cannot read or at the wizard; it writes nothing into the
// install folder or the package's registry key.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "../../../testsupport/registry_values.h"
#include "installer_process.h"
#include "ui/wizard_ids.h"
#include "wizard_run.h"
#include "run_test_support.h"
#include "vrel/text_convert.h"

namespace tarnex {
namespace {

using namespace tarnex::testing;
namespace ud = tarnex::uidriver;

const std::wstring kCannotRead = L"Не удается прочитать служебную информацию из setup.inf. Работа приложения будет завершена.";
const std::wstring kCannotReadUser = L"Не удается прочитать служебную информацию из пользовательских INF-файлов. Работа "
                                     L"приложения будет завершена.";
std::wstring CannotOpen(const std::wstring& path) {
    return L"Не удается открыть INF-файл " + path + L".\nРабота приложения будет завершена.";
}

// How a run ended: the message boxes it showed (each answered with OK, a
// question with No), its exit code, and the mode the wizard was called in.
struct Ending {
    std::vector<std::wstring> messages;
    long exitCode = -1;
    std::wstring wizardMode;
    std::wstring log;  // what the run wrote into the setup log
    double seconds = 0;
};

void Replace(std::string& text, const std::string& from, const std::string& to) {
    const std::size_t at = text.find(from);
    ASSERT_NE(at, std::string::npos) << from;
    text.replace(at, from.size(), to);
}

class HostilePackage : public ::testing::Test {
protected:
    void SetUp() override {
        if (!::GetEnvironmentVariableW(L"DISPLAY", nullptr, 0)) GTEST_SKIP() << "message boxes need a display";
        const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
        unique_ = std::string(info->name()) + "_" + std::to_string(::GetCurrentProcessId());
        package_.NameGen = "Product " + unique_;
        package_.NameUnInst = "Setup of " + unique_;
        package_.KeyPath = "Software\\VrelTests\\" + unique_;
        folder_ = MakeScratchFolder(L"hostile");
        package_.Dir = vrel::ToNarrow(folder_) + "Install\\";
        DeletePackageKey(package_.KeyPath);
    }
    void TearDown() override {
        if (folder_.empty()) return;
        DeletePackageKey(package_.KeyPath);
        RemoveTree(folder_);
    }

    std::wstring File(const wchar_t* name) const { return folder_ + name; }
    std::string Read(const wchar_t* name) const { return ReadBytes(File(name)); }
    void Write(const wchar_t* name, const std::string& bytes) const { WriteBytes(File(name), bytes); }

    // Runs the program in the package folder to its end. A run that reaches
    // the wizard is taken one page past the welcome page, which tells the run
    // mode, and is then left by Cancel and Yes.
    Ending Run(DWORD timeoutMs = 120000) {
        Ending ending;
        const auto started = std::chrono::steady_clock::now();
        const std::size_t logStart = ReadLog(WindowsLog()).size();
        Installer run(folder_, L"Tarnex.exe", L"");
        EXPECT_TRUE(run.started());
        const auto deadline = started + std::chrono::milliseconds(timeoutMs);
        while (std::chrono::steady_clock::now() < deadline) {
            ending.exitCode = run.Exit(nullptr, 100);
            if (ending.exitCode != -1) break;
            if (ending.wizardMode.empty() && ud::WaitForDialogWith(run.pid, IDC_NEXT, 0) != nullptr) {
                ending.wizardMode = ModeAfterWelcome(run.pid);
                continue;
            }
            const ud::BoxContent box = run.Box(100);
            if (!box.Window) continue;
            ending.messages.push_back(box.Text);
            const bool question = std::find(box.ButtonIds.begin(), box.ButtonIds.end(), IDNO) != box.ButtonIds.end();
            ud::PressButton(box.Window, question ? IDNO : IDOK);
            for (int i = 0; i < 100 && ::IsWindow(box.Window); ++i) ::Sleep(20);
        }
        EXPECT_NE(ending.exitCode, -1) << "the run did not end within " << timeoutMs / 1000 << " s";
        ending.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
        // A log past its limit was emptied when the run started.
        const std::wstring log = ReadLog(WindowsLog());
        ending.log = log.size() >= logStart ? log.substr(logStart) : log;
        std::printf("[ ENDING   ] %s: exit %ld after %.1f s, %zu message(s), wizard %s\n", unique_.c_str(),
                    ending.exitCode, ending.seconds, ending.messages.size(),
                    ending.wizardMode.empty() ? "not shown" : vrel::ToNarrow(ending.wizardMode).c_str());
        return ending;
    }

    // The run mode as the wizard shows it.
    static std::wstring ModeAfterWelcome(DWORD processId) {
        ud::WizardRun wizard(processId);
        const ud::Page reached = wizard.PageAfterWelcome();
        if (reached == ud::Page::None) return L"?";
        wizard.Cancel();
        const ud::BoxContent question = wizard.Box();
        if (question.Window) wizard.Answer(question, IDYES);
        wizard.Exit();  // the driver would end a run still going when it goes
        switch (reached) {
        case ud::Page::Licence:
        case ud::Page::Folder:
        case ud::Page::Access: return L"AS_INST";
        case ud::Page::Mode: return L"maintenance";
        case ud::Page::Summary: return L"removal";
        default: return Widen(ud::PageName(reached));
        }
    }

    static void ExpectInstallMode(const Ending& ending) {
        EXPECT_EQ(ending.wizardMode, L"AS_INST");
    }

    // Nothing was installed or recorded: no install folder, no package key.
    void ExpectNothingWritten() const {
        EXPECT_FALSE(Exists(Widen(package_.Dir)));
        EXPECT_FALSE(testsupport::RegistryKeyExists(HKEY_CURRENT_USER, Widen(package_.KeyPath)));
    }

    std::string unique_;
    TestPackage package_;
    std::wstring folder_;
};

// Full sizes (100,000 sections, 10,000 components) when HOSTILE_FULL_SIZE is
// set, as scripts/long-run does; a twentieth and a tenth of them otherwise.
// Wine's INF parser takes time that grows with the square of the sections
// (20,000 sections: 52 s to open), so the full case is for the long run.
bool FullSize() { return ::GetEnvironmentVariableW(L"HOSTILE_FULL_SIZE", nullptr, 0) != 0; }

TEST_F(HostilePackage, LinesOfOneMebibyte) {
    const std::string mebibyte(1 << 20, 'M');
    {
        // A shown text is cut to its field and the run goes on; a folder cannot be cut.
        package_.Components = {{"Core"}, {"Other"}};
        WritePackage(folder_, L"Tarnex", package_);
        std::string description = Read(L"Tarnex.inf");
        Replace(description, "BackName=\"Test\"", "BackName=\"" + mebibyte + "\"");
        Write(L"Tarnex.inf", description);
        std::string user = Read(L"user.inf");
        Replace(user, "\"About Core\"", mebibyte);
        user += "\r\n[Core - DefaultInstall]\r\nAddReg=Core.Reg\r\n\r\n[Core.Reg]\r\n2,Software\\X,V,0," + mebibyte +
                "\r\n2,Software\\X,W,0,short\r\n";
        Write(L"user.inf", user);
        const Ending ending = Run();
        EXPECT_EQ(ending.exitCode, 0);
        EXPECT_EQ(ending.messages, std::vector<std::wstring>());
        ExpectInstallMode(ending);
        const std::wstring& log = ending.log;
        EXPECT_NE(log.find(L"Section \"Core.Reg\": line \"2,Software\\X,V,0,MMMM"), std::wstring::npos);
        EXPECT_NE(log.find(L"\" skipped: field too long\r\n"), std::wstring::npos);
    }
    {
        WritePackage(folder_, L"Tarnex", package_);
        std::string description = Read(L"Tarnex.inf");
        Replace(description, "Dir=\"", "Dir=\"" + mebibyte);
        Write(L"Tarnex.inf", description);
        const Ending ending = Run();
        EXPECT_EQ(ending.exitCode, 0);
        EXPECT_EQ(ending.messages, std::vector<std::wstring>{kCannotRead});
    }
    ExpectNothingWritten();
}

TEST_F(HostilePackage, ManySections) {
    const int sections = FullSize() ? 100000 : 5000;
    WritePackage(folder_, L"Tarnex", package_);
    std::string user = Read(L"user.inf");
    user += "\r\n[Core - DefaultInstall]\r\nAddReg=";
    for (int i = 0; i < 1000; ++i) user += (i ? "," : "") + std::string("R") + std::to_string(i * (sections / 1000));
    user += "\r\n";
    for (int i = 0; i < sections; ++i)
        user += "[R" + std::to_string(i) + "]\r\n2,Software\\VrelTests\\" + unique_ + "\\R,V" + std::to_string(i) + ",0,x\r\n";
    Write(L"user.inf", user);
    const Ending ending = Run(FullSize() ? 3600000 : 300000);
    std::printf("[ SIZE     ] %d sections, 1,000 of them named by a component: %.1f s\n", sections, ending.seconds);
    RecordProperty("sections", sections);
    RecordProperty("seconds", static_cast<int>(ending.seconds));
    EXPECT_EQ(ending.exitCode, 0);
    EXPECT_EQ(ending.messages, std::vector<std::wstring>());
    ExpectInstallMode(ending);
    ExpectNothingWritten();
}

TEST_F(HostilePackage, ManyComponents) {
    const int count = FullSize() ? 10000 : 1000;
    package_.Components.clear();
    for (int i = 0; i < count; ++i) package_.Components.push_back({"C" + std::to_string(i)});
    WritePackage(folder_, L"Tarnex", package_);
    const Ending ending = Run(FullSize() ? 3600000 : 300000);
    std::printf("[ SIZE     ] %d components: %.1f s\n", count, ending.seconds);
    RecordProperty("components", count);
    RecordProperty("seconds", static_cast<int>(ending.seconds));
    EXPECT_EQ(ending.exitCode, 0);
    EXPECT_EQ(ending.messages, std::vector<std::wstring>());
    ExpectInstallMode(ending);
    ExpectNothingWritten();
}

TEST_F(HostilePackage, ComponentsUnderThemselvesAndInACircle) {
    package_.Components = {{"Alpha"}, {"Beta"}, {"Gamma"}};
    WritePackage(folder_, L"Tarnex", package_);
    std::string user = Read(L"user.inf");
    Replace(user, "Alpha=0", "Alpha=1");    // under itself
    Replace(user, "Beta=0", "Beta=3,2,1");  // Gamma (defined later), itself, Alpha
    Replace(user, "Gamma=0", "Gamma=2,3");  // Beta, itself
    Write(L"user.inf", user);
    const Ending ending = Run();
    EXPECT_EQ(ending.exitCode, 0);
    EXPECT_EQ(ending.messages, std::vector<std::wstring>());
    ExpectInstallMode(ending);
    ExpectNothingWritten();
}

TEST_F(HostilePackage, NumbersPast2To31And2To32AndNegativeSizes) {
    package_.OSVersions = "4294967297,2147483648,-1,99999999999999999999,1,1,1,1,1,1,1,1,1,1";
    package_.OSServicePacks = "-4294967296,0,0,0,0,0,0";
    package_.Components = {{"Big"}, {"Small"}};
    WritePackage(folder_, L"Tarnex", package_);
    std::string user = Read(L"user.inf");
    Replace(user, "Big=1", "Big=4294967297");  // NUMBERS
    Replace(user, "Small=2", "Small=2147483648");
    Replace(user, "Small=0", "Small=4294967297,2147483648,-2147483649");  // DEPENDENCES
    Replace(user, "Big=2\r\n", "Big=4294967298\r\n");                      // STATES
    user += "\r\n[Big - DefaultInstall]\r\nCopyFiles=Big.Files\r\nAddReg=Big.Reg\r\n\r\n[Big.Files]\r\n"
            "huge.bin,,4294967297\r\nneg.bin,,-6\r\n\r\n[Big.Reg]\r\n4294967299,Software\\X,V,4294967298,1\r\n\r\n"
            "[DestinationDirs]\r\nBig.Files=\"%65600%\\\"\r\n\r\n[SourceDisksFiles]\r\n"
            "huge.bin=1,4294967296,99999-4294967296-2147483648,4294967296:2147483648:99p,4294967296.1.1.1\r\n"
            "neg.bin=1,-5,-2021-03-04,-5:-6:-7,-1\r\n";
    Write(L"user.inf", user);
    const Ending ending = Run();
    EXPECT_EQ(ending.exitCode, 0);
    EXPECT_EQ(ending.messages, std::vector<std::wstring>());
    ExpectInstallMode(ending);
    ExpectNothingWritten();
}

// A package key whose root index is past 2^32 names no key: nothing is
// found installed and nothing can be recorded.
TEST_F(HostilePackage, PackageKeyRootPast2To32) {
    WritePackage(folder_, L"Tarnex", package_);
    std::string description = Read(L"Tarnex.inf");
    Replace(description, "Key=\"2,", "Key=\"4294967298,");
    Write(L"Tarnex.inf", description);
    WriteInstalledRecord(package_.KeyPath, {"Core"});  // under root 2: not this package's key
    const Ending ending = Run();
    EXPECT_EQ(ending.exitCode, 0);
    ExpectInstallMode(ending);
    DeletePackageKey(package_.KeyPath);
    ExpectNothingWritten();
}

TEST_F(HostilePackage, ComponentsNamedAfterDevicesAndTheFolderAbove) {
    package_.Components = {{"CON"}, {"NUL.txt"}, {".."}, {"COM1"}, {"a. "}};
    WritePackage(folder_, L"Tarnex", package_);
    const Ending ending = Run();
    EXPECT_EQ(ending.exitCode, 0);
    EXPECT_EQ(ending.messages, std::vector<std::wstring>());
    ExpectInstallMode(ending);
    ExpectNothingWritten();
}

TEST_F(HostilePackage, UserInfFileNamedAfterADevice) {
    for (const char* device : {"NUL", "COM1", "CON.inf"}) {
        SCOPED_TRACE(device);
        WritePackage(folder_, L"Tarnex", package_);
        std::string description = Read(L"Tarnex.inf");
        Replace(description, "user.inf,user.cab", std::string(device) + ",user.cab");
        Write(L"Tarnex.inf", description);
        const Ending ending = Run();
        EXPECT_EQ(ending.exitCode, 0);
        EXPECT_EQ(ending.messages, (std::vector<std::wstring>{CannotOpen(folder_ + Widen(device)), kCannotReadUser}));
    }
    ExpectNothingWritten();
}

TEST_F(HostilePackage, PathsPast260Characters) {
    const std::string longName(300, 'L');
    {
        package_.Dir = "C:\\" + longName + "\\";
        WritePackage(folder_, L"Tarnex", package_);
        const Ending ending = Run();
        EXPECT_EQ(ending.exitCode, 0);
        EXPECT_EQ(ending.messages, std::vector<std::wstring>{kCannotRead}) << "install folder";
    }
    package_.Dir = vrel::ToNarrow(folder_) + "Install\\";
    {
        WritePackage(folder_, L"Tarnex", package_);
        std::string description = Read(L"Tarnex.inf");
        Replace(description, "user.inf,user.cab", longName + ".inf,user.cab");
        Write(L"Tarnex.inf", description);
        const Ending ending = Run();
        EXPECT_EQ(ending.exitCode, 0);
        EXPECT_EQ(ending.messages, std::vector<std::wstring>{kCannotRead}) << "user INF file";
    }
    {
        WritePackage(folder_, L"Tarnex", package_);
        std::string user = Read(L"user.inf");
        Replace(user, "Core=\"%65600%\"", "Core=\"%65600%\\" + longName + "\"");
        Write(L"user.inf", user);
        const Ending ending = Run();
        EXPECT_EQ(ending.exitCode, 0);
        EXPECT_EQ(ending.messages, std::vector<std::wstring>{kCannotReadUser}) << "component folder";
    }
    {
        // A destination folder past its field drops the file's line, not the package.
        WritePackage(folder_, L"Tarnex", package_);
        std::string user = Read(L"user.inf");
        user += "\r\n[Core - DefaultInstall]\r\nCopyFiles=Core.Files\r\n\r\n[Core.Files]\r\ncore.txt\r\n\r\n"
                "[DestinationDirs]\r\nCore.Files=\"%65600%\\" + longName + "\\\"\r\n\r\n[SourceDisksFiles]\r\n"
                "core.txt=1,26,2021-03-04,05:06:08,\r\n";
        Write(L"user.inf", user);
        const Ending ending = Run();
        EXPECT_EQ(ending.exitCode, 0);
        ExpectInstallMode(ending);
        EXPECT_NE(ending.log.find(
                      L"Section \"Core.Files\": line \"core.txt\" skipped: destination folder too long\r\n"),
                  std::wstring::npos);
    }
    ExpectNothingWritten();
}

// Every byte of an ANSI INF file converts (Wine's single-byte code pages
// define all 256), and a Unicode INF file names what no ANSI code page has:
// the INF parser's UTF-16 interface hands it out and finds its keys.
TEST_F(HostilePackage, CharactersTheAnsiCodePageDoesNotHave) {
    {
        std::string high;
        for (int b = 0x80; b <= 0xFF; ++b)
            if (b != 0x98 && b != 0x81) high += static_cast<char>(b);
        package_.Name = "Name \x81\x98" + high;
        package_.Components = {{"Core\x81\x98"}};
        WritePackage(folder_, L"Tarnex", package_);
        const Ending ending = Run();
        EXPECT_EQ(ending.exitCode, 0);
        ExpectInstallMode(ending);
    }
    {
        WritePackage(folder_, L"Tarnex", package_);
        // user.inf again, in UTF-16 with a byte-order mark: an EngName with a
        // CJK character.
        std::wstring user = Widen(Read(L"user.inf"));
        const std::wstring core = Widen("Core\x81\x98");
        for (std::size_t at; (at = user.find(core)) != std::wstring::npos;) user.replace(at, core.size(), L"Core\u8A9E");
        std::string bytes = "\xFF\xFE";
        for (wchar_t c : user) bytes += std::string{static_cast<char>(c & 0xFF), static_cast<char>(c >> 8)};
        Write(L"user.inf", bytes);
        const Ending ending = Run();
        EXPECT_EQ(ending.exitCode, 0);
        ExpectInstallMode(ending);
        EXPECT_EQ(ending.log.find(L"catalogue key missing"), std::wstring::npos);
    }
    ExpectNothingWritten();
}

TEST_F(HostilePackage, UserInfThatIsNoTextAtAll) {
    WritePackage(folder_, L"Tarnex", package_);
    std::string noise(65536, '\0');
    std::uint32_t x = 2463534242u;
    for (char& c : noise) {
        x ^= x << 13, x ^= x >> 17, x ^= x << 5;
        c = static_cast<char>(x);
    }
    Write(L"user.inf", noise);
    const Ending ending = Run();
    EXPECT_EQ(ending.exitCode, 0);
    EXPECT_EQ(ending.messages, (std::vector<std::wstring>{CannotOpen(folder_ + L"user.inf"), kCannotReadUser}));
    ExpectNothingWritten();
}

}  // namespace
}  // namespace tarnex
