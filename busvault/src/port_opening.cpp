#include "port_opening.h"

#include <cstdio>
#include <cstring>

namespace busvault {

namespace {
constexpr char kDevicePrefix[] = "\\\\.\\";

vrel::unique_hfile OpenDevice(const char* device) {
    return vrel::unique_hfile(::CreateFileA(device, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                            nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr));
}
}  // namespace

bool OpenCommDevice(const char* name, char (&device)[kDeviceNameSize], vrel::unique_hfile& opened,
                    HRESULT& result) {
    const int n = std::snprintf(device, sizeof device, "%s%s", kDevicePrefix, name);
    if (n < 0 || static_cast<std::size_t>(n) >= sizeof device) {
        device[0] = '\0';
        result = E_INVALIDARG;
        return false;
    }
    opened = OpenDevice(device);
    result = opened ? S_OK : E_FAIL;
    return static_cast<bool>(opened);
}

void RememberedOpening::Begin(const char (&device)[kDeviceNameSize]) noexcept {
    *this = RememberedOpening{};
    std::memcpy(device_, device, sizeof device_);
    device_[sizeof device_ - 1] = '\0';
}

void RememberedOpening::LineSettings(const DCB& dcb) noexcept {
    line_ = dcb;
    hasLine_ = true;
}

void RememberedOpening::Queues(DWORD inputSize, DWORD outputSize) noexcept {
    inputSize_ = inputSize;
    outputSize_ = outputSize;
    hasQueues_ = true;
}

void RememberedOpening::Timeouts(const COMMTIMEOUTS& timeouts) noexcept {
    timeouts_ = timeouts;
    hasTimeouts_ = true;
}

vrel::unique_hfile RememberedOpening::Reopen() const {
    if (!Known()) return vrel::unique_hfile();
    vrel::unique_hfile device = OpenDevice(device_);
    if (!device) return device;
    // As when the client set the port up, the results are not examined: a
    // transfer shows whether the device works.
    if (hasLine_) {
        DCB line = line_;
        ::SetCommState(device.get(), &line);
    }
    if (hasQueues_) ::SetupComm(device.get(), inputSize_, outputSize_);
    if (hasTimeouts_) {
        COMMTIMEOUTS timeouts = timeouts_;
        ::SetCommTimeouts(device.get(), &timeouts);
    }
    return device;
}

}  // namespace busvault
