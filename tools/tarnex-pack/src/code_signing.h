// Authenticode signing with a certificate and key from a PFX file, through
// CryptoAPI: SHA-256 digests, an RSA signature, the PKCS #7 SignedData of
// portable/authenticode.h appended to the file.
#pragma once

#include <windows.h>
#include <wincrypt.h>

#include <string>

#include "time_stamping.h"
#include "vrel/crypt_handles.h"

namespace pack {

class CodeSigner {
public:
    // Takes the certificate with a private key from the PFX file; false with
    // why in error (wrong password, no key, no RSA key that signs SHA-256).
    bool Load(const std::wstring& pfxPath, const std::wstring& password, std::wstring& error);

    // Signatures made from now on carry a time stamp from one of its
    // servers; none is a failure of the signing.
    void StampWith(const TimeStamper& stamper) { stamper_ = &stamper; }

    // Signs the PE file at path in place, up to 2 GB: the file is read a
    // piece at a time and the signature appended to it, never copied. False
    // with why in error, and the file is then as it was.
    bool Sign(const std::wstring& path, std::wstring& error) const;

private:
    vrel::unique_hcertstore store_;
    vrel::unique_cert_context certificate_;
    vrel::unique_hcryptprov provider_;  // the key's container in the RSA/AES provider (SHA-256)
    DWORD keySpec_ = AT_KEYEXCHANGE;
    const TimeStamper* stamper_ = nullptr;
};

}  // namespace pack
