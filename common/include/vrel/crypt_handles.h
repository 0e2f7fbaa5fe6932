// Owners for the CryptoAPI's handles: providers, hashes, messages,
// certificate stores and certificates.
#pragma once

#include <windows.h>
#include <wincrypt.h>

#include "vrel/unique_handle.h"

namespace vrel {

struct CryptProviderTraits {
    using pointer = HCRYPTPROV;
    static pointer invalid() noexcept { return 0; }
    static bool valid(pointer h) noexcept { return h != 0; }
    static void close(pointer h) noexcept { ::CryptReleaseContext(h, 0); }
};
struct CryptHashTraits {
    using pointer = HCRYPTHASH;
    static pointer invalid() noexcept { return 0; }
    static bool valid(pointer h) noexcept { return h != 0; }
    static void close(pointer h) noexcept { ::CryptDestroyHash(h); }
};
struct CryptMessageTraits {
    using pointer = HCRYPTMSG;
    static pointer invalid() noexcept { return nullptr; }
    static bool valid(pointer h) noexcept { return h != nullptr; }
    static void close(pointer h) noexcept { ::CryptMsgClose(h); }
};
struct CertStoreTraits {
    using pointer = HCERTSTORE;
    static pointer invalid() noexcept { return nullptr; }
    static bool valid(pointer h) noexcept { return h != nullptr; }
    static void close(pointer h) noexcept { ::CertCloseStore(h, 0); }
};
struct CertContextTraits {
    using pointer = PCCERT_CONTEXT;
    static pointer invalid() noexcept { return nullptr; }
    static bool valid(pointer h) noexcept { return h != nullptr; }
    static void close(pointer h) noexcept { ::CertFreeCertificateContext(h); }
};

using unique_hcryptprov = UniqueHandle<CryptProviderTraits>;
using unique_hcrypthash = UniqueHandle<CryptHashTraits>;
using unique_hcryptmsg = UniqueHandle<CryptMessageTraits>;
using unique_hcertstore = UniqueHandle<CertStoreTraits>;
using unique_cert_context = UniqueHandle<CertContextTraits>;

}  // namespace vrel
