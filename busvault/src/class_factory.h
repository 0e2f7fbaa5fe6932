// The class object of BusvaultStore: one new factory per DllGetClassObject.
#pragma once

#include <windows.h>
#include <unknwn.h>

#include "server_state.h"

namespace busvault {

class StoreFactory final : public IClassFactory {
public:
    StoreFactory() noexcept = default;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** out) override;
    HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override;

private:
    ServerObject counted_;
    LONG references_ = 0;  // raised by the first query
};

}  // namespace busvault
