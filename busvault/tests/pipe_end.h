// The far end of a port in the tests: a named pipe ("\\.\pipe\..." opens
// like "\\.\COM1") that records what the link writes and answers only what
// the test sends.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "vrel/unique_handle.h"

namespace {

// Its port name for OpenPort is "pipe\<name>".
class PipeEnd {
public:
    explicit PipeEnd(const std::string& name)
        : portName_("pipe\\" + name),
          pipe_(::CreateNamedPipeA(("\\\\.\\pipe\\" + name).c_str(), PIPE_ACCESS_DUPLEX,
                                   PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT, 1, 4096, 4096, 0, nullptr)) {}

    const char* PortName() const { return portName_.c_str(); }
    bool Valid() const { return static_cast<bool>(pipe_); }

    // Bytes the client wrote so peer, consumed.
    std::vector<BYTE> Take() {
        std::vector<BYTE> bytes;
        DWORD available = 0;
        if (!::PeekNamedPipe(pipe_.get(), nullptr, 0, nullptr, &available, nullptr) || available == 0) return bytes;
        bytes.resize(available);
        DWORD read = 0;
        ::ReadFile(pipe_.get(), bytes.data(), available, &read, nullptr);
        bytes.resize(read);
        return bytes;
    }
    // Puts bytes on the line for the link to read (the client must be connected).
    bool Send(const std::vector<BYTE>& bytes) {
        DWORD written = 0;
        return ::WriteFile(pipe_.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
               written == bytes.size();
    }
    // True once the client has closed its end.
    bool ClientGone() {
        DWORD available = 0;
        return !::PeekNamedPipe(pipe_.get(), nullptr, 0, nullptr, &available, nullptr) &&
               ::GetLastError() == ERROR_BROKEN_PIPE;
    }

private:
    std::string portName_;
    vrel::unique_hfile pipe_;
};

}  // namespace
