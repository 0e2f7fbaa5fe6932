// The replace policy against real files: version resources of test
// libraries, last-write times, every dialog answer and the sticky answers,
// also through a cabinet extraction; the dialog's lines.
#include <gtest/gtest.h>

#include <thread>

#include "portable/replace_rules.h"
#include "sysops/cab_extractor.h"
#include "sysops/replace_policy.h"
#include "sysops_test_support.h"
#include "ui/replace_dialog.h"
#include "ui/replace_dialog_ids.h"
#include "vrel/bounded_copy.h"

using namespace tarnex;
using namespace sysops_test;

namespace {

FileStamp Stamp(int y, int mo, int d, int h, int mi, int s) {
    FileStamp t;
    t.Year = static_cast<std::uint16_t>(y);
    t.Month = static_cast<std::uint16_t>(mo);
    t.Day = static_cast<std::uint16_t>(d);
    t.Hour = static_cast<std::uint16_t>(h);
    t.Minute = static_cast<std::uint16_t>(mi);
    t.Second = static_cast<std::uint16_t>(s);
    return t;
}

void SetLocalWriteTime(const std::wstring& path, const FileStamp& t, int extraMilliseconds = 0) {
    SYSTEMTIME st = ToSystemTime(t);
    st.wMilliseconds = static_cast<WORD>(extraMilliseconds);
    FILETIME local{}, utc{};
    ::SystemTimeToFileTime(&st, &local);
    ::LocalFileTimeToFileTime(&local, &utc);
    HANDLE h = ::CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    ::SetFileTime(h, nullptr, nullptr, &utc);
    ::CloseHandle(h);
}

FileRecord Incoming(const std::wstring& folder, const std::wstring& name, const std::wstring& version,
                    const FileStamp& time) {
    FileRecord r;
    vrel::CopyToField(r.SourceName, std::wstring_view(name));
    vrel::CopyToField(r.TargetName, std::wstring_view(name));
    vrel::CopyToField(r.TargetFolder, std::wstring_view(folder));
    vrel::CopyToField(r.FileVersion, std::wstring_view(version));
    r.Time = time;
    r.Size = 1234;
    return r;
}

// An owner for the question; the scripted answerer never shows a window.
HWND Owner() { return ::GetDesktopWindow(); }

const FileStamp kPackaged = Stamp(2021, 3, 4, 5, 6, 8);

class ReplacePolicyTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { InitTestApp(); }
    void SetUp() override { StickyReplaceAnswer() = kReplace; }
    void TearDown() override { StickyReplaceAnswer() = kReplace; }
    ScratchFolder folder{L"replace"};

    // Puts a copy of version_X.dll (or a plain file) at the target with a
    // given write time.
    void Existing(const std::wstring& name, const wchar_t* versionDll, const FileStamp& time, int ms = 0) {
        const std::wstring path = folder / name;
        if (versionDll != nullptr)
            ASSERT_TRUE(::CopyFileW((TestProgramFolder() + versionDll).c_str(), path.c_str(), FALSE));
        else
            WriteBytes(path, "plain existing file");
        SetLocalWriteTime(path, time, ms);
    }
};

}  // namespace

TEST_F(ReplacePolicyTest, VersionTextsComeFromTheFixedFileVersion) {
    EXPECT_EQ(FileVersionText(TestProgramFolder() + L"version_1_0_0_5.dll"), L"1.0.0.5");
    EXPECT_EQ(FileVersionText(TestProgramFolder() + L"version_1_0_1_0.dll"), L"1.0.1.0");
    WriteBytes(folder / L"plain.txt", "no resources");
    EXPECT_EQ(FileVersionText(folder / L"plain.txt"), L"");
    EXPECT_EQ(FileVersionText(folder / L"missing.dll"), L"");
}

