#include "error_info.h"

#include <oleauto.h>

#include "busvault.h"
#include "vrel/com_ptr.h"

namespace busvault {

HRESULT ReportFailure(HRESULT result, const std::wstring& text) {
    vrel::ComPtr<ICreateErrorInfo> create;
    if (FAILED(::CreateErrorInfo(create.put()))) return result;  // the failure still gets through, without words
    create->SetGUID(IID_IBusvaultAutomation);
    create->SetSource(const_cast<LPOLESTR>(L"Vrel.BusvaultStore"));
    create->SetDescription(const_cast<LPOLESTR>(text.c_str()));
    vrel::ComPtr<IErrorInfo> info;
    if (SUCCEEDED(create.as(info, IID_IErrorInfo))) ::SetErrorInfo(0, info.get());
    return result;
}

}  // namespace busvault
