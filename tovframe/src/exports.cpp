// The eight exports. Each runs its checks in a fixed order; the first that
// fails gives the result, and a failed call writes none of the caller's
// outputs. The module-definition file gives them their decorated names.
#include <windows.h>

#include <cstring>
#include <memory>
#include <new>
#include <string_view>

#include "bm100_tables.h"
#include "frame_codec.h"
#include "frame_descriptor.h"
#include "vrel/bounded_copy.h"

namespace tovframe {
namespace {

bool Initialised() noexcept { return State().descriptor.buffer != nullptr; }

// Loads a name from the library's string table into the host's buffer of
// `*length` characters (terminator included), cut to fit; the length then
// holds the characters copied + 1. A capacity of 0 writes nothing.
void LoadName(unsigned long id, char* buffer, unsigned long* length) noexcept {
    if (*length == 0) return;
    char text[256] = {};
    const int n = ::LoadStringA(State().module, static_cast<UINT>(id), text, static_cast<int>(sizeof text));
    const std::size_t copied =
        vrel::CopyToField(buffer, *length, std::string_view(text, n > 0 ? static_cast<std::size_t>(n) : 0));
    *length = static_cast<unsigned long>(copied + 1);
}

}  // namespace
}  // namespace tovframe

using namespace tovframe;

extern "C" {

unsigned long TovGetInfoImpl(tagTovProtoInfo* info, unsigned long* count) {
    if (count == nullptr) return TOV_E_POINTER;
    *count = 1;
    if (info != nullptr) *info = tagTovProtoInfo{FRSPDDEVTYPE_BM100, FRSPDDEVVER_2};
    return TOV_OK;
}

// Type and version are not checked: the descriptor always describes the BM100.
unsigned long TovFrameInitializeImpl(tagFrameDsc* dsc, FRSPDDEVTYPE, FRSPDDEVVER) {
    if (dsc == nullptr) return TOV_E_POINTER;
    if (Initialised()) return TOV_E_STATE;
    auto& state = State();
    try {
        state.buffer = std::make_unique<unsigned char[]>(kFrameBufferSize);  // zeroed
    } catch (const std::bad_alloc&) {
        return TOV_E_STATE;
    }
    auto& d = state.descriptor;
    d.buffer = state.buffer.get();
    d.size = kFrameBufferSize;
    d.handle = kHandle;
    d.device = &kBm100Device;
    *dsc = d;
    return TOV_OK;
}

unsigned long TovFrameUninitializeImpl(unsigned long handle) {
    if (!Initialised()) return TOV_E_STATE;
    if (handle != kHandle) return TOV_E_INDEX;
    State().buffer.reset();
    State().descriptor = tagFrameDsc{};
    return TOV_OK;
}

unsigned long TovGetSpdDevNameImpl(FRSPDDEVTYPE type, char* buffer, unsigned long* length) {
    if (buffer == nullptr || length == nullptr) return TOV_E_POINTER;
    if (type == FRSPDDEVTYPE_BM100) LoadName(kBm100NameId, buffer, length);
    return TOV_OK;
}

unsigned long TovGetSpdPackNameImpl(unsigned long handle, unsigned long pack, char* buffer, unsigned long* length) {
    if (handle != kHandle) return TOV_E_INDEX;
    if (!Initialised()) return TOV_E_STATE;
    if (buffer == nullptr || length == nullptr) return TOV_E_POINTER;
    const tagSpdDevDsc& device = *State().descriptor.device;
    if (pack >= device.packCount) return TOV_E_INDEX;
    LoadName(device.packs[pack].nameId, buffer, length);
    return TOV_OK;
}

unsigned long TovGetSpdCellNameImpl(unsigned long handle, unsigned long pack, unsigned long cell, char* buffer,
                                    unsigned long* length) {
    if (handle != kHandle) return TOV_E_INDEX;
    if (!Initialised()) return TOV_E_STATE;
    if (buffer == nullptr || length == nullptr) return TOV_E_POINTER;
    const tagSpdDevDsc& device = *State().descriptor.device;
    if (pack >= device.packCount) return TOV_E_INDEX;
    if (cell >= device.packs[pack].cellCount) return TOV_E_INDEX;
    LoadName(device.packs[pack].cells[cell].nameId, buffer, length);
    return TOV_OK;
}

unsigned long TovSetFrameDataImpl(unsigned long handle, unsigned char address, unsigned long pack, int addressed,
                                  unsigned char* data, unsigned long* frameLength) {
    if (data != nullptr) return TOV_E_POINTER;  // requests carry no data; the pointer is reserved
    if (frameLength == nullptr) return TOV_E_POINTER;
    if (handle != kHandle) return TOV_E_INDEX;
    if (!Initialised()) return TOV_E_STATE;
    const auto& d = State().descriptor;
    if (pack >= d.device->packCount) return TOV_E_INDEX;
    *frameLength = static_cast<unsigned long>(BuildRequest(*d.device, pack, addressed != 0, address, d.buffer));
    return TOV_OK;
}

unsigned long TovFrameAnalizeImpl(unsigned long handle, unsigned char* address, unsigned long* pack, int addressed,
                                  unsigned char** data, unsigned long* length) {
    if (pack == nullptr || data == nullptr || length == nullptr) return TOV_E_POINTER;
    if (handle != kHandle) return TOV_E_INDEX;
    const auto& d = State().descriptor;
    // In the empty state the size is 0, so the length check refuses every frame.
    if (d.buffer == nullptr) return TOV_E_FRAME;
    ReplyView view;
    const unsigned long result = AnalyseReply(*d.device, d.buffer, d.size, *length, addressed != 0, view);
    if (result != TOV_OK) return result;
    *pack = static_cast<unsigned long>(view.pack);
    *length = static_cast<unsigned long>(view.dataLength);
    *data = view.dataLength != 0 ? d.buffer + view.dataOffset : nullptr;
    if (address != nullptr) *address = view.address;
    return TOV_OK;
}

}  // extern "C"
