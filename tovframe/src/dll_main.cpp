#include "frame_descriptor.h"

namespace tovframe {

LibraryState& State() noexcept {
    static LibraryState state;
    return state;
}

}  // namespace tovframe

// Records the module handle for string loading and starts empty. Nothing else
// happens here: unloading does not free the buffer, the host uninitialises.
extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        auto& state = tovframe::State();
        state.module = instance;
        state.buffer.reset();
        state.descriptor = tagFrameDsc{};
    }
    return TRUE;
}
