// BusvaultStore: 255 link slots addressed by handle, each holding a serial
// port object, and the exchange that runs a timed request/reply on a link.
#pragma once

#include <windows.h>

#include <memory>
#include <vector>

#include "busvault.h"
#include "serial_port.h"
#include "server_state.h"
#include "store_automation.h"

namespace busvault {

struct StoreSlot {
    DWORD kind = 0;
    DWORD status = 0;
    DWORD attempts = 0;
    ExchangeStats stats{};
    std::unique_ptr<BusvaultPort> port;
    IBusvaultLink* link = nullptr;  // into `port`; not reference-counted
    DWORD inUse = 0;
    // The reply of the last exchange that the automation face ran.
    std::vector<BYTE> lastReply;
};

class BusvaultStore final : public IBusvaultStore {
public:
    BusvaultStore() noexcept;
    ~BusvaultStore();
    BusvaultStore(const BusvaultStore&) = delete;
    BusvaultStore& operator=(const BusvaultStore&) = delete;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

    HRESULT STDMETHODCALLTYPE CreateLink(DWORD kind, REFIID iid, DWORD* handle, void** link) override;
    HRESULT STDMETHODCALLTYPE DeleteLink(DWORD handle) override;
    HRESULT STDMETHODCALLTYPE SetAttempts(DWORD handle, DWORD attempts) override;
    DWORD STDMETHODCALLTYPE Exchange(DWORD handle, BYTE* request, BYTE* reply, DWORD* requestLength,
                                     DWORD* replyLength, ExchangeStats* stats) override;

    // The slot of a link in use; null for a handle out of range or free.
    StoreSlot* SlotInUse(DWORD handle) noexcept;

private:
    using Slot = StoreSlot;

    ServerObject counted_;
    StoreAutomation automation_{*this};
    Slot slots_[256];  // slot 0 is never used
    DWORD linkCount_ = 0;
    LONGLONG frequency_ = 0;
    LONG references_ = 0;
};

}  // namespace busvault
