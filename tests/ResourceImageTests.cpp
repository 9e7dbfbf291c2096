// LoadResourceImage: both paths, failures, and the lifetime of the bytes behind an image.
#include "ImageTestSupport.h"
#include "TestSupport.h"

#include "framework/ResourceImage.h"
#include "framework/CWinApp.h"
#include "framework/ComPtr.h"
#include "framework/DialogTemplate.h"
#include "framework/Handles.h"
#include "resource.h"

#include "bench/MemoryProbe.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <objbase.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

namespace {

using ImagePtr = std::unique_ptr<Gdiplus::Image>;

ImagePtr Load(UINT id, LPCWSTR type, HMODULE module) {
    return ImagePtr(LoadResourceImage(id, type, module));
}

HMODULE Exe() { return ::GetModuleHandleW(nullptr); }


// Expects an image object that holds nothing and says why.
void ExpectFailedImage(const ImagePtr& img) {
    ASSERT_NE(img, nullptr);
    EXPECT_NE(img->GetLastStatus(), Gdiplus::Ok);
    EXPECT_EQ(img->GetWidth(), 0u);
    EXPECT_EQ(img->GetHeight(), 0u);
}

class ResourceImage : public testing::Test {
protected:
    test::GdiplusSession m_gdiplus;
};

} // namespace

TEST_F(ResourceImage, SkinFromExecutableHasPerPixelAlpha) {
    for (HMODULE module : {HMODULE(nullptr), Exe()}) {
        ImagePtr skin = Load(IDB_SKIN, L"PNG", module);
        ASSERT_NE(skin, nullptr);
        ASSERT_EQ(skin->GetLastStatus(), Gdiplus::Ok);
        EXPECT_EQ(skin->GetType(), Gdiplus::ImageTypeBitmap);
        EXPECT_EQ(skin->GetWidth(), 1257u);
        EXPECT_EQ(skin->GetHeight(), 877u);
        EXPECT_TRUE(Gdiplus::IsAlphaPixelFormat(skin->GetPixelFormat()));
        GUID format{};
        EXPECT_EQ(skin->GetRawFormat(&format), Gdiplus::Ok);
        EXPECT_TRUE(IsEqualGUID(format, Gdiplus::ImageFormatPNG));
    }
    // Only the low 16 bits of the id name the resource; the type name is matched without case.
    ImagePtr high = Load(0x10000u | IDB_CLOSE, L"png", nullptr);
    ASSERT_NE(high, nullptr);
    EXPECT_EQ(high->GetLastStatus(), Gdiplus::Ok);
    EXPECT_EQ(high->GetWidth(), 52u);
    EXPECT_EQ(high->GetHeight(), 80u);
}

TEST_F(ResourceImage, MissingOrUndecodableResourceGivesErrorImage) {
    ExpectFailedImage(Load(999, L"PNG", nullptr));
    ExpectFailedImage(Load(IDB_SKIN, L"GIF", nullptr));
    // Present but not an image: the game page.
    ExpectFailedImage(Load(IDR_HTML_GAME, RT_HTML, nullptr));
    // A module without our resources.
    ExpectFailedImage(Load(IDB_SKIN, L"PNG", ::GetModuleHandleW(L"kernel32.dll")));
}

TEST_F(ResourceImage, NullModuleMeansFrameworkResourceHandle) {
    const HINSTANCE saved = AfxGetResourceHandle();
    AfxSetResourceHandle(::GetModuleHandleW(L"kernel32.dll"));
    ImagePtr fromOther = Load(IDB_SKIN, L"PNG", nullptr);
    AfxSetResourceHandle(saved);
    ExpectFailedImage(fromOther);
    ImagePtr fromExe = Load(IDB_SKIN, L"PNG", nullptr);
    ASSERT_NE(fromExe, nullptr);
    EXPECT_EQ(fromExe->GetLastStatus(), Gdiplus::Ok);
}

