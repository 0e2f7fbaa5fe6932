#include "single_file_package.h"

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <string_view>

#include "carried_installer_check.h"
#include "code_signing.h"
#include "package_sealer.h"
#include "portable/sha256.h"
#include "portable/single_file_payload.h"
#include "single_file_layout.h"
#include "vrel/unique_handle.h"
#include "windows_files.h"

namespace pack {
namespace {

constexpr DWORD kPiece = 1u << 20;

std::wstring NameOf(const std::wstring& path) { return path.substr(path.find_last_of(L"\\/") + 1); }

// The files of the package folder, by name, with their sizes.
bool ListFolder(const std::wstring& folder, std::vector<tarnex::SealedFile>& files) {
    files.clear();
    WIN32_FIND_DATAW found{};
    vrel::unique_hfind find(::FindFirstFileW((folder + L"\\*").c_str(), &found));
    if (!find) return false;
    do {
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
        tarnex::SealedFile file;
        file.name = found.cFileName;
        file.size = (static_cast<std::uint64_t>(found.nFileSizeHigh) << 32) | found.nFileSizeLow;
        files.push_back(std::move(file));
    } while (::FindNextFileW(find.get(), &found));
    std::sort(files.begin(), files.end(),
              [](const tarnex::SealedFile& a, const tarnex::SealedFile& b) { return a.name < b.name; });
    return true;
}

// The output being written, removed unless it was renamed into place.
class PartialFile {
public:
    explicit PartialFile(std::wstring path) : path_(std::move(path)) {}
    ~PartialFile() {
        file_.reset();
        if (created_) ::DeleteFileW(path_.c_str());
    }
    PartialFile(const PartialFile&) = delete;
    PartialFile& operator=(const PartialFile&) = delete;