TEST_F(ReplacePolicyTest, VersionAndTimeDecideWhenTheUserIsAsked) {
    struct Case {
        const wchar_t* existingDll;  // nullptr: a file without a version
        FileStamp existingTime;
        int existingMs;
        const wchar_t* packageVersion;
        bool asked;
    };
    const FileStamp later = Stamp(2021, 3, 4, 5, 6, 9);
    const FileStamp earlier = Stamp(2020, 1, 1, 0, 0, 0);
    const Case cases[] = {
        {L"version_1_0_0_5.dll", earlier, 0, L"1.0.0.4", true},     // existing newer by version
        {L"version_1_0_0_4.dll", later, 0, L"1.0.1.0", false},      // existing older by version
        {L"version_1_0_0_4.dll", kPackaged, 0, L"1.0.0.4", false},  // equal, same second, 0 ms
        {L"version_1_0_0_4.dll", later, 0, L"1.0.0.4", true},       // equal, a second later
        {L"version_1_0_0_4.dll", kPackaged, 500, L"1.0.0.4", true}, // equal, half a second later
        {L"version_1_0_0_4.dll", later, 0, L"", true},              // only the existing has a version
        {nullptr, later, 0, L"1.0.0.1", false},                     // only the package has one
        {nullptr, earlier, 0, L"", false},                          // no versions: times alone
        {nullptr, later, 0, L"", true},
    };
    int index = 0;
    for (const Case& c : cases) {
        const std::wstring name = L"file" + std::to_wstring(index++) + L".dll";
        Existing(name, c.existingDll, c.existingTime, c.existingMs);
        FileRecord record = Incoming(folder.Path(), name, c.packageVersion, kPackaged);
        ReplaceScript script({kReplace});
        EXPECT_TRUE(MayReplaceExisting(record, Owner())) << index;
        EXPECT_EQ(script.asked.size(), c.asked ? 1u : 0u) << "case " << index - 1;
        EXPECT_EQ(record.KeepExisting, 0);
    }
    FileRecord absent = Incoming(folder.Path(), L"absent.dll", L"", kPackaged);
    ReplaceScript none({});
    EXPECT_TRUE(MayReplaceExisting(absent, Owner()));
}

TEST_F(ReplacePolicyTest, TheQuestionDescribesBothFiles) {
    Existing(L"lib.dll", L"version_1_0_0_5.dll", Stamp(2022, 7, 8, 9, 10, 12));
    FileRecord record = Incoming(folder.Path(), L"lib.dll", L"1.0.0.4", kPackaged);
    ReplaceScript script({kSkip});
    EXPECT_FALSE(MayReplaceExisting(record, Owner()));
    ASSERT_EQ(script.asked.size(), 1u);
    const ReplaceQuestion& q = script.asked[0];
    EXPECT_EQ(q.existingPath, folder / L"lib.dll");
    EXPECT_EQ(q.existingVersion, L"1.0.0.5");
    EXPECT_EQ(q.existingSize, ReadBytes(folder / L"lib.dll").size());
    EXPECT_EQ(q.existingTime.Year, 2022);
    EXPECT_EQ(q.existingTime.Second, 12);
    EXPECT_EQ(q.incoming, &record);
    EXPECT_EQ(q.owner, Owner());
    EXPECT_EQ(record.KeepExisting, 1);
}

TEST_F(ReplacePolicyTest, EachAnswerAndTheStickyAnswersAcrossFiles) {
    struct Case {
        std::deque<int> answers;
        std::vector<bool> written;
        std::vector<int> kept;
        std::size_t asked;
        int stickyAfter;
    };
    const Case cases[] = {
        {{kReplace, kReplace, kReplace}, {true, true, true}, {0, 0, 0}, 3, kReplace},
        {{kSkip, kSkip, kSkip}, {false, false, false}, {1, 1, 1}, 3, kSkip},
        {{kReplace, kSkip, kReplace}, {true, false, true}, {0, 1, 0}, 3, kReplace},
        {{kReplaceAll}, {true, true, true}, {0, 0, 0}, 1, kReplaceAll},
        {{kSkipAll}, {false, false, false}, {1, 1, 1}, 1, kSkipAll},
        {{kSkip, kReplaceAll}, {false, true, true}, {1, 0, 0}, 2, kReplaceAll},
    };
    for (const Case& c : cases) {
        StickyReplaceAnswer() = kReplace;
        ReplaceScript script(c.answers);
        for (int i = 0; i < 3; ++i) {
            const std::wstring name = L"sticky" + std::to_wstring(i) + L".dll";
            Existing(name, L"version_1_0_0_5.dll", kPackaged);
            FileRecord record = Incoming(folder.Path(), name, L"1.0.0.4", kPackaged);
            EXPECT_EQ(MayReplaceExisting(record, Owner()), c.written[i]) << "file " << i << " first " << c.answers[0];
            EXPECT_EQ(record.KeepExisting, c.kept[i]) << "file " << i << " first " << c.answers[0];
        }
        EXPECT_EQ(script.asked.size(), c.asked);
        EXPECT_EQ(StickyReplaceAnswer(), c.stickyAfter);
    }
}

