#include "ui/picture_holder.h"

#include "vrel/unique_handle.h"

namespace tarnex {
namespace {

HRESULT LastErrorResult() {
    const DWORD error = ::GetLastError();
    return error == 0 ? E_FAIL : HRESULT_FROM_WIN32(error);
}

// A movable block that is freed unless a stream took it over.
class GlobalBlock {
public:
    explicit GlobalBlock(SIZE_T size) : block_(::GlobalAlloc(GMEM_MOVEABLE, size)) {}
    ~GlobalBlock() {
        if (block_ != nullptr) ::GlobalFree(block_);
    }
    GlobalBlock(const GlobalBlock&) = delete;
    GlobalBlock& operator=(const GlobalBlock&) = delete;
    HGLOBAL get() const { return block_; }
    void release() { block_ = nullptr; }

private:
    HGLOBAL block_;
};

}  // namespace

HRESULT ReadFileToStream(const std::wstring& path, vrel::ComPtr<IStream>& stream) {
    vrel::unique_hfile file(
        ::CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return LastErrorResult();
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(file.get(), &size)) return LastErrorResult();
    // One ReadFile call reads the block: larger files are no pictures of a wizard.
    if (size.QuadPart > 0x7FFFFFFF) return E_OUTOFMEMORY;
    const DWORD length = static_cast<DWORD>(size.QuadPart);
    GlobalBlock block(length == 0 ? 1 : length);
    if (block.get() == nullptr) return E_OUTOFMEMORY;
    void* data = ::GlobalLock(block.get());
    if (data == nullptr) return E_OUTOFMEMORY;
    DWORD got = 0;
    const BOOL read = ::ReadFile(file.get(), data, length, &got, nullptr);
    const DWORD readError = ::GetLastError();
    ::GlobalUnlock(block.get());
    if (!read) return readError == 0 ? E_FAIL : HRESULT_FROM_WIN32(readError);
    if (got != length) return E_FAIL;
    const HRESULT hr = ::CreateStreamOnHGlobal(block.get(), TRUE, stream.put());
    if (SUCCEEDED(hr)) block.release();
    return hr;
}

HRESULT PictureHolder::Load(const std::wstring& path) {
    if (picture_) return 0;
    vrel::ComPtr<IStream> stream;
    const HRESULT hr = ReadFileToStream(path, stream);
    if (FAILED(hr)) return hr;
    return ::OleLoadPicture(stream.get(), 0, TRUE, IID_IPicture, picture_.put_void());
}

HRESULT PictureHolder::Render(HDC dc, const RECT& rectangle) {
    if (!picture_) return 1;
    OLE_XSIZE_HIMETRIC width = 0;
    OLE_YSIZE_HIMETRIC height = 0;
    picture_->get_Width(&width);
    picture_->get_Height(&height);
    // Stretched smooth, not by dropping or doubling pixels: a picture made
    // for one size is shown at another on every screen of more DPI.
    // HALFTONE takes the brush origin afresh.
    const int previousMode = ::SetStretchBltMode(dc, HALFTONE);
    POINT previousOrigin{};
    ::SetBrushOrgEx(dc, 0, 0, &previousOrigin);
    const HRESULT hr =
        picture_->Render(dc, 0, 0, rectangle.right, rectangle.bottom, 0, height, width, -height, &rectangle);
    ::SetBrushOrgEx(dc, previousOrigin.x, previousOrigin.y, nullptr);
    if (previousMode != 0) ::SetStretchBltMode(dc, previousMode);
    if (FAILED(hr)) picture_.reset();
    return hr;
}

}  // namespace tarnex
