#include "framework/CMFCButton.h"

#include "framework/CWinApp.h"
#include "framework/DialogTemplate.h"
#include "framework/Handles.h"
#include "framework/MFCButtonProperties.h"
#include "framework/TextConvert.h"

#include <windowsx.h>

#include <memory>

namespace {

// Initial data longer than this is not property text; it is cut here.
constexpr size_t kMaxInitData = 64 * 1024;

// BM_GETSTATE's hot bit (commctrl 6 buttons); MinGW's headers lack it.
constexpr LRESULT kStateHot = 0x0200;

ATOM g_mfcButtonAtom = 0;

// The initial data text of an "MfcButton" window: a heap string whose pointer sits in the
// window's extra bytes, owned by the class procedure and freed on WM_NCDESTROY.
const std::string* StoredInitData(HWND hWnd) noexcept {
    return reinterpret_cast<const std::string*>(::GetWindowLongPtrW(hWnd, 0));
}

// Byte count of the text at p: at most len, at most kMaxInitData, up to the first NUL (the
// property text is ASCII, so a NUL marks the end of what the sender really has).
size_t BoundedLength(const char* p, size_t len) noexcept {
    if (!p) return 0;
    if (len > kMaxInitData) len = kMaxInitData;
    size_t n = 0;
    while (n < len && p[n] != '\0') ++n;
    return n;
}

void NotifyClicked(HWND hWnd) {
    HWND hParent = ::GetParent(hWnd);
    if (!hParent) return;
    const int id = ::GetDlgCtrlID(hWnd);
    ::SendMessageW(hParent, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(hWnd));
}

// Class procedure: what every "MfcButton" window does, bound to an object or not. A bound
// window still reaches it as the object's default processing.
LRESULT CALLBACK MfcButtonClassProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) noexcept {
    try {
        switch (message) {
        case WM_GETDLGCODE: {
            const DWORD type = static_cast<DWORD>(::GetWindowLongW(hWnd, GWL_STYLE)) & BS_TYPEMASK;
            return DLGC_BUTTON | (type == BS_DEFPUSHBUTTON ? DLGC_DEFPUSHBUTTON : DLGC_UNDEFPUSHBUTTON);
        }
        case BM_SETSTYLE: {
            // The dialog manager moves the default-button look between push buttons this way.
            const DWORD style = static_cast<DWORD>(::GetWindowLongW(hWnd, GWL_STYLE));
            const DWORD newStyle = (style & ~static_cast<DWORD>(BS_TYPEMASK)) | (wParam & BS_TYPEMASK);
            if (newStyle != style) ::SetWindowLongW(hWnd, GWL_STYLE, static_cast<LONG>(newStyle));
            if (lParam) ::InvalidateRect(hWnd, nullptr, FALSE);
            return 0;
        }
        case BM_CLICK:
            if (::IsWindowEnabled(hWnd)) NotifyClicked(hWnd);
            return 0;
        case WM_MFC_INITCTRL: {
            // Sent by the dialog before any object binds the window: keep a copy for it.
            const char* p = reinterpret_cast<const char*>(lParam);
            std::unique_ptr<std::string> copy;
            if (p) copy = std::make_unique<std::string>(p, BoundedLength(p, wParam));
            std::unique_ptr<std::string> old(reinterpret_cast<std::string*>(
                ::SetWindowLongPtrW(hWnd, 0, reinterpret_cast<LONG_PTR>(copy.get()))));
            fw::Ignore(copy.release());
            return p ? TRUE : FALSE;
        }
        case WM_NCDESTROY: {
            std::unique_ptr<std::string> owned(reinterpret_cast<std::string*>(::SetWindowLongPtrW(hWnd, 0, 0)));
            break;
        }
        default:
            break;
        }
    } catch (...) {
        // No C++ exception may cross the window procedure.
        return 0;
    }
    return ::DefWindowProcW(hWnd, message, wParam, lParam);
}

} // namespace

