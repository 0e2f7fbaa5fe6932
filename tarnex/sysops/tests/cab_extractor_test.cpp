// Step 3's transfer through CabExtractor: which cabinet entries are wanted,
// the temporary names, cabinet times, progress messages, the Access filter,
// loose and INF files, failures handed to the engine to tell, refused names, and
// the pause hand-over with both answers.
#include <gtest/gtest.h>

#include <optional>
#include <thread>

#include "../../../testsupport/import_patch.h"

#include "services/app_context.h"
#include "sysops/cab_extractor.h"
#include "sysops_test_support.h"
#include "vrel/bounded_copy.h"
#include "vrel/text_convert.h"

using namespace tarnex;
using namespace sysops_test;

namespace {

FileRecord Record(const std::wstring& source, const std::wstring& target, const std::wstring& folder,
                  std::int32_t flags = kPlainFile) {
    FileRecord r;
    vrel::CopyToField(r.SourceName, std::wstring_view(source));
    vrel::CopyToField(r.TargetName, std::wstring_view(target));
    vrel::CopyToField(r.TargetFolder, std::wstring_view(folder));
    r.FileFlags = flags;
    return r;
}

// Component 0 (the installer, not selected), then one selected component
// holding every record given, then one unselected component.
struct Package {
    SetupDescription description;
    explicit Package(const std::vector<FileRecord>& selected, const std::vector<FileRecord>& unselected = {}) {
        description.ComponentList.resize(3);
        description.ComponentList[1].Selected = 1;
        for (const FileRecord& r : selected) {
            description.FileList.push_back(r);
            description.ComponentList[1].Files.push_back(description.FileList.size() - 1);
        }
        for (const FileRecord& r : unselected) {
            description.FileList.push_back(r);
            description.ComponentList[2].Files.push_back(description.FileList.size() - 1);
        }
    }
    FileRecord& file(std::size_t i) { return description.FileList[i]; }
};

// A message-only window that counts the per-file progress messages.
class ProgressCounter {
public:
    ProgressCounter() : window_(::CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr)) {}
    ~ProgressCounter() { ::DestroyWindow(window_); }
    HWND window() const { return window_; }
    int Take() {
        int n = 0;
        MSG msg;
        while (::PeekMessageW(&msg, window_, kFileProgressMessage, kFileProgressMessage, PM_REMOVE)) {
            EXPECT_EQ(msg.wParam, 0u);
            EXPECT_EQ(msg.lParam, 0);
            ++n;
        }
        return n;
    }

private:
    HWND window_;
};

HANDLE WINAPI NoEvent(LPSECURITY_ATTRIBUTES, BOOL, BOOL, LPCWSTR) {
    ::SetLastError(ERROR_NO_SYSTEM_RESOURCES);
    return nullptr;
}

bool SameTime(const FILETIME& a, const FILETIME& b) {
    return a.dwLowDateTime == b.dwLowDateTime && a.dwHighDateTime == b.dwHighDateTime;
}

class CabExtractorTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { InitTestApp(); }
    void SetUp() override { ClearLog(); }
    ScratchFolder target{L"extract"};
};

}  // namespace

