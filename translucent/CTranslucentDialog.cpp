#include "translucent/CTranslucentDialog.h"

#include "framework/Handles.h"
#include "framework/Trace.h"
#include "translucent/LayeredWindowApi.h"

#include <windowsx.h>

#include <climits>
#include <cstring>
#include <string>

POINT CenteredOrigin(const RECT& workArea, int framedWidth, int framedHeight) noexcept {
    // 64-bit intermediates so that extreme rectangles cannot overflow; C++ division truncates toward zero.
    const long long x = workArea.left + (static_cast<long long>(workArea.right) - workArea.left - framedWidth) / 2;
    const long long y = workArea.top + (static_cast<long long>(workArea.bottom) - workArea.top - framedHeight) / 2;
    return POINT{static_cast<LONG>(x), static_cast<LONG>(y)};
}

CTranslucentDialog::CTranslucentDialog(UINT nIDTemplate, UINT nImageID, LPCWSTR lpszImageType,
                                       HMODULE hImageModule, CWnd* pParent, UINT nHighDpiImageID) noexcept
    : CDialog(nIDTemplate, pParent) {
    if (nHighDpiImageID && SystemDpi() > 96) {
        try {
            // Kept for the choice of scale when the window is created.
            m_skinRequest.id = nImageID;
            m_skinRequest.intType = IS_INTRESOURCE(lpszImageType) ? reinterpret_cast<ULONG_PTR>(lpszImageType) : 0;
            if (!m_skinRequest.intType && lpszImageType) m_skinRequest.namedType = lpszImageType;
            m_skinRequest.module = hImageModule;
            m_nHighDpiImageID = nHighDpiImageID;
            // The 1x skin is not decoded when the 2x art will be shown instead: its size is enough
            // to choose the scale. (A skin whose size cannot be read so is taken as it is.)
            if (SkinFrame::ImageSize(nImageID, lpszImageType, hImageModule, m_skinRequest.size)) return;
        } catch (...) {
            m_nHighDpiImageID = 0;
        }
    }
    m_pImage = SkinFrame::Acquire(nImageID, lpszImageType, hImageModule);
}

CTranslucentDialog::~CTranslucentDialog() {
    m_pStandardDialog.reset();
    m_pImage.reset();
    m_widgets.clear();
}

UINT CTranslucentDialog::SkinWidth() const noexcept {
    return m_pImage ? m_pImage->Width() : 0;
}

UINT CTranslucentDialog::SkinHeight() const noexcept {
    return m_pImage ? m_pImage->Height() : 0;
}

namespace {
// Window extents from a skin size; a size beyond int range is taken as no size at all.
int Extent(UINT n) noexcept {
    return n > INT_MAX ? 0 : static_cast<int>(n);
}

// A scale divided by divisor, as a decimal: "2", "1.5", "0.625".
std::wstring ScaleText(UiScale scale, int divisor = 1) {
    const int thousandths = scale.Quarters() * 250 / divisor;
    std::wstring text = std::to_wstring(thousandths / 1000);
    std::wstring fraction = std::to_wstring(1000 + thousandths % 1000).substr(1);
    while (!fraction.empty() && fraction.back() == L'0') fraction.pop_back();
    if (!fraction.empty()) text += L"." + fraction;
    return text;
}
} // namespace

LRESULT CTranslucentDialog::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_ERASEBKGND:
        return OnEraseBkgnd(reinterpret_cast<HDC>(wParam));
    case WM_MOVE:
        OnMove(GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam));
        return 0;
    case WM_SIZE:
        OnSize(static_cast<UINT>(wParam), LOWORD(lParam), HIWORD(lParam));
        return 0;
    case WM_CREATE:
        return OnCreate(reinterpret_cast<CREATESTRUCTW*>(lParam));
    case WM_LBUTTONDOWN:
        OnLButtonDown(static_cast<UINT>(wParam), POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)});
        return 0;
    default:
        return CDialog::WindowProc(message, wParam, lParam);
    }
}

void CTranslucentDialog::ChooseScale(POINT createPos) noexcept {
    m_scale = UiScale();
    if (!m_nHighDpiImageID) return;
    const LPCWSTR type =
        m_skinRequest.intType ? MAKEINTRESOURCEW(m_skinRequest.intType) : m_skinRequest.namedType.c_str();
    const UINT dpi = SystemDpi();
    const bool highDpiArt = TakeHighDpiSkin(type, createPos, dpi);
    // Without the 2x art at a scale above 1, the 1x skin after all, if it was left for now.
    if (!highDpiArt && !m_pImage && m_skinRequest.size.cx > 0) {
        m_pImage = SkinFrame::Acquire(m_skinRequest.id, type, m_skinRequest.module);
    }
    try {
        std::wstring art = highDpiArt ? L"the 2x art" : L"the 1x art";
        if (highDpiArt && m_scale != kLargestScale) art += L" drawn at " + ScaleText(m_scale, 2);
        fw::Trace(L"skin at scale ", ScaleText(m_scale), L" (", std::to_wstring(dpi), L" DPI): ", art);
    } catch (...) {
        // No memory for the line: the window goes on without it.
    }
}

