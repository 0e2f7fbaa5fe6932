#include "time_stamping.h"

#include <wincrypt.h>
#include <winhttp.h>

#include <cstring>
#include <string_view>
#include <utility>

#include "der.h"

#include "timestamp.h"
#include "vrel/crypt_handles.h"
#include "vrel/module_exports.h"
#include "vrel/system_folder.h"
#include "vrel/unique_handle.h"

namespace pack {
namespace {

// WinHTTP is no KnownDLL: imported by name, a winhttp.dll beside
// tarnex-pack would be loaded instead. It is loaded from the system folder
// by its full path, at the first time stamp.
struct WinHttp {
    decltype(&::WinHttpOpen) Open = nullptr;
    decltype(&::WinHttpSetTimeouts) SetTimeouts = nullptr;
    decltype(&::WinHttpConnect) Connect = nullptr;
    decltype(&::WinHttpOpenRequest) OpenRequest = nullptr;
    decltype(&::WinHttpSendRequest) SendRequest = nullptr;
    decltype(&::WinHttpReceiveResponse) ReceiveResponse = nullptr;
    decltype(&::WinHttpQueryHeaders) QueryHeaders = nullptr;
    decltype(&::WinHttpReadData) ReadData = nullptr;
    decltype(&::WinHttpCrackUrl) CrackUrl = nullptr;
    decltype(&::WinHttpCloseHandle) CloseHandle = nullptr;
    bool loaded = false;
};

const WinHttp& Http() {
    static const WinHttp http = [] {
        WinHttp h;
        // Kept loaded to the process's end, as an import would be.
        const HMODULE module = vrel::LoadSystemLibrary(L"winhttp.dll").release();
        h.loaded = vrel::BindAll(module, "WinHttpOpen", h.Open, "WinHttpSetTimeouts", h.SetTimeouts, "WinHttpConnect",
                                 h.Connect, "WinHttpOpenRequest", h.OpenRequest, "WinHttpSendRequest", h.SendRequest,
                                 "WinHttpReceiveResponse", h.ReceiveResponse, "WinHttpQueryHeaders", h.QueryHeaders,
                                 "WinHttpReadData", h.ReadData, "WinHttpCrackUrl", h.CrackUrl, "WinHttpCloseHandle",
                                 h.CloseHandle);
        return h;
    }();
    return http;
}

struct InternetTraits {
    using pointer = HINTERNET;
    static pointer invalid() noexcept { return nullptr; }
    static bool valid(pointer h) noexcept { return h != nullptr; }
    static void close(pointer h) noexcept { Http().CloseHandle(h); }
};
using unique_internet = vrel::UniqueHandle<InternetTraits>;

constexpr DWORD kEncoding = X509_ASN_ENCODING | PKCS_7_ASN_ENCODING;
constexpr std::size_t kMaxReply = 256 * 1024;  // a token with its certificate chain is a few KB
constexpr char kTstInfoType[] = "1.2.840.113549.1.9.16.1.4";

// The SHA-256 of data and eight random nonce bytes, from one provider.
bool DigestAndNonce(const std::string& data, std::string& digest, std::string& nonce) {
    HCRYPTPROV p = 0;
    if (!::CryptAcquireContextW(&p, nullptr, MS_ENH_RSA_AES_PROV_W, PROV_RSA_AES, CRYPT_VERIFYCONTEXT)) return false;
    const vrel::unique_hcryptprov provider(p);
    HCRYPTHASH h = 0;
    if (!::CryptCreateHash(p, CALG_SHA_256, 0, 0, &h)) return false;
    const vrel::unique_hcrypthash hash(h);
    BYTE value[32];
    DWORD length = sizeof value;
    if (!::CryptHashData(h, reinterpret_cast<const BYTE*>(data.data()), static_cast<DWORD>(data.size()), 0) ||
        !::CryptGetHashParam(h, HP_HASHVAL, value, &length, 0) || length != sizeof value)
        return false;
    digest.assign(reinterpret_cast<const char*>(value), length);
    BYTE random[8];
    if (!::CryptGenRandom(p, sizeof random, random)) return false;
    // Positive and with no leading zero: its DER is these eight bytes.
    random[0] = static_cast<BYTE>((random[0] & 0x7F) | 0x01);
    nonce.assign(reinterpret_cast<const char*>(random), sizeof random);
    return true;
}

std::wstring WinHttpFailure(const wchar_t* step) {
    const DWORD code = ::GetLastError();
    if (code == ERROR_WINHTTP_TIMEOUT) return std::wstring(L"no answer in time (") + step + L")";
    if (code == ERROR_WINHTTP_CANNOT_CONNECT) return L"no connection";
    if (code == ERROR_WINHTTP_NAME_NOT_RESOLVED) return L"the name is not known";
    return std::wstring(step) + L" failed (error " + std::to_wstring(code) + L")";
}

// POSTs the request to the server; the reply's body, or false with why.
bool Exchange(const std::wstring& server, DWORD timeoutMs, const std::string& request, std::string& reply,
              std::wstring& why) {
    const WinHttp& http = Http();
    if (!http.loaded) {
        why = L"WinHTTP cannot be loaded from the system folder";
        return false;
    }
    URL_COMPONENTS parts{};
    parts.dwStructSize = sizeof parts;
    parts.dwHostNameLength = parts.dwUrlPathLength = parts.dwExtraInfoLength = static_cast<DWORD>(-1);
    if (!http.CrackUrl(server.c_str(), 0, 0, &parts) ||
        (parts.nScheme != INTERNET_SCHEME_HTTP && parts.nScheme != INTERNET_SCHEME_HTTPS)) {
        why = L"is no http:// or https:// address";
        return false;
    }
    const std::wstring host(parts.lpszHostName, parts.dwHostNameLength);
    std::wstring path(parts.lpszUrlPath, parts.dwUrlPathLength);
    path.append(parts.lpszExtraInfo, parts.dwExtraInfoLength);
    if (path.empty()) path = L"/";

    unique_internet session(http.Open(L"tarnex-pack", WINHTTP_ACCESS_TYPE_DEFAULT_PROXY, WINHTTP_NO_PROXY_NAME,
                                          WINHTTP_NO_PROXY_BYPASS, 0));
    if (!session) return why = WinHttpFailure(L"WinHttpOpen"), false;
    const int t = static_cast<int>(timeoutMs);
    http.SetTimeouts(session.get(), t, t, t, t);
    unique_internet connection(http.Connect(session.get(), host.c_str(), parts.nPort, 0));
    if (!connection) return why = WinHttpFailure(L"WinHttpConnect"), false;
    unique_internet post(http.OpenRequest(connection.get(), L"POST", path.c_str(), nullptr, WINHTTP_NO_REFERER,
                                                  WINHTTP_DEFAULT_ACCEPT_TYPES,
                                                  parts.nScheme == INTERNET_SCHEME_HTTPS ? WINHTTP_FLAG_SECURE : 0));
    if (!post) return why = WinHttpFailure(L"WinHttpOpenRequest"), false;
    static const wchar_t kHeaders[] = L"Content-Type: application/timestamp-query\r\nAccept: application/timestamp-reply\r\n";
    if (!http.SendRequest(post.get(), kHeaders, static_cast<DWORD>(-1), const_cast<char*>(request.data()),
                              static_cast<DWORD>(request.size()), static_cast<DWORD>(request.size()), 0))
        return why = WinHttpFailure(L"sending"), false;
    if (!http.ReceiveResponse(post.get(), nullptr)) return why = WinHttpFailure(L"receiving"), false;
    DWORD status = 0, size = sizeof status;
    if (!http.QueryHeaders(post.get(), WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                               WINHTTP_HEADER_NAME_BY_INDEX, &status, &size, WINHTTP_NO_HEADER_INDEX))
        return why = WinHttpFailure(L"reading the status"), false;
    if (status != 200) {
        why = L"answered HTTP " + std::to_wstring(status);
        return false;
    }
    reply.clear();
    char buffer[8192];
    for (;;) {
        DWORD read = 0;
        if (!http.ReadData(post.get(), buffer, sizeof buffer, &read)) return why = WinHttpFailure(L"reading"), false;
        if (read == 0) return true;
        if (reply.size() + read > kMaxReply) {
            why = L"answered with more than " + std::to_wstring(kMaxReply / 1024) + L" KB";
            return false;
        }
        reply.append(buffer, read);
    }
}

// A parameter of the message; a vector's buffer is aligned for the
// structures some parameters are.
bool MessageParam(HCRYPTMSG message, DWORD type, std::vector<BYTE>& out) {
    DWORD size = 0;
    if (!::CryptMsgGetParam(message, type, 0, nullptr, &size)) return false;
    out.assign(size, 0);
    if (!::CryptMsgGetParam(message, type, 0, out.data(), &size)) return false;
    out.resize(size);
    return true;
}

// RFC 3161 asks the time-stamp authority's certificate for the extended
// key usage timeStamping, and for that usage alone.
bool IsTimeStampingCertificate(PCCERT_CONTEXT certificate) {
    DWORD size = 0;
    if (!::CertGetEnhancedKeyUsage(certificate, CERT_FIND_EXT_ONLY_ENHKEY_USAGE_FLAG, nullptr, &size)) return false;
    std::vector<BYTE> buffer(size);
    auto* usage = reinterpret_cast<PCERT_ENHKEY_USAGE>(buffer.data());
    if (!::CertGetEnhancedKeyUsage(certificate, CERT_FIND_EXT_ONLY_ENHKEY_USAGE_FLAG, usage, &size)) return false;
    return usage->cUsageIdentifier == 1 && std::string(usage->rgpszUsageIdentifier[0]) == szOID_PKIX_KP_TIMESTAMP_SIGNING;
}

// The token opened by CryptoAPI: SignedData over a TSTInfo, its signature
// made by the certificate it carries. The TSTInfo, or false with why.
bool OpenToken(const std::string& token, std::string& tstInfo, std::wstring& why) {
    vrel::unique_hcryptmsg message(::CryptMsgOpenToDecode(kEncoding, 0, 0, 0, nullptr, nullptr));
    if (!message || !::CryptMsgUpdate(message.get(), reinterpret_cast<const BYTE*>(token.data()),
                                      static_cast<DWORD>(token.size()), TRUE))
        return why = L"the token is no PKCS #7 message", false;
    std::vector<BYTE> type, content, signer;
    if (!MessageParam(message.get(), CMSG_INNER_CONTENT_TYPE_PARAM, type) || (type.push_back(0), false) ||
        std::strcmp(reinterpret_cast<const char*>(type.data()), kTstInfoType) != 0)
        return why = L"the token holds no time-stamp information", false;
    if (!MessageParam(message.get(), CMSG_CONTENT_PARAM, content)) return why = L"the token's content cannot be read", false;
    tstInfo.assign(content.begin(), content.end());
    // Windows gives the TSTInfo itself; Wine leaves it in the OCTET STRING
    // that carries it in the message.
    std::string_view inner = tstInfo;
    der::Item wrapped;
    if (der::Expect(inner, 0x04, wrapped) && inner.empty()) tstInfo.assign(wrapped.value);
    if (!MessageParam(message.get(), CMSG_SIGNER_CERT_INFO_PARAM, signer))
        return why = L"the token names no signer", false;
    vrel::unique_hcertstore store(
        ::CertOpenStore(CERT_STORE_PROV_MSG, kEncoding, 0, 0, message.get()));
    vrel::unique_cert_context certificate(
        store ? ::CertGetSubjectCertificateFromStore(store.get(), kEncoding, reinterpret_cast<PCERT_INFO>(signer.data()))
              : nullptr);
    if (!certificate) return why = L"the token does not carry its signer's certificate", false;
    if (!IsTimeStampingCertificate(certificate.get()))
        return why = L"the token's signer is no time-stamp authority (its certificate lacks timeStamping)", false;
    if (!::CryptMsgControl(message.get(), 0, CMSG_CTRL_VERIFY_SIGNATURE, certificate.get()->pCertInfo))
        return why = L"the token's signature does not hold", false;
    return true;
}

}  // namespace

TimeStamper::TimeStamper(std::vector<std::wstring> servers, DWORD timeoutMs)
    : servers_(std::move(servers)), timeoutMs_(timeoutMs) {}

bool TimeStamper::Stamp(const std::string& signature, std::string& token, std::wstring& error) const {
    std::string digest, nonce;
    if (!DigestAndNonce(signature, digest, nonce)) {
        error = L"SHA-256 is not available for the time stamp";
        return false;
    }
    const std::string request = timestamp::Request(digest, nonce);
    error = L"no time-stamp server gave a time stamp:";
    for (const std::wstring& server : servers_) {
        std::string reply, tstInfo;
        std::wstring why;
        if (Exchange(server, timeoutMs_, request, reply, why) && timestamp::TokenOf(reply, token, why) &&
            OpenToken(token, tstInfo, why) && timestamp::CheckTstInfo(tstInfo, digest, nonce, why))
            return true;
        error += L" " + server + L": " + why + L";";
    }
    token.clear();
    error.pop_back();
    return false;
}

}  // namespace pack
