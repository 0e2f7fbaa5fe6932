#include "authenticode.h"

#include <algorithm>
#include <cstring>

#include "der.h"

namespace pack::authenticode {
namespace {

using namespace der;

constexpr char kSha256[] = "2.16.840.1.101.3.4.2.1";
constexpr char kRsaEncryption[] = "1.2.840.113549.1.1.1";
constexpr char kSignedDataType[] = "1.2.840.113549.1.7.2";
constexpr char kContentTypeAttribute[] = "1.2.840.113549.1.9.3";
constexpr char kMessageDigestAttribute[] = "1.2.840.113549.1.9.4";
constexpr char kSpcIndirectData[] = "1.3.6.1.4.1.311.2.1.4";
constexpr char kSpcStatementType[] = "1.3.6.1.4.1.311.2.1.11";
constexpr char kSpcSpOpusInfo[] = "1.3.6.1.4.1.311.2.1.12";
constexpr char kSpcPeImageData[] = "1.3.6.1.4.1.311.2.1.15";
constexpr char kIndividualCodeSigning[] = "1.3.6.1.4.1.311.2.1.21";
// Where SignTool's /tr puts an RFC 3161 token: an unsigned attribute.
constexpr char kRfc3161TimeStamp[] = "1.3.6.1.4.1.311.3.3.1";

// ---- PE ----------------------------------------------------------------------

std::uint32_t Read32(std::string_view b, std::size_t at) {
    return static_cast<std::uint32_t>(static_cast<unsigned char>(b[at])) |
           static_cast<std::uint32_t>(static_cast<unsigned char>(b[at + 1])) << 8 |
           static_cast<std::uint32_t>(static_cast<unsigned char>(b[at + 2])) << 16 |
           static_cast<std::uint32_t>(static_cast<unsigned char>(b[at + 3])) << 24;
}
std::uint16_t Read16(std::string_view b, std::size_t at) {
    return static_cast<std::uint16_t>(static_cast<unsigned char>(b[at]) | static_cast<unsigned char>(b[at + 1]) << 8);
}
void Write32(Bytes& b, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + static_cast<std::size_t>(i)] = static_cast<char>((v >> (8 * i)) & 0xFF);
}

bool Fail(std::wstring& why, const wchar_t* text) {
    why = text;
    return false;
}

}  // namespace

bool LayOut(std::string_view image, std::uint64_t fileSize, PeLayout& layout, std::wstring& why) {
    // Only the headers are read: image may be the file's first bytes alone.
    if (image.size() > fileSize) image = image.substr(0, static_cast<std::size_t>(fileSize));
    if (image.size() < 0x40 || image[0] != 'M' || image[1] != 'Z') return Fail(why, L"it is no Windows program or library");
    if (fileSize > kLargestSignedFile) return Fail(why, L"it is larger than 2 GB");
    const std::size_t pe = Read32(image, 0x3C);
    if (pe > image.size() || image.size() - pe < 24 || std::memcmp(image.data() + pe, "PE\0\0", 4) != 0)
        return Fail(why, L"its PE header is missing");
    const std::size_t optional = pe + 24;
    const std::size_t optionalSize = Read16(image, pe + 20);
    if (optionalSize > image.size() - optional || optionalSize < 2) return Fail(why, L"its optional header is cut short");
    const std::uint16_t magic = Read16(image, optional);
    if (magic != 0x10B && magic != 0x20B) return Fail(why, L"its optional header is of no known kind");
    const std::size_t countAt = optional + (magic == 0x10B ? 92 : 108);
    const std::size_t directories = optional + (magic == 0x10B ? 96 : 112);
    const std::size_t security = directories + 4 * 8;
    if (security + 8 > optional + optionalSize || Read32(image, countAt) < 5)
        return Fail(why, L"it has no directory entry for a signature");
    if (Read32(image, security) != 0 || Read32(image, security + 4) != 0)
        return Fail(why, L"it is signed already; leave the sign mark off or give the file unsigned");
    const std::size_t size = static_cast<std::size_t>(fileSize);
    layout.checksumOffset = optional + 64;
    layout.securityEntryOffset = security;
    layout.paddedSize = (size + 7) / 8 * 8;
    layout.digested = {{0, layout.checksumOffset},
                       {layout.checksumOffset + 4, security - layout.checksumOffset - 4},
                       {security + 8, layout.paddedSize - security - 8}};
    return true;
}

Bytes IndirectData(const Bytes& imageDigestSha256) {
    // SpcPeImageData: no flags, the file link "<<<Obsolete>>>" as Windows
    // writes it (in BMPString, big-endian UTF-16).
    Bytes obsolete;
    for (const char c : std::string("<<<Obsolete>>>")) obsolete += Bytes{'\0', c};
    const Bytes peImageData =
        Sequence({Element(0x03, Bytes(1, '\0')), Explicit0(Element(0xA2, Element(0x80, obsolete)))});
    return Sequence({Sequence({Oid(kSpcPeImageData), peImageData}),
                     Sequence({Algorithm(kSha256), Octets(imageDigestSha256)})});
}

