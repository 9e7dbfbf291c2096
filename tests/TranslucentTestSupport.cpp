#include "TranslucentTestSupport.h"

#include "framework/ComPtr.h"
#include "framework/Handles.h"

#include <cstring>

namespace test {

namespace {
constexpr wchar_t kSolidClass[] = L"OrvaneTestSolid";

LRESULT CALLBACK SolidProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_ERASEBKGND) {
        RECT rc;
        ::GetClientRect(hWnd, &rc);
        fw::UniqueBrush brush(::CreateSolidBrush(static_cast<COLORREF>(::GetWindowLongPtrW(hWnd, GWLP_USERDATA))));
        ::FillRect(reinterpret_cast<HDC>(wParam), &rc, brush.get());
        return TRUE;
    }
    return ::DefWindowProcW(hWnd, message, wParam, lParam);
}
} // namespace


void TestBackground::PresentFrame(HDC hdcWindow, HDC hdcMem, POINT ptDst, SIZE size) {
    ++presents;
    if (keepFrames) {
        Frame f;
        f.ptDst = ptDst;
        f.size = size;
        ::GdiFlush();
        HGDIOBJ bmp = ::GetCurrentObject(hdcMem, OBJ_BITMAP);
        if (::GetObjectW(bmp, sizeof f.section, &f.section) == sizeof f.section && f.section.dsBm.bmBits) {
            const size_t bytes = static_cast<size_t>(f.section.dsBm.bmWidthBytes) * f.section.dsBm.bmHeight;
            const BYTE* src = static_cast<const BYTE*>(f.section.dsBm.bmBits);
            f.bits.assign(src, src + bytes);
        }
        frames.push_back(std::move(f));
    }
    CTranslucentDialog::PresentFrame(hdcWindow, hdcMem, ptDst, size);
}

void SolidWidget::Render(Gdiplus::Graphics& graphics) {
    m_calls.push_back(m_name);
    Gdiplus::SolidBrush brush{Gdiplus::Color(m_color)};
    graphics.FillRectangle(&brush, static_cast<INT>(m_rc.left), static_cast<INT>(m_rc.top),
                           static_cast<INT>(m_rc.right - m_rc.left), static_cast<INT>(m_rc.bottom - m_rc.top));
}

DecodedImage DecodeResourceImage(UINT id, LPCWSTR type) {
    DecodedImage out;
    HMODULE module = ::GetModuleHandleW(nullptr);
    HRSRC res = ::FindResourceW(module, MAKEINTRESOURCEW(id), type);
    if (!res) return out;
    const DWORD size = ::SizeofResource(module, res);
    const void* data = ::LockResource(::LoadResource(module, res));
    fw::UniqueGlobal block(::GlobalAlloc(GMEM_MOVEABLE, size));
    std::memcpy(::GlobalLock(block.get()), data, size);
    ::GlobalUnlock(block.get());
    fw::ComPtr<IStream> stream;
    if (FAILED(::CreateStreamOnHGlobal(block.release(), TRUE, stream.put()))) return out;
    Gdiplus::Bitmap bitmap(stream.get());
    if (bitmap.GetLastStatus() != Gdiplus::Ok) return out;
    out.width = bitmap.GetWidth();
    out.height = bitmap.GetHeight();
    Gdiplus::Rect rect(0, 0, static_cast<INT>(out.width), static_cast<INT>(out.height));
    Gdiplus::BitmapData locked{};
    if (bitmap.LockBits(&rect, Gdiplus::ImageLockModeRead, PixelFormat32bppARGB, &locked) != Gdiplus::Ok) return {};
    out.argb.resize(static_cast<size_t>(out.width) * out.height);
    for (UINT y = 0; y < out.height; ++y) {
        std::memcpy(&out.argb[static_cast<size_t>(y) * out.width],
                    static_cast<const BYTE*>(locked.Scan0) + static_cast<ptrdiff_t>(y) * locked.Stride,
                    static_cast<size_t>(out.width) * 4);
    }
    bitmap.UnlockBits(&locked);
    return out;
}

DWORD GdiObjects() {
    return ::GetGuiResources(::GetCurrentProcess(), GR_GDIOBJECTS);
}

HWND CreateSolidWindow(const RECT& rc, COLORREF color, HWND parent) {
    static const ATOM atom = [] {
        WNDCLASSEXW wc{};
    wc.cbSize = sizeof(wc);
        wc.lpfnWndProc = &SolidProc;
        wc.hInstance = ::GetModuleHandleW(nullptr);
        wc.lpszClassName = kSolidClass;
        wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
        return ::RegisterClassExW(&wc);
    }();
    (void)atom;
    const DWORD style = parent ? WS_CHILD : WS_POPUP;
    HWND hWnd = ::CreateWindowExW(0, kSolidClass, L"", style, rc.left, rc.top, rc.right - rc.left,
                                  rc.bottom - rc.top, parent, nullptr, ::GetModuleHandleW(nullptr), nullptr);
    if (hWnd) {
        ::SetWindowLongPtrW(hWnd, GWLP_USERDATA, static_cast<LONG_PTR>(color));
        ::ShowWindow(hWnd, SW_SHOWNOACTIVATE);
        ::UpdateWindow(hWnd);
    }
    return hWnd;
}

} // namespace test
