// Image buttons on the real companion template: initial data, images, transparency, hot state,
// cursor, clicks, and hostile initial data.
#include "TestSupport.h"
#include "framework/CBrush.h"
#include "framework/CDialog.h"
#include "framework/CMFCButton.h"
#include "framework/CWinApp.h"
#include "framework/MFCButtonProperties.h"
#include "resource.h"

#include "framework/GdiPlus.h"
#include <gtest/gtest.h>
#include <shlwapi.h>

#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr COLORREF kKey = RGB(0, 255, 0);

struct Command {
    int id;
    int code;
    HWND from;
};

// The companion template with the two image buttons bound, a known dialog background and a
// record of the commands that reach it.
class ButtonHost : public CDialog {
public:
    explicit ButtonHost(bool bind = true) : CDialog(IDD_VXSTANDARD_DIALOG), m_bind(bind) {
        m_brush.CreateSolidBrush(kKey);
    }
    BOOL OnInitDialog() override {
        for (int id : {IDC_BTN_CLOSE, IDC_BTN_MINIMIZE}) {
            HWND h = GetDlgItem(id);
            unboundBeforeInit = unboundBeforeInit && h && !CWnd::FromHandlePermanent(h);
        }
        return CDialog::OnInitDialog();
    }
    void DoDataExchange(CDataExchange* pDX) override {
        if (!m_bind) return;
        DDX_Control(pDX, IDC_BTN_MINIMIZE, m_btnMinimize);
        DDX_Control(pDX, IDC_BTN_CLOSE, m_btnClose);
    }
    HBRUSH OnCtlColor(HDC hdc, HWND hWnd, UINT nCtlColor) override {
        if (nCtlColor == CTLCOLOR_DLG) return m_brush.GetSafeHandle();
        return CDialog::OnCtlColor(hdc, hWnd, nCtlColor);
    }
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
        if (message == WM_COMMAND) {
            commands.push_back({LOWORD(wParam), HIWORD(wParam), reinterpret_cast<HWND>(lParam)});
            return 0;
        }
        return CDialog::WindowProc(message, wParam, lParam);
    }
    // Places the dialog like the companion over its skin.
    void Place(bool show) {
        ::SetWindowPos(m_hWnd, HWND_TOP, 0, 0, 1257, 877, SWP_NOACTIVATE | (show ? SWP_SHOWWINDOW : 0));
    }

    bool m_bind;
    bool unboundBeforeInit = true;
    CBrush m_brush;
    CMFCButton m_btnMinimize;
    CMFCButton m_btnClose;
    std::vector<Command> commands;
};

// Pixels of a window's client area as 0x00RRGGBB.
struct Pixels {
    int cx = 0, cy = 0;
    std::vector<uint32_t> px;
    uint32_t At(int x, int y) const { return px[static_cast<size_t>(y) * cx + x] & 0xFFFFFF; }
};

