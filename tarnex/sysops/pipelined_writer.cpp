#include "sysops/pipelined_writer.h"

#include <process.h>

#include <cstring>
#include <utility>

namespace tarnex {

PipelinedWriter::PipelinedWriter() : memory_(kBuffers * kBufferBytes) {
    for (std::size_t i = 0; i < kBuffers; ++i) slots_[i].data = memory_.data() + i * kBufferBytes;
    const std::uintptr_t thread = ::_beginthreadex(nullptr, 0, &PipelinedWriter::ThreadMain, this, 0, nullptr);
    if (thread != 0) thread_.reset(reinterpret_cast<HANDLE>(thread));
}

PipelinedWriter::~PipelinedWriter() {
    Drain();
    if (!thread_) return;
    ::AcquireSRWLockExclusive(&lock_);
    stop_ = true;
    ::ReleaseSRWLockExclusive(&lock_);
    ::WakeConditionVariable(&queuedOrStop_);
    ::WaitForSingleObject(thread_.get(), INFINITE);
}

unsigned __stdcall PipelinedWriter::ThreadMain(void* self) {
    auto& writer = *static_cast<PipelinedWriter*>(self);
    for (;;) {
        ::AcquireSRWLockExclusive(&writer.lock_);
        while (writer.queued_ == 0 && !writer.stop_)
            ::SleepConditionVariableSRW(&writer.queuedOrStop_, &writer.lock_, INFINITE, 0);
        const bool stop = writer.queued_ == 0;  // stopped only once drained
        ::ReleaseSRWLockExclusive(&writer.lock_);
        if (stop) return 0;
        writer.Process(writer.slots_[writer.write_]);
        writer.write_ = (writer.write_ + 1) % kBuffers;
        ::AcquireSRWLockExclusive(&writer.lock_);
        --writer.queued_;
        ::ReleaseSRWLockExclusive(&writer.lock_);
        ::WakeConditionVariable(&writer.written_);
    }
}

void PipelinedWriter::Process(Slot& slot) {
    if (!Failed() && slot.used > 0) {
        DWORD written = 0;
        if (!::WriteFile(slot.file, slot.data, static_cast<DWORD>(slot.used), &written, nullptr) ||
            written != slot.used)
            ::InterlockedExchange(&failed_, 1);
    }
    if (slot.closing) {
        // Times set through the open handle: no second open of the file.
        if (slot.setTime && !Failed()) ::SetFileTime(slot.file, &slot.time, nullptr, &slot.time);
        slot.closing.reset();
    }
    slot.file = nullptr;
    slot.used = 0;
    slot.setTime = false;
}

PipelinedWriter::Slot& PipelinedWriter::OpenSlot(HANDLE file) {
    if (filling_ && slots_[fill_].file != file) Submit();
    if (!filling_) {
        // The slot after the ones in flight is free once fewer than all are.
        ::AcquireSRWLockExclusive(&lock_);
        while (queued_ == kBuffers) ::SleepConditionVariableSRW(&written_, &lock_, INFINITE, 0);
        ::ReleaseSRWLockExclusive(&lock_);
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
    if (!thread_) {
        Process(slot);
        return;
    }
    ::AcquireSRWLockExclusive(&lock_);
    ++queued_;
    ::ReleaseSRWLockExclusive(&lock_);
    ::WakeConditionVariable(&queuedOrStop_);
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

bool PipelinedWriter::Close(vrel::unique_hfile file, const FILETIME* time) {
    Slot& slot = OpenSlot(file.get());
    slot.closing = std::move(file);
    slot.setTime = time != nullptr;
    if (time != nullptr) slot.time = *time;
    Submit();
    return !Failed();
}

bool PipelinedWriter::Drain() {
    Submit();
    ::AcquireSRWLockExclusive(&lock_);
    while (queued_ > 0) ::SleepConditionVariableSRW(&written_, &lock_, INFINITE, 0);
    ::ReleaseSRWLockExclusive(&lock_);
    return !Failed();
}

void PipelinedWriter::Restart() { ::InterlockedExchange(&failed_, 0); }

}  // namespace tarnex
