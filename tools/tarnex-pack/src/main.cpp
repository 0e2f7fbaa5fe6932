// tarnex-pack: builds an installer package from a manifest.
//   tarnex-pack [--single-file] [--installer FILE] [--sign PFX [--password-file FILE] [--timestamp URL]...] MANIFEST OUTPUT
//   tarnex-pack --verify FOLDER|FILE
// Exit codes: 0 written, 1 bad command line, 2 the manifest (or a file it
// names) is wrong, 3 the package could not be written; --verify: 0 the
// package is as sealed, 1 it is not.
#include <windows.h>

#include <string>
#include <vector>

#include <algorithm>
#include <cstdint>

#include "code_signing.h"
#include "manifest.h"
#include "package_plan.h"
#include "package_sealer.h"
#include "package_writer.h"
#include "single_file_package.h"
#include "vrel/module_path.h"
#include "vrel/path_parts.h"
#include "vrel/text_convert.h"
#include "vrel/unique_handle.h"
#include "windows_files.h"

namespace {

enum ExitCode : int { kWritten = 0, kBadCommandLine = 1, kManifestWrong = 2, kNotWritten = 3 };

// Per step of each server's exchange: a server that has not answered by
// then is passed over for the next.
constexpr DWORD kTimestampTimeoutMs = 20000;

constexpr wchar_t kUsage[] =
    L"usage: tarnex-pack [--single-file] [--installer FILE] [--sign PFX [--password-file FILE] [--timestamp URL]...]\r\n"
    L"                   MANIFEST OUTPUT\r\n"
    L"  Builds the package folder OUTPUT (which must not exist) from MANIFEST.\r\n"
    L"  --single-file     OUTPUT is one program instead (name it .exe): the installer with the whole\r\n"
    L"                    package inside, below 2 GB; --sign signs it and the installer inside\r\n"
    L"  --installer FILE  the installer program to ship (default: Tarnex.exe beside tarnex-pack)\r\n"
    L"  --sign PFX        sign the installer (after its seal) and the files marked \"sign\" with the\r\n"
    L"                    certificate and key of PFX\r\n"
    L"  --password-file FILE  the PFX's password, the first line of FILE (else the environment\r\n"
    L"                    variable TARNEX_SIGN_PASSWORD; never on the command line)\r\n"
    L"  --timestamp URL   time-stamp each signature at the RFC 3161 server URL (SHA-256); repeated, the\r\n"
    L"                    next server is asked when one fails (instead of the manifest's TimestampServer)\r\n"
    L"Exit codes: 0 written, 1 bad command line, 2 manifest errors, 3 the package could not be written.\r\n"
    L"usage: tarnex-pack --verify FOLDER|FILE\r\n"
    L"  Checks the package in FOLDER against its installer's seal and signature, or the single-file\r\n"
    L"  package FILE against its index and signature, and the installer inside against the index:\r\n"
    L"  0 when all holds, 1 with every difference.\r\n";

// UTF-16 on a console, UTF-8 into a file or a pipe.
void Print(DWORD stream, const std::wstring& text) {
    const HANDLE out = ::GetStdHandle(stream);
    DWORD mode = 0, written = 0;
    if (::GetConsoleMode(out, &mode)) {
        ::WriteConsoleW(out, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
        return;
    }
    const std::string bytes = vrel::ToNarrow(text, CP_UTF8);
    ::WriteFile(out, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

int Refuse(int code, const std::wstring& message) {
    Print(STD_ERROR_HANDLE, L"tarnex-pack: " + message + L"\r\n");
    return code;
}

int Report(const std::wstring& manifest, const std::vector<pack::Diagnostic>& diagnostics) {
    std::wstring text;
    for (const pack::Diagnostic& d : diagnostics)
        text += manifest + (d.line != 0 ? L"(" + std::to_wstring(d.line) + L")" : L"") + L": error: " + d.message + L"\r\n";
    Print(STD_ERROR_HANDLE, text);
    return kManifestWrong;
}

std::wstring FullPath(const std::wstring& path) {
    const DWORD n = ::GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (n == 0) return path;
    std::wstring full(n, L'\0');
    const DWORD m = ::GetFullPathNameW(path.c_str(), n, full.data(), nullptr);
    full.resize(m < n ? m : 0);
    return full.empty() ? path : full;
}

bool Exists(const std::wstring& path) { return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

bool IsFolder(const std::wstring& path) {
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// The manifest and the password file are small texts.
bool ReadWhole(const std::wstring& path, std::string& bytes) { return pack::ReadWholeFile(path, bytes, 16 * 1024 * 1024); }

// The PFX's password: the first line of the file, or the environment
// variable; empty when neither is given (a PFX without a password).
bool ReadPassword(const std::wstring& passwordFile, std::wstring& password, std::wstring& error) {
    if (passwordFile.empty()) {
        const DWORD n = ::GetEnvironmentVariableW(L"TARNEX_SIGN_PASSWORD", nullptr, 0);
        password.assign(n > 0 ? n - 1 : 0, L'\0');
        if (n > 0) ::GetEnvironmentVariableW(L"TARNEX_SIGN_PASSWORD", password.data(), n);
        return true;
    }
    std::string bytes;
    if (!ReadWhole(FullPath(passwordFile), bytes)) {
        error = L"the password file " + passwordFile + L" cannot be read";
        return false;
    }
    bytes = bytes.substr(0, bytes.find_first_of("\r\n"));
    password = vrel::ToWide(bytes, CP_UTF8);
    return true;
}

// Copies the write time of one file to another.
bool CopyWriteTime(const std::wstring& from, const std::wstring& to) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!::GetFileAttributesExW(from.c_str(), GetFileExInfoStandard, &data)) return false;
    vrel::unique_hfile file(::CreateFileW(to.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    return file && ::SetFileTime(file.get(), nullptr, nullptr, &data.ftLastWriteTime);
}

// The signed copies of the files marked "sign", in a
// folder beside the output that goes when the run ends; the plan then reads
// them instead of the originals, with their new sizes.
class SignedCopies {
public:
    explicit SignedCopies(std::wstring folder) : folder_(std::move(folder)) {}
    ~SignedCopies() {
        for (const std::wstring& file : made_) ::DeleteFileW(file.c_str());
        if (created_) ::RemoveDirectoryW(folder_.c_str());
    }
    SignedCopies(const SignedCopies&) = delete;
    SignedCopies& operator=(const SignedCopies&) = delete;

    bool SignAll(const pack::CodeSigner& signer, pack::PackagePlan& plan,
                 std::wstring& error) {
        // The installer's copy is signed when the package is written, after
        // its seal.
        std::vector<std::wstring> sources;
        for (const pack::PlannedFile& file : plan.files)
            if (file.sign && std::find(sources.begin(), sources.end(), file.sourcePath) == sources.end())
                sources.push_back(file.sourcePath);
        if (!(created_ = ::CreateDirectoryW(folder_.c_str(), nullptr) != 0)) {
            error = L"cannot create " + folder_;
            return false;
        }
        for (std::size_t i = 0; i < sources.size(); ++i) {
            const std::wstring& source = sources[i];
            const std::wstring copy = folder_ + L"\\" + std::to_wstring(i) + L"-" + source.substr(source.find_last_of(L'\\') + 1);
            if (!::CopyFileW(source.c_str(), copy.c_str(), TRUE)) {
                error = L"cannot copy " + source + L" to sign it";
                return false;
            }
            made_.push_back(copy);
            if (!signer.Sign(copy, error) || !CopyWriteTime(source, copy)) {
                if (error.empty()) error = L"cannot keep the time of " + source;
                return false;
            }
            WIN32_FILE_ATTRIBUTE_DATA data{};
            ::GetFileAttributesExW(copy.c_str(), GetFileExInfoStandard, &data);
            const std::uint64_t size = (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
            for (pack::PlannedFile& file : plan.files)
                if (file.sourcePath == source) {
                    plan.cabinetBytes += size - file.facts.size;
                    file.sourcePath = copy;
                    file.facts.size = size;
                }
            for (pack::PackageCopy& c : plan.copies)
                if (c.sourcePath == source) c.sourcePath = copy;
        }
        return true;
    }

private:
    std::wstring folder_;
    std::vector<std::wstring> made_;
    bool created_ = false;
};

}  // namespace

int wmain(int argc, wchar_t** argv) {
    std::vector<std::wstring> positional;
    std::wstring installer, pfx, passwordFile;
    std::vector<std::wstring> timestampServers;
    bool singleFile = false;
    for (int i = 1; i < argc; ++i) {
        const std::wstring arg = argv[i];
        if (arg == L"--help" || arg == L"-h" || arg == L"/?") {
            Print(STD_OUTPUT_HANDLE, kUsage);
            return kWritten;
        }
        if (arg == L"--verify" && i + 1 < argc && argc == 3) {
            std::wstring folder = FullPath(argv[++i]);
            while (folder.size() > 3 && folder.back() == L'\\') folder.pop_back();
            std::vector<std::wstring> report;
            const bool holds = IsFolder(folder) ? pack::VerifyPackage(folder, report) : pack::VerifySingleFile(folder, report);
            std::wstring text;
            for (const std::wstring& line : report) text += line + L"\r\n";
            text += holds ? L"tarnex-pack: the package is as sealed\r\n" : L"tarnex-pack: the package differs from its seal\r\n";
            Print(STD_OUTPUT_HANDLE, text);
            return holds ? 0 : 1;
        }
        if (arg == L"--single-file") singleFile = true;
        else if (arg == L"--installer" && i + 1 < argc) installer = argv[++i];
        else if (arg.compare(0, 12, L"--installer=") == 0) installer = arg.substr(12);
        else if (arg == L"--sign" && i + 1 < argc) pfx = argv[++i];
        else if (arg == L"--password-file" && i + 1 < argc) passwordFile = argv[++i];
        else if (arg == L"--timestamp" && i + 1 < argc) timestampServers.push_back(argv[++i]);
        else if (arg.compare(0, 2, L"--") == 0) return Refuse(kBadCommandLine, L"unknown option " + arg + L"\r\n" + kUsage);
        else positional.push_back(arg);
    }
    if (positional.size() != 2) return Refuse(kBadCommandLine, std::wstring(L"a manifest and an output folder are needed\r\n") + kUsage);

    const std::wstring manifestPath = FullPath(positional[0]);
    std::wstring output = FullPath(positional[1]);
    while (output.size() > 3 && output.back() == L'\\') output.pop_back();
    installer = installer.empty() ? vrel::FolderOf(vrel::ModulePath(nullptr)) + L"Tarnex.exe" : FullPath(installer);
    if (!Exists(installer)) return Refuse(kNotWritten, L"the installer " + installer + L" does not exist; name it with --installer");

    std::string bytes;
    if (!ReadWhole(manifestPath, bytes)) return Report(manifestPath, {{0, L"the manifest cannot be read"}});
    pack::Manifest manifest;
    std::vector<pack::Diagnostic> diagnostics;
    if (!pack::ReadManifest(bytes, manifest, diagnostics)) return Report(manifestPath, diagnostics);

    // Without a CodePage the INF files are UTF-16 and every text can be
    // written; an ANSI code page asked for must spell each one.
    const UINT codePage = manifest.package.codePageValue != 0 ? manifest.package.codePageValue : pack::kUtf16Inf;
    if (codePage != pack::kUtf16Inf && !::IsValidCodePage(codePage))
        return Report(manifestPath, {{manifest.package.codePage.line, L"code page " + std::to_wstring(codePage) + L" is not known here"}});
    std::wstring files = manifest.package.files.given() ? manifest.package.files.text : L".";
    if (!(files.size() >= 2 && (files[1] == L':' || files.compare(0, 2, L"\\\\") == 0)))
        files = vrel::FolderOf(manifestPath) + files;
    files = FullPath(files);
    if (files.back() != L'\\') files += L'\\';

    pack::PlanInputs inputs;
    inputs.filesFolder = files;
    inputs.installerPath = installer;
    if (codePage != pack::kUtf16Inf)
        inputs.spellable = [codePage](const std::wstring& text) {
            std::string ignored;
            return pack::EncodeInf(text, codePage, ignored);
        };
    pack::WindowsFileSource source;
    pack::PackagePlan plan;
    if (!pack::PlanPackage(manifest, inputs, source, plan, diagnostics)) return Report(manifestPath, diagnostics);

    if (Exists(output)) return Refuse(kNotWritten, output + L" exists already; remove it or name another " +
                                                       (singleFile ? L"file" : L"folder"));
    std::wstring error;
    pack::CodeSigner signer;
    SignedCopies signedCopies(output + L".signing-" + std::to_wstring(::GetCurrentProcessId()));
    // The command line's servers stand for the manifest's: an author can
    // try another server without editing the package.
    const bool stampsOnCommandLine = !timestampServers.empty();
    if (!stampsOnCommandLine)
        for (const pack::Located& server : manifest.package.timestampServers) timestampServers.push_back(server.text);
    const pack::TimeStamper stamper(timestampServers, kTimestampTimeoutMs);
    signer.StampWith(stamper);
    if (!pfx.empty()) {
        std::wstring password;
        if (!ReadPassword(passwordFile, password, error) || !signer.Load(FullPath(pfx), password, error) ||
            !signedCopies.SignAll(signer, plan, error))
            return Refuse(kNotWritten, L"signing failed, no package was written: " + error);
    } else if (!passwordFile.empty()) {
        return Refuse(kBadCommandLine, std::wstring(L"--password-file needs --sign\r\n") + kUsage);
    } else if (stampsOnCommandLine) {
        return Refuse(kBadCommandLine, std::wstring(L"--timestamp needs --sign\r\n") + kUsage);
    }
    const pack::CodeSigner* const signing = pfx.empty() ? nullptr : &signer;
    // A single file is made from a package folder written as usual (its
    // installer sealed, and signed when signing) beside it.
    const std::wstring folder = singleFile ? output + L".folder-" + std::to_wstring(::GetCurrentProcessId()) : output;
    // The package folder a single file is made from, beside the output: gone
    // when the run ends, however it ends.
    const pack::TemporaryFolder temporary(singleFile ? folder : L"");
    if (!pack::WritePackage(manifest, plan, codePage, folder, signing, error) ||
        (singleFile && !pack::WriteSingleFile(folder, installer, output, signing, error)))
        return Refuse(kNotWritten, error);

    std::size_t components = 0;
    for (const pack::PlannedInf& inf : plan.infs) components += inf.components.size();
    Print(STD_OUTPUT_HANDLE, L"tarnex-pack: " + output + L": " + std::to_wstring(components) + L" components in " +
                                 std::to_wstring(plan.infs.size()) + L" INF files, " +
                                 std::to_wstring(plan.cabinetBytes / 1024) + L" KB in the cabinets\r\n");
    return kWritten;
}