Bytes ContentOctets(const Bytes& element) { return der::ContentOctets(element); }

Bytes SignedAttributes(const Bytes& contentDigestSha256) {
    return Set({Attribute(kContentTypeAttribute, Oid(kSpcIndirectData)),
                Attribute(kMessageDigestAttribute, Octets(contentDigestSha256)),
                Attribute(kSpcStatementType, Sequence({Oid(kIndividualCodeSigning)})),
                Attribute(kSpcSpOpusInfo, Sequence({}))});
}

Bytes SignedData(const Bytes& indirectData, const Bytes& signedAttributes, const Signer& signer,
                 const Bytes& signature, const Bytes& timeStampToken) {
    // In the SignerInfo the attributes are [0] and [1] IMPLICIT: the SETs'
    // contents under the context tags.
    Bytes unsignedAttributes;
    if (!timeStampToken.empty())
        unsignedAttributes = Element(0xA1, ContentOctets(Set({Attribute(kRfc3161TimeStamp, timeStampToken)})));
    const Bytes signerInfo = Sequence({SmallInteger(1), Sequence({signer.issuer, Integer(signer.serial)}),
                                       Algorithm(kSha256), Element(0xA0, ContentOctets(signedAttributes)),
                                       Algorithm(kRsaEncryption), Octets(signature), unsignedAttributes});
    const Bytes signedData = Sequence({SmallInteger(1), Set({Algorithm(kSha256)}),
                                       Sequence({Oid(kSpcIndirectData), Explicit0(indirectData)}),
                                       Element(0xA0, signer.certificate), Set({signerInfo})});
    return Sequence({Oid(kSignedDataType), Explicit0(signedData)});
}

std::uint32_t PeChecksumSum::ByteAt(std::string_view bytes, std::size_t i) const {
    // The checksum's own four bytes count as zeros, wherever the headers put
    // them (a header at an odd offset splits them over three words).
    const std::uint64_t at = length_ + i;
    if (at >= checksumOffset_ && at < checksumOffset_ + 4) return 0;
    return static_cast<unsigned char>(bytes[i]);
}

void PeChecksumSum::Add(std::string_view bytes) {
    std::size_t i = 0;
    if (pending_ && !bytes.empty()) {
        AddWord(pendingByte_ | ByteAt(bytes, 0) << 8);
        pending_ = false;
        i = 1;
    }
    for (; i + 1 < bytes.size(); i += 2) AddWord(ByteAt(bytes, i) | ByteAt(bytes, i + 1) << 8);
    if (i < bytes.size()) {
        pending_ = true;
        pendingByte_ = ByteAt(bytes, i);
    }
    length_ += bytes.size();
}

std::uint32_t PeChecksumSum::Value() const {
    PeChecksumSum last = *this;
    if (last.pending_) last.AddWord(last.pendingByte_);  // an odd file's last byte, paired with a zero
    const std::uint64_t sum = (last.sum_ & 0xFFFF) + (last.sum_ >> 16);
    return static_cast<std::uint32_t>(sum + length_);
}

std::uint32_t PeChecksum(const Bytes& image, std::size_t checksumOffset) {
    PeChecksumSum sum(checksumOffset);
    sum.Add(image);
    return sum.Value();
}

Bytes CertificateTable(const Bytes& signedData) {
    const std::size_t length = (8 + signedData.size() + 7) / 8 * 8;
    Bytes certificate(8, '\0');
    Write32(certificate, 0, static_cast<std::uint32_t>(length));
    certificate[4] = '\0', certificate[5] = '\x02';  // WIN_CERT_REVISION_2_0
    certificate[6] = '\x02', certificate[7] = '\0';  // WIN_CERT_TYPE_PKCS_SIGNED_DATA
    certificate += signedData;
    certificate.resize(length, '\0');
    return certificate;
}

Bytes SecurityEntry(std::uint64_t offset, std::uint64_t tableSize) {
    Bytes entry(8, '\0');
    Write32(entry, 0, static_cast<std::uint32_t>(offset));
    Write32(entry, 4, static_cast<std::uint32_t>(tableSize));
    return entry;
}

Bytes Attach(const Bytes& image, const PeLayout& layout, const Bytes& signedData) {
    Bytes out = image;
    out.resize(layout.paddedSize, '\0');
    const Bytes certificate = CertificateTable(signedData);
    out.replace(layout.securityEntryOffset, 8, SecurityEntry(layout.paddedSize, certificate.size()));
    out += certificate;
    Write32(out, layout.checksumOffset, PeChecksum(out, layout.checksumOffset));
    return out;
}

}  // namespace pack::authenticode