namespace {

// The pixels of a bitmap handle as 0x00RRGGBB, top row first.
std::vector<uint32_t> DibPixels(HBITMAP hbm, int w, int h) {
    std::vector<uint32_t> px(static_cast<size_t>(w) * h);
    BITMAPINFO bmi{};
    bmi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    bmi.bmiHeader.biWidth = w;
    bmi.bmiHeader.biHeight = -h;
    bmi.bmiHeader.biPlanes = 1;
    bmi.bmiHeader.biBitCount = 32;
    bmi.bmiHeader.biCompression = BI_RGB;
    fw::UniqueDc dc(::CreateCompatibleDC(nullptr));
    ::GetDIBits(dc.get(), hbm, 0, static_cast<UINT>(h), px.data(), &bmi, DIB_RGB_COLORS);
    for (uint32_t& c : px) c &= 0x00FFFFFFu;
    return px;
}

// Compares a loaded bitmap with LoadBitmapW's bitmap of the same module and id.
void ExpectSameAsLoadBitmap(HMODULE module, WORD id) {
    fw::UniqueBitmap reference(::LoadBitmapW(module, MAKEINTRESOURCEW(id)));
    ASSERT_TRUE(reference) << "no bitmap " << id << " to compare with";
    BITMAP bm{};
    ASSERT_TRUE(::GetObjectW(reference.get(), sizeof bm, &bm));
    ImagePtr img = Load(id, RT_BITMAP, module);
    ASSERT_NE(img, nullptr);
    ASSERT_EQ(img->GetLastStatus(), Gdiplus::Ok);
    ASSERT_EQ(img->GetWidth(), static_cast<UINT>(bm.bmWidth));
    ASSERT_EQ(img->GetHeight(), static_cast<UINT>(bm.bmHeight));
    test::ArgbImage got;
    ASSERT_TRUE(test::ReadArgb(*img, got));
    const std::vector<uint32_t> want = DibPixels(reference.get(), bm.bmWidth, bm.bmHeight);
    size_t differ = 0;
    for (size_t i = 0; i < want.size(); ++i) differ += (got.pixels[i] & 0x00FFFFFFu) != want[i];
    EXPECT_EQ(differ, 0u);
    // The bitmap holds its own pixels: nothing depends on the handle, which the loader freed.
}

} // namespace

TEST_F(ResourceImage, BitmapPathPassesModuleUnchanged) {
    constexpr WORD kObmClose = 32754; // a predefined bitmap of the platform
    // Null module: the platform's own bitmap, not a resource of the executable.
    ExpectSameAsLoadBitmap(nullptr, kObmClose);
    ExpectFailedImage(Load(IDB_SKIN, RT_BITMAP, nullptr));
    // The executable: looked up there, where there is no such bitmap.
    ExpectFailedImage(Load(kObmClose, RT_BITMAP, Exe()));
    ExpectFailedImage(Load(IDB_SKIN, RT_BITMAP, Exe()));
    // Another module's bitmap resource: the common controls' standard toolbar images.
    fw::UniqueModule comctl(::LoadLibraryW(L"comctl32.dll"));
    ASSERT_TRUE(comctl);
    ExpectSameAsLoadBitmap(comctl.get(), 120);
}

namespace {

// Reference pixel of the skin, premultiplied as the canvas holds it.
uint32_t Expected(const test::ArgbImage& ref, int x, int y) { return test::Premultiply(ref.at(x, y)); }

} // namespace

// The loader's stream and its bytes may be gone from its point of view before the first
// draw; the image must still decode from them then.
TEST_F(ResourceImage, FirstDrawAfterLoadReturnedMatchesDecodedPng) {
    const ResourceBytes rb = FindResourceBytes(Exe(), MAKEINTRESOURCEW(IDB_SKIN), L"PNG");
    test::ArgbImage ref;
    ASSERT_TRUE(test::DecodeArgb(rb.data, rb.size, ref));

    Gdiplus::Image* raw = LoadResourceImage(IDB_SKIN, L"PNG", nullptr);
    ASSERT_NE(raw, nullptr);
    ImagePtr skin(raw);
    // Churn the heap, so that bytes freed too early would be reused and overwritten.
    for (int i = 0; i < 16; ++i) {
        fw::UniqueGlobal junk(::GlobalAlloc(GMEM_MOVEABLE, rb.size));
        if (void* p = ::GlobalLock(junk.get())) {
            std::memset(p, 0x5A + i, rb.size);
            ::GlobalUnlock(junk.get());
        }
    }
    test::PargbCanvas canvas(1257, 877);
    ASSERT_TRUE(canvas.valid());
    ASSERT_EQ(canvas.Draw(*skin), Gdiplus::Ok);

    // Transparent corner, the dark panel under the browser, a soft edge.
    EXPECT_EQ(canvas.at(0, 0), 0u);
    EXPECT_EQ(canvas.at(1256, 876), 0u);
    const uint32_t panel = canvas.at(600, 500);
    EXPECT_EQ(test::Alpha(panel), 255);
    EXPECT_LE(std::max({test::Red(panel), test::Green(panel), test::Blue(panel)}), 40);
    EXPECT_LE(test::ChannelDistance(panel, Expected(ref, 600, 500)), 1);
    int edgeX = -1;
    for (int x = 0; x < 600 && edgeX < 0; ++x) {
        const BYTE a = test::Alpha(ref.at(x, 500));
        if (a >= 64 && a <= 192) edgeX = x;
    }
    ASSERT_GE(edgeX, 0) << "no soft edge on row 500";
    EXPECT_LE(test::ChannelDistance(canvas.at(edgeX, 500), Expected(ref, edgeX, 500)), 2);
    EXPECT_GT(test::Alpha(canvas.at(edgeX, 500)), 0);
    EXPECT_LT(test::Alpha(canvas.at(edgeX, 500)), 255);

    // And the whole picture: every pixel as decoded.
    size_t differ = 0;
    for (int y = 0; y < 877; ++y) {
        for (int x = 0; x < 1257; ++x) differ += test::ChannelDistance(canvas.at(x, y), Expected(ref, x, y)) > 2;
    }
    EXPECT_EQ(differ, 0u);
}

