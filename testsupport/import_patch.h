// Replaces, for the life of the object, the address through which a module
// calls one function it imports from a DLL: how a test makes a system call
// fail that does not fail on its own (an event or a thread that cannot be
// created). Every call of the module goes through its import table, so the
// code under test runs unchanged.
#pragma once

#include <windows.h>

#include <cstring>
#include <vector>

namespace testsupport {

class ImportPatch {
public:
    // module: the caller (nullptr: the test program); dll and function: the
    // import by name (the DLL's name in any letter case). replacement must
    // have the function's type and calling convention.
    template <typename Function>
    ImportPatch(HMODULE module, const char* dll, const char* function, Function* replacement)
        : ImportPatch(module, dll, function, reinterpret_cast<void*>(replacement), 0) {}
    ~ImportPatch() {
        for (const Patched& p : patched_) Write(p.slot, p.original);
    }
    ImportPatch(const ImportPatch&) = delete;
    ImportPatch& operator=(const ImportPatch&) = delete;

    // False when the module does not import the function by that name.
    bool Active() const { return !patched_.empty(); }

private:
    ImportPatch(HMODULE module, const char* dll, const char* function, void* replacement, int) {
        auto* base = reinterpret_cast<BYTE*>(module ? module : ::GetModuleHandleW(nullptr));
        const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
        const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
        const IMAGE_DATA_DIRECTORY& imports = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
        if (imports.VirtualAddress == 0) return;
        for (auto* d = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress); d->Name != 0;
             ++d) {
            if (::lstrcmpiA(reinterpret_cast<const char*>(base + d->Name), dll) != 0 || d->OriginalFirstThunk == 0)
                continue;
            const auto* names = reinterpret_cast<const IMAGE_THUNK_DATA*>(base + d->OriginalFirstThunk);
            auto* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + d->FirstThunk);
            for (; names->u1.AddressOfData != 0; ++names, ++slots) {
                if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) continue;
                const auto* byName = reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
                if (std::strcmp(reinterpret_cast<const char*>(byName->Name), function) != 0) continue;
                void** slot = reinterpret_cast<void**>(&slots->u1.Function);
                patched_.push_back({slot, *slot});
                Write(slot, replacement);
            }
        }
    }
    struct Patched {
        void** slot;
        void* original;
    };
    static void Write(void** slot, void* value) {
        DWORD protection = 0;
        ::VirtualProtect(slot, sizeof *slot, PAGE_READWRITE, &protection);
        *slot = value;
        ::VirtualProtect(slot, sizeof *slot, protection, &protection);
    }
    std::vector<Patched> patched_;
};

}  // namespace testsupport
