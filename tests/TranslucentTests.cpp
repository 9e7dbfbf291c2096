// The layered background window on real windows: placement, the companion's tracking,
// the composed frame handed to UpdateLayeredWindow, keys, drag and object lifetimes.
#include "TestSupport.h"
#include "TranslucentTestSupport.h"
#include "framework/CWinApp.h"
#include "resource.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using test::Frame;
using test::SolidWidget;
using test::TestBackground;

constexpr UINT kSkinWidth = 1257;
constexpr UINT kSkinHeight = 877;

RECT WindowRect(HWND h) {
    RECT r{};
    ::GetWindowRect(h, &r);
    return r;
}

bool SameRect(const RECT& a, const RECT& b) {
    return ::EqualRect(&a, &b) != FALSE;
}

std::string RectText(const RECT& r) {
    return std::to_string(r.left) + "," + std::to_string(r.top) + "," + std::to_string(r.right) + "," +
           std::to_string(r.bottom);
}

// Premultiplied BGRA of a straight 0xAARRGGBB pixel, as UpdateLayeredWindow expects it.
void Premultiply(UINT32 argb, int out[4]) {
    const int a = static_cast<int>(argb >> 24);
    out[0] = static_cast<int>(argb & 0xFF) * a / 255;
    out[1] = static_cast<int>((argb >> 8) & 0xFF) * a / 255;
    out[2] = static_cast<int>((argb >> 16) & 0xFF) * a / 255;
    out[3] = a;
}

bool Near(const BYTE* px, const int expected[4], int tolerance = 1) {
    for (int i = 0; i < 4; ++i) {
        if (std::abs(static_cast<int>(px[i]) - expected[i]) > tolerance) return false;
    }
    return true;
}

std::string PixelText(const BYTE* px) {
    return "B" + std::to_string(px[0]) + " G" + std::to_string(px[1]) + " R" + std::to_string(px[2]) + " A" +
           std::to_string(px[3]);
}

class TranslucentTest : public testing::Test {
protected:
    test::GdiplusSession m_gdiplus;
};

// --- pure arithmetic ---

TEST(TranslucentGeometry, CentredOriginTruncatesTowardZero) {
    const POINT p = CenteredOrigin(RECT{0, 0, 1920, 1040}, 806, 529);
    EXPECT_EQ(p.x, 557);
    EXPECT_EQ(p.y, 255) << "255.5 truncated";

    // Narrower than the framed window: -201 / 2 is -100, not -101.
    EXPECT_EQ(CenteredOrigin(RECT{0, 0, 800, 600}, 1001, 600).x, -100);
    // An offset work area: 100 + (800 - 1001) / 2 and 50 + (600 - 601) / 2.
    const POINT q = CenteredOrigin(RECT{100, 50, 900, 650}, 1001, 601);
    EXPECT_EQ(q.x, 0);
    EXPECT_EQ(q.y, 50);
}

TEST(TranslucentGeometry, FrameHeaderIsBottomUp32BitWithStrideTimesHeight) {
    BITMAPINFOHEADER h;
    ASSERT_TRUE(MakeFrameHeader(kSkinWidth, kSkinHeight, h));
    EXPECT_EQ(h.biSize, 40u);
    EXPECT_EQ(h.biWidth, 1257);
    EXPECT_EQ(h.biHeight, 877) << "positive: rows run bottom-up";
    EXPECT_EQ(h.biPlanes, 1);
    EXPECT_EQ(h.biBitCount, 32);
    EXPECT_EQ(h.biCompression, static_cast<DWORD>(BI_RGB));
    EXPECT_EQ(h.biSizeImage, 4409556u);
    EXPECT_EQ(h.biXPelsPerMeter, 0);
    EXPECT_EQ(h.biClrUsed, 0u);

    ASSERT_TRUE(MakeFrameHeader(3, 2, h));
    EXPECT_EQ(h.biSizeImage, 24u);
    // Sizes from a corrupt image must not wrap around into a small allocation.
    EXPECT_FALSE(MakeFrameHeader(70000, 70000, h));
    EXPECT_FALSE(MakeFrameHeader(0x80000000u, 1, h));
}

// --- creation and placement ---

