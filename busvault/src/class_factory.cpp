#include "class_factory.h"

#include <memory>

#include "link_store.h"
#include "vrel/make_unique_nothrow.h"

namespace busvault {

HRESULT StoreFactory::QueryInterface(REFIID iid, void** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (!IsEqualIID(iid, IID_IUnknown) && !IsEqualIID(iid, IID_IClassFactory)) return E_NOINTERFACE;
    *out = static_cast<IClassFactory*>(this);
    AddRef();
    return S_OK;
}

ULONG StoreFactory::AddRef() { return static_cast<ULONG>(::InterlockedIncrement(&references_)); }

ULONG StoreFactory::Release() {
    const LONG left = ::InterlockedDecrement(&references_);
    if (left == 0) std::unique_ptr<StoreFactory> destroy(this);
    return static_cast<ULONG>(left);
}

HRESULT StoreFactory::CreateInstance(IUnknown* outer, REFIID iid, void** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (outer) return CLASS_E_NOAGGREGATION;
    auto store = vrel::MakeUniqueNoThrow<BusvaultStore>();
    if (!store) return E_OUTOFMEMORY;
    const HRESULT result = store->QueryInterface(iid, out);
    if (SUCCEEDED(result)) store.release();  // now owned by the reference just handed out
    return result;
}

HRESULT StoreFactory::LockServer(BOOL lock) {
    if (lock)
        ::InterlockedIncrement(&Server().locks);
    else
        ::InterlockedDecrement(&Server().locks);
    return S_OK;
}

}  // namespace busvault
