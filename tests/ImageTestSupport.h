#pragma once
// Pixel helpers for tests of images: decoding bytes on the side, and a premultiplied canvas.
#include "framework/Handles.h"

#include <windows.h>

#include "framework/GdiPlus.h"

#include <cstdint>
#include <vector>

namespace test {

// Straight (not premultiplied) 0xAARRGGBB pixels, row by row.
struct ArgbImage {
    UINT width = 0;
    UINT height = 0;
    std::vector<uint32_t> pixels;
    uint32_t at(UINT x, UINT y) const { return pixels[static_cast<size_t>(y) * width + x]; }
};

inline BYTE Alpha(uint32_t c) { return static_cast<BYTE>(c >> 24); }
inline BYTE Red(uint32_t c) { return static_cast<BYTE>(c >> 16); }
inline BYTE Green(uint32_t c) { return static_cast<BYTE>(c >> 8); }
inline BYTE Blue(uint32_t c) { return static_cast<BYTE>(c); }
uint32_t Premultiply(uint32_t argb);
// Largest difference of the four channels.
int ChannelDistance(uint32_t a, uint32_t b);

// Reads a GDI+ image's pixels as straight ARGB; false when GDI+ cannot.
bool ReadArgb(Gdiplus::Image& image, ArgbImage& out);
// Decodes encoded image bytes through GDI+ from a private memory stream (not through the
// product's loader).
bool DecodeArgb(const void* bytes, size_t size, ArgbImage& out);

// A 32-bit top-down DIB section that GDI+ draws into with premultiplied alpha, as a layered
// window's frame is composed.
class PargbCanvas {
public:
    PargbCanvas(int width, int height);
    // Draws image at (0, 0), one image pixel per canvas pixel, replacing what is there.
    Gdiplus::Status Draw(Gdiplus::Image& image);
    uint32_t at(int x, int y) const { return m_bits[static_cast<size_t>(y) * m_width + x]; }
    bool valid() const { return m_bits != nullptr; }

private:
    int m_width;
    int m_height;
    uint32_t* m_bits = nullptr;
    fw::UniqueBitmap m_dib;
};

} // namespace test
