// Shared pieces of the description and utility tests: the program context
// of a test run, and the shared test files, scratch folders and message
// recorder.
#pragma once

#include <windows.h>

#include <string>

#include "tests/support/message_recorder.h"
#include "tests/support/test_files.h"

namespace tarnex::test {

using testfiles::Exists;
using testfiles::MessageRecorder;
using testfiles::ReadUtf16;
using testfiles::RemoveTree;
using testfiles::ScratchFolder;
using testfiles::WriteBytes;

// Fills the program context for the tests: the test program's own string
// table, the Windows and system folders, a caption.
void SetUpTestContext();

}  // namespace tarnex::test
