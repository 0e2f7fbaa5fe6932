#include "services/instance_guard.h"

#include <cstring>
#include <cwchar>
#include <string>

#include "services/message_box.h"

namespace tarnex {

namespace {

constexpr DWORD kBlockSize = sizeof(GuardBlock);
// A run that has just created the block fills it at once; a run that lost
// the race to create it may look before that.
constexpr int kFillWaits = 100;
constexpr DWORD kFillWaitMs = 10;

// Copies a caption into the block's field: at most 259 characters, so the
// field's last character (zero from construction) stays the terminator.
void StoreCaption(wchar_t (&field)[kGuardCaptionField], const wchar_t* caption) {
    std::size_t n = caption ? std::wcslen(caption) : 0;
    if (n > kGuardCaptionField - 1) n = kGuardCaptionField - 1;
    if (n) std::memcpy(field, caption, n * sizeof(wchar_t));
}

}  // namespace

std::uint32_t PackWindow(HWND window) {
    return static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(window));
}

HWND UnpackWindow(std::uint32_t value) {
    return reinterpret_cast<HWND>(static_cast<std::intptr_t>(static_cast<std::int32_t>(value)));
}

InstanceGuard::InstanceGuard(std::uint32_t kind) : image_{}, message_{} { image_.Kind = kind; }

int InstanceGuard::CheckOtherInstance(TextId messageId, HINSTANCE instance, const wchar_t* caption) {
    vrel::unique_handle other(::OpenFileMappingW(FILE_MAP_READ | FILE_MAP_WRITE, FALSE, kGuardMappingName));
    if (!other) {
        state_ = kNoneFound;
        return 1;
    }
    vrel::unique_view view(::MapViewOfFile(other.get(), FILE_MAP_READ | FILE_MAP_WRITE, 0, 0, kBlockSize));
    if (!view) {
        state_ = kNoneFound;
        return 1;
    }
    // The other process wrote the block; read it as untrusted: the caption is
    // bounded by its field whether or not it is terminated.
    GuardBlock block;
    std::memcpy(&block, view.get(), sizeof block);
    for (int i = 0; i < kFillWaits && block.Kind == 0; ++i) {
        ::Sleep(kFillWaitMs);
        std::memcpy(&block, view.get(), sizeof block);
    }
    const std::wstring otherCaption(block.Caption, ::wcsnlen(block.Caption, kGuardCaptionField));

    if (::LoadStringW(instance, static_cast<UINT>(messageId), message_, static_cast<int>(kGuardCaptionField)) <= 0)
        message_[0] = L'\0';
    // Formatted into its own text: a long caption must not overrun the
    // 260-character buffer the message is loaded into.
    const std::wstring text = FormatMessageText(message_, otherCaption.c_str());
    AskCaptioned(Question::kOtherInstallerRunning, text, caption ? caption : L"");

    const HWND window = UnpackWindow(block.Window);
    if (window) ::SetForegroundWindow(window);
    state_ = kOtherFound;
    return 0;
}

int InstanceGuard::Register(HWND window, const wchar_t* caption) {
    if (mapping_) return 0;
    image_.Window = PackWindow(window);
    StoreCaption(image_.Caption, caption);
    mapping_.reset(::CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, kBlockSize,
                                        kGuardMappingName));
    if (!mapping_) return 0;
    if (::GetLastError() == ERROR_ALREADY_EXISTS) {
        // Another run won the race: its block is not ours to update, so the
        // handle is not kept (UpdateOwnerWindow then reports no mapping).
        mapping_.reset();
        state_ = kOtherFound;
        return 0;
    }
    vrel::unique_view view(::MapViewOfFile(mapping_.get(), FILE_MAP_WRITE, 0, 0, kBlockSize));
    if (!view) return 0;
    std::memcpy(view.get(), &image_, sizeof image_);
    owner_ = 1;
    return 1;
}

int InstanceGuard::UpdateOwnerWindow(HWND window, const wchar_t* caption) {
    if (!mapping_) return 0;
    vrel::unique_view view(::MapViewOfFile(mapping_.get(), FILE_MAP_READ | FILE_MAP_WRITE, 0, 0, kBlockSize));
    if (!view) return 0;
    image_.Window = PackWindow(window);
    std::memset(image_.Caption, 0, sizeof image_.Caption);
    StoreCaption(image_.Caption, caption);
    auto* block = static_cast<GuardBlock*>(view.get());
    std::memcpy(block->Caption, image_.Caption, sizeof image_.Caption);
    block->Window = image_.Window;
    return 1;
}

}  // namespace tarnex
