// Authenticode signatures of PE files, without Windows calls: where in a
// program the signature goes and which bytes its digest covers, and the
// PKCS #7 SignedData that carries it, written in DER. The digests and the
// RSA signature come from the caller (CryptoAPI in tarnex-pack).
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace pack::authenticode {

using Bytes = std::string;

// A PE file prepared for signing: the file padded to eight bytes, and the
// ranges its digest covers (all of it but the checksum and the certificate
// table's directory entry).
struct PeLayout {
    std::size_t checksumOffset = 0;
    std::size_t securityEntryOffset = 0;  // IMAGE_DIRECTORY_ENTRY_SECURITY: offset, size
    std::size_t paddedSize = 0;
    std::vector<std::pair<std::size_t, std::size_t>> digested;  // offset, length in the padded file
};

// False with why when image is no PE file that can be signed here: headers
// cut short or out of place, or a signature already there.
bool LayOut(const Bytes& image, PeLayout& layout, std::wstring& why);

// The signed content: SpcIndirectDataContent for a PE image, DER.
Bytes IndirectData(const Bytes& imageDigestSha256);

// The octets inside a DER element (its tag and length left off): what the
// message digest of the content covers.
Bytes ContentOctets(const Bytes& der);

// The authenticated attributes as the signature covers them: a DER SET
// (tag 0x31) of the content type, the message digest, the statement type
// (individual code signing) and an empty SpcSpOpusInfo, in DER order.
Bytes SignedAttributes(const Bytes& contentDigestSha256);

// The certificate's issuer (its DER Name) and serial number (big-endian, as
// the certificate writes it), and the RSA PKCS #1 v1.5 signature over
// SignedAttributes (big-endian).
struct Signer {
    Bytes certificate;  // DER
    Bytes issuer;
    Bytes serial;
};

// ContentInfo { signedData, SignedData { ... } }: the whole signature;
// with a time stamp (an RFC 3161 token over the signature), the token as
// the signer's unsigned attribute, where Windows looks for it.
Bytes SignedData(const Bytes& indirectData, const Bytes& signedAttributes, const Signer& signer,
                 const Bytes& signature, const Bytes& timeStampToken = {});

// The signed file: image padded, the WIN_CERTIFICATE appended, the
// directory entry pointing at it and the checksum made again.
Bytes Attach(const Bytes& image, const PeLayout& layout, const Bytes& signedData);

// The PE checksum of image (the field at checksumOffset counted as 0).
std::uint32_t PeChecksum(const Bytes& image, std::size_t checksumOffset);

}  // namespace pack::authenticode
