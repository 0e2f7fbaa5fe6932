#include "description/package_seal_check.h"

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>

#include "description/file_sha256.h"
#include "description/package_paths.h"
#include "portable/package_seal.h"
#include "services/app_context.h"
#include "services/setup_log.h"
#include "vrel/same_text.h"
#include "vrel/signature_check.h"
#include "vrel/text_convert.h"
#include "vrel/unique_handle.h"

namespace tarnex {
namespace {

struct SealState {
    bool sealed = false;
    PackageSeal seal;
};

SealState& State() {
    static SealState state;
    return state;
}

void Log(const std::wstring& text) { WriteLog(L"Package seal: " + text + L"\r\n"); }

std::wstring Hex(const Sha256& digest) { return vrel::ToWide(HexDigest(digest), CP_UTF8); }

bool ReadAt(HANDLE file, std::uint64_t offset, std::string& bytes, std::size_t size) {
    bytes.assign(size, '\0');
    LARGE_INTEGER at{};
    at.QuadPart = static_cast<LONGLONG>(offset);
    DWORD read = 0;
    return ::SetFilePointerEx(file, at, nullptr, FILE_BEGIN) &&
           (size == 0 || ::ReadFile(file, bytes.data(), static_cast<DWORD>(size), &read, nullptr)) && read == size;
}

// CutOff: bytes after the image that end in no seal (nor in a single
// file's payload, which is looked for before): what is left of a package
// whose end was cut off, or changed.
enum class SealRead { Found, Absent, Unreadable, CutOff };

// The seal block at the end of the program's own bytes.
SealRead ReadOwnSeal(const std::wstring& program, bool& hasSignature, PackageSeal& seal) {
    vrel::unique_hfile file(::CreateFileW(program.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                                          OPEN_EXISTING, 0, nullptr));
    LARGE_INTEGER size{};
    if (!file || !::GetFileSizeEx(file.get(), &size)) return SealRead::Unreadable;
    const std::uint64_t fileSize = static_cast<std::uint64_t>(size.QuadPart);
    std::string bytes;
    ImageEnd end;
    if (!ReadAt(file.get(), 0, bytes, static_cast<std::size_t>(fileSize < 4096 ? fileSize : 4096)) ||
        !FindImageEnd(bytes, fileSize, end))
        return SealRead::Unreadable;
    hasSignature = end.hasCertificates;
    const std::size_t tail = static_cast<std::size_t>(end.contentEnd < kSealTail ? end.contentEnd : kSealTail);
    SealSpan span;
    if (!ReadAt(file.get(), end.contentEnd - tail, bytes, tail)) return SealRead::Unreadable;
    if (!FindSealSpan(bytes, end.contentEnd, span)) {
        std::string appended;
        if (end.sectionsEnd != 0 && end.contentEnd > end.sectionsEnd &&
            !ReadAt(file.get(), end.sectionsEnd, appended,
                    static_cast<std::size_t>(std::min<std::uint64_t>(8, end.contentEnd - end.sectionsEnd))))
            return SealRead::Unreadable;
        return AppendedBytes(end, appended) != 0 ? SealRead::CutOff : SealRead::Absent;
    }
    if (!ReadAt(file.get(), span.offset, bytes, span.length) || !ParseSealText(bytes, seal)) return SealRead::Unreadable;
    return SealRead::Found;
}

bool Missing(const std::wstring& path) { return ::GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES; }

void LogNotFound(const SealedFile& sealed, bool missing) {
    Log(sealed.name + L": expected SHA-256 " + Hex(sealed.digest) + L", found " + (missing ? L"missing" : L"unreadable"));
}

// What was found against the record; logs a difference.
bool Matches(const SealedFile& sealed, std::uint64_t size, const Sha256& digest) {
    if (size == sealed.size && digest == sealed.digest) return true;
    Log(sealed.name + L": expected SHA-256 " + Hex(sealed.digest) + L" (" + std::to_wstring(sealed.size) +
        L" bytes), found " + Hex(digest) + L" (" + std::to_wstring(size) + L" bytes)");
    return false;
}

// The file against its record; logs a difference.
bool MatchesSeal(const std::wstring& path, const SealedFile& sealed) {
    std::uint64_t size = 0;
    Sha256 digest{};
    if (!Sha256OfFile(path, size, digest)) {
        LogNotFound(sealed, Missing(path));
        return false;
    }
    return Matches(sealed, size, digest);
}

// A cabinet step 3 hashes as it reads it: here it must be there, of its
// sealed size (one that is not is hashed for the log).
bool PresentWithSealedSize(const std::wstring& path, const SealedFile& sealed) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    const bool found = ::GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data) != FALSE;
    const std::uint64_t size = (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    return (found && size == sealed.size) || MatchesSeal(path, sealed);
}

std::wstring FileNameOf(const std::wstring& path) { return path.substr(path.find_last_of(L'\\') + 1); }

// A cabinet read without its record in the seal.
bool Unsealed(const std::wstring& name) {
    Log(name + L": read as a cabinet of the package, its seal does not name it");
    return false;
}

}  // namespace

