// Authenticode signatures of PE files, without Windows calls: where in a
// program the signature goes and which bytes its digest covers, and the
// PKCS #7 SignedData that carries it, written in DER. The digests and the
// RSA signature come from the caller (CryptoAPI in tarnex-pack).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
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

// False with why when the file is no PE file that can be signed here:
// headers cut short or out of place, a signature already there, or larger
// than kLargestSignedFile. headers: the file's first bytes, enough to hold
// its PE headers; fileSize: the whole file's.
inline constexpr std::uint64_t kLargestSignedFile = 0x7FFFFFFFu;
bool LayOut(std::string_view headers, std::uint64_t fileSize, PeLayout& layout, std::wstring& why);
inline bool LayOut(const Bytes& image, PeLayout& layout, std::wstring& why) {
    return LayOut(image, image.size(), layout, why);
}

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

// The WIN_CERTIFICATE that carries signedData, padded to eight bytes: it
// follows the padded file, and the directory entry holds its offset
// (layout.paddedSize) and its size.
Bytes CertificateTable(const Bytes& signedData);

// The directory entry's eight bytes for a table of tableSize bytes at offset.
Bytes SecurityEntry(std::uint64_t offset, std::uint64_t tableSize);

// The signed file: image padded, the WIN_CERTIFICATE appended, the
// directory entry pointing at it and the checksum made again.
Bytes Attach(const Bytes& image, const PeLayout& layout, const Bytes& signedData);

// The PE checksum of a file given in pieces, in order, of any sizes (the
// field at checksumOffset counted as 0).
class PeChecksumSum {
public:
    explicit PeChecksumSum(std::uint64_t checksumOffset) : checksumOffset_(checksumOffset) {}
    void Add(std::string_view bytes);
    std::uint32_t Value() const;

private:
    void AddWord(std::uint32_t word) {
        sum_ += word;
        sum_ = (sum_ & 0xFFFF) + (sum_ >> 16);
    }
    std::uint32_t ByteAt(std::string_view bytes, std::size_t i) const;

    std::uint64_t checksumOffset_;
    std::uint64_t sum_ = 0;
    std::uint64_t length_ = 0;
    bool pending_ = false;  // an odd piece left its last byte for the next
    std::uint32_t pendingByte_ = 0;
};

// The PE checksum of image (the field at checksumOffset counted as 0).
std::uint32_t PeChecksum(const Bytes& image, std::size_t checksumOffset);

}  // namespace pack::authenticode
