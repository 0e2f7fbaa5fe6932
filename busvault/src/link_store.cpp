#include "link_store.h"

#include "exchange_rules.h"
#include "exchange_sequence.h"
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

LONGLONG Counter() noexcept {
    LARGE_INTEGER now;
    return ::QueryPerformanceCounter(&now) ? now.QuadPart : 0;
}

// The exchange's view of a link: its port, driven through IBusvaultLink.
class LinkPort final : public ExchangePort {
public:
    LinkPort(BusvaultPort& port, IBusvaultLink* link) : port_(port), link_(link) {}

    bool Write(std::uint8_t* bytes, std::uint32_t& count) override {
        DWORD moved = count;
        const HRESULT result = link_->WriteBytes(bytes, &moved);
        count = moved;
        return SUCCEEDED(result);
    }
    bool Read(std::uint8_t* bytes, std::uint32_t& count) override {
        DWORD moved = count;
        const HRESULT result = link_->ReadBytes(bytes, &moved);
        count = moved;
        return SUCCEEDED(result);
    }
    bool GetTimeouts(std::uint32_t& waitMs, std::uint32_t& intervalMs) override {
        DWORD wait = 0, interval = 0;
        if (FAILED(link_->GetTimeouts(&wait, &interval))) return false;
        waitMs = wait;
        intervalMs = interval;
        return true;
    }
    void SetTimeouts(std::uint32_t waitMs, std::uint32_t intervalMs) override { link_->SetTimeouts(waitMs, intervalMs); }
    std::uint32_t State() override { return link_->GetState(); }
    std::int64_t Counter() override { return busvault::Counter(); }
    void ReopenIfLost() override { port_.ReopenIfLost(); }

private:
    BusvaultPort& port_;
    IBusvaultLink* link_;
};

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
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IBusvaultStore))
        *out = static_cast<IBusvaultStore*>(this);
    else if (IsEqualIID(iid, IID_IDispatch) || IsEqualIID(iid, IID_IBusvaultAutomation))
        *out = static_cast<IBusvaultAutomation*>(&automation_);
    else if (IsEqualIID(iid, IID_ISupportErrorInfo))
        *out = static_cast<ISupportErrorInfo*>(&automation_);
    else
        return E_NOINTERFACE;
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

StoreSlot* BusvaultStore::SlotInUse(DWORD handle) noexcept {
    if (!HandleInRange(handle) || !slots_[SlotOfHandle(handle)].inUse) return nullptr;
    return &slots_[SlotOfHandle(handle)];
}

HRESULT BusvaultStore::SetAttempts(DWORD handle, DWORD attempts) {
    if (!HandleInRange(handle)) return E_HANDLE;
    if (attempts == 0) return E_INVALIDARG;
    // Kept for a free slot too: the link created there next starts with it.
    slots_[SlotOfHandle(handle)].attempts = attempts;
    return S_OK;
}

DWORD BusvaultStore::Exchange(DWORD handle, BYTE* request, BYTE* reply, DWORD* requestLength, DWORD* replyLength,
                              ExchangeStats* stats) {
    if (!HandleInRange(handle) || !slots_[SlotOfHandle(handle)].inUse) return kStatusBadHandle;
    if (!request || !reply || !requestLength || !replyLength) return static_cast<DWORD>(E_POINTER);
    Slot& slot = slots_[SlotOfHandle(handle)];
    LinkPort port(*slot.port, slot.link);
    ExchangeCounts counts;
    std::uint32_t replyCount = *replyLength;
    slot.status =
        RunExchange(port, frequency_, slot.status, slot.attempts, {request, *requestLength, reply, &replyCount}, counts);
    *replyLength = replyCount;
    slot.stats = ExchangeStats{counts.bytesWritten, counts.writeMs, counts.bytesRead,
                               counts.readMs,       counts.totalMs, counts.attempts};
    if (stats) *stats = slot.stats;
    return slot.status;
}

}  // namespace busvault
