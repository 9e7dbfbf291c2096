#include "framework/ResourceImage.h"

#include "framework/CWinApp.h"
#include "framework/ComPtr.h"
#include "framework/Handles.h"
#include "framework/ResourceBytes.h"

#include <new>
#include <utility>

namespace {

bool IsBitmapType(LPCWSTR type) noexcept {
    return IS_INTRESOURCE(type) &&
           LOWORD(reinterpret_cast<ULONG_PTR>(type)) == LOWORD(reinterpret_cast<ULONG_PTR>(RT_BITMAP));
}

// GDI+ objects come from GdipAlloc (their class operator delete calls GdipFree). Its class
// operator new may return null without being declared non-throwing, so a plain new-expression
// would construct into null when GDI+ is out of memory: allocate and construct separately.
template <class T, class... Args>
T* NewGdiplusObject(Args&&... args) noexcept {
    void* mem = Gdiplus::DllExports::GdipAlloc(sizeof(T));
    if (!mem) return nullptr;
    return ::new (mem) T(std::forward<Args>(args)...);
}

Gdiplus::Image* LoadBitmapImage(UINT id, HMODULE module) noexcept {
    // A missing bitmap gives a null handle, which GDI+ answers with an error status.
    fw::UniqueBitmap hbm(::LoadBitmapW(module, MAKEINTRESOURCEW(LOWORD(id))));
    // GDI+ copies the pixels, so the handle can go as soon as the bitmap exists.
    return NewGdiplusObject<Gdiplus::Bitmap>(hbm.get(), static_cast<HPALETTE>(nullptr));
}

Gdiplus::Image* LoadStreamImage(UINT id, LPCWSTR type, HMODULE module) noexcept {
    if (!module) module = AfxGetResourceHandle();
    const ResourceBytes res = FindResourceBytes(module, MAKEINTRESOURCEW(LOWORD(id)), type);
    // GDI+ may read the stream long after this call (decoding on first use), so it reads a copy
    // the stream owns; GDI+ keeps a reference to the stream for the life of the image. A missing
    // resource gives an empty stream, which GDI+ answers with an error status.
    const fw::ComPtr<IStream> stream = StreamOnCopy(res.data, res.size);
    // Without a stream GDI+ stores InvalidParameter in the image.
    return NewGdiplusObject<Gdiplus::Image>(stream.get(), FALSE);
}

} // namespace

Gdiplus::Image* LoadResourceImage(UINT id, LPCWSTR type, HMODULE module) {
    if (IsBitmapType(type)) return LoadBitmapImage(id, module);
    return LoadStreamImage(id, type, module);
}
