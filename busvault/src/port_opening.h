// How a link's port was opened and set up, so that a port whose device went
// away can be opened again as the client left it: the device name, the last
// line settings, queue sizes and serial time-outs applied to it.
#pragma once

#include <windows.h>

#include <cstddef>

#include "vrel/unique_handle.h"

namespace busvault {

// "\\.\" + name with its terminator must fit: names up to 251 characters.
inline constexpr std::size_t kDeviceNameSize = 256;

// Opens "\\.\" + name for overlapped reading and writing; false (the last
// error set) when the device cannot be opened. `device` receives the full
// device name; a name that does not fit gives E_INVALIDARG in `result`.
bool OpenCommDevice(const char* name, char (&device)[kDeviceNameSize], vrel::unique_hfile& opened,
                    HRESULT& result);

class RememberedOpening {
public:
    // A new opening of `device`: the settings of an earlier one are forgotten.
    void Begin(const char (&device)[kDeviceNameSize]) noexcept;
    bool Known() const noexcept { return device_[0] != '\0'; }

    void LineSettings(const DCB& dcb) noexcept;
    void Queues(DWORD inputSize, DWORD outputSize) noexcept;
    void Timeouts(const COMMTIMEOUTS& timeouts) noexcept;

    // Opens the device again and applies what was remembered, in the order a
    // client sets a port up; an invalid handle (the last error set) when the
    // device is not there or another program holds it.
    vrel::unique_hfile Reopen() const;

private:
    char device_[kDeviceNameSize] = {};
    DCB line_{};
    bool hasLine_ = false;
    DWORD inputSize_ = 0, outputSize_ = 0;
    bool hasQueues_ = false;
    COMMTIMEOUTS timeouts_{};
    bool hasTimeouts_ = false;
};

}  // namespace busvault
