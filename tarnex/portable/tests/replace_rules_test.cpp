// Version texts, the version and time rules of the replace policy, and the
// sticky answer across files.
#include <gtest/gtest.h>

#include <vector>

#include "portable/replace_rules.h"

using namespace tarnex;

TEST(VersionText, FormatsTheFixedVersionMostSignificantFirst) {
    EXPECT_EQ(FormatFileVersion(0x00010002, 0x00030004), L"1.2.3.4");
    EXPECT_EQ(FormatFileVersion(0xFFFF0000, 0x0000FFFF), L"65535.0.0.65535");
}

TEST(VersionText, ComparesEmptyIdenticalAndNumericParts) {
    EXPECT_EQ(CompareVersionText(L"", L""), 2);
    EXPECT_EQ(CompareVersionText(L"", L"1.0.0.0"), -1);
    EXPECT_EQ(CompareVersionText(L"1.0.0.0", L""), 1);
    EXPECT_EQ(CompareVersionText(L"1.0.0.4", L"1.0.0.4"), 0);
    EXPECT_EQ(CompareVersionText(L"1.0.0.5", L"1.0.0.4"), 1);
    EXPECT_EQ(CompareVersionText(L"1.0.0.4", L"1.0.1.0"), -1);
    EXPECT_EQ(CompareVersionText(L"10.0.0.0", L"9.0.0.0"), 1);  // numbers, not texts
    EXPECT_EQ(CompareVersionText(L"2.0", L"1.9.9.9"), 1);
    EXPECT_EQ(CompareVersionText(L"1.0.0.0", L"1.0.0"), 0);    // different texts, equal numbers
    EXPECT_EQ(CompareVersionText(L"1.x.0.0", L"1.0.0.0"), 0);  // non-number counts 0
    EXPECT_EQ(CompareVersionText(L"1.0.0.4 beta", L"1.0.0.3"), 1);
    EXPECT_EQ(CompareVersionText(L"99999999999999999999999.0", L"1.0"), 1);  // saturates, no wrap
}

namespace {
LocalStamp At(int h, int m, int s, int ms = 0) { return LocalStamp{2024, 5, 17, h, m, s, ms}; }
}  // namespace

TEST(ReplacePolicy, VersionDecidesBeforeTime) {
    EXPECT_TRUE(WriteWithoutAsking(-1, At(12, 0, 1), At(12, 0, 0)));   // existing older by version
    EXPECT_FALSE(WriteWithoutAsking(1, At(11, 0, 0), At(12, 0, 0)));   // existing newer by version
    EXPECT_TRUE(WriteWithoutAsking(0, At(12, 0, 0), At(12, 0, 0)));    // equal version, same second
    EXPECT_FALSE(WriteWithoutAsking(0, At(12, 0, 1), At(12, 0, 0)));   // one second later: ask
    EXPECT_FALSE(WriteWithoutAsking(0, At(12, 0, 0, 1), At(12, 0, 0)));  // a millisecond later: ask
    EXPECT_TRUE(WriteWithoutAsking(2, At(11, 59, 59), At(12, 0, 0)));  // no versions: times alone
    EXPECT_FALSE(WriteWithoutAsking(2, LocalStamp{2025, 1, 1, 0, 0, 0, 0}, At(12, 0, 0)));
}

TEST(ReplacePolicy, StickyAnswersHoldForTheRestOfTheRun) {
    struct Case {
        std::vector<int> answers;  // what the dialog answers, in order
        std::vector<bool> written, kept;
        int asked;
    };
    const std::vector<Case> cases = {
        {{1, 1, 1}, {true, true, true}, {false, false, false}, 3},
        {{2, 2, 2}, {false, false, false}, {true, true, true}, 3},
        {{1, 3}, {true, true, true}, {false, false, false}, 2},
        {{2, 4}, {false, false, false}, {true, true, true}, 2},
        {{3}, {true, true, true}, {false, false, false}, 1},
        {{-2}, {false, false, false}, {false, false, false}, 1},  // no owner window
    };
    for (const Case& c : cases) {
        int sticky = kReplace;
        int asked = 0;
        for (int file = 0; file < 3; ++file) {
            const ReplaceOutcome out = DecideByAnswer(sticky, [&] { return c.answers.at(asked++); });
            EXPECT_EQ(out.write, c.written[file]) << "file " << file << " first answer " << c.answers[0];
            EXPECT_EQ(out.keepExisting, c.kept[file]) << "file " << file << " first answer " << c.answers[0];
        }
        EXPECT_EQ(asked, c.asked);
    }
}