// Renders hWnd's client area into a DIB, through WM_PRINTCLIENT or by reading its window DC.
Pixels Capture(HWND hWnd, bool fromScreen) {
    RECT rc;
    ::GetClientRect(hWnd, &rc);
    Pixels out;
    out.cx = rc.right;
    out.cy = rc.bottom;
    BITMAPINFO bmi{};
    bmi.bmiHeader = {sizeof(BITMAPINFOHEADER), out.cx, -out.cy, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    HDC screen = ::GetDC(nullptr);
    HBITMAP dib = ::CreateDIBSection(screen, &bmi, DIB_RGB_COLORS, &bits, nullptr, 0);
    HDC mem = ::CreateCompatibleDC(screen);
    ::ReleaseDC(nullptr, screen);
    HGDIOBJ old = ::SelectObject(mem, dib);
    std::memset(bits, 0x7F, static_cast<size_t>(out.cx) * out.cy * 4);
    if (fromScreen) {
        HDC wnd = ::GetDC(hWnd);
        ::BitBlt(mem, 0, 0, out.cx, out.cy, wnd, 0, 0, SRCCOPY);
        ::ReleaseDC(hWnd, wnd);
    } else {
        ::SendMessageW(hWnd, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(mem), PRF_CLIENT);
    }
    ::GdiFlush();
    const auto* p = static_cast<const uint32_t*>(bits);
    out.px.assign(p, p + static_cast<size_t>(out.cx) * out.cy);
    ::SelectObject(mem, old);
    ::DeleteDC(mem);
    ::DeleteObject(dib);
    return out;
}

// Reference decode of a "PNG" resource as straight (not premultiplied) ARGB, through a
// different GDI+ path than the button's.
struct RefImage {
    int cx = 0, cy = 0;
    std::vector<uint32_t> argb;
    uint32_t At(int x, int y) const { return argb[static_cast<size_t>(y) * cx + x]; }
};

RefImage LoadRef(UINT id) {
    RefImage out;
    const ResourceBytes res = FindResourceBytes(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(id), L"PNG");
    if (!res.data) return out;
    IStream* stream = ::SHCreateMemStream(res.data, static_cast<UINT>(res.size));
    if (!stream) return out;
    {
        Gdiplus::Bitmap bmp(stream, FALSE);
        out.cx = static_cast<int>(bmp.GetWidth());
        out.cy = static_cast<int>(bmp.GetHeight());
        Gdiplus::Rect r(0, 0, out.cx, out.cy);
        Gdiplus::BitmapData data{};
        if (bmp.LockBits(&r, Gdiplus::ImageLockModeRead, PixelFormat32bppARGB, &data) == Gdiplus::Ok) {
            for (int y = 0; y < out.cy; ++y) {
                const auto* row = reinterpret_cast<const uint32_t*>(static_cast<const BYTE*>(data.Scan0) + y * data.Stride);
                out.argb.insert(out.argb.end(), row, row + out.cx);
            }
            bmp.UnlockBits(&data);
        }
    }
    stream->Release();
    return out;
}

// Straight-alpha source over an opaque background, as 0x00RRGGBB.
uint32_t Over(uint32_t argb, COLORREF bg) {
    const uint32_t a = argb >> 24;
    const uint32_t bgc[3] = {GetBValue(bg), GetGValue(bg), GetRValue(bg)};
    uint32_t out = 0;
    for (int i = 0; i < 3; ++i) {
        const uint32_t c = (argb >> (8 * i)) & 0xFF;
        out |= ((c * a + bgc[i] * (255 - a) + 127) / 255) << (8 * i);
    }
    return out;
}

bool Near(uint32_t a, uint32_t b, int tol) {
    for (int i = 0; i < 3; ++i) {
        const int d = static_cast<int>((a >> (8 * i)) & 0xFF) - static_cast<int>((b >> (8 * i)) & 0xFF);
        if (d > tol || d < -tol) return false;
    }
    return true;
}

uint32_t Rgb(COLORREF c) {
    return (static_cast<uint32_t>(GetRValue(c)) << 16) | (GetGValue(c) << 8) | GetBValue(c);
}

// Hard-edged source over bg: at least half-opaque pixels opaque, the others bg.
uint32_t Cutout(uint32_t argb, COLORREF bg) {
    return (argb >> 24) >= 128 ? (argb & 0xFFFFFF) : Rgb(bg);
}

// Pixels of the captured client area that differ from ref drawn at the top-left over bg, with
// bg everywhere else. A transparent button draws hard edges (cutout), an opaque one blends.
enum class Edges { Blend, Cutout };
int Mismatches(const Pixels& shot, const RefImage& ref, COLORREF bg, Edges edges) {
    int bad = 0;
    for (int y = 0; y < shot.cy; ++y) {
        for (int x = 0; x < shot.cx; ++x) {
            const bool inImage = x < ref.cx && y < ref.cy;
            const uint32_t want =
                inImage ? (edges == Edges::Cutout ? Cutout(ref.At(x, y), bg) : Over(ref.At(x, y), bg)) : Rgb(bg);
            if (!Near(shot.At(x, y), want, inImage ? 2 : 0)) ++bad;
        }
    }
    return bad;
}

// Brightness of the captured image over the opaque pixels of ref.
long long OpaqueBrightness(const Pixels& shot, const RefImage& ref) {
    long long sum = 0;
    for (int y = 0; y < ref.cy; ++y)
        for (int x = 0; x < ref.cx; ++x)
            if ((ref.At(x, y) >> 24) == 255) {
                const uint32_t c = shot.At(x, y);
                sum += (c & 0xFF) + ((c >> 8) & 0xFF) + ((c >> 16) & 0xFF);
            }
    return sum;
}

// Bytes placed right before an inaccessible page, so that any read past their end faults.
class GuardedBytes {
public:
    explicit GuardedBytes(const void* data, size_t n) {
        const size_t page = 4096;
        m_pages = (n + page - 1) / page + 1;
        m_base = static_cast<BYTE*>(::VirtualAlloc(nullptr, m_pages * page, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
        DWORD old = 0;
        ::VirtualProtect(m_base + (m_pages - 1) * page, page, PAGE_NOACCESS, &old);
        m_data = m_base + (m_pages - 1) * page - n;
        if (n) std::memcpy(m_data, data, n);
    }
    ~GuardedBytes() { ::VirtualFree(m_base, 0, MEM_RELEASE); }
    GuardedBytes(const GuardedBytes&) = delete;
    GuardedBytes& operator=(const GuardedBytes&) = delete;
    const char* data() const { return reinterpret_cast<const char*>(m_data); }

private:
    BYTE* m_base = nullptr;
    BYTE* m_data = nullptr;
    size_t m_pages = 0;
};

// The template's property run for one control.
std::string TemplateProperties(WORD id) {
    const ResourceBytes init = FindResourceBytes(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_VXSTANDARD_DIALOG),
                                                 MAKEINTRESOURCEW(RESTYPE_DLGINIT));
    for (const DlgInitRecord& rec : ParseDlgInit(init.data, init.size))
        if (rec.id == id && rec.message == WM_MFC_INITCTRL)
            return std::string(rec.data.begin(), rec.data.end());
    return {};
}

void SendInit(HWND h, const void* data, WPARAM len) {
    ::SendMessageW(h, WM_MFC_INITCTRL, len, reinterpret_cast<LPARAM>(data));
}

// Free GDI handle slots of this process, found by creating brushes until the platform refuses.
// (GetGuiResources is a stub that answers 0 on Wine.)
size_t FreeGdiHandleSlots() {
    std::vector<fw::UniqueBrush> probes;
    probes.reserve(70000);
    while (probes.size() < 70000) {
        HBRUSH h = ::CreateSolidBrush(RGB(1, 2, 3));
        if (!h) break;
        probes.emplace_back(h);
    }
    return probes.size();
}

class MFCButtonTest : public testing::Test {
protected:
    test::GdiplusSession gdiplus;
};

TEST_F(MFCButtonTest, TemplateButtonsAreMfcButtonWindowsThatGetTheirInitialDataBeforeBinding) {
    ButtonHost dlg;
    ASSERT_TRUE(dlg.Create(IDD_VXSTANDARD_DIALOG));
    EXPECT_TRUE(dlg.unboundBeforeInit) << "initial data must reach windows that no object routes yet";
    for (int id : {IDC_BTN_CLOSE, IDC_BTN_MINIMIZE}) {
        HWND h = dlg.GetDlgItem(id);
        ASSERT_NE(h, nullptr);
        EXPECT_EQ(::lstrcmpiW(test::ClassNameOf(h).c_str(), kMfcButtonClassName), 0);
        EXPECT_EQ(::SendMessageW(h, WM_GETDLGCODE, 0, 0), DLGC_BUTTON | DLGC_UNDEFPUSHBUTTON);
    }
    ASSERT_EQ(dlg.m_btnClose.m_hWnd, dlg.GetDlgItem(IDC_BTN_CLOSE));
    ASSERT_EQ(dlg.m_btnMinimize.m_hWnd, dlg.GetDlgItem(IDC_BTN_MINIMIZE));

    const CMFCButton& c = dlg.m_btnClose;
    EXPECT_EQ(c.m_nFlatStyle, CMFCButton::BUTTONSTYLE_NOBORDERS);
    EXPECT_EQ(c.m_nCursorType, CMFCButton::CURSOR_HAND);
    EXPECT_EQ(c.m_nImageType, CMFCButton::IMAGE_BITMAP_BY_ID);
    EXPECT_FALSE(c.m_bFullTextTool);
    EXPECT_FALSE(c.m_bAutosize);
    EXPECT_TRUE(c.m_strToolTip.empty());
    EXPECT_FALSE(c.m_bTopImage);
    EXPECT_FALSE(c.m_bRightImage);
    EXPECT_TRUE(c.GetNormalImage().IsEmpty()) << "image type 10 without an image id loads nothing";

    const CMFCButton& m = dlg.m_btnMinimize;
    EXPECT_EQ(m.m_nFlatStyle, CMFCButton::BUTTONSTYLE_NOBORDERS);
    EXPECT_EQ(m.m_nCursorType, CMFCButton::CURSOR_HAND);
    EXPECT_EQ(m.m_nImageType, CMFCButton::IMAGE_NONE);
    EXPECT_TRUE(m.m_bFullTextTool);
    EXPECT_FALSE(m.m_bAutosize);

    // A fresh object knows none of this on its own.
    CMFCButton fresh;
    EXPECT_NE(fresh.m_nFlatStyle, CMFCButton::BUTTONSTYLE_NOBORDERS);
    EXPECT_NE(fresh.m_nCursorType, CMFCButton::CURSOR_HAND);
}

TEST_F(MFCButtonTest, LauncherSetupLoadsImagesAndPlacesTheButtons) {
    ButtonHost dlg;
    ASSERT_TRUE(dlg.Create(IDD_VXSTANDARD_DIALOG));
    dlg.Place(false);
    dlg.m_btnClose.SetImage(IDB_CLOSE, IDB_CLOSE_HOT, 0);
    dlg.m_btnClose.m_bTransparent = TRUE;
    dlg.m_btnClose.MoveWindow(1018, 249, 58, 88, TRUE);
    dlg.m_btnMinimize.SetImage(IDB_MIN, IDB_MIN_HOT, 0);
    dlg.m_btnMinimize.m_bTransparent = TRUE;
    dlg.m_btnMinimize.MoveWindow(962, 237, 62, 59, TRUE);

    auto rectIn = [&](HWND h) {
        RECT r;
        ::GetWindowRect(h, &r);
        ::MapWindowPoints(nullptr, dlg.m_hWnd, reinterpret_cast<POINT*>(&r), 2);
        return r;
    };
    const RECT rc = rectIn(dlg.m_btnClose.m_hWnd);
    EXPECT_EQ(rc.left, 1018);
    EXPECT_EQ(rc.top, 249);
    EXPECT_EQ(rc.right, 1018 + 58);
    EXPECT_EQ(rc.bottom, 249 + 88);
    const RECT rm = rectIn(dlg.m_btnMinimize.m_hWnd);
    EXPECT_EQ(rm.left, 962);
    EXPECT_EQ(rm.top, 237);
    EXPECT_EQ(rm.right, 962 + 62);
    EXPECT_EQ(rm.bottom, 237 + 59);

    EXPECT_EQ(dlg.m_btnClose.GetNormalImage().Width(), 52);
    EXPECT_EQ(dlg.m_btnClose.GetNormalImage().Height(), 80);
    EXPECT_EQ(dlg.m_btnClose.GetHotImage().Width(), 52);
    EXPECT_TRUE(dlg.m_btnClose.GetDisabledImage().IsEmpty());
    EXPECT_EQ(dlg.m_btnMinimize.GetNormalImage().Width(), 57);
    EXPECT_EQ(dlg.m_btnMinimize.GetNormalImage().Height(), 61);
    EXPECT_EQ(dlg.m_btnMinimize.GetHotImage().Height(), 61);

    // Stored premultiplied: no colour channel exceeds alpha.
    const PremultipliedImage& img = dlg.m_btnClose.GetNormalImage();
    int partial = 0;
    for (int y = 0; y < img.Height(); ++y)
        for (int x = 0; x < img.Width(); ++x) {
            const uint32_t p = img.At(x, y);
            const uint32_t a = p >> 24;
            ASSERT_LE((p >> 16) & 0xFF, a);
            ASSERT_LE((p >> 8) & 0xFF, a);
            ASSERT_LE(p & 0xFF, a);
            if (a > 0 && a < 255) ++partial;
        }
    EXPECT_GT(partial, 0);

    // Missing resources leave the button without images.
    dlg.m_btnMinimize.SetImage(9999, 0, 0);
    EXPECT_TRUE(dlg.m_btnMinimize.GetNormalImage().IsEmpty());
    EXPECT_TRUE(dlg.m_btnMinimize.GetHotImage().IsEmpty());
}

TEST_F(MFCButtonTest, TransparentButtonCutsItsImageOutOverTheParentsDialogBrush) {
    ButtonHost dlg;
    ASSERT_TRUE(dlg.Create(IDD_VXSTANDARD_DIALOG));
    dlg.Place(false);
    CMFCButton& b = dlg.m_btnClose;
    b.SetImage(IDB_CLOSE, IDB_CLOSE_HOT, 0);
    b.m_bTransparent = TRUE;
    b.MoveWindow(1018, 249, 58, 88, TRUE);

    const RefImage ref = LoadRef(IDB_CLOSE);
    ASSERT_EQ(ref.cx, 52);
    int opaque = 0, clear = 0;
    for (uint32_t p : ref.argb) {
        opaque += (p >> 24) == 255;
        clear += (p >> 24) == 0;
    }
    ASSERT_GT(opaque, 100);
    ASSERT_GT(clear, 100);

    const Pixels shot = Capture(b.m_hWnd, false);
    ASSERT_EQ(shot.cx, 58);
    ASSERT_EQ(shot.cy, 88);
    EXPECT_EQ(Mismatches(shot, ref, kKey, Edges::Cutout), 0);
    // Top-left placement: the strip right of and below the image is the parent's colour.
    EXPECT_EQ(shot.At(57, 87), Rgb(kKey));
    EXPECT_EQ(shot.At(52, 0), Rgb(kKey));

    // The minimise button the same way, with its own images.
    CMFCButton& mb = dlg.m_btnMinimize;
    mb.SetImage(IDB_MIN, IDB_MIN_HOT, 0);
    mb.m_bTransparent = TRUE;
    mb.MoveWindow(962, 237, 62, 59, TRUE);
    EXPECT_EQ(Mismatches(Capture(mb.m_hWnd, false), LoadRef(IDB_MIN), kKey, Edges::Cutout), 0);

    // Not transparent: the button face instead of the parent's brush.
    b.m_bTransparent = FALSE;
    const COLORREF face = ::GetSysColor(COLOR_BTNFACE);
    ASSERT_NE(face, kKey);
    EXPECT_EQ(Mismatches(Capture(b.m_hWnd, false), ref, face, Edges::Blend), 0);
}

TEST_F(MFCButtonTest, PaintShowsTheSameOnScreen) {
    ButtonHost dlg;
    ASSERT_TRUE(dlg.Create(IDD_VXSTANDARD_DIALOG));
    dlg.Place(true);
    CMFCButton& b = dlg.m_btnClose;
    b.SetImage(IDB_CLOSE, IDB_CLOSE_HOT, 0);
    b.m_bTransparent = TRUE;
    b.MoveWindow(1018, 249, 58, 88, TRUE);
    ::RedrawWindow(dlg.m_hWnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    test::PumpFor(50);
    EXPECT_EQ(Mismatches(Capture(b.m_hWnd, true), LoadRef(IDB_CLOSE), kKey, Edges::Cutout), 0);
}

TEST_F(MFCButtonTest, HotImageWhileTheMouseIsOverAndNormalAfterItLeaves) {
    ButtonHost dlg;
    ASSERT_TRUE(dlg.Create(IDD_VXSTANDARD_DIALOG));
    dlg.Place(true);
    CMFCButton& b = dlg.m_btnClose;
    b.SetImage(IDB_CLOSE, IDB_CLOSE_HOT, 0);
    b.m_bTransparent = TRUE;
    b.MoveWindow(1018, 249, 58, 88, TRUE);
    test::PumpFor(20);

    const RefImage normal = LoadRef(IDB_CLOSE);
    const RefImage hot = LoadRef(IDB_CLOSE_HOT);
    const Pixels before = Capture(b.m_hWnd, false);
    EXPECT_FALSE(b.IsHighlighted());

    POINT pt{20, 30};
    POINT screen = pt;
    ::ClientToScreen(b.m_hWnd, &screen);
    ::SetCursorPos(screen.x, screen.y);
    ::SendMessageW(b.m_hWnd, WM_MOUSEMOVE, 0, MAKELPARAM(pt.x, pt.y));
    EXPECT_TRUE(b.IsHighlighted());
    EXPECT_TRUE(::SendMessageW(b.m_hWnd, BM_GETSTATE, 0, 0) & 0x0200);
    const Pixels over = Capture(b.m_hWnd, false);
    EXPECT_EQ(Mismatches(over, hot, kKey, Edges::Cutout), 0);
    EXPECT_GT(OpaqueBrightness(over, hot), OpaqueBrightness(before, hot)) << "the hot image is the brighter one";
    // The change is painted, not only recorded.
    test::PumpFor(30);
    EXPECT_EQ(Mismatches(Capture(b.m_hWnd, true), hot, kKey, Edges::Cutout), 0);
    EXPECT_TRUE(b.IsHighlighted()) << "stays hot while the cursor is over it";

    ::SendMessageW(b.m_hWnd, WM_MOUSELEAVE, 0, 0);
    EXPECT_FALSE(b.IsHighlighted());
    EXPECT_EQ(Mismatches(Capture(b.m_hWnd, false), normal, kKey, Edges::Cutout), 0);

    // A real departure of the cursor ends the hot state through mouse tracking.
    ::SendMessageW(b.m_hWnd, WM_MOUSEMOVE, 0, MAKELPARAM(pt.x, pt.y));
    ASSERT_TRUE(b.IsHighlighted());
    ::SetCursorPos(5, 5);
    EXPECT_TRUE(test::PumpUntil([&] { return !b.IsHighlighted(); }, 3000));
    test::PumpFor(30);
    EXPECT_EQ(Mismatches(Capture(b.m_hWnd, true), normal, kKey, Edges::Cutout), 0);

    // Without a hot image the normal one stays.
    b.SetImage(IDB_CLOSE, 0, 0);
    ::SetCursorPos(screen.x, screen.y);
    ::SendMessageW(b.m_hWnd, WM_MOUSEMOVE, 0, MAKELPARAM(pt.x, pt.y));
    EXPECT_TRUE(b.IsHighlighted());
    EXPECT_EQ(Mismatches(Capture(b.m_hWnd, false), normal, kKey, Edges::Cutout), 0);
    ::SetCursorPos(5, 5);
}

TEST_F(MFCButtonTest, HandCursorOnlyForCursorType12) {
    ButtonHost dlg;
    ASSERT_TRUE(dlg.Create(IDD_VXSTANDARD_DIALOG));
    dlg.Place(true);
    HCURSOR hand = ::LoadCursorW(nullptr, IDC_HAND);
    HCURSOR arrow = ::LoadCursorW(nullptr, IDC_ARROW);
    ASSERT_NE(hand, arrow);
    HWND h = dlg.m_btnClose.m_hWnd;
    const LPARAM hit = MAKELPARAM(HTCLIENT, WM_MOUSEMOVE);

    ::SetCursor(arrow);
    EXPECT_EQ(::SendMessageW(h, WM_SETCURSOR, reinterpret_cast<WPARAM>(h), hit), TRUE);
    EXPECT_EQ(::GetCursor(), hand);

    // Outside the client area the default applies.
    ::SetCursor(arrow);
    ::SendMessageW(h, WM_SETCURSOR, reinterpret_cast<WPARAM>(h), MAKELPARAM(HTBORDER, WM_MOUSEMOVE));
    EXPECT_NE(::GetCursor(), hand);

    const std::string other = "<MFCButton_CursorType>0</MFCButton_CursorType>";
    dlg.m_btnClose.ApplyProperties(other.data(), other.size());
    EXPECT_EQ(dlg.m_btnClose.m_nCursorType, 0);
    ::SetCursor(arrow);
    ::SendMessageW(h, WM_SETCURSOR, reinterpret_cast<WPARAM>(h), hit);
    EXPECT_EQ(::GetCursor(), arrow);
}

TEST_F(MFCButtonTest, ClicksSendExactlyOneBnClickedToTheParent) {
    ButtonHost dlg;
    ASSERT_TRUE(dlg.Create(IDD_VXSTANDARD_DIALOG));
    dlg.Place(true);
    CMFCButton& b = dlg.m_btnClose;
    b.SetImage(IDB_CLOSE, IDB_CLOSE_HOT, 0);
    b.m_bTransparent = TRUE;
    b.MoveWindow(1018, 249, 58, 88, TRUE);
    HWND h = b.m_hWnd;
    auto expectOneClick = [&](const char* what) {
        ASSERT_EQ(dlg.commands.size(), 1u) << what;
        EXPECT_EQ(dlg.commands[0].id, IDC_BTN_CLOSE) << what;
        EXPECT_EQ(dlg.commands[0].code, BN_CLICKED) << what;
        EXPECT_EQ(dlg.commands[0].from, h) << what;
        dlg.commands.clear();
    };

    ::SendMessageW(h, BM_CLICK, 0, 0);
    expectOneClick("BM_CLICK");

    ::SendMessageW(h, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(10, 10));
    EXPECT_TRUE(b.IsPressed());
    EXPECT_EQ(::GetCapture(), h);
    EXPECT_TRUE(dlg.commands.empty()) << "nothing before the release";
    EXPECT_EQ(Mismatches(Capture(h, false), LoadRef(IDB_CLOSE_HOT), kKey, Edges::Cutout), 0) << "pressed shows the hot image";
    ::SendMessageW(h, WM_LBUTTONUP, 0, MAKELPARAM(10, 10));
    EXPECT_FALSE(b.IsPressed());
    EXPECT_NE(::GetCapture(), h);
    expectOneClick("mouse down and up inside");

    // Released outside: no command; dragging back in re-arms it.
    ::SendMessageW(h, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(10, 10));
    ::SendMessageW(h, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(200, 200));
    EXPECT_FALSE(b.IsPressed());
    ::SendMessageW(h, WM_LBUTTONUP, 0, MAKELPARAM(200, 200));
    EXPECT_TRUE(dlg.commands.empty());
    ::SendMessageW(h, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(10, 10));
    ::SendMessageW(h, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(200, 200));
    ::SendMessageW(h, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(30, 30));
    ::SendMessageW(h, WM_LBUTTONUP, 0, MAKELPARAM(30, 30));
    expectOneClick("back inside before the release");

    // A release without a press is no click; losing the capture cancels the press.
    ::SendMessageW(h, WM_LBUTTONUP, 0, MAKELPARAM(10, 10));
    ::SendMessageW(h, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(10, 10));
    ::ReleaseCapture();
    EXPECT_FALSE(b.IsPressed());
    ::SendMessageW(h, WM_LBUTTONUP, 0, MAKELPARAM(10, 10));
    EXPECT_TRUE(dlg.commands.empty());

    // Space bar.
    ::SendMessageW(h, WM_KEYDOWN, VK_SPACE, 0);
    EXPECT_TRUE(b.IsPressed());
    ::SendMessageW(h, WM_KEYUP, VK_SPACE, 0xC0000001);
    expectOneClick("space");

    // Disabled: BM_CLICK does nothing.
    b.EnableWindow(FALSE);
    ::SendMessageW(h, BM_CLICK, 0, 0);
    EXPECT_TRUE(dlg.commands.empty());
    b.EnableWindow(TRUE);

    // The other button reports its own id.
    ::SendMessageW(dlg.m_btnMinimize.m_hWnd, BM_CLICK, 0, 0);
    ASSERT_EQ(dlg.commands.size(), 1u);
    EXPECT_EQ(dlg.commands[0].id, IDC_BTN_MINIMIZE);

    // Two quick real clicks: the second press comes as a double click (the class asks for them,
    // as the system's buttons do) and is a click of its own.
    dlg.commands.clear();
    POINT screen{20, 40};
    ::ClientToScreen(h, &screen);
    ::SetCursorPos(screen.x, screen.y);
    ASSERT_EQ(::WindowFromPoint(screen), h);
    INPUT clicks[4]{};
    for (int i = 0; i < 4; ++i) {
        clicks[i].type = INPUT_MOUSE;
        clicks[i].mi.dwFlags = (i % 2) ? MOUSEEVENTF_LEFTUP : MOUSEEVENTF_LEFTDOWN;
    }
    ASSERT_EQ(::SendInput(4, clicks, sizeof(INPUT)), 4u);
    test::PumpUntil([&] { return dlg.commands.size() >= 2; }, 1500);
    EXPECT_EQ(dlg.commands.size(), 2u);
}

TEST_F(MFCButtonTest, UnboundTemplateButtonsStillBehaveAsButtons) {
    ButtonHost dlg(false);
    ASSERT_TRUE(dlg.Create(IDD_VXSTANDARD_DIALOG));
    HWND h = dlg.GetDlgItem(IDC_BTN_MINIMIZE);
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(CWnd::FromHandlePermanent(h), nullptr);

    ::SendMessageW(h, BM_CLICK, 0, 0);
    ASSERT_EQ(dlg.commands.size(), 1u);
    EXPECT_EQ(dlg.commands[0].id, IDC_BTN_MINIMIZE);
    EXPECT_EQ(dlg.commands[0].code, BN_CLICKED);
    EXPECT_EQ(dlg.commands[0].from, h);

    // The dialog manager's default-button protocol.
    ::SendMessageW(h, BM_SETSTYLE, BS_DEFPUSHBUTTON, TRUE);
    EXPECT_EQ(::GetWindowLongW(h, GWL_STYLE) & BS_TYPEMASK, BS_DEFPUSHBUTTON);
    EXPECT_TRUE(::GetWindowLongW(h, GWL_STYLE) & WS_TABSTOP) << "other style bits kept";
    EXPECT_EQ(::SendMessageW(h, WM_GETDLGCODE, 0, 0), DLGC_BUTTON | DLGC_DEFPUSHBUTTON);
    ::SendMessageW(h, BM_SETSTYLE, BS_PUSHBUTTON, TRUE);
    EXPECT_EQ(::SendMessageW(h, WM_GETDLGCODE, 0, 0), DLGC_BUTTON | DLGC_UNDEFPUSHBUTTON);

    // Binding late still picks up the stored initial data.
    CMFCButton late;
    ASSERT_TRUE(late.SubclassWindow(h));
    EXPECT_EQ(late.m_nCursorType, CMFCButton::CURSOR_HAND);
    EXPECT_TRUE(late.m_bFullTextTool);
    EXPECT_EQ(late.m_nImageType, CMFCButton::IMAGE_NONE);
    // Data sent after binding is applied at once.
    const std::string more = "<MFCButton_Style>0</MFCButton_Style><MFCButton_ImageOnTop>TRUE</MFCButton_ImageOnTop>";
    SendInit(h, more.data(), more.size());
    EXPECT_EQ(late.m_nFlatStyle, 0);
    EXPECT_TRUE(late.m_bTopImage);
    EXPECT_EQ(late.m_nCursorType, CMFCButton::CURSOR_HAND) << "properties not named are kept";
    late.UnsubclassWindow();

    // Created in code: the same class, clickable with the mouse, its text in the face.
    CMFCButton made;
    ASSERT_TRUE(made.Create(L"Go", WS_VISIBLE, RECT{10, 10, 90, 40}, &dlg, 4321));
    EXPECT_EQ(::lstrcmpiW(test::ClassNameOf(made.m_hWnd).c_str(), kMfcButtonClassName), 0);
    EXPECT_EQ(made.GetWindowText(), L"Go");
    dlg.commands.clear();
    ::SendMessageW(made.m_hWnd, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
    ::SendMessageW(made.m_hWnd, WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
    ASSERT_EQ(dlg.commands.size(), 1u);
    EXPECT_EQ(dlg.commands[0].id, 4321);
    EXPECT_TRUE(made.DestroyWindow());
}

TEST_F(MFCButtonTest, ButtonsWithoutImagesPaintFaceAndBorder) {
    ButtonHost dlg;
    ASSERT_TRUE(dlg.Create(IDD_VXSTANDARD_DIALOG));
    dlg.Place(true);
    CMFCButton& b = dlg.m_btnMinimize;
    b.MoveWindow(962, 237, 62, 59, TRUE);
    const uint32_t face = Rgb(::GetSysColor(COLOR_BTNFACE));

    Pixels shot = Capture(b.m_hWnd, false);
    int notFace = 0;
    for (uint32_t p : shot.px) notFace += (p & 0xFFFFFF) != face;
    EXPECT_EQ(notFace, 0) << "borderless, no image: only the face";

    b.m_bTransparent = TRUE;
    shot = Capture(b.m_hWnd, false);
    EXPECT_EQ(shot.At(0, 0), Rgb(kKey));
    EXPECT_EQ(shot.At(61, 58), Rgb(kKey));

    // With a border style the edge is drawn around the face.
    b.m_bTransparent = FALSE;
    b.m_nFlatStyle = CMFCButton::BUTTONSTYLE_3D;
    shot = Capture(b.m_hWnd, false);
    EXPECT_NE(shot.At(0, 0), face);
    EXPECT_NE(shot.At(61, 58), face);
    EXPECT_EQ(shot.At(30, 30), face);

    // Painting through WM_PAINT as well.
    ::RedrawWindow(b.m_hWnd, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    shot = Capture(b.m_hWnd, true);
    EXPECT_EQ(shot.At(30, 30), face);
    EXPECT_NE(shot.At(0, 0), face);

    // Text beside no image is drawn in the face.
    b.SetWindowText(L"X");
    shot = Capture(b.m_hWnd, false);
    notFace = 0;
    for (int y = 3; y < 56; ++y)
        for (int x = 3; x < 59; ++x) notFace += shot.At(x, y) != face;
    EXPECT_GT(notFace, 0);
}

TEST_F(MFCButtonTest, RepeatedPaintsLeaveNoGdiObjects) {
    ButtonHost dlg;
    ASSERT_TRUE(dlg.Create(IDD_VXSTANDARD_DIALOG));
    dlg.Place(true);
    CMFCButton& b = dlg.m_btnClose;
    b.SetImage(IDB_CLOSE, IDB_CLOSE_HOT, 0);
    b.m_bTransparent = TRUE;
    b.MoveWindow(1018, 249, 58, 88, TRUE);
    b.SetWindowText(L"close");
    ::RedrawWindow(b.m_hWnd, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    Capture(b.m_hWnd, false);

    const size_t before = FreeGdiHandleSlots();
    ASSERT_GT(before, 1000u);
    ASSERT_LT(before, 70000u);
    for (int i = 0; i < 100; ++i) {
        ::SendMessageW(b.m_hWnd, WM_MOUSEMOVE, 0, MAKELPARAM(5, 5));
        ::RedrawWindow(b.m_hWnd, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
        ::SendMessageW(b.m_hWnd, WM_MOUSELEAVE, 0, 0);
        ::RedrawWindow(b.m_hWnd, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    }
    EXPECT_EQ(FreeGdiHandleSlots(), before);
}

// --- hostile initial data ---

TEST(MFCButtonProperties, TemplateRunAndEveryTruncationOfIt) {
    const std::string text = TemplateProperties(IDC_BTN_CLOSE);
    ASSERT_EQ(text.size(), 371u);
    const auto props = ParseMFCButtonProperties(text.data(), text.size());
    const std::vector<std::pair<std::string, std::string>> want = {
        {"MFCButton_Style", "6"},          {"MFCButton_Autosize", "FALSE"}, {"MFCButton_Tooltip", ""},
        {"MFCButton_FullTextTool", "FALSE"}, {"MFCButton_CursorType", "12"}, {"MFCButton_ImageType", "10"},
        {"MFCButton_ImageOnTop", "FALSE"}, {"MFCButton_ImageOnRight", "FALSE"}};
    ASSERT_EQ(props.size(), want.size());
    for (size_t i = 0; i < want.size(); ++i) {
        EXPECT_EQ(props[i].name, want[i].first);
        EXPECT_EQ(props[i].value, want[i].second);
    }

    // Each cut keeps exactly the properties whose closing tag is complete, and reads nothing
    // beyond the cut.
    std::vector<size_t> ends;
    for (size_t pos = 0; (pos = text.find("</", pos)) != std::string::npos; ++pos) ends.push_back(text.find('>', pos) + 1);
    for (size_t n = 0; n <= text.size(); ++n) {
        GuardedBytes buf(text.data(), n);
        size_t complete = 0;
        while (complete < ends.size() && ends[complete] <= n) ++complete;
        ASSERT_EQ(ParseMFCButtonProperties(buf.data(), n).size(), complete) << "cut at " << n;
    }
    EXPECT_TRUE(ParseMFCButtonProperties(nullptr, 100).empty());
}

TEST(MFCButtonProperties, BadValuesAndMalformedTagsLeaveSettingsAlone) {
    CMFCButton b;
    const std::string bad =
        "<MFCButton_Style>abc</MFCButton_Style><MFCButton_CursorType>99999999999</MFCButton_CursorType>"
        "<MFCButton_Autosize>maybe</MFCButton_Autosize><MFCButton_ImageType></MFCButton_ImageType>";
    b.ApplyProperties(bad.data(), bad.size());
    EXPECT_EQ(b.m_nFlatStyle, CMFCButton::BUTTONSTYLE_3D);
    EXPECT_EQ(b.m_nCursorType, CMFCButton::CURSOR_DEFAULT);
    EXPECT_FALSE(b.m_bAutosize);
    EXPECT_EQ(b.m_nImageType, 0);

    // Parsing stops at the first malformed entry; what came before counts.
    const std::string mixed = "<MFCButton_Style>6</MFCButton_Style></MFCButton_CursorType>12<MFCButton_CursorType>";
    b.ApplyProperties(mixed.data(), mixed.size());
    EXPECT_EQ(b.m_nFlatStyle, 6);
    EXPECT_EQ(b.m_nCursorType, CMFCButton::CURSOR_DEFAULT);
    EXPECT_EQ(ParseMFCButtonProperties("<a>1</b>", 8).size(), 0u);
    EXPECT_EQ(ParseMFCButtonProperties("x<a>1</a>", 9).size(), 0u);
    EXPECT_EQ(ParseMFCButtonProperties("<>1</>", 6).size(), 0u);
    const std::string withAngle = "<MFCButton_Tooltip>a<b></MFCButton_Tooltip>";
    const auto angle = ParseMFCButtonProperties(withAngle.data(), withAngle.size());
    ASSERT_EQ(angle.size(), 1u);
    EXPECT_EQ(angle[0].value, "a<b>");
}

TEST_F(MFCButtonTest, RandomInitialDataNeverCrashesOrOverruns) {
    ButtonHost dlg;
    ASSERT_TRUE(dlg.Create(IDD_VXSTANDARD_DIALOG));
    HWND bound = dlg.m_btnClose.m_hWnd;
    ButtonHost plain(false);
    ASSERT_TRUE(plain.Create(IDD_VXSTANDARD_DIALOG));
    HWND unbound = plain.GetDlgItem(IDC_BTN_CLOSE);

    const std::string real = TemplateProperties(IDC_BTN_CLOSE);
    std::mt19937 rng(1234);
    const std::string alphabet = "<>/MFCButton_StyleCursorTypeImageTRUEFALSE0123456789\xff";
    for (int round = 0; round < 400; ++round) {
        std::string s;
        const size_t len = rng() % 600;
        switch (round % 3) {
        case 0: // raw bytes
            for (size_t i = 0; i < len; ++i) s.push_back(static_cast<char>(rng() & 0xFF));
            break;
        case 1: // tag-like noise
            for (size_t i = 0; i < len; ++i) s.push_back(alphabet[rng() % alphabet.size()]);
            break;
        default: // the real run, cut and with bytes flipped
            s = real.substr(0, rng() % (real.size() + 1));
            for (int k = 0; k < 3 && !s.empty(); ++k) s[rng() % s.size()] = static_cast<char>(rng() & 0xFF);
            break;
        }
        GuardedBytes buf(s.data(), s.size());
        for (const MFCButtonProperty& p : ParseMFCButtonProperties(buf.data(), s.size())) {
            ASSERT_LE(p.name.size() + p.value.size(), s.size());
        }
        SendInit(bound, buf.data(), s.size());
        SendInit(unbound, buf.data(), s.size());
    }
    // A null pointer with any length is ignored.
    SendInit(bound, nullptr, 371);
    SendInit(unbound, nullptr, 0x7FFFFFFF);
    // An oversized length stops at the end of the text (its terminating NUL).
    const std::string small = "<MFCButton_Style>6</MFCButton_Style>";
    GuardedBytes terminated(small.c_str(), small.size() + 1);
    dlg.m_btnClose.m_nFlatStyle = 0;
    SendInit(bound, terminated.data(), static_cast<WPARAM>(1) << 30);
    EXPECT_EQ(dlg.m_btnClose.m_nFlatStyle, 6);
    SendInit(unbound, terminated.data(), static_cast<WPARAM>(1) << 30);
    CMFCButton late;
    ASSERT_TRUE(late.SubclassWindow(unbound));
    EXPECT_EQ(late.m_nFlatStyle, 6);
    EXPECT_EQ(late.m_nCursorType, CMFCButton::CURSOR_DEFAULT) << "the last initial data replaces earlier data";
    EXPECT_TRUE(::IsWindow(bound));
    // The windows still paint after all of it.
    Capture(bound, false);
    Capture(unbound, false);
}

TEST(CBrushObject, OwnsItsBrush) {
    CBrush brush;
    EXPECT_EQ(brush.GetSafeHandle(), nullptr);
    ASSERT_TRUE(brush.CreateSolidBrush(RGB(1, 2, 3)));
    HBRUSH h = brush.GetSafeHandle();
    LOGBRUSH lb{};
    ASSERT_EQ(::GetObjectW(h, sizeof(lb), &lb), static_cast<int>(sizeof(lb)));
    EXPECT_EQ(lb.lbColor, RGB(1, 2, 3));
    fw::UniqueBrush other(::CreateSolidBrush(0));
    EXPECT_FALSE(brush.Attach(other.get())) << "one brush at a time";
    EXPECT_EQ(brush.GetSafeHandle(), h);
    EXPECT_TRUE(brush.DeleteObject());
    EXPECT_EQ(brush.GetSafeHandle(), nullptr);
    EXPECT_EQ(::GetObjectType(h), 0u) << "deleted";
    {
        CBrush scoped(RGB(4, 5, 6));
        h = scoped.GetSafeHandle();
        ASSERT_NE(h, nullptr);
    }
    EXPECT_EQ(::GetObjectType(h), 0u) << "deleted with its owner";
}

} // namespace