TEST_F(CabExtractorTest, WantedEntriesGoToTemporaryNamesWithTheCabinetTimes) {
    const std::wstring deep = target / L"a\\b\\";
    Package p({Record(L"alpha.txt", L"alpha.txt", deep), Record(L"sub\\inner.txt", L"inner.txt", target.Path()),
               Record(L"beta.txt", L"beta.txt", target.Path()),  // the cabinet has "Beta.txt"
               Record(L"numbers.txt", L"renamed.txt", target.Path())},
              {Record(L"zeros.bin", L"zeros.bin", target.Path())});
    ProgressCounter progress;
    CabExtractor x(p.description);
    x.SetWindows(nullptr, progress.window());
    MessageRecorder messages;
    for (const wchar_t* cab : {L"stored.cab", L"mszip.cab"}) {
        EXPECT_TRUE(x.ExtractCabinet(TestData() + cab));
        EXPECT_FALSE(x.Cancelled());
    }
    EXPECT_EQ(messages.Count(), 0u);
    EXPECT_EQ(ReadBytes(deep + L"vrel_alpha.txt"), ReadBytes(TestData() + L"src\\alpha.txt"));
    EXPECT_EQ(ReadBytes(target / L"vrel_inner.txt"), ReadBytes(TestData() + L"src\\sub\\inner.txt"));
    EXPECT_EQ(ReadBytes(target / L"vrel_renamed.txt"), ReadBytes(TestData() + L"src\\numbers.txt"));
    EXPECT_FALSE(Exists(target / L"vrel_beta.txt"));   // names match case-sensitively
    EXPECT_FALSE(Exists(target / L"vrel_zeros.bin"));  // its component is not selected
    EXPECT_FALSE(Exists(deep + L"alpha.txt"));         // nothing under the final name
    EXPECT_EQ(p.file(0).Extracted, 1);
    EXPECT_EQ(p.file(2).Extracted, 0);
    EXPECT_EQ(p.file(4).Extracted, 0);
    // One message per written file; the second cabinet finds them all taken.
    EXPECT_EQ(progress.Take(), 3);

    WIN32_FILE_ATTRIBUTE_DATA a{};
    ASSERT_TRUE(::GetFileAttributesExW((deep + L"vrel_alpha.txt").c_str(), GetFileExInfoStandard, &a));
    EXPECT_TRUE(SameTime(a.ftLastWriteTime, CabinetTimeUtc(2021, 3, 4, 5, 6, 8)));
    EXPECT_TRUE(SameTime(a.ftCreationTime, CabinetTimeUtc(2021, 3, 4, 5, 6, 8)));
    ASSERT_TRUE(::GetFileAttributesExW((target / L"vrel_renamed.txt").c_str(), GetFileExInfoStandard, &a));
    EXPECT_TRUE(SameTime(a.ftLastWriteTime, CabinetTimeUtc(2019, 11, 12, 13, 14, 16)));
}

TEST_F(CabExtractorTest, AccessFilterPassesOverTheOtherVersionsFiles) {
    struct Case {
        int access, version;
        bool with97, with2000;
    };
    for (const Case c : {Case{1, 1, true, false}, Case{1, 2, false, true}, Case{1, 3, false, true},
                         Case{0, 1, true, true}}) {
        ScratchFolder folder(L"access");
        Package p({Record(L"97_db.mdb", L"db97.mdb", folder.Path()), Record(L"2000_db.mdb", L"db2000.mdb", folder.Path())});
        p.description.Access = c.access;
        p.description.AccessVersion = c.version;
        ProgressCounter progress;
        CabExtractor x(p.description);
        x.SetWindows(nullptr, progress.window());
        EXPECT_TRUE(x.ExtractCabinet(TestData() + L"mszip.cab"));
        EXPECT_EQ(Exists(folder / L"vrel_db97.mdb"), c.with97) << c.access << "/" << c.version;
        EXPECT_EQ(Exists(folder / L"vrel_db2000.mdb"), c.with2000) << c.access << "/" << c.version;
        EXPECT_EQ(progress.Take(), (c.with97 ? 1 : 0) + (c.with2000 ? 1 : 0));  // filtered: no message
    }
}

