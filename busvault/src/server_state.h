// Server-wide counts that decide whether COM may unload the DLL, and the
// module handle recorded at process attach.
#pragma once

#include <windows.h>

namespace busvault {

struct ServerState {
    HINSTANCE module = nullptr;
    // Live class factories and stores (port objects are not counted).
    volatile LONG objects = 0;
    // Raised and lowered by IClassFactory::LockServer.
    volatile LONG locks = 0;
};

ServerState& Server() noexcept;

// Counts one live server object for its lifetime.
class ServerObject {
public:
    ServerObject() noexcept { ::InterlockedIncrement(&Server().objects); }
    ~ServerObject() { ::InterlockedDecrement(&Server().objects); }
    ServerObject(const ServerObject&) = delete;
    ServerObject& operator=(const ServerObject&) = delete;
};

}  // namespace busvault
