// Names joined to a folder must not leave it.
#include <gtest/gtest.h>

#include "portable/path_guard.h"

using tarnex::StaysInsideFolder;

TEST(PathGuard, PlainNamesAndSubfoldersStayInside) {
    for (const wchar_t* ok : {L"file.dll", L"sub\\file.dll", L"a/b/c.txt", L"..file", L"file..", L"a\\.hidden"})
        EXPECT_TRUE(StaysInsideFolder(ok)) << ok;
}

TEST(PathGuard, EscapesAreRefused) {
    for (const wchar_t* bad : {L"", L"..\\evil.dll", L"a\\..\\..\\evil", L"..", L"a/../../b", L"\\Windows\\x.dll",
                               L"/etc/x", L"C:\\Windows\\x.dll", L"C:x.dll", L"file.txt:stream", L"a\\...\\b",
                               L".", L"a\\. \\b", L"\\\\server\\share\\x"})
        EXPECT_FALSE(StaysInsideFolder(bad)) << bad;
}
