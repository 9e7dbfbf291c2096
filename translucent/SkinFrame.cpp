#include "translucent/SkinFrame.h"

#include "framework/ResourceImage.h"
#include "framework/PremultipliedImage.h"
#include "framework/ResourceBytes.h"
#include "framework/CWinApp.h"

#include "framework/GdiPlus.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <cwctype>
#include <new>
#include <vector>

namespace {

SkinFrame::Fault g_injectedFault = SkinFrame::Fault::None;

SkinFrame::Fault TakeInjectedFault() noexcept {
    const SkinFrame::Fault fault = g_injectedFault;
    g_injectedFault = SkinFrame::Fault::None;
    return fault;
}

bool IsBitmapType(LPCWSTR type) noexcept {
    return IS_INTRESOURCE(type) &&
           LOWORD(reinterpret_cast<ULONG_PTR>(type)) == LOWORD(reinterpret_cast<ULONG_PTR>(RT_BITMAP));
}

} // namespace

bool MakeFrameHeader(UINT width, UINT height, BITMAPINFOHEADER& header) noexcept {
    header = BITMAPINFOHEADER{};
    const unsigned long long stride = ((static_cast<unsigned long long>(width) * 32 + 31) >> 3) & ~3ULL;
    const unsigned long long bytes = stride * height;
    if (width > INT_MAX || height > INT_MAX || bytes > UINT_MAX) return false;
    header.biSize = sizeof(BITMAPINFOHEADER);
    header.biWidth = static_cast<LONG>(width);
    header.biHeight = static_cast<LONG>(height);
    header.biPlanes = 1;
    header.biBitCount = 32;
    header.biCompression = BI_RGB;
    header.biSizeImage = static_cast<DWORD>(bytes);
    return true;
}

SkinFrame::Key SkinFrame::MakeKey(UINT id, LPCWSTR type, HMODULE module) {
    Key key;
    key.id = LOWORD(id);
    if (IS_INTRESOURCE(type)) {
        key.intType = LOWORD(reinterpret_cast<ULONG_PTR>(type));
    } else if (type) {
        // Resource type names are matched without regard to case.
        for (const wchar_t* p = type; *p; ++p) key.namedType.push_back(static_cast<wchar_t>(std::towupper(*p)));
    }
    // As LoadResourceImage resolves it: a null module is this application's resource module,
    // except for bitmaps, where it selects the platform's predefined ones.
    key.module = module || IsBitmapType(type) ? module : AfxGetResourceHandle();
    return key;
}

SkinFrame::FaultInjection::FaultInjection(Fault fault) noexcept {
    g_injectedFault = fault;
}

SkinFrame::FaultInjection::~FaultInjection() {
    g_injectedFault = Fault::None;
}

std::shared_ptr<const SkinFrame> SkinFrame::Acquire(UINT id, LPCWSTR type, HMODULE module) noexcept {
    try {
        return Acquire(MakeKey(id, type, module));
    } catch (...) {
        // No memory for the key: the window goes without its skin.
        return nullptr;
    }
}

std::shared_ptr<const SkinFrame> SkinFrame::Acquire(UINT id, LPCWSTR type, HMODULE module, double scale) noexcept {
    try {
        Key key = MakeKey(id, type, module);
        key.scale = scale;
        return Acquire(std::move(key));
    } catch (...) {
        return nullptr;
    }
}

