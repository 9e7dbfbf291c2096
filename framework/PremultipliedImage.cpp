#include "framework/PremultipliedImage.h"

#include "framework/ComPtr.h"
#include "framework/GdiPlus.h"
#include "framework/ResourceBytes.h"

#include <algorithm>
#include <cmath>
#include <cstring>

bool DrawScaledHighQuality(Gdiplus::Bitmap& target, Gdiplus::Image& source, double scale) noexcept {
    try {
        Gdiplus::Graphics graphics(&target);
        graphics.SetInterpolationMode(Gdiplus::InterpolationModeHighQualityBicubic);
        graphics.SetPixelOffsetMode(Gdiplus::PixelOffsetModeHalf);
        graphics.SetCompositingMode(Gdiplus::CompositingModeSourceCopy);
        Gdiplus::ImageAttributes clamp;
        clamp.SetWrapMode(Gdiplus::WrapModeTileFlipXY);
        const auto w = static_cast<Gdiplus::REAL>(source.GetWidth());
        const auto h = static_cast<Gdiplus::REAL>(source.GetHeight());
        const Gdiplus::RectF dest(0.0f, 0.0f, static_cast<Gdiplus::REAL>(w * scale),
                                  static_cast<Gdiplus::REAL>(h * scale));
        Gdiplus::Status status = graphics.DrawImage(&source, dest, 0.0f, 0.0f, w, h, Gdiplus::UnitPixel, &clamp);
        graphics.Flush(Gdiplus::FlushIntentionSync);
        if (status == Gdiplus::Ok) status = graphics.GetLastStatus();
        return status == Gdiplus::Ok;
    } catch (...) {
        return false;
    }
}

PremultipliedImage PremultipliedImage::FromResource(HMODULE hModule, LPCWSTR name, LPCWSTR type) {
    PremultipliedImage out;
    const ResourceBytes res = FindResourceBytes(hModule, name, type);
    if (!res.data || res.size == 0) return out;

    // GDI+ may read from the stream for as long as the decoder lives, so it reads a copy that
    // the stream owns rather than the module's mapped bytes.
    const fw::ComPtr<IStream> stream = StreamOnCopy(res.data, res.size);
    if (!stream) return out;

    Gdiplus::Bitmap bitmap(stream.get(), FALSE);
    if (bitmap.GetLastStatus() != Gdiplus::Ok) return out;
    const UINT cx = bitmap.GetWidth();
    const UINT cy = bitmap.GetHeight();
    if (cx == 0 || cy == 0 || cx > 16384 || cy > 16384) return out;
    Gdiplus::Rect rect(0, 0, static_cast<INT>(cx), static_cast<INT>(cy));
    Gdiplus::BitmapData data{};
    if (bitmap.LockBits(&rect, Gdiplus::ImageLockModeRead, PixelFormat32bppPARGB, &data) != Gdiplus::Ok) {
        return out;
    }
    std::vector<uint32_t> pixels(static_cast<size_t>(cx) * cy);
    for (UINT y = 0; y < cy; ++y) {
        const BYTE* row = static_cast<const BYTE*>(data.Scan0) + static_cast<ptrdiff_t>(y) * data.Stride;
        std::memcpy(&pixels[static_cast<size_t>(y) * cx], row, static_cast<size_t>(cx) * 4);
    }
    bitmap.UnlockBits(&data);
    out.m_cx = static_cast<int>(cx);
    out.m_cy = static_cast<int>(cy);
    out.m_pixels = std::move(pixels);
    return out;
}

PremultipliedImage PremultipliedImage::FromResource(HMODULE hModule, LPCWSTR name, LPCWSTR type, double scale) {
    PremultipliedImage full = FromResource(hModule, name, type);
    if (full.IsEmpty() || scale == 1.0 || !(scale > 0.0) || scale > 16.0) return full;
    const int cx = static_cast<int>(std::ceil(full.m_cx * scale - 1e-9));
    const int cy = static_cast<int>(std::ceil(full.m_cy * scale - 1e-9));
    PremultipliedImage out;
    if (cx <= 0 || cy <= 0) return out;
    // GDI+ reads and writes premultiplied pixels in place: the decoded ones as the source, a
    // zeroed (transparent) buffer of the new size as the target.
    Gdiplus::Bitmap source(full.m_cx, full.m_cy, full.m_cx * 4, PixelFormat32bppPARGB,
                           reinterpret_cast<BYTE*>(full.m_pixels.data()));
    std::vector<uint32_t> pixels(static_cast<size_t>(cx) * cy);
    {
        Gdiplus::Bitmap target(cx, cy, cx * 4, PixelFormat32bppPARGB, reinterpret_cast<BYTE*>(pixels.data()));
        if (!DrawScaledHighQuality(target, source, scale)) return out;
    }
    out.m_cx = cx;
    out.m_cy = cy;
    out.m_pixels = std::move(pixels);
    return out;
}

template <class Op>
void PremultipliedImage::ForEachPixel(uint32_t* dst, int cx, int cy, int x, int y, const RECT& clip, Op op) const noexcept {
    if (!dst || IsEmpty()) return;
    const int x0 = std::max({x, 0, static_cast<int>(clip.left)});
    const int y0 = std::max({y, 0, static_cast<int>(clip.top)});
    const int x1 = std::min({x + m_cx, cx, static_cast<int>(clip.right)});
    const int y1 = std::min({y + m_cy, cy, static_cast<int>(clip.bottom)});
    for (int dy = y0; dy < y1; ++dy) {
        const uint32_t* src = &m_pixels[static_cast<size_t>(dy - y) * m_cx + (x0 - x)];
        uint32_t* out = dst + static_cast<size_t>(dy) * cx + x0;
        for (int dx = x0; dx < x1; ++dx, ++src, ++out) op(*src, *out);
    }
}

void PremultipliedImage::BlendInto(uint32_t* dst, int cx, int cy, int x, int y, const RECT& clip) const noexcept {
    ForEachPixel(dst, cx, cy, x, y, clip, [](uint32_t s, uint32_t& out) {
        const uint32_t a = s >> 24;
        if (a == 0) return;
        if (a == 255) {
            out = s;
            return;
        }
        const uint32_t inv = 255 - a;
        uint32_t r = 0xFF000000u;
        for (int shift = 0; shift < 24; shift += 8) {
            const uint32_t sc = (s >> shift) & 0xFF;
            const uint32_t dc = (out >> shift) & 0xFF;
            r |= std::min<uint32_t>(sc + (dc * inv + 127) / 255, 255) << shift;
        }
        out = r;
    });
}

void PremultipliedImage::CutoutInto(uint32_t* dst, int cx, int cy, int x, int y, const RECT& clip) const noexcept {
    ForEachPixel(dst, cx, cy, x, y, clip, [](uint32_t s, uint32_t& out) {
        const uint32_t a = s >> 24;
        if (a < 128) return;
        uint32_t r = 0xFF000000u;
        for (int shift = 0; shift < 24; shift += 8) {
            const uint32_t pc = (s >> shift) & 0xFF;
            r |= std::min<uint32_t>((pc * 255 + a / 2) / a, 255) << shift;
        }
        out = r;
    });
}
