// A critical section owned by an object, and a scoped lock that leaves it on
// every path.
#pragma once

#include <windows.h>

namespace vrel {

class CriticalSection {
public:
    CriticalSection() noexcept { ::InitializeCriticalSection(&section_); }
    ~CriticalSection() { ::DeleteCriticalSection(&section_); }
    CriticalSection(const CriticalSection&) = delete;
    CriticalSection& operator=(const CriticalSection&) = delete;

    void enter() noexcept { ::EnterCriticalSection(&section_); }
    void leave() noexcept { ::LeaveCriticalSection(&section_); }

private:
    CRITICAL_SECTION section_;
};

class CriticalSectionLock {
public:
    explicit CriticalSectionLock(CriticalSection& section) noexcept : section_(section) { section_.enter(); }
    ~CriticalSectionLock() { section_.leave(); }
    CriticalSectionLock(const CriticalSectionLock&) = delete;
    CriticalSectionLock& operator=(const CriticalSectionLock&) = delete;

private:
    CriticalSection& section_;
};

}  // namespace vrel
