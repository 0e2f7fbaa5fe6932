// The SHA-256 of our own against the standard's vectors, through both the
// processor's rounds and the plain ones, whole and in uneven pieces.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "portable/package_seal.h"
#include "portable/sha256.h"

using namespace tarnex;

namespace {

std::string Digest(const std::string& bytes, bool plain, std::size_t piece) {
    Sha256Stream stream;
    if (plain) stream.UsePlainRounds();
    for (std::size_t at = 0; at < bytes.size(); at += piece)
        stream.Add(bytes.data() + at, std::min(piece, bytes.size() - at));
    return HexDigest(stream.Finish());
}

TEST(Sha256, KnownVectorsThroughBothRoundsAndAnyPieces) {
    const std::string million(1000000, 'a');
    const struct {
        std::string input, digest;
    } vectors[] = {
        {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
         "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
        {"abcdefghbcdefghicdefghijdefghijkefghijklfghijklmghijklmnhijklmnoijklmnopjklmnopqklmnopqrlmnopqrsmnopqrstnopqrstu",
         "cf5b16a778af8380036ce59e7b0492370b249b11e8f07a51afac45037afee9d1"},
        {million, "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
    };
    for (const bool plain : {false, true})
        for (const std::size_t piece : {std::size_t{1}, std::size_t{63}, std::size_t{64}, std::size_t{1000}, std::size_t{1} << 20})
            for (const auto& v : vectors) {
                if (piece == 1 && v.input.size() > 1000) continue;
                EXPECT_EQ(Digest(v.input, plain, piece), v.digest) << "plain " << plain << ", pieces of " << piece;
            }
}

TEST(Sha256, ProcessorAndPlainRoundsAgreeOnEveryLengthAroundABlock) {
    std::string bytes;
    for (int i = 0; i < 300; ++i) {
        EXPECT_EQ(Digest(bytes, false, 7), Digest(bytes, true, 300)) << bytes.size() << " bytes";
        bytes.push_back(static_cast<char>(i * 37 + 11));
    }
}

}  // namespace
