// The single-instance guard: a named block of shared memory that the first
// installer on the machine creates and fills with its caption and main
// window, so that a later start can name it, bring it to the front and end.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>

#include "resources/string_ids.h"
#include "vrel/unique_handle.h"

namespace tarnex {

inline constexpr wchar_t kGuardMappingName[] = L"{VREL-025F7034-6862-4246-9F46-B630F83A23B2}";
inline constexpr std::uint32_t kGuardKindTarnex = 5;
inline constexpr std::size_t kGuardCaptionField = 260;  // 259 characters and the terminator

// The shared block as separate processes read and write it (536 bytes,
// little-endian). The window handle is kept in 32 bits: window handles are
// 32-bit values in 64-bit processes too, so both builds share the layout.
struct GuardBlock {
    std::uint32_t Kind;
    std::uint32_t Window;
    wchar_t Caption[kGuardCaptionField];
    std::uint32_t Reserved1;
    std::uint32_t Reserved2;
};
static_assert(sizeof(wchar_t) == 2, "the block holds UTF-16");
static_assert(sizeof(GuardBlock) == 536, "the shared block is 536 bytes");
static_assert(offsetof(GuardBlock, Window) == 4 && offsetof(GuardBlock, Caption) == 8 &&
                  offsetof(GuardBlock, Reserved1) == 528 && offsetof(GuardBlock, Reserved2) == 532,
              "offsets of the shared block");

// Packs a window handle into the block's 32 bits and back (sign-extended, as
// the system hands 32-bit window handles to 64-bit code).
std::uint32_t PackWindow(HWND window);
HWND UnpackWindow(std::uint32_t value);

class InstanceGuard {
public:
    enum State : int { kUnchecked = -1, kOtherFound = 0, kNoneFound = 1 };

    explicit InstanceGuard(std::uint32_t kind);
    virtual ~InstanceGuard() = default;
    InstanceGuard(const InstanceGuard&) = delete;
    InstanceGuard& operator=(const InstanceGuard&) = delete;

    // 1 when no other installer runs. Otherwise shows string messageId
    // (formatted with the other one's caption) titled with caption, brings
    // the other one's window to the front and returns 0.
    int CheckOtherInstance(TextId messageId, HINSTANCE instance, const wchar_t* caption);

    // Creates the block with this window and caption; 1 when this object now
    // owns it, 0 when it already held a mapping, or the block already exists
    // (another run created it first: the state becomes kOtherFound) or
    // cannot be created.
    int Register(HWND window, const wchar_t* caption);

    // Stores a new main window and caption in the block; 0 without a mapping.
    int UpdateOwnerWindow(HWND window, const wchar_t* caption);

    int CheckState() const { return state_; }
    bool Owner() const { return owner_ != 0; }
    const GuardBlock& Image() const { return image_; }

private:
    GuardBlock image_;
    // Closed on destruction in every state: a handle to another run's block
    // (a Register that lost the race) only keeps that block alive longer.
    vrel::unique_handle mapping_;
    wchar_t message_[kGuardCaptionField];
    int owner_ = 0;
    int state_ = kUnchecked;
};

}  // namespace tarnex
