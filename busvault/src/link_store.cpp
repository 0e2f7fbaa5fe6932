#include "link_store.h"


#include "exchange_rules.h"
#include "vrel/make_unique_nothrow.h"

namespace busvault {

static_assert(sizeof(ExchangeStats) == 24, "ExchangeStats is the 24-byte record clients receive");
static_assert(BUSVAULT_STATUS_OK == kStatusOk && BUSVAULT_STATUS_BAD_HANDLE == kStatusBadHandle &&
                  BUSVAULT_STATUS_NO_REPLY == kStatusNoReply && BUSVAULT_STATUS_NOT_OPEN == kStatusNotOpen &&
                  BUSVAULT_STATUS_WRITE_TIMEOUT == kStatusWriteTimeout,
              "the public status codes are the store's");
static_assert(BUSVAULT_PORT_NOT_OPEN == kPortNotOpen && BUSVAULT_PORT_REOPENED == kPortReopened &&
                  BUSVAULT_KIND_SERIAL == kSerialKind,
              "the public port states are the port's");

namespace {
// The drain reads at most this much per read, and never more than the
// caller's reply buffer holds.
constexpr DWORD kDrainChunk = 255;
constexpr DWORD kDrainTimeoutMs = 5;

LONGLONG Counter() noexcept {
    LARGE_INTEGER now;
    return ::QueryPerformanceCounter(&now) ? now.QuadPart : 0;
}
}  // namespace

BusvaultStore::BusvaultStore() noexcept {
    LARGE_INTEGER frequency;
    frequency_ = ::QueryPerformanceFrequency(&frequency) ? frequency.QuadPart : 0;
}

BusvaultStore::~BusvaultStore() {
    for (DWORD slot = 1; slot <= kSlotCount; ++slot)
        if (slots_[slot].inUse) DeleteLink(HandleOfSlot(slot));
}

HRESULT BusvaultStore::QueryInterface(REFIID iid, void** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (!IsEqualIID(iid, IID_IUnknown) && !IsEqualIID(iid, IID_IBusvaultStore)) return E_NOINTERFACE;
    *out = static_cast<IBusvaultStore*>(this);
    AddRef();
    return S_OK;
}

ULONG BusvaultStore::AddRef() { return static_cast<ULONG>(::InterlockedIncrement(&references_)); }

ULONG BusvaultStore::Release() {
    const LONG left = ::InterlockedDecrement(&references_);
    if (left == 0) std::unique_ptr<BusvaultStore> destroy(this);  // the last reference owned the store
    return static_cast<ULONG>(left);
}

HRESULT BusvaultStore::CreateLink(DWORD kind, REFIID iid, DWORD* handle, void** link) {
    if (!handle || !link) return E_POINTER;
    *handle = 0;
    *link = nullptr;
    if (linkCount_ >= kSlotCount) return E_FAIL;
    DWORD slotNumber = 1;
    while (slots_[slotNumber].inUse) ++slotNumber;
    if (kind != kSerialKind) return E_NOTIMPL;

    Slot& slot = slots_[slotNumber];
    auto port = vrel::MakeUniqueNoThrow<BusvaultPort>();
    if (!port || !port->Usable()) return E_OUTOFMEMORY;
    const HRESULT asked = port->QueryInterface(iid, link);
    if (FAILED(asked)) return asked;  // the port is destroyed; the slot stays free

    void* driving = nullptr;
    const HRESULT result = port->QueryInterface(IID_IBusvaultLink, &driving);
    slot.port = std::move(port);
    slot.link = static_cast<IBusvaultLink*>(driving);
    slot.kind = kSerialKind;
    slot.status = kStatusOk;
    slot.inUse = 1;
    ++linkCount_;
    *handle = HandleOfSlot(slotNumber);
    return result;
}

HRESULT BusvaultStore::DeleteLink(DWORD handle) {
    if (!HandleInRange(handle) || !slots_[SlotOfHandle(handle)].inUse) return E_HANDLE;
    // Destroying the port closes the device; everything else returns to zero.
    slots_[SlotOfHandle(handle)] = Slot{};
    --linkCount_;
    return S_OK;
}

HRESULT BusvaultStore::SetAttempts(DWORD handle, DWORD attempts) {
    if (!HandleInRange(handle)) return E_HANDLE;
    if (attempts == 0) return E_INVALIDARG;
    // Kept for a free slot too: the link created there next starts with it.
    slots_[SlotOfHandle(handle)].attempts = attempts;
    return S_OK;
}

DWORD BusvaultStore::ElapsedSince(LONGLONG before) const noexcept {
    return ElapsedMs(before, Counter(), frequency_);
}

bool BusvaultStore::TimedWrite(Slot& slot, BYTE* request, DWORD count) {
    const LONGLONG before = Counter();
    const HRESULT result = slot.link->WriteBytes(request, &count);
    const DWORD elapsed = ElapsedSince(before);
    slot.stats.bytesWritten = count;
    slot.stats.writeMs = elapsed;
    slot.stats.totalMs += elapsed;
    return SUCCEEDED(result);
}

bool BusvaultStore::TimedRead(Slot& slot, BYTE* reply, DWORD* replyLength) {
    DWORD count = *replyLength;
    const LONGLONG before = Counter();
    const HRESULT result = slot.link->ReadBytes(reply, &count);
    const DWORD elapsed = ElapsedSince(before);
    slot.stats.bytesRead = count;
    slot.stats.readMs = elapsed;
    slot.stats.totalMs += elapsed;
    if (FAILED(result)) return false;
    *replyLength = count;
    return true;
}

// Discards what a failed exchange left on the line (a late reply, noise):
// short reads until one returns nothing, then the link's own time-outs again.
void BusvaultStore::DrainStaleInput(Slot& slot, BYTE* reply, DWORD capacity) {
    DWORD count = capacity < kDrainChunk ? capacity : kDrainChunk;
    do {
        slot.link->ReadBytes(reply, &count);
    } while (count != 0);
}

DWORD BusvaultStore::Exchange(DWORD handle, BYTE* request, BYTE* reply, DWORD* requestLength, DWORD* replyLength,
                              ExchangeStats* stats) {
    if (!HandleInRange(handle) || !slots_[SlotOfHandle(handle)].inUse) return kStatusBadHandle;
    if (!request || !reply || !requestLength || !replyLength) return static_cast<DWORD>(E_POINTER);
    Slot& slot = slots_[SlotOfHandle(handle)];
    slot.stats = ExchangeStats{};

    bool ok = true;
    if (slot.status != kStatusOk) {
        DWORD waitMs = 0, intervalMs = 0;
        ok = SUCCEEDED(slot.link->GetTimeouts(&waitMs, &intervalMs));
        if (ok) {
            slot.link->SetTimeouts(kDrainTimeoutMs, kDrainTimeoutMs);
            DrainStaleInput(slot, reply, *replyLength);
            slot.link->SetTimeouts(waitMs, intervalMs);
        }
    }
    if (ok) ok = TimedWrite(slot, request, *requestLength);
    if (ok) {
        const DWORD limit = ReadLimit(slot.attempts);
        while (slot.stats.attempts < limit) {
            ++slot.stats.attempts;
            ok = TimedRead(slot, reply, replyLength);
            if (ok) break;
            if (ResendAfterRead(slot.stats.attempts, limit) && !TimedWrite(slot, request, *requestLength)) break;
        }
    }
    slot.status = ok ? kStatusOk : StatusFromPortState(slot.link->GetState());
    if (stats) *stats = slot.stats;
    return slot.status;
}

}  // namespace busvault