    bool Create() {
        file_.reset(::CreateFileW(path_.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
        return created_ = static_cast<bool>(file_);
    }
    // Appends bytes; at_ follows the file's end.
    bool Append(std::string_view bytes) {
        if (!WriteAt(file_.get(), at_, bytes)) return false;
        at_ += bytes.size();
        return true;
    }
    bool Close() {
        const bool flushed = ::FlushFileBuffers(file_.get()) != FALSE;
        file_.reset();
        return flushed;
    }
    bool MoveTo(const std::wstring& target) {
        if (!::MoveFileW(path_.c_str(), target.c_str())) return false;
        created_ = false;
        return true;
    }
    std::uint64_t At() const { return at_; }
    const std::wstring& Path() const { return path_; }

private:
    std::wstring path_;
    vrel::unique_hfile file_;
    std::uint64_t at_ = 0;
    bool created_ = false;
};

// Copies one package file to the output's end, hashing what it copies;
// false when it cannot be read or is not of its listed size.
bool AppendFile(PartialFile& out, const std::wstring& path, tarnex::SealedFile& file, std::vector<char>& piece) {
    vrel::unique_hfile in(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                        FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!in) return false;
    tarnex::Sha256Stream hash;
    std::uint64_t copied = 0;
    for (;;) {
        DWORD read = 0;
        if (!ReadAt(in.get(), copied, piece.data(), kPiece, read)) return false;
        if (read == 0) break;
        hash.Add(piece.data(), read);
        if (!out.Append(std::string_view(piece.data(), read))) return false;
        copied += read;
    }
    file.digest = hash.Finish();
    return copied == file.size && out.Append(std::string(static_cast<std::size_t>(tarnex::PaddedSize(copied) - copied), '\0'));
}

}  // namespace

bool WriteSingleFile(const std::wstring& folder, const std::wstring& installer, const std::wstring& output,
                     const CodeSigner* signer, std::wstring& error) {
    std::string image;
    std::wstring innerName;
    tarnex::PackageSeal inner;
    if (!ReadUnsealedProgram(installer, image, error)) return false;
    if (!FindSealedInstaller(folder, innerName, inner)) {
        error = L"the package in " + folder + L" has no sealed installer";
        return false;
    }
    // The index: the package's description named as the installer's seal
    // names it, every file of the folder (the sealed installer too).
    tarnex::PackageSeal index;
    index.description = inner.description;
    index.installedDescription = inner.installedDescription;
    if (!ListFolder(folder, index.files)) {
        error = L"cannot list " + folder;
        return false;
    }
    // The digests are made while the files are copied; the index's length
    // does not depend on them.
    std::vector<std::uint64_t> sizes;
    for (const tarnex::SealedFile& file : index.files) sizes.push_back(file.size);
    SingleFileLayout layout;
    if (!LayOutSingleFile(image.size(), sizes, tarnex::SealText(index).size(), signer != nullptr, layout)) {
        error = output + L" would be " + std::to_wstring(layout.end) + L" bytes" +
                (signer != nullptr ? L" before its signature" : L"") + L", more than the " +
                std::to_wstring(layout.limit) +
                L" a single-file package can hold (its program reads it with 32-bit offsets); ship the package folder "
                L"instead, or move large files out of the package";
        return false;
    }

    PartialFile out(output + L".partial-" + std::to_wstring(::GetCurrentProcessId()));
    if (!out.Create()) {
        error = L"cannot create " + out.Path();
        return false;
    }
    image.resize(static_cast<std::size_t>(layout.filesStart), '\0');
    std::vector<char> piece(kPiece);
    if (!out.Append(image)) {
        error = L"cannot write " + out.Path();
        return false;
    }
    for (std::size_t i = 0; i < index.files.size(); ++i) {
        tarnex::SealedFile& file = index.files[i];
        if (out.At() != layout.offsets[i] || !AppendFile(out, folder + L"\\" + file.name, file, piece)) {
            error = L"cannot copy " + folder + L"\\" + file.name + L" into " + out.Path();
            return false;
        }
    }
    if (!out.Append(tarnex::PayloadIndexBlock(index, layout.filesStart, layout.indexOffset)) || out.At() != layout.end ||
        !out.Close()) {
        error = L"cannot write the index into " + out.Path();
        return false;
    }
    if (signer != nullptr && !signer->Sign(out.Path(), error)) {
        error = L"signing failed, no package was written: " + error;
        return false;
    }
    if (!out.MoveTo(output)) {
        error = L"cannot rename " + out.Path() + L" to " + output;
        return false;
    }
    return true;
}

bool VerifySingleFile(const std::wstring& path, std::vector<std::wstring>& report) {
    const std::wstring name = NameOf(path);
    vrel::unique_hfile file(
        ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    std::uint64_t size = 0;
    std::string headers(4096, '\0');
    DWORD read = 0;
    if (!file || !FileSizeOf(file.get(), size) || !ReadAt(file.get(), 0, headers.data(), 4096, read)) {
        report.push_back(path + L": cannot be read");
        return false;
    }
    headers.resize(read);
    tarnex::ImageEnd end;
    tarnex::PayloadSpan span;
    tarnex::Payload payload;
    std::string tail;
    if (tarnex::FindImageEnd(headers, size, end))
        tail.assign(static_cast<std::size_t>(std::min<std::uint64_t>(tarnex::kPayloadTail, end.contentEnd)), '\0');
    if (tail.empty() ||
        !ReadAt(file.get(), end.contentEnd - tail.size(), tail.data(), static_cast<DWORD>(tail.size()), read) ||
        !tarnex::FindPayloadSpan(tail, end.contentEnd, span)) {
        report.push_back(name + L": carries no package (a package folder is checked by naming the folder)");
        return false;
    }
    std::string indexText(span.indexLength, '\0');
    if (!ReadAt(file.get(), span.indexOffset, indexText.data(), span.indexLength, read) || read != span.indexLength ||
        !tarnex::LayOutPayload(indexText, span, payload)) {
        report.push_back(name + L": the index of the package it carries cannot be read");
        return false;
    }
    bool holds = ReportSignature(path, name, report);

    const tarnex::PackageSeal& index = payload.index;
    const std::wstring installer = index.description.substr(0, index.description.size() - 4) + L".exe";
    if (index.Find(installer) == nullptr) {
        report.push_back(name + L": the index names the description " + index.description + L" but no installer " +
                         installer);
        holds = false;
    }
    std::vector<char> piece(kPiece);
    std::size_t good = 0;
    for (std::size_t i = 0; i < index.files.size(); ++i) {
        const tarnex::SealedFile& sealed = index.files[i];
        const std::uint64_t padded = tarnex::PaddedSize(sealed.size);
        tarnex::Sha256Stream hash;
        bool zeros = true, readable = true;
        for (std::uint64_t done = 0; done < padded && readable;) {
            const DWORD want = static_cast<DWORD>(std::min<std::uint64_t>(kPiece, padded - done));
            readable = ReadAt(file.get(), payload.offsets[i] + done, piece.data(), want, read) && read == want;
            const DWORD content = static_cast<DWORD>(std::min<std::uint64_t>(want, sealed.size - std::min(sealed.size, done)));
            hash.Add(piece.data(), content);
            zeros = zeros && std::all_of(piece.data() + content, piece.data() + want, [](char c) { return c == '\0'; });
            done += want;
        }
        const tarnex::Sha256 digest = hash.Finish();
        if (!readable) {
            report.push_back(sealed.name + L": cannot be read from " + name);
            holds = false;
        } else if (digest != sealed.digest) {
            report.push_back(DifferenceLine(sealed, sealed.size, digest));
            holds = false;
        } else if (!zeros) {
            report.push_back(sealed.name + L": the zero bytes that follow it in " + name + L" are changed");
            holds = false;
        } else {
            ++good;
        }
    }
    report.push_back(std::to_wstring(good) + L" of " + std::to_wstring(index.files.size()) + L" files of the package hold");
    // The installer unpacked from the single file checks the folder against
    // its own seal, not against the index: the two must agree.
    if (const tarnex::SealedFile* carried = index.Find(installer)) {
        const std::size_t at = static_cast<std::size_t>(carried - index.files.data());
        holds = CheckCarriedInstaller(file.get(), name, index, *carried, payload.offsets[at], report) && holds;
    }
    return holds;
}

}  // namespace pack
