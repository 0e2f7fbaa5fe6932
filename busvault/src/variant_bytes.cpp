#include "variant_bytes.h"

#include <algorithm>
#include <string_view>

#include "byte_text.h"
#include "ole_owners.h"

namespace busvault {
namespace {

constexpr wchar_t kForms[] =
    L"an array of bytes, an array of whole numbers from 0 to 255, or hexadecimal text such as \"16 16 02\"";

bool IsNumber(VARTYPE type) {
    switch (type) {
    case VT_I1: case VT_I2: case VT_I4: case VT_I8: case VT_INT:
    case VT_UI1: case VT_UI2: case VT_UI4: case VT_UI8: case VT_UINT:
    case VT_R4: case VT_R8: case VT_DECIMAL: case VT_CY:
        return true;
    default:
        return false;
    }
}

// What a script writer would call a value of this type.
std::wstring Describe(VARTYPE type) {
    if (type & VT_ARRAY) return L"an array of " + Describe(static_cast<VARTYPE>(type & VT_TYPEMASK)) + L" elements";
    if (IsNumber(type)) return L"a number";
    switch (type) {
    case VT_EMPTY: return L"Empty (nothing)";
    case VT_NULL: return L"Null";
    case VT_BOOL: return L"a Boolean";
    case VT_DATE: return L"a date";
    case VT_BSTR: return L"text";
    case VT_DISPATCH: return L"an object";
    case VT_UNKNOWN: return L"an object without automation";
    case VT_ERROR: return L"a missing argument";
    case VT_VARIANT: return L"Variant";
    default: return L"a value of automation type " + std::to_wstring(type);
    }
}

bool ByteFromValue(const VARIANT& element, std::size_t index, BYTE& out, std::wstring& why) {
    UniqueVariant value;
    if (FAILED(::VariantCopyInd(value.put(), const_cast<VARIANT*>(&element)))) {
        why = L"element " + std::to_wstring(index) + L" cannot be read";
        return false;
    }
    UniqueVariant number;
    if (IsNumber(value.type()) && SUCCEEDED(::VariantChangeType(number.get(), value.get(), 0, VT_R8)))
        if (const auto byte = ByteFromNumber(V_R8(number.get()))) {
            out = *byte;
            return true;
        }
    why = L"element " + std::to_wstring(index) + L" is " +
          (IsNumber(value.type()) ? std::wstring(L"a number outside 0 to 255 or not whole") : Describe(value.type()));
    return false;
}

bool BytesFromSafeArray(SAFEARRAY* array, VARTYPE elementType, std::vector<BYTE>& bytes, std::wstring& why) {
    if (!array || ::SafeArrayGetDim(array) != 1) {
        why = L"the array must have exactly one dimension";
        return false;
    }
    LONG lower = 0, upper = -1;
    ::SafeArrayGetLBound(array, 1, &lower);
    ::SafeArrayGetUBound(array, 1, &upper);
    const LONGLONG count = static_cast<LONGLONG>(upper) - lower + 1;
    if (count > static_cast<LONGLONG>(kMaxRequestBytes)) {
        why = L"it holds more than " + std::to_wstring(kMaxRequestBytes) + L" elements";
        return false;
    }
    if (count <= 0) return true;
    bytes.resize(static_cast<std::size_t>(count));
    if (elementType == VT_UI1) {
        void* data = nullptr;
        if (FAILED(::SafeArrayAccessData(array, &data))) {
            why = L"its bytes cannot be read";
            return false;
        }
        std::copy_n(static_cast<const BYTE*>(data), bytes.size(), bytes.begin());
        ::SafeArrayUnaccessData(array);
        return true;
    }
    if (elementType != VT_VARIANT && !IsNumber(elementType)) {
        why = L"it is " + Describe(static_cast<VARTYPE>(VT_ARRAY | elementType));
        return false;
    }
    for (LONG i = lower; i <= upper; ++i) {
        UniqueVariant element;
        // Every scalar member of the VARIANT union starts at the same place,
        // so an element of a numeric array fills it as it is; a DECIMAL
        // fills the whole VARIANT, its type field included, which is set
        // afterwards.
        void* slot = &V_UI1(element.get());
        if (elementType == VT_VARIANT) slot = element.get();
        if (elementType == VT_DECIMAL) slot = &V_DECIMAL(element.get());
        if (FAILED(::SafeArrayGetElement(array, &i, slot))) {
            why = L"element " + std::to_wstring(i) + L" cannot be read";
            return false;
        }
        if (elementType != VT_VARIANT) V_VT(element.get()) = elementType;
        if (!ByteFromValue(*element.get(), static_cast<std::size_t>(i), bytes[static_cast<std::size_t>(i - lower)],
                           why))
            return false;
    }
    return true;
}

bool Property(IDispatch* object, const std::wstring& name, UniqueVariant& value) {
    LPOLESTR names[] = {const_cast<LPOLESTR>(name.c_str())};
    DISPID id = DISPID_UNKNOWN;
    if (FAILED(object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id))) return false;
    DISPPARAMS none{};
    return SUCCEEDED(
        object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET, &none, value.put(), nullptr, nullptr));
}

