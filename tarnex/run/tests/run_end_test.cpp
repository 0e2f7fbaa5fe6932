// The end of a run: the result lines and banners, the restart question with
// the continuation entry in the Run key, the removal of empty folders, and
// the self-removal batch (its text, and a real copy of this program that
// removes itself).
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cwchar>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "../../../testsupport/program_run.h"
#include "../../../testsupport/registry_values.h"
#include "description/setup_description.h"
#include "run/program_run.h"
#include "run/restart.h"
#include "run/self_removal.h"
#include "run_test_support.h"
#include "services/app_context.h"
#include "services/message_box.h"
#include "services/setup_log.h"
#include "vrel/bounded_copy.h"
#include "vrel/text_convert.h"
#include "vrel/unique_handle.h"

namespace tarnex {
namespace {

using ::testing::HasSubstr;
using namespace tarnex::testing;

constexpr wchar_t kRemoveSwitch[] = L"--remove-own-copy";

void AddFileOfComponentZero(SetupDescription& d, const std::wstring& folder, const std::wstring& name) {
    FileRecord file;
    file.Number = static_cast<std::int32_t>(d.FileList.size()) + 1;
    vrel::CopyToField(file.TargetFolder, std::wstring_view(folder));
    vrel::CopyToField(file.TargetName, std::wstring_view(name));
    vrel::CopyToField(file.SourceName, std::wstring_view(name));
    d.FileList.push_back(file);
    d.ComponentList.front().Files.push_back(d.FileList.size() - 1);
}

void DescribeComponentZero(SetupDescription& d) {
    ComponentRecord zero;
    zero.Number = 0;
    d.ComponentList.push_back(zero);
}

// The child's side: a copy of this program in a folder of its own removes
// itself and component 0's file, logging into logFolder.
int RemoveOwnCopyAndExit(const std::wstring& logFolder, const std::wstring& extraFile) {
    App().Instance = ::GetModuleHandleW(nullptr);
    App().ProgramPath = TestProgramPath();
    vrel::CopyToField(App().WindowsFolder, std::wstring_view(logFolder));
    SetupDescription& d = Description();
    DescribeComponentZero(d);
    const std::size_t slash = extraFile.rfind(L'\\');
    AddFileOfComponentZero(d, extraFile.substr(0, slash + 1), extraFile.substr(slash + 1));
    RemoveOwnCopy();
    return 0;
}

std::vector<BYTE> QueryRunValue(DWORD& type) {
    // RunOnce on Wine's Windows 10, as on every system from Vista on.
    EXPECT_STREQ(ContinuationKey(), kRunOnceKey);
    testsupport::RegistryValue value =
        testsupport::ReadRegistryValue(HKEY_LOCAL_MACHINE, ContinuationKey(), kContinuationValue);
    type = value.type;
    return std::move(value.bytes);
}

class RunEndTest : public ::testing::Test {
protected:
    void SetUp() override {
        App().Instance = ::GetModuleHandleW(nullptr);
        vrel::CopyToField(App().Caption, std::wstring_view(L"Product Setup"));
        logFolder_ = MakeScratchFolder(L"run_end_log");
        vrel::CopyToField(App().WindowsFolder, std::wstring_view(logFolder_));
        App().RestartNeeded = 0;
        App().RestartRequestedByProgram = 0;
        DeleteContinuationEntry();
        SetupDescription& d = Description();
        d = SetupDescription{};
        vrel::CopyToField(d.NameGen, std::wstring_view(L"Продукт 1.0"));
        vrel::CopyToField(d.InstallFolder, std::wstring_view(L"C:\\Program Files\\Продукт\\"));
        vrel::CopyToField(d.SetNameUI, std::wstring_view(L"Setup.exe"));
    }
    void TearDown() override {
        DeleteContinuationEntry();
        RemoveTree(logFolder_);
    }
    std::wstring Log() const { return ReadLog(LogPath()); }

