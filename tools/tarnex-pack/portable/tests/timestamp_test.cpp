// The checks of a time-stamp reply on made-up TSTInfos: the optional fields
// before the nonce, and a nonce or imprint of another request. (A real
// server's replies, granted, rejected and for another digest, go through
// tarnex_pack_test against `openssl ts`, and osslsigncode checks the
// stamped signature.)
#include <gtest/gtest.h>

#include <string>

#include "der.h"
#include "timestamp.h"

namespace pack::timestamp {
namespace {

const Bytes kDigest(32, '\x5A');
const Bytes kNonce("\x12\x34\x56\x78\x9A\xBC\xDE\xF0", 8);

Bytes TstInfo(const Bytes& digest, const Bytes& nonceInteger, bool accuracyAndOrdering) {
    using namespace der;
    Bytes fields = SmallInteger(1) + Oid("1.2.3.4.1") +
                   Sequence({Algorithm("2.16.840.1.101.3.4.2.1"), Octets(digest)}) + SmallInteger(7) +
                   Element(0x18, "20261209210000Z");
    if (accuracyAndOrdering) fields += Sequence({SmallInteger(1)}) + Boolean(false);
    return Element(0x30, fields + Integer(nonceInteger));
}

TEST(TimeStampReply, OnlyATokenForThisDigestAndNonceIsTaken) {
    std::wstring why;
    EXPECT_TRUE(CheckTstInfo(TstInfo(kDigest, kNonce, false), kDigest, kNonce, why));
    EXPECT_TRUE(CheckTstInfo(TstInfo(kDigest, kNonce, true), kDigest, kNonce, why));
    // A server may write the nonce with a leading zero byte.
    EXPECT_TRUE(CheckTstInfo(TstInfo(kDigest, Bytes(1, '\0') + kNonce, true), kDigest, kNonce, why));

    Bytes otherNonce = kNonce;
    otherNonce[7] = '\x01';
    EXPECT_FALSE(CheckTstInfo(TstInfo(kDigest, otherNonce, true), kDigest, kNonce, why));
    EXPECT_NE(std::wstring::npos, why.find(L"nonce differs"));
    Bytes otherDigest = kDigest;
    otherDigest[0] = '\x5B';
    EXPECT_FALSE(CheckTstInfo(TstInfo(otherDigest, kNonce, false), kDigest, kNonce, why));
    EXPECT_NE(std::wstring::npos, why.find(L"imprint differs"));

    const Bytes good = TstInfo(kDigest, kNonce, true);
    EXPECT_FALSE(CheckTstInfo(good.substr(0, good.size() - 1), kDigest, kNonce, why)) << "cut short";

    // The reply: a granted status with its token; a cut reply is none.
    const Bytes token = der::Sequence({der::Oid("1.2.840.113549.1.7.2")});
    const Bytes reply = der::Sequence({der::Sequence({der::SmallInteger(0)}), token});
    Bytes read;
    EXPECT_TRUE(TokenOf(reply, read, why));
    EXPECT_EQ(token, read);
    EXPECT_FALSE(TokenOf(reply.substr(0, reply.size() - 1), read, why));
    EXPECT_FALSE(TokenOf(der::Sequence({der::Sequence({der::SmallInteger(3)})}), read, why));
    EXPECT_NE(std::wstring::npos, why.find(L"waiting"));
}

}  // namespace
}  // namespace pack::timestamp
