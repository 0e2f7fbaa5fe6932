#include "cab_decoder.h"

#include <cstring>
#include <utility>
#include <vector>

#include <mspack.h>

#include "portable/dos_time.h"
#include "sysops/cab_folder_probe.h"
#include "sysops/cabinet_digests.h"
#include "sysops/folder_stream.h"
#include "sysops/pipelined_writer.h"
#include "vrel/text_convert.h"

namespace tarnex {

// libmspack calls back through a plain C record; the record is the first
// member of a standard-layout bridge that leads back to the C++ owner.
struct CabDecoder::System {
    struct OpenFile {
        HANDLE handle = INVALID_HANDLE_VALUE;
        vrel::unique_hfile owned;  // a cabinet read; the extraction's output is Copy's own
        PipelinedWriter* writer = nullptr;  // set for the extraction's output
        std::string cabinet;                // a cabinet read: its path, for its digest
        CabinetDigests* digests = nullptr;  // set for a cabinet read
        std::uint64_t position = 0;         // of the next byte read
    };
    struct Bridge {
        mspack_system calls;
        System* owner;
    };

    Bridge bridge{};
    std::list<OpenFile> files;
    HANDLE pendingOutput = nullptr;
    PipelinedWriter writer;  // every output's data goes through it
    CabinetDigests digests;  // of the cabinets read, from what was read