bool CTranslucentDialog::TakeHighDpiSkin(LPCWSTR type, POINT createPos, UINT dpi) noexcept {
    const SIZE size = m_pImage ? SIZE{Extent(SkinWidth()), Extent(SkinHeight())} : m_skinRequest.size;
    if (dpi <= 96 || size.cx <= 0 || size.cy <= 0) return false;
    // The work area of the monitor the window opens on: the primary one when it is centred (on
    // SPI_GETWORKAREA), else the one nearest to where it is created.
    RECT work{};
    SIZE frame{};
    if (m_bCenterWindow) {
        fw::Ignore(::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0));
        // OnCreate centres the framed window, so that is what must fit.
        RECT r{0, 0, 0, 0};
        if (::AdjustWindowRect(&r, GetStyle(), FALSE)) frame = SIZE{r.right - r.left, r.bottom - r.top};
    } else {
        MONITORINFO info{};
        info.cbSize = sizeof info;
        if (::GetMonitorInfoW(::MonitorFromPoint(createPos, MONITOR_DEFAULTTONEAREST), &info)) work = info.rcWork;
    }
    const UiScale scale = FitScale(dpi, size, work, kLargestScale, frame);
    if (scale.IsOne()) return false;
    // The art drawn at 2x, brought to the scale; without it the window stays at 1: a 1x skin is
    // never enlarged.
    std::shared_ptr<const SkinFrame> art =
        SkinFrame::Acquire(m_nHighDpiImageID, type, m_skinRequest.module, scale.Value() / 2.0);
    if (!art || !art->Bitmap()) return false;
    m_pImage = std::move(art);
    m_scale = scale;
    return true;
}

int CTranslucentDialog::OnCreate(CREATESTRUCTW* pcs) {
    POINT pos{pcs ? pcs->x : 0, pcs ? pcs->y : 0};
    ChooseScale(pos);
    if (m_bCenterWindow) {
        // Centred as the framed window the template describes; the frame goes below.
        RECT r{0, 0, Extent(SkinWidth()), Extent(SkinHeight())};
        fw::Ignore(::AdjustWindowRect(&r, GetStyle(), FALSE));
        RECT work{};
        fw::Ignore(::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0));
        pos = CenteredOrigin(work, r.right - r.left, r.bottom - r.top);
    }
    const int width = Extent(SkinWidth());
    const int height = Extent(SkinHeight());
    if (Default() == -1) return -1;
    m_pStandardDialog.reset(CreateStandardDialog());
    if (m_pStandardDialog) m_pStandardDialog->CreateAndShow();
    ModifyStyle(WS_CAPTION, WS_POPUP, 0);
    // The skin's size, not the framed one; WM_MOVE and WM_SIZE bring the companion along.
    MoveWindow(pos.x, pos.y, width, height, TRUE);
    return 0;
}

