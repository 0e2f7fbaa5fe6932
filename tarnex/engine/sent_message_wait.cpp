#include "engine/sent_message_wait.h"

namespace tarnex {

DWORD WaitAnsweringSentMessages(HANDLE object, DWORD milliseconds) {
    const ULONGLONG start = ::GetTickCount64();
    for (;;) {
        DWORD left = milliseconds;
        if (milliseconds != INFINITE) {
            const ULONGLONG spent = ::GetTickCount64() - start;
            left = spent >= milliseconds ? 0 : static_cast<DWORD>(milliseconds - spent);
        }
        const DWORD result = ::MsgWaitForMultipleObjects(1, &object, FALSE, left, QS_SENDMESSAGE);
        if (result != WAIT_OBJECT_0 + 1) return result;
        // Peeking delivers the sent messages; nothing is taken off the queue.
        MSG ignored;
        ::PeekMessageW(&ignored, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    }
}

}  // namespace tarnex
