#include "store_automation.h"

#include <oleauto.h>

#include <string>
#include <vector>

#include "byte_text.h"
#include "error_info.h"
#include "link_store.h"
#include "ole_owners.h"
#include "server_state.h"
#include "variant_bytes.h"
#include "vrel/module_path.h"
#include "vrel/text_convert.h"

namespace busvault {
namespace {

// Room for any reply a line delivers within a read; the store's drain of
// stale input alone needs 255 bytes.
constexpr DWORD kReplyCapacity = 1024;
// "\\.\" and the name must fit the port's 256-byte device name.
constexpr std::size_t kLongestPortName = 251;

std::wstring Number(LONG value) { return std::to_wstring(value); }

// The six statistics of the last exchange in the order of the type
// library's BusvaultStatistic.
std::vector<LONG> StatisticValues(const ExchangeStats& s) {
    return {static_cast<LONG>(s.bytesWritten), static_cast<LONG>(s.writeMs), static_cast<LONG>(s.bytesRead),
            static_cast<LONG>(s.readMs),       static_cast<LONG>(s.totalMs), static_cast<LONG>(s.attempts)};
}

// Those six and then the link's line history, as BusvaultStatistic numbers them.
std::vector<LONG> StatisticItems(const StoreSlot& slot) {
    std::vector<LONG> values = StatisticValues(slot.stats);
    DWORD lost = 0, reopened = 0, lossError = 0;
    slot.port->GetLineHistory(&lost, &reopened, &lossError);
    values.insert(values.end(), {static_cast<LONG>(lost), static_cast<LONG>(reopened), static_cast<LONG>(lossError)});
    return values;
}

// The line settings as BuildCommDCB's keyword form; false for values it
// would not take.
bool LineMode(LONG baudRate, LONG dataBits, BSTR parity, const VARIANT& stopBits, std::string& mode,
              std::wstring& why) {
    if (baudRate <= 0) {
        why = L"The baud rate must be a positive number; it was " + Number(baudRate) + L".";
        return false;
    }
    if (dataBits < 5 || dataBits > 8) {
        why = L"The data bits must be 5, 6, 7 or 8; they were " + Number(dataBits) + L".";
        return false;
    }
    // "N", "None", "e", "even" and so on: the first letter decides.
    const wchar_t letter = parity && ::SysStringLen(parity) ? static_cast<wchar_t>(::towupper(parity[0])) : L'\0';
    if (std::wstring(L"NEOMS").find(letter) == std::wstring::npos || letter == L'\0') {
        why = L"The parity must be \"N\" (none), \"E\" (even), \"O\" (odd), \"M\" (mark) or \"S\" (space); it was \"" +
              std::wstring(parity ? parity : L"") + L"\".";
        return false;
    }
    std::string stop = "1";
    UniqueVariant given, number;
    const bool missing = V_VT(&stopBits) == VT_EMPTY ||
                         (V_VT(&stopBits) == VT_ERROR && V_ERROR(&stopBits) == DISP_E_PARAMNOTFOUND);
    if (!missing) {
        // The invariant locale reads "1.5" the same on a Russian system.
        const bool read = SUCCEEDED(::VariantCopyInd(given.get(), const_cast<VARIANT*>(&stopBits))) &&
                          SUCCEEDED(::VariantChangeTypeEx(number.get(), given.get(), LOCALE_INVARIANT, 0, VT_R8));
        const double value = read ? V_R8(number.get()) : 0.0;
        if (read && value == 1.0) stop = "1";
        else if (read && value == 1.5) stop = "1.5";
        else if (read && value == 2.0) stop = "2";
        else {
            why = L"The stop bits must be 1, 1.5 or 2.";
            return false;
        }
    }
    mode = "baud=" + std::to_string(baudRate) + " parity=" + static_cast<char>(letter) +
           " data=" + std::to_string(dataBits) + " stop=" + stop;
    return true;
}

}  // namespace

HRESULT StoreAutomation::QueryInterface(REFIID iid, void** out) { return store_.QueryInterface(iid, out); }
ULONG StoreAutomation::AddRef() { return store_.AddRef(); }
ULONG StoreAutomation::Release() { return store_.Release(); }

// ---- IDispatch ------------------------------------------------------------

HRESULT StoreAutomation::TypeInfo(ITypeInfo** out) {
    if (!typeInfo_) {
        const std::wstring path = vrel::ModulePath(Server().module);
        if (path.empty()) return HRESULT_FROM_WIN32(::GetLastError());
        vrel::ComPtr<ITypeLib> library;
        if (const HRESULT result = ::LoadTypeLibEx(path.c_str(), REGKIND_NONE, library.put()); FAILED(result))
            return result;
        if (const HRESULT result = library->GetTypeInfoOfGuid(IID_IBusvaultAutomation, typeInfo_.put());
            FAILED(result))
            return result;
    }
    *out = typeInfo_.get();
    (*out)->AddRef();
    return S_OK;
}

HRESULT StoreAutomation::GetTypeInfoCount(UINT* count) {
    if (!count) return E_POINTER;
    *count = 1;
    return S_OK;
}

HRESULT StoreAutomation::GetTypeInfo(UINT index, LCID, ITypeInfo** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (index != 0) return DISP_E_BADINDEX;
    return TypeInfo(out);
}

HRESULT StoreAutomation::GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID, DISPID* ids) {
    if (!IsEqualIID(iid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
    vrel::ComPtr<ITypeInfo> info;
    if (const HRESULT result = TypeInfo(info.put()); FAILED(result)) return result;
    return ::DispGetIDsOfNames(info.get(), names, count, ids);
}

// The type information converts the arguments, calls the method through
// this vtable and turns a failure's error information into the exception
// the script engine shows.
HRESULT StoreAutomation::Invoke(DISPID id, REFIID iid, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                                EXCEPINFO* exception, UINT* argumentError) {
    if (!IsEqualIID(iid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
    vrel::ComPtr<ITypeInfo> info;
    if (const HRESULT loaded = TypeInfo(info.put()); FAILED(loaded)) return loaded;
    return info->Invoke(static_cast<IBusvaultAutomation*>(this), id, flags, params, result, exception,
                        argumentError);
}

HRESULT StoreAutomation::InterfaceSupportsErrorInfo(REFIID iid) {
    return IsEqualIID(iid, IID_IBusvaultAutomation) ? S_OK : S_FALSE;
}

// ---- IBusvaultAutomation -------------------------------------------------

StoreSlot* StoreAutomation::Find(LONG handle, HRESULT& result) {
    StoreSlot* slot = store_.SlotInUse(static_cast<DWORD>(handle));
    if (!slot)
        result = ReportFailure(E_HANDLE, L"There is no link with handle " + Number(handle) +
                                             L": handles come from CreateLink and stay valid until DeleteLink.");
    return slot;
}

HRESULT StoreAutomation::CreateLink(BSTR portName, LONG baudRate, LONG dataBits, BSTR parity, VARIANT stopBits,
                                    LONG* handle) {
    if (!handle) return E_POINTER;
    *handle = 0;
    const std::wstring name(portName ? portName : L"", ::SysStringLen(portName));
    if (name.empty() || name.size() > kLongestPortName || name.find(L'\0') != std::wstring::npos ||
        !vrel::RepresentableIn(name, CP_ACP))
        return ReportFailure(E_INVALIDARG, L"The port name \"" + name + L"\" is not a port name such as \"COM1\".");
    std::string mode;
    std::wstring why;
    if (!LineMode(baudRate, dataBits, parity, stopBits, mode, why)) return ReportFailure(E_INVALIDARG, why);

    DWORD created = 0;
    IBusvaultLinkSetup* setup = nullptr;
    if (const HRESULT result = store_.CreateLink(BUSVAULT_KIND_SERIAL, IID_IBusvaultLinkSetup, &created,
                                                 reinterpret_cast<void**>(&setup));
        FAILED(result))
        return ReportFailure(result, result == E_FAIL ? L"All 255 links of this store are in use; delete one first."
                                                      : L"No new link could be made.");
    if (FAILED(setup->OpenPort(vrel::ToNarrow(name).c_str()))) {
        store_.DeleteLink(created);
        return ReportFailure(E_FAIL, L"The port \"" + name +
                                         L"\" could not be opened: it does not exist or another program holds it.");
    }
    if (FAILED(setup->BuildState(mode.c_str()))) {
        store_.DeleteLink(created);
        return ReportFailure(E_INVALIDARG, L"The port \"" + name + L"\" refused the line settings \"" +
                                               vrel::ToWide(mode) + L"\".");
    }
    *handle = static_cast<LONG>(created);
    return S_OK;
}

HRESULT StoreAutomation::SetTimeouts(LONG handle, LONG waitMs, LONG intervalMs) {
    HRESULT result = S_OK;
    StoreSlot* slot = Find(handle, result);
    if (!slot) return result;
    if (waitMs < 0 || intervalMs < 0)
        return ReportFailure(E_INVALIDARG, L"Time-outs are milliseconds from 0 up; they were " + Number(waitMs) +
                                               L" and " + Number(intervalMs) + L".");
    if (FAILED(slot->link->SetTimeouts(static_cast<DWORD>(waitMs), static_cast<DWORD>(intervalMs))))
        return ReportFailure(E_FAIL, L"The port of link " + Number(handle) + L" is not open.");
    return S_OK;
}

HRESULT StoreAutomation::SetAttempts(LONG handle, LONG attempts) {
    HRESULT result = S_OK;
    if (!Find(handle, result)) return result;
    if (attempts < 1)
        return ReportFailure(E_INVALIDARG,
                             L"The read attempts must be 1 or more; they were " + Number(attempts) + L".");
    return store_.SetAttempts(static_cast<DWORD>(handle), static_cast<DWORD>(attempts));
}

HRESULT StoreAutomation::Exchange(LONG handle, VARIANT request, LONG* status) {
    if (!status) return E_POINTER;
    HRESULT result = S_OK;
    StoreSlot* slot = Find(handle, result);
    if (!slot) return result;
    std::vector<BYTE> bytes;
    std::wstring why;
    if (!RequestBytes(request, bytes, why)) return ReportFailure(E_INVALIDARG, why);

    std::vector<BYTE> reply(kReplyCapacity);
    DWORD requestLength = static_cast<DWORD>(bytes.size()), replyLength = kReplyCapacity;
    ExchangeStats stats{};
    const DWORD outcome = store_.Exchange(static_cast<DWORD>(handle), bytes.data(), reply.data(), &requestLength,
                                          &replyLength, &stats);
    // Without a read (no attempts asked for, or none succeeded) there is no reply.
    const bool replied = outcome == BUSVAULT_STATUS_OK && stats.attempts > 0 && replyLength <= kReplyCapacity;
    reply.resize(replied ? replyLength : 0);
    slot->lastReply = std::move(reply);
    *status = static_cast<LONG>(outcome);
    return S_OK;
}

HRESULT StoreAutomation::Reply(LONG handle, VARIANT* reply) {
    if (!reply) return E_POINTER;
    ::VariantInit(reply);
    HRESULT result = S_OK;
    const StoreSlot* slot = Find(handle, result);
    return slot ? ByteArray(slot->lastReply, reply) : result;
}

HRESULT StoreAutomation::ReplyAsVariants(LONG handle, VARIANT* reply) {
    if (!reply) return E_POINTER;
    ::VariantInit(reply);
    HRESULT result = S_OK;
    const StoreSlot* slot = Find(handle, result);
    if (!slot) return result;
    return NumberArray(std::vector<LONG>(slot->lastReply.begin(), slot->lastReply.end()), reply);
}

HRESULT StoreAutomation::ReplyHex(LONG handle, BSTR* reply) {
    if (!reply) return E_POINTER;
    *reply = nullptr;
    HRESULT result = S_OK;
    const StoreSlot* slot = Find(handle, result);
    if (!slot) return result;
    const std::wstring text = vrel::ToWide(FormatHexBytes(slot->lastReply.data(), slot->lastReply.size()));
    *reply = ::SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    return *reply ? S_OK : E_OUTOFMEMORY;
}

HRESULT StoreAutomation::Status(LONG handle, LONG* status) {
    if (!status) return E_POINTER;
    HRESULT result = S_OK;
    const StoreSlot* slot = Find(handle, result);
    if (!slot) return result;
    *status = static_cast<LONG>(slot->status);
    return S_OK;
}

HRESULT StoreAutomation::Statistic(LONG handle, BusvaultStatistic item, LONG* value) {
    if (!value) return E_POINTER;
    HRESULT result = S_OK;
    const StoreSlot* slot = Find(handle, result);
    if (!slot) return result;
    const std::vector<LONG> values = StatisticItems(*slot);
    const auto index = static_cast<LONG>(item);
    if (index < 0 || index >= static_cast<LONG>(values.size()))
        return ReportFailure(E_INVALIDARG,
                             L"Statistic items run from 0 (bytes written) to 8 (the error that last took the line "
                             L"away); " + Number(index) + L" is none of them.");
    *value = values[static_cast<std::size_t>(index)];
    return S_OK;
}

HRESULT StoreAutomation::Statistics(LONG handle, VARIANT* values) {
    if (!values) return E_POINTER;
    ::VariantInit(values);
    HRESULT result = S_OK;
    const StoreSlot* slot = Find(handle, result);
    if (!slot) return result;
    return NumberArray(StatisticValues(slot->stats), values);
}

HRESULT StoreAutomation::PortState(LONG handle, LONG* state) {
    if (!state) return E_POINTER;
    HRESULT result = S_OK;
    StoreSlot* slot = Find(handle, result);
    if (!slot) return result;
    *state = static_cast<LONG>(slot->link->GetState());
    return S_OK;
}

HRESULT StoreAutomation::DeleteLink(LONG handle) {
    HRESULT result = S_OK;
    if (!Find(handle, result)) return result;
    return store_.DeleteLink(static_cast<DWORD>(handle));
}

}  // namespace busvault
