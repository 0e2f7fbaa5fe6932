// Extraction of files from an MSZIP folder that lies in one cabinet, with
// zlib doing the inflating and large reads and writes: libmspack's own
// inflate was most of the transfer's time. The decoder keeps its place in
// the folder, so files stored one after another are decoded in one pass.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "portable/mszip_blocks.h"
#include "sysops/cab_folder_probe.h"
#include "vrel/unique_handle.h"

namespace tarnex {

class MszipFolderStream {
public:
    MszipFolderStream();
    MszipFolderStream(const MszipFolderStream&) = delete;
    MszipFolderStream& operator=(const MszipFolderStream&) = delete;

    // Writes bytes [offset, offset + length) of the folder (identified by
    // key, with its data where data says and blocks blocks) to output.
    // Returns 0 (MSPACK_ERR_OK) or libmspack's error code for what failed.
    int Extract(const void* key, const VrelFolderData& data, unsigned blocks, std::uint32_t offset,
                std::uint32_t length, HANDLE output);

private:
    int Restart(const void* key, const VrelFolderData& data, unsigned blocks);
    int NextBlock();
    bool Read(void* into, std::size_t bytes);
    bool Flush(HANDLE output);

    const void* key_ = nullptr;  // the folder being read; null after a failure
    vrel::unique_hfile cabinet_;
    unsigned blocks_ = 0, blocksRead_ = 0, reserve_ = 0;
    std::uint64_t position_ = 0;  // folder offset of block_[blockAt_]
    MszipBlockDecoder decoder_;
    std::vector<std::uint8_t> compressed_;  // one block as stored
    std::vector<std::uint8_t> input_;       // read-ahead of the cabinet
    std::size_t inputAt_ = 0, inputEnd_ = 0;
    std::vector<std::uint8_t> block_;  // the current block's output
    std::size_t blockAt_ = 0, blockEnd_ = 0;
    std::vector<std::uint8_t> output_;  // collected for one large write
};

}  // namespace tarnex