BOOL AfxRegisterMFCCtrlClasses() noexcept {
    static const ATOM atom = [] {
        WNDCLASSEXW wc{};
        wc.cbSize = sizeof(wc);
        // Global: the dialog manager creates template items with the template's module, which
        // need not be the module that registered the class. Double clicks, as for the system's
        // buttons: the second press of a quick pair arrives as WM_LBUTTONDBLCLK and is a press.
        wc.style = CS_GLOBALCLASS | CS_HREDRAW | CS_VREDRAW | CS_DBLCLKS;
        wc.lpfnWndProc = &MfcButtonClassProc;
        wc.cbWndExtra = sizeof(LONG_PTR);
        wc.hInstance = ::GetModuleHandleW(nullptr);
        wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
        wc.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_BTNFACE + 1));
        wc.lpszClassName = kMfcButtonClassName;
        return ::RegisterClassExW(&wc);
    }();
    g_mfcButtonAtom = atom;
    return atom != 0;
}

CMFCButton::CMFCButton() noexcept = default;

CMFCButton::~CMFCButton() = default;

BOOL CMFCButton::Create(LPCWSTR lpszCaption, DWORD dwStyle, const RECT& rect, CWnd* pParentWnd, UINT nID) {
    if (!AfxRegisterMFCCtrlClasses()) return FALSE;
    return CWnd::Create(kMfcButtonClassName, lpszCaption, dwStyle, rect, pParentWnd, nID);
}

void CMFCButton::ApplyProperties(const char* data, size_t size) {
    for (const MFCButtonProperty& prop : ParseMFCButtonProperties(data, size)) {
        const std::string& n = prop.name;
        if (n == "MFCButton_Style") {
            ParseMFCButtonInt(prop.value, m_nFlatStyle);
        } else if (n == "MFCButton_Autosize") {
            ParseMFCButtonBool(prop.value, m_bAutosize);
        } else if (n == "MFCButton_Tooltip") {
            m_strToolTip = fw::Widen(prop.value);
        } else if (n == "MFCButton_FullTextTool") {
            ParseMFCButtonBool(prop.value, m_bFullTextTool);
        } else if (n == "MFCButton_CursorType") {
            ParseMFCButtonInt(prop.value, m_nCursorType);
        } else if (n == "MFCButton_ImageType") {
            // Type 10 names a bitmap through an image id property; without one there is no image.
            ParseMFCButtonInt(prop.value, m_nImageType);
        } else if (n == "MFCButton_ImageOnTop") {
            ParseMFCButtonBool(prop.value, m_bTopImage);
        } else if (n == "MFCButton_ImageOnRight") {
            ParseMFCButtonBool(prop.value, m_bRightImage);
        }
    }
    if (m_hWnd) ::InvalidateRect(m_hWnd, nullptr, FALSE);
}

void CMFCButton::PreSubclassWindow() {
    m_bHighlighted = FALSE;
    m_bPushed = FALSE;
    m_bTracking = m_bCaptured = m_bSpaceDown = false;
    // The dialog sent the initial data before this object existed for the window.
    if (m_hWnd && g_mfcButtonAtom && ::GetClassWord(m_hWnd, GCW_ATOM) == g_mfcButtonAtom) {
        if (const std::string* text = StoredInitData(m_hWnd)) ApplyProperties(text->data(), text->size());
    }
}

void CMFCButton::SetImage(UINT nIDNormal, UINT nIDHot, UINT nIDDisabled, double dScale) {
    HMODULE hModule = AfxGetResourceHandle();
    auto load = [hModule, dScale](UINT id) {
        return id ? PremultipliedImage::FromResource(hModule, MAKEINTRESOURCEW(id), L"PNG", dScale)
                  : PremultipliedImage();
    };
    m_imgNormal = load(nIDNormal);
    m_imgHot = load(nIDHot);
    m_imgDisabled = load(nIDDisabled);
    if (m_bAutosize) SizeToContent();
    if (m_hWnd) ::InvalidateRect(m_hWnd, nullptr, FALSE);
}

