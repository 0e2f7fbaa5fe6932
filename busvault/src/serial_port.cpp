#include "serial_port.h"

#include <cstdio>
#include <cstring>

#include "exchange_rules.h"

namespace busvault {

namespace {
// "\\.\" + name with its terminator must fit: names up to 251 characters.
constexpr std::size_t kDeviceNameSize = 256;
constexpr char kDevicePrefix[] = "\\\\.\\";
}  // namespace

BusvaultPort::BusvaultPort() noexcept
    : event_(::CreateEventA(nullptr, FALSE, FALSE, nullptr)), state_(kPortNotOpen) {
    overlapped_.hEvent = event_.get();
}

// The device closes with its owner; a transfer never outlives its call, so
// nothing is pending here.
BusvaultPort::~BusvaultPort() = default;

HRESULT BusvaultPort::QueryInterface(REFIID iid, void** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IBusvaultLink))
        *out = static_cast<IBusvaultLink*>(this);
    else if (IsEqualIID(iid, IID_IBusvaultLinkSetup))
        *out = static_cast<IBusvaultLinkSetup*>(this);
    else
        return E_NOINTERFACE;
    return S_OK;
}

bool BusvaultPort::IsOpen() const noexcept { return state_ != kPortNotOpen; }

HRESULT BusvaultPort::OpenPort(const char* name) {
    vrel::CriticalSectionLock hold(lock_);
    if (IsOpen()) {
        // A second open leaves the link unusable until it is deleted; the
        // dropped handle is closed rather than leaked.
        state_ = kPortReopened;
        device_.reset();
        return E_FAIL;
    }
    if (!name) return E_POINTER;
    char device[kDeviceNameSize];
    const int n = std::snprintf(device, sizeof device, "%s%s", kDevicePrefix, name);
    if (n < 0 || static_cast<std::size_t>(n) >= sizeof device) return E_INVALIDARG;
    vrel::unique_hfile opened(::CreateFileA(device, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                            nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr));
    if (!opened) return E_FAIL;
    device_ = std::move(opened);
    state_ = kPortReady;
    return S_OK;
}

HRESULT BusvaultPort::SetState(DCB* dcb) {
    vrel::CriticalSectionLock hold(lock_);
    if (!IsOpen()) return E_FAIL;
    if (!dcb) return E_FAIL;
    // After a line error the driver stops every transfer until the error is
    // cleared, which each transfer does first.
    dcb->fAbortOnError = TRUE;
    ::SetCommState(device_.get(), dcb);
    state_ = kPortReady;
    return S_OK;
}

HRESULT BusvaultPort::BuildState(const char* mode) {
    vrel::CriticalSectionLock hold(lock_);
    if (!IsOpen()) return E_FAIL;
    if (!mode) return E_FAIL;
    DCB dcb;
    std::memset(&dcb, 0, sizeof dcb);
    dcb.DCBlength = sizeof dcb;
    if (!::BuildCommDCBA(mode, &dcb)) return E_INVALIDARG;
    dcb.fAbortOnError = TRUE;
    ::SetCommState(device_.get(), &dcb);
    state_ = kPortReady;
    return S_OK;
}

HRESULT BusvaultPort::SetupQueues(DWORD inputSize, DWORD outputSize) {
    vrel::CriticalSectionLock hold(lock_);
    if (!IsOpen()) return E_FAIL;
    ::SetupComm(device_.get(), inputSize, outputSize);
    state_ = kPortReady;
    return S_OK;
}

HRESULT BusvaultPort::SetTimeouts(DWORD waitMs, DWORD intervalMs) {
    vrel::CriticalSectionLock hold(lock_);
    if (!IsOpen()) return E_FAIL;
    waitMs_ = waitMs;
    intervalMs_ = intervalMs;
    // Only the gap between bytes ends a read early; the wait time bounds
    // the rest.
    COMMTIMEOUTS timeouts{};
    timeouts.ReadIntervalTimeout = intervalMs;
    ::SetCommTimeouts(device_.get(), &timeouts);
    return S_OK;
}

HRESULT BusvaultPort::GetTimeouts(DWORD* waitMs, DWORD* intervalMs) {
    vrel::CriticalSectionLock hold(lock_);
    if (!IsOpen()) return E_FAIL;
    if (!waitMs || !intervalMs) return E_POINTER;
    *waitMs = waitMs_;
    *intervalMs = intervalMs_;
    return S_OK;
}

DWORD BusvaultPort::GetState() {
    vrel::CriticalSectionLock hold(lock_);
    return state_;
}

HRESULT BusvaultPort::WriteBytes(BYTE* buffer, DWORD* length) { return Transfer(Direction::Write, buffer, length); }

HRESULT BusvaultPort::ReadBytes(BYTE* buffer, DWORD* length) { return Transfer(Direction::Read, buffer, length); }

HRESULT BusvaultPort::Transfer(Direction direction, BYTE* buffer, DWORD* length) {
    vrel::CriticalSectionLock hold(lock_);
    if (!IsOpen()) {
        if (length) *length = 0;  // nothing moved, and the statistics say so
        return E_FAIL;
    }
    if (!length || (!buffer && *length != 0)) return E_POINTER;

    overlapped_.Internal = 0;
    overlapped_.InternalHigh = 0;
    overlapped_.Offset = 0;
    overlapped_.OffsetHigh = 0;
    ::ResetEvent(overlapped_.hEvent);
    // With fAbortOnError set, a line error stops all transfers until cleared.
    DWORD errors = 0;
    ::ClearCommError(device_.get(), &errors, nullptr);

    const BOOL started = direction == Direction::Write
                             ? ::WriteFile(device_.get(), buffer, *length, nullptr, &overlapped_)
                             : ::ReadFile(device_.get(), buffer, *length, nullptr, &overlapped_);
    const bool inFlight = started || ::GetLastError() == ERROR_IO_PENDING;

    // A transfer that could not start never signals: it has not completed
    // in time, whatever the wait (which may be INFINITE).
    HRESULT result = S_OK;
    if (inFlight && ::WaitForSingleObject(overlapped_.hEvent, waitMs_) == WAIT_OBJECT_0) {
        state_ = kPortReady;
    } else {
        ::CancelIo(device_.get());
        // The cancelled transfer may still touch the caller's buffer and the
        // record until it has completed: wait for that before returning.
        if (inFlight) {
            DWORD moved = 0;
            ::GetOverlappedResult(device_.get(), &overlapped_, &moved, TRUE);
        }
        state_ = direction == Direction::Read ? kPortReadTimeout : kPortWriteTimeout;
        result = E_FAIL;
    }
    *length = static_cast<DWORD>(overlapped_.InternalHigh);
    return result;
}

}  // namespace busvault