bool SkinFrame::ImageSize(UINT id, LPCWSTR type, HMODULE module, SIZE& size) noexcept {
    try {
        const Key key = MakeKey(id, type, module);
        if (key.intType) return false;
        const ResourceBytes res = FindResourceBytes(key.module, MAKEINTRESOURCEW(key.id), key.namedType.c_str());
        // Signature, then the IHDR chunk: length, "IHDR", width and height, big-endian.
        static const BYTE kSignature[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
        if (!res.data || res.size < 24 || std::memcmp(res.data, kSignature, 8) != 0 ||
            std::memcmp(res.data + 12, "IHDR", 4) != 0) {
            return false;
        }
        auto big = [&](size_t at) {
            return (static_cast<ULONG>(res.data[at]) << 24) | (static_cast<ULONG>(res.data[at + 1]) << 16) |
                   (static_cast<ULONG>(res.data[at + 2]) << 8) | res.data[at + 3];
        };
        const ULONG w = big(16), h = big(20);
        if (w == 0 || h == 0 || w > 0x7FFFFFFF || h > 0x7FFFFFFF) return false;
        size = SIZE{static_cast<LONG>(w), static_cast<LONG>(h)};
        return true;
    } catch (...) {
        return false;
    }
}

std::shared_ptr<const SkinFrame> SkinFrame::Acquire(Key key) noexcept {
    // Skins are asked for on the user-interface thread only.
    static std::vector<std::shared_ptr<const SkinFrame>> s_kept;
    try {
        const Fault fault = TakeInjectedFault();
        if (fault == Fault::OutOfMemory) throw std::bad_alloc();
        if (fault == Fault::None) {
            for (const auto& kept : s_kept) {
                if (kept->m_key == key) return kept;
            }
        }
        std::shared_ptr<SkinFrame> frame(new SkinFrame(std::move(key)));
        frame->Prepare(fault == Fault::DrawingFails);
        // Only a frame that was really made is kept: the next request for a failed one tries again.
        if (frame->m_dib && fault == Fault::None) s_kept.push_back(frame);
        return frame;
    } catch (...) {
        // No memory for the key, the frame or the list: the window goes without its skin.
        return nullptr;
    }
}

SkinFrame::~SkinFrame() = default;

UINT SkinFrame::Width() const noexcept {
    return m_cx;
}

UINT SkinFrame::Height() const noexcept {
    return m_cy;
}

HBITMAP SkinFrame::Bitmap() const noexcept {
    return m_dib.get();
}

const void* SkinFrame::Bits() const noexcept {
    return m_bits;
}

void SkinFrame::DrawScaled(Gdiplus::Graphics& graphics, int x, int y, int cx, int cy) const {
    if (!m_bits) return;
    // A view of the frame's own pixels, bottom row last as GDI+ counts rows.
    const INT stride = static_cast<INT>(m_cx) * 4;
    BYTE* lastRow = static_cast<BYTE*>(m_bits) + static_cast<ptrdiff_t>(stride) * (m_cy - 1);
    Gdiplus::Bitmap view(static_cast<INT>(m_cx), static_cast<INT>(m_cy), -stride, PixelFormat32bppPARGB, lastRow);
    graphics.DrawImage(&view, x, y, cx, cy);
}

bool SkinFrame::DrawInto(Gdiplus::Image& image, UINT cx, UINT cy, void* bits, bool drawingFails) const noexcept {
    try {
        // A view of the frame's pixels, bottom row last as GDI+ counts rows, starting transparent.
        const INT stride = static_cast<INT>(cx) * 4;
        std::memset(bits, 0, static_cast<size_t>(stride) * cy);
        BYTE* lastRow = static_cast<BYTE*>(bits) + static_cast<ptrdiff_t>(stride) * (cy - 1);
        Gdiplus::Bitmap view(static_cast<INT>(cx), static_cast<INT>(cy), -stride, PixelFormat32bppPARGB, lastRow);
        return DrawScaledHighQuality(view, image, m_key.scale) && !drawingFails;
    } catch (...) {
        return false;
    }
}

void SkinFrame::Prepare(bool drawingFails) noexcept {
    try {
        const LPCWSTR type = m_key.intType ? MAKEINTRESOURCEW(m_key.intType) : m_key.namedType.c_str();
        const std::unique_ptr<Gdiplus::Image> image(LoadResourceImage(m_key.id, type, m_key.module));
        if (!image) return;
        // 0 when the image failed to load: the window is then sized to nothing.
        const UINT imageWidth = image->GetWidth();
        const UINT imageHeight = image->GetHeight();
        const bool scaled = m_key.scale != 1.0;
        if (scaled && !(m_key.scale > 0.0 && m_key.scale <= 4.0)) return;
        const UINT cx = scaled ? static_cast<UINT>(std::ceil(imageWidth * m_key.scale - 1e-9)) : imageWidth;
        const UINT cy = scaled ? static_cast<UINT>(std::ceil(imageHeight * m_key.scale - 1e-9)) : imageHeight;
        BITMAPINFO bmi{};
        if (cx == 0 || cy == 0 || !MakeFrameHeader(cx, cy, bmi.bmiHeader)) return;
        void* bits = nullptr;
        fw::UniqueBitmap dib(::CreateDIBSection(nullptr, &bmi, DIB_RGB_COLORS, &bits, nullptr, 0));
        if (!dib || !bits) return;

        // A raster image converts straight into the frame, bottom-up, in one pass: the same
        // premultiplied pixels as drawing it over transparent black, without the drawing.
        bool converted = false;
        if (scaled) {
            if (!DrawInto(*image, cx, cy, bits, drawingFails)) return;
            converted = true;
        } else if (image->GetType() == Gdiplus::ImageTypeBitmap && !drawingFails) {
            const INT stride = static_cast<INT>(cx) * 4;
            Gdiplus::BitmapData data{};
            data.Width = cx;
            data.Height = cy;
            data.Stride = -stride;
            data.PixelFormat = PixelFormat32bppPARGB;
            data.Scan0 = static_cast<BYTE*>(bits) + static_cast<ptrdiff_t>(stride) * (cy - 1);
            Gdiplus::Rect rect(0, 0, static_cast<INT>(cx), static_cast<INT>(cy));
            // An image decoded from raster data is a GDI+ bitmap; the Bitmap wrapper adds no state.
            auto* bitmap = static_cast<Gdiplus::Bitmap*>(image.get());
            if (bitmap->LockBits(&rect, Gdiplus::ImageLockModeRead | Gdiplus::ImageLockModeUserInputBuf,
                                 PixelFormat32bppPARGB, &data) == Gdiplus::Ok) {
                converted = bitmap->UnlockBits(&data) == Gdiplus::Ok;
            }
        }
        if (!converted) {
            // Anything else (a metafile) is drawn over transparent black.
            std::memset(bits, 0, bmi.bmiHeader.biSizeImage);
            fw::UniqueDc dc(::CreateCompatibleDC(nullptr));
            fw::SelectObjectGuard select(dc.get(), dib.get());
            Gdiplus::Graphics graphics(dc.get());
            graphics.SetSmoothingMode(Gdiplus::SmoothingModeNone);
            Gdiplus::Status status = graphics.DrawImage(image.get(), 0, 0, static_cast<INT>(cx), static_cast<INT>(cy));
            graphics.Flush(Gdiplus::FlushIntentionSync);
            if (status == Gdiplus::Ok) status = graphics.GetLastStatus();
            if (drawingFails) status = Gdiplus::GenericError;
            // A drawing that failed left a blank or partial frame: no skin rather than that one.
            if (status != Gdiplus::Ok) return;
        }
        m_dib = std::move(dib);
        m_bits = bits;
        m_cx = cx;
        m_cy = cy;
    } catch (...) {
        // Out of memory: no frame, as when the image fails to load.
    }
}
