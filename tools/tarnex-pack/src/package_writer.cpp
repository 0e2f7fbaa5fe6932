#include "package_writer.h"

#include <algorithm>

#include "cabinet_writer.h"
#include "code_signing.h"
#include "inf_text.h"
#include "package_sealer.h"
#include "description/file_sha256.h"
#include "portable/package_facts.h"
#include "vrel/unique_handle.h"
#include "windows_files.h"

namespace pack {
namespace {

std::wstring SystemMessage(DWORD code) {
    wchar_t* text = nullptr;
    const DWORD n = ::FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                         FORMAT_MESSAGE_IGNORE_INSERTS,
                                     nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::wstring message = n != 0 && text != nullptr ? std::wstring(text, n) : L"error " + std::to_wstring(code);
    if (text != nullptr) ::LocalFree(text);
    while (!message.empty() && (message.back() == L'\n' || message.back() == L'\r' || message.back() == L' '))
        message.pop_back();
    return message;
}

bool Fail(std::wstring& error, const std::wstring& what) {
    error = what + L": " + SystemMessage(::GetLastError());
    return false;
}

// The work folder, removed with everything in it unless it was renamed
// into place.
class WorkFolder {
public:
    explicit WorkFolder(std::wstring path) : path_(std::move(path)) {}
    ~WorkFolder() {
        if (created_) RemoveTree(path_);
    }
    WorkFolder(const WorkFolder&) = delete;
    WorkFolder& operator=(const WorkFolder&) = delete;
    bool Create() { return created_ = ::CreateDirectoryW(path_.c_str(), nullptr) != 0; }
    bool MoveTo(const std::wstring& target) {
        if (!::MoveFileW(path_.c_str(), target.c_str())) return false;
        created_ = false;
        return true;
    }
    std::wstring File(const std::wstring& name) const { return path_ + L"\\" + name; }
    const std::wstring& Path() const { return path_; }

private:
    std::wstring path_;
    bool created_ = false;
};

bool WriteBytes(const std::wstring& path, const std::string& bytes, std::wstring& error) {
    vrel::unique_hfile file(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD written = 0;
    if (!file || !::WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) ||
        written != bytes.size())
        return Fail(error, L"cannot write " + path);
    return true;
}

bool WriteInf(const std::wstring& path, const std::wstring& text, UINT codePage, std::wstring& error) {
    std::string bytes;
    if (!EncodeInf(text, codePage, bytes)) {
        error = L"the text of " + path + L" cannot be spelt in code page " + std::to_wstring(codePage);
        return false;
    }
    return WriteBytes(path, bytes, error);
}

// The installer reads a licence with a byte-order mark in that encoding and
// one without in the code page of the system it runs on. A UTF-8 licence
// without a mark (outside ASCII) is given one, so it reads the same
// everywhere; any other is copied as it is.
bool CopyLicence(const std::wstring& source, const std::wstring& target, std::wstring& error) {
    std::string bytes;
    if (!ReadWholeFile(source, bytes, 16 * 1024 * 1024)) return Fail(error, L"cannot read " + source);
    const bool marked = bytes.rfind("\xEF\xBB\xBF", 0) == 0 || bytes.rfind("\xFF\xFE", 0) == 0 ||
                        bytes.rfind("\xFE\xFF", 0) == 0;
    const bool ascii = std::all_of(bytes.begin(), bytes.end(), [](char c) { return (c & 0x80) == 0; });
    const bool utf8 = !bytes.empty() && ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, bytes.data(),
                                                               static_cast<int>(bytes.size()), nullptr, 0) > 0;
    return WriteBytes(target, !marked && !ascii && utf8 ? "\xEF\xBB\xBF" + bytes : bytes, error);
}

// The description lists itself with its own size, which depends on the
// digits of that size: written again until the two agree.
bool WriteDescription(const Manifest& manifest, PackagePlan& plan, UINT codePage, const std::wstring& path,
                      std::wstring& error) {
    FileFacts& own = plan.files[plan.installerFiles.back()].facts;
    own.stamp = LocalNow();
    own.size = 0;
    std::string bytes;
    for (int round = 0; round < 5; ++round) {
        if (!EncodeInf(DescriptionText(manifest, plan), codePage, bytes)) {
            error = L"the description cannot be spelt in code page " + std::to_wstring(codePage);
            return false;
        }
        if (bytes.size() == own.size) break;
        own.size = bytes.size();
    }
    if (bytes.size() != own.size) {
        error = L"the description's own size does not settle";
        return false;
    }
    if (!WriteBytes(path, bytes, error)) return false;
    // The installed copy is compared with this record's time by a repair.
    if (!SetLocalWriteTime(path, own.stamp)) return Fail(error, L"cannot set the time of " + path);
    return true;
}

// The installer's copy gets the seal of every other file of the package,
// then its signature. The description records the copy's size and the seal
// the description's digest, so both are written again until that size
// settles: the seal's length follows the digits of the description's size,
// a time stamp's length the server's answer.
bool SealInstaller(const Manifest& manifest, PackagePlan& plan, UINT codePage, const WorkFolder& work,
                   const CodeSigner* signer, std::wstring& error) {
    FileFacts& own = plan.files[plan.installerFiles.front()].facts;
    const std::wstring path = work.File(plan.files[plan.installerFiles.front()].sourceName);
    const std::wstring descriptionPath = work.File(plan.descriptionName);
    tarnex::PackageSeal seal;
    seal.description = plan.descriptionName;
    const std::wstring setName = SetNameUIOf(manifest.package);
    seal.installedDescription = setName.substr(0, setName.size() - 4) + L".inf";
    if (!DigestFolder(work.Path(), plan.files[plan.installerFiles.front()].sourceName, seal.files, error)) return false;
    tarnex::SealedFile* description = nullptr;
    for (tarnex::SealedFile& file : seal.files)
        if (file.name == plan.descriptionName) description = &file;
    if (description == nullptr) {
        error = L"the description is missing from " + work.Path();
        return false;
    }
    for (int round = 0; round < 6; ++round) {
        if (!WriteSeal(path, seal, error)) return false;
        if (signer != nullptr && !signer->Sign(path, error)) {
            error = L"signing failed, no package was written: " + error;
            return false;
        }
        if (!SetLocalWriteTime(path, own.stamp)) return Fail(error, L"cannot set the time of " + path);
        WIN32_FILE_ATTRIBUTE_DATA data{};
        if (!::GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return Fail(error, L"cannot read " + path);
        const std::uint64_t size = (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
        if (size == own.size) return true;
        own.size = size;
        ::DeleteFileW(descriptionPath.c_str());
        if (!WriteDescription(manifest, plan, codePage, descriptionPath, error)) return false;
        if (!tarnex::Sha256OfFile(descriptionPath, description->size, description->digest))
            return Fail(error, L"cannot read " + descriptionPath);
    }
    error = L"the installer's size does not settle";
    return false;
}

// Source names and the package's own names are plain ASCII.
std::string Ascii(const std::wstring& name) {
    std::string out;
    for (wchar_t c : name) out += static_cast<char>(c);
    return out;
}

}  // namespace

bool EncodeInf(const std::wstring& text, UINT codePage, std::string& bytes) {
    bytes.clear();
    if (codePage == kUtf16Inf) {
        bytes = "\xFF\xFE";
        for (wchar_t c : text) {
            bytes += static_cast<char>(c & 0xFF);
            bytes += static_cast<char>((c >> 8) & 0xFF);
        }
        return true;
    }
    if (text.empty()) return true;
    const bool strict = codePage != CP_UTF8 && codePage != CP_UTF7;
    BOOL lossy = FALSE;
    const DWORD flags = strict ? WC_NO_BEST_FIT_CHARS : 0;
    const int n = ::WideCharToMultiByte(codePage, flags, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr,
                                        strict ? &lossy : nullptr);
    if (n <= 0 || lossy) return false;
    bytes.resize(static_cast<std::size_t>(n));
    ::WideCharToMultiByte(codePage, flags, text.data(), static_cast<int>(text.size()), bytes.data(), n, nullptr, nullptr);
    return true;
}

bool WritePackage(const Manifest& manifest, PackagePlan& plan, UINT codePage, const std::wstring& outputFolder,
                  const CodeSigner* signer, std::wstring& error) {
    WorkFolder work(outputFolder + L".partial-" + std::to_wstring(::GetCurrentProcessId()));
    if (!work.Create()) return Fail(error, L"cannot create the work folder beside " + outputFolder);

    for (const PackageCopy& copy : plan.copies) {
        if (copy.packageName == tarnex::kLicenceFile) {
            if (!CopyLicence(copy.sourcePath, work.File(copy.packageName), error)) return false;
        } else if (!::CopyFileW(copy.sourcePath.c_str(), work.File(copy.packageName).c_str(), TRUE)) {
            return Fail(error, L"cannot copy " + copy.sourcePath);
        }
    }

    unsigned short setId = 1;
    for (const PlannedInf& inf : plan.infs) {
        if (!WriteInf(work.File(inf.infName), UserInfText(plan, inf), codePage, error)) return false;
        std::vector<CabinetEntry> entries;
        for (std::size_t f : inf.cabinetFiles) {
            const PlannedFile& file = plan.files[f];
            entries.push_back({file.sourcePath, Ascii(file.sourceName), file.facts.stamp});
        }
        // The cabinet transfer refuses a cabinet without files. A tree
        // without files gets its INF file as the one entry: no file record
        // bears that name, so the transfer passes it over.
        if (entries.empty())
            entries.push_back({work.File(inf.infName), Ascii(inf.infName), CabinetStamp(LocalNow())});
        if (!WriteCabinet(work.File(inf.cabinetName), work.File(L""), entries, setId++, error)) {
            error = inf.cabinetName + L": " + error;
            return false;
        }
    }
    if (!WriteDescription(manifest, plan, codePage, work.File(plan.descriptionName), error) ||
        !SealInstaller(manifest, plan, codePage, work, signer, error))
        return false;
    if (!work.MoveTo(outputFolder)) return Fail(error, L"cannot rename the work folder to " + outputFolder);
    return true;
}

}  // namespace pack
