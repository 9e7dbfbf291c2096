#pragma once
// A decoded image held as 32-bit premultiplied BGRA pixels (the layout of a 32 bpp DIB and of
// GDI+'s PixelFormat32bppPARGB), ready to be blended into a device context's DIB.
#include <windows.h>

#include <cstdint>
#include <vector>

namespace Gdiplus {
class Bitmap;
class Image;
} // namespace Gdiplus

// Draws source into target at scale times its own size, from target's origin, replacing what
// target held there: GDI+'s high-quality bicubic filter with the source's edge clamped (not faded
// into a transparent surround). For art drawn at 2x shown smaller. False when GDI+ fails.
bool DrawScaledHighQuality(Gdiplus::Bitmap& target, Gdiplus::Image& source, double scale) noexcept;

class PremultipliedImage {
public:
    PremultipliedImage() noexcept = default;

    // Decodes an image resource (PNG, or anything GDI+ reads) with GDI+. Empty when the
    // resource is missing, cannot be decoded, or GDI+ is not running.
    static PremultipliedImage FromResource(HMODULE hModule, LPCWSTR name, LPCWSTR type);
    // The same, drawn at scale times its own size (rounded up to whole pixels) with GDI+'s
    // high-quality bicubic filter. Meant for scaling down (art drawn at 2x on a screen at 1.5x);
    // a scale of 1 keeps the decoded pixels exactly.
    static PremultipliedImage FromResource(HMODULE hModule, LPCWSTR name, LPCWSTR type, double scale);

    bool IsEmpty() const noexcept { return m_pixels.empty(); }
    int Width() const noexcept { return m_cx; }
    int Height() const noexcept { return m_cy; }
    // 0xAARRGGBB, colour channels already multiplied by alpha.
    uint32_t At(int x, int y) const noexcept { return m_pixels[static_cast<size_t>(y) * m_cx + x]; }

    // Source-over blend at (x, y) into a top-down 32 bpp buffer of cx x cy pixels, clipped to
    // the buffer and to clip.
    void BlendInto(uint32_t* dst, int cx, int cy, int x, int y, const RECT& clip) const noexcept;
    // The same placement with hard edges: pixels at least half opaque are drawn opaque, the rest
    // leave the background alone. Over a colour-keyed background a partial blend would leave a
    // fringe of near-key colour that the key no longer removes.
    void CutoutInto(uint32_t* dst, int cx, int cy, int x, int y, const RECT& clip) const noexcept;

private:
    // Calls op(source pixel, destination pixel) over the clipped placement.
    template <class Op>
    void ForEachPixel(uint32_t* dst, int cx, int cy, int x, int y, const RECT& clip, Op op) const noexcept;

    int m_cx = 0;
    int m_cy = 0;
    std::vector<uint32_t> m_pixels;
};
