// BusvaultPort: one serial port opened for overlapped I/O, with a wait time
// that bounds every transfer, its own lock, and a state that records how the
// last operation ended. Shown to clients as IBusvaultLink (transfers),
// IBusvaultLinkSetup (opening and configuring) and IBusvaultLinkHistory (what
// became of the line). A transfer that meets a device gone away closes the
// port; the store's next exchange opens it again as it was opened. The store
// owns the object: AddRef and Release do nothing.
#pragma once

#include <windows.h>

#include "busvault.h"
#include "port_opening.h"
#include "vrel/critical_section.h"
#include "vrel/unique_handle.h"

namespace busvault {

class BusvaultPort final : public IBusvaultLink, public IBusvaultLinkSetup, public IBusvaultLinkHistory {
public:
    BusvaultPort() noexcept;
    ~BusvaultPort();
    BusvaultPort(const BusvaultPort&) = delete;
    BusvaultPort& operator=(const BusvaultPort&) = delete;

    // Serves all three interfaces: one implementation fills every vtable.
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

    HRESULT STDMETHODCALLTYPE GetLineHistory(DWORD* timesLost, DWORD* timesReopened, DWORD* lastLossError) override;

    // Called as an exchange begins: a port closed because its device went
    // away tries once to open the same device again with the remembered
    // settings; it stays not open while that fails.
    void ReopenIfLost();

    // False when the port's event could not be created: such a port cannot
    // wait for a transfer and is not handed out.
    bool Usable() const noexcept { return static_cast<bool>(event_); }

private:
    enum class Direction { Read, Write };
    HRESULT Transfer(Direction direction, BYTE* buffer, DWORD* length);
    bool IsOpen() const noexcept;
    // 0 once the line's errors are cleared, else the call's error.
    DWORD ClearLineErrors();
    // The error of a transfer that ended in time that says the device is
    // gone, or 0.
    DWORD LossAtCompletion(DWORD ending);
    HRESULT LoseDevice(DWORD error, DWORD* length);
    void TakeDevice(vrel::unique_hfile device);

    vrel::unique_hfile device_;
    RememberedOpening opening_;
    bool lost_ = false;
    // Whether clearing the line's errors and a transfer have worked on the
    // present handle: a driver that refuses a call from the start is not a
    // device that went away.
    bool clearingHasWorked_ = false;
    bool transferHasWorked_ = false;
    DWORD timesLost_ = 0, timesReopened_ = 0, lastLossError_ = 0;
    DWORD waitMs_ = 0;
    DWORD intervalMs_ = 0;
    vrel::unique_handle event_;
    OVERLAPPED overlapped_{};
    DWORD state_;
    vrel::CriticalSection lock_;
};

}  // namespace busvault
