// Floor programs for the start benchmark: the least a program can do to show the launcher's
// 1257 x 877 layered frame. Built twice:
//   ORVANE_FLOOR_DECODE 0: present a ready frame (no image work at all);
//   ORVANE_FLOOR_DECODE 1: start GDI+, decode skin 158 ("PNG") from this executable's resources
//                          through a stream over a copy of its bytes, draw it with GDI+ into the
//                          frame and present that.
// Both make the window layered, present, then show it, in the order the launcher does, and run
// until they are ended from outside.
#include <windows.h>
#include "framework/GdiPlus.h"
#include <objbase.h>

#include <cstring>

namespace {

constexpr int kWidth = 1257;
constexpr int kHeight = 877;

LRESULT CALLBACK FloorProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_DESTROY) {
        ::PostQuitMessage(0);
        return 0;
    }
    return ::DefWindowProcW(hWnd, message, wParam, lParam);
}

} // namespace

int WINAPI wWinMain(HINSTANCE hInstance, HINSTANCE, PWSTR, int) {
#if ORVANE_FLOOR_DECODE
    Gdiplus::GdiplusStartupInput input;
    ULONG_PTR token = 0;
    if (Gdiplus::GdiplusStartup(&token, &input, nullptr) != Gdiplus::Ok) return 1;
    Gdiplus::Image* image = nullptr;
    if (HRSRC res = ::FindResourceW(hInstance, MAKEINTRESOURCEW(158), L"PNG")) {
        const DWORD size = ::SizeofResource(hInstance, res);
        const void* bytes = ::LockResource(::LoadResource(hInstance, res));
        HGLOBAL block = ::GlobalAlloc(GMEM_MOVEABLE, size);
        std::memcpy(::GlobalLock(block), bytes, size);
        ::GlobalUnlock(block);
        IStream* stream = nullptr;
        ::CreateStreamOnHGlobal(block, TRUE, &stream);
        image = new Gdiplus::Image(stream, FALSE);
        stream->Release();
    }
    if (!image || image->GetWidth() != kWidth) return 2;
#endif

    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = &FloorProc;
    wc.hInstance = hInstance;
    wc.lpszClassName = L"OrvaneStartFloor";
    ::RegisterClassExW(&wc);
    RECT work{};
    ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    const int x = work.left + (work.right - work.left - kWidth) / 2;
    const int y = work.top + (work.bottom - work.top - kHeight) / 2;
    HWND hWnd = ::CreateWindowExW(WS_EX_APPWINDOW, wc.lpszClassName, L"Orvane", WS_POPUP, x, y, kWidth, kHeight,
                                  nullptr, nullptr, hInstance, nullptr);
    ::SetWindowLongW(hWnd, GWL_EXSTYLE, ::GetWindowLongW(hWnd, GWL_EXSTYLE) | WS_EX_LAYERED);

    HDC screen = ::GetDC(hWnd);
    HDC mem = ::CreateCompatibleDC(screen);
    BITMAPINFO bmi{};
    bmi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    bmi.bmiHeader.biWidth = kWidth;
    bmi.bmiHeader.biHeight = kHeight;
    bmi.bmiHeader.biPlanes = 1;
    bmi.bmiHeader.biBitCount = 32;
    bmi.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP dib = ::CreateDIBSection(nullptr, &bmi, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (!dib) return 3;
    HGDIOBJ old = ::SelectObject(mem, dib);
#if ORVANE_FLOOR_DECODE
    std::memset(bits, 0, static_cast<size_t>(kWidth) * kHeight * 4);
    {
        Gdiplus::Graphics graphics(mem);
        graphics.DrawImage(image, 0, 0, kWidth, kHeight);
        graphics.Flush(Gdiplus::FlushIntentionSync);
    }
#else
    // A ready frame: opaque dark grey, premultiplied.
    auto* px = static_cast<UINT32*>(bits);
    for (size_t i = 0; i < static_cast<size_t>(kWidth) * kHeight; ++i) px[i] = 0xFF202020u;
#endif
    POINT ptDst{x, y}, ptSrc{0, 0};
    SIZE size{kWidth, kHeight};
    BLENDFUNCTION blend{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
    ::UpdateLayeredWindow(hWnd, screen, &ptDst, &size, mem, &ptSrc, 0, &blend, ULW_ALPHA);
    ::ShowWindow(hWnd, SW_SHOW);
    ::SelectObject(mem, old);
    ::DeleteObject(dib);
    ::DeleteDC(mem);
    ::ReleaseDC(hWnd, screen);

    MSG msg;
    while (::GetMessageW(&msg, nullptr, 0, 0) > 0) {
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
#if ORVANE_FLOOR_DECODE
    delete image;
    Gdiplus::GdiplusShutdown(token);
#endif
    return 0;
}
