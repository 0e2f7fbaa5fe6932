#include "sysops/pipelined_writer.h"

#include <process.h>

#include <cstring>

namespace tarnex {

PipelinedWriter::PipelinedWriter()
    : memory_(kBuffers * kBufferBytes),
      free_(::CreateSemaphoreW(nullptr, static_cast<LONG>(kBuffers), static_cast<LONG>(kBuffers), nullptr)),
      queued_(::CreateSemaphoreW(nullptr, 0, static_cast<LONG>(kBuffers) + 1, nullptr)) {
    for (std::size_t i = 0; i < kBuffers; ++i) slots_[i].data = memory_.data() + i * kBufferBytes;
    if (!free_ || !queued_) return;
    const std::uintptr_t thread = ::_beginthreadex(nullptr, 0, &PipelinedWriter::ThreadMain, this, 0, nullptr);
    if (thread != 0) thread_.reset(reinterpret_cast<HANDLE>(thread));
}

PipelinedWriter::~PipelinedWriter() {
    Drain();
    if (!thread_) return;
    // Drained: the one wake-up left is the stop.
    ::InterlockedExchange(&stop_, 1);
    ::ReleaseSemaphore(queued_.get(), 1, nullptr);
    ::WaitForSingleObject(thread_.get(), INFINITE);
}

unsigned __stdcall PipelinedWriter::ThreadMain(void* self) {
    auto& writer = *static_cast<PipelinedWriter*>(self);
    for (;;) {
        ::WaitForSingleObject(writer.queued_.get(), INFINITE);
        if (writer.stop_ != 0) return 0;
        writer.Process(writer.slots_[writer.write_]);
        writer.write_ = (writer.write_ + 1) % kBuffers;
        ::ReleaseSemaphore(writer.free_.get(), 1, nullptr);
    }
}

void PipelinedWriter::Process(Slot& slot) {
    if (!Failed() && slot.used > 0) {
        DWORD written = 0;
        if (!::WriteFile(slot.file, slot.data, static_cast<DWORD>(slot.used), &written, nullptr) ||
            written != slot.used) {
            const DWORD error = ::GetLastError();
            error_ = error != 0 ? error : ERROR_WRITE_FAULT;
            ::InterlockedExchange(&failed_, 1);
        }
    }
    if (slot.close) {
        // Times set through the open handle: no second open of the file.
        if (slot.setTime && !Failed()) ::SetFileTime(slot.file, &slot.time, nullptr, &slot.time);
        ::CloseHandle(slot.file);
    }
    slot.file = nullptr;
    slot.used = 0;
    slot.close = slot.setTime = false;
}

PipelinedWriter::Slot& PipelinedWriter::OpenSlot(HANDLE file) {
    if (filling_ && slots_[fill_].file != file) Submit();
    if (!filling_) {
        // Without a thread nothing is ever in flight: the slot is free.
        if (thread_) ::WaitForSingleObject(free_.get(), INFINITE);
        filling_ = true;
        slots_[fill_].file = file;
    }
    return slots_[fill_];
}

void PipelinedWriter::Submit() {
    if (!filling_) return;
    filling_ = false;
    Slot& slot = slots_[fill_];
    fill_ = (fill_ + 1) % kBuffers;
    if (thread_)
        ::ReleaseSemaphore(queued_.get(), 1, nullptr);
    else
        Process(slot);
}

bool PipelinedWriter::Write(HANDLE file, const void* data, std::size_t bytes) {
    const auto* from = static_cast<const std::uint8_t*>(data);
    while (bytes > 0 && !Failed()) {
        Slot& slot = OpenSlot(file);
        const std::size_t take = bytes < kBufferBytes - slot.used ? bytes : kBufferBytes - slot.used;
        std::memcpy(slot.data + slot.used, from, take);
        slot.used += take;
        from += take;
        bytes -= take;
        if (slot.used == kBufferBytes) Submit();
    }
    return !Failed();
}

bool PipelinedWriter::Close(HANDLE file, const FILETIME* time) {
    Slot& slot = OpenSlot(file);
    slot.close = true;
    slot.setTime = time != nullptr;
    if (time != nullptr) slot.time = *time;
    Submit();
    return !Failed();
}

bool PipelinedWriter::Drain() {
    Submit();
    if (thread_) {
        // The thread writes in order: once every slot is free again, all
        // that was handed over is written and closed.
        for (std::size_t i = 0; i < kBuffers; ++i) ::WaitForSingleObject(free_.get(), INFINITE);
        ::ReleaseSemaphore(free_.get(), static_cast<LONG>(kBuffers), nullptr);
    }
    return !Failed();
}

void PipelinedWriter::Restart() {
    ::InterlockedExchange(&failed_, 0);
    error_ = 0;
}

}  // namespace tarnex
