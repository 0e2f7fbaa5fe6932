// Owners of the automation types the automation face hands around: VARIANT
// and SAFEARRAY, each freed by its own OLE call.
#pragma once

#include <windows.h>
#include <oleauto.h>

#include <utility>

namespace busvault {

class UniqueVariant {
public:
    UniqueVariant() noexcept { ::VariantInit(&value_); }
    ~UniqueVariant() { ::VariantClear(&value_); }
    UniqueVariant(const UniqueVariant&) = delete;
    UniqueVariant& operator=(const UniqueVariant&) = delete;

    VARIANT* get() noexcept { return &value_; }
    const VARIANT* get() const noexcept { return &value_; }
    VARIANT* put() noexcept {
        ::VariantClear(&value_);
        return &value_;
    }
    VARTYPE type() const noexcept { return V_VT(&value_); }
    // Hands the value over to a VARIANT the caller owns (uninitialised or empty).
    void release(VARIANT* out) noexcept {
        *out = value_;
        ::VariantInit(&value_);
    }

private:
    VARIANT value_;
};

class UniqueSafeArray {
public:
    UniqueSafeArray() noexcept = default;
    explicit UniqueSafeArray(SAFEARRAY* array) noexcept : array_(array) {}
    ~UniqueSafeArray() {
        if (array_) ::SafeArrayDestroy(array_);
    }
    UniqueSafeArray(const UniqueSafeArray&) = delete;
    UniqueSafeArray& operator=(const UniqueSafeArray&) = delete;

    SAFEARRAY* get() const noexcept { return array_; }
    SAFEARRAY* release() noexcept { return std::exchange(array_, nullptr); }
    explicit operator bool() const noexcept { return array_ != nullptr; }

private:
    SAFEARRAY* array_ = nullptr;
};

}  // namespace busvault
