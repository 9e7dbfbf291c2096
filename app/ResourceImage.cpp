// Minimal loader; the full one (with its tests) lives with the image work.
#include "app/ResourceImage.h"

#include "framework/CWinApp.h"
#include "framework/ComPtr.h"
#include "framework/Handles.h"

#include <cstring>

namespace {

// The resource bytes copied into a stream that owns its memory block; null when missing.
fw::ComPtr<IStream> ResourceStream(HMODULE module, UINT id, LPCWSTR type) {
    HRSRC res = ::FindResourceW(module, MAKEINTRESOURCEW(id), type);
    if (!res) return {};
    const DWORD size = ::SizeofResource(module, res);
    HGLOBAL loaded = ::LoadResource(module, res);
    const void* data = loaded ? ::LockResource(loaded) : nullptr;
    if (!data || size == 0) return {};
    fw::UniqueGlobal block(::GlobalAlloc(GMEM_MOVEABLE, size));
    if (!block) return {};
    void* dst = ::GlobalLock(block.get());
    if (!dst) return {};
    std::memcpy(dst, data, size);
    ::GlobalUnlock(block.get());
    fw::ComPtr<IStream> stream;
    if (FAILED(::CreateStreamOnHGlobal(block.get(), TRUE, stream.put()))) return {};
    fw::Ignore(block.release()); // the stream frees it now
    return stream;
}

} // namespace

Gdiplus::Image* LoadResourceImage(UINT id, LPCWSTR type, HMODULE module) {
    if (!module) module = AfxGetResourceHandle();
    if (type == RT_BITMAP) {
        fw::UniqueBitmap hbm(::LoadBitmapW(module, MAKEINTRESOURCEW(id)));
        // The bitmap object copies the pixels; the GDI bitmap goes with hbm.
        return new Gdiplus::Bitmap(hbm.get(), nullptr);
    }
    fw::ComPtr<IStream> stream = ResourceStream(module, id, type);
    return new Gdiplus::Image(stream.get(), FALSE);
}
