// Whether a deletion or a rename is already among the file operations that
// Windows performs at its next start (PendingFileRenameOperations), so that
// the engine never queues one twice. Plain rule over the value's bytes.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tarnex {

// Result bits: what the caller still has to queue.
inline constexpr std::uint8_t kQueueDeletion = 1;  // delete the final path
inline constexpr std::uint8_t kQueueRename = 2;    // rename the temporary path to the final path

// The value's data as one lower-case text: every zero byte becomes a blank.
std::string PendingOperationsText(std::string_view valueData);

// valueData: the REG_MULTI_SZ data in the ANSI code page (pairs of "\??\"
// paths, a deletion with an empty destination). finalPath and temporaryPath
// are plain paths; temporaryPath is ignored for a deletion query.
std::uint8_t MatchPendingOperations(std::string_view valueData, std::string_view finalPath,
                                    std::string_view temporaryPath, bool renameQuery);

}  // namespace tarnex
