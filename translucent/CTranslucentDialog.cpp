#include "translucent/CTranslucentDialog.h"

#include "app/ResourceImage.h"
#include "framework/Handles.h"
#include "translucent/LayeredWindowApi.h"

#include <windowsx.h>

#include <climits>
#include <cstring>
#include <optional>

POINT CenteredOrigin(const RECT& workArea, int framedWidth, int framedHeight) noexcept {
    // 64-bit intermediates so that extreme rectangles cannot overflow; C++ division truncates toward zero.
    const long long x = workArea.left + (static_cast<long long>(workArea.right) - workArea.left - framedWidth) / 2;
    const long long y = workArea.top + (static_cast<long long>(workArea.bottom) - workArea.top - framedHeight) / 2;
    return POINT{static_cast<LONG>(x), static_cast<LONG>(y)};
}

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

CTranslucentDialog::CTranslucentDialog(UINT nIDTemplate, UINT nImageID, LPCWSTR lpszImageType,
                                       HMODULE hImageModule, CWnd* pParent)
    : CDialog(nIDTemplate, pParent), m_pImage(LoadResourceImage(nImageID, lpszImageType, hImageModule)) {}

CTranslucentDialog::~CTranslucentDialog() {
    m_pStandardDialog.reset();
    m_pImage.reset();
    m_widgets.clear();
}

UINT CTranslucentDialog::SkinWidth() const noexcept {
    return m_pImage ? m_pImage->GetWidth() : 0;
}

UINT CTranslucentDialog::SkinHeight() const noexcept {
    return m_pImage ? m_pImage->GetHeight() : 0;
}

namespace {
// Window extents from a skin size; a size beyond int range is taken as no size at all.
int Extent(UINT n) noexcept {
    return n > INT_MAX ? 0 : static_cast<int>(n);
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

int CTranslucentDialog::OnCreate(CREATESTRUCTW* pcs) {
    POINT pos{pcs ? pcs->x : 0, pcs ? pcs->y : 0};
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

void CTranslucentDialog::UpdateView() {
    // A render event before the window exists has nothing to present to.
    if (!m_hWnd) return;
    const UINT width = SkinWidth();
    const UINT height = SkinHeight();
    // The window turns layered at its first presentation.
    const DWORD exStyle = GetExStyle();
    if (!(exStyle & WS_EX_LAYERED)) ::SetWindowLongW(m_hWnd, GWL_EXSTYLE, static_cast<LONG>(exStyle | WS_EX_LAYERED));

    // Declared in reverse order of release: the frame bitmap is put back and deleted, then
    // the Graphics object, then the memory DC, then the window DC. An exception from a
    // widget's Render unwinds the same way and goes on to the caller.
    fw::WindowDc hdcWindow(m_hWnd);
    fw::UniqueDc hdcMem(::CreateCompatibleDC(hdcWindow.get()));
    RECT rc{};
    GetWindowRect(&rc);
    BITMAPINFO bmi{};
    void* bits = nullptr;
    std::optional<Gdiplus::Graphics> graphics;
    fw::UniqueBitmap dib;
    if (MakeFrameHeader(width, height, bmi.bmiHeader)) {
        dib.reset(::CreateDIBSection(nullptr, &bmi, DIB_RGB_COLORS, &bits, nullptr, 0));
    }
    if (!dib || !bits) return;
    // Fully transparent black wherever nothing is drawn.
    std::memset(bits, 0, bmi.bmiHeader.biSizeImage);
    fw::SelectObjectGuard select(hdcMem.get(), dib.get());
    graphics.emplace(hdcMem.get());
    graphics->SetSmoothingMode(Gdiplus::SmoothingModeNone);
    if (m_pImage) {
        if (m_bWidgetsOnly) {
            graphics->DrawImage(m_pImage.get(), 0, 0, 1, 1);
        } else {
            graphics->DrawImage(m_pImage.get(), 0, 0, Extent(width), Extent(height));
        }
    }
    for (COverlayWidget* pWidget : m_widgets) {
        if (pWidget && (pWidget->m_bVisible || m_bWidgetsOnly)) pWidget->Render(*graphics);
    }
    PresentFrame(hdcWindow.get(), hdcMem.get(), POINT{rc.left, rc.top},
                 SIZE{static_cast<LONG>(width), static_cast<LONG>(height)});
}

void CTranslucentDialog::PresentFrame(HDC hdcWindow, HDC hdcMem, POINT ptDst, SIZE size) {
    fw::UniqueModule user32(::LoadLibraryW(kUser32Module));
    auto updateLayered = GetProcAs<UpdateLayeredWindowProc>(user32.get(), "UpdateLayeredWindow");
    if (!updateLayered) return;
    POINT ptSrc{0, 0};
    // ULW_ALPHA with AC_SRC_ALPHA: the frame is premultiplied BGRA; this also sizes the window.
    fw::Ignore(updateLayered(m_hWnd, hdcWindow, &ptDst, &size, hdcMem, &ptSrc, 0, &m_blend, ULW_ALPHA));
}
