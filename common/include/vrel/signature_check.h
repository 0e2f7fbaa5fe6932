// Whether a program's Authenticode signature still matches its bytes, and
// whose it is, through WinVerifyTrust. wintrust.dll and crypt32.dll are no
// KnownDLLs: both are loaded from the system folder by full path.
#pragma once

#include <windows.h>
#include <wincrypt.h>
#include <wintrust.h>
#include <softpub.h>

#include <string>
#include <vector>

#include "vrel/module_exports.h"
#include "vrel/system_folder.h"
#include "vrel/unique_handle.h"

namespace vrel {

struct SignatureCheck {
    bool checked = false;    // false: WinVerifyTrust could not be called
    LONG status = 0;         // WinVerifyTrust's answer: 0, TRUST_E_NOSIGNATURE, TRUST_E_BAD_DIGEST ...
    std::wstring signer;     // the signing certificate's subject name, when the signature could be read
};

// The subject name of the certificate that signed the file's embedded
// PKCS #7, read from the signature itself: it is known also when the
// signature no longer matches the bytes. "" without one.
inline std::wstring SignerOf(HMODULE crypt32, const std::wstring& path) {
    using QueryFn = BOOL(WINAPI*)(DWORD, const void*, DWORD, DWORD, DWORD, DWORD*, DWORD*, DWORD*, HCERTSTORE*,
                                  HCRYPTMSG*, const void**);
    using ParamFn = BOOL(WINAPI*)(HCRYPTMSG, DWORD, DWORD, void*, DWORD*);
    using FindFn = PCCERT_CONTEXT(WINAPI*)(HCERTSTORE, DWORD, DWORD, DWORD, const void*, PCCERT_CONTEXT);
    using NameFn = DWORD(WINAPI*)(PCCERT_CONTEXT, DWORD, DWORD, void*, LPWSTR, DWORD);
    using FreeCertFn = BOOL(WINAPI*)(PCCERT_CONTEXT);
    using CloseStoreFn = BOOL(WINAPI*)(HCERTSTORE, DWORD);
    using CloseMsgFn = BOOL(WINAPI*)(HCRYPTMSG);
    QueryFn query = nullptr;
    ParamFn param = nullptr;
    FindFn find = nullptr;
    NameFn nameOf = nullptr;
    FreeCertFn freeCert = nullptr;
    CloseStoreFn closeStore = nullptr;
    CloseMsgFn closeMsg = nullptr;
    if (!BindAll(crypt32, "CryptQueryObject", query, "CryptMsgGetParam", param, "CertFindCertificateInStore", find,
                 "CertGetNameStringW", nameOf, "CertFreeCertificateContext", freeCert, "CertCloseStore", closeStore,
                 "CryptMsgClose", closeMsg))
        return {};
    HCERTSTORE store = nullptr;
    HCRYPTMSG message = nullptr;
    DWORD encoding = 0, content = 0, format = 0;
    if (!query(CERT_QUERY_OBJECT_FILE, path.c_str(), CERT_QUERY_CONTENT_FLAG_PKCS7_SIGNED_EMBED,
               CERT_QUERY_FORMAT_FLAG_BINARY, 0, &encoding, &content, &format, &store, &message, nullptr))
        return {};
    std::wstring name;
    DWORD size = 0;
    if (param(message, CMSG_SIGNER_INFO_PARAM, 0, nullptr, &size) && size >= sizeof(CMSG_SIGNER_INFO)) {
        std::vector<unsigned char> bytes(size);
        auto* signer = reinterpret_cast<CMSG_SIGNER_INFO*>(bytes.data());
        if (param(message, CMSG_SIGNER_INFO_PARAM, 0, bytes.data(), &size)) {
            CERT_INFO wanted{};
            wanted.Issuer = signer->Issuer;
            wanted.SerialNumber = signer->SerialNumber;
            if (PCCERT_CONTEXT certificate = find(store, X509_ASN_ENCODING | PKCS_7_ASN_ENCODING, 0,
                                                  CERT_FIND_SUBJECT_CERT, &wanted, nullptr)) {
                wchar_t text[256] = {};
                nameOf(certificate, CERT_NAME_SIMPLE_DISPLAY_TYPE, 0, nullptr, text, 256);
                name = text;
                freeCert(certificate);
            }
        }
    }
    closeMsg(message);
    closeStore(store, 0);
    return name;
}

// Checks the file's embedded signature without a revocation look-up and
// without any window. Whether the publisher's chain is trusted stays the
// system's question (a self-signed certificate gives CERT_E_UNTRUSTEDROOT on
// Windows); what the caller needs is whether the bytes are the signed ones.
inline SignatureCheck CheckSignature(const std::wstring& path) {
    SignatureCheck result;
    unique_hmodule wintrust = LoadSystemLibrary(L"wintrust.dll");
    unique_hmodule crypt32 = LoadSystemLibrary(L"crypt32.dll");
    using VerifyFn = LONG(WINAPI*)(HWND, GUID*, LPVOID);
    VerifyFn verify = nullptr;
    if (!BindAll(wintrust.get(), "WinVerifyTrust", verify)) return result;

    WINTRUST_FILE_INFO file{};
    file.cbStruct = sizeof file;
    file.pcwszFilePath = path.c_str();
    WINTRUST_DATA data{};
    data.cbStruct = sizeof data;
    data.dwUIChoice = WTD_UI_NONE;
    data.fdwRevocationChecks = WTD_REVOKE_NONE;
    data.dwUnionChoice = WTD_CHOICE_FILE;
    data.pFile = &file;
    data.dwStateAction = WTD_STATEACTION_VERIFY;
    data.dwProvFlags = WTD_CACHE_ONLY_URL_RETRIEVAL;
    GUID action = WINTRUST_ACTION_GENERIC_VERIFY_V2;
    result.status = verify(reinterpret_cast<HWND>(INVALID_HANDLE_VALUE), &action, &data);
    result.checked = true;
    data.dwStateAction = WTD_STATEACTION_CLOSE;
    verify(reinterpret_cast<HWND>(INVALID_HANDLE_VALUE), &action, &data);
    result.signer = SignerOf(crypt32.get(), path);
    return result;
}

}  // namespace vrel
