// Pictures of the wizard (page strips and the background): a file read whole
// into memory and decoded by the system's OLE picture loader, so any format
// it accepts (BMP, JPEG, GIF, icon, metafile) can be used.
#pragma once

#include <windows.h>
#include <ocidl.h>
#include <olectl.h>

#include <string>

#include "vrel/com_ptr.h"

namespace tarnex {

// Reads the whole file (opened for reading without sharing; it must exist)
// into a movable memory block and returns a stream that frees the block when
// released. Failures: a Win32 error as its HRESULT, E_FAIL for a short read,
// E_OUTOFMEMORY when the block cannot be had.
HRESULT ReadFileToStream(const std::wstring& path, vrel::ComPtr<IStream>& stream);

class PictureHolder {
public:
    // Keeps a picture already held (and returns 0). Otherwise the HRESULT of
    // the first step that failed, or of OleLoadPicture.
    HRESULT Load(const std::wstring& path);

    // Stretches the whole picture over (0, 0, rectangle.right,
    // rectangle.bottom); 1 when nothing is held. A picture that fails to
    // render is dropped for good and the failure returned.
    HRESULT Render(HDC dc, const RECT& rectangle);

    bool Held() const { return static_cast<bool>(picture_); }

private:
    vrel::ComPtr<IPicture> picture_;
};

}  // namespace tarnex