TEST_F(ReplacePolicyTest, WithoutAnOwnerNothingIsShownAndLaterFilesAreSkipped) {
    ReplaceScript script({});
    for (int i = 0; i < 2; ++i) {
        const std::wstring name = L"orphan" + std::to_wstring(i) + L".dll";
        Existing(name, L"version_1_0_0_5.dll", kPackaged);
        FileRecord record = Incoming(folder.Path(), name, L"1.0.0.4", kPackaged);
        EXPECT_FALSE(MayReplaceExisting(record, nullptr));
        EXPECT_EQ(record.KeepExisting, 0);
    }
    EXPECT_TRUE(script.asked.empty());
    EXPECT_EQ(StickyReplaceAnswer(), kNoOwner);
    // A later file with an owner is skipped all the same.
    Existing(L"later.dll", L"version_1_0_0_5.dll", kPackaged);
    FileRecord record = Incoming(folder.Path(), L"later.dll", L"1.0.0.4", kPackaged);
    EXPECT_FALSE(MayReplaceExisting(record, Owner()));
}

TEST_F(ReplacePolicyTest, ExtractionKeepsOrWritesByTheAnswer) {
    // The cabinet's alpha.txt and Beta.txt are dated 2021-03-04 05:06:08;
    // newer existing files without versions need the user.
    Existing(L"alpha.txt", nullptr, Stamp(2023, 1, 1, 0, 0, 0));
    Existing(L"Beta.txt", nullptr, Stamp(2023, 1, 1, 0, 0, 0));
    SetupDescription d;
    d.ComponentList.resize(2);
    d.ComponentList[1].Selected = 1;
    for (const wchar_t* name : {L"alpha.txt", L"Beta.txt"}) {
        d.FileList.push_back(Incoming(folder.Path(), name, L"", kPackaged));
        d.ComponentList[1].Files.push_back(d.FileList.size() - 1);
    }
    CabExtractor x(d);
    x.SetWindows(Owner(), nullptr);
    ReplaceScript script({kSkip, kReplace});
    EXPECT_TRUE(x.ExtractCabinet(TestData() + L"stored.cab"));
    EXPECT_FALSE(Exists(folder / L"vrel_alpha.txt"));
    EXPECT_EQ(d.FileList[0].KeepExisting, 1);
    EXPECT_EQ(d.FileList[0].Extracted, 0);
    EXPECT_EQ(ReadBytes(folder / L"vrel_Beta.txt"), ReadBytes(TestData() + L"src\\Beta.txt"));
    EXPECT_EQ(d.FileList[1].KeepExisting, 0);
    EXPECT_EQ(ReadBytes(folder / L"alpha.txt"), "plain existing file");
}

TEST_F(ReplacePolicyTest, DialogLinesShowSizeStampAndVersion) {
    EXPECT_EQ(ReplaceDialogLine(1234, Stamp(2021, 3, 4, 5, 6, 8), L"1.2.3.4"),
              L"    1234 байт, 04.03.2021 05:06:08, Версия 1.2.3.4");
    // Sizes of 2 GiB and more are not shown as negative numbers.
    EXPECT_EQ(ReplaceDialogLine(5000000000ULL, Stamp(2021, 12, 31, 23, 59, 59), L""),
              L"    5000000000 байт, 31.12.2021 23:59:59, Версия ");
}

