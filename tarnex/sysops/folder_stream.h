// Extraction of files from a stored or MSZIP folder that lies in one
// cabinet, with libdeflate doing the inflating and large reads of the cabinet:
// libmspack's own inflate was most of the transfer's time, and its stored
// data came in small pieces. The stream keeps its place in the folder, so
// files stored one after another are decoded in one pass. The decoded bytes
// go to a PipelinedWriter, which writes them on its own thread.
#pragma once

#include <windows.h>

#include <cstdint>
#include <vector>

#include "portable/mszip_blocks.h"
#include "sysops/cab_folder_probe.h"
#include "sysops/pipelined_writer.h"
#include "vrel/unique_handle.h"

namespace tarnex {

enum class FolderCoding { Stored, Mszip };

class FolderStream {
public:
    FolderStream();
    FolderStream(const FolderStream&) = delete;
    FolderStream& operator=(const FolderStream&) = delete;

    // Hands bytes [offset, offset + length) of the folder (identified by
    // key, coded as coding, with its data where data says and blocks blocks)
    // to the writer for output. Returns 0 (MSPACK_ERR_OK) or libmspack's
    // error code for what failed (MSPACK_ERR_WRITE when the writer failed).
    int Extract(const void* key, FolderCoding coding, const VrelFolderData& data, unsigned blocks,
                std::uint32_t offset, std::uint32_t length, HANDLE output, PipelinedWriter& writer);

private:
    int Restart(const void* key, FolderCoding coding, const VrelFolderData& data, unsigned blocks);
    int NextBlock();
    bool Read(void* into, std::size_t bytes);

    const void* key_ = nullptr;  // the folder being read; null after a failure
    FolderCoding coding_ = FolderCoding::Mszip;
    vrel::unique_hfile cabinet_;
    unsigned blocks_ = 0, blocksRead_ = 0, reserve_ = 0;
    std::uint64_t position_ = 0;  // folder offset of block_[blockAt_]
    MszipBlockDecoder decoder_;
    std::vector<std::uint8_t> compressed_;  // one block as stored
    std::vector<std::uint8_t> input_;       // read-ahead of the cabinet
    std::size_t inputAt_ = 0, inputEnd_ = 0;
    std::vector<std::uint8_t> block_;  // the current block's output
    std::size_t blockAt_ = 0, blockEnd_ = 0;
};

}  // namespace tarnex
