#include "timestamp.h"

#include <string_view>

#include "der.h"

namespace pack::timestamp {
namespace {

constexpr char kSha256[] = "2.16.840.1.101.3.4.2.1";
constexpr unsigned char kSha256Oid[] = {0x60, 0x86, 0x48, 0x01, 0x65, 0x03, 0x04, 0x02, 0x01};

bool Fail(std::wstring& why, const wchar_t* text) {
    why = text;
    return false;
}

// PKIStatus texts, as RFC 3161 names them.
std::wstring StatusText(std::string_view status) {
    static const wchar_t* const kNames[] = {L"granted", L"granted with modifications", L"rejection", L"waiting",
                                            L"revocation warning", L"revocation notification"};
    const std::string_view n = der::Magnitude(status);
    if (n.size() == 1 && static_cast<unsigned char>(n[0]) < 6) return kNames[static_cast<unsigned char>(n[0])];
    return L"an unknown status";
}

// The PKIFreeText's first UTF8String, ASCII shown as is, the rest as "?".
std::wstring FreeText(std::string_view statusInfo) {
    der::Item text;
    if (!der::Expect(statusInfo, 0x30, text)) return L"";
    std::string_view strings = text.value;
    der::Item first;
    if (!der::Expect(strings, 0x0C, first)) return L"";
    std::wstring out;
    for (const char c : first.value.substr(0, 200))
        out += c >= 0x20 && c < 0x7F ? static_cast<wchar_t>(c) : L'?';
    return out;
}

}  // namespace

Bytes Request(const Bytes& digestSha256, const Bytes& nonce) {
    return der::Sequence({der::SmallInteger(1), der::Sequence({der::Algorithm(kSha256), der::Octets(digestSha256)}),
                          der::Integer(nonce), der::Boolean(true)});
}

bool TokenOf(const Bytes& reply, Bytes& token, std::wstring& why) {
    std::string_view in = reply;
    der::Item response, statusInfo, status, tokenItem;
    if (!der::Expect(in, 0x30, response) || !in.empty()) return Fail(why, L"the reply is no time-stamp response");
    std::string_view fields = response.value;
    if (!der::Expect(fields, 0x30, statusInfo)) return Fail(why, L"the reply is no time-stamp response");
    std::string_view info = statusInfo.value;
    if (!der::Expect(info, 0x02, status)) return Fail(why, L"the reply's status is missing");
    const std::string_view value = der::Magnitude(status.value);
    // 0 granted, 1 granted with modifications: both carry a token.
    if (value.size() != 1 || static_cast<unsigned char>(value[0]) > 1) {
        why = L"the server did not grant a time stamp: " + StatusText(status.value);
        const std::wstring text = FreeText(info);
        if (!text.empty()) why += L" (" + text + L")";
        return false;
    }
    if (!der::Expect(fields, 0x30, tokenItem)) return Fail(why, L"the reply grants a time stamp but holds no token");
    token.assign(tokenItem.whole);
    return true;
}

bool CheckTstInfo(const Bytes& tstInfo, const Bytes& digestSha256, const Bytes& nonce, std::wstring& why) {
    std::string_view in = tstInfo;
    der::Item info, version, policy, imprint, algorithm, algorithmOid, hashed, serial, time;
    if (!der::Expect(in, 0x30, info)) return Fail(why, L"the token holds no time-stamp information");
    std::string_view fields = info.value;
    if (!der::Expect(fields, 0x02, version) || !der::Expect(fields, 0x06, policy) ||
        !der::Expect(fields, 0x30, imprint) || !der::Expect(fields, 0x02, serial) ||
        !der::Expect(fields, 0x18, time))
        return Fail(why, L"the token's time-stamp information is malformed");
    std::string_view imprintFields = imprint.value;
    if (!der::Expect(imprintFields, 0x30, algorithm) || !der::Expect(imprintFields, 0x04, hashed))
        return Fail(why, L"the token's message imprint is malformed");
    std::string_view algorithmFields = algorithm.value;
    if (!der::Expect(algorithmFields, 0x06, algorithmOid) ||
        algorithmOid.value != std::string_view(reinterpret_cast<const char*>(kSha256Oid), sizeof kSha256Oid))
        return Fail(why, L"the token stamps a digest other than SHA-256");
    if (hashed.value != digestSha256) return Fail(why, L"the token stamps another signature (its message imprint differs)");
    // accuracy and ordering may come before the nonce.
    der::Item item;
    (void)der::Expect(fields, 0x30, item);
    (void)der::Expect(fields, 0x01, item);
    der::Item tokenNonce;
    if (!der::Expect(fields, 0x02, tokenNonce)) return Fail(why, L"the token carries no nonce");
    if (der::Magnitude(tokenNonce.value) != der::Magnitude(nonce)) return Fail(why, L"the token answers another request (its nonce differs)");
    return true;
}

}  // namespace pack::timestamp
