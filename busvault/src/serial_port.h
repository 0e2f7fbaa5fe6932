// BusvaultPort: one serial port opened for overlapped I/O, with a wait time
// that bounds every transfer, its own lock, and a state that records how the
// last operation ended. Shown to clients as IBusvaultLink (transfers) and
// IBusvaultLinkSetup (opening and configuring). The store owns the object:
// AddRef and Release do nothing.
#pragma once

#include <windows.h>

#include "busvault.h"
#include "vrel/critical_section.h"
#include "vrel/unique_handle.h"

namespace busvault {

class BusvaultPort final : public IBusvaultLink, public IBusvaultLinkSetup {
public:
    BusvaultPort() noexcept;
    ~BusvaultPort();
    BusvaultPort(const BusvaultPort&) = delete;
    BusvaultPort& operator=(const BusvaultPort&) = delete;

    // Serves both interfaces: one implementation fills both vtables.
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
    ULONG STDMETHODCALLTYPE AddRef() override { return 1; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }

    HRESULT STDMETHODCALLTYPE WriteBytes(BYTE* buffer, DWORD* length) override;
    HRESULT STDMETHODCALLTYPE ReadBytes(BYTE* buffer, DWORD* length) override;
    HRESULT STDMETHODCALLTYPE SetTimeouts(DWORD waitMs, DWORD intervalMs) override;
    HRESULT STDMETHODCALLTYPE GetTimeouts(DWORD* waitMs, DWORD* intervalMs) override;
    DWORD STDMETHODCALLTYPE GetState() override;

    HRESULT STDMETHODCALLTYPE OpenPort(const char* name) override;
    HRESULT STDMETHODCALLTYPE SetState(DCB* dcb) override;
    HRESULT STDMETHODCALLTYPE BuildState(const char* mode) override;
    HRESULT STDMETHODCALLTYPE SetupQueues(DWORD inputSize, DWORD outputSize) override;

    // False when the port's event could not be created: such a port cannot
    // wait for a transfer and is not handed out.
    bool Usable() const noexcept { return static_cast<bool>(event_); }

private:
    enum class Direction { Read, Write };
    HRESULT Transfer(Direction direction, BYTE* buffer, DWORD* length);
    bool IsOpen() const noexcept;

    vrel::unique_hfile device_;
    DWORD waitMs_ = 0;
    DWORD intervalMs_ = 0;
    vrel::unique_handle event_;
    OVERLAPPED overlapped_{};
    DWORD state_;
    vrel::CriticalSection lock_;
};

}  // namespace busvault