TEST_F(CabExtractorTest, LooseFilesAndInfCopiesGoUnderTemporaryNames) {
    ScratchFolder install(L"install");
    Package p({Record(L"src\\loose.txt", L"loose.txt", install / L"bin\\", kLooseFile),
               Record(L"src\\alpha.txt", L"alpha.txt", install.Path())});  // not loose: left to the cabinet
    p.description.InfFiles.resize(3);
    vrel::CopyToField(p.description.InfFiles[0].InfPath, std::wstring_view(TestData() + L"src\\Beta.txt"));
    vrel::CopyToField(p.description.InfFiles[1].InfPath, std::wstring_view(TestData() + L"src\\numbers.txt"));
    vrel::CopyToField(p.description.InfFiles[2].InfPath, std::wstring_view(TestData() + L"src\\sub\\inner.txt"));
    vrel::CopyToField(p.description.InstallFolder, std::wstring_view(install.Path()));
    ProgressCounter progress;
    CabExtractor x(p.description);
    x.SetWindows(nullptr, progress.window());
    MessageRecorder messages;
    EXPECT_TRUE(x.CopyLooseFiles());
    EXPECT_EQ(messages.Count(), 0u);
    EXPECT_EQ(ReadBytes(install / L"bin\\vrel_loose.txt"), ReadBytes(TestData() + L"src\\loose.txt"));
    EXPECT_FALSE(Exists(install / L"vrel_alpha.txt"));
    EXPECT_EQ(ReadBytes(install / L"src\\vrel_numbers.txt"), ReadBytes(TestData() + L"src\\numbers.txt"));
    EXPECT_EQ(ReadBytes(install / L"src\\sub\\vrel_inner.txt"), ReadBytes(TestData() + L"src\\sub\\inner.txt"));
    EXPECT_FALSE(Exists(install / L"src\\vrel_Beta.txt"));  // entry 0 is the installer's own
    EXPECT_EQ(p.file(0).Extracted, 1);
    EXPECT_EQ(progress.Take(), 1);  // INF copies post nothing
}

namespace {

// The extractor tells nobody what stopped it: it hands the failure to the
// engine, which tells it once (taken, it is gone).
::testing::AssertionResult StoppedBy(CabExtractor& x, Question question, const std::wstring& first,
                                     const std::wstring& second = {}) {
    const std::optional<Failure> failure = x.TakeFailure();
    if (!failure) return ::testing::AssertionFailure() << "no failure";
    if (failure->question != question || failure->first != first || failure->second != second)
        return ::testing::AssertionFailure() << "question " << static_cast<int>(failure->question) << " naming "
                                             << vrel::ToNarrow(failure->first) << ", " << vrel::ToNarrow(failure->second);
    if (x.TakeFailure()) return ::testing::AssertionFailure() << "the failure is handed over twice";
    return ::testing::AssertionSuccess();
}

}  // namespace

TEST_F(CabExtractorTest, ALooseFileThatCannotBeCopiedStopsTheCopy) {
    Package p({Record(L"src\\missing.txt", L"missing.txt", target.Path(), kLooseFile),
               Record(L"src\\loose.txt", L"loose.txt", target.Path(), kLooseFile)});
    CabExtractor x(p.description);
    MessageRecorder messages;
    EXPECT_FALSE(x.CopyLooseFiles());
    EXPECT_TRUE(StoppedBy(x, Question::kFileCannotCopy, TestData() + L"src\\missing.txt", target / L"vrel_missing.txt"));
    EXPECT_EQ(messages.Count(), 0u);
    EXPECT_FALSE(Exists(target / L"vrel_loose.txt"));
}

TEST_F(CabExtractorTest, AnOutputThatCannotBeCreatedStopsTheCopy) {
    WriteBytes(target / L"blocker", "a file where a folder should be");
    Package p({Record(L"alpha.txt", L"alpha.txt", target / L"blocker\\"), Record(L"Beta.txt", L"Beta.txt", target.Path())});
    CabExtractor x(p.description);
    MessageRecorder messages;
    EXPECT_TRUE(x.ExtractCabinet(TestData() + L"stored.cab"));
    EXPECT_TRUE(x.Cancelled());
    EXPECT_TRUE(StoppedBy(x, Question::kCabinetCannotUnpack, target / L"blocker\\vrel_alpha.txt"));
    EXPECT_EQ(messages.Count(), 0u);
    EXPECT_FALSE(Exists(target / L"vrel_Beta.txt"));  // the decoder stopped at the failure
}

