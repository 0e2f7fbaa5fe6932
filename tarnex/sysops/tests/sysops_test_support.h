// Shared pieces of the system-operation tests: the program context of a
// test run, temporary folders in the prefix, file and log reading, and the
// two seams where a person would be asked.
#pragma once

#include <windows.h>

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "services/message_box.h"
#include "tests/support/message_recorder.h"
#include "tests/support/test_files.h"
#include "ui/replace_dialog.h"

namespace sysops_test {

// Sets App(): instance, caption, program and Windows folders (the log goes
// to a folder of its own, emptied here).
void InitTestApp();

std::wstring TestData();  // the test program's folder + "sysops_testdata\"

using testfiles::CabinetTimeUtc;
using testfiles::Exists;
using testfiles::IsFolder;
using testfiles::MessageRecorder;
using testfiles::FilesIn;
using testfiles::ReadBytes;
using testfiles::RemoveTree;
using testfiles::ScratchFolder;
using testfiles::TestProgramFolder;
using testfiles::WriteBytes;
std::wstring LogText();
void ClearLog();

// Answers the replace question from a script; -1 past its end fails the test.
class ReplaceScript {
public:
    explicit ReplaceScript(std::deque<int> answers);
    ~ReplaceScript();
    std::vector<tarnex::ReplaceQuestion> asked;

private:
    std::deque<int> answers_;
    testfiles::ReplaceAnswerer answerer_;
};

// A registry text value (HKCU/HKLM), "" when missing.
std::wstring RegText(HKEY root, const std::wstring& key, const std::wstring& name);

}  // namespace sysops_test

namespace sysops_test {

// A stored (uncompressed) single-folder cabinet written byte by byte, for
// entries no archiver would write (names that climb out of their folder).
struct CabEntry {
    std::string name;
    std::string data;
    std::uint16_t dosDate = (41 << 9) | (3 << 5) | 4;  // 2021-03-04
    std::uint16_t dosTime = (5 << 11) | (6 << 5) | 4;  // 05:06:08
    std::uint16_t attributes = 0x20;                    // 0x80: the name is UTF-8
};
void WriteStoredCab(const std::wstring& path, const std::vector<CabEntry>& entries);

}  // namespace sysops_test
