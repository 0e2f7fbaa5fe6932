// Extraction of files from a stored or MSZIP folder that lies in one
// cabinet, with libdeflate doing the inflating and large reads of the cabinet:
// libmspack's own inflate was most of the transfer's time, and its stored
// data came in small pieces. The stream keeps its place in the folder, so
// files stored one after another are decoded in one pass. An MSZIP folder of
// several blocks is read and decoded on a thread of its own, a bounded
// number of blocks ahead, while the caller creates the next output (a trip
// through Wine's server) and hands the decoded bytes to a PipelinedWriter,
// which writes them on a third thread.
#pragma once

#include <windows.h>

#include <cstdint>
#include <vector>

#include "portable/mszip_blocks.h"
#include "sysops/cab_folder_probe.h"
#include "sysops/cabinet_digests.h"
#include "sysops/pipelined_writer.h"
#include "vrel/unique_handle.h"

namespace tarnex {

enum class FolderCoding { Stored, Mszip };

class FolderStream {
public:
    static constexpr std::size_t kBlocksAhead = 16;  // 512 KiB decoded ahead at most

    // Every byte read of a cabinet goes to its digest.
    explicit FolderStream(CabinetDigests& digests);
    // Ends the reading thread.
    ~FolderStream();
    FolderStream(const FolderStream&) = delete;
    FolderStream& operator=(const FolderStream&) = delete;

    // Hands bytes [offset, offset + length) of the folder (identified by
    // key, coded as coding, with its data where data says and blocks blocks)
    // to the writer for output. Returns 0 (MSPACK_ERR_OK) or libmspack's
    // error code for what failed (MSPACK_ERR_WRITE when the writer failed).
    int Extract(const void* key, FolderCoding coding, const VrelFolderData& data, unsigned blocks,
                std::uint32_t offset, std::uint32_t length, HANDLE output, PipelinedWriter& writer);

private:
    // One block as decoded, with what reading and decoding it gave: a
    // failure reaches the caller only when it needs that block, as if the
    // folder were read on its thread.
    struct Block {
        std::vector<std::uint8_t> bytes;
        std::size_t size = 0;
        int result = 0;
    };

    int Restart(const void* key, FolderCoding coding, const VrelFolderData& data, unsigned blocks);
    void StopReading();  // the caller's side: ends the reading thread, if one runs

    // The reading side: a thread of its own while a folder of several blocks
    // is read, or the caller itself when it needs the next block.
    static unsigned __stdcall ReadingThread(void* self);
    int NextBlock(Block& into);
    bool Read(void* into, std::size_t bytes);

    // The caller's side of the ring.
    const Block& TakeBlock();  // waits for the next block in the folder's order
    void ReleaseBlock();       // the block taken last is no longer needed

    const void* key_ = nullptr;  // the folder being read; null after a failure
    FolderCoding coding_ = FolderCoding::Mszip;
    std::uint64_t position_ = 0;     // folder offset of current_->bytes[blockAt_]
    const Block* current_ = nullptr;  // taken, not released
    std::size_t blockAt_ = 0;

    // Touched only by the reading side once a folder has started.
    CabinetDigests& digests_;
    vrel::unique_hfile cabinet_;
    const char* cabinetPath_ = nullptr;  // the decoder's, alive while its folder is read
    std::uint64_t readAt_ = 0;           // cabinet offset of the next read
    unsigned blocks_ = 0, blocksRead_ = 0, reserve_ = 0;
    MszipBlockDecoder decoder_;
    std::vector<std::uint8_t> compressed_;  // one block as stored
    std::vector<std::uint8_t> input_;       // read-ahead of the cabinet
    std::size_t inputAt_ = 0, inputEnd_ = 0;

    Block ring_[kBlocksAhead];
    // A slim lock and two condition variables, as in PipelinedWriter: under
    // Wine they wait on an address, with no trip through its server.
    SRWLOCK lock_ = SRWLOCK_INIT;
    CONDITION_VARIABLE filled_ = CONDITION_VARIABLE_INIT;  // for the caller
    CONDITION_VARIABLE freed_ = CONDITION_VARIABLE_INIT;   // for the reading thread
    std::size_t produced_ = 0, consumed_ = 0;  // blocks of the folder; under lock_
    bool stop_ = false;                        // under lock_
    vrel::unique_handle thread_;
};

}  // namespace tarnex