TEST_F(TranslucentTest, CreationCentresTheFramedSkinAndSizesTheWindowToTheSkin) {
    TestBackground bg;
    EXPECT_TRUE(bg.EnableDrag());
    EXPECT_TRUE(bg.CenterWindow());
    EXPECT_FALSE(bg.IgnoreRenderEvents());
    EXPECT_FALSE(bg.WidgetsOnly());
    EXPECT_EQ(bg.Companion(), nullptr) << "no companion before the window exists";
    ASSERT_TRUE(bg.Create(IDD_VXTRANSLUCENT_DIALOG));

    // Centring uses the template's style, caption included, as it is during WM_CREATE.
    ASSERT_TRUE(bg.styleAtCreate & WS_CAPTION);
    RECT framed{0, 0, static_cast<LONG>(kSkinWidth), static_cast<LONG>(kSkinHeight)};
    ::AdjustWindowRect(&framed, bg.styleAtCreate, FALSE);
    RECT work{};
    ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    const LONG x = work.left + (work.right - work.left - (framed.right - framed.left)) / 2;
    const LONG y = work.top + (work.bottom - work.top - (framed.bottom - framed.top)) / 2;
    const RECT expected{x, y, x + static_cast<LONG>(kSkinWidth), y + static_cast<LONG>(kSkinHeight)};
    EXPECT_TRUE(SameRect(WindowRect(bg.m_hWnd), expected))
        << RectText(WindowRect(bg.m_hWnd)) << " vs " << RectText(expected);

    // Caption gone, popup added; the frame is gone from the client area too.
    const DWORD style = bg.GetStyle();
    EXPECT_EQ(style & WS_CAPTION, 0u);
    EXPECT_NE(style & WS_POPUP, 0u);
    RECT client{};
    bg.GetClientRect(&client);
    EXPECT_EQ(client.right, static_cast<LONG>(kSkinWidth));
    EXPECT_EQ(client.bottom, static_cast<LONG>(kSkinHeight));

    // Layered only from the first presentation on, which follows OnInitChildrenWnds.
    EXPECT_EQ(bg.exStyleAtCompanion & WS_EX_LAYERED, 0u);
    EXPECT_NE(bg.GetExStyle() & WS_EX_LAYERED, 0u);
    EXPECT_EQ(bg.initChildrenCalls, 1);
    EXPECT_EQ(bg.presentsAtInitChildren, 0);
    ASSERT_EQ(bg.presents, 1);
    EXPECT_EQ(bg.frames[0].ptDst.x, x);
    EXPECT_EQ(bg.frames[0].ptDst.y, y);
    EXPECT_EQ(bg.frames[0].size.cx, static_cast<LONG>(kSkinWidth));
    EXPECT_EQ(bg.frames[0].size.cy, static_cast<LONG>(kSkinHeight));
    const BLENDFUNCTION& blend = bg.Blend();
    EXPECT_EQ(blend.BlendOp, AC_SRC_OVER);
    EXPECT_EQ(blend.BlendFlags, 0);
    EXPECT_EQ(blend.SourceConstantAlpha, 255);
    EXPECT_EQ(blend.AlphaFormat, AC_SRC_ALPHA);
}

TEST_F(TranslucentTest, WithoutCentringTheWindowKeepsItsCreatePosition) {
    TestBackground bg(IDB_SKIN, /*center=*/false);
    ASSERT_TRUE(bg.Create(IDD_VXTRANSLUCENT_DIALOG));
    // The template asks for 0, 0 and no owner: the top-left corner of the screen.
    EXPECT_EQ(bg.createPos.x, 0);
    EXPECT_EQ(bg.createPos.y, 0);
    const RECT expected{0, 0, static_cast<LONG>(kSkinWidth), static_cast<LONG>(kSkinHeight)};
    EXPECT_TRUE(SameRect(WindowRect(bg.m_hWnd), expected)) << RectText(WindowRect(bg.m_hWnd));
}

TEST_F(TranslucentTest, CompanionIsAVisibleColourKeyedPopupOwnedByTheBackgroundAndLiesOverIt) {
    TestBackground bg;
    ASSERT_TRUE(bg.Create(IDD_VXTRANSLUCENT_DIALOG));
    ASSERT_NE(bg.companion, nullptr);
    ASSERT_EQ(bg.Companion(), bg.companion);
    HWND hCompanion = bg.companion->m_hWnd;
    ASSERT_TRUE(::IsWindow(hCompanion));
    // Made during the background's WM_CREATE, while the caption was still there.
    EXPECT_NE(bg.styleAtCompanion & WS_CAPTION, 0u);
    EXPECT_EQ(::GetWindow(hCompanion, GW_OWNER), bg.m_hWnd);
    EXPECT_EQ(::GetWindowLongW(hCompanion, GWL_STYLE) & WS_CHILD, 0);
    EXPECT_TRUE(::IsWindowVisible(hCompanion));
    EXPECT_TRUE(SameRect(WindowRect(hCompanion), WindowRect(bg.m_hWnd)))
        << RectText(WindowRect(hCompanion)) << " vs " << RectText(WindowRect(bg.m_hWnd));

    COLORREF key = 0;
    BYTE alpha = 1;
    DWORD flags = 0;
    ASSERT_TRUE(::GetLayeredWindowAttributes(hCompanion, &key, &alpha, &flags));
    EXPECT_EQ(key, test::kKeyGreen);
    EXPECT_EQ(flags, static_cast<DWORD>(LWA_COLORKEY));

    // The owned popup stays above its owner.
    bool companionAbove = false;
    for (HWND h = ::GetWindow(bg.m_hWnd, GW_HWNDPREV); h; h = ::GetWindow(h, GW_HWNDPREV)) {
        companionAbove = companionAbove || h == hCompanion;
    }
    EXPECT_TRUE(companionAbove);
}

