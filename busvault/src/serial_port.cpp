#include "serial_port.h"

#include <cstring>

#include "exchange_rules.h"
#include "lost_device.h"

namespace busvault {

static_assert(kErrorAccessDenied == ERROR_ACCESS_DENIED && kErrorNotReady == ERROR_NOT_READY &&
                  kErrorBadCommand == ERROR_BAD_COMMAND && kErrorGenFailure == ERROR_GEN_FAILURE &&
                  kErrorBrokenPipe == ERROR_BROKEN_PIPE && kErrorNoData == ERROR_NO_DATA &&
                  kErrorPipeNotConnected == ERROR_PIPE_NOT_CONNECTED &&
                  kErrorOperationAborted == ERROR_OPERATION_ABORTED &&
                  kErrorDeviceNotConnected == ERROR_DEVICE_NOT_CONNECTED && kErrorDeviceRemoved == ERROR_DEVICE_REMOVED,
              "the lost-device rule speaks of Windows' own error numbers");

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
    else if (IsEqualIID(iid, IID_IBusvaultLinkHistory))
        *out = static_cast<IBusvaultLinkHistory*>(this);
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
    vrel::unique_hfile opened;
    HRESULT result = E_FAIL;
    if (!OpenCommDevice(name, device, opened, result)) return result;
    // The client's own opening, also of a port that went away: what is
    // remembered starts again from it.
    opening_.Begin(device);
    TakeDevice(std::move(opened));
    return S_OK;
}

void BusvaultPort::TakeDevice(vrel::unique_hfile device) {
    device_ = std::move(device);
    lost_ = false;
    clearingHasWorked_ = transferHasWorked_ = false;
    state_ = kPortReady;
}

void BusvaultPort::ReopenIfLost() {
    vrel::CriticalSectionLock hold(lock_);
    if (!lost_) return;
    vrel::unique_hfile device = opening_.Reopen();
    if (!device) return;  // not back yet, or another program holds it
    TakeDevice(std::move(device));
    ++timesReopened_;
}

HRESULT BusvaultPort::GetLineHistory(DWORD* timesLost, DWORD* timesReopened, DWORD* lastLossError) {
    vrel::CriticalSectionLock hold(lock_);
    if (!timesLost || !timesReopened || !lastLossError) return E_POINTER;
    *timesLost = timesLost_;
    *timesReopened = timesReopened_;
    *lastLossError = lastLossError_;
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
    opening_.LineSettings(*dcb);
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
    opening_.LineSettings(dcb);
    state_ = kPortReady;
    return S_OK;
}

HRESULT BusvaultPort::SetupQueues(DWORD inputSize, DWORD outputSize) {
    vrel::CriticalSectionLock hold(lock_);
    if (!IsOpen()) return E_FAIL;
    ::SetupComm(device_.get(), inputSize, outputSize);
    opening_.Queues(inputSize, outputSize);
    state_ = kPortReady;
    return S_OK;
}

// The time-outs belong to the link: a port whose device went away keeps
// them for its reopening (so an exchange's drain, which sets its own and puts
// the link's back, leaves the link's even when the device goes meanwhile).
HRESULT BusvaultPort::SetTimeouts(DWORD waitMs, DWORD intervalMs) {
    vrel::CriticalSectionLock hold(lock_);
    if (!IsOpen() && !lost_) return E_FAIL;
    waitMs_ = waitMs;
    intervalMs_ = intervalMs;
    // Only the gap between bytes ends a read early; the wait time bounds
    // the rest.
    COMMTIMEOUTS timeouts{};
    timeouts.ReadIntervalTimeout = intervalMs;
    if (IsOpen()) ::SetCommTimeouts(device_.get(), &timeouts);
    opening_.Timeouts(timeouts);
    return S_OK;
}

HRESULT BusvaultPort::GetTimeouts(DWORD* waitMs, DWORD* intervalMs) {
    vrel::CriticalSectionLock hold(lock_);
    if (!IsOpen() && !lost_) return E_FAIL;
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
    if (const DWORD error = ClearLineErrors(); SaysDeviceIsGone(error, clearingHasWorked_))
        return LoseDevice(error, length);

    const BOOL started = direction == Direction::Write
                             ? ::WriteFile(device_.get(), buffer, *length, nullptr, &overlapped_)
                             : ::ReadFile(device_.get(), buffer, *length, nullptr, &overlapped_);
    const DWORD startError = started ? 0 : ::GetLastError();
    const bool inFlight = started || startError == ERROR_IO_PENDING;
    if (!inFlight && SaysDeviceIsGone(startError, transferHasWorked_)) return LoseDevice(startError, length);

    // A transfer that could not start never signals: it has not completed
    // in time, whatever the wait (which may be INFINITE).
    HRESULT result = S_OK;
    if (inFlight && ::WaitForSingleObject(overlapped_.hEvent, waitMs_) == WAIT_OBJECT_0) {
        DWORD moved = 0;
        const DWORD ending = ::GetOverlappedResult(device_.get(), &overlapped_, &moved, FALSE) ? 0 : ::GetLastError();
        if (const DWORD loss = LossAtCompletion(ending)) return LoseDevice(loss, length);
        // Another error ends the transfer in time as before: the wait
        // decides, and the length says what was moved.
        if (ending == 0) transferHasWorked_ = true;
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

DWORD BusvaultPort::ClearLineErrors() {
    DWORD errors = 0;
    if (!::ClearCommError(device_.get(), &errors, nullptr)) return ::GetLastError();
    clearingHasWorked_ = true;
    return 0;
}

DWORD BusvaultPort::LossAtCompletion(DWORD ending) {
    // The driver ended the transfer itself: a line error under fAbortOnError
    // on a live line, or a device removed while the transfer waited. Only
    // the driver's answer now tells them apart.
    if (ending == kErrorOperationAborted) {
        const DWORD now = ClearLineErrors();
        return SaysDeviceIsGone(now, clearingHasWorked_) ? now : 0;
    }
    return SaysDeviceIsGone(ending, transferHasWorked_) ? ending : 0;
}

// The handle points at a device that is gone: a device that comes back
// under the same name is reached only through a new handle, and closing this
// one frees the name for it.
HRESULT BusvaultPort::LoseDevice(DWORD error, DWORD* length) {
    *length = static_cast<DWORD>(overlapped_.InternalHigh);
    device_.reset();
    lost_ = true;
    state_ = kPortNotOpen;
    ++timesLost_;
    lastLossError_ = error;
    return E_FAIL;
}

}  // namespace busvault
