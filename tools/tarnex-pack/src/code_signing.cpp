#include "code_signing.h"

#include <utility>
#include <vector>

#include "authenticode.h"
#include "vrel/crypt_handles.h"
#include "windows_files.h"

namespace pack {
namespace {

namespace ac = authenticode;

// A SHA-256 hash of the parts in the provider; empty when it cannot be made.
vrel::unique_hcrypthash HashOf(HCRYPTPROV provider, const std::vector<std::pair<const char*, std::size_t>>& parts) {
    HCRYPTHASH h = 0;
    if (!::CryptCreateHash(provider, CALG_SHA_256, 0, 0, &h)) return {};
    vrel::unique_hcrypthash hash(h);
    for (const auto& [data, size] : parts)
        if (size != 0 && !::CryptHashData(h, reinterpret_cast<const BYTE*>(data), static_cast<DWORD>(size), 0)) return {};
    return hash;
}

// The 32 bytes of a SHA-256 hash; false when there are none.
bool DigestOf(const vrel::unique_hcrypthash& hash, ac::Bytes& out) {
    BYTE value[32];
    DWORD length = sizeof value;
    if (!hash || !::CryptGetHashParam(hash.get(), HP_HASHVAL, value, &length, 0) || length != sizeof value) return false;
    out.assign(reinterpret_cast<const char*>(value), length);
    return true;
}

// Written beside the file and renamed over it: the file is never half signed.
bool ReplaceFileBytes(const std::wstring& path, const ac::Bytes& bytes) {
    const std::wstring temporary = path + L".signing";
    {
        vrel::unique_hfile file(::CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                              FILE_ATTRIBUTE_NORMAL, nullptr));
        DWORD written = 0;
        if (!file || !::WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) ||
            written != bytes.size()) {
            file.reset();
            ::DeleteFileW(temporary.c_str());
            return false;
        }
    }
    if (::MoveFileExW(temporary.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING)) return true;
    ::DeleteFileW(temporary.c_str());
    return false;
}

// CryptoAPI writes integers and signatures least significant byte first.
ac::Bytes Reversed(const BYTE* data, DWORD size) {
    const std::string forward(reinterpret_cast<const char*>(data), size);
    return ac::Bytes(forward.rbegin(), forward.rend());
}

}  // namespace

bool CodeSigner::Load(const std::wstring& pfxPath, const std::wstring& password, std::wstring& error) {
    ac::Bytes pfx;
    if (!ReadWholeFile(pfxPath, pfx, 1024 * 1024)) {
        error = L"the certificate file " + pfxPath + L" cannot be read";
        return false;
    }
    CRYPT_DATA_BLOB blob{static_cast<DWORD>(pfx.size()), reinterpret_cast<BYTE*>(pfx.data())};
    store_.reset(::PFXImportCertStore(&blob, password.c_str(), 0));
    if (!store_) {
        error = L"the certificate file " + pfxPath + L" cannot be opened (is the password right?)";
        return false;
    }
    for (PCCERT_CONTEXT c = nullptr; (c = ::CertEnumCertificatesInStore(store_.get(), c)) != nullptr;) {
        DWORD size = 0;
        if (!::CertGetCertificateContextProperty(c, CERT_KEY_PROV_INFO_PROP_ID, nullptr, &size)) continue;
        std::vector<BYTE> buffer(size);
        if (!::CertGetCertificateContextProperty(c, CERT_KEY_PROV_INFO_PROP_ID, buffer.data(), &size)) continue;
        const auto* info = reinterpret_cast<const CRYPT_KEY_PROV_INFO*>(buffer.data());
        // The PFX's key lands in a provider that may not know SHA-256: the
        // same container is opened again in the RSA/AES provider.
        HCRYPTPROV provider = 0;
        if (!::CryptAcquireContextW(&provider, info->pwszContainerName, MS_ENH_RSA_AES_PROV_W, PROV_RSA_AES,
                                    info->dwFlags & CRYPT_MACHINE_KEYSET))
            continue;
        provider_.reset(provider);
        keySpec_ = info->dwKeySpec == AT_SIGNATURE ? AT_SIGNATURE : AT_KEYEXCHANGE;
        certificate_.reset(c);  // the enumeration ends here: the context is ours
        return true;
    }
    error = L"the certificate file " + pfxPath + L" holds no certificate with its private key";
    return false;
}

bool CodeSigner::Sign(const std::wstring& path, std::wstring& error) const {
    error.clear();
    ac::Bytes image;
    if (!ReadWholeFile(path, image, 0x7FFFFFFF)) {
        error = path + L" cannot be read";
        return false;
    }
    ac::PeLayout layout;
    std::wstring why;
    if (!ac::LayOut(image, layout, why)) {
        error = path + L" cannot be signed: " + why;
        return false;
    }
    image.resize(layout.paddedSize, '\0');
    std::vector<std::pair<const char*, std::size_t>> ranges;
    for (const auto& [offset, length] : layout.digested) ranges.emplace_back(image.data() + offset, length);
    ac::Bytes imageDigest, contentDigest;
    const ac::Bytes indirect = DigestOf(HashOf(provider_.get(), ranges), imageDigest) ? ac::IndirectData(imageDigest) : ac::Bytes();
    const ac::Bytes content = ac::ContentOctets(indirect);
    if (indirect.empty() || !DigestOf(HashOf(provider_.get(), {{content.data(), content.size()}}), contentDigest)) {
        error = L"SHA-256 is not available to sign " + path;
        return false;
    }
    const ac::Bytes attributes = ac::SignedAttributes(contentDigest);
    const vrel::unique_hcrypthash hash = HashOf(provider_.get(), {{attributes.data(), attributes.size()}});
    DWORD signatureSize = 0;
    std::vector<BYTE> signature;
    if (hash && ::CryptSignHashW(hash.get(), keySpec_, nullptr, 0, nullptr, &signatureSize)) {
        signature.resize(signatureSize);
        if (!::CryptSignHashW(hash.get(), keySpec_, nullptr, 0, signature.data(), &signatureSize)) signature.clear();
    }
    if (signature.empty()) {
        error = L"the key cannot sign " + path;
        return false;
    }
    ac::Signer signer;
    signer.certificate.assign(reinterpret_cast<const char*>(certificate_.get()->pbCertEncoded), certificate_.get()->cbCertEncoded);
    const CERT_INFO& info = *certificate_.get()->pCertInfo;
    signer.issuer.assign(reinterpret_cast<const char*>(info.Issuer.pbData), info.Issuer.cbData);
    signer.serial = Reversed(info.SerialNumber.pbData, info.SerialNumber.cbData);
    const ac::Bytes signatureValue = Reversed(signature.data(), signatureSize);
    ac::Bytes token;
    if (stamper_ != nullptr && !stamper_->empty() && !stamper_->Stamp(signatureValue, token, error)) {
        error = path + L" cannot be time-stamped: " + error;
        return false;
    }
    const ac::Bytes signedData = ac::SignedData(indirect, attributes, signer, signatureValue, token);
    if (!ReplaceFileBytes(path, ac::Attach(image, layout, signedData))) {
        error = L"the signed " + path + L" cannot be written";
        return false;
    }
    return true;
}

}  // namespace pack