    std::wstring logFolder_;
    MessageRecorder boxes_{IDNO};  // never restart the prefix
};

TEST_F(RunEndTest, ContinuationCommandNamesTheInstalledCopy) {
    const std::wstring folder = L"C:\\Program Files\\Продукт\\";
    EXPECT_EQ(ContinuationCommand(folder, L"Setup.exe", AS_INST), L"\"C:\\Program Files\\Продукт\\Setup.exe\" /r");
    EXPECT_EQ(ContinuationCommand(folder, L"Setup.exe", AS_REP), L"\"C:\\Program Files\\Продукт\\Setup.exe\" /r");
    EXPECT_EQ(ContinuationCommand(folder, L"Setup.exe", AS_AD), L"\"C:\\Program Files\\Продукт\\Setup.exe\" /r");
    EXPECT_EQ(ContinuationCommand(folder, L"Setup.exe", AS_DEL),
              L"\"C:\\Program Files\\Продукт\\Setup.exe\" /r /u");
    EXPECT_EQ(ContinuationCommand(folder, L"Setup.exe", AS_SD),
              L"\"C:\\Program Files\\Продукт\\Setup.exe\" /r /u");
}

TEST_F(RunEndTest, ContinuationEntryIsATextWithoutTerminator) {
    const std::wstring command = L"\"C:\\P\\Setup.exe\" /r";
    ASSERT_EQ(WriteContinuationEntry(command), 1);
    DWORD type = 0;
    const std::vector<BYTE> data = QueryRunValue(type);
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    // Written with twice the character count; the system itself adds the
    // terminator it finds after the text (Windows NT does so, and Wine).
    ASSERT_GE(data.size(), command.size() * 2);
    EXPECT_EQ(std::wstring(reinterpret_cast<const wchar_t*>(data.data()), command.size()), command);
    DeleteContinuationEntry();
    EXPECT_TRUE(QueryRunValue(type).empty());
    DeleteContinuationEntry();  // again, with nothing there
}

TEST_F(RunEndTest, InterruptedRunLogsItAndTheEndBanner) {
    FinishRun(0);
    const std::wstring log = Log();
    const std::wstring bar(74, L'/');
    EXPECT_THAT(log, HasSubstr(L"]: Setup was interrupted.\r\n\r\n"));
    EXPECT_THAT(log, HasSubstr(L"]: \r\n" + bar + L"\r\n// END SETUP of \"Продукт 1.0\"\r\n" + bar + L"\r\n\r\n"));
    EXPECT_LT(log.find(L"interrupted"), log.find(L"END SETUP"));
    EXPECT_EQ(boxes_.Count(), 0u);
    DWORD type = 0;
    EXPECT_TRUE(QueryRunValue(type).empty());
}

TEST_F(RunEndTest, RemovalNeedingARestartWritesTheContinuationAndAsksString52) {
    App().Mode = AS_SD;
    App().RestartNeeded = 1;
    FinishRun(1);
    const std::wstring log = Log();
    EXPECT_THAT(log, HasSubstr(L"]: Setup was completed successful.\r\n\r\n"));
    EXPECT_THAT(log, HasSubstr(L"]: Restart computer\r\n"));
    EXPECT_THAT(log, HasSubstr(L"END SETUP"));
    DWORD type = 0;
    const std::vector<BYTE> data = QueryRunValue(type);
    const std::wstring command(reinterpret_cast<const wchar_t*>(data.data()), ::wcsnlen(reinterpret_cast<const wchar_t*>(data.data()), data.size() / 2));
    EXPECT_EQ(command, L"\"C:\\Program Files\\Продукт\\Setup.exe\" /r /u");
    ASSERT_EQ(boxes_.Count(), 1u);
    EXPECT_EQ(boxes_.Shown()[0].text, L"Удаление прошло успешно.\nНо для его полного завершения необходимо перезагрузить "
                              L"компьютер.\nВы хотите это сделать сейчас?");
    EXPECT_EQ(boxes_.Shown()[0].type, static_cast<UINT>(MB_YESNO | MB_ICONQUESTION));
    EXPECT_EQ(boxes_.Shown()[0].question, Question::kRestartAfterRemoval);
    EXPECT_EQ(boxes_.Shown()[0].caption, L"Product Setup");
}

TEST_F(RunEndTest, RestartAskedByAProgramWritesNoEntryButStillAsks) {
    App().Mode = AS_INST;
    App().RestartNeeded = 1;
    App().RestartRequestedByProgram = 1;
    FinishRun(1);
    DWORD type = 0;
    EXPECT_TRUE(QueryRunValue(type).empty());
    ASSERT_EQ(boxes_.Count(), 1u);
    EXPECT_EQ(boxes_.Shown()[0].text,
              L"Для продолжения установки необходимо перезагрузить компьютер.\nВы хотите это сделать сейчас?");
}

TEST_F(RunEndTest, RemovalChosenInMaintenanceRemovesEmptyFoldersOnly) {
    const std::wstring install = MakeScratchFolder(L"run_end_install");
    ::CreateDirectoryW((install + L"bin").c_str(), nullptr);
    ::CreateDirectoryW((install + L"bin\\deep").c_str(), nullptr);
    ::CreateDirectoryW((install + L"data").c_str(), nullptr);
    vrel::CopyToField(Description().InstallFolder, std::wstring_view(install));
    App().Mode = AS_SD;

    WriteBytes(install + L"data\\kept.txt", "x");
    FinishRun(1);
    EXPECT_FALSE(Exists(install + L"bin"));
    EXPECT_TRUE(Exists(install + L"data\\kept.txt"));
    EXPECT_TRUE(Exists(install));

    ::DeleteFileW((install + L"data\\kept.txt").c_str());
    FinishRun(1);
    EXPECT_FALSE(Exists(install)) << "an empty install folder goes too";
    EXPECT_EQ(boxes_.Count(), 0u);
    RemoveTree(install);
}

TEST_F(RunEndTest, BatchTextDeletesTheProgramAndComponentZerosFiles) {
    SetupDescription d;
    DescribeComponentZero(d);
    AddFileOfComponentZero(d, L"C:\\Program Files\\Продукт\\", L"setup.inf");
    AddFileOfComponentZero(d, L"C:\\Program Files\\Продукт\\Help\\", L"Справка.chm");
    const SelfRemovalBatch cyrillic = BuildSelfRemovalBatch(L"C:\\Program Files\\Продукт\\Setup.exe", d);
    EXPECT_TRUE(cyrillic.Paths.empty());
    EXPECT_EQ(cyrillic.Text,
              L":Repeat\r\n"
              L"del \"C:\\Program Files\\Продукт\\Setup.exe\"\r\n"
              L"del \"C:\\Program Files\\Продукт\\setup.inf\"\r\n"
              L"del \"C:\\Program Files\\Продукт\\Help\\Справка.chm\"\r\n"
              L"if exist \"C:\\Program Files\\Продукт\\Setup.exe\" goto Repeat\r\n"
              L"set VrelTries=0\r\n"
              L":Folder\r\n"
              L"rmdir \"C:\\Program Files\\Продукт\"\r\n"
              L"if not exist \"C:\\Program Files\\Продукт\" goto Done\r\n"
              L"set /a VrelTries+=1\r\n"
              L"if %VrelTries% lss 500 goto Folder\r\n"
              L":Done\r\n"
              L"del \"\\Tarnex.bat\"\r\n");

    SetupDescription none;
    EXPECT_EQ(BuildSelfRemovalBatch(L"D:\\Setup.exe", none).Text,
              L":Repeat\r\ndel \"D:\\Setup.exe\"\r\nif exist \"D:\\Setup.exe\" goto Repeat\r\nset VrelTries=0\r\n"
              L":Folder\r\nrmdir \"D:\"\r\nif not exist \"D:\" goto Done\r\nset /a VrelTries+=1\r\n"
              L"if %VrelTries% lss 500 goto Folder\r\n:Done\r\ndel \"\\Tarnex.bat\"\r\n");

    // A path the OEM code page cannot spell, or with a percent sign in it,
    // is a variable's, numbered in the order of use.
    SetupDescription other;
    DescribeComponentZero(other);
    AddFileOfComponentZero(other, L"C:\\Қазақ \x04D9\\", L"setup.inf");
    AddFileOfComponentZero(other, L"C:\\Қазақ \x04D9\\", L"100% ready.txt");
    const SelfRemovalBatch kazakh = BuildSelfRemovalBatch(L"C:\\Қазақ \x04D9\\Setup.exe", other);
    EXPECT_EQ(kazakh.Paths, (std::vector<std::wstring>{L"C:\\Қазақ \x04D9\\Setup.exe", L"C:\\Қазақ \x04D9\\setup.inf",
                                                       L"C:\\Қазақ \x04D9\\100% ready.txt", L"C:\\Қазақ \x04D9"}));
    EXPECT_THAT(kazakh.Text, HasSubstr(L":Repeat\r\ndel \"%VrelPath1%\"\r\ndel \"%VrelPath2%\"\r\ndel \"%VrelPath3%\"\r\n"
                                       L"if exist \"%VrelPath1%\" goto Repeat\r\n"));
    EXPECT_THAT(kazakh.Text, HasSubstr(L"rmdir \"%VrelPath4%\"\r\nif not exist \"%VrelPath4%\" goto Done\r\n"));
}

TEST_F(RunEndTest, CopyOfTheProgramRemovesItselfAndItsFolder) {
    // The batch is read by the command interpreter in the OEM code page:
    // a folder with a letter outside it (Kazakh, also outside 866) and a
    // percent sign goes by the variables the batch is started with.
    struct Case {
        std::wstring folder, extraName;
    };
    int round = 0;
    for (const Case& c : {Case{MakeScratchFolder(L"self_removal"), L"helper.dll"},
                          Case{L"C:\\Программы\\Продукт\\", L"Справка.chm"},
                          Case{L"C:\\Программы\\Қазақ \x04D9 100%!\\", L"Анықтама \x04D9.chm"},
                          Case{MakeScratchFolder(L"self_removal_after_another"), L"helper.dll"}}) {
        // Someone else's batch of that name, left there beforehand (a
        // read-only file, then a folder), is never run: the batch is made
        // anew. Then an earlier removal's batch on its last line, which
        // deletes "\Tarnex.bat" a moment later: it must not take this
        // removal's batch with it.
        const std::wstring planted = L"C:\\planted-batch-ran.txt";
        std::thread earlierBatch;
        if (round == 0) {
            WriteBytes(L"C:\\Tarnex.bat", "echo planted>" + vrel::ToNarrow(planted) + "\r\n");
            ::SetFileAttributesW(L"C:\\Tarnex.bat", FILE_ATTRIBUTE_READONLY);
        } else if (round == 1) {
            ASSERT_TRUE(::CreateDirectoryW(L"C:\\Tarnex.bat", nullptr));
        } else if (round == 3) {
            const std::string earlier = "rem an earlier removal's batch\r\n";
            WriteBytes(L"C:\\Tarnex.bat", earlier);
            // Its last line runs in 1.5 s, or at once should the file
            // change under it (cmd reads a batch anew for every line).
            earlierBatch = std::thread([earlier] {
                for (int i = 0; i < 150 && ReadBytes(L"C:\\Tarnex.bat") == earlier; ++i) ::Sleep(10);
                ::DeleteFileW(L"C:\\Tarnex.bat");
            });
        }
        ++round;
        const std::wstring& folder = c.folder;
        const std::wstring copy = folder + L"Remover.exe";
        const std::wstring extra = folder + c.extraName;
        WriteBytes(extra, "library");
        ASSERT_TRUE(::CopyFileW(TestProgramPath().c_str(), copy.c_str(), FALSE));

        // The log folder without its backslash: a backslash before the
        // closing quote would escape it.
        const std::wstring arguments = std::wstring(kRemoveSwitch) + L" \"" +
                                       logFolder_.substr(0, logFolder_.size() - 1) + L"\" \"" + extra + L"\"";
        ASSERT_TRUE(testsupport::RunProgram(copy, arguments, 30000, folder).has_value()) << "the copy ran to its end";
        if (earlierBatch.joinable()) earlierBatch.join();

        const std::wstring folderNoSlash = folder.substr(0, folder.size() - 1);
        for (int i = 0; i < 200 && (Exists(folderNoSlash) || Exists(L"C:\\Tarnex.bat")); ++i) ::Sleep(100);
        const std::string name = vrel::ToNarrow(folder, CP_UTF8);
        EXPECT_FALSE(Exists(copy)) << name;
        EXPECT_FALSE(Exists(extra)) << name;
        EXPECT_FALSE(Exists(folderNoSlash)) << name << ": the emptied folder is removed";
        EXPECT_FALSE(Exists(L"C:\\Tarnex.bat")) << "the batch deletes itself";
        EXPECT_FALSE(Exists(planted)) << "the batch that lay there ran";
        // The batch is logged; paths the OEM code page holds are written as they are.
        const std::wstring written = vrel::RepresentableIn(copy + extra, CP_OEMCP)
                                         ? L"]: :Repeat\r\ndel \"" + copy + L"\"\r\ndel \"" + extra + L"\"\r\n"
                                         : L"]: :Repeat\r\ndel \"";
        EXPECT_THAT(Log(), HasSubstr(written));
        if (!vrel::RepresentableIn(copy, CP_OEMCP)) {
            EXPECT_THAT(Log(), HasSubstr(L"VrelPath1=" + copy + L"\r\n"));
        }
        RemoveTree(folder);
    }
    ::RemoveDirectoryW(L"C:\\Программы");
}

}  // namespace
}  // namespace tarnex

int wmain(int argc, wchar_t** argv) {
    // A child started for one job never runs the tests (that would start
    // children of its own).
    if (argc >= 2 && std::wcscmp(argv[1], tarnex::kRemoveSwitch) == 0)
        return argc == 4 ? tarnex::RemoveOwnCopyAndExit(std::wstring(argv[2]) + L"\\", argv[3]) : 3;
    ::testing::InitGoogleMock(&argc, argv);
    return RUN_ALL_TESTS();
}