namespace {

struct DialogSeen {
    std::wstring path, existingLine, name, newLine;
    LONG groupWeight = 0;
    bool found = false;
};

// Plays the user: waits for the dialog, reads it and presses a button. The
// window exists before its texts are filled in; a modal dialog becomes
// visible only after its initialisation, so the user waits for that, and
// presses again until the dialog is gone (a click that lands before the
// modal loop runs may be lost, and the caller would then wait for ever).
void PressWhenShown(int button, DialogSeen& seen) {
    for (int i = 0; i < 400; ++i) {
        HWND dialog = ::FindWindowW(L"#32770", L"Замена файла");
        if (dialog == nullptr || !::IsWindowVisible(dialog)) {
            ::Sleep(25);
            continue;
        }
        if (!seen.found) {
            wchar_t text[512] = {};
            ::GetDlgItemTextW(dialog, IDC_EXISTING_PATH, text, 512);
            seen.path = text;
            ::GetDlgItemTextW(dialog, IDC_EXISTING_LINE, text, 512);
            seen.existingLine = text;
            ::GetDlgItemTextW(dialog, IDC_NEW_NAME, text, 512);
            seen.name = text;
            ::GetDlgItemTextW(dialog, IDC_NEW_LINE, text, 512);
            seen.newLine = text;
            LOGFONTW font{};
            const HFONT groupFont =
                reinterpret_cast<HFONT>(::SendDlgItemMessageW(dialog, IDC_EXISTING_GROUP, WM_GETFONT, 0, 0));
            if (groupFont != nullptr && ::GetObjectW(groupFont, sizeof font, &font) != 0) seen.groupWeight = font.lfWeight;
            seen.found = true;
        }
        DWORD_PTR ignored = 0;
        ::SendMessageTimeoutW(::GetDlgItem(dialog, button), BM_CLICK, 0, 0, SMTO_ABORTIFHUNG, 5000, &ignored);
        for (int j = 0; j < 40 && ::IsWindow(dialog); ++j) ::Sleep(25);
        if (!::IsWindow(dialog)) return;
    }
}

}  // namespace

TEST_F(ReplacePolicyTest, TheRealDialogShowsBothFilesAndAnswersWithTheButtonPressed) {
    HWND owner = ::CreateWindowExW(0, L"STATIC", L"owner", WS_POPUP | WS_VISIBLE, 0, 0, 10, 10, nullptr, nullptr,
                                   nullptr, nullptr);
    if (owner == nullptr) GTEST_SKIP() << "no display for dialogs";
    Existing(L"shown.dll", L"version_1_0_0_5.dll", Stamp(2022, 7, 8, 9, 10, 12));
    FileRecord record = Incoming(folder.Path(), L"shown.dll", L"1.0.0.4", kPackaged);
    const ReplacePresenter previous = SetReplacePresenter(&ShowReplaceDialog);  // as the wizard does
    for (const int button : {IDC_REPLACE_BUTTON, IDC_REPLACE_ALL_BUTTON, IDC_SKIP_BUTTON, IDC_SKIP_ALL_BUTTON}) {
        StickyReplaceAnswer() = kReplace;
        record.KeepExisting = 0;
        DialogSeen seen;
        std::thread user([&] { PressWhenShown(button, seen); });
        const bool written = MayReplaceExisting(record, owner);
        user.join();
        ASSERT_TRUE(seen.found) << "dialog not shown";
        EXPECT_EQ(StickyReplaceAnswer(), button);
        EXPECT_EQ(written, button == IDC_REPLACE_BUTTON || button == IDC_REPLACE_ALL_BUTTON);
        EXPECT_EQ(record.KeepExisting, written ? 0 : 1);
        EXPECT_EQ(seen.path, folder / L"shown.dll");
        EXPECT_EQ(seen.name, L"shown.dll");
        EXPECT_NE(seen.existingLine.find(L" байт, 08.07.2022 09:10:12, Версия 1.0.0.5"), std::wstring::npos)
            << seen.existingLine;
        EXPECT_EQ(seen.newLine, L"    1234 байт, 04.03.2021 05:06:08, Версия 1.0.0.4");
        EXPECT_EQ(seen.groupWeight, FW_BOLD);
    }
    SetReplacePresenter(previous);
    ::DestroyWindow(owner);
}
