// Time of one UpdateView of the launcher skin, against a bare UpdateLayeredWindow of a ready frame
// of the same size measured in the same run.
#include "bench/BenchReport.h"
#include "framework/Handles.h"
#include "resource.h"
#include "translucent/CTranslucentDialog.h"

#include <windows.h>
#include "framework/GdiPlus.h"

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
    std::list<COverlayWidget*>& Widgets() { return m_widgets; }
};

// An overlay widget, so that UpdateView composes a frame of its own.
class Patch : public COverlayWidget {
public:
    void Render(Gdiplus::Graphics& graphics) override {
        Gdiplus::SolidBrush brush{Gdiplus::Color(0xC0336699)};
        graphics.FillRectangle(&brush, 10, 10, 40, 40);
    }
};

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
            fw::WindowDc screen(nullptr);
            Dib src(screen.get(), w, h), dst(screen.get(), w, h);
            // The source stands for a composed frame: any content, fully initialised.
            if (src.bits) std::memset(src.bits, 0x80, static_cast<size_t>(w) * h * 4);
            fw::WindowDc windowDc(bg.m_hWnd);
            BLENDFUNCTION blend{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
            Patch patch;
            const std::vector<double> ms = AlternatingMedians(
                {// The launcher: no overlay widget.
                 [&] { bg.UpdateView(); },
                 // With an overlay widget: a frame of its own, the skin copied in, the widget drawn.
                 [&] {
                     bg.Widgets().push_back(&patch);
                     bg.UpdateView();
                     bg.Widgets().clear();
                 },
                 // Present only: a ready frame handed to UpdateLayeredWindow.
                 [&] {
                     RECT r;
                     bg.GetWindowRect(&r);
                     POINT dstPt{r.left, r.top}, srcPt{0, 0};
                     SIZE size{w, h};
                     ::UpdateLayeredWindow(bg.m_hWnd, windowDc.get(), &dstPt, &size, src.dc.get(), &srcPt, 0, &blend,
                                           ULW_ALPHA);
                 },
                 [&] { ::BitBlt(dst.dc.get(), 0, 0, w, h, src.dc.get(), 0, 0, SRCCOPY); }},
                kRuns);
            const double updateView = ms[0], withWidget = ms[1], present = ms[2], bitBlt = ms[3];

            std::printf("UpdateView of a %d x %d skin, median of %d alternating runs\n", w, h, kRuns);
            std::printf("  UpdateView (the launcher: no overlay widget):  %8.3f ms\n", updateView);
            std::printf("  UpdateView with one overlay widget:            %8.3f ms\n", withWidget);
            std::printf("  UpdateLayeredWindow of a ready frame:          %8.3f ms\n", present);
            std::printf("  BitBlt of a frame of the same size:            %8.3f ms\n", bitBlt);
            if (present > 0) {
                PrintRatio("UpdateView / bare present", updateView / present, 1.5);
                std::printf("  %-44s %6.2fx  (for information)\n", "UpdateView with a widget / bare present",
                            withWidget / present);
            }
        }
    }
    Gdiplus::GdiplusShutdown(token);
    return rc;
}
