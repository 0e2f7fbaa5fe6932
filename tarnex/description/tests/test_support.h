// Shared pieces of the description and utility tests: a scratch folder in
// the prefix's temp folder, files written into it, and a recorder of the
// message boxes shown through the message seam.
#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "tests/support/test_files.h"
#include "run/message_box.h"

namespace tarnex::test {

// A fresh folder under the temp folder, removed with everything in it.
class ScratchFolder {
public:
    explicit ScratchFolder(const std::wstring& tag);
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;
    // Full path ending in a backslash.
    const std::wstring& Path() const { return path_; }

private:
    std::wstring path_;
};

using testfiles::WriteBytes;
using testfiles::Exists;
using testfiles::RemoveTree;
std::wstring ReadUtf16File(const std::wstring& path);

// Records every message box and answers with a fixed button.
class MessageRecorder {
public:
    explicit MessageRecorder(int answer = IDOK);
    ~MessageRecorder();
    MessageRecorder(const MessageRecorder&) = delete;
    MessageRecorder& operator=(const MessageRecorder&) = delete;
    const std::vector<MessageRequest>& Shown() const { return *shown_; }
    void Clear() { shown_->clear(); }

private:
    std::shared_ptr<std::vector<MessageRequest>> shown_;
};

// Fills the program context for the tests: the test program's own string
// table, the Windows and system folders, a caption.
void SetUpTestContext();

}  // namespace tarnex::test
