// Calls by name through IDispatch, as script engines make them, for the
// tests of the automation face.
#pragma once

#include <windows.h>
#include <oleauto.h>

#include <string>
#include <vector>

namespace {

// A VARIANT that frees itself.
struct Var {
    VARIANT v;
    Var() { ::VariantInit(&v); }
    explicit Var(LONG value) : Var() {
        V_VT(&v) = VT_I4;
        V_I4(&v) = value;
    }
    explicit Var(const std::wstring& text) : Var() {
        V_VT(&v) = VT_BSTR;
        V_BSTR(&v) = ::SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    }
    ~Var() { ::VariantClear(&v); }
    Var(const Var&) = delete;
    Var& operator=(const Var&) = delete;
};

// What an automation call gave: the result of Invoke, its value, and for a
// failure the error code and text the exception carries.
struct Outcome {
    HRESULT invoke = E_UNEXPECTED;
    HRESULT error = S_OK;
    std::wstring text;
    Var value;
};

// Calls a method by name with arguments in their written order; false when
// the name is unknown.
inline bool CallByName(IDispatch* object, Outcome& out, const wchar_t* name, std::vector<VARIANT*> arguments) {
    LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
    DISPID id = DISPID_UNKNOWN;
    if (object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id) != S_OK) return false;
    std::vector<VARIANT> reversed;
    for (auto it = arguments.rbegin(); it != arguments.rend(); ++it) reversed.push_back(**it);
    DISPPARAMS params{reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
    EXCEPINFO exception{};
    UINT argumentError = 0;
    out.invoke = object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, &out.value.v,
                                &exception, &argumentError);
    out.error = exception.scode;
    if (exception.bstrDescription) out.text = exception.bstrDescription;
    ::SysFreeString(exception.bstrDescription);
    ::SysFreeString(exception.bstrSource);
    ::SysFreeString(exception.bstrHelpFile);
    return true;
}

// The call's value as a number (0 when it has none).
inline LONG NumberOf(const Outcome& out) {
    Var number;
    ::VariantChangeType(&number.v, const_cast<VARIANT*>(&out.value.v), 0, VT_I4);
    return V_I4(&number.v);
}

// The numbers of an array (of bytes or of Variants) as bytes.
inline std::vector<BYTE> BytesOf(const VARIANT& array) {
    std::vector<BYTE> bytes;
    if (!(V_VT(&array) & VT_ARRAY)) return bytes;
    LONG lower = 0, upper = -1;
    ::SafeArrayGetLBound(V_ARRAY(&array), 1, &lower);
    ::SafeArrayGetUBound(V_ARRAY(&array), 1, &upper);
    for (LONG i = lower; i <= upper; ++i) {
        Var element;
        if ((V_VT(&array) & VT_TYPEMASK) == VT_VARIANT) {
            ::SafeArrayGetElement(V_ARRAY(&array), &i, &element.v);
        } else {
            V_VT(&element.v) = static_cast<VARTYPE>(V_VT(&array) & VT_TYPEMASK);
            ::SafeArrayGetElement(V_ARRAY(&array), &i, &V_UI1(&element.v));
        }
        Var number;
        ::VariantChangeType(&number.v, &element.v, 0, VT_I4);
        bytes.push_back(static_cast<BYTE>(V_I4(&number.v)));
    }
    return bytes;
}

}  // namespace