TEST_F(CabExtractorTest, WithoutItsEventsTheContextCopiesNothing) {
    Package p({Record(L"alpha.txt", L"alpha.txt", target.Path()),
               Record(L"src\\loose.txt", L"loose.txt", target.Path(), kLooseFile)});
    std::optional<CabExtractor> x;
    {
        testsupport::ImportPatch noEvents(nullptr, "kernel32.dll", "CreateEventW", &NoEvent);
        ASSERT_TRUE(noEvents.Active());
        x.emplace(p.description);
    }
    MessageRecorder messages;
    EXPECT_FALSE(x->CopyLooseFiles());
    EXPECT_TRUE(x->Cancelled());
    const std::optional<Failure> copyFailure = x->TakeFailure();
    ASSERT_TRUE(copyFailure.has_value());
    EXPECT_EQ(copyFailure->question, Question::kCabinetCannotUnpack);
    EXPECT_TRUE(x->ExtractCabinet(TestData() + L"stored.cab"));
    EXPECT_TRUE(StoppedBy(*x, Question::kCabinetCannotUnpack, TestData() + L"stored.cab"));
    EXPECT_EQ(messages.Count(), 0u);
    EXPECT_FALSE(Exists(target / L"vrel_alpha.txt"));
    EXPECT_FALSE(Exists(target / L"vrel_loose.txt"));
}

TEST_F(CabExtractorTest, CorruptAndTruncatedCabinetsAreNamedInTheUnpackMessage) {
    const std::string whole = ReadBytes(TestData() + L"stored.cab");
    WriteBytes(target / L"truncated.cab", whole.substr(0, whole.size() / 2));
    std::string damaged = ReadBytes(TestData() + L"mszip.cab");
    for (std::size_t i = 400; i < damaged.size(); i += 97) damaged[i] = static_cast<char>(damaged[i] ^ 0x5A);
    WriteBytes(target / L"damaged.cab", damaged);
    for (const std::wstring& cab : {TestData() + L"mspack\\bad_signature.cab", target / L"truncated.cab",
                                    target / L"damaged.cab", target / L"missing.cab"}) {
        ScratchFolder out(L"corrupt_out");
        Package p({Record(L"alpha.txt", L"alpha.txt", out.Path()), Record(L"numbers.txt", L"numbers.txt", out.Path()),
                   Record(L"2000_db.mdb", L"db.mdb", out.Path())});
        CabExtractor x(p.description);
        MessageRecorder messages;
        EXPECT_TRUE(x.ExtractCabinet(cab));
        EXPECT_TRUE(x.Cancelled()) << vrel::ToNarrow(cab);
        EXPECT_TRUE(StoppedBy(x, Question::kCabinetCannotUnpack, cab)) << vrel::ToNarrow(cab);
        EXPECT_EQ(messages.Count(), 0u);
        EXPECT_FALSE(x.DecoderOpen());  // the context lives only during the extraction
    }
}

TEST_F(CabExtractorTest, NamesThatLeaveTheirFolderAreRefusedAndLogged) {
    WriteBytes(target / L"names.cab", "");
    WriteStoredCab(target / L"names.cab", {{"..\\evil.txt", "evil"}, {"C:\\evil2.txt", "evil2"}, {"good.txt", "good"}});
    ScratchFolder out(L"names_out");
    Package p({Record(L"..\\evil.txt", L"evil.txt", out.Path()), Record(L"C:\\evil2.txt", L"evil2.txt", out.Path()),
               Record(L"good.txt", L"..\\..\\escaped.txt", out / L"x\\y\\"),
               Record(L"src\\..\\..\\loose.txt", L"loose.txt", out.Path(), kLooseFile),
               Record(L"src\\loose.txt", L"C:\\abs.txt", out.Path(), kLooseFile)});
    CabExtractor x(p.description);
    MessageRecorder messages;
    EXPECT_TRUE(x.CopyLooseFiles());
    EXPECT_TRUE(x.ExtractCabinet(target / L"names.cab"));
    EXPECT_FALSE(x.Cancelled());
    EXPECT_EQ(messages.Count(), 0u);
    EXPECT_FALSE(Exists(out / L"vrel_evil.txt"));
    EXPECT_FALSE(Exists(out / L"vrel_evil2.txt"));
    EXPECT_FALSE(Exists(out / L"x\\y\\vrel_..\\..\\escaped.txt"));
    EXPECT_FALSE(Exists(out / L"escaped.txt"));
    EXPECT_FALSE(Exists(out / L"vrel_loose.txt"));
    for (std::size_t i = 0; i < 5; ++i) EXPECT_EQ(p.file(i).Extracted, 0) << i;
    const std::wstring log = LogText();
    EXPECT_NE(log.find(L"Refused cabinet entry outside its folder: ..\\evil.txt"), std::wstring::npos) ;
    EXPECT_NE(log.find(L"Refused cabinet entry outside its folder: C:\\evil2.txt"), std::wstring::npos);
    EXPECT_NE(log.find(L"Refused target file outside its folder: ..\\..\\escaped.txt"), std::wstring::npos);
    EXPECT_NE(log.find(L"Refused source file outside its folder: src\\..\\..\\loose.txt"), std::wstring::npos);
    EXPECT_NE(log.find(L"Refused target file outside its folder: C:\\abs.txt"), std::wstring::npos);
}