// What the loader relies on: GDI+ keeps its own reference to the stream an image was loaded
// from until the image is deleted, so a stream that owns its block keeps the bytes exactly
// that long.
TEST_F(ResourceImage, GdiplusHoldsTheStreamUntilTheImageIsDeleted) {
    const ResourceBytes rb = FindResourceBytes(Exe(), MAKEINTRESOURCEW(IDB_CLOSE), L"PNG");
    fw::UniqueGlobal block(::GlobalAlloc(GMEM_MOVEABLE, rb.size));
    ASSERT_TRUE(block);
    std::memcpy(::GlobalLock(block.get()), rb.data, rb.size);
    ::GlobalUnlock(block.get());
    fw::ComPtr<IStream> stream;
    ASSERT_EQ(::CreateStreamOnHGlobal(block.get(), FALSE, stream.put()), S_OK);
    auto refs = [&] {
        stream->AddRef();
        return stream->Release();
    };
    ASSERT_EQ(refs(), 1u);
    auto img = std::make_unique<Gdiplus::Image>(stream.get(), FALSE);
    ASSERT_EQ(img->GetLastStatus(), Gdiplus::Ok);
    EXPECT_GE(refs(), 2u);
    EXPECT_EQ(img->GetWidth(), 52u);
    EXPECT_GE(refs(), 2u);
    img.reset();
    EXPECT_EQ(refs(), 1u);
}

// Each load copies the resource's bytes; the copy must go with its image.
TEST_F(ResourceImage, BytesAreReleasedWithTheImage) {
    const ResourceBytes rb = FindResourceBytes(Exe(), MAKEINTRESOURCEW(IDB_SKIN), L"PNG");
    ASSERT_GT(rb.size, 100000u);
    constexpr int kLoads = 200;
    auto cycle = [] {
        ImagePtr img = Load(IDB_SKIN, L"PNG", nullptr);
        ASSERT_NE(img, nullptr);
        ASSERT_EQ(img->GetLastStatus(), Gdiplus::Ok);
        // Make GDI+ decode, as drawing would.
        Gdiplus::Bitmap one(1, 1, PixelFormat32bppPARGB);
        Gdiplus::Graphics g(&one);
        ASSERT_EQ(g.DrawImage(img.get(), 0, 0, 1, 1), Gdiplus::Ok);
    };
    for (int i = 0; i < 5; ++i) cycle(); // warm up caches of GDI+ and the codecs

    const SIZE_T before = CommittedPrivateBytes();
    for (int i = 0; i < kLoads; ++i) {
        cycle();
        if (HasFatalFailure()) return;
    }
    const SIZE_T after = CommittedPrivateBytes();
    const double growth = after > before ? double(after - before) : 0.0;

    // The measure sees such a leak: the same number of copies kept, then freed.
    std::vector<fw::UniqueGlobal> kept;
    for (int i = 0; i < kLoads; ++i) {
        kept.emplace_back(::GlobalAlloc(GMEM_MOVEABLE, rb.size));
        if (void* p = ::GlobalLock(kept.back().get())) {
            std::memcpy(p, rb.data, rb.size);
            ::GlobalUnlock(kept.back().get());
        }
    }
    const SIZE_T leaked = CommittedPrivateBytes();
    kept.clear();
    const double allCopies = double(rb.size) * kLoads;
    ASSERT_GT(double(leaked - after), allCopies * 0.9) << "the counter does not see heap blocks";

    EXPECT_LT(growth, allCopies * 0.05) << "grew " << growth / 1024 << " KB over " << kLoads << " loads";
}

// GDI+ not started: the loader must still return an object and never crash. Windows GDI+
// refuses with GdiplusNotInitialized; Wine's decodes anyway.
TEST(ResourceImageWithoutGdiplus, ReturnsImageObject) {
    for (auto [id, type] : {std::pair<UINT, LPCWSTR>{IDB_SKIN, L"PNG"}, {999, L"PNG"}, {32754, RT_BITMAP}}) {
        SCOPED_TRACE(id);
        ImagePtr img = Load(id, type, nullptr);
        ASSERT_NE(img, nullptr);
        const Gdiplus::Status status = img->GetLastStatus();
        if (status == Gdiplus::Ok) {
            EXPECT_NE(id, 999u);
            EXPECT_GT(img->GetWidth(), 0u);
        } else if (id != 999) {
            EXPECT_EQ(status, Gdiplus::GdiplusNotInitialized);
        }
    }
}