TEST_F(TranslucentTest, CompanionFollowsEveryMoveAndSizeOfTheBackground) {
    TestBackground bg;
    ASSERT_TRUE(bg.Create(IDD_VXTRANSLUCENT_DIALOG));
    ASSERT_NE(bg.companion, nullptr);
    HWND hCompanion = bg.companion->m_hWnd;

    ::SetWindowPos(bg.m_hWnd, nullptr, 120, 90, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    EXPECT_TRUE(SameRect(WindowRect(hCompanion), RECT{120, 90, 120 + 1257, 90 + 877}))
        << RectText(WindowRect(hCompanion));

    // Negative coordinates survive the trip through WM_MOVE.
    ::MoveWindow(bg.m_hWnd, -100, -50, 640, 480, TRUE);
    EXPECT_TRUE(SameRect(WindowRect(hCompanion), RECT{-100, -50, 540, 430})) << RectText(WindowRect(hCompanion));

    ::SetWindowPos(bg.m_hWnd, nullptr, 0, 0, 300, 200, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    EXPECT_TRUE(SameRect(WindowRect(hCompanion), RECT{-100, -50, 200, 150})) << RectText(WindowRect(hCompanion));
}

TEST_F(TranslucentTest, WidgetsOnlyModeLeavesTheCompanionOnMovesButStillResizesIt) {
    TestBackground bg;
    ASSERT_TRUE(bg.Create(IDD_VXTRANSLUCENT_DIALOG));
    ASSERT_NE(bg.companion, nullptr);
    HWND hCompanion = bg.companion->m_hWnd;
    ::MoveWindow(bg.m_hWnd, 10, 20, 400, 300, TRUE);
    bg.SetWidgetsOnly(true);

    ::SetWindowPos(bg.m_hWnd, nullptr, 200, 150, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    EXPECT_TRUE(SameRect(WindowRect(bg.m_hWnd), RECT{200, 150, 600, 450}));
    EXPECT_TRUE(SameRect(WindowRect(hCompanion), RECT{10, 20, 410, 320})) << RectText(WindowRect(hCompanion));

    ::SetWindowPos(bg.m_hWnd, nullptr, 0, 0, 250, 100, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    EXPECT_TRUE(SameRect(WindowRect(hCompanion), RECT{10, 20, 260, 120})) << RectText(WindowRect(hCompanion));
}

TEST_F(TranslucentTest, BackgroundWithoutCompanionMovesAndSizesAlone) {
    TestBackground bg(IDB_SKIN, true, /*withCompanion=*/false);
    ASSERT_TRUE(bg.Create(IDD_VXTRANSLUCENT_DIALOG));
    EXPECT_EQ(bg.Companion(), nullptr);
    EXPECT_EQ(bg.GetStyle() & WS_CAPTION, 0u);
    ::MoveWindow(bg.m_hWnd, 5, 6, 70, 80, TRUE);
    EXPECT_TRUE(SameRect(WindowRect(bg.m_hWnd), RECT{5, 6, 75, 86}));
    EXPECT_EQ(bg.presents, 1);
}

TEST_F(TranslucentTest, EraseBackgroundReportsDoneAndPaintsNothing) {
    TestBackground bg(IDB_SKIN, true, false);
    ASSERT_TRUE(bg.Create(IDD_VXTRANSLUCENT_DIALOG));
    fw::WindowDc screen(nullptr);
    fw::UniqueDc mem(::CreateCompatibleDC(screen.get()));
    fw::UniqueBitmap bmp(::CreateCompatibleBitmap(screen.get(), 8, 8));
    fw::SelectObjectGuard select(mem.get(), bmp.get());
    RECT all{0, 0, 8, 8};
    fw::UniqueBrush red(::CreateSolidBrush(RGB(200, 0, 0)));
    ::FillRect(mem.get(), &all, red.get());
    EXPECT_EQ(::SendMessageW(bg.m_hWnd, WM_ERASEBKGND, reinterpret_cast<WPARAM>(mem.get()), 0), TRUE);
    EXPECT_EQ(::GetPixel(mem.get(), 3, 3), RGB(200, 0, 0));
}

// --- the composed frame ---

TEST_F(TranslucentTest, FrameIsTheSkinPremultipliedInABottomUpDibOfTheSkinsSize) {
    const test::DecodedImage skin = test::DecodeResourceImage(IDB_SKIN, L"PNG");
    ASSERT_EQ(skin.width, kSkinWidth);
    ASSERT_EQ(skin.height, kSkinHeight);
    TestBackground bg(IDB_SKIN, true, false);
    ASSERT_TRUE(bg.Create(IDD_VXTRANSLUCENT_DIALOG));
    ASSERT_EQ(bg.frames.size(), 1u);
    const Frame& f = bg.frames[0];
    EXPECT_EQ(f.section.dsBm.bmWidth, 1257);
    EXPECT_EQ(f.section.dsBm.bmHeight, 877);
    EXPECT_EQ(f.section.dsBm.bmBitsPixel, 32);
    EXPECT_GT(f.section.dsBmih.biHeight, 0) << "bottom-up";
    EXPECT_EQ(f.section.dsBmih.biSizeImage, 4409556u);
    ASSERT_EQ(f.bits.size(), 4409556u);

    int transparent = 0, partial = 0, opaque = 0, wrong = 0;
    std::string firstWrong;
    for (UINT y = 0; y < skin.height; ++y) {
        for (UINT x = 0; x < skin.width; ++x) {
            const UINT32 argb = skin.argb[static_cast<size_t>(y) * skin.width + x];
            int expected[4];
            Premultiply(argb, expected);
            const BYTE* px = f.At(static_cast<int>(x), static_cast<int>(y));
            if (expected[3] == 0) ++transparent;
            else if (expected[3] == 255) ++opaque;
            else ++partial;
            if (!Near(px, expected)) {
                if (wrong++ == 0) {
                    firstWrong = std::to_string(x) + "," + std::to_string(y) + ": " + PixelText(px) + " expected A" +
                                 std::to_string(expected[3]) + " R" + std::to_string(expected[2]);
                }
            }
        }
    }
    EXPECT_EQ(wrong, 0) << firstWrong;
    // The skin exercises all three cases.
    EXPECT_GT(transparent, 0);
    EXPECT_GT(partial, 0);
    EXPECT_GT(opaque, 0);
}

TEST_F(TranslucentTest, VisibleWidgetsDrawInListOrderOverTheSkinAndInvisibleOnesAreSkipped) {
    std::vector<std::string> calls;
    SolidWidget first("first", RECT{400, 300, 460, 360}, 0xFFFF0000, calls);  // opaque red
    SolidWidget second("second", RECT{430, 330, 490, 390}, 0xFF0000FF, calls); // opaque blue, over first
    SolidWidget hidden("hidden", RECT{600, 300, 640, 340}, 0xFF00FF00, calls, FALSE);
    TestBackground bg(IDB_SKIN, true, false);
    bg.widgetsToAdd = {&first, &second, &hidden};
    ASSERT_TRUE(bg.Create(IDD_VXTRANSLUCENT_DIALOG));
    ASSERT_EQ(bg.frames.size(), 1u);
    EXPECT_EQ(calls, (std::vector<std::string>{"first", "second"}));
    const Frame& f = bg.frames[0];
    const int red[4] = {0, 0, 255, 255}, blue[4] = {255, 0, 0, 255};
    EXPECT_TRUE(Near(f.At(410, 310), red)) << PixelText(f.At(410, 310));
    EXPECT_TRUE(Near(f.At(440, 340), blue)) << "the later widget is on top: " << PixelText(f.At(440, 340));
    EXPECT_TRUE(Near(f.At(480, 380), blue)) << PixelText(f.At(480, 380));

    // Where the hidden widget would be, the skin shows.
    const test::DecodedImage skin = test::DecodeResourceImage(IDB_SKIN, L"PNG");
    int expected[4];
    Premultiply(skin.argb[static_cast<size_t>(320) * skin.width + 620], expected);
    EXPECT_TRUE(Near(f.At(620, 320), expected)) << PixelText(f.At(620, 320));

    // Visibility is read at every composition.
    hidden.m_bVisible = TRUE;
    first.m_bVisible = FALSE;
    calls.clear();
    bg.UpdateView();
    EXPECT_EQ(calls, (std::vector<std::string>{"second", "hidden"}));
    const int green[4] = {0, 255, 0, 255};
    EXPECT_TRUE(Near(bg.frames.back().At(620, 320), green)) << PixelText(bg.frames.back().At(620, 320));
}

TEST_F(TranslucentTest, WidgetsOnlyDrawsEveryWidgetAndShrinksTheSkinToTheOriginPixel) {
    std::vector<std::string> calls;
    SolidWidget half("half", RECT{100, 100, 140, 140}, 0x80FF0000, calls); // red at alpha 128
    SolidWidget hidden("hidden", RECT{200, 100, 240, 140}, 0xFF0000FF, calls, FALSE);
    TestBackground bg(IDB_SKIN, true, false);
    bg.widgetsToAdd = {&half, &hidden};
    ASSERT_TRUE(bg.Create(IDD_VXTRANSLUCENT_DIALOG));
    calls.clear();
    bg.SetWidgetsOnly(true);
    bg.UpdateView();
    ASSERT_EQ(bg.frames.size(), 2u);
    EXPECT_EQ(calls, (std::vector<std::string>{"half", "hidden"}));
    const Frame& f = bg.frames.back();
    EXPECT_EQ(f.size.cx, 1257) << "the frame keeps the skin's size";

    // Partial alpha composes premultiplied: red 255 at alpha 128 is stored as R 128, A 128.
    const int halfRed[4] = {0, 0, 128, 128}, blue[4] = {255, 0, 0, 255};
    EXPECT_TRUE(Near(f.At(120, 120), halfRed)) << PixelText(f.At(120, 120));
    EXPECT_TRUE(Near(f.At(220, 120), blue)) << PixelText(f.At(220, 120));

    // Everything else is fully transparent black, apart from the 1 x 1 skin at the origin.
    const auto expectOnlyWidgets = [](const Frame& frame, bool widgetsDrawn) {
        int nonZero = 0;
        std::string where;
        for (int y = 0; y < 877; ++y) {
            for (int x = 0; x < 1257; ++x) {
                if (x == 0 && y == 0) continue;
                if (widgetsDrawn &&
                    ((x >= 100 && x < 140 && y >= 100 && y < 140) || (x >= 200 && x < 240 && y >= 100 && y < 140)))
                    continue;
                const BYTE* px = frame.At(x, y);
                if (px[0] | px[1] | px[2] | px[3]) {
                    if (nonZero++ == 0) where = std::to_string(x) + "," + std::to_string(y) + " " + PixelText(px);
                }
            }
        }
        EXPECT_EQ(nonZero, 0) << where;
    };
    expectOnlyWidgets(f, true);

    // With no widget at all the frame is still composed, not the shared skin presented as it is.
    bg.Widgets().clear();
    bg.UpdateView();
    ASSERT_EQ(bg.frames.size(), 3u);
    EXPECT_EQ(bg.frames.back().size.cx, 1257);
    expectOnlyWidgets(bg.frames.back(), false);
}

TEST_F(TranslucentTest, MissingSkinSizesBothWindowsToNothingAndPresentsNothingWithoutLeaking) {
    TestBackground bg(9999);
    EXPECT_TRUE(bg.HasSkin()) << "an image object that failed to load";
    EXPECT_EQ(bg.Width(), 0u);
    ASSERT_TRUE(bg.Create(IDD_VXTRANSLUCENT_DIALOG));
    const RECT r = WindowRect(bg.m_hWnd);
    EXPECT_EQ(r.right - r.left, 0);
    EXPECT_EQ(r.bottom - r.top, 0);
    ASSERT_NE(bg.companion, nullptr);
    const RECT c = WindowRect(bg.companion->m_hWnd);
    EXPECT_EQ(c.right - c.left, 0);
    EXPECT_EQ(c.bottom - c.top, 0);
    EXPECT_EQ(bg.presents, 0);

    const DWORD before = test::GdiObjects();
    for (int i = 0; i < 20; ++i) bg.UpdateView();
    EXPECT_EQ(test::GdiObjects(), before);
    EXPECT_EQ(bg.presents, 0);
}

// The skin is decoded once per process and shared: a later window presents the same pixels,
// and a window whose skin fails to load never shows another resource's frame.
TEST_F(TranslucentTest, ASecondWindowInTheProcessPresentsTheSamePixelsAsTheFirst) {
    std::vector<BYTE> first;
    {
        TestBackground bg(IDB_SKIN, true, false);
        ASSERT_TRUE(bg.Create(IDD_VXTRANSLUCENT_DIALOG));
        ASSERT_EQ(bg.frames.size(), 1u);
        first = bg.frames[0].bits;
    }
    ASSERT_EQ(first.size(), 4409556u);
    TestBackground second(IDB_SKIN, true, false);
    TestBackground third(IDB_SKIN, true, false);
    EXPECT_EQ(second.Skin(), third.Skin()) << "one skin for the process";
    ASSERT_TRUE(second.Create(IDD_VXTRANSLUCENT_DIALOG));
    ASSERT_EQ(second.frames.size(), 1u);
    EXPECT_TRUE(second.frames[0].bits == first);
    // Composing over the shared skin leaves it as it was for the next presentation.
    std::vector<std::string> calls;
    SolidWidget widget("w", RECT{0, 0, 1257, 877}, 0xFF0000FF, calls);
    second.Widgets().push_back(&widget);
    second.UpdateView();
    second.Widgets().clear();
    second.UpdateView();
    ASSERT_EQ(second.frames.size(), 3u);
    EXPECT_FALSE(second.frames[1].bits == first);
    EXPECT_TRUE(second.frames[2].bits == first);
}

TEST_F(TranslucentTest, AWindowAfterASkinLoadFailureStaysEmptyInsteadOfShowingAnotherFrame) {
    TestBackground shown(IDB_SKIN, true, false);
    ASSERT_TRUE(shown.Create(IDD_VXTRANSLUCENT_DIALOG));
    ASSERT_EQ(shown.presents, 1);
    // The same id from a module without it, then an id nobody has.
    fw::UniqueModule other(::LoadLibraryW(L"comctl32.dll"));
    ASSERT_TRUE(other);
    TestBackground elsewhere(IDB_SKIN, true, false, L"PNG", other.get());
    TestBackground missing(9999, true, false);
    for (TestBackground* bg : {&elsewhere, &missing}) {
        ASSERT_TRUE(bg->Create(IDD_VXTRANSLUCENT_DIALOG));
        const RECT r = WindowRect(bg->m_hWnd);
        EXPECT_EQ(r.right - r.left, 0);
        EXPECT_EQ(r.bottom - r.top, 0);
        bg->UpdateView();
        EXPECT_EQ(bg->presents, 0);
    }
    // And the skin that did load is still the one the next window gets.
    TestBackground again(IDB_SKIN, true, false);
    EXPECT_EQ(again.Skin(), shown.Skin());
    ASSERT_TRUE(again.Create(IDD_VXTRANSLUCENT_DIALOG));
    ASSERT_EQ(again.frames.size(), 1u);
    EXPECT_TRUE(again.frames[0].bits == shown.frames[0].bits);
}

// A conversion that fails once (its drawing reports an error) leaves that window without a skin,
// as for a skin that does not load; the next window gets the real frame. The skin is already kept
// when the fault comes, as it is for any window after the first.
TEST_F(TranslucentTest, ASkinWhoseConversionFailedOnceIsMadeAgainForTheNextWindow) {
    const TestBackground first(IDB_SKIN, true, false);
    ASSERT_EQ(first.Width(), kSkinWidth);
    std::optional<SkinFrame::FaultInjection> fault(std::in_place, SkinFrame::Fault::DrawingFails);
    TestBackground failed(IDB_SKIN, true, false);
    fault.reset();
    EXPECT_EQ(failed.Width(), 0u);
    ASSERT_TRUE(failed.Create(IDD_VXTRANSLUCENT_DIALOG));
    const RECT r = WindowRect(failed.m_hWnd);
    EXPECT_EQ(r.right - r.left, 0);
    EXPECT_EQ(r.bottom - r.top, 0);
    EXPECT_EQ(failed.presents, 0);

    TestBackground next(IDB_SKIN, true, false);
    EXPECT_NE(next.Skin(), failed.Skin()) << "the failed frame was kept";
    ASSERT_TRUE(next.Create(IDD_VXTRANSLUCENT_DIALOG));
    ASSERT_EQ(next.frames.size(), 1u);
    EXPECT_EQ(next.frames[0].size.cx, static_cast<LONG>(kSkinWidth));
    const test::DecodedImage skin = test::DecodeResourceImage(IDB_SKIN, L"PNG");
    int expected[4];
    Premultiply(skin.argb[static_cast<size_t>(320) * skin.width + 620], expected);
    EXPECT_TRUE(Near(next.frames[0].At(620, 320), expected)) << PixelText(next.frames[0].At(620, 320));
}

// No memory while a window takes the skin: nothing is thrown (the window may be the one meant
// to replace an already retired main window); it is sized to nothing, and the next one has it.
TEST_F(TranslucentTest, NoMemoryForTheSkinGivesAnEmptyWindowInsteadOfAnException) {
    const TestBackground first(IDB_SKIN, true, false);
    ASSERT_EQ(first.Width(), kSkinWidth);
    {
        // A fault that no request met is gone with its guard.
        SkinFrame::FaultInjection unused(SkinFrame::Fault::OutOfMemory);
    }
    EXPECT_EQ(TestBackground(IDB_SKIN, true, false).Width(), kSkinWidth);
    std::unique_ptr<TestBackground> bg;
    {
        SkinFrame::FaultInjection fault(SkinFrame::Fault::OutOfMemory);
        ASSERT_NO_THROW(bg = std::make_unique<TestBackground>(IDB_SKIN, true, false));
    }
    EXPECT_FALSE(bg->HasSkin());
    EXPECT_EQ(bg->Width(), 0u);
    ASSERT_TRUE(bg->Create(IDD_VXTRANSLUCENT_DIALOG));
    const RECT r = WindowRect(bg->m_hWnd);
    EXPECT_EQ(r.right - r.left, 0);
    EXPECT_EQ(bg->presents, 0);
    TestBackground next(IDB_SKIN, true, false);
    EXPECT_EQ(next.Width(), kSkinWidth);
}

TEST_F(TranslucentTest, AHundredCompositionsLeaveTheProcessGdiObjectCountUnchanged) {
    std::vector<std::string> calls;
    SolidWidget widget("w", RECT{10, 10, 50, 50}, 0xC0123456, calls);
    TestBackground bg(IDB_SKIN, true, true);
    bg.widgetsToAdd = {&widget};
    bg.keepFrames = false;
    ASSERT_TRUE(bg.Create(IDD_VXTRANSLUCENT_DIALOG));
    bg.UpdateView();
    const DWORD before = test::GdiObjects();
    for (int i = 0; i < 100; ++i) bg.UpdateView();
    EXPECT_EQ(test::GdiObjects(), before);
    EXPECT_EQ(bg.presents, 102);
}

class ThrowingWidget : public COverlayWidget {
public:
    void Render(Gdiplus::Graphics&) override { throw std::runtime_error("render failed"); }
};

TEST_F(TranslucentTest, AWidgetThatThrowsLeavesNoDeviceContextOrBitmapBehind) {
    TestBackground bg(IDB_SKIN, true, false);
    bg.keepFrames = false;
    ASSERT_TRUE(bg.Create(IDD_VXTRANSLUCENT_DIALOG));
    bg.UpdateView();
    ThrowingWidget bad;
    bg.Widgets().push_back(&bad);
    const DWORD before = test::GdiObjects();
    for (int i = 0; i < 10; ++i) EXPECT_THROW(bg.UpdateView(), std::runtime_error);
    EXPECT_EQ(test::GdiObjects(), before);
    bg.Widgets().clear();
    const int presents = bg.presents;
    bg.UpdateView();
    EXPECT_EQ(bg.presents, presents + 1);
}

TEST_F(TranslucentTest, RenderEventsComposeAgainUnlessIgnored) {
    TestBackground bg(IDB_SKIN, true, false);
    bg.keepFrames = false;
    ASSERT_TRUE(bg.Create(IDD_VXTRANSLUCENT_DIALOG));
    IRenderListener* listener = &bg;
    listener->OnRenderEvent(nullptr);
    EXPECT_EQ(bg.presents, 2);
    bg.SetIgnoreRenderEvents(true);
    listener->OnRenderEvent(&bg);
    EXPECT_EQ(bg.presents, 2);
}

// --- keys, drag, close ---

std::vector<std::pair<UINT, WPARAM>>* g_dialogFilterLog = nullptr;

LRESULT CALLBACK DialogFilter(int code, WPARAM wParam, LPARAM lParam) {
    if (code == MSGF_DIALOGBOX && g_dialogFilterLog) {
        const MSG* msg = reinterpret_cast<const MSG*>(lParam);
        if (msg->message == WM_KEYDOWN || msg->message == WM_KEYUP) g_dialogFilterLog->emplace_back(msg->message, msg->wParam);
    }
    return ::CallNextHookEx(nullptr, code, wParam, lParam);
}

// Records which key messages went through the dialog manager (IsDialogMessage runs the
// MSGF_DIALOGBOX message filter first).
class DialogManagerLog {
public:
    DialogManagerLog() {
        g_dialogFilterLog = &entries;
        m_hook.reset(::SetWindowsHookExW(WH_MSGFILTER, &DialogFilter, nullptr, ::GetCurrentThreadId()));
    }
    ~DialogManagerLog() { g_dialogFilterLog = nullptr; }
    std::vector<std::pair<UINT, WPARAM>> entries;

private:
    fw::UniqueHook m_hook;
};

TEST_F(TranslucentTest, EnterAndEscapeKeyDownsBypassTheDialogManagerAndNeverEndTheBackground) {
    CWinApp app;
    TestBackground bg;
    app.m_pMainWnd = &bg;
    DialogManagerLog dialogManager;
    bool stillRunning = false;
    test::Deadline deadline("the test to end the background's modal run after its keys");
    test::RunSoon([&] {
        ::PostMessageW(bg.m_hWnd, WM_KEYDOWN, VK_RETURN, 0);
        ::PostMessageW(bg.m_hWnd, WM_KEYDOWN, VK_ESCAPE, 0);
        ::PostMessageW(bg.m_hWnd, WM_KEYUP, VK_RETURN, 0);
        ::PostMessageW(bg.m_hWnd, WM_KEYDOWN, VK_F5, 0);
        test::RunSoon([&] {
            stillRunning = ::IsWindowVisible(bg.m_hWnd) != FALSE;
            bg.EndDialog(77);
        }, 50);
    });
    EXPECT_EQ(bg.DoModal(), 77);
    EXPECT_TRUE(stillRunning);
    EXPECT_EQ(bg.log.Count(WM_KEYDOWN, VK_RETURN), 1);
    EXPECT_EQ(bg.log.Count(WM_KEYDOWN, VK_ESCAPE), 1);
    // Translated as well: the characters follow.
    EXPECT_EQ(bg.log.Count(WM_CHAR, '\r'), 1);
    EXPECT_EQ(bg.log.Count(WM_CHAR, 0x1B), 1);
    EXPECT_EQ(bg.log.Count(WM_COMMAND, IDOK), 0);
    EXPECT_EQ(bg.log.Count(WM_COMMAND, IDCANCEL), 0);
    // Only the key-up of Enter and other keys go through the dialog manager.
    EXPECT_EQ(dialogManager.entries,
              (std::vector<std::pair<UINT, WPARAM>>{{WM_KEYUP, VK_RETURN}, {WM_KEYDOWN, VK_F5}}));
    EXPECT_EQ(bg.log.Count(WM_KEYUP, VK_RETURN), 1);
    EXPECT_EQ(bg.log.Count(WM_KEYDOWN, VK_F5), 1);
    EXPECT_TRUE(test::TakeQuitMessage()) << "the main window ended";
}

// A child window that logs its messages; wantsKeys makes it ask the dialog manager for every key,
// as the browser control's window does.
LRESULT CALLBACK KeyChildProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* log = reinterpret_cast<test::MessageLog*>(::GetWindowLongPtrW(hWnd, GWLP_USERDATA));
    if (log) log->Add(message, wParam);
    if (message == WM_GETDLGCODE && ::GetPropW(hWnd, L"wantsKeys")) return DLGC_WANTALLKEYS;
    return ::DefWindowProcW(hWnd, message, wParam, lParam);
}

HWND CreateKeyChild(HWND parent, test::MessageLog& log, bool wantsKeys) {
    static const ATOM atom = [] {
        WNDCLASSEXW wc{};
        wc.cbSize = sizeof(wc);
        wc.lpfnWndProc = &KeyChildProc;
        wc.hInstance = ::GetModuleHandleW(nullptr);
        wc.lpszClassName = L"OrvaneTestKeyChild";
        return ::RegisterClassExW(&wc);
    }();
    (void)atom;
    HWND h = ::CreateWindowExW(0, L"OrvaneTestKeyChild", L"", WS_CHILD | WS_VISIBLE, 0, 0, 40, 20, parent, nullptr,
                               ::GetModuleHandleW(nullptr), nullptr);
    ::SetWindowLongPtrW(h, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&log));
    if (wantsKeys) ::SetPropW(h, L"wantsKeys", reinterpret_cast<HANDLE>(1));
    return h;
}

// Pre-translation walks from the target up through GetParent, which for the companion (an owned
// popup) is the background: the companion's dialog manager sees a child's keys first.
TEST_F(TranslucentTest, EnterAndEscapeForACompanionChildThatWantsKeysReachItAndEndNothing) {
    TestBackground bg;
    test::MessageLog childLog;
    bool stillRunning = false;
    test::Deadline deadline("the test to end the background's modal run after the child's keys");
    test::RunSoon([&] {
        HWND child = CreateKeyChild(bg.companion->m_hWnd, childLog, true);
        ::PostMessageW(child, WM_KEYDOWN, VK_RETURN, 0);
        ::PostMessageW(child, WM_KEYDOWN, VK_ESCAPE, 0);
        test::RunSoon([&] {
            stillRunning = ::IsWindowVisible(bg.m_hWnd) && ::IsWindowVisible(bg.companion->m_hWnd);
            bg.EndDialog(78);
        }, 50);
    });
    EXPECT_EQ(bg.DoModal(), 78);
    EXPECT_TRUE(stillRunning);
    EXPECT_EQ(childLog.Count(WM_KEYDOWN, VK_RETURN), 1);
    EXPECT_EQ(childLog.Count(WM_KEYDOWN, VK_ESCAPE), 1);
    EXPECT_EQ(bg.log.Count(WM_CLOSE), 0);
    EXPECT_EQ(bg.companion->log.Count(WM_COMMAND, IDCANCEL), 0);
}

TEST_F(TranslucentTest, EscapeForAnOrdinaryCompanionChildIsTheCompanionsCancelAndClosesThePair) {
    TestBackground bg;
    test::MessageLog childLog;
    test::Deadline deadline("Escape in the companion to cancel it and close the background");
    test::RunSoon([&] {
        HWND child = CreateKeyChild(bg.companion->m_hWnd, childLog, false);
        ::PostMessageW(child, WM_KEYDOWN, VK_ESCAPE, 0);
    });
    EXPECT_EQ(bg.DoModal(), IDCANCEL);
    EXPECT_EQ(childLog.Count(WM_KEYDOWN, VK_ESCAPE), 0) << "the dialog manager consumed it";
    EXPECT_EQ(bg.companion->log.Count(WM_COMMAND, IDCANCEL), 1);
    EXPECT_EQ(bg.log.Count(WM_CLOSE), 1);
}

TEST_F(TranslucentTest, LeftButtonWithDragDisabledGetsOnlyDefaultProcessing) {
    TestBackground bg(IDB_SKIN, true, false);
    ASSERT_TRUE(bg.Create(IDD_VXTRANSLUCENT_DIALOG));
    bg.SetEnableDrag(false);
    const RECT before = WindowRect(bg.m_hWnd);
    ::SendMessageW(bg.m_hWnd, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(20, 20));
    EXPECT_EQ(bg.log.Count(WM_SYSCOMMAND), 0);
    EXPECT_TRUE(SameRect(WindowRect(bg.m_hWnd), before));
}

TEST_F(TranslucentTest, LeftButtonWithDragEnabledRunsTheSystemMoveFirst) {
    TestBackground bg(IDB_SKIN, true, false);
    ASSERT_TRUE(bg.Create(IDD_VXTRANSLUCENT_DIALOG));
    // The move loop ends at the button's release, which is already queued.
    ::PostMessageW(bg.m_hWnd, WM_LBUTTONUP, 0, MAKELPARAM(20, 20));
    const size_t start = bg.log.order.size();
    ::SendMessageW(bg.m_hWnd, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(20, 20));
    EXPECT_EQ(bg.log.Count(WM_SYSCOMMAND, SC_MOVE | HTCAPTION), 1);
    ASSERT_GT(bg.log.order.size(), start + 1);
    EXPECT_EQ(bg.log.order[start], static_cast<UINT>(WM_LBUTTONDOWN));
    EXPECT_EQ(bg.log.order[start + 1], static_cast<UINT>(WM_SYSCOMMAND));
}

TEST_F(TranslucentTest, CompanionCancelClosesTheBackgroundWithExactlyOneClose) {
    TestBackground bg;
    test::Deadline deadline("the companion's cancel to close the background");
    test::RunSoon([&] {
        ::PostMessageW(bg.companion->m_hWnd, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    });
    // The background's close ends its run the dialog way, as Cancel.
    EXPECT_EQ(bg.DoModal(), IDCANCEL);
    EXPECT_EQ(bg.log.Count(WM_CLOSE), 1);
    EXPECT_FALSE(bg.companion->visibleAfterCommand) << "the companion ended itself (hidden)";
    EXPECT_EQ(bg.companion->journal, (std::vector<std::string>{"load data"})) << "cancel exchanges no data";
}

TEST_F(TranslucentTest, CompanionOkClosesTheBackgroundBeforeItsOwnDataExchange) {
    TestBackground bg;
    test::Deadline deadline("the companion's OK to close the background");
    test::RunSoon([&] {
        bg.closeJournal = &bg.companion->journal;
        ::PostMessageW(bg.companion->m_hWnd, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    });
    EXPECT_EQ(bg.DoModal(), IDCANCEL);
    EXPECT_EQ(bg.log.Count(WM_CLOSE), 1);
    EXPECT_FALSE(bg.companion->visibleAfterCommand);
    // The close is sent, and handled, before the OK path's data exchange.
    EXPECT_EQ(bg.companion->journal, (std::vector<std::string>{"load data", "background close", "save data"}));
}

// --- lifetimes ---

class CountedWidget : public COverlayWidget {
public:
    explicit CountedWidget(int& destroyed) : m_destroyed(destroyed) {}
    ~CountedWidget() override { ++m_destroyed; }
    void Render(Gdiplus::Graphics&) override {}
    int& m_destroyed;
};

TEST_F(TranslucentTest, DestructionDeletesTheCompanionBeforeTheSkinAndLeavesWidgetsAlone) {
    int widgetsDestroyed = 0;
    CountedWidget widget(widgetsDestroyed);
    std::vector<std::string> order;
    HWND hBackground = nullptr, hCompanion = nullptr;
    {
        auto* bg = new TestBackground;
        bg->widgetsToAdd = {&widget};
        ASSERT_TRUE(bg->Create(IDD_VXTRANSLUCENT_DIALOG));
        hBackground = bg->m_hWnd;
        hCompanion = bg->companion->m_hWnd;
        bg->companion->onDestroyObject = [&order, bg] {
            order.push_back(bg->HasSkin() ? "companion (skin alive)" : "companion (skin gone)");
        };
        bg->onDestroyObject = [&order] { order.push_back("background"); };
        // Deleting through the listener interface destroys the whole window object.
        std::unique_ptr<IRenderListener> listener(bg);
    }
    EXPECT_EQ(order, (std::vector<std::string>{"background", "companion (skin alive)"}));
    EXPECT_EQ(widgetsDestroyed, 0);
    EXPECT_FALSE(::IsWindow(hBackground));
    EXPECT_FALSE(::IsWindow(hCompanion));
}

} // namespace
