// Loading the launcher skin: time to a first drawn frame, and memory kept per load after the
// image is deleted. Our loader against two ways of building the stream by hand, same run.
#include "framework/ResourceImage.h"
#include "framework/ComPtr.h"
#include "framework/DialogTemplate.h"
#include "framework/Handles.h"
#include "resource.h"

#include "bench/BenchReport.h"
#include "bench/MemoryProbe.h"

#include <windows.h>

#include "framework/GdiPlus.h"
#include <objbase.h>
#include <shlwapi.h>

#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <vector>

namespace {

constexpr int kWidth = 1257;
constexpr int kHeight = 877;
constexpr int kIterations = 50;


// The frame a layered window would present: a premultiplied 32-bit DIB section.
class Frame {
public:
    Frame() {
        BITMAPINFO bmi{};
        bmi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
        bmi.bmiHeader.biWidth = kWidth;
        bmi.bmiHeader.biHeight = -kHeight;
        bmi.bmiHeader.biPlanes = 1;
        bmi.bmiHeader.biBitCount = 32;
        void* bits = nullptr;
        m_dib.reset(::CreateDIBSection(nullptr, &bmi, DIB_RGB_COLORS, &bits, nullptr, 0));
        m_bits = static_cast<BYTE*>(bits);
    }
    bool Draw(Gdiplus::Image& image) {
        if (!m_bits) return false;
        Gdiplus::Bitmap target(kWidth, kHeight, kWidth * 4, PixelFormat32bppPARGB, m_bits);
        Gdiplus::Graphics g(&target);
        g.SetCompositingMode(Gdiplus::CompositingModeSourceCopy);
        return g.DrawImage(&image, 0, 0, kWidth, kHeight) == Gdiplus::Ok;
    }
    uint32_t Pixel(int x, int y) const {
        uint32_t c;
        std::memcpy(&c, m_bits + (static_cast<size_t>(y) * kWidth + x) * 4, 4);
        return c;
    }

private:
    fw::UniqueBitmap m_dib;
    BYTE* m_bits = nullptr;
};

// One load: returns an image that draws from whatever stream the variant made.
using Loader = std::function<Gdiplus::Image*()>;

struct Variant {
    const char* name;
    Loader load;
    double totalMs = 0;
    double kbRetainedPerLoad = 0;
    bool ok = true;
};

void LoadAndDraw(Frame& frame, Variant& v) {
    std::unique_ptr<Gdiplus::Image> img(v.load());
    v.ok = v.ok && img && frame.Draw(*img);
    v.ok = v.ok && (frame.Pixel(600, 500) >> 24) == 0xFF && frame.Pixel(0, 0) == 0;
}

// Times are taken round-robin, so drift in machine load hits every variant alike; memory is
// measured per variant in a run of its own.
void Measure(Frame& frame, std::vector<Variant>& variants) {
    for (Variant& v : variants) {
        for (int i = 0; i < 3; ++i) LoadAndDraw(frame, v); // warm up codecs and caches
    }
    for (int i = 0; i < kIterations; ++i) {
        for (Variant& v : variants) {
            const double t0 = NowMs();
            LoadAndDraw(frame, v);
            v.totalMs += NowMs() - t0;
        }
    }
    for (Variant& v : variants) {
        const SIZE_T before = CommittedPrivateBytes();
        for (int i = 0; i < kIterations; ++i) LoadAndDraw(frame, v);
        const SIZE_T after = CommittedPrivateBytes();
        v.kbRetainedPerLoad = (double(after) - double(before)) / 1024.0 / kIterations;
    }
}

} // namespace

int main() {
    Gdiplus::GdiplusStartupInput input;
    ULONG_PTR token = 0;
    if (Gdiplus::GdiplusStartup(&token, &input, nullptr) != Gdiplus::Ok) {
        std::printf("GDI+ did not start\n");
        return 1;
    }
    int rc = 0;
    {
        const ResourceBytes rb = FindResourceBytes(nullptr, MAKEINTRESOURCEW(IDB_SKIN), L"PNG");
        Frame frame;
        std::printf("skin: %zu bytes, %d x %d; %d loads each, load + first draw + delete\n", rb.size, kWidth,
                    kHeight, kIterations);

        std::vector<fw::UniqueGlobal> neverFreed;
        std::vector<Variant> variants = {
            // Baseline: a fresh memory stream over the same bytes; no resource lookup, no HGLOBAL.
            {"baseline: SHCreateMemStream + Image",
             [&] {
                 fw::ComPtr<IStream> s =
                     fw::ComPtr<IStream>::Attach(::SHCreateMemStream(rb.data, static_cast<UINT>(rb.size)));
                 return new Gdiplus::Image(s.get(), FALSE);
             }},
            {"LoadResourceImage (stream owns its copy)", [] { return LoadResourceImage(IDB_SKIN, L"PNG", nullptr); }},
            // For comparison: a copy nobody frees, as a loader that never releases its block.
            {"copy kept for the process (never freed)",
             [&] {
                 neverFreed.emplace_back(::GlobalAlloc(GMEM_MOVEABLE, rb.size));
                 if (void* p = ::GlobalLock(neverFreed.back().get())) {
                     std::memcpy(p, rb.data, rb.size);
                     ::GlobalUnlock(neverFreed.back().get());
                 }
                 fw::ComPtr<IStream> s;
                 ::CreateStreamOnHGlobal(neverFreed.back().get(), FALSE, s.put());
                 return new Gdiplus::Image(s.get(), FALSE);
             }},
        };
        Measure(frame, variants);
        const double baseMs = variants[0].totalMs / kIterations;
        bool ok = true;
        for (const Variant& v : variants) {
            const double ms = v.totalMs / kIterations;
            std::printf("%-42s %8.2f ms/load (x%.2f)  %8.1f KB kept/load%s\n", v.name, ms, ms / baseMs,
                        v.kbRetainedPerLoad, v.ok ? "" : "  [DRAW FAILED]");
            ok = ok && v.ok;
        }
        rc = ok ? 0 : 2;
    }
    Gdiplus::GdiplusShutdown(token);
    return rc;
}
