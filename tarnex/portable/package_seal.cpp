#include "portable/package_seal.h"

#include <cstring>

#include "portable/path_guard.h"
#include "vrel/hex_text.h"

namespace tarnex {
namespace {

constexpr char kFirstLine[] = "Tarnex seal 1";
constexpr char kMark[8] = {'T', 'X', 'S', 'E', 'A', 'L', '0', '1'};

wchar_t FoldAscii(wchar_t c) { return c >= L'A' && c <= L'Z' ? static_cast<wchar_t>(c - L'A' + L'a') : c; }

bool SameName(std::wstring_view a, std::wstring_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (FoldAscii(a[i]) != FoldAscii(b[i])) return false;
    return true;
}

void AppendUtf8(std::string& out, std::wstring_view text) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        std::uint32_t c = static_cast<std::uint32_t>(text[i]);
        if (sizeof(wchar_t) == 2 && c >= 0xD800 && c < 0xDC00 && i + 1 < text.size()) {
            const std::uint32_t low = static_cast<std::uint32_t>(text[i + 1]);
            if (low >= 0xDC00 && low < 0xE000) {
                c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
                ++i;
            }
        }
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
}

// Strict UTF-8: no overlong forms, no surrogates, nothing past U+10FFFF,
// no control characters.
bool DecodeUtf8(std::string_view text, std::wstring& out) {
    out.clear();
    for (std::size_t i = 0; i < text.size();) {
        const unsigned char lead = static_cast<unsigned char>(text[i]);
        std::uint32_t c = 0;
        std::size_t more = 0;
        if (lead < 0x80) c = lead;
        else if ((lead & 0xE0) == 0xC0) c = lead & 0x1F, more = 1;
        else if ((lead & 0xF0) == 0xE0) c = lead & 0x0F, more = 2;
        else if ((lead & 0xF8) == 0xF0) c = lead & 0x07, more = 3;
        else return false;
        if (text.size() - i <= more) return false;
        for (std::size_t k = 1; k <= more; ++k) {
            const unsigned char next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80) return false;
            c = (c << 6) | (next & 0x3F);
        }
        static constexpr std::uint32_t kLeast[] = {0, 0x80, 0x800, 0x10000};
        if (c < kLeast[more] || c > 0x10FFFF || (c >= 0xD800 && c < 0xE000) || c < 0x20) return false;
        if (sizeof(wchar_t) == 2 && c >= 0x10000) {
            out += static_cast<wchar_t>(0xD800 + ((c - 0x10000) >> 10));
            out += static_cast<wchar_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
        } else {
            out += static_cast<wchar_t>(c);
        }
        i += more + 1;
    }
    return true;
}

// Tab-separated fields of one line.
std::vector<std::string_view> Fields(std::string_view line) {
    std::vector<std::string_view> fields;
    for (;;) {
        const std::size_t tab = line.find('\t');
        fields.push_back(line.substr(0, tab));
        if (tab == std::string_view::npos) return fields;
        line.remove_prefix(tab + 1);
    }
}

bool ParseSize(std::string_view digits, std::uint64_t& size) {
    if (digits.empty() || digits.size() > 19 || (digits.size() > 1 && digits[0] == '0')) return false;
    size = 0;
    for (char c : digits) {
        if (c < '0' || c > '9') return false;
        size = size * 10 + static_cast<std::uint64_t>(c - '0');
    }
    return true;
}

bool ParseName(std::string_view utf8, std::wstring& name) {
    return DecodeUtf8(utf8, name) && !name.empty() && name.size() <= 255 &&
           name.find_first_of(L"\\/") == std::wstring::npos && StaysInsideFolder(name);
}

std::uint32_t Read32(const char* p) {
    std::uint32_t v = 0;
    for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(p[i]);
    return v;
}

}  // namespace

const SealedFile* PackageSeal::Find(std::wstring_view name) const {
    for (const SealedFile& file : files)
        if (SameName(file.name, name)) return &file;
    return nullptr;
}

std::string HexDigest(const Sha256& digest) {
    return vrel::FormatHex(digest.data(), digest.size(), vrel::HexCase::Lower, '\0');
}

bool ParseHexDigest(std::string_view hex, Sha256& digest) {
    if (hex.size() != 64) return false;
    for (std::size_t i = 0; i < 64; ++i) {
        const char c = hex[i];
        const int v = vrel::HexDigitValue(c, vrel::HexLetters::LowerOnly);
        if (v < 0) return false;
        digest[i / 2] = static_cast<std::uint8_t>(i % 2 == 0 ? v << 4 : (digest[i / 2] | v));
    }
    return true;
}

std::string SealText(const PackageSeal& seal) {
    std::string text = std::string(kFirstLine) + "\r\ndescription\t";
    AppendUtf8(text, seal.description);
    text += '\t';
    AppendUtf8(text, seal.installedDescription);
    text += "\r\n";
    for (const SealedFile& file : seal.files) {
        text += "file\t" + std::to_string(file.size) + "\t" + HexDigest(file.digest) + "\t";
        AppendUtf8(text, file.name);
        text += "\r\n";
    }
    return text;
}

