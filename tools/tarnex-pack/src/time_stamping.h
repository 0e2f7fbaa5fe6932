// RFC 3161 time stamps for signatures: the request goes to each server in
// turn over WinHTTP until one answers with a token that CryptoAPI opens,
// whose signature holds and which stamps exactly this signature.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace pack {

class TimeStamper {
public:
    // Servers are http:// or https:// addresses; each gets timeoutMs for
    // every step (name, connection, request, reply).
    TimeStamper(std::vector<std::wstring> servers, DWORD timeoutMs);

    bool empty() const { return servers_.empty(); }

    // The DER token stamping the signature (the SignerInfo's encrypted
    // digest, big-endian); false with every server's failure in error.
    bool Stamp(const std::string& signature, std::string& token, std::wstring& error) const;

private:
    std::vector<std::wstring> servers_;
    DWORD timeoutMs_;
};

}  // namespace pack
