// Pieces of environment-variable lists: splitting, adding and taking back.
#include <gtest/gtest.h>

#include "portable/env_pieces.h"

using namespace tarnex;
using Pieces = std::vector<std::wstring>;

TEST(EnvPieces, SplitStopsAtTheFirstEmptyPiece) {
    EXPECT_EQ(SplitEnvPieces(L"a;b"), (Pieces{L"a", L"b"}));
    EXPECT_EQ(SplitEnvPieces(L"a;;b"), (Pieces{L"a"}));
    EXPECT_EQ(SplitEnvPieces(L";a"), Pieces{});
    EXPECT_EQ(SplitEnvPieces(L"a;"), (Pieces{L"a"}));
    EXPECT_EQ(SplitEnvPieces(L""), Pieces{});
    EXPECT_EQ(SplitEnvPieces(L"x;y;z"), (Pieces{L"x", L"y", L"z"}));
}

TEST(EnvPieces, OneTrailingBackslashIsRemoved) {
    EXPECT_EQ(StripOneTrailingBackslash(L"C:\\Tools\\"), L"C:\\Tools");
    EXPECT_EQ(StripOneTrailingBackslash(L"C:\\Tools\\\\"), L"C:\\Tools\\");
    EXPECT_EQ(StripOneTrailingBackslash(L"C:\\Tools"), L"C:\\Tools");
    EXPECT_EQ(StripOneTrailingBackslash(L""), L"");
}

TEST(EnvPieces, AppendAddsOnlyMissingPieces) {
    EXPECT_EQ(AppendEnvPiece(L"c:\\windows;c:\\bin", L"c:\\bin"), L"");  // present: nothing written
    EXPECT_EQ(AppendEnvPiece(L"c:\\windows", L"d:\\app"), L"c:\\windows;d:\\app");
    EXPECT_EQ(AppendEnvPiece(L"c:\\bin2", L"c:\\bin"), L"c:\\bin2;c:\\bin");
    EXPECT_EQ(AppendEnvPiece(L"c:\\a;", L"c:\\b"), L"c:\\a;c:\\b");
    EXPECT_EQ(AppendEnvPiece(L"c:\\bin;c:\\x", L"c:\\bin"), L"");
    EXPECT_EQ(AppendEnvPiece(L"", L"c:\\bin"), L"c:\\bin");
    EXPECT_EQ(AppendEnvPiece(L"x:\\c:\\bin", L"c:\\bin"), L"");  // the text before is not looked at
}

TEST(EnvPieces, TakingBackRemovesTheFirstWholeElement) {
    EXPECT_EQ(RemoveEnvPiece(L"a;b;c", L"b"), L"a;c");
    EXPECT_EQ(RemoveEnvPiece(L"a;b", L"a"), L"b");
    EXPECT_EQ(RemoveEnvPiece(L"a;b;c", L"c"), L"a;b");
    EXPECT_EQ(RemoveEnvPiece(L"a", L"a"), L"");
    EXPECT_EQ(RemoveEnvPiece(L"a;b;b", L"b"), L"a;b");
    EXPECT_EQ(RemoveEnvPiece(L"ab;b", L"b"), L"ab");
    EXPECT_FALSE(RemoveEnvPiece(L"a;bc", L"b").has_value());
    EXPECT_FALSE(RemoveEnvPiece(L"xa;b", L"a").has_value());  // "a" only ends "xa": data kept
    EXPECT_FALSE(RemoveEnvPiece(L"", L"a").has_value());
    EXPECT_FALSE(RemoveEnvPiece(L"a", L"").has_value());
}