// A script engine's array object (JScript's [22, 22, 2]): "length" and the
// elements by their index as property names.
bool BytesFromObject(IDispatch* object, std::vector<BYTE>& bytes, std::wstring& why) {
    UniqueVariant length, count;
    if (!object || !Property(object, L"length", length) ||
        FAILED(::VariantChangeType(count.get(), length.get(), 0, VT_I4)) || V_I4(count.get()) < 0) {
        why = L"it is an object that is not an array";
        return false;
    }
    if (static_cast<std::size_t>(V_I4(count.get())) > kMaxRequestBytes) {
        why = L"it holds more than " + std::to_wstring(kMaxRequestBytes) + L" elements";
        return false;
    }
    bytes.resize(static_cast<std::size_t>(V_I4(count.get())));
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        UniqueVariant element;
        if (!Property(object, std::to_wstring(i), element)) {
            why = L"element " + std::to_wstring(i) + L" cannot be read";
            return false;
        }
        if (!ByteFromValue(*element.get(), i, bytes[i], why)) return false;
    }
    return true;
}

bool BytesFromValue(const VARIANT& value, std::vector<BYTE>& bytes, std::wstring& why) {
    const VARTYPE type = V_VT(&value);
    if (type & VT_ARRAY) return BytesFromSafeArray(V_ARRAY(&value), static_cast<VARTYPE>(type & VT_TYPEMASK), bytes, why);
    if (type == VT_DISPATCH) return BytesFromObject(V_DISPATCH(&value), bytes, why);
    if (type == VT_BSTR) {
        const BSTR text = V_BSTR(&value);
        std::string reason;
        const auto parsed = ParseHexBytes(
            std::u16string_view(reinterpret_cast<const char16_t*>(text ? text : L""), ::SysStringLen(text)), reason);
        if (!parsed) {
            why = L"its text is not hexadecimal: " + std::wstring(reason.begin(), reason.end());
            return false;
        }
        bytes.assign(parsed->begin(), parsed->end());
        return true;
    }
    why = L"it is " + Describe(type);
    return false;
}

}  // namespace

bool RequestBytes(const VARIANT& request, std::vector<BYTE>& bytes, std::wstring& why) {
    bytes.clear();
    UniqueVariant value;
    std::wstring reason;
    if (FAILED(::VariantCopyInd(value.put(), const_cast<VARIANT*>(&request)))) {
        reason = L"it cannot be read";
    } else if (BytesFromValue(*value.get(), bytes, reason) && bytes.empty()) {
        reason = L"it holds no bytes";
    }
    if (reason.empty()) return true;
    bytes.clear();
    why = L"The request must be " + std::wstring(kForms) + L"; " + reason + L".";
    return false;
}

HRESULT ByteArray(const std::vector<BYTE>& bytes, VARIANT* out) {
    UniqueSafeArray array(::SafeArrayCreateVector(VT_UI1, 0, static_cast<ULONG>(bytes.size())));
    if (!array) return E_OUTOFMEMORY;
    if (!bytes.empty()) {
        void* data = nullptr;
        if (const HRESULT result = ::SafeArrayAccessData(array.get(), &data); FAILED(result)) return result;
        std::copy(bytes.begin(), bytes.end(), static_cast<BYTE*>(data));
        ::SafeArrayUnaccessData(array.get());
    }
    V_VT(out) = VT_ARRAY | VT_UI1;
    V_ARRAY(out) = array.release();
    return S_OK;
}

HRESULT NumberArray(const std::vector<LONG>& numbers, VARIANT* out) {
    UniqueSafeArray array(::SafeArrayCreateVector(VT_VARIANT, 0, static_cast<ULONG>(numbers.size())));
    if (!array) return E_OUTOFMEMORY;
    for (LONG i = 0; i < static_cast<LONG>(numbers.size()); ++i) {
        VARIANT element;
        V_VT(&element) = VT_I4;
        V_I4(&element) = numbers[static_cast<std::size_t>(i)];
        if (const HRESULT result = ::SafeArrayPutElement(array.get(), &i, &element); FAILED(result)) return result;
    }
    V_VT(out) = VT_ARRAY | VT_VARIANT;
    V_ARRAY(out) = array.release();
    return S_OK;
}

}  // namespace busvault
