// Registry, text and folder utilities, through their interfaces, against the
// Wine prefix's registry and C: drive.
#include <gtest/gtest.h>
#include <windows.h>
#include <shlobj.h>

#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "portable/text_pieces.h"
#include "services/app_context.h"
#include "services/folder_paths.h"
#include "services/registry_access.h"
#include "test_support.h"
#include "vrel/text_convert.h"

namespace tarnex {
namespace {

using test::Exists;
using test::MessageRecorder;
using test::ScratchFolder;

class UtilitiesTest : public ::testing::Test {
protected:
    void SetUp() override { test::SetUpTestContext(); }
};

// ---- text ----------------------------------------------------------------

TEST_F(UtilitiesTest, SplitTokenTakesFieldsFromTheLeft) {
    std::wstring text = L"one,two,three";
    std::wstring token;
    EXPECT_EQ(1, SplitToken(text, L",", token));
    EXPECT_EQ(L"one", token);
    EXPECT_EQ(L"two,three", text);

    std::wstring single = L"whole text";
    EXPECT_EQ(0, SplitToken(single, L",", token));
    EXPECT_EQ(L"whole text", token);
    EXPECT_TRUE(single.empty());

    std::wstring blanks = L" a , b";  // no trimming
    SplitToken(blanks, L",", token);
    EXPECT_EQ(L" a ", token);
    EXPECT_EQ(L" b", blanks);

    std::wstring empties = L",,x";
    EXPECT_EQ(1, SplitToken(empties, L",", token));
    EXPECT_TRUE(token.empty());
    EXPECT_EQ(L",x", empties);
}

TEST_F(UtilitiesTest, ReplaceAllAndCountOccurrences) {
    std::wstring out = L"untouched";
    EXPECT_EQ(0, ReplaceAll(static_cast<const wchar_t*>(nullptr), L"a", L"b", out));
    EXPECT_EQ(L"untouched", out);
    EXPECT_EQ(0u, CountOccurrences(nullptr, L"a"));

    EXPECT_EQ(1, ReplaceAll(L"C:\\Data\\", L"%Program Files%", L"C:\\Program Files", out));
    EXPECT_EQ(L"C:\\Data\\", out);

    EXPECT_EQ(1, ReplaceAll(L"%Program Files%\\A;%Program Files%\\B", L"%Program Files%", L"X:", out));
    EXPECT_EQ(L"X:\\A;X:\\B", out);

    // Non-overlapping, searching on after each match.
    EXPECT_EQ(2u, CountOccurrences(L"aaaaa", L"aa"));
    EXPECT_EQ(1, ReplaceAll(L"aaaaa", L"aa", L"b", out));
    EXPECT_EQ(L"bba", out);
    EXPECT_EQ(1, ReplaceAll(L"xax", L"a", L"", out));
    EXPECT_EQ(L"xx", out);
}

TEST_F(UtilitiesTest, AppendTextGrowsAnOwnedText) {
    std::wstring text;
    AppendText(text, L":Repeat\r\n");
    AppendText(text, L"del \"x\"\r\n");
    EXPECT_EQ(L":Repeat\r\ndel \"x\"\r\n", text);
}

TEST_F(UtilitiesTest, ReadIntUsesTheLeadingDigits) {
    EXPECT_EQ(12, ReadInt(L"12abc"));
    EXPECT_EQ(0, ReadInt(L"abc"));
    EXPECT_EQ(0, ReadInt(L""));
    EXPECT_EQ(-5, ReadInt(L"-5"));
    EXPECT_EQ(7, ReadInt(L"  7"));
    EXPECT_EQ(2147483647, ReadInt(L"99999999999999999999"));
    EXPECT_EQ(-2147483647 - 1, ReadInt(L"-99999999999999999999"));
}

// ---- registry ------------------------------------------------------------

const std::wstring kBase = L"Software\\TarnexUtilitiesTest";

class RegistryTest : public UtilitiesTest {
protected:
    void TearDown() override { DeleteRegTree(2, kBase); }
};

TEST_F(RegistryTest, RootAndTypeIndices) {
    EXPECT_EQ(HKEY_CLASSES_ROOT, vrel::RootKeyOfIndex(1));
    EXPECT_EQ(HKEY_CURRENT_USER, vrel::RootKeyOfIndex(2));
    EXPECT_EQ(HKEY_LOCAL_MACHINE, vrel::RootKeyOfIndex(3));
    EXPECT_EQ(HKEY_USERS, vrel::RootKeyOfIndex(4));
    EXPECT_EQ(nullptr, vrel::RootKeyOfIndex(0));
    EXPECT_EQ(nullptr, vrel::RootKeyOfIndex(5));
    EXPECT_EQ(static_cast<DWORD>(REG_SZ), RegTypeOfIndex(0));
    EXPECT_EQ(static_cast<DWORD>(REG_BINARY), RegTypeOfIndex(1));
    EXPECT_EQ(static_cast<DWORD>(REG_DWORD), RegTypeOfIndex(2));
    EXPECT_EQ(static_cast<DWORD>(REG_NONE), RegTypeOfIndex(3));
    EXPECT_EQ(static_cast<DWORD>(REG_NONE), RegTypeOfIndex(-1));
}

TEST_F(RegistryTest, SetCreatesTheKeyAndQueryReadsExactlyWhatWasWritten) {
    const std::wstring key = kBase + L"\\A\\B";
    const DWORD number = 1024;
    ASSERT_EQ(1, SetRegValue(2, key, L"Count", &number, sizeof(number), REG_DWORD));
    std::vector<BYTE> data;
    ASSERT_EQ(1, QueryRegValue(2, key, L"Count", data, REG_DWORD));
    ASSERT_EQ(4u, data.size());
    DWORD back = 0;
    std::memcpy(&back, data.data(), 4);
    EXPECT_EQ(1024u, back);

    // Wrong type, missing value, missing key, unknown root: all fail.
    EXPECT_EQ(0, QueryRegValue(2, key, L"Count", data, REG_SZ));
    EXPECT_EQ(0, QueryRegValue(2, key, L"Missing", data, REG_DWORD));
    EXPECT_EQ(0, QueryRegValue(2, key + L"\\Nope", L"Count", data, REG_DWORD));
    EXPECT_EQ(0, QueryRegValue(7, key, L"Count", data, REG_DWORD));
    EXPECT_EQ(0, SetRegValue(0, key, L"Count", &number, sizeof(number), REG_DWORD));

    // Only the type's low byte is written and compared.
    ASSERT_EQ(1, SetRegValue(2, key, L"Text", L"ab", 6, 0x100 | REG_SZ));
    ASSERT_EQ(1, QueryRegValue(2, key, L"Text", data, 0x200 | REG_SZ));
    EXPECT_EQ(6u, data.size());
}

TEST_F(RegistryTest, TextValuesWithAndWithoutTerminator) {
    ASSERT_EQ(1, SetRegText(2, kBase, L"Path", L"C:\\Program Files\\X\\"));
    std::wstring text;
    ASSERT_EQ(1, QueryRegText(2, kBase, L"Path", text));
    EXPECT_EQ(L"C:\\Program Files\\X\\", text);

    // Written without terminator (as the continuation entry is), and with an
    // odd byte count: read safely, never past the data.
    ASSERT_EQ(1, SetRegValue(2, kBase, L"Bare", L"abc", 6, REG_SZ));
    ASSERT_EQ(1, QueryRegText(2, kBase, L"Bare", text));
    EXPECT_EQ(L"abc", text);
    ASSERT_EQ(1, SetRegValue(2, kBase, L"Odd", L"abc", 5, REG_SZ));
    ASSERT_EQ(1, QueryRegText(2, kBase, L"Odd", text));
    EXPECT_EQ(L"ab", text);
}

TEST_F(RegistryTest, DeleteRegValue) {
    ASSERT_EQ(1, SetRegText(2, kBase, L"Gone", L"x"));
    EXPECT_EQ(1, DeleteRegValue(2, kBase, L"Gone"));
    std::wstring text;
    EXPECT_EQ(0, QueryRegText(2, kBase, L"Gone", text));
    EXPECT_EQ(1, DeleteRegValue(2, kBase, L"NeverThere"));  // the value's result is ignored
    EXPECT_EQ(0, DeleteRegValue(2, kBase + L"\\NoKey", L"Gone"));
}

TEST_F(RegistryTest, DeleteRegTreeRemovesSubkeysWhoseNamesGrowLonger) {
    // Enumeration order is alphabetical: each name is longer than the one
    // before, so a name buffer size carried over between calls would fail.
    const std::wstring names[] = {L"a", L"bb" + std::wstring(40, L'b'), L"c" + std::wstring(200, L'c')};
    for (const std::wstring& name : names) {
        ASSERT_EQ(1, SetRegText(2, kBase + L"\\Tree\\" + name, L"v", L"1"));
        ASSERT_EQ(1, SetRegText(2, kBase + L"\\Tree\\" + name + L"\\deeper\\deepest", L"v", L"1"));
    }
    ASSERT_EQ(1, SetRegText(2, kBase + L"\\Keep", L"v", L"1"));
    EXPECT_EQ(1, DeleteRegTree(2, kBase + L"\\Tree\\"));  // a trailing backslash is fine
    EXPECT_EQ(0, RegKeyExists(2, kBase + L"\\Tree"));
    EXPECT_EQ(1, RegKeyExists(2, kBase + L"\\Keep"));
    EXPECT_EQ(0, DeleteRegTree(2, kBase + L"\\Tree"));  // already gone
}

TEST_F(RegistryTest, DeleteRegTreeRefusesTheRootItself) {
    ASSERT_EQ(1, SetRegText(2, kBase, L"v", L"1"));
    EXPECT_EQ(0, DeleteRegTree(2, L""));
    EXPECT_EQ(0, DeleteRegTree(2, L"\\"));
    EXPECT_EQ(1, RegKeyExists(2, kBase));
}

// ---- folders -------------------------------------------------------------

// What failed, as the caller tells it: the question and the path it names.
::testing::AssertionResult FailsWith(const std::optional<Failure>& failure, Question question,
                                     const std::wstring& path) {
    if (!failure) return ::testing::AssertionFailure() << "made";
    if (failure->question != question || failure->first != path)
        return ::testing::AssertionFailure() << "question " << static_cast<int>(failure->question) << " naming "
                                             << vrel::ToNarrow(failure->first);
    return ::testing::AssertionSuccess();
}

TEST_F(UtilitiesTest, CreateFolderPathCreatesMissingParents) {
    ScratchFolder scratch(L"folders");
    MessageRecorder boxes;
    std::wstring one = scratch.Path() + L"one";
    EXPECT_EQ(CreateFolderPath(one), std::nullopt);
    EXPECT_TRUE(Exists(one));

    std::wstring deep = scratch.Path() + L"a\\b\\c";
    EXPECT_EQ(CreateFolderPath(deep), std::nullopt);
    EXPECT_TRUE(Exists(deep));
    EXPECT_EQ(CreateFolderPath(deep), std::nullopt);  // exists: fine again

    // An existing file counts as a folder (compared without letter case);
    // below it nothing can be created.
    test::WriteBytes(scratch.Path() + L"taken", "x");
    std::wstring taken = scratch.Path() + L"TAKEN";
    EXPECT_EQ(CreateFolderPath(taken), std::nullopt);
    std::wstring below = scratch.Path() + L"taken\\sub";
    EXPECT_TRUE(FailsWith(CreateFolderPath(below), Question::kFolderCannotCreate, below));
    // The layer that makes folders tells nobody: its caller does.
    EXPECT_TRUE(boxes.Shown().empty());
}

TEST_F(UtilitiesTest, DrivesThatAreNotFixedDisksAreRefused) {
    // A drive letter that does not exist: not a fixed disk, named by its root.
    std::wstring missingDrive = L"Q:\\Tarnex\\Sub";
    ASSERT_EQ(DRIVE_NO_ROOT_DIR, ::GetDriveTypeW(L"q:\\"));
    EXPECT_TRUE(FailsWith(CreateFolderPath(missingDrive), Question::kDriveTypeUnsupported, L"q:\\"));

    // A short path is rewritten in place to its root form.
    std::wstring drive = L"C";
    EXPECT_EQ(CreateFolderPath(drive), std::nullopt);
    EXPECT_EQ(L"c:\\", drive);

    // Not a drive letter: named in the rewritten form.
    std::wstring notDrive = L"1:\\x";
    EXPECT_TRUE(FailsWith(CreateFolderPath(notDrive), Question::kDriveNotFound, L"1:\\"));

    // A relative path has no drive to start from.
    std::wstring relative = L"relative\\folder";
    EXPECT_TRUE(FailsWith(CreateFolderPath(relative), Question::kDriveNotFound, L"relative"));
    EXPECT_FALSE(Exists(L"relative"));
}

TEST_F(UtilitiesTest, EnsureFolderWantsTheDriveForm) {
    ScratchFolder scratch(L"ensure");
    std::optional<Failure> failure;
    EXPECT_TRUE(EnsureFolder(scratch.Path() + L"x\\y\\", failure));
    EXPECT_TRUE(Exists(scratch.Path() + L"x\\y"));
    EXPECT_TRUE(EnsureFolder(L"C:\\", failure));
    EXPECT_FALSE(EnsureFolder(L"\\\\server\\share\\dir", failure));
}

TEST_F(UtilitiesTest, RemoveEmptySubfoldersKeepsFilesAndTheFolderItself) {
    ScratchFolder scratch(L"prune");
    const std::wstring root = scratch.Path() + L"root";
    for (const wchar_t* sub : {L"\\empty1", L"\\empty2\\deeper\\deepest", L"\\full\\inner", L"\\mixed\\emptychild"})
        ASSERT_EQ(1, ::SHCreateDirectoryExW(nullptr, (root + sub).c_str(), nullptr) == ERROR_SUCCESS ? 1 : 0);
    test::WriteBytes(root + L"\\full\\inner\\keep.txt", "k");
    test::WriteBytes(root + L"\\mixed\\file.txt", "k");
    test::WriteBytes(root + L"\\top.txt", "k");

    RemoveEmptySubfolders(root);  // without a trailing backslash

    EXPECT_TRUE(Exists(root));
    EXPECT_TRUE(Exists(root + L"\\top.txt"));
    EXPECT_FALSE(Exists(root + L"\\empty1"));
    EXPECT_FALSE(Exists(root + L"\\empty2"));
    EXPECT_TRUE(Exists(root + L"\\full\\inner\\keep.txt"));
    EXPECT_TRUE(Exists(root + L"\\mixed\\file.txt"));
    EXPECT_FALSE(Exists(root + L"\\mixed\\emptychild"));

    RemoveEmptySubfolders(scratch.Path() + L"does_not_exist\\");  // nothing happens
}

}  // namespace
}  // namespace tarnex