bool SignatureMatchesBytes(const std::wstring& program, std::wstring& refusedFile) {
    const vrel::SignatureCheck check = vrel::CheckSignature(program);
    const std::wstring signer = check.signer.empty() ? L"" : L", signed by \"" + check.signer + L"\"";
    // The chain's trust is the system's question (its prompt for rights,
    // SmartScreen); what is refused here is a signature that no longer
    // holds for these bytes.
    if (check.checked && check.status != TRUST_E_BAD_DIGEST && check.status != TRUST_E_NOSIGNATURE &&
        check.status != static_cast<LONG>(TRUST_E_SUBJECT_FORM_UNKNOWN)) {
        Log(L"the program's signature matches its bytes" + signer);
        return true;
    }
    wchar_t code[16] = {};
    ::wsprintfW(code, L"0x%08lX", static_cast<unsigned long>(check.status));
    Log(check.checked ? L"the signature of " + program + L" does not match its bytes (" + code + L")" + signer
                      : L"the signature of " + program + L" cannot be checked");
    refusedFile = std::wstring(App().ProgramName) + L".exe";
    return false;
}

bool OpenPackageSeal(std::wstring& refusedFile) {
    SealState& state = State();
    state = SealState{};
    // The program whose package this is: the running one, or the installer
    // a single file unpacked and runs in its place.
    const std::wstring program = App().ProgramPath;
    const std::wstring programName = program.substr(program.find_last_of(L'\\') + 1);
    bool hasSignature = false;
    const SealRead read = ReadOwnSeal(program, hasSignature, state.seal);
    if (hasSignature && !SignatureMatchesBytes(program, refusedFile)) return false;
    if (read == SealRead::Unreadable) {
        Log(L"the seal of " + program + L" cannot be read");
        refusedFile = programName;
        return false;
    }
    if (read == SealRead::CutOff) {
        Log(L"the program " + program +
            L" carries bytes after its image that end in neither a seal nor a package: its end was cut off or changed");
        refusedFile = programName;
        return false;
    }
    if (read == SealRead::Absent) {
        Log(std::wstring(L"the package is not sealed: its files are not checked") +
            (hasSignature ? L" (the program itself is signed)" : L""));
        return true;
    }
    state.sealed = true;
    const std::wstring description = std::wstring(App().ProgramName) + L".inf";
    if (!vrel::SameTextIgnoringCase(description, state.seal.description) && !vrel::SameTextIgnoringCase(description, state.seal.installedDescription)) {
        Log(L"the program reads the description " + description + L", its seal names " + state.seal.description);
        refusedFile = description;
        return false;
    }
    Log(L"sealed, " + std::to_wstring(state.seal.files.size()) + L" files" +
        (hasSignature ? L"" : L", the program is not signed: the seal catches damage only"));
    const SealedFile* sealed = state.seal.Find(state.seal.description);
    if (!MatchesSeal(std::wstring(App().ProgramFolder) + description, *sealed)) {
        refusedFile = description;
        return false;
    }
    return true;
}

bool CheckSealedFiles(const SetupDescription& description, bool installedCopy, std::wstring& refusedFile) {
    const SealState& state = State();
    if (!state.sealed) return true;
    const AppContext& app = App();
    // The installed copy reads the INF copies and the installer's own files
    // beside it; a file of a component that bears a package file's name
    // (a "license.txt" of its own) is none of its business.
    const auto readByInstalledCopy = [&description](const std::wstring& name) {
        for (const InfFileEntry& entry : description.InfFiles)
            if (vrel::SameTextIgnoringCase(PackageRelativePath(entry.InfPath), name)) return true;
        for (const FileRecord& record : description.FileList)
            if (vrel::SameTextIgnoringCase(record.TargetName, name)) return true;
        return false;
    };
    // The package's cabinets, hashed by step 3 as it reads them.
    const auto readByStep3 = [&description](const std::wstring& path) {
        for (std::size_t i = 1; i < description.InfFiles.size(); ++i)
            if (vrel::SameTextIgnoringCase(description.InfFiles[i].CabinetPath, path)) return true;
        return false;
    };
    bool deferred = false;
    for (const SealedFile& file : state.seal.files) {
        if (vrel::SameTextIgnoringCase(file.name, state.seal.description)) continue;  // checked before it was read
        const std::wstring path = std::wstring(app.ProgramFolder) + file.name;
        if (installedCopy && (!readByInstalledCopy(file.name) || Missing(path)))
            continue;
        if (!installedCopy && readByStep3(path)) {
            deferred = true;
            if (PresentWithSealedSize(path, file)) continue;
            refusedFile = file.name;
            return false;
        }
        if (!MatchesSeal(path, file)) {
            refusedFile = file.name;
            return false;
        }
    }
    if (deferred) Log(L"the cabinets are checked as the copy reads them");
    return true;
}

bool PackageIsSealed() { return State().sealed; }

bool CabinetMatchesSeal(const std::wstring& path, bool readable, std::uint64_t size, const Sha256& digest) {
    const SealState& state = State();
    if (!state.sealed) return true;
    const std::wstring name = FileNameOf(path);
    const SealedFile* sealed = state.seal.Find(name);
    if (sealed == nullptr) return Unsealed(name);
    if (!readable) {
        LogNotFound(*sealed, Missing(path));
        return false;
    }
    return Matches(*sealed, size, digest);
}

}  // namespace tarnex

namespace tarnex {

bool CheckCabinetsBeforeCopy(const SetupDescription& description, std::wstring& refusedFile) {
    const SealState& state = State();
    if (!state.sealed) return true;
    for (std::size_t i = 1; i < description.InfFiles.size(); ++i) {
        const std::wstring path = description.InfFiles[i].CabinetPath;
        if (path.empty() || Missing(path)) continue;
        const std::wstring name = FileNameOf(path);
        const SealedFile* sealed = state.seal.Find(name);
        if (sealed != nullptr ? MatchesSeal(path, *sealed) : Unsealed(name)) continue;
        refusedFile = name;
        return false;
    }
    return true;
}

}  // namespace tarnex
