// tarnex-pack: builds an installer package from a manifest.
//   tarnex-pack [--installer FILE] MANIFEST OUTPUT
// Exit codes: 0 written, 1 bad command line, 2 the manifest (or a file it
// names) is wrong, 3 the package could not be written.
#include <windows.h>

#include <string>
#include <vector>

#include "manifest.h"
#include "package_plan.h"
#include "package_writer.h"
#include "vrel/module_path.h"
#include "vrel/text_convert.h"
#include "vrel/unique_handle.h"
#include "windows_files.h"

namespace {

enum ExitCode : int { kWritten = 0, kBadCommandLine = 1, kManifestWrong = 2, kNotWritten = 3 };

constexpr wchar_t kUsage[] =
    L"usage: tarnex-pack [--installer FILE] MANIFEST OUTPUT\r\n"
    L"  Builds the package folder OUTPUT (which must not exist) from MANIFEST.\r\n"
    L"  --installer FILE  the installer program to ship (default: Tarnex.exe beside tarnex-pack)\r\n"
    L"Exit codes: 0 written, 1 bad command line, 2 manifest errors, 3 the package could not be written.\r\n";

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

std::wstring FolderOf(const std::wstring& path) { return path.substr(0, path.find_last_of(L'\\') + 1); }

bool Exists(const std::wstring& path) { return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

bool ReadWhole(const std::wstring& path, std::string& bytes) {
    vrel::unique_hfile file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                          FILE_ATTRIBUTE_NORMAL, nullptr));
    LARGE_INTEGER size{};
    if (!file || !::GetFileSizeEx(file.get(), &size) || size.QuadPart > 16 * 1024 * 1024) return false;
    bytes.resize(static_cast<std::size_t>(size.QuadPart));
    DWORD read = 0;
    return bytes.empty() ||
           (::ReadFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr) && read == bytes.size());
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    std::vector<std::wstring> positional;
    std::wstring installer;
    for (int i = 1; i < argc; ++i) {
        const std::wstring arg = argv[i];
        if (arg == L"--help" || arg == L"-h" || arg == L"/?") {
            Print(STD_OUTPUT_HANDLE, kUsage);
            return kWritten;
        }
        if (arg == L"--installer" && i + 1 < argc) installer = argv[++i];
        else if (arg.compare(0, 12, L"--installer=") == 0) installer = arg.substr(12);
        else if (arg.compare(0, 2, L"--") == 0) return Refuse(kBadCommandLine, L"unknown option " + arg + L"\r\n" + kUsage);
        else positional.push_back(arg);
    }
    if (positional.size() != 2) return Refuse(kBadCommandLine, std::wstring(L"a manifest and an output folder are needed\r\n") + kUsage);

    const std::wstring manifestPath = FullPath(positional[0]);
    std::wstring output = FullPath(positional[1]);
    while (output.size() > 3 && output.back() == L'\\') output.pop_back();
    installer = installer.empty() ? FolderOf(vrel::ModulePath(nullptr)) + L"Tarnex.exe" : FullPath(installer);
    if (!Exists(installer)) return Refuse(kNotWritten, L"the installer " + installer + L" does not exist; name it with --installer");

    std::string bytes;
    if (!ReadWhole(manifestPath, bytes)) return Report(manifestPath, {{0, L"the manifest cannot be read"}});
    pack::Manifest manifest;
    std::vector<pack::Diagnostic> diagnostics;
    if (!pack::ReadManifest(bytes, manifest, diagnostics)) return Report(manifestPath, diagnostics);

    const UINT codePage = manifest.package.codePageValue != 0 ? manifest.package.codePageValue : ::GetACP();
    if (!::IsValidCodePage(codePage))
        return Report(manifestPath, {{manifest.package.codePage.line, L"code page " + std::to_wstring(codePage) + L" is not known here"}});
    std::wstring files = manifest.package.files.given() ? manifest.package.files.text : L".";
    if (!(files.size() >= 2 && (files[1] == L':' || files.compare(0, 2, L"\\\\") == 0)))
        files = FolderOf(manifestPath) + files;
    files = FullPath(files);
    if (files.back() != L'\\') files += L'\\';

    pack::PlanInputs inputs;
    inputs.filesFolder = files;
    inputs.installerPath = installer;
    inputs.spellable = [codePage](const std::wstring& text) {
        std::string ignored;
        return pack::EncodeInf(text, codePage, ignored);
    };
    pack::WindowsFileSource source;
    pack::PackagePlan plan;
    if (!pack::PlanPackage(manifest, inputs, source, plan, diagnostics)) return Report(manifestPath, diagnostics);

    if (Exists(output)) return Refuse(kNotWritten, output + L" exists already; remove it or name another folder");
    std::wstring error;
    if (!pack::WritePackage(manifest, plan, codePage, output, error)) return Refuse(kNotWritten, error);

    std::size_t components = 0;
    for (const pack::PlannedInf& inf : plan.infs) components += inf.components.size();
    Print(STD_OUTPUT_HANDLE, L"tarnex-pack: " + output + L": " + std::to_wstring(components) + L" components in " +
                                 std::to_wstring(plan.infs.size()) + L" INF files, " +
                                 std::to_wstring(plan.cabinetBytes / 1024) + L" KB in the cabinets\r\n");
    return kWritten;
}
