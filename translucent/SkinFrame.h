#pragma once
// The skin of layered background windows, held as the frame they present: a bottom-up 32-bit
// DIB section of premultiplied BGRA pixels (what UpdateLayeredWindow reads with AC_SRC_ALPHA).
// A skin is decoded once per process and shared by every window that shows it.
#include "framework/Handles.h"

#include <windows.h>

#include <memory>
#include <string>

namespace Gdiplus {
class Graphics;
class Image;
}

// Header of a frame: 32 bits, BI_RGB, bottom-up (positive height), no colour table,
// biSizeImage = stride * height. False when the size does not fit a DIB.
bool MakeFrameHeader(UINT width, UINT height, BITMAPINFOHEADER& header) noexcept;

class SkinFrame {
public:
    // The frame of image resource id of type in module, with LoadResourceImage's meaning of the
    // three. The first request loads the resource through LoadResourceImage and converts it; the
    // frame then stays for the process (one per resource), and every request for the same
    // resource shares it. A resource that fails to load or convert gives an empty frame that is
    // not kept: the next request tries again. Null when there was no memory for the request;
    // nothing is thrown, since a window taking its skin may be the run's only window.
    static std::shared_ptr<const SkinFrame> Acquire(UINT id, LPCWSTR type, HMODULE module) noexcept;
    // The same for the image drawn at scale times its own size, rounded up to whole pixels, with
    // GDI+'s high-quality bicubic filter (art drawn at 2x, for a screen at 1.5x: 0.75). Meant for
    // scaling down; a scale of 1 keeps the image's pixels.
    static std::shared_ptr<const SkinFrame> Acquire(UINT id, LPCWSTR type, HMODULE module, double scale) noexcept;
    // The size of a PNG image resource, read from its header without decoding it; false when the
    // resource is missing or is not a PNG.
    static bool ImageSize(UINT id, LPCWSTR type, HMODULE module, SIZE& size) noexcept;

    // Faults a test can have the next request meet, once, whether or not its frame is already
    // kept: the conversion's drawing pass reports an error (the raster path is skipped so that the
    // drawing runs), or the request runs out of memory. A request that meets a fault neither uses
    // nor replaces a kept frame. The fault is armed while its FaultInjection lives, so that a
    // fault no request met cannot reach whatever runs next.
    enum class Fault { None, DrawingFails, OutOfMemory };
    class FaultInjection {
    public:
        explicit FaultInjection(Fault fault) noexcept;
        ~FaultInjection();
        FaultInjection(const FaultInjection&) = delete;
        FaultInjection& operator=(const FaultInjection&) = delete;
    };

    SkinFrame(const SkinFrame&) = delete;
    SkinFrame& operator=(const SkinFrame&) = delete;
    ~SkinFrame();

    // The image's size; 0 x 0 when it failed to load or convert.
    UINT Width() const noexcept;
    UINT Height() const noexcept;
    // The frame, to be selected into a memory DC and presented; read-only. Null when the image
    // failed to load or there was no memory for it.
    HBITMAP Bitmap() const noexcept;
    // Its pixels, biSizeImage bytes as MakeFrameHeader gives them; null with Bitmap().
    const void* Bits() const noexcept;
    // Draws the skin into (x, y, cx, cy) on graphics, scaled as GDI+ scales images.
    void DrawScaled(Gdiplus::Graphics& graphics, int x, int y, int cx, int cy) const;

private:
    struct Key {
        HMODULE module = nullptr;
        WORD id = 0;
        ULONG_PTR intType = 0; // an integer resource type, or 0 for a named one
        std::wstring namedType;
        double scale = 1.0; // of the image's own size
        bool operator==(const Key& o) const noexcept {
            return module == o.module && id == o.id && intType == o.intType && namedType == o.namedType &&
                   scale == o.scale;
        }
    };
    static std::shared_ptr<const SkinFrame> Acquire(Key key) noexcept;
    explicit SkinFrame(Key key) noexcept : m_key(std::move(key)) {}
    static Key MakeKey(UINT id, LPCWSTR type, HMODULE module);
    // Loads and converts; leaves no bitmap and a 0 x 0 size when that fails.
    void Prepare(bool drawingFails) noexcept;
    // Prepare's path for a scaled frame: the image drawn into the frame's pixels.
    bool DrawInto(Gdiplus::Image& image, UINT cx, UINT cy, void* bits, bool drawingFails) const noexcept;

    const Key m_key;
    UINT m_cx = 0;
    UINT m_cy = 0;
    fw::UniqueBitmap m_dib;
    void* m_bits = nullptr;
};
