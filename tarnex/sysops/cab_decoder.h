// The cabinet decoder the file transfer asks for: create a context, copy a
// cabinet with per-file notifications, destroy. Built over libmspack's
// cabinet decompressor with Win32 file calls and zero-filled heap memory;
// the outputs are written and closed by a PipelinedWriter on a thread of its
// own while the next data is decoded (the notifications stay on the caller's
// thread, in the cabinet's order).
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <list>
#include <memory>
#include <string>
#include <vector>

#include "sysops/cabinet_digests.h"
#include "vrel/unique_handle.h"

struct mscab_decompressor;

namespace tarnex {

enum class CabNotification {
    CabinetInfo,    // before the first file
    PartialFile,    // a file continued from a cabinet that is not part of this copy
    CopyFile,       // handler hands its output over in the notice (the decoder owns it then); -1 stops
    CloseFileInfo,  // data handed to the writer, which closes the output; true goes on
    NextCabinet,    // the set continues in the named cabinet
};

struct CabNotice {
    const char* name = nullptr;  // the name in the cabinet (ANSI), or the next cabinet's name
    bool utf8Name = false;       // the entry's name is UTF-8 (its attribute 0x80), not ANSI
    vrel::unique_hfile output;   // CopyFile: the file the entry is written to; left empty, the entry is skipped
    std::uint16_t dosDate = 0;
    std::uint16_t dosTime = 0;
    int error = 0;
};

using CabHandler = std::function<std::intptr_t(CabNotification, CabNotice&)>;

// The decoder's error record; the flag is what callers test.
struct CabError {
    int operation = 0;  // CabOperation of the failed stage
    int type = 0;       // libmspack's error code, or 0 when the handler stopped
    bool failed = false;
};

enum CabOperation : int { kCabOpen = 1, kCabNextCabinet = 2, kCabDecode = 3, kCabHandlerStop = 4 };

// A cabinet set spans at most this many cabinets in one copy.
inline constexpr int kMaxCabinetsInSet = 64;

class CabDecoder {
public:
    // Null when libmspack's decompressor cannot be created.
    static std::unique_ptr<CabDecoder> Create(CabError& error);
    ~CabDecoder();
    CabDecoder(const CabDecoder&) = delete;
    CabDecoder& operator=(const CabDecoder&) = delete;

    // Decodes folder + name (folder ends with a backslash), both UTF-8 (the
    // files are opened through the UTF-16 calls), following the set into
    // further cabinets of the same folder. False on failure, with the
    // error record's flag set.
    bool Copy(const std::string& cabinetName, const std::string& cabinetFolder, const CabHandler& handler);
    // Waits until every output handed over so far is written and closed
    // (a handler may call it).
    void WaitForOutputs();
    // The SHA-256 of every cabinet the last copy opened, of the bytes it
    // read (what it left unread is read now): whatever way the copy ended,
    // the file decoded was the file hashed.
    std::vector<CabinetDigests::Cabinet> FinishDigests();
    // Off: the cabinets are read without their digests.
    void HashCabinets(bool on);

    struct System;  // the mspack_system of Win32 calls, with its open files
    struct Key {};  // only Create makes decoders

    CabDecoder(Key, CabError& error, std::unique_ptr<System> system, mscab_decompressor* decompressor);

private:
    bool Fail(int operation, int type);

    CabError& error_;
    std::unique_ptr<System> system_;
    mscab_decompressor* decompressor_;
};

}  // namespace tarnex
