// The rules that decide whether a packaged file may replace an existing one:
// version texts, their comparison, the time rule and the sticky answer of the
// "Замена файла" dialog.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace tarnex {

// "a.b.c.d" from the fixed file version (most significant word first).
std::wstring FormatFileVersion(std::uint32_t mostSignificant, std::uint32_t leastSignificant);

// Existing version text a against the package's b: 2 both empty, -1 only a
// empty, 1 only b empty, 0 identical; otherwise the first three "."-parts and
// then the rest are compared as decimal numbers (non-numbers count 0):
// 1 when a is greater, -1 when smaller, 0 when equal.
int CompareVersionText(const std::wstring& a, const std::wstring& b);

// A local date and time to the millisecond (day of week left out).
struct LocalStamp {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, millisecond = 0;
};
int CompareStamps(const LocalStamp& a, const LocalStamp& b);

// Write without asking when the existing file is older by version (r = -1),
// or when the versions are equal or both absent (r = 0 or 2) and the existing
// file is not later than the packaged one.
bool WriteWithoutAsking(int versionOrder, const LocalStamp& existing, const LocalStamp& packaged);

// Dialog answers; the sticky answer starts at kReplace for the whole run.
enum ReplaceAnswer : int {
    kReplace = 1,
    kSkip = 2,
    kReplaceAll = 3,
    kSkipAll = 4,
    kNoOwner = -2,  // no owning window: nothing shown, every later file skipped
};

struct ReplaceOutcome {
    bool write = false;
    bool keepExisting = false;
};

// The user's part of the policy: asks (through ask) only while the sticky
// answer is a single-file one, and keeps the answer for the next file.
ReplaceOutcome DecideByAnswer(int& sticky, const std::function<int()>& ask);

}  // namespace tarnex
