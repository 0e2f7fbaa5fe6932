// Names joined to a folder must not leave it.
#include <gtest/gtest.h>

#include "portable/path_guard.h"

using tarnex::StaysInsideFolder;

TEST(PathGuard, PlainNamesAndSubfoldersStayInside) {
    for (const wchar_t* ok : {L"file.dll", L"sub\\file.dll", L"a/b/c.txt", L"..file", L"file..", L"a\\.hidden",
                               L"console.txt", L"nul_file", L"COM10", L"LPT", L"auxiliary\\x", L"sub\\CONFIG.SYS"})
        EXPECT_TRUE(StaysInsideFolder(ok)) << ok;
}

TEST(PathGuard, EscapesAreRefused) {
    for (const wchar_t* bad : {L"", L"..\\evil.dll", L"a\\..\\..\\evil", L"..", L"a/../../b", L"\\Windows\\x.dll",
                               L"/etc/x", L"C:\\Windows\\x.dll", L"C:x.dll", L"file.txt:stream", L"a\\...\\b",
                               L".", L"a\\. \\b", L"\\\\server\\share\\x"})
        EXPECT_FALSE(StaysInsideFolder(bad)) << bad;
}

TEST(PathGuard, DeviceNamesAreRefusedInAnyComponent) {
    for (const wchar_t* bad : {L"CON", L"nul", L"NUL.txt", L"com1", L"COM9.log", L"lpt3", L"Aux.dat", L"prn",
                               L"CON .txt", L"nul  ", L"conin$", L"CONOUT$", L"sub\\NUL", L"NUL\\file.txt",
                               L"a/com2.x.y", L"COM\u00B9"})
        EXPECT_FALSE(tarnex::StaysInsideFolder(bad)) << bad;
}
