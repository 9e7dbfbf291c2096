// Time of one UpdateView of the launcher skin (compose + present), against plain GDI work on a
// frame of the same size measured in the same run.
#include "framework/Handles.h"
#include "resource.h"
#include "translucent/CTranslucentDialog.h"

#include <windows.h>
#include <gdiplus.h>

#include <cstdio>
#include <cstring>
#include <functional>

namespace {

constexpr int kRuns = 50;

class BenchBackground : public CTranslucentDialog {
public:
    BenchBackground() : CTranslucentDialog(IDD_VXTRANSLUCENT_DIALOG, IDB_SKIN, L"PNG", nullptr, nullptr) {}
    CStandardDialog* CreateStandardDialog() override { return nullptr; }
    void OnInitChildrenWnds() override {}
    UINT Width() const { return SkinWidth(); }
    UINT Height() const { return SkinHeight(); }
};

double Milliseconds(const std::function<void()>& fn, int runs) {
    LARGE_INTEGER freq, start, end;
    ::QueryPerformanceFrequency(&freq);
    ::QueryPerformanceCounter(&start);
    for (int i = 0; i < runs; ++i) fn();
    ::GdiFlush();
    ::QueryPerformanceCounter(&end);
    return static_cast<double>(end.QuadPart - start.QuadPart) * 1000.0 / static_cast<double>(freq.QuadPart) / runs;
}

HBITMAP MakeFrameDib(int w, int h, void** bits) {
    BITMAPINFO bmi{};
    fw::Ignore(MakeFrameHeader(static_cast<UINT>(w), static_cast<UINT>(h), bmi.bmiHeader));
    return ::CreateDIBSection(nullptr, &bmi, DIB_RGB_COLORS, bits, nullptr, 0);
}

// A frame-sized 32-bit DIB section selected into its own memory DC.
struct Dib {
    void* bits = nullptr;
    fw::UniqueDc dc;
    fw::UniqueBitmap bitmap;
    fw::SelectObjectGuard select;
    Dib(HDC ref, int w, int h)
        : dc(::CreateCompatibleDC(ref)), bitmap(MakeFrameDib(w, h, &bits)), select(dc.get(), bitmap.get()) {}
};

} // namespace

int main() {
    Gdiplus::GdiplusStartupInput input;
    ULONG_PTR token = 0;
    if (Gdiplus::GdiplusStartup(&token, &input, nullptr) != Gdiplus::Ok) return 1;
    int rc = 0;
    {
        BenchBackground bg;
        if (!bg.Create(IDD_VXTRANSLUCENT_DIALOG)) {
            std::printf("could not create the background window\n");
            rc = 1;
        } else {
            const int w = static_cast<int>(bg.Width()), h = static_cast<int>(bg.Height());
            for (int i = 0; i < 3; ++i) bg.UpdateView();
            const double updateView = Milliseconds([&] { bg.UpdateView(); }, kRuns);

            fw::WindowDc screen(nullptr);
            Dib src(screen.get(), w, h), dst(screen.get(), w, h);
            // The source stands for a composed frame: any content, fully initialised.
            if (src.bits) std::memset(src.bits, 0x80, static_cast<size_t>(w) * h * 4);
            const double bitBlt = Milliseconds(
                [&] { ::BitBlt(dst.dc.get(), 0, 0, w, h, src.dc.get(), 0, 0, SRCCOPY); }, kRuns);

            // Present only: the same frame handed to UpdateLayeredWindow without composing it again.
            fw::WindowDc windowDc(bg.m_hWnd);
            BLENDFUNCTION blend{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
            const double present = Milliseconds(
                [&] {
                    RECT r;
                    bg.GetWindowRect(&r);
                    POINT dstPt{r.left, r.top}, srcPt{0, 0};
                    SIZE size{w, h};
                    ::UpdateLayeredWindow(bg.m_hWnd, windowDc.get(), &dstPt, &size, src.dc.get(), &srcPt, 0, &blend,
                                          ULW_ALPHA);
                },
                kRuns);

            std::printf("UpdateView of a %d x %d skin, %d runs\n", w, h, kRuns);
            std::printf("  UpdateView (allocate, compose, present, free): %8.3f ms\n", updateView);
            std::printf("  UpdateLayeredWindow of a ready frame:          %8.3f ms\n", present);
            std::printf("  BitBlt of a frame of the same size (baseline): %8.3f ms\n", bitBlt);
            std::printf("  UpdateView / BitBlt: %.1fx   UpdateView / present only: %.1fx\n",
                        bitBlt > 0 ? updateView / bitBlt : 0.0, present > 0 ? updateView / present : 0.0);
        }
    }
    Gdiplus::GdiplusShutdown(token);
    return rc;
}
