#include "ImageTestSupport.h"

#include "framework/ComPtr.h"

#include <shlwapi.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace test {

uint32_t Premultiply(uint32_t argb) {
    const uint32_t a = Alpha(argb);
    auto mul = [a](uint32_t c) { return (c * a + 127) / 255; };
    return (a << 24) | (mul(Red(argb)) << 16) | (mul(Green(argb)) << 8) | mul(Blue(argb));
}

int ChannelDistance(uint32_t a, uint32_t b) {
    int d = 0;
    for (int shift = 0; shift < 32; shift += 8) {
        d = std::max(d, std::abs(static_cast<int>((a >> shift) & 0xFF) - static_cast<int>((b >> shift) & 0xFF)));
    }
    return d;
}

bool ReadArgb(Gdiplus::Image& image, ArgbImage& out) {
    out = ArgbImage{};
    const UINT w = image.GetWidth();
    const UINT h = image.GetHeight();
    if (image.GetLastStatus() != Gdiplus::Ok || w == 0 || h == 0) return false;
    // Draw into an ARGB bitmap of our own: works for every kind of source image.
    std::vector<uint32_t> px(static_cast<size_t>(w) * h);
    Gdiplus::Bitmap target(static_cast<INT>(w), static_cast<INT>(h), static_cast<INT>(w * 4),
                           PixelFormat32bppARGB, reinterpret_cast<BYTE*>(px.data()));
    {
        Gdiplus::Graphics g(&target);
        g.SetCompositingMode(Gdiplus::CompositingModeSourceCopy);
        g.SetInterpolationMode(Gdiplus::InterpolationModeNearestNeighbor);
        g.SetPixelOffsetMode(Gdiplus::PixelOffsetModeHalf);
        if (g.DrawImage(&image, Gdiplus::Rect(0, 0, static_cast<INT>(w), static_cast<INT>(h)), 0, 0,
                        static_cast<INT>(w), static_cast<INT>(h), Gdiplus::UnitPixel) != Gdiplus::Ok) {
            return false;
        }
    }
    out.width = w;
    out.height = h;
    out.pixels = std::move(px);
    return true;
}

bool DecodeArgb(const void* bytes, size_t size, ArgbImage& out) {
    fw::ComPtr<IStream> stream =
        fw::ComPtr<IStream>::Attach(::SHCreateMemStream(static_cast<const BYTE*>(bytes), static_cast<UINT>(size)));
    if (!stream) return false;
    Gdiplus::Bitmap bitmap(stream.get(), FALSE);
    return ReadArgb(bitmap, out);
}

PargbCanvas::PargbCanvas(int width, int height) : m_width(width), m_height(height) {
    BITMAPINFO bmi{};
    bmi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    bmi.bmiHeader.biWidth = width;
    bmi.bmiHeader.biHeight = -height; // top-down
    bmi.bmiHeader.biPlanes = 1;
    bmi.bmiHeader.biBitCount = 32;
    bmi.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    m_dib.reset(::CreateDIBSection(nullptr, &bmi, DIB_RGB_COLORS, &bits, nullptr, 0));
    if (m_dib) {
        m_bits = static_cast<uint32_t*>(bits);
        // A colour that no decoded pixel of our art has, so an undrawn canvas shows.
        std::fill(m_bits, m_bits + static_cast<size_t>(width) * height, 0x80FF00FFu);
    }
}

Gdiplus::Status PargbCanvas::Draw(Gdiplus::Image& image) {
    if (!m_bits) return Gdiplus::OutOfMemory;
    Gdiplus::Bitmap target(m_width, m_height, m_width * 4, PixelFormat32bppPARGB, reinterpret_cast<BYTE*>(m_bits));
    Gdiplus::Graphics g(&target);
    g.SetCompositingMode(Gdiplus::CompositingModeSourceCopy);
    g.SetInterpolationMode(Gdiplus::InterpolationModeNearestNeighbor);
    g.SetPixelOffsetMode(Gdiplus::PixelOffsetModeHalf);
    return g.DrawImage(&image, Gdiplus::Rect(0, 0, m_width, m_height), 0, 0, m_width, m_height, Gdiplus::UnitPixel);
}

} // namespace test
