#include "code_signing.h"

#include <algorithm>
#include <utility>
#include <vector>

#include "authenticode.h"
#include "portable/sha256.h"
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

constexpr DWORD kPiece = 1u << 20;
constexpr DWORD kHeaderBytes = 64u << 10;  // more than any program's PE headers take

// The SHA-256 of the ranges of the file padded to paddedSize (zeros past
// its end), read a piece at a time: a package of a gigabyte is never held
// in memory.
bool DigestRanges(HANDLE file, const ac::PeLayout& layout, ac::Bytes& digest) {
    tarnex::Sha256Stream hash;
    std::vector<char> piece(kPiece);
    for (const auto& [offset, length] : layout.digested) {
        for (std::uint64_t done = 0; done < length;) {
            const DWORD want = static_cast<DWORD>(std::min<std::uint64_t>(kPiece, length - done));
            DWORD read = 0;
            if (!ReadAt(file, offset + done, piece.data(), want, read)) return false;
            std::fill(piece.data() + read, piece.data() + want, '\0');
            hash.Add(piece.data(), want);
            done += want;
        }
    }
    const auto value = hash.Finish();
    digest.assign(reinterpret_cast<const char*>(value.data()), value.size());
    return true;
}

// The PE checksum of the whole file as it now is.
bool ChecksumOf(HANDLE file, std::size_t checksumOffset, std::uint32_t& checksum) {
    ac::PeChecksumSum sum(checksumOffset);
    std::vector<char> piece(kPiece);
    for (std::uint64_t at = 0;; at += kPiece) {
        DWORD read = 0;
        if (!ReadAt(file, at, piece.data(), kPiece, read)) return false;
        sum.Add(std::string_view(piece.data(), read));
        if (read < kPiece) break;
    }
    checksum = sum.Value();
    return true;
}

// Appends the certificate table to the file in place, points the directory
// entry at it and makes the checksum again: a large file is not copied. Any
// failure puts back the file's size, entry and checksum.
bool AttachInPlace(HANDLE file, std::uint64_t size, const std::string& headers, const ac::PeLayout& layout,
                   const ac::Bytes& signedData) {
    const ac::Bytes table = ac::CertificateTable(signedData);
    const ac::Bytes tail = ac::Bytes(static_cast<std::size_t>(layout.paddedSize - size), '\0') + table;
    std::uint32_t checksum = 0;
    if (WriteAt(file, size, tail) &&
        WriteAt(file, layout.securityEntryOffset, ac::SecurityEntry(layout.paddedSize, table.size())) &&
        ChecksumOf(file, layout.checksumOffset, checksum)) {
        ac::Bytes field(4, '\0');
        for (int i = 0; i < 4; ++i) field[static_cast<std::size_t>(i)] = static_cast<char>((checksum >> (8 * i)) & 0xFF);
        if (WriteAt(file, layout.checksumOffset, field) && ::FlushFileBuffers(file)) return true;
    }
    TruncateAt(file, size);
    WriteAt(file, layout.securityEntryOffset, std::string_view(headers).substr(layout.securityEntryOffset, 8));
    WriteAt(file, layout.checksumOffset, std::string_view(headers).substr(layout.checksumOffset, 4));
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
    // Held open alone from the digest to the table's end, so that what is
    // signed is what was hashed.
    vrel::unique_hfile file(::CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                          FILE_ATTRIBUTE_NORMAL, nullptr));
    std::uint64_t size = 0;
    std::string headers(kHeaderBytes, '\0');
    DWORD read = 0;
    if (!file || !FileSizeOf(file.get(), size) || !ReadAt(file.get(), 0, headers.data(), kHeaderBytes, read)) {
        error = path + L" cannot be read";
        return false;
    }
    headers.resize(read);
    ac::PeLayout layout;
    std::wstring why;
    if (!ac::LayOut(headers, size, layout, why)) {
        error = path + L" cannot be signed: " + why;
        return false;
    }
    ac::Bytes imageDigest, contentDigest;
    if (!DigestRanges(file.get(), layout, imageDigest)) {
        error = path + L" cannot be read";
        return false;
    }
    const ac::Bytes indirect = ac::IndirectData(imageDigest);
    const ac::Bytes content = ac::ContentOctets(indirect);
    if (!DigestOf(HashOf(provider_.get(), {{content.data(), content.size()}}), contentDigest)) {
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
    if (!AttachInPlace(file.get(), size, headers, layout, signedData)) {
        error = L"the signed " + path + L" cannot be written";
        return false;
    }
    return true;
}

}  // namespace pack
