// RFC 3161 time stamps of a signature, without Windows calls: the request
// sent to a time-stamp server, and the checks of its reply. The transport
// (WinHTTP) and the token's PKCS #7 envelope (CryptoAPI) are the caller's.
#pragma once

#include <string>

namespace pack::timestamp {

using Bytes = std::string;

// TimeStampReq for a SHA-256 digest with the nonce (a positive INTEGER's
// big-endian bytes, no leading zero), asking for the server's certificate.
Bytes Request(const Bytes& digestSha256, const Bytes& nonce);

// The token (a ContentInfo, DER) of a TimeStampResp; false with why when
// the server did not grant one or the reply is no TimeStampResp.
bool TokenOf(const Bytes& reply, Bytes& token, std::wstring& why);

// Checks the token's TSTInfo against what was asked: a SHA-256 imprint of
// the digest, and the nonce. False with why when it differs.
bool CheckTstInfo(const Bytes& tstInfo, const Bytes& digestSha256, const Bytes& nonce, std::wstring& why);

}  // namespace pack::timestamp
