// Calls into a package library with a guard that contains every exception
// the call leaves unhandled, processor faults included. GCC has no __try:
// the guard is a top-level exception filter that jumps back to the caller.
#pragma once

#include <windows.h>

namespace tarnex {

using RegistrationFunction = HRESULT(STDAPICALLTYPE*)();

// True with the function's result; false when it raised an exception that
// none of its own handlers caught (exceptionCode then holds its code).
// Worker-thread use only: the filter is process-wide while the call runs.
bool CallGuarded(RegistrationFunction function, HRESULT& result, DWORD& exceptionCode);

}  // namespace tarnex
