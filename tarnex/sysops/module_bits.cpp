#include "sysops/module_bits.h"

#include <windows.h>

#include "vrel/unique_handle.h"

namespace tarnex {
namespace {

unsigned BitsOfMachine(WORD machine) {
    switch (machine) {
        case IMAGE_FILE_MACHINE_I386:
        case IMAGE_FILE_MACHINE_ARMNT: return 32;
        case IMAGE_FILE_MACHINE_AMD64:
        case IMAGE_FILE_MACHINE_ARM64:
        case IMAGE_FILE_MACHINE_IA64: return 64;
        default: return 0;
    }
}

bool ReadAt(HANDLE file, LONG offset, void* buffer, DWORD size) {
    LARGE_INTEGER at{};
    at.QuadPart = offset;
    DWORD read = 0;
    return ::SetFilePointerEx(file, at, nullptr, FILE_BEGIN) && ::ReadFile(file, buffer, size, &read, nullptr) &&
           read == size;
}

}  // namespace

unsigned ModuleBits(const std::wstring& path) {
    vrel::unique_hfile file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                                          OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return 0;
    IMAGE_DOS_HEADER dos{};
    if (!ReadAt(file.get(), 0, &dos, sizeof dos) || dos.e_magic != IMAGE_DOS_SIGNATURE || dos.e_lfanew < 0) return 0;
    struct {
        DWORD signature;
        IMAGE_FILE_HEADER header;
    } nt{};
    if (!ReadAt(file.get(), dos.e_lfanew, &nt, sizeof nt) || nt.signature != IMAGE_NT_SIGNATURE) return 0;
    return BitsOfMachine(nt.header.Machine);
}

}  // namespace tarnex
