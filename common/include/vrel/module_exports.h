// Functions of a loaded module taken by their exported names.
#pragma once

#include <windows.h>

namespace vrel {

// The export as a pointer of type F; nullptr when module is null or lacks
// it. The cast goes through void*, which every function pointer converts to
// and from on Windows.
template <typename F>
F Export(HMODULE module, const char* name) {
    if (module == nullptr) return nullptr;
    return reinterpret_cast<F>(reinterpret_cast<void*>(::GetProcAddress(module, name)));
}

// Takes the export into function; false when it is missing.
template <typename F>
bool Bind(HMODULE module, const char* name, F& function) {
    function = Export<F>(module, name);
    return function != nullptr;
}

// Takes each named function of module into its pointer: BindAll(module,
// "A", a, "B", b, ...). False when module is null or any function is
// missing; the binding stops at the first one missing.
inline bool BindAll(HMODULE module) { return module != nullptr; }
template <typename F, typename... Rest>
bool BindAll(HMODULE module, const char* name, F& function, Rest&... rest) {
    return Bind(module, name, function) && BindAll(module, rest...);
}

}  // namespace vrel
