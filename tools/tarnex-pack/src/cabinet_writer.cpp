#include "cabinet_writer.h"

#include <windows.h>
#include <fci.h>
#include <fcntl.h>

#include <cstdlib>
#include <cstring>
#include <memory>

#include "portable/dos_time.h"

namespace pack {
namespace {

// FCI passes names as 8-bit strings of bounded length and opens them through
// the callbacks below. Every name it sees is a token, the index of a full
// UTF-16 path held here, so any path of the builder's machine works.
struct Context {
    std::vector<std::wstring> paths;
    const std::vector<CabinetEntry>* entries = nullptr;
    std::size_t firstEntryToken = 0;
    std::wstring workFolder;
    std::wstring failure;  // the first file that could not be opened or written

    std::string Token(std::wstring path) {
        paths.push_back(std::move(path));
        return std::to_string(paths.size() - 1);
    }
    const std::wstring* PathOf(const char* token) const {
        char* end = nullptr;
        const unsigned long index = std::strtoul(token, &end, 10);
        return end != token && *end == '\0' && index < paths.size() ? &paths[index] : nullptr;
    }
};

Context& Of(void* pv) { return *static_cast<Context*>(pv); }

INT_PTR OpenPath(Context& context, const std::wstring& path, int oflag, int* err) {
    DWORD access = GENERIC_READ, disposition = OPEN_EXISTING;
    if (oflag & (_O_WRONLY | _O_RDWR)) access = (oflag & _O_WRONLY) ? GENERIC_WRITE : GENERIC_READ | GENERIC_WRITE;
    if (oflag & _O_CREAT) disposition = (oflag & _O_EXCL) ? CREATE_NEW : (oflag & _O_TRUNC) ? CREATE_ALWAYS : OPEN_ALWAYS;
    else if (oflag & _O_TRUNC) disposition = TRUNCATE_EXISTING;
    const HANDLE file = ::CreateFileW(path.c_str(), access, FILE_SHARE_READ, nullptr, disposition,
                                      FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        *err = static_cast<int>(::GetLastError());
        if (context.failure.empty()) context.failure = path;
        return -1;
    }
    return reinterpret_cast<INT_PTR>(file);
}

FNFCIALLOC(Alloc) { return std::malloc(cb); }
FNFCIFREE(Free) { std::free(memory); }

FNFCIOPEN(Open) {
    (void)pmode;
    Context& context = Of(pv);
    const std::wstring* path = context.PathOf(pszFile);
    if (path == nullptr) {
        *err = ERROR_FILE_NOT_FOUND;
        return -1;
    }
    return OpenPath(context, *path, oflag, err);
}

FNFCIREAD(Read) {
    (void)pv;
    DWORD done = 0;
    if (!::ReadFile(reinterpret_cast<HANDLE>(hf), memory, cb, &done, nullptr)) {
        *err = static_cast<int>(::GetLastError());
        return static_cast<UINT>(-1);
    }
    return done;
}

FNFCIWRITE(Write) {
    DWORD done = 0;
    if (!::WriteFile(reinterpret_cast<HANDLE>(hf), memory, cb, &done, nullptr) || done != cb) {
        *err = static_cast<int>(::GetLastError());
        if (Of(pv).failure.empty()) Of(pv).failure = L"a cabinet or work file (disk full?)";
        return static_cast<UINT>(-1);
    }
    return done;
}

FNFCICLOSE(Close) {
    (void)pv;
    if (::CloseHandle(reinterpret_cast<HANDLE>(hf))) return 0;
    *err = static_cast<int>(::GetLastError());
    return -1;
}

FNFCISEEK(Seek) {
    (void)pv;
    LARGE_INTEGER distance{}, position{};
    distance.QuadPart = dist;
    const DWORD method = seektype == SEEK_CUR ? FILE_CURRENT : seektype == SEEK_END ? FILE_END : FILE_BEGIN;
    if (!::SetFilePointerEx(reinterpret_cast<HANDLE>(hf), distance, &position, method)) {
        *err = static_cast<int>(::GetLastError());
        return -1;
    }
    return static_cast<LONG>(position.QuadPart);
}

FNFCIDELETE(Delete) {
    const std::wstring* path = Of(pv).PathOf(pszFile);
    if (path != nullptr && ::DeleteFileW(path->c_str())) return 0;
    *err = static_cast<int>(::GetLastError());
    return -1;
}

FNFCIGETTEMPFILE(TempFile) {
    Context& context = Of(pv);
    const std::string token = context.Token(context.workFolder + L"fci" + std::to_wstring(context.paths.size()) + L".tmp");
    if (token.size() + 1 > static_cast<std::size_t>(cbTempName)) return FALSE;
    std::memcpy(pszTempName, token.c_str(), token.size() + 1);
    return TRUE;
}

FNFCIFILEPLACED(Placed) {
    (void)pccab, (void)pszFile, (void)cbFile, (void)fContinuation, (void)pv;
    return 0;
}

// One cabinet only: the description names one cabinet per INF file.
FNFCIGETNEXTCABINET(NextCabinet) {
    (void)pccab, (void)cbPrevCab, (void)pv;
    return FALSE;
}

FNFCISTATUS(Status) {
    (void)typeStatus, (void)cb1, (void)cb2, (void)pv;
    return 0;
}

// The file's DOS date and time are the ones its SourceDisksFiles line holds.
FNFCIGETOPENINFO(OpenInfo) {
    Context& context = Of(pv);
    const std::wstring* path = context.PathOf(pszName);
    if (path == nullptr) {
        *err = ERROR_FILE_NOT_FOUND;
        return -1;
    }
    const std::size_t index = static_cast<std::size_t>(path - context.paths.data()) - context.firstEntryToken;
    if (index >= context.entries->size()) {
        *err = ERROR_FILE_NOT_FOUND;
        return -1;
    }
    const tarnex::FileStamp& s = (*context.entries)[index].stamp;
    *pdate = tarnex::PackDosDate(s.Year, s.Month, s.Day);
    *ptime = tarnex::PackDosTime(s.Hour, s.Minute, s.Second);
    *pattribs = _A_ARCH;
    return OpenPath(context, *path, _O_RDONLY, err);
}

struct FciDestroyer {
    void operator()(void* fci) const { ::FCIDestroy(fci); }
};

std::wstring Describe(const ERF& erf, const Context& context) {
    static const wchar_t* const kErrors[] = {L"no error", L"a file could not be opened", L"a file could not be read",
                                             L"out of memory", L"a work file could not be made",
                                             L"the compression type is unknown", L"a work file could not be written",
                                             L"cancelled", L"the cabinet would be larger than 2 GB"};
    const std::size_t code = static_cast<std::size_t>(erf.erfOper);
    std::wstring text = code < sizeof kErrors / sizeof kErrors[0] ? kErrors[code] : L"FCI error " + std::to_wstring(code);
    if (!context.failure.empty()) text += L": " + context.failure;
    return text;
}

}  // namespace

bool WriteCabinet(const std::wstring& cabinetPath, const std::wstring& workFolder,
                  const std::vector<CabinetEntry>& entries, unsigned short setId, std::wstring& error) {
    Context context;
    context.entries = &entries;
    context.workFolder = workFolder;
    CCAB ccab{};
    // The largest cabinet and folder the format holds (a folder counts its
    // 32 KB blocks in 16 bits).
    ccab.cb = 0x7FFFFFFF;
    ccab.cbFolderThresh = 0x7FFF0000;
    ccab.iCab = 1;
    ccab.setID = setId;
    const std::string cabinetToken = context.Token(cabinetPath);
    std::memcpy(ccab.szCab, cabinetToken.c_str(), cabinetToken.size() + 1);

    context.firstEntryToken = context.paths.size();
    std::vector<std::string> tokens;
    for (const CabinetEntry& entry : entries) tokens.push_back(context.Token(entry.sourcePath));

    ERF erf{};
    const std::unique_ptr<void, FciDestroyer> fci(::FCICreate(&erf, Placed, Alloc, Free, Open, Read, Write, Close, Seek,
                                                              Delete, TempFile, &ccab, &context));
    if (!fci) {
        error = L"the cabinet library cannot start: " + Describe(erf, context);
        return false;
    }
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (!::FCIAddFile(fci.get(), tokens[i].data(), const_cast<char*>(entries[i].name.c_str()), FALSE, NextCabinet,
                          Status, OpenInfo, tcompTYPE_MSZIP)) {
            error = Describe(erf, context);
            return false;
        }
    }
    if (!::FCIFlushCabinet(fci.get(), FALSE, NextCabinet, Status)) {
        error = Describe(erf, context);
        return false;
    }
    return true;
}

}  // namespace pack