void CMFCButton::SizeToContent() {
    if (!m_hWnd || m_imgNormal.IsEmpty()) return;
    const int border = HasBorder() ? 2 * ::GetSystemMetrics(SM_CXEDGE) : 0;
    ::SetWindowPos(m_hWnd, nullptr, 0, 0, m_imgNormal.Width() + border, m_imgNormal.Height() + border,
                   SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

const PremultipliedImage& CMFCButton::CurrentImage() const noexcept {
    if (m_hWnd && !::IsWindowEnabled(m_hWnd) && !m_imgDisabled.IsEmpty()) return m_imgDisabled;
    if ((m_bHighlighted || m_bPushed) && !m_imgHot.IsEmpty()) return m_imgHot;
    return m_imgNormal;
}

void CMFCButton::SetHighlighted(bool hot) {
    if (static_cast<bool>(m_bHighlighted) == hot) return;
    m_bHighlighted = hot ? TRUE : FALSE;
    ::InvalidateRect(m_hWnd, nullptr, FALSE);
}

void CMFCButton::SetPushed(bool pushed) {
    if (static_cast<bool>(m_bPushed) == pushed) return;
    m_bPushed = pushed ? TRUE : FALSE;
    ::InvalidateRect(m_hWnd, nullptr, FALSE);
}

void CMFCButton::OnMouseMove(POINT pt) {
    RECT rc;
    ::GetClientRect(m_hWnd, &rc);
    const bool inside = ::PtInRect(&rc, pt) != FALSE;
    if (inside && !m_bTracking) {
        TRACKMOUSEEVENT tme{sizeof(tme), TME_LEAVE, m_hWnd, 0};
        m_bTracking = ::TrackMouseEvent(&tme) != FALSE;
    }
    SetHighlighted(inside);
    if (m_bCaptured) SetPushed(inside);
}

void CMFCButton::OnLButtonDown() {
    if (::GetFocus() != m_hWnd) ::SetFocus(m_hWnd);
    ::SetCapture(m_hWnd);
    m_bCaptured = ::GetCapture() == m_hWnd;
    SetPushed(true);
}

void CMFCButton::OnLButtonUp(POINT pt) {
    if (!m_bCaptured) return;
    RECT rc;
    ::GetClientRect(m_hWnd, &rc);
    const bool click = m_bPushed && ::PtInRect(&rc, pt);
    m_bCaptured = false;
    ::ReleaseCapture();
    SetPushed(false);
    // Last: the command may end the dialog and with it this window.
    if (click) Clicked();
}

void CMFCButton::Clicked() {
    NotifyClicked(m_hWnd);
}

void CMFCButton::FillBackground(HDC hdc, const RECT& rc) {
    HBRUSH brush = nullptr;
    if (m_bTransparent) {
        // The parent's dialog background: for the colour-keyed companion that is the key
        // colour, so the skin below shows through around the image.
        if (HWND hParent = ::GetParent(m_hWnd)) {
            POINT org{0, 0};
            ::MapWindowPoints(m_hWnd, hParent, &org, 1);
            ::SetBrushOrgEx(hdc, -org.x, -org.y, nullptr);
            brush = reinterpret_cast<HBRUSH>(::SendMessageW(hParent, WM_CTLCOLORDLG, reinterpret_cast<WPARAM>(hdc),
                                                            reinterpret_cast<LPARAM>(hParent)));
        }
    }
    if (!brush) brush = ::GetSysColorBrush(COLOR_BTNFACE);
    ::FillRect(hdc, &rc, brush);
}

void CMFCButton::DrawButton(HDC hdc) {
    if (!hdc || !m_hWnd) return;
    RECT rc;
    ::GetClientRect(m_hWnd, &rc);
    const int cx = rc.right - rc.left;
    const int cy = rc.bottom - rc.top;
    if (cx <= 0 || cy <= 0) return;

    // Double buffer: a top-down 32 bpp DIB, so the image can be blended into its bits directly.
    BITMAPINFO bmi{};
    bmi.bmiHeader.biSize = sizeof(bmi.bmiHeader);
    bmi.bmiHeader.biWidth = cx;
    bmi.bmiHeader.biHeight = -cy;
    bmi.bmiHeader.biPlanes = 1;
    bmi.bmiHeader.biBitCount = 32;
    bmi.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    fw::UniqueBitmap dib(::CreateDIBSection(hdc, &bmi, DIB_RGB_COLORS, &bits, nullptr, 0));
    fw::UniqueDc mem(::CreateCompatibleDC(hdc));
    if (!dib || !mem || !bits) return;
    fw::SelectObjectGuard selectBitmap(mem.get(), dib.get());

    FillBackground(mem.get(), rc);
    RECT inner = rc;
    if (HasBorder()) ::DrawEdge(mem.get(), &inner, m_bPushed ? EDGE_SUNKEN : EDGE_RAISED, BF_RECT | BF_ADJUST);

    const PremultipliedImage& image = CurrentImage();
    const std::wstring text = GetWindowText();
    // The image sits at the top-left of the area inside the border; text, if any, beside it.
    int imageX = inner.left;
    int imageY = inner.top;
    RECT textRect = inner;
    if (!image.IsEmpty() && !text.empty()) {
        if (m_bTopImage) {
            imageX = inner.left + ((inner.right - inner.left) - image.Width()) / 2;
            textRect.top = inner.top + image.Height();
        } else if (m_bRightImage) {
            imageX = inner.right - image.Width();
            textRect.right = imageX;
        } else {
            textRect.left = inner.left + image.Width();
        }
    }
    ::GdiFlush();
    if (m_bTransparent) {
        image.CutoutInto(static_cast<uint32_t*>(bits), cx, cy, imageX, imageY, inner);
    } else {
        image.BlendInto(static_cast<uint32_t*>(bits), cx, cy, imageX, imageY, inner);
    }

    if (!text.empty()) {
        HFONT font = reinterpret_cast<HFONT>(::SendMessageW(m_hWnd, WM_GETFONT, 0, 0));
        fw::SelectObjectGuard selectFont(mem.get(), font ? static_cast<HGDIOBJ>(font) : ::GetStockObject(DEFAULT_GUI_FONT));
        ::SetBkMode(mem.get(), TRANSPARENT);
        ::SetTextColor(mem.get(), ::GetSysColor(::IsWindowEnabled(m_hWnd) ? COLOR_BTNTEXT : COLOR_GRAYTEXT));
        ::DrawTextW(mem.get(), text.c_str(), static_cast<int>(text.size()), &textRect,
                    DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
    }
    ::BitBlt(hdc, 0, 0, cx, cy, mem.get(), 0, 0, SRCCOPY);
}

LRESULT CMFCButton::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_PAINT: {
        fw::PaintDc dc(m_hWnd);
        DrawButton(dc.get());
        return 0;
    }
    case WM_PRINTCLIENT:
        DrawButton(reinterpret_cast<HDC>(wParam));
        return 0;
    case WM_ERASEBKGND:
        return TRUE;
    case WM_MOUSEMOVE:
        OnMouseMove(POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)});
        return 0;
    case WM_MOUSELEAVE:
        m_bTracking = false;
        SetHighlighted(false);
        return 0;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
        OnLButtonDown();
        return 0;
    case WM_LBUTTONUP:
        OnLButtonUp(POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)});
        return 0;
    case WM_CAPTURECHANGED:
        if (m_bCaptured && reinterpret_cast<HWND>(lParam) != m_hWnd) {
            m_bCaptured = false;
            SetPushed(false);
        }
        return 0;
    case WM_SETCURSOR:
        if (m_nCursorType == CURSOR_HAND && LOWORD(lParam) == HTCLIENT) {
            ::SetCursor(::LoadCursorW(nullptr, IDC_HAND));
            return TRUE;
        }
        break;
    case WM_KEYDOWN:
        if (wParam == VK_SPACE) {
            m_bSpaceDown = true;
            SetPushed(true);
            return 0;
        }
        break;
    case WM_KEYUP:
        if (wParam == VK_SPACE && m_bSpaceDown) {
            m_bSpaceDown = false;
            SetPushed(false);
            Clicked();
            return 0;
        }
        break;
    case WM_KILLFOCUS:
        if (m_bSpaceDown) {
            m_bSpaceDown = false;
            SetPushed(false);
        }
        break;
    case WM_ENABLE:
        ::InvalidateRect(m_hWnd, nullptr, FALSE);
        break;
    case WM_SETTEXT: {
        const LRESULT result = Default();
        ::InvalidateRect(m_hWnd, nullptr, FALSE);
        return result;
    }
    case WM_MFC_INITCTRL: {
        // Initial data that arrives after binding: keep it with the window and apply it now.
        const LRESULT result = Default();
        const char* p = reinterpret_cast<const char*>(lParam);
        if (p) ApplyProperties(p, BoundedLength(p, wParam));
        return result;
    }
    case BM_CLICK:
        if (::IsWindowEnabled(m_hWnd)) Clicked();
        return 0;
    case BM_GETSTATE: {
        LRESULT state = 0;
        if (m_bPushed) state |= BST_PUSHED;
        if (m_bHighlighted) state |= kStateHot;
        if (::GetFocus() == m_hWnd) state |= BST_FOCUS;
        return state;
    }
    case BM_SETSTATE:
        SetPushed(wParam != 0);
        return 0;
    default:
        break;
    }
    return CButton::WindowProc(message, wParam, lParam);
}
