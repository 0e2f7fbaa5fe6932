// Waiting on the user-interface thread while the worker may be talking to
// its windows: the worker's message boxes and the replace dialog are owned
// by the progress page, and creating them sends messages to the page's
// thread (disabling the owner, activation). A wait that does not answer
// those messages would hold both threads for ever.
#pragma once

#include <windows.h>

namespace tarnex {

// Waits for the object like WaitForSingleObject, answering the messages
// other threads send to this thread's windows meanwhile. Posted messages and
// input stay queued, so no window of this thread is re-entered by the user.
DWORD WaitAnsweringSentMessages(HANDLE object, DWORD milliseconds);

}  // namespace tarnex
