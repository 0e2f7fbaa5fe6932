// The session's end while a single file's package runs. A person's run may
// end in a restart of Windows, which ends the program before it could
// remove its unpacking folder; a quiet run has no window at all and would
// hear nothing of it. A hidden window on a thread of its own hears the
// session's end whatever the run's thread is doing (a window on a thread
// that answers no messages would hold up the end of the session), and
// leaves what the folder holds to the next start of Windows.
#pragma once

#include <windows.h>

#include <thread>

#include "vrel/unique_handle.h"

namespace tarnex {

class UnpackFolder;

// The hidden window's class, for finding it.
inline constexpr wchar_t kSessionEndWatchWindowClass[] = L"TarnexSingleFileWait";

class SessionEndWatch {
public:
    // Starts the watch for folder, which outlives it.
    explicit SessionEndWatch(UnpackFolder& folder);
    // Ends the watch: the window and its thread are gone on return.
    ~SessionEndWatch();
    SessionEndWatch(const SessionEndWatch&) = delete;
    SessionEndWatch& operator=(const SessionEndWatch&) = delete;

private:
    void Watch();

    UnpackFolder& folder_;
    vrel::unique_handle stop_;
    std::thread thread_;
};

}  // namespace tarnex