TEST_F(CabExtractorTest, CyrillicNamesInUtf8OrAnsiAndCyrillicFolders) {
    // The cabinet's one entry wanted as name in folder; what was written.
    const auto extract = [](const std::wstring& cabinet, const CabEntry& entry, const std::wstring& name,
                            const std::wstring& folder) {
        WriteStoredCab(cabinet, {entry});
        Package p({Record(name, name, folder)});
        CabExtractor x(p.description);
        MessageRecorder messages;
        EXPECT_TRUE(x.ExtractCabinet(cabinet));
        EXPECT_EQ(messages.Count(), 0u);
        return ReadBytes(folder + L"vrel_" + name);
    };
    CabEntry utf8{vrel::ToNarrow(L"Данные.txt", CP_UTF8), "utf-8 name"};
    utf8.attributes = 0xA0;  // as gcab writes a name outside ASCII
    EXPECT_EQ(extract(target / L"utf8.cab", utf8, L"Данные.txt", target.Path()), "utf-8 name");

    // A package folder with a letter outside 1251 and 1252, and an ANSI
    // name where the ANSI code page has Cyrillic letters.
    ScratchFolder package(L"Пакет \x04D9"), out(L"Программа");
    EXPECT_EQ(extract(package / L"Архив \x04D9.cab", utf8, L"Данные.txt", out / L"Папка\x04D9\\"), "utf-8 name");
    if (!vrel::RepresentableInAnsi(L"Отчёт")) return;
    EXPECT_EQ(extract(package / L"Архив.cab", {vrel::ToNarrow(L"Отчёт.txt"), "ansi name"}, L"Отчёт.txt",
                      out / L"Папка\\"),
              "ansi name");
}

TEST_F(CabExtractorTest, PauseHandOverLetsTheUserCancelOrGoOn) {
    for (const bool cancel : {false, true}) {
        ScratchFolder out(L"pause");
        Package p({Record(L"alpha.txt", L"alpha.txt", out.Path()), Record(L"Beta.txt", L"Beta.txt", out.Path()),
                   Record(L"zeros.bin", L"zeros.bin", out.Path()), Record(L"numbers.txt", L"numbers.txt", out.Path())});
        CabExtractor x(p.description);
        MessageRecorder messages;
        x.RequestPause();
        std::thread worker([&] { x.ExtractCabinet(TestData() + L"stored.cab"); });
        // The user-interface side of the hand-over.
        ASSERT_EQ(::WaitForSingleObject(x.PauseReachedEvent(), 30000), WAIT_OBJECT_0);
        if (cancel) x.SetCancel();
        x.WithdrawPause();
        x.ResumeFromPause();
        worker.join();
        EXPECT_EQ(messages.Count(), 0u);
        EXPECT_TRUE(Exists(out / L"vrel_alpha.txt"));
        EXPECT_EQ(Exists(out / L"vrel_numbers.txt"), !cancel);
        EXPECT_EQ(x.Cancelled(), cancel);
    }
}
