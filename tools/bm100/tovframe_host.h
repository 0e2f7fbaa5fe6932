// A host's binding of TovFrame.dll: loaded with LoadLibrary, the eight
// exports bound by their decorated names, the frame descriptor initialised
// for the BM100 and released again when the host ends.
#pragma once

#include <windows.h>

#include <string>

#include "tovframe.h"
#include "vrel/unique_handle.h"

namespace bm100tool {

class TovFrameHost {
public:
    TovFrameHost() = default;
    TovFrameHost(const TovFrameHost&) = delete;
    TovFrameHost& operator=(const TovFrameHost&) = delete;
    ~TovFrameHost();

    // Loads TovFrame.dll from `folder` (ending in a backslash; "" for the
    // search path only), else from the search path, binds every export and
    // initialises the descriptor. Problems go to stderr after `who`.
    bool Load(const std::wstring& folder, const char* who);

    // Names from the library's string table; "?" when it has none.
    std::string DeviceName(FRSPDDEVTYPE type) const;
    std::string PackName(unsigned long pack) const;
    std::string CellName(unsigned long pack, unsigned long cell) const;

    TovGetInfoFn getInfo = nullptr;
    TovFrameInitializeFn initialize = nullptr;
    TovFrameUninitializeFn uninitialize = nullptr;
    TovGetSpdDevNameFn devName = nullptr;
    TovGetSpdPackNameFn packName = nullptr;
    TovGetSpdCellNameFn cellName = nullptr;
    TovSetFrameDataFn setFrameData = nullptr;
    TovFrameAnalizeFn analize = nullptr;
    tagFrameDsc dsc{};

private:
    vrel::unique_hmodule module_;
    bool initialised_ = false;
};

}  // namespace bm100tool
