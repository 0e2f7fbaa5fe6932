#include "sysops/guarded_call.h"

namespace tarnex {
namespace {

// __builtin_setjmp keeps five words: frame, resume address, stack pointer
// and two spares.
struct GuardState {
    void* jump[5] = {};
    bool armed = false;
    DWORD code = 0;
};
thread_local GuardState guard;

// Reached only for exceptions that no frame handler took (the library's own
// handlers run first). Jumps back into CallGuarded's frame; everything the
// faulting call had on the stack is abandoned, as an __except block does.
LONG WINAPI GuardFilter(EXCEPTION_POINTERS* info) {
    GuardState& state = guard;
    if (!state.armed) return EXCEPTION_CONTINUE_SEARCH;
    state.armed = false;
    state.code = info != nullptr && info->ExceptionRecord != nullptr ? info->ExceptionRecord->ExceptionCode : 0;
    __builtin_longjmp(state.jump, 1);
}

#if defined(__i386__)
// The head of the thread's 32-bit frame-handler chain, at fs:[0].
void* ReadHandlerChain() {
    void* head;
    __asm__ volatile("movl %%fs:0, %0" : "=r"(head));
    return head;
}
void WriteHandlerChain(void* head) { __asm__ volatile("movl %0, %%fs:0" : : "r"(head) : "memory"); }
#endif

}  // namespace

__attribute__((noinline)) bool CallGuarded(RegistrationFunction function, HRESULT& result, DWORD& exceptionCode) {
    GuardState& state = guard;
#if defined(__i386__)
    // 32-bit frame handlers are a chain in the thread block; the jump must
    // drop the ones the faulting call registered, as an unwind would.
    void* const savedChain = ReadHandlerChain();
#endif
    const LPTOP_LEVEL_EXCEPTION_FILTER previous = ::SetUnhandledExceptionFilter(GuardFilter);
    if (__builtin_setjmp(state.jump) == 0) {
        state.armed = true;
        result = function();
        state.armed = false;
        ::SetUnhandledExceptionFilter(previous);
        exceptionCode = 0;
        return true;
    }
#if defined(__i386__)
    WriteHandlerChain(savedChain);
#endif
    ::SetUnhandledExceptionFilter(previous);
    exceptionCode = state.code;
    return false;
}

}  // namespace tarnex
