// The quiet command line: what an administrator writes is read as meant, and
// nothing in it can turn into "/u" or "/r" by accident.
#include <gtest/gtest.h>

#include "portable/quiet_switches.h"

using tarnex::ParseQuietSwitches;

TEST(QuietSwitches, AdministratorsCommandLinesReadAsMeant) {
    auto s = ParseQuietSwitches(L"/quiet /acceptos \"/dir=C:\\Program Files\\Vrel Demo\\\"");
    EXPECT_TRUE(s.quiet && s.acceptAnySystem && !s.removal && !s.continuation) << s.error;
    EXPECT_EQ(L"C:\\Program Files\\Vrel Demo\\", s.installFolder);

    s = ParseQuietSwitches(L"/QUIET  /Dir=\"D:\\Мои программы\\x\"\t/u");
    EXPECT_TRUE(s.quiet && s.removal && s.error.empty()) << s.error;
    EXPECT_EQ(L"D:\\Мои программы\\x", s.installFolder);

    // The continuation entry and the quiet uninstall command as written.
    s = ParseQuietSwitches(L"/r /u /quiet /acceptos");
    EXPECT_TRUE(s.quiet && s.removal && s.continuation && s.acceptAnySystem && s.error.empty());

    // A fleet tool's line: its log per run, and /norestart by habit.
    s = ParseQuietSwitches(L"/quiet /norestart /acceptos \"/log=C:\\Logs\\run 1.log\" /NoDowngrade");
    EXPECT_TRUE(s.quiet && s.acceptAnySystem && s.noDowngrade && s.error.empty()) << s.error;
    EXPECT_EQ(L"C:\\Logs\\run 1.log", s.logFile);

    // Without "/quiet" the command line is as free as it always was; only
    // "/log=" is read, and a wrong one refused.
    s = ParseQuietSwitches(L"/uninstall /dir=C:/u /whatever");
    EXPECT_FALSE(s.quiet);
    EXPECT_TRUE(s.error.empty());
    s = ParseQuietSwitches(L"/u /LOG=D:\\setup.log");
    EXPECT_TRUE(!s.quiet && s.error.empty()) << s.error;
    EXPECT_EQ(L"D:\\setup.log", s.logFile);
    EXPECT_FALSE(ParseQuietSwitches(L"/log=setup.log").error.empty());
}

TEST(QuietSwitches, AnythingThatCouldHideOrMisspellASwitchIsRefused) {
    for (const wchar_t* bad :
         {L"/quiet /dir=C:\\x/u", L"/quiet \"/dir=C:\\a/r b\"", L"/quiet /dir=C:/Program Files", L"/quiet /dir=",
          L"/quiet /dir=relative\\x", L"/quiet /dir=C:\\a|b", L"/quiet /dir=C:\\a /dir=C:\\b", L"/quiet /uninstall",
          L"/quiet /U", L"/quiet /R", L"/quiet /remove", L"/quiet -u", L"/quiet /dirC:\\x", L"/quiet C:\\x",
          L"/quiet \"/\"u", L"/quiet /\"r\"", L"/quiet /log=", L"/quiet /log=C:\\Logs\\", L"/quiet /log=C:/x.log",
          L"/quiet /log=x.log", L"/quiet /log=C:\\a.log /log=C:\\b.log", L"/quiet /norestart=1"}) {
        const auto s = ParseQuietSwitches(bad);
        EXPECT_TRUE(s.quiet) << bad;
        EXPECT_FALSE(s.error.empty()) << bad;
    }
}
