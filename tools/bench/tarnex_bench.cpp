// Timings of the installer's own code for scripts/bench, one line of
// "key=value" pairs per measurement:
//   tarnex_bench load FOLDER COMPONENTS one|per REPEATS
//       writes a package of COMPONENTS components (ten files each) into
//       FOLDER, then loads its description and catalogue REPEATS times.
//   tarnex_bench transfer CABINET OUTPUT
//       extracts every file of the cabinet into OUTPUT through the engine's
//       step-3 transfer (temporary names, cabinet times, replace checks).
//   tarnex_bench digest FILE [cryptoapi]
//       the SHA-256 of the file as the installer's seal check reads it.
#include <windows.h>
#include <setupapi.h>

#include <array>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

#include "description/component_catalogue.h"
#include "description/file_sha256.h"
#include "description/setup_description.h"
#include "package_writer.h"
#include "portable/sha256.h"
#include "services/app_context.h"
#include "sysops/cab_extractor.h"
#include "sysops/folder_tree.h"
#include "vrel/bounded_copy.h"
#include "vrel/file_digest.h"
#include "vrel/text_convert.h"

namespace {

using namespace tarnex;
using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

// Processor time of this process so far (user and kernel), in seconds: on a
// shared machine it tells the work apart from the waiting.
double ProcessorSeconds() {
    FILETIME created{}, exited{}, kernel{}, user{};
    if (!::GetProcessTimes(::GetCurrentProcess(), &created, &exited, &kernel, &user)) return 0;
    const auto value = [](const FILETIME& t) {
        return static_cast<double>((static_cast<unsigned long long>(t.dwHighDateTime) << 32) | t.dwLowDateTime);
    };
    return (value(kernel) + value(user)) / 1e7;
}

std::wstring WithBackslash(std::wstring folder) {
    if (folder.empty() || folder.back() != L'\\') folder += L'\\';
    return folder;
}

void PointContextAt(const std::wstring& folder) {
    AppContext& app = App();
    app.Mode = AS_INST;
    vrel::CopyToField(app.ProgramFolder, std::wstring_view(folder));
    vrel::CopyToField(app.ProgramName, std::wstring_view(L"Tarnex"));
    // The log of skipped lines, if any, stays beside the package.
    vrel::CopyToField(app.WindowsFolder, std::wstring_view(folder));
    ::GetSystemDirectoryW(app.SystemFolder, static_cast<UINT>(std::size(app.SystemFolder)));
}

// Seconds the setup API's parser alone takes to open and close every INF
// file of the package: the part of a load that is Wine's, not ours.
double ParseSeconds(const std::wstring& folder) {
    std::vector<std::wstring> paths;
    WIN32_FIND_DATAW found{};
    HANDLE search = ::FindFirstFileW((folder + L"*.inf").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return 0;
    do paths.push_back(folder + found.cFileName);
    while (::FindNextFileW(search, &found));
    ::FindClose(search);
    const Clock::time_point start = Clock::now();
    for (const std::wstring& path : paths) {
        HINF inf = ::SetupOpenInfFileW(path.c_str(), nullptr, INF_STYLE_WIN4, nullptr);
        if (inf != INVALID_HANDLE_VALUE) ::SetupCloseInfFile(inf);
    }
    return SecondsSince(start);
}

int Load(const std::wstring& folderArg, int components, const std::wstring& layoutArg, int repeats) {
    const std::wstring folder = WithBackslash(folderArg);
    CreateFolderTree(folder);
    const bench::InfLayout layout =
        layoutArg == L"one" ? bench::InfLayout::OneFile : bench::InfLayout::FilePerComponent;
    if (!bench::WritePackage(folder, components, layout)) {
        std::fprintf(stderr, "cannot write the package\n");
        return 1;
    }
    PointContextAt(folder);
    for (int r = 0; r < repeats; ++r) {
        SetupDescription& d = Description();
        d = SetupDescription{};
        const double processor = ProcessorSeconds();
        const Clock::time_point start = Clock::now();
        const bool loaded = LoadSetupDescription(d) && LoadComponentCatalogue(d);
        const double seconds = SecondsSince(start);
        const double processorSeconds = ProcessorSeconds() - processor;
        if (!loaded || d.ComponentList.size() != static_cast<std::size_t>(components) + 1 ||
            d.FileList.size() != static_cast<std::size_t>(components) * 10) {
            std::fprintf(stderr, "the package did not load completely\n");
            return 1;
        }
        std::printf("load components=%d layout=%ls seconds=%.4f cpu=%.4f parse=%.4f\n", components,
                    layoutArg.c_str(), seconds, processorSeconds, ParseSeconds(folder));
    }
    return 0;
}

// Names in the cabinet, as the decoder reports them (nothing is decoded).
std::vector<std::string> CabinetNames(const std::string& name, const std::string& folder) {
    std::vector<std::string> names;
    CabError error;
    std::unique_ptr<CabDecoder> decoder = CabDecoder::Create(error);
    if (!decoder) return names;
    decoder->Copy(name, folder, [&](CabNotification kind, CabNotice& notice) -> std::intptr_t {
        if (kind == CabNotification::CopyFile && notice.name != nullptr) names.emplace_back(notice.name);
        return kind == CabNotification::CloseFileInfo ? 1 : 0;
    });
    return names;
}

int Transfer(const std::wstring& cabinet, const std::wstring& outputArg, bool hashed) {
    const std::wstring output = WithBackslash(outputArg);
    const std::size_t slash = cabinet.rfind(L'\\');
    const std::vector<std::string> names =
        CabinetNames(vrel::ToNarrow(cabinet.substr(slash + 1), CP_UTF8), vrel::ToNarrow(cabinet.substr(0, slash + 1), CP_UTF8));
    if (names.empty()) {
        std::fprintf(stderr, "no files in the cabinet\n");
        return 1;
    }
    PointContextAt(output);
    SetupDescription& d = Description();
    d.ComponentList.resize(2);
    d.ComponentList[1].Selected = 1;
    for (const std::string& name : names) {
        const std::wstring wide = vrel::ToWide(name);
        const std::size_t sub = wide.rfind(L'\\');
        FileRecord record;
        vrel::CopyToField(record.SourceName, std::wstring_view(wide));
        vrel::CopyToField(record.TargetName, std::wstring_view(sub == std::wstring::npos ? wide : wide.substr(sub + 1)));
        vrel::CopyToField(record.TargetFolder,
                          std::wstring_view(output + (sub == std::wstring::npos ? L"" : wide.substr(0, sub + 1))));
        d.FileList.push_back(record);
        d.ComponentList[1].Files.push_back(d.FileList.size() - 1);
    }
    // Hashed as in a sealed package's step 3 (the digests compared with no seal).
    CabExtractor extractor(d, hashed);
    const double processor = ProcessorSeconds();
    const Clock::time_point start = Clock::now();
    const bool done = extractor.ExtractCabinet(cabinet) && !extractor.Cancelled();
    const double seconds = SecondsSince(start);
    const double processorSeconds = ProcessorSeconds() - processor;
    std::size_t extracted = 0;
    for (const FileRecord& f : d.FileList) extracted += f.Extracted ? 1 : 0;
    if (!done || extracted != names.size()) {
        std::fprintf(stderr, "the transfer failed (%zu of %zu files)\n", extracted, names.size());
        return 1;
    }
    std::printf("transfer files=%zu seconds=%.4f cpu=%.4f\n", extracted, seconds, processorSeconds);
    return 0;
}

// The file read and hashed in a pass of its own, as step 2 checks the
// cabinets before it starts a program ("cryptoapi": through the system's
// SHA-256 instead, for comparison).
int Digest(const std::wstring& file, bool cryptoApi) {
    std::uint64_t size = 0;
    std::array<std::uint8_t, 32> digest{};
    const Clock::time_point start = Clock::now();
    if (!(cryptoApi ? vrel::DigestFile(file, size, digest) : tarnex::Sha256OfFile(file, size, digest))) {
        std::fprintf(stderr, "cannot read the file\n");
        return 1;
    }
    std::printf("digest bytes=%llu seconds=%.4f\n", static_cast<unsigned long long>(size), SecondsSince(start));
    return 0;
}

// The installer's own SHA-256 (that of step 3) over the same file, read
// whole first: the hash alone.
int OwnDigest(const std::wstring& file) {
    vrel::unique_hfile in(::CreateFileW(file.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    LARGE_INTEGER size{};
    if (!in || !::GetFileSizeEx(in.get(), &size)) return 1;
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size.QuadPart));
    DWORD got = 0;
    if (!::ReadFile(in.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &got, nullptr) || got != bytes.size()) return 1;
    tarnex::Sha256Stream hash;
    const Clock::time_point start = Clock::now();
    hash.Add(bytes.data(), bytes.size());
    hash.Finish();
    std::printf("own-digest bytes=%zu seconds=%.4f processor=%d\n", bytes.size(), SecondsSince(start),
                tarnex::Sha256Stream::ProcessorRoundsAvailable() ? 1 : 0);
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    const std::wstring command = argc > 1 ? argv[1] : L"";
    if (command == L"load" && argc == 6) return Load(argv[2], _wtoi(argv[3]), argv[4], _wtoi(argv[5]));
    if (command == L"transfer" && argc == 4) return Transfer(argv[2], argv[3], false);
    if (command == L"transfer" && argc == 5 && std::wstring(argv[4]) == L"hashed") return Transfer(argv[2], argv[3], true);
    if (command == L"digest" && (argc == 3 || (argc == 4 && std::wstring(argv[3]) == L"cryptoapi")))
        return Digest(argv[2], argc == 4);
    if (command == L"own-digest" && argc == 3) return OwnDigest(argv[2]);
    std::fprintf(stderr,
                 "usage: tarnex_bench load FOLDER COMPONENTS one|per REPEATS\n"
                 "       tarnex_bench transfer CABINET OUTPUT [hashed]\n"
                 "       tarnex_bench digest FILE [cryptoapi]\n"
                 "       tarnex_bench own-digest FILE\n");
    return 2;
}
