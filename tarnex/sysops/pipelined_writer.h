// Writing of the transfer's output on a thread of its own: the cabinet is
// decoded on the caller's thread while the data decoded before it goes to
// disk. What is in flight is bounded by a ring of buffers allocated once, so
// that a package of any size keeps the same footprint, and the files are
// written and closed in the order they were handed over.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <vector>

#include "vrel/unique_handle.h"

namespace tarnex {

class PipelinedWriter {
public:
    static constexpr std::size_t kBufferBytes = 1 << 20;  // one write call at most
    static constexpr std::size_t kBuffers = 8;            // 8 MiB in flight at most

    // Starts the writing thread; without it (no thread could be had) every
    // buffer is written on the caller's thread as it is handed over.
    PipelinedWriter();
    // Writes what is left and ends the thread.
    ~PipelinedWriter();
    PipelinedWriter(const PipelinedWriter&) = delete;
    PipelinedWriter& operator=(const PipelinedWriter&) = delete;

    // Appends bytes to the file's data; waits while every buffer is in
    // flight. False once a write has failed since Restart (the bytes are
    // dropped then).
    bool Write(HANDLE file, const void* data, std::size_t bytes);
    // After the file's data: its creation and last-write times set (when
    // time is not null and nothing failed) and the handle closed, also when
    // false is returned.
    bool Close(vrel::unique_hfile file, const FILETIME* time);
    // Waits until everything handed over is written and closed; false when
    // a write failed since Restart.
    bool Drain();
    // Forgets an earlier failure; only while drained.
    void Restart();
    // True once a write has failed since Restart.
    bool Failed() const { return failed_ != 0; }

private:
    struct Slot {
        std::uint8_t* data = nullptr;
        HANDLE file = nullptr;       // written through
        vrel::unique_hfile closing;  // set by Close: closed after the data
        std::size_t used = 0;
        bool setTime = false;
        FILETIME time{};
    };

    static unsigned __stdcall ThreadMain(void* self);
    Slot& OpenSlot(HANDLE file);  // the buffer being filled, taken for file
    void Submit();                // hands the buffer being filled over
    void Process(Slot& slot);     // on the writing thread (or inline)

    std::vector<std::uint8_t> memory_;
    Slot slots_[kBuffers];
    std::size_t fill_ = 0;    // the slot the caller fills next (caller's side)
    bool filling_ = false;    // slots_[fill_] is taken by the caller
    std::size_t write_ = 0;   // the slot written next (writing thread's side)
    // A slim lock and two condition variables: under Wine they wait on the
    // address, with no trip through its server (a semaphore costs one for
    // every release and every wait, four for each small file).
    SRWLOCK lock_ = SRWLOCK_INIT;
    CONDITION_VARIABLE queuedOrStop_ = CONDITION_VARIABLE_INIT;  // for the writing thread
    CONDITION_VARIABLE written_ = CONDITION_VARIABLE_INIT;       // for the caller
    std::size_t queued_ = 0;  // slots handed over and not yet written (under lock_)
    bool stop_ = false;       // under lock_
    vrel::unique_handle thread_;
    volatile LONG failed_ = 0;
};

}  // namespace tarnex