    System();
    static System& Of(mspack_system* self) { return *reinterpret_cast<Bridge*>(self)->owner; }
    static OpenFile& File(mspack_file* file) { return *reinterpret_cast<OpenFile*>(file); }
};

namespace {

constexpr int kDecoderBuffer = 1 << 20;

mspack_file* OpenCall(mspack_system* self, const char* name, int mode) {
    CabDecoder::System& system = CabDecoder::System::Of(self);
    CabDecoder::System::OpenFile file;
    if (mode == MSPACK_SYS_OPEN_READ) {
        file.owned.reset(::CreateFileW(vrel::ToWide(name, CP_UTF8).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                       OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file.owned) return nullptr;
        file.handle = file.owned.get();
        file.cabinet = name;
        file.digests = &system.digests;
        system.digests.Follow(name);
    } else if (mode == MSPACK_SYS_OPEN_WRITE && system.pendingOutput != nullptr) {
        // Extraction writes into the handle the notification handler created.
        file.handle = system.pendingOutput;
        file.writer = &system.writer;
    } else {
        return nullptr;
    }
    system.files.push_back(std::move(file));
    return reinterpret_cast<mspack_file*>(&system.files.back());
}

void CloseCall(mspack_file* file) {
    if (file == nullptr) return;
    // The record stays in its list until the extraction ends (Copy drops
    // closed records), so libmspack never sees a dangling pointer.
    CabDecoder::System::OpenFile& f = CabDecoder::System::File(file);
    f.owned.reset();
    f.handle = INVALID_HANDLE_VALUE;
}

// A short read is the end of the file, not an error: libmspack asks for
// more than is left when it reads a cabinet's last block.
int ReadCall(mspack_file* file, void* buffer, int bytes) {
    if (file == nullptr || bytes < 0) return -1;
    if (bytes == 0) return 0;
    CabDecoder::System::OpenFile& f = CabDecoder::System::File(file);
    DWORD done = 0;
    if (!::ReadFile(f.handle, buffer, static_cast<DWORD>(bytes), &done, nullptr)) return -1;
    if (f.digests != nullptr) f.digests->Saw(f.cabinet.c_str(), f.position, buffer, done);
    f.position += done;
    return static_cast<int>(done);
}

// libmspack writes only the extraction's output, and that goes to the writer.
int WriteCall(mspack_file* file, void* buffer, int bytes) {
    if (file == nullptr || bytes < 0) return -1;
    if (bytes == 0) return 0;
    CabDecoder::System::OpenFile& output = CabDecoder::System::File(file);
    if (output.owned || output.writer == nullptr) return -1;
    return output.writer->Write(output.handle, buffer, static_cast<std::size_t>(bytes)) ? bytes : -1;
}

int SeekCall(mspack_file* file, off_t offset, int mode) {
    if (file == nullptr) return -1;
    DWORD method = FILE_BEGIN;
    if (mode == MSPACK_SYS_SEEK_CUR)
        method = FILE_CURRENT;
    else if (mode == MSPACK_SYS_SEEK_END)
        method = FILE_END;
    else if (mode != MSPACK_SYS_SEEK_START)
        return -1;
    LARGE_INTEGER distance, position{};
    distance.QuadPart = static_cast<LONGLONG>(offset);
    CabDecoder::System::OpenFile& f = CabDecoder::System::File(file);
    if (!::SetFilePointerEx(f.handle, distance, &position, method)) return -1;
    f.position = static_cast<std::uint64_t>(position.QuadPart);
    return 0;
}

off_t TellCall(mspack_file* file) {
    if (file == nullptr) return -1;
    LARGE_INTEGER zero{}, position{};
    if (!::SetFilePointerEx(CabDecoder::System::File(file).handle, zero, &position, FILE_CURRENT)) return -1;
    return static_cast<off_t>(position.QuadPart);
}

void MessageCall(mspack_file*, const char*, ...) {}

void* AllocCall(mspack_system*, size_t bytes) { return ::HeapAlloc(::GetProcessHeap(), HEAP_ZERO_MEMORY, bytes); }

void FreeCall(void* memory) {
    if (memory != nullptr) ::HeapFree(::GetProcessHeap(), 0, memory);
}

void CopyCall(void* source, void* destination, size_t bytes) { std::memmove(destination, source, bytes); }

std::uint16_t DosDate(const mscabd_file& f) {
    return PackDosDate(static_cast<unsigned>(f.date_y), static_cast<unsigned>(f.date_m), static_cast<unsigned>(f.date_d));
}
std::uint16_t DosTime(const mscabd_file& f) {
    return PackDosTime(static_cast<unsigned>(f.time_h), static_cast<unsigned>(f.time_m), static_cast<unsigned>(f.time_s));
}

// The cabinet's DOS time is local time; false when it is no valid time.
bool FileTimeOf(const CabNotice& notice, FILETIME& utc) {
    FILETIME local{};
    return ::DosDateTimeToFileTime(notice.dosDate, notice.dosTime, &local) && ::LocalFileTimeToFileTime(&local, &utc);
}

// Every way out of a copy waits for the writer: when Copy returns, each
// output is written and closed, so a cancelled or failed transfer can
// delete what it wrote.
class DrainOnExit {
public:
    explicit DrainOnExit(PipelinedWriter& writer) : writer_(writer) { writer_.Restart(); }
    ~DrainOnExit() { writer_.Drain(); }
    DrainOnExit(const DrainOnExit&) = delete;
    DrainOnExit& operator=(const DrainOnExit&) = delete;

private:
    PipelinedWriter& writer_;
};

// A next-cabinet name is a file beside the first cabinet, never a path.
bool IsPlainFileName(const char* name) {
    if (name == nullptr || *name == '\0') return false;
    if (std::strpbrk(name, "\\/:") != nullptr) return false;
    return std::strcmp(name, ".") != 0 && std::strcmp(name, "..") != 0;
}

// Closes the cabinets a copy opened, also on its error paths.
class OpenCabinets {
public:
    explicit OpenCabinets(mscab_decompressor* d) : d_(d) {}
    ~OpenCabinets() {
        for (auto it = cabinets_.rbegin(); it != cabinets_.rend(); ++it) d_->close(d_, *it);
    }
    OpenCabinets(const OpenCabinets&) = delete;
    OpenCabinets& operator=(const OpenCabinets&) = delete;
    void Add(mscabd_cabinet* cab) { cabinets_.push_back(cab); }

private:
    mscab_decompressor* d_;
    std::vector<mscabd_cabinet*> cabinets_;
};

}  // namespace

CabDecoder::System::System() {
    bridge.calls.open = OpenCall;
    bridge.calls.close = CloseCall;
    bridge.calls.read = ReadCall;
    bridge.calls.write = WriteCall;
    bridge.calls.seek = SeekCall;
    bridge.calls.tell = TellCall;
    bridge.calls.message = MessageCall;
    bridge.calls.alloc = AllocCall;
    bridge.calls.free = FreeCall;
    bridge.calls.copy = CopyCall;
    bridge.calls.null_ptr = nullptr;
    bridge.owner = this;
}

std::unique_ptr<CabDecoder> CabDecoder::Create(CabError& error) {
    error = CabError{};
    auto system = std::make_unique<System>();
    mscab_decompressor* d = mspack_create_cab_decompressor(&system->bridge.calls);
    if (d == nullptr) return nullptr;
    // libmspack moves stored data in pieces of its buffer's size (4 KiB by
    // default): each piece is a write, and under Wine every write is costly.
    d->set_param(d, MSCABD_PARAM_DECOMPBUF, kDecoderBuffer);
    return std::make_unique<CabDecoder>(Key{}, error, std::move(system), d);
}

CabDecoder::CabDecoder(Key, CabError& error, std::unique_ptr<System> system, mscab_decompressor* decompressor)
    : error_(error), system_(std::move(system)), decompressor_(decompressor) {}

CabDecoder::~CabDecoder() { mspack_destroy_cab_decompressor(decompressor_); }

bool CabDecoder::Fail(int operation, int type) {
    error_.operation = operation;
    error_.type = type;
    error_.failed = true;
    return false;
}

void CabDecoder::WaitForOutputs() { system_->writer.Drain(); }

std::vector<CabinetDigests::Cabinet> CabDecoder::FinishDigests() { return system_->digests.Finish(); }

void CabDecoder::HashCabinets(bool on) { system_->digests.Enable(on); }

bool CabDecoder::Copy(const std::string& cabinetName, const std::string& cabinetFolder, const CabHandler& handler) {
    error_ = CabError{};
    system_->digests.Reset();
    mscab_decompressor* d = decompressor_;
    PipelinedWriter& writer = system_->writer;
    DrainOnExit drained(writer);
    // libmspack keeps the name pointers and opens them again while it
    // extracts: they live until the copy ends (a list never moves them).
    std::list<std::string> paths;
    paths.push_back(cabinetFolder + cabinetName);
    OpenCabinets cabinets(d);
    mscabd_cabinet* first = d->open(d, paths.back().c_str());
    if (first == nullptr) return Fail(kCabOpen, d->last_error(d));
    cabinets.Add(first);

    CabNotice info;
    info.name = cabinetName.c_str();
    if (handler(CabNotification::CabinetInfo, info) == -1) return Fail(kCabHandlerStop, 0);

    // Files that continue into further cabinets: join the set. A cabinet
    // that cannot be joined ends the set; its split files then fail to decode.
    mscabd_cabinet* last = first;
    for (int count = 1; (last->flags & MSCAB_HDR_NEXTCAB) && IsPlainFileName(last->nextname); ++count) {
        if (count >= kMaxCabinetsInSet) return Fail(kCabNextCabinet, MSPACK_ERR_DATAFORMAT);
        CabNotice next;
        next.name = last->nextname;
        if (handler(CabNotification::NextCabinet, next) == -1) return Fail(kCabHandlerStop, 0);
        // The cabinet names the next one in ANSI; the path to open is UTF-8.
        paths.push_back(cabinetFolder + vrel::ToNarrow(vrel::ToWide(last->nextname), CP_UTF8));
        mscabd_cabinet* following = d->open(d, paths.back().c_str());
        if (following == nullptr) break;
        // Closing one cabinet of a joined set frees the whole set: a joined
        // cabinet is closed with the first, one that did not join alone.
        if (d->append(d, last, following) != MSPACK_ERR_OK) {
            d->close(d, following);
            break;
        }
        last = following;
    }

    FolderStream stream(system_->digests);
    for (mscabd_file* file = first->files; file != nullptr; file = file->next) {
        CabNotice notice;
        notice.name = file->filename;
        notice.utf8Name = (file->attribs & MSCAB_ATTRIB_UTF_NAME) != 0;
        notice.dosDate = DosDate(*file);
        notice.dosTime = DosTime(*file);
        // A write that failed for an earlier file ends the copy before the
        // next file is asked for (no replace question after it).
        if (writer.Failed()) return Fail(kCabDecode, MSPACK_ERR_WRITE);
        if (VrelFolderContinuesFromPrevious(file->folder)) {
            // Its data began in a cabinet before this one: not decodable here.
            if (handler(CabNotification::PartialFile, notice) == -1) return Fail(kCabHandlerStop, 0);
            continue;
        }
        if (handler(CabNotification::CopyFile, notice) == -1) return Fail(kCabHandlerStop, 0);
        vrel::unique_hfile output = std::move(notice.output);
        if (!output) continue;
        int result = MSPACK_ERR_OK;
        VrelFolderData data{};
        const int method = MSCABD_COMP_METHOD(file->folder->comp_type);
        if ((method == MSCAB_COMP_MSZIP || method == MSCAB_COMP_NONE) && VrelFolderInOneCabinet(file->folder, &data)) {
            result = stream.Extract(file->folder, method == MSCAB_COMP_NONE ? FolderCoding::Stored : FolderCoding::Mszip,
                                    data, file->folder->num_blocks, file->offset, file->length,
                                    output.get(), writer);
        } else {
            // LZX and Quantum data, and folders that span cabinets.
            system_->pendingOutput = output.get();
            result = d->extract(d, file, "output");
            system_->pendingOutput = nullptr;
            system_->files.remove_if([](const System::OpenFile& f) { return f.handle == INVALID_HANDLE_VALUE; });
        }
        // The writer closes the output after its data, with the cabinet's
        // times set through the open handle.
        FILETIME utc{};
        const bool written = writer.Close(std::move(output), FileTimeOf(notice, utc) ? &utc : nullptr);
        if (result != MSPACK_ERR_OK) return Fail(kCabDecode, result);
        if (!written) return Fail(kCabDecode, MSPACK_ERR_WRITE);
        if (!handler(CabNotification::CloseFileInfo, notice)) return Fail(kCabHandlerStop, 0);
    }
    // A write that fails after the last file's notification still fails
    // the copy.
    if (!writer.Drain()) return Fail(kCabDecode, MSPACK_ERR_WRITE);
    return true;
}

}  // namespace tarnex
