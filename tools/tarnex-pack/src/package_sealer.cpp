#include "package_sealer.h"

#include <windows.h>
#include <wintrust.h>

#include <algorithm>

#include "description/file_sha256.h"
#include "vrel/folder_walk.h"
#include "vrel/same_text.h"
#include "vrel/signature_check.h"
#include "vrel/text_convert.h"
#include "vrel/unique_handle.h"
#include "windows_files.h"

namespace pack {
namespace {

constexpr std::uint64_t kProgramLimit = 256u << 20;

// The program's bytes without a certificate table and without a seal block.
bool UnsealedImage(std::string& image, std::wstring& error) {
    tarnex::ImageEnd end;
    if (!tarnex::FindImageEnd(std::string_view(image).substr(0, 4096), image.size(), end)) {
        error = L"the installer is no program";
        return false;
    }
    if (end.hasCertificates) {
        // The directory entry is found again the way FindImageEnd found it.
        const std::uint32_t pe = static_cast<unsigned char>(image[0x3C]) | static_cast<unsigned char>(image[0x3D]) << 8 |
                                 static_cast<unsigned char>(image[0x3E]) << 16 | static_cast<std::uint32_t>(static_cast<unsigned char>(image[0x3F])) << 24;
        const std::size_t optional = pe + 24;
        const bool wide = image[optional] == 0x0B && image[optional + 1] == 0x02;
        const std::size_t entry = optional + (wide ? 112 : 96) + 4 * 8;
        std::fill(image.begin() + static_cast<std::ptrdiff_t>(entry), image.begin() + static_cast<std::ptrdiff_t>(entry + 8), '\0');
        image.resize(static_cast<std::size_t>(end.contentEnd));
    }
    const std::size_t tail = std::min<std::size_t>(image.size(), tarnex::kSealTail);
    tarnex::SealSpan span;
    if (tarnex::FindSealSpan(std::string_view(image).substr(image.size() - tail), image.size(), span))
        image.resize(static_cast<std::size_t>(span.offset));
    return true;
}

std::wstring Hex(const tarnex::Sha256& digest) { return vrel::ToWide(tarnex::HexDigest(digest), CP_UTF8); }

}  // namespace

bool ReadUnsealedProgram(const std::wstring& path, std::string& image, std::wstring& error) {
    if (!ReadWholeFile(path, image, kProgramLimit)) {
        error = L"cannot read " + path;
        return false;
    }
    return UnsealedImage(image, error);
}

bool FindSealedInstaller(const std::wstring& folder, std::wstring& name, tarnex::PackageSeal& seal) {
    for (const std::wstring& candidate : vrel::FileNamesIn(folder)) {
        if (candidate.size() < 4 || !vrel::SameTextIgnoringCase(candidate.substr(candidate.size() - 4), L".exe")) continue;
        std::string image;
        if (!ReadWholeFile(folder + L"\\" + candidate, image, kProgramLimit)) continue;
        tarnex::ImageEnd end;
        tarnex::SealSpan span;
        if (!tarnex::FindImageEnd(std::string_view(image).substr(0, 4096), image.size(), end)) continue;
        const std::size_t contentEnd = static_cast<std::size_t>(end.contentEnd);
        const std::size_t tail = std::min<std::size_t>(contentEnd, tarnex::kSealTail);
        if (!tarnex::FindSealSpan(std::string_view(image).substr(contentEnd - tail, tail), end.contentEnd, span) ||
            !tarnex::ParseSealText(std::string_view(image).substr(static_cast<std::size_t>(span.offset), span.length), seal))
            continue;
        name = candidate;
        return true;
    }
    return false;
}

bool ReportSignature(const std::wstring& path, const std::wstring& name, std::vector<std::wstring>& report) {
    const vrel::SignatureCheck signature = vrel::CheckSignature(path);
    if (!signature.checked) {
        report.push_back(name + L": the signature cannot be checked");
        return false;
    }
    if (signature.status == TRUST_E_NOSIGNATURE) {
        report.push_back(name + L": not signed; the seal catches damage, it does not name a publisher");
        return true;
    }
    if (signature.status == TRUST_E_BAD_DIGEST || signature.status == static_cast<LONG>(TRUST_E_SUBJECT_FORM_UNKNOWN)) {
        wchar_t code[16] = {};
        ::wsprintfW(code, L"0x%08lX", static_cast<unsigned long>(signature.status));
        report.push_back(name + L": the signature does not match the program's bytes (" + code + L")");
        return false;
    }
    report.push_back(name + L": signed by \"" + signature.signer + L"\", the signature matches its bytes");
    return true;
}

std::wstring DifferenceLine(const tarnex::SealedFile& sealed, std::uint64_t size, const tarnex::Sha256& digest) {
    return sealed.name + L": expected SHA-256 " + Hex(sealed.digest) + L" (" + std::to_wstring(sealed.size) +
           L" bytes), found " + Hex(digest) + L" (" + std::to_wstring(size) + L" bytes)";
}

bool DigestFolder(const std::wstring& folder, const std::wstring& except, std::vector<tarnex::SealedFile>& files,
                  std::wstring& error) {
    files.clear();
    for (const std::wstring& name : vrel::FileNamesIn(folder)) {
        if (vrel::SameTextIgnoringCase(name, except)) continue;
        tarnex::SealedFile file;
        file.name = name;
        if (!tarnex::Sha256OfFile(folder + L"\\" + name, file.size, file.digest)) {
            error = L"cannot read " + folder + L"\\" + name + L" to seal it";
            return false;
        }
        files.push_back(std::move(file));
    }
    return true;
}

bool WriteSeal(const std::wstring& path, const tarnex::PackageSeal& seal, std::wstring& error) {
    std::string image;
    if (!ReadWholeFile(path, image, kProgramLimit)) {
        error = L"cannot read " + path + L" to seal it";
        return false;
    }
    if (!UnsealedImage(image, error)) return false;
    image += tarnex::SealBlock(seal, image.size());
    vrel::unique_hfile file(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD written = 0;
    if (!file || !::WriteFile(file.get(), image.data(), static_cast<DWORD>(image.size()), &written, nullptr) ||
        written != image.size()) {
        error = L"cannot write the seal into " + path;
        return false;
    }
    return true;
}

bool VerifyPackage(const std::wstring& folder, std::vector<std::wstring>& report) {
    std::wstring installer;
    tarnex::PackageSeal seal;
    if (!FindSealedInstaller(folder, installer, seal)) {
        report.push_back(folder + L": no program of the folder carries a package seal");
        return false;
    }
    bool holds = ReportSignature(folder + L"\\" + installer, installer, report);
    const std::wstring expectedDescription = installer.substr(0, installer.size() - 4) + L".inf";
    if (!vrel::SameTextIgnoringCase(expectedDescription, seal.description)) {
        report.push_back(installer + L": reads the description " + expectedDescription + L", its seal names " +
                         seal.description);
        holds = false;
    }
    std::size_t good = 0;
    for (const tarnex::SealedFile& sealed : seal.files) {
        std::uint64_t size = 0;
        tarnex::Sha256 digest{};
        const std::wstring path = folder + L"\\" + sealed.name;
        if (!tarnex::Sha256OfFile(path, size, digest)) {
            report.push_back(sealed.name + L": expected SHA-256 " + Hex(sealed.digest) + L", found missing");
            holds = false;
        } else if (size != sealed.size || digest != sealed.digest) {
            report.push_back(DifferenceLine(sealed, size, digest));
            holds = false;
        } else {
            ++good;
        }
    }
    for (const std::wstring& name : vrel::FileNamesIn(folder))
        if (!vrel::SameTextIgnoringCase(name, installer) && seal.Find(name) == nullptr)
            report.push_back(name + L": not in the seal (the installer does not read it)");
    report.push_back(std::to_wstring(good) + L" of " + std::to_wstring(seal.files.size()) + L" sealed files hold");
    return holds;
}

}  // namespace pack