bool ParseSealText(std::string_view text, PackageSeal& seal) {
    seal = PackageSeal{};
    if (text.size() > kMaxSealText) return false;
    bool first = true, described = false;
    while (!text.empty()) {
        const std::size_t end = text.find("\r\n");
        if (end == std::string_view::npos) return false;
        const std::string_view line = text.substr(0, end);
        text.remove_prefix(end + 2);
        if (first) {
            if (line != kFirstLine) return false;
            first = false;
            continue;
        }
        const std::vector<std::string_view> f = Fields(line);
        if (f[0] == "description" && f.size() == 3 && !described) {
            if (!ParseName(f[1], seal.description) || !ParseName(f[2], seal.installedDescription)) return false;
            described = true;
        } else if (f[0] == "file" && f.size() == 4 && described && seal.files.size() < kMaxSealedFiles) {
            SealedFile file;
            if (!ParseSize(f[1], file.size) || !ParseHexDigest(f[2], file.digest) || !ParseName(f[3], file.name) ||
                seal.Find(file.name) != nullptr)
                return false;
            seal.files.push_back(std::move(file));
        } else {
            return false;
        }
    }
    return described && seal.Find(seal.description) != nullptr;
}

std::string SealBlock(const PackageSeal& seal, std::uint64_t imageSize) {
    const std::string text = SealText(seal);
    const std::uint64_t unpadded = imageSize + text.size() + kSealTrailer;
    std::string block(static_cast<std::size_t>((8 - unpadded % 8) % 8), '\0');
    block += text;
    const std::uint32_t n = static_cast<std::uint32_t>(text.size());
    for (int i = 0; i < 4; ++i) block += static_cast<char>((n >> (8 * i)) & 0xFF);
    block.append(kMark, sizeof kMark);
    return block;
}

namespace {

std::uint16_t Read16(const char* p) {
    return static_cast<std::uint16_t>(static_cast<unsigned char>(p[0]) | static_cast<unsigned char>(p[1]) << 8);
}

// The end of the last section's raw data; 0 when unknown (a COFF symbol
// table follows the sections, or the section table lies past headers).
std::uint64_t SectionsEnd(std::string_view headers, std::uint32_t pe) {
    if (Read32(headers.data() + pe + 12) != 0) return 0;  // PointerToSymbolTable
    const std::uint16_t sections = Read16(headers.data() + pe + 6);
    const std::size_t table = static_cast<std::size_t>(pe) + 24 + Read16(headers.data() + pe + 20);
    constexpr std::size_t kSectionHeader = 40;
    if (table > headers.size() || (headers.size() - table) / kSectionHeader < sections) return 0;
    std::uint64_t last = 0;
    for (std::size_t i = 0; i < sections; ++i) {
        const char* section = headers.data() + table + i * kSectionHeader;
        const std::uint32_t size = Read32(section + 16);  // SizeOfRawData
        const std::uint32_t at = Read32(section + 20);    // PointerToRawData
        if (size != 0 && static_cast<std::uint64_t>(at) + size > last) last = static_cast<std::uint64_t>(at) + size;
    }
    return last;
}

}  // namespace

std::uint64_t AppendedBytes(const ImageEnd& end, std::string_view firstBytes) {
    if (end.sectionsEnd == 0 || end.contentEnd <= end.sectionsEnd) return 0;
    const std::uint64_t appended = end.contentEnd - end.sectionsEnd;
    if (appended > 7) return appended;
    for (std::size_t i = 0; i < firstBytes.size() && i < appended; ++i)
        if (firstBytes[i] != '\0') return appended;
    return 0;
}

bool FindImageEnd(std::string_view headers, std::uint64_t fileSize, ImageEnd& end) {
    end = ImageEnd{};
    if (headers.size() < 0x40 || headers[0] != 'M' || headers[1] != 'Z') return false;
    const std::uint32_t pe = Read32(headers.data() + 0x3C);
    if (pe > headers.size() || headers.size() - pe < 24 + 2) return false;
    if (std::memcmp(headers.data() + pe, "PE\0\0", 4) != 0) return false;
    const std::size_t optional = pe + 24;
    const unsigned magic = static_cast<unsigned char>(headers[optional]) | static_cast<unsigned char>(headers[optional + 1]) << 8;
    // The data directories follow the optional header's fixed part; the
    // certificate table is the fifth.
    const std::size_t directories = optional + (magic == 0x10B ? 96 : magic == 0x20B ? 112 : 0);
    if (directories == optional || headers.size() < directories) return false;
    const std::uint32_t count = Read32(headers.data() + directories - 4);
    end.contentEnd = fileSize;
    end.sectionsEnd = SectionsEnd(headers, pe);
    if (count <= 4) return true;
    if (headers.size() - directories < 5 * 8) return false;
    const std::uint32_t tableAt = Read32(headers.data() + directories + 4 * 8);
    const std::uint32_t tableSize = Read32(headers.data() + directories + 4 * 8 + 4);
    if (tableAt == 0 && tableSize == 0) return true;
    if (tableAt == 0 || tableSize == 0 || tableAt > fileSize || fileSize - tableAt < tableSize) return false;
    end.contentEnd = tableAt;
    end.hasCertificates = true;
    return true;
}

bool FindSealSpan(std::string_view lastBytes, std::uint64_t contentEnd, SealSpan& span) {
    span = SealSpan{};
    if (lastBytes.size() > contentEnd) return false;
    std::size_t n = lastBytes.size();
    for (int pad = 0; pad < 7 && n > 0 && lastBytes[n - 1] == '\0'; ++pad) --n;
    if (n < kSealTrailer || std::memcmp(lastBytes.data() + n - sizeof kMark, kMark, sizeof kMark) != 0) return false;
    const std::uint32_t length = Read32(lastBytes.data() + n - kSealTrailer);
    const std::uint64_t trailerAt = contentEnd - (lastBytes.size() - n) - kSealTrailer;
    if (length > kMaxSealText || length > trailerAt) return false;
    span.offset = trailerAt - length;
    span.length = length;
    return true;
}

}  // namespace tarnex