void CTranslucentDialog::OnMove(int x, int y) {
    Default();
    if (m_pStandardDialog && !m_bWidgetsOnly) {
        ::SetWindowPos(m_pStandardDialog->m_hWnd, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    }
}

void CTranslucentDialog::OnSize(UINT nType, int cx, int cy) {
    Default();
    if (m_pStandardDialog) {
        HWND hCompanion = m_pStandardDialog->m_hWnd;
        // A companion minimised along with this window has no taskbar button of its own: it comes
        // back when this window does, or the skin would show without its controls.
        if (nType != SIZE_MINIMIZED && hCompanion && ::IsIconic(hCompanion)) ::ShowWindow(hCompanion, SW_RESTORE);
        ::SetWindowPos(hCompanion, nullptr, 0, 0, cx, cy, SWP_NOMOVE | SWP_NOZORDER);
    }
}

BOOL CTranslucentDialog::OnEraseBkgnd(HDC) {
    // The layered frame is the whole appearance; there is nothing to erase.
    return TRUE;
}

void CTranslucentDialog::OnLButtonDown(UINT, POINT) {
    // A press anywhere drags the window: the system's move loop returns when the drag ends.
    if (m_bEnableDrag) ::SendMessageW(m_hWnd, WM_SYSCOMMAND, SC_MOVE | HTCAPTION, 0);
    Default();
}

BOOL CTranslucentDialog::PreTranslateMessage(MSG* pMsg) {
    if (pMsg->message == WM_KEYDOWN && (pMsg->wParam == VK_RETURN || pMsg->wParam == VK_ESCAPE)) {
        // Delivered as a plain key: the dialog manager must not turn it into OK or Cancel here.
        ::TranslateMessage(pMsg);
        ::DispatchMessageW(pMsg);
        return TRUE;
    }
    return CDialog::PreTranslateMessage(pMsg);
}

BOOL CTranslucentDialog::OnInitDialog() {
    fw::Ignore(CDialog::OnInitDialog());
    m_bWidgetsOnly = false;
    m_blend = BLENDFUNCTION{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
    OnInitChildrenWnds();
    UpdateView();
    return TRUE;
}

void CTranslucentDialog::OnRenderEvent(void*) {
    if (!m_bIgnoreRenderEvents) UpdateView();
}

bool CTranslucentDialog::HasWidgetsToDraw() const noexcept {
    for (const COverlayWidget* pWidget : m_widgets) {
        if (pWidget && (pWidget->m_bVisible || m_bWidgetsOnly)) return true;
    }
    return false;
}

void CTranslucentDialog::UpdateView() {
    // A render event before the window exists has nothing to present to.
    if (!m_hWnd) return;
    const UINT width = SkinWidth();
    const UINT height = SkinHeight();
    // The window turns layered at its first presentation.
    const DWORD exStyle = GetExStyle();
    if (!(exStyle & WS_EX_LAYERED)) ::SetWindowLongW(m_hWnd, GWL_EXSTYLE, static_cast<LONG>(exStyle | WS_EX_LAYERED));

    // Declared in reverse order of release: the frame bitmap is put back and deleted, then the
    // memory DC, then the window DC.
    fw::WindowDc hdcWindow(m_hWnd);
    fw::UniqueDc hdcMem(::CreateCompatibleDC(hdcWindow.get()));
    RECT rc{};
    GetWindowRect(&rc);
    const POINT ptDst{rc.left, rc.top};
    const SIZE size{static_cast<LONG>(width), static_cast<LONG>(height)};
    const HBITMAP skin = m_pImage ? m_pImage->Bitmap() : nullptr;

    if (!m_bWidgetsOnly && !HasWidgetsToDraw() && skin) {
        // The skin over transparent black is the skin itself: present the shared frame as it is.
        // (Not in widgets-only mode, where the skin shrinks to its one pixel at the origin.)
        // (A frame already selected elsewhere, by a nested presentation, cannot be selected here:
        // that one composes a copy below instead.)
        fw::SelectObjectGuard select(hdcMem.get(), skin);
        if (select.selected()) {
            PresentFrame(hdcWindow.get(), hdcMem.get(), ptDst, size);
            return;
        }
    }

    BITMAPINFO bmi{};
    void* bits = nullptr;
    fw::UniqueBitmap dib;
    if (MakeFrameHeader(width, height, bmi.bmiHeader)) {
        dib.reset(::CreateDIBSection(nullptr, &bmi, DIB_RGB_COLORS, &bits, nullptr, 0));
    }
    if (!dib || !bits) return;
    const void* skinBits = m_pImage ? m_pImage->Bits() : nullptr;
    if (skinBits && !m_bWidgetsOnly) {
        // The skin drawn over transparent black, as premultiplied pixels.
        std::memcpy(bits, skinBits, bmi.bmiHeader.biSizeImage);
    } else {
        std::memset(bits, 0, bmi.bmiHeader.biSizeImage);
    }
    fw::SelectObjectGuard select(hdcMem.get(), dib.get());
    {
        // The Graphics goes before the frame is presented, put back or deleted, on every path:
        // a widget's Render that throws unwinds through here first and goes on to the caller.
        Gdiplus::Graphics graphics(hdcMem.get());
        graphics.SetSmoothingMode(Gdiplus::SmoothingModeNone);
        if (m_bWidgetsOnly && m_pImage) m_pImage->DrawScaled(graphics, 0, 0, 1, 1);
        for (COverlayWidget* pWidget : m_widgets) {
            if (pWidget && (pWidget->m_bVisible || m_bWidgetsOnly)) pWidget->Render(graphics);
        }
        // Everything GDI+ batched is in the frame before UpdateLayeredWindow reads it.
        graphics.Flush(Gdiplus::FlushIntentionSync);
    }
    PresentFrame(hdcWindow.get(), hdcMem.get(), ptDst, size);
}

void CTranslucentDialog::PresentFrame(HDC hdcWindow, HDC hdcMem, POINT ptDst, SIZE size) {
    fw::UniqueModule user32(::LoadLibraryW(kUser32Module));
    auto updateLayered = GetProcAs<UpdateLayeredWindowProc>(user32.get(), "UpdateLayeredWindow");
    if (!updateLayered) return;
    POINT ptSrc{0, 0};
    // ULW_ALPHA with AC_SRC_ALPHA: the frame is premultiplied BGRA; this also sizes the window.
    fw::Ignore(updateLayered(m_hWnd, hdcWindow, &ptDst, &size, hdcMem, &ptSrc, 0, &m_blend, ULW_ALPHA));
}
