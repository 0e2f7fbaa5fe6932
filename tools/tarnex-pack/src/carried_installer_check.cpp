#include "carried_installer_check.h"

#include <algorithm>

#include "package_sealer.h"
#include "vrel/same_text.h"
#include "vrel/text_convert.h"
#include "vrel/unique_handle.h"
#include "windows_files.h"

namespace pack {
namespace {

constexpr DWORD kPiece = 1u << 20;

std::wstring Hex(const tarnex::Sha256& digest) { return vrel::ToWide(tarnex::HexDigest(digest), CP_UTF8); }

// size bytes at offset, all of them or false.
bool ReadExactly(HANDLE file, std::uint64_t offset, std::size_t size, std::string& bytes) {
    bytes.assign(size, '\0');
    DWORD read = 0;
    return size == 0 || (ReadAt(file, offset, bytes.data(), static_cast<DWORD>(size), read) && read == size);
}

enum class SealRead { Found, Absent, Unreadable };

// The seal at the end of the installer's own bytes, as the installer reads
// its own: offsets are the installer's, shifted by where it starts.
SealRead ReadCarriedSeal(HANDLE file, std::uint64_t start, std::uint64_t size, tarnex::ImageEnd& end,
                         tarnex::PackageSeal& seal) {
    std::string bytes;
    if (!ReadExactly(file, start, static_cast<std::size_t>(std::min<std::uint64_t>(size, 4096)), bytes) ||
        !tarnex::FindImageEnd(bytes, size, end))
        return SealRead::Unreadable;
    const std::size_t tail = static_cast<std::size_t>(std::min<std::uint64_t>(end.contentEnd, tarnex::kSealTail));
    tarnex::SealSpan span;
    if (!ReadExactly(file, start + end.contentEnd - tail, tail, bytes)) return SealRead::Unreadable;
    if (!tarnex::FindSealSpan(bytes, end.contentEnd, span)) return SealRead::Absent;
    if (!ReadExactly(file, start + span.offset, span.length, bytes) || !tarnex::ParseSealText(bytes, seal))
        return SealRead::Unreadable;
    return SealRead::Found;
}

// Copies size bytes from offset of one open file into a new file at path.
bool CopyOut(HANDLE from, std::uint64_t offset, std::uint64_t size, const std::wstring& path) {
    vrel::unique_hfile to(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!to) return false;
    std::vector<char> piece(kPiece);
    for (std::uint64_t done = 0; done < size;) {
        const DWORD want = static_cast<DWORD>(std::min<std::uint64_t>(kPiece, size - done));
        DWORD read = 0;
        if (!ReadAt(from, offset + done, piece.data(), want, read) || read != want ||
            !WriteAt(to.get(), done, std::string_view(piece.data(), want)))
            return false;
        done += want;
    }
    return true;
}

// A new folder of our own under the temporary folder: one a run that was
// cut off left is passed over, never reused. Empty when none can be made.
std::wstring NewOwnFolder() {
    wchar_t temp[MAX_PATH + 1] = {};
    const DWORD n = ::GetTempPathW(MAX_PATH + 1, temp);
    if (n == 0 || n > MAX_PATH) return L"";
    const std::wstring stem = std::wstring(temp, n) + L"tarnex-pack-verify-" + std::to_wstring(::GetCurrentProcessId());
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::wstring folder = stem + L"-" + std::to_wstring(attempt);
        if (::CreateDirectoryW(folder.c_str(), nullptr)) return folder;
        if (::GetLastError() != ERROR_ALREADY_EXISTS) break;
    }
    return L"";
}

// WinVerifyTrust reads a file: the installer's bytes are copied into a
// folder of our own, checked there and removed with it.
bool ReportCarriedSignature(HANDLE file, std::uint64_t start, const tarnex::SealedFile& installer, const std::wstring& shown,
                            std::vector<std::wstring>& report) {
    const std::wstring folder = NewOwnFolder();
    if (folder.empty()) {
        report.push_back(shown + L": the signature cannot be checked (no folder for its copy)");
        return false;
    }
    const TemporaryFolder owned(folder);
    const std::wstring copy = folder + L"\\" + installer.name;
    if (!CopyOut(file, start, installer.size, copy)) {
        report.push_back(shown + L": the signature cannot be checked (its copy cannot be written)");
        return false;
    }
    return ReportSignature(copy, shown, report);
}

}  // namespace

bool CheckCarriedInstaller(HANDLE singleFile, const std::wstring& singleName, const tarnex::PackageSeal& index,
                           const tarnex::SealedFile& installer, std::uint64_t offset, std::vector<std::wstring>& report) {
    const std::wstring shown = installer.name + L" inside " + singleName;
    tarnex::ImageEnd end;
    tarnex::PackageSeal seal;
    switch (ReadCarriedSeal(singleFile, offset, installer.size, end, seal)) {
        case SealRead::Unreadable:
            report.push_back(shown + L": its seal cannot be read");
            return false;
        case SealRead::Absent:
            report.push_back(shown + L": carries no seal: it would not check the files of the package");
            return false;
        case SealRead::Found:
            break;
    }
    const bool signatureHolds = !end.hasCertificates || ReportCarriedSignature(singleFile, offset, installer, shown, report);
    bool agrees = true;
    if (!vrel::SameTextIgnoringCase(seal.description, index.description) ||
        !vrel::SameTextIgnoringCase(seal.installedDescription, index.installedDescription)) {
        report.push_back(shown + L": its seal names the description " + seal.description + L" (installed as " +
                         seal.installedDescription + L"), the index " + index.description + L" (installed as " +
                         index.installedDescription + L")");
        agrees = false;
    }
    for (const tarnex::SealedFile& sealed : seal.files) {
        const tarnex::SealedFile* listed = index.Find(sealed.name);
        if (listed == nullptr) {
            report.push_back(sealed.name + L": in the seal of " + shown + L", not in the index");
            agrees = false;
        } else if (listed->size != sealed.size || listed->digest != sealed.digest) {
            report.push_back(sealed.name + L": the index holds SHA-256 " + Hex(listed->digest) + L" (" +
                             std::to_wstring(listed->size) + L" bytes), the seal of " + shown + L" " + Hex(sealed.digest) +
                             L" (" + std::to_wstring(sealed.size) + L" bytes)");
            agrees = false;
        }
    }
    for (const tarnex::SealedFile& listed : index.files) {
        if (vrel::SameTextIgnoringCase(listed.name, installer.name) || seal.Find(listed.name) != nullptr) continue;
        report.push_back(listed.name + L": in the index, not in the seal of " + shown + L" (the installer would not check it)");
        agrees = false;
    }
    if (agrees)
        report.push_back(shown + L": its seal names the index's description and its " +
                         std::to_wstring(seal.files.size()) + L" files besides the installer");
    return signatureHolds && agrees;
}

}  // namespace pack
