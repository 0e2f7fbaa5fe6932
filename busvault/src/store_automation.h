// The automation face of BusvaultStore: IBusvaultAutomation (dual, described
// by the type library in the DLL's resources) and ISupportErrorInfo. It lives
// inside the store, shares the store's identity and reference count, and
// reaches the links through the store's own operations.
#pragma once

#include <windows.h>
#include <oaidl.h>

#include <string>

#include "busvault.h"
#include "vrel/com_ptr.h"

namespace busvault {

class BusvaultStore;
struct StoreSlot;

class StoreAutomation final : public IBusvaultAutomation, public ISupportErrorInfo {
public:
    explicit StoreAutomation(BusvaultStore& store) noexcept : store_(store) {}
    StoreAutomation(const StoreAutomation&) = delete;
    StoreAutomation& operator=(const StoreAutomation&) = delete;

    // IUnknown, for both interfaces: the store's.
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

    // IDispatch, driven by the type library's description of the interface.
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override;
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID, ITypeInfo** out) override;
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID, DISPID* ids) override;
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID iid, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                                     EXCEPINFO* exception, UINT* argumentError) override;

    // IBusvaultAutomation (the order is the type library's).
    HRESULT STDMETHODCALLTYPE CreateLink(BSTR portName, LONG baudRate, LONG dataBits, BSTR parity, VARIANT stopBits,
                                         LONG* handle) override;
    HRESULT STDMETHODCALLTYPE SetTimeouts(LONG handle, LONG waitMs, LONG intervalMs) override;
    HRESULT STDMETHODCALLTYPE SetAttempts(LONG handle, LONG attempts) override;
    HRESULT STDMETHODCALLTYPE Exchange(LONG handle, VARIANT request, LONG* status) override;
    HRESULT STDMETHODCALLTYPE Reply(LONG handle, VARIANT* reply) override;
    HRESULT STDMETHODCALLTYPE ReplyAsVariants(LONG handle, VARIANT* reply) override;
    HRESULT STDMETHODCALLTYPE ReplyHex(LONG handle, BSTR* reply) override;
    HRESULT STDMETHODCALLTYPE Status(LONG handle, LONG* status) override;
    HRESULT STDMETHODCALLTYPE Statistic(LONG handle, BusvaultStatistic item, LONG* value) override;
    HRESULT STDMETHODCALLTYPE Statistics(LONG handle, VARIANT* values) override;
    HRESULT STDMETHODCALLTYPE PortState(LONG handle, LONG* state) override;
    HRESULT STDMETHODCALLTYPE DeleteLink(LONG handle) override;

    // ISupportErrorInfo
    HRESULT STDMETHODCALLTYPE InterfaceSupportsErrorInfo(REFIID iid) override;

private:
    // The slot of a link in use, or a failure with its text in `result`.
    StoreSlot* Find(LONG handle, HRESULT& result);
    HRESULT TypeInfo(ITypeInfo** out);

    BusvaultStore& store_;
    vrel::ComPtr<ITypeInfo> typeInfo_;  // loaded from the DLL's type library on first use
};

}  // namespace busvault
