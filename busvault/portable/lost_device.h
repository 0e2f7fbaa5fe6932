// Which errors of a port call say that the port's device has gone away (an
// adapter unplugged, a port server restarted, the far end of a pipe closed),
// as opposed to a quiet line, a time-out or a driver that refuses the call.
// Portable: no Windows header.
#pragma once

#include <cstdint>

namespace busvault {

// Win32 error numbers (winerror.h).
inline constexpr std::uint32_t kErrorAccessDenied = 5;
inline constexpr std::uint32_t kErrorNotReady = 21;
inline constexpr std::uint32_t kErrorBadCommand = 22;
inline constexpr std::uint32_t kErrorGenFailure = 31;
inline constexpr std::uint32_t kErrorBrokenPipe = 109;
inline constexpr std::uint32_t kErrorNoData = 232;
inline constexpr std::uint32_t kErrorPipeNotConnected = 233;
inline constexpr std::uint32_t kErrorOperationAborted = 995;
inline constexpr std::uint32_t kErrorDeviceNotConnected = 1167;
inline constexpr std::uint32_t kErrorDeviceRemoved = 1617;

// Only a far end that closed its side gives these: a pipe's server gone, or
// (under Wine) a pseudo-terminal whose other side was closed, at a read.
constexpr bool FarEndClosed(std::uint32_t error) {
    return error == kErrorBrokenPipe || error == kErrorNoData || error == kErrorPipeNotConnected;
}

// What serial drivers answer on the handle of a device that was removed
// (USB adapters: access denied, bad command or general failure; port
// servers: not connected; Wine's pseudo-terminals: not ready). A driver
// that never supported a call may give the same from the start, so these
// count only for a call that has worked on the handle before.
constexpr bool RemovedDeviceError(std::uint32_t error) {
    return error == kErrorAccessDenied || error == kErrorNotReady || error == kErrorBadCommand ||
           error == kErrorGenFailure || error == kErrorDeviceNotConnected || error == kErrorDeviceRemoved;
}

// callHasWorked: the same kind of call (clearing the line's errors, or a
// transfer) has succeeded on this handle since it was opened.
// ERROR_OPERATION_ABORTED is not among these: with fAbortOnError a line
// error on a live line ends transfers with it too, so the port asks the
// driver again before it calls such an ending a loss.
constexpr bool SaysDeviceIsGone(std::uint32_t error, bool callHasWorked) {
    return FarEndClosed(error) || (callHasWorked && RemovedDeviceError(error));
}

}  // namespace busvault
