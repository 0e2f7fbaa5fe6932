// Authenticode signing with a certificate and key from a PFX file, through
// CryptoAPI: SHA-256 digests, an RSA signature, the PKCS #7 SignedData of
// portable/authenticode.h appended to the file.
#pragma once

#include <windows.h>
#include <wincrypt.h>

#include <string>

namespace pack {

class CodeSigner {
public:
    CodeSigner() = default;
    ~CodeSigner();
    CodeSigner(const CodeSigner&) = delete;
    CodeSigner& operator=(const CodeSigner&) = delete;

    // Takes the certificate with a private key from the PFX file; false with
    // why in error (wrong password, no key, no RSA key that signs SHA-256).
    bool Load(const std::wstring& pfxPath, const std::wstring& password, std::wstring& error);

    // Signs the PE file at path in place; false with why in error, and the
    // file is then as it was.
    bool Sign(const std::wstring& path, std::wstring& error) const;

private:
    HCERTSTORE store_ = nullptr;
    PCCERT_CONTEXT certificate_ = nullptr;
    HCRYPTPROV provider_ = 0;  // the key's container in the RSA/AES provider (SHA-256)
    DWORD keySpec_ = AT_KEYEXCHANGE;
};

}  // namespace pack
