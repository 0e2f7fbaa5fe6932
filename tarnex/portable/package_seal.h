// The package's seal: the name, size and SHA-256 of every file of the
// package folder that the installer reads, its description included. It is
// kept as a block at the end of the installer program's own bytes, after its
// last section and before its certificate table, where the program's
// Authenticode signature covers it: a signed package's seal is the
// publisher's, an unsigned one's still catches damage.
//
// The block: the seal's text (UTF-8), its length as 4 bytes little-endian,
// then the 8 bytes "TXSEAL01"; up to 7 zero bytes may follow it (the
// signature's table starts at a multiple of 8).
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tarnex {

using Sha256 = std::array<std::uint8_t, 32>;

struct SealedFile {
    std::wstring name;  // in the package folder, without a folder part
    std::uint64_t size = 0;
    Sha256 digest{};
};

struct PackageSeal {
    std::wstring description;           // the package's description, as the installer's name gives it
    std::wstring installedDescription;  // its copy beside the installed copy of the installer
    std::vector<SealedFile> files;      // every file, the description included

    // The file of that name (letter case of A-Z ignored), or nullptr.
    const SealedFile* Find(std::wstring_view name) const;
};

inline constexpr std::size_t kMaxSealText = 4u << 20;
inline constexpr std::size_t kMaxSealedFiles = 20000;
inline constexpr std::size_t kSealTrailer = 12;  // the length and the mark

// The seal as text: a first line "Tarnex seal 1", a line
// "description<TAB>PACKAGE NAME<TAB>INSTALLED NAME", then one line a file,
// "file<TAB>SIZE<TAB>SHA-256 in hex<TAB>NAME"; lines end in CR LF.
std::string SealText(const PackageSeal& seal);

// Reads a seal's text: false for anything SealText would not write (another
// version, a malformed line, a name with a folder part or a device, a
// description that is not among the files, a name twice).
bool ParseSealText(std::string_view text, PackageSeal& seal);

// The block that follows a program image of imageSize bytes: zero bytes
// first, so that the block ends at a multiple of 8.
std::string SealBlock(const PackageSeal& seal, std::uint64_t imageSize);

// Where a program image's own bytes end: at its certificate table when it
// has one (hasCertificates), else at its size. headers: the file's first
// bytes (4096 are enough for any program this tool makes). False for bytes
// that are no PE image or a table that lies outside the file.
// sectionsEnd: where the sections' raw data ends, so where anything
// appended to the image (a seal, a payload) begins; 0 when that is not
// known here: an image with a COFF symbol table (which lies after the
// sections too), or a section table beyond the headers given.
struct ImageEnd {
    std::uint64_t contentEnd = 0;
    bool hasCertificates = false;
    std::uint64_t sectionsEnd = 0;
};
bool FindImageEnd(std::string_view headers, std::uint64_t fileSize, ImageEnd& end);

// How many bytes lie between the sections' end and the content's end that
// are more than the up to 7 zero bytes a signer pads with (the caller looks
// at firstBytes, the first of them, up to 8): 0 for a plain image. Bytes
// there that end in no seal or payload were cut off or changed.
std::uint64_t AppendedBytes(const ImageEnd& end, std::string_view firstBytes);

// Where the seal's text lies, found from the last bytes before the image's
// content end (kSealTail of them, fewer in a shorter image): false when they
// end in no seal block, or its text would not fit before them.
inline constexpr std::size_t kSealTail = kSealTrailer + 7;
struct SealSpan {
    std::uint64_t offset = 0;
    std::uint32_t length = 0;
};
bool FindSealSpan(std::string_view lastBytes, std::uint64_t contentEnd, SealSpan& span);

std::string HexDigest(const Sha256& digest);
bool ParseHexDigest(std::string_view hex, Sha256& digest);

}  // namespace tarnex
