#include "single_file/payload_unpacker.h"

#include <windows.h>

#include <vector>

#include "description/package_seal_check.h"
#include "portable/package_seal.h"
#include "portable/sha256.h"
#include "services/setup_log.h"
#include "single_file/unpack_progress.h"
#include "vrel/text_convert.h"

namespace tarnex {
namespace {

// The piece read and written at a time.
constexpr std::uint32_t kPiece = 1u << 20;
// Enough of the file's start for the headers of any program this project makes.
constexpr std::uint32_t kHeaders = 4096;

void Log(const std::wstring& text) { WriteLog(L"Single-file package: " + text + L"\r\n"); }

std::wstring Hex(const Sha256& digest) { return vrel::ToWide(HexDigest(digest), CP_UTF8); }

std::wstring NameOf(const std::wstring& path) { return path.substr(path.find_last_of(L'\\') + 1); }

bool WriteAll(HANDLE file, const char* bytes, std::uint32_t size) {
    DWORD written = 0;
    return ::WriteFile(file, bytes, size, &written, nullptr) && written == size;
}

}  // namespace

PayloadUnpacker::PayloadUnpacker(const std::wstring& program)
    : program_(program),
      file_(::CreateFileW(program.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr)) {
    LARGE_INTEGER size{};
    if (!file_ || !::GetFileSizeEx(file_.get(), &size)) return;
    const std::uint64_t fileSize = static_cast<std::uint64_t>(size.QuadPart);
    std::string bytes(static_cast<std::size_t>(fileSize < kHeaders ? fileSize : kHeaders), '\0');
    ImageEnd end;
    if (!ReadAt(0, bytes.data(), static_cast<std::uint32_t>(bytes.size())) || !FindImageEnd(bytes, fileSize, end))
        return;
    const std::size_t tail = static_cast<std::size_t>(end.contentEnd < kPayloadTail ? end.contentEnd : kPayloadTail);
    bytes.assign(tail, '\0');
    if (!ReadAt(end.contentEnd - tail, bytes.data(), static_cast<std::uint32_t>(tail))) return;
    hasSignature_ = end.hasCertificates;
    carried_ = FindPayloadSpan(bytes, end.contentEnd, span_);
}

bool PayloadUnpacker::ReadAt(std::uint64_t offset, void* bytes, std::uint32_t size) const {
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(offset & 0xFFFFFFFFu);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    DWORD read = 0;
    return size == 0 || (::ReadFile(file_.get(), bytes, size, &read, &at) && read == size);
}

bool PayloadUnpacker::CheckIndex(std::wstring& refusedFile) {
    if (!carried_) return false;
    if (hasSignature_ && !SignatureMatchesBytes(program_, refusedFile)) return false;
    std::string index(span_.indexLength, '\0');
    if (!ReadAt(span_.indexOffset, index.data(), span_.indexLength) || !LayOutPayload(index, span_, payload_)) {
        Log(L"the index of the files " + program_ + L" carries cannot be read");
        refusedFile = NameOf(program_);
        return false;
    }
    Log(std::to_wstring(payload_.index.files.size()) + L" files" +
        (hasSignature_ ? L"" : L", the program is not signed: the index catches damage only"));
    return true;
}

std::uint64_t PayloadUnpacker::TotalSize() const {
    std::uint64_t total = 0;
    for (const SealedFile& file : payload_.index.files) total += file.size;
    return total;
}

UnpackEnd PayloadUnpacker::UnpackInto(const std::wstring& folder, UnpackProgress& progress, std::wstring& refusedFile) {
    std::uint64_t unpacked = 0;
    for (std::size_t i = 0; i < payload_.index.files.size(); ++i) {
        const UnpackEnd end = UnpackFile(i, folder, progress, unpacked);
        if (end == UnpackEnd::Done) continue;
        if (end == UnpackEnd::Refused) refusedFile = payload_.index.files[i].name;
        return end;
    }
    return UnpackEnd::Done;
}

UnpackEnd PayloadUnpacker::UnpackFile(std::size_t index, const std::wstring& folder, UnpackProgress& progress,
                                       std::uint64_t& unpacked) {
    const SealedFile& sealed = payload_.index.files[index];
    const std::wstring path = folder + sealed.name;
    vrel::unique_hfile out(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                         FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!out) {
        Log(L"cannot write " + path + L" (error " + std::to_wstring(::GetLastError()) + L")");
        return UnpackEnd::Refused;
    }
    std::vector<char> piece(kPiece);
    Sha256Stream hash;
    std::uint64_t done = 0;
    const std::uint64_t start = payload_.offsets[index];
    while (done < sealed.size) {
        const std::uint64_t left = sealed.size - done;
        const std::uint32_t size = left < kPiece ? static_cast<std::uint32_t>(left) : kPiece;
        if (!ReadAt(start + done, piece.data(), size)) break;
        hash.Add(piece.data(), size);
        if (!WriteAll(out.get(), piece.data(), size)) {
            Log(L"cannot write " + path + L" (error " + std::to_wstring(::GetLastError()) + L")");
            return UnpackEnd::Refused;
        }
        done += size;
        unpacked += size;
        if (!progress.Advance(unpacked)) return UnpackEnd::Cancelled;
    }
    const Sha256 digest = hash.Finish();
    if (done == sealed.size && digest == sealed.digest) return UnpackEnd::Done;
    Log(sealed.name + L": expected SHA-256 " + Hex(sealed.digest) + L" (" + std::to_wstring(sealed.size) +
        L" bytes), found " + (done == sealed.size ? Hex(digest) + L" (" : L"a short file (") + std::to_wstring(done) +
        L" bytes)");
    return UnpackEnd::Refused;
}

}  // namespace tarnex
